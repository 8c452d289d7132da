#pragma once
// Exact decimal digits of a QuadReal. The digits are those of the exact value the
// binary128 number represents, rounded once to the requested position, to nearest
// with ties to even; the tie is judged on the exact remainder, so no intermediate
// decimal approximation can shift a result. The conversion uses integer arithmetic
// only and does not depend on the floating-point environment.

#include <array>
#include <optional>
#include <string_view>

#include "numeric/precision.hpp"

namespace recio {

enum class DigitMode {
    significant,  // `count` significant digits
    fixed,        // every digit down to the `count`th place after the decimal point
};

// The most digits one conversion returns. 48 keeps a result within 64 bytes, which
// are copied with a few vector moves; the digits beyond `length` are never set.
inline constexpr int kMaxDecimalDigits = 48;

// |value| is about 0.D1D2...Dn x 10^exponent with D1 not zero, where D1...Dn are
// the first `length` characters of `digits`.
struct DecimalDigits {
    // ASCII '0'..'9'; only `length` are set. One byte more than a result can have,
    // as room for a carry while rounding.
    std::array<char, kMaxDecimalDigits + 1> digits;
    int length = 0;
    int exponent = 0;
    bool negative = false;

    std::string_view text() const { return {digits.data(), static_cast<std::size_t>(length)}; }
};

// Where the part of an exact value cut away after its last kept digit lies, in
// units of that digit's place: exactly nothing, below one half, exactly one half,
// or above.
enum class CutOff : unsigned char { zero, below_half, half, above_half };

// The exact value cut off, not rounded, after `length` significant digits:
// |value| = (0.D1...Dn + r x 10^-n) x 10^exponent with 0 <= r < 1 described by `rest`.
// Any coarser rounding follows from it exactly.
struct TruncatedDigits {
    std::array<char, kMaxDecimalDigits + 1> digits;  // ASCII; only `length` are set
    int length = 0;
    int exponent = 0;
    bool negative = false;
    CutOff rest = CutOff::zero;

    std::string_view text() const { return {digits.data(), static_cast<std::size_t>(length)}; }
};

// Significant mode: exactly `count` digits (1 <= count <= kMaxDecimalDigits). A
// carry out of the leading digit gives "1" followed by zeros and raises the
// exponent by one.
//
// Fixed mode: the digits from the first nonzero one down to the `count`th place
// after the point (count >= 0), so length == exponent + count always holds. A value
// that rounds to zero at that place gives length 0 and exponent == -count; the
// sign is still reported.
//
// Returns nothing when `value` is zero, infinite or NaN, when `count` is out of
// range, or when fixed mode would need more than kMaxDecimalDigits digits.
std::optional<DecimalDigits> decimal_digits(numeric::QuadReal value, DigitMode mode, int count);

// How the digits are found: by a machine-word product where the value's magnitude
// allows it and exactly otherwise, or always by the exact big-number path (to
// check the two against each other).
enum class DigitPath { fast_where_possible, exact_only };

// The first `count` significant digits (1 <= count <= kMaxDecimalDigits + 1) of a
// finite nonzero value, unrounded, with the position of the rest. Returns nothing
// otherwise.
std::optional<TruncatedDigits> truncated_digits(numeric::QuadReal value, int count,
                                                DigitPath path = DigitPath::fast_where_possible);

// `exact` rounded once, as decimal_digits would round the value itself, to a
// position at or above its cut. Returns nothing when the position lies below the
// cut, or under the conditions of decimal_digits. Several roundings of one
// truncation cost one conversion.
std::optional<DecimalDigits> round_digits(const TruncatedDigits& exact, DigitMode mode, int count);

}  // namespace recio

#pragma once
// Exact arithmetic for the fuzz oracles, written for them alone and on purpose
// unlike the program's own: 32-bit limbs in a std::vector, the plainest
// schoolbook algorithms, no fixed capacity, nothing shared with the program. It is slow
// and obviously right, which is all an oracle needs.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "numeric/precision.hpp"

namespace fuzzsupport {

// A natural number.
class Natural {
public:
    Natural() = default;
    explicit Natural(std::uint64_t value);

    static Natural from_decimal(std::string_view digits);  // '0'..'9' only
    static Natural power(std::uint32_t base, std::int64_t exponent);

    bool is_zero() const { return limbs_.empty(); }
    std::int64_t bit_length() const;

    Natural& multiply_small(std::uint32_t factor);
    Natural& add_small(std::uint32_t addend);
    Natural& shift_left(std::int64_t bits);
    Natural& multiply(const Natural& factor);
    Natural& subtract(const Natural& smaller);  // *this >= smaller
    // Divides by `divisor` (nonzero) and returns the remainder.
    std::uint32_t divide_small(std::uint32_t divisor);

    // *this = *this / divisor, returning the remainder; schoolbook shift and
    // subtract, one quotient bit at a time.
    Natural divide(const Natural& divisor);

    std::string decimal() const;
    std::uint64_t low_word() const;

    friend std::strong_ordering operator<=>(const Natural& a, const Natural& b);
    friend bool operator==(const Natural& a, const Natural& b) = default;

private:
    void trim();
    std::vector<std::uint32_t> limbs_;  // least significant first, no leading zeros
};

// A nonnegative dyadic number: significand * 2^exponent.
struct Dyadic {
    Natural significand;
    std::int64_t exponent = 0;
};

// A nonnegative decimal number: digits * 10^exponent.
struct Decimal {
    Natural digits;
    std::int64_t exponent = 0;
};

// Compares decimal and dyadic numbers exactly. Exponents of any size are allowed:
// far apart magnitudes are told apart without building the numbers.
std::strong_ordering compare(const Decimal& a, const Dyadic& b);

// The magnitude of a finite binary128 value as integer significand (hidden bit
// included) and the power of two of its last place.
struct Binary128Parts {
    std::uint64_t high = 0;  // significand bits 112..64
    std::uint64_t low = 0;   // significand bits 63..0
    std::int64_t ulp_exponent = 0;
    bool negative = false;
};
Binary128Parts parts_of(numeric::QuadReal finite);

// The midpoints between |value| and its neighbours: below (none for zero) and
// above (for the largest finite value, the overflow threshold 2^16384 - 2^16270).
std::optional<Dyadic> lower_midpoint(numeric::QuadReal finite);
Dyadic upper_midpoint(numeric::QuadReal finite);
Dyadic magnitude_of(numeric::QuadReal finite);

// The decimal expansion of a dyadic number, exact: digits * 10^exponent.
Decimal exact_decimal(const Dyadic& value);

// |value| of a finite nonzero binary128 number rounded to decimal digits, to
// nearest with ties to even, judged on the exact remainder.
struct RoundedDecimal {
    std::string digits;  // no leading zero; empty when the value rounds to zero
    int exponent = 0;    // value ~ 0.digits x 10^exponent
};
// The first `count` significant digits, cut off, not rounded, and where the cut
// rest lies in units of the last digit's place: -2 nothing, -1 below one half, 0
// exactly one half, +1 above.
struct TruncatedDecimal {
    std::string digits;
    int exponent = 0;
    int rest = -2;
};
TruncatedDecimal truncate_significant(numeric::QuadReal finite_nonzero, int count);
// `count` significant digits.
RoundedDecimal round_significant(numeric::QuadReal finite_nonzero, int count);
// Every digit down to the `decimals`th place after the point; nothing when that
// would take more than `most_digits` digits.
std::optional<RoundedDecimal> round_fixed(numeric::QuadReal finite_nonzero, int decimals,
                                          int most_digits);

}  // namespace fuzzsupport

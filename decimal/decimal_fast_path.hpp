#pragma once
// Second stage: the conversion of ordinary values, those with at most 38
// significant digits (after trailing zeros beyond the 38th are set aside) and a
// power of ten between 10^-128 and 10^128 on the digit integer, in fixed-size
// integer arithmetic.
//
// The digit integer w (< 10^38 < 2^127) is multiplied by a 192-bit approximation m
// of 10^q with m * 2^b <= 10^q < (m + 1) * 2^b. The 320-bit product P = w * m then
// lies at most w below the exact w * 10^q / 2^b. With P normalised to 320 bits,
// the 113-bit significand is its top part and rounding (ties away from zero) only
// looks at the next bit, bit 206. Shifted along with P, the error stays below
// 2^129, so it can only change that bit from 0 to 1 when bits 205..129 of P are
// all ones; then, and only then, the exact path decides instead. A carry out of
// the lower bits does not matter: a set bit 206 rounds up either way. Where m is
// exactly 10^q (10^0 to 10^82), P is exact and needs no check, so ties such as
// 2^113 + 1 are decided here.
//
// Every value this path accepts is a normal binary128 number, far from overflow
// and underflow.

#include <array>
#include <bit>
#include <cstdint>
#include <optional>

#include "decimal/decimal_rounding.hpp"
#include "decimal/decimal_scan.hpp"
#include "numeric/precision.hpp"

namespace recio {

inline constexpr int kFastPathMaxDigits = 38;
inline constexpr int kFastPathMinPowerOfTen = -128;
inline constexpr int kFastPathMaxPowerOfTen = 128;

// 10^q ~ (high:middle:low) * 2^binary_exponent, the 192-bit mantissa with its top
// bit set and rounded toward zero; exact says that it is 10^q without rounding.
struct PowerOfTenApproximation {
    std::uint64_t high = 0;
    std::uint64_t middle = 0;
    std::uint64_t low = 0;
    std::int32_t binary_exponent = 0;
    bool exact = false;
};

namespace fast_path_detail {

// Just enough of a big integer to build the table at compile time.
struct TableInteger {
    static constexpr int kLimbs = 10;           // 640 bits: 2^512 and 5^128 (298 bits) fit
    std::array<std::uint64_t, kLimbs> limbs{};  // least significant first

    constexpr int bit_length() const {
        for (int i = kLimbs - 1; i >= 0; --i) {
            if (limbs[i] != 0) {
                return 64 * i + 64 - std::countl_zero(limbs[i]);
            }
        }
        return 0;
    }
    constexpr bool bit(int index) const { return ((limbs[index / 64] >> (index % 64)) & 1U) != 0; }
    constexpr void multiply(std::uint64_t factor) {
        UInt128 carry = 0;
        for (auto& limb : limbs) {
            const UInt128 product = static_cast<UInt128>(limb) * factor + carry;
            limb = static_cast<std::uint64_t>(product);
            carry = product >> 64;
        }
    }
    constexpr void divide(std::uint64_t divisor) {
        UInt128 remainder = 0;
        for (int i = kLimbs - 1; i >= 0; --i) {
            const UInt128 current = (remainder << 64) | limbs[i];
            limbs[i] = static_cast<std::uint64_t>(current / divisor);
            remainder = current % divisor;
        }
    }
};

// The 192 bits of x from bit `top` - 191 to bit `top`, where bits below 0 count as
// zero; also whether any set bit of x lies below that window.
constexpr PowerOfTenApproximation top_bits(const TableInteger& x, int top) {
    PowerOfTenApproximation result;
    std::uint64_t* words[3] = {&result.high, &result.middle, &result.low};
    for (int i = 0; i < 192; ++i) {
        const int index = top - i;
        if (index >= 0 && x.bit(index)) {
            *words[i / 64] |= std::uint64_t{1} << (63 - i % 64);
        }
    }
    result.exact = true;
    for (int index = top - 192; index >= 0; --index) {
        if (x.bit(index)) {
            result.exact = false;
            break;
        }
    }
    return result;
}

constexpr int kTableSize = kFastPathMaxPowerOfTen - kFastPathMinPowerOfTen + 1;

constexpr std::array<PowerOfTenApproximation, kTableSize> make_powers_of_ten() {
    std::array<PowerOfTenApproximation, kTableSize> table{};
    // 10^q = 5^q * 2^q for q >= 0.
    TableInteger power_of_five;
    power_of_five.limbs[0] = 1;
    for (int q = 0; q <= kFastPathMaxPowerOfTen; ++q) {
        const int top = power_of_five.bit_length() - 1;
        PowerOfTenApproximation entry = top_bits(power_of_five, top);
        entry.binary_exponent = q + top - 191;
        table[q - kFastPathMinPowerOfTen] = entry;
        power_of_five.multiply(5);
    }
    // 10^-n = (2^512 / 5^n) * 2^(-512 - n); repeated floor division by 5 gives
    // floor(2^512 / 5^n) exactly, and its top bits are the truncated mantissa.
    TableInteger scaled_reciprocal;
    scaled_reciprocal.limbs[8] = 1;
    for (int n = 1; n <= -kFastPathMinPowerOfTen; ++n) {
        scaled_reciprocal.divide(5);
        const int top = scaled_reciprocal.bit_length() - 1;
        PowerOfTenApproximation entry = top_bits(scaled_reciprocal, top);
        entry.binary_exponent = top - 191 - 512 - n;
        entry.exact = false;  // 5^n never divides a power of two
        table[-n - kFastPathMinPowerOfTen] = entry;
    }
    return table;
}

}  // namespace fast_path_detail

inline constexpr std::array<PowerOfTenApproximation, fast_path_detail::kTableSize>
    kPowerOfTenApproximations = fast_path_detail::make_powers_of_ten();

constexpr const PowerOfTenApproximation& power_of_ten_approximation(int q) {
    return kPowerOfTenApproximations[static_cast<std::size_t>(q - kFastPathMinPowerOfTen)];
}

// w * 10^q rounded to binary128, for w < 2^127 and q within the table; nothing when
// the product cannot decide the rounding (or q is outside the table).
[[gnu::always_inline]] constexpr std::optional<numeric::QuadReal> fast_path_round(bool negative,
                                                                                  UInt128 w,
                                                                                  std::int64_t q) {
    if (w == 0) {
        return signed_zero(negative);
    }
    if (q == 0 && (w >> numeric::kPrecisionBits) == 0) {
        // An integer that fits the significand (running numbers, say) is exact.
        return round_to_binary128(negative, w, 0);
    }
    if (q < kFastPathMinPowerOfTen || q > kFastPathMaxPowerOfTen || (w >> 127) != 0) {
        return std::nullopt;
    }
    const PowerOfTenApproximation& power = power_of_ten_approximation(static_cast<int>(q));
    const auto w_low = static_cast<std::uint64_t>(w);
    const auto w_high = static_cast<std::uint64_t>(w >> 64);

    // p4:p3:p2:p1:p0 = w * m
    UInt128 t = static_cast<UInt128>(w_low) * power.low;
    std::uint64_t p0 = static_cast<std::uint64_t>(t);
    t = static_cast<UInt128>(w_low) * power.middle + (t >> 64);
    std::uint64_t p1 = static_cast<std::uint64_t>(t);
    t = static_cast<UInt128>(w_low) * power.high + (t >> 64);
    std::uint64_t p2 = static_cast<std::uint64_t>(t);
    std::uint64_t p3 = static_cast<std::uint64_t>(t >> 64);
    std::uint64_t p4 = 0;
    if (w_high != 0) {
        t = static_cast<UInt128>(w_high) * power.low + p1;
        p1 = static_cast<std::uint64_t>(t);
        t = static_cast<UInt128>(w_high) * power.middle + p2 + (t >> 64);
        p2 = static_cast<std::uint64_t>(t);
        t = static_cast<UInt128>(w_high) * power.high + p3 + (t >> 64);
        p3 = static_cast<std::uint64_t>(t);
        p4 = static_cast<std::uint64_t>(t >> 64);
    }

    // Normalise so that bit 319 is set; P >= 2^191, so at most two whole limbs.
    int shift = 0;
    while (p4 == 0) {
        p4 = p3;
        p3 = p2;
        p2 = p1;
        p1 = p0;
        p0 = 0;
        shift += 64;
    }
    if (const int zeros = std::countl_zero(p4); zeros != 0) {
        p4 = (p4 << zeros) | (p3 >> (64 - zeros));
        p3 = (p3 << zeros) | (p2 >> (64 - zeros));
        p2 = (p2 << zeros) | (p1 >> (64 - zeros));
        shift += zeros;
    }

    const std::uint64_t round_bit = (p3 >> 14) & 1U;
    if (!power.exact && round_bit == 0 && (p3 & 0x3FFF) == 0x3FFF &&
        (p2 >> 1) == 0x7FFF'FFFF'FFFF'FFFFULL) {
        return std::nullopt;
    }
    UInt128 mantissa = ((static_cast<UInt128>(p4) << 49) | (p3 >> 15)) + round_bit;
    std::int64_t ulp_exponent = 207 + power.binary_exponent - shift;
    if (mantissa == UInt128{1} << numeric::kPrecisionBits) {
        mantissa >>= 1;
        ++ulp_exponent;
    }
    return pack_binary128(negative, mantissa, ulp_exponent);
}

// The same for the commonest case, a digit integer of one word and a negative
// power of ten (a number with a fraction and no exponent), with half the work: the
// power's top 128 bits rounded up, m, and one 64 x 128-bit product of w moved up
// to its top bit, w'. The product P = w' * m then lies at most w' < 2^64 above the
// exact scaled value, and rounding (ties away from zero) can only come out
// differently when P's round bit is set and the 13 bits below it down to the error
// are zero; the general product decides then. Ties cannot occur (w * 10^q with
// w < 2^64 and q < 0 never has exactly 114 significant bits), and a value that
// is exact in binary128 is recognised as such, because P never lies below it.
namespace fast_path_detail {

// 10^-k for the one-word product: m's two words, and the exponent field of the
// result less one for a product whose top bit is 191 and a w with its top bit set,
// from which the shifts are subtracted.
struct NegativePowerOfTen {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::int64_t exponent_field = 0;
};

constexpr std::array<NegativePowerOfTen, -kFastPathMinPowerOfTen + 1> make_negative_powers() {
    std::array<NegativePowerOfTen, -kFastPathMinPowerOfTen + 1> table{};
    for (int k = 1; k <= -kFastPathMinPowerOfTen; ++k) {
        const PowerOfTenApproximation& power = power_of_ten_approximation(-k);
        if (power.middle == ~std::uint64_t{0}) {
            throw "rounding the power up would carry out of its low word";
        }
        // The significand is the product's bits 191 to 79, 64 + 79 places above the
        // power's last bit; its leading bit adds one to the exponent field.
        table[static_cast<std::size_t>(k)] = {
            power.high, power.middle + 1,
            79 + 64 + power.binary_exponent + numeric::kFractionBits + numeric::kExponentBias - 1};
    }
    return table;
}

inline constexpr auto kNegativePowersOfTen = make_negative_powers();

}  // namespace fast_path_detail

// w * 10^-k for w > 0 and k from 1 to 128, the case of the one-word product.
[[gnu::always_inline]] constexpr std::optional<numeric::QuadReal> fast_path_round_fraction(
    bool negative, std::uint64_t w, unsigned k) {
    const auto& power = fast_path_detail::kNegativePowersOfTen[k];
    const int leading_zeros = std::countl_zero(w);
    const std::uint64_t scaled = w << leading_zeros;
    const UInt128 top = static_cast<UInt128>(scaled) * power.high +
                        ((static_cast<UInt128>(scaled) * power.low) >> 64);
    // P lies in [2^190, 2^192), so `top`, its upper 128 bits, leads with bit 127
    // or bit 126; in the second case everything below is one place further down.
    const auto one_down = static_cast<unsigned>(1 - static_cast<std::uint64_t>(top >> 127));
    // With the leading bit at 127, the significand ends at bit 15 and the round bit
    // is bit 14; the error reaches up to bit 1. A set round bit with nothing but
    // the error below it is too close to call.
    if (((static_cast<std::uint64_t>(top) << one_down) & 0x7FFE) == 0x4000) {
        return fast_path_round(negative, w, -static_cast<std::int64_t>(k));
    }
    // The significand with its round bit, plus one at the round bit: a carry out of
    // the significand makes it 2^113 and adds one more to the exponent field.
    const UInt128 rounded = ((top << one_down >> 14) + 1) >> 1;
    // The leading bit (bit 48 of the high word) adds one to the exponent field.
    const auto exponent_field = static_cast<std::uint64_t>(power.exponent_field - leading_zeros -
                                                           static_cast<std::int64_t>(one_down));
    return numeric::QuadReal::from_words(
        (negative ? numeric::kSignMask : 0) |
            ((exponent_field << 48) + static_cast<std::uint64_t>(rounded >> 64)),
        static_cast<std::uint64_t>(rounded));
}

[[gnu::always_inline]] constexpr std::optional<numeric::QuadReal> fast_path_round_word(
    bool negative, std::uint64_t w, std::int64_t q) {
    if (w == 0 || q >= 0 || q < kFastPathMinPowerOfTen) {
        return fast_path_round(negative, w, q);
    }
    return fast_path_round_fraction(negative, w, static_cast<unsigned>(-q));
}

// The fast conversion of a scanned number, or nothing when the value is not an
// ordinary one or the rounding is too close to call.
[[gnu::always_inline]] constexpr std::optional<numeric::QuadReal> fast_path_convert(
    const ScannedDecimal& scanned) {
    if (scanned.kind != DecimalKind::number) {
        return std::nullopt;
    }
    const std::size_t written_digits =
        scanned.integer_digits.size() + scanned.fraction_digits.size();
    if (written_digits <= 19) {
        // The common case: the scan has the digit integer already.
        return fast_path_round_word(
            scanned.negative, scanned.digits_value,
            scanned.exponent - static_cast<std::int64_t>(scanned.fraction_digits.size()));
    }
    const SignificantDigits digits = significant_digits(scanned);
    std::uint64_t first = 0;   // digits 1 to 19
    std::uint64_t second = 0;  // digits 20 to 38
    std::uint64_t second_scale = 1;
    int taken = 0;
    std::int64_t zeros_set_aside = 0;
    bool too_many_digits = false;
    const auto take = [&](std::string_view piece) {
        for (const char c : piece) {
            const auto digit = static_cast<std::uint64_t>(c - '0');
            if (taken < 19) {
                first = first * 10 + digit;
                ++taken;
            } else if (taken < kFastPathMaxDigits) {
                second = second * 10 + digit;
                second_scale *= 10;
                ++taken;
            } else if (digit == 0) {
                ++zeros_set_aside;
            } else {
                too_many_digits = true;
                return;
            }
        }
    };
    take(digits.head);
    if (!too_many_digits) {
        take(digits.tail);
    }
    if (too_many_digits) {
        return std::nullopt;
    }
    const UInt128 w = static_cast<UInt128>(first) * second_scale + second;
    return fast_path_round(scanned.negative, w,
                           saturating_add(digits.last_digit_exponent, zeros_set_aside));
}

}  // namespace recio

#pragma once
// The common case of addition and multiplication worked out on the two 64-bit words
// of the operands, inline, so that a loop of them keeps its values in general
// registers instead of calling the compiler runtime's general routines (which also
// keep exception flags nobody reads). Only finite, nonzero, normal operands whose
// exact result rounds to a normal number are handled here; every other case
// (NaN, infinity, zero, subnormal, overflow, an exact zero sum) reports that it
// needs the general path, which then applies the NaN rules and the special cases.
// Rounding is to nearest, ties to even, as in the general path, so the results
// are the same bit for bit.

#include <cstdint>

#include "numeric/precision.hpp"

namespace numeric::fast {

// Everything is done on 64-bit words; 128-bit integers only carry the full
// products and sums of two words, which compilers turn into single instructions.
using Wide = unsigned __int128;

inline constexpr std::uint64_t kHiddenBit = std::uint64_t{1} << 48;  // bit 112 of the pattern

// What the functions below return for the cases they leave to the general path.
// No result of theirs has an exponent field of all ones, so one comparison of the
// high word tells it from a result, and the result stays in general registers.
inline constexpr QuadReal kNeedsGeneralPath = QuadReal::from_words(~std::uint64_t{0}, 0);

constexpr bool needs_general_path(QuadReal result) {
    return result.high == kNeedsGeneralPath.high;
}

// True for a finite, nonzero, normal pattern: biased exponent 1 to 32766.
constexpr bool is_normal_exponent(std::uint64_t high) {
    const std::uint64_t exponent = (high >> 48) & 0x7FFF;
    return exponent - 1 < static_cast<std::uint64_t>(kMaxBiasedExponent - 1);
}

// Packs the significand (high:low, implicit bit at 112), rounded up by `round_up`
// (0 or 1), with the biased exponent `exponent` (at least 1) and the sign. A carry
// out of the significand lifts the exponent through the addition. Fails on
// overflow.
constexpr QuadReal pack(std::uint64_t sign, std::int64_t exponent, std::uint64_t high,
                        std::uint64_t low, std::uint64_t round_up) {
    const std::uint64_t rounded_low = low + round_up;
    const std::uint64_t rounded_high =
        (static_cast<std::uint64_t>(exponent - 1) << 48) + high + (rounded_low < round_up ? 1 : 0);
    if ((rounded_high >> 48) >= static_cast<std::uint64_t>(kMaxBiasedExponent)) {
        return kNeedsGeneralPath;
    }
    return QuadReal::from_words(rounded_high | sign, rounded_low);
}

// x + y for two normal operands of any signs and exponents, when the sum rounds
// to a normal number.
constexpr QuadReal try_add_any(QuadReal x, QuadReal y) {
    // The larger magnitude first; which of two non-NaN operands comes first does
    // not change a sum.
    const std::uint64_t x_high = x.high & ~kSignMask;
    const std::uint64_t y_high = y.high & ~kSignMask;
    const bool x_larger = x_high != y_high ? x_high > y_high : x.low >= y.low;
    const std::uint64_t large_high = x_larger ? x_high : y_high;
    const std::uint64_t large_low = x_larger ? x.low : y.low;
    const std::uint64_t small_high = x_larger ? y_high : x_high;
    const std::uint64_t small_low = x_larger ? y.low : x.low;
    const std::uint64_t sign = (x_larger ? x.high : y.high) & kSignMask;
    std::int64_t exponent = static_cast<std::int64_t>(large_high >> 48);
    const int distance = static_cast<int>(exponent - static_cast<std::int64_t>(small_high >> 48));
    // Both significands moved up by 14 bits: room for the carry at bit 127 and
    // for guard bits below, the lowest of which also collects every bit shifted
    // out of the smaller one (sticky), which is all round-to-nearest needs.
    constexpr int kGuardBits = 14;
    const std::uint64_t a_high =
        (((large_high & kHighFractionMask) | kHiddenBit) << kGuardBits) | (large_low >> 50);
    const std::uint64_t a_low = large_low << kGuardBits;
    std::uint64_t b_high =
        (((small_high & kHighFractionMask) | kHiddenBit) << kGuardBits) | (small_low >> 50);
    std::uint64_t b_low = small_low << kGuardBits;
    if (distance >= 64) {
        // Beyond 127 places b is all sticky; b < 2^127 shifted by 127 is zero.
        const int beyond = distance < 127 ? distance - 64 : 63;
        const bool lost = b_low != 0 || (b_high & ((std::uint64_t{1} << beyond) - 1)) != 0;
        b_low = (b_high >> beyond) | (lost ? 1 : 0);
        b_high = 0;
    } else if (distance > 0) {
        const bool lost = (b_low << (64 - distance)) != 0;
        b_low = (b_low >> distance) | (b_high << (64 - distance)) | (lost ? 1 : 0);
        b_high >>= distance;
    }
    std::uint64_t sum_high;
    std::uint64_t sum_low;
    if (((x.high ^ y.high) & kSignMask) == 0) {
        const Wide sum = ((Wide{a_high} << 64) | a_low) + ((Wide{b_high} << 64) | b_low);
        sum_high = static_cast<std::uint64_t>(sum >> 64);
        sum_low = static_cast<std::uint64_t>(sum);
        // A carry out of bit 126 moves the sum down one place, the bit shifted
        // out staying in the sticky bit.
        const std::uint64_t carry = sum_high >> 63;
        sum_low = (sum_low >> carry) | ((sum_high & carry) << 63) | (sum_low & carry);
        sum_high >>= carry;
        exponent += static_cast<std::int64_t>(carry);
    } else {
        const Wide difference = ((Wide{a_high} << 64) | a_low) - ((Wide{b_high} << 64) | b_low);
        sum_high = static_cast<std::uint64_t>(difference >> 64);
        sum_low = static_cast<std::uint64_t>(difference);
        if (sum_high == 0 || (sum_high >> 62) == 0) {
            if ((sum_high | sum_low) == 0) {
                return kNeedsGeneralPath;  // exact cancellation: the signed zero is the general
                                           // path's
            }
            // A shift by more than one follows only a cancellation of operands
            // at most one binade apart, whose difference is exact; a shift by one
            // keeps the sticky bit well below the rounding position.
            const int zeros =
                sum_high != 0 ? __builtin_clzll(sum_high) : 64 + __builtin_clzll(sum_low);
            const int shift = zeros - 1;
            const Wide shifted = ((Wide{sum_high} << 64) | sum_low) << shift;
            sum_high = static_cast<std::uint64_t>(shifted >> 64);
            sum_low = static_cast<std::uint64_t>(shifted);
            exponent -= shift;
            if (exponent < 1) {
                return kNeedsGeneralPath;  // a subnormal result rounds at the subnormal precision
            }
        }
    }
    // Leading bit at 126: the significand is the sum without its 14 lowest bits,
    // which are the rest, half at 2^13; ties go to the even significand.
    const std::uint64_t kept_high = sum_high >> kGuardBits;
    const std::uint64_t kept_low = (sum_low >> kGuardBits) | (sum_high << (64 - kGuardBits));
    const std::uint64_t rest = sum_low & ((std::uint64_t{1} << kGuardBits) - 1);
    const std::uint64_t round_up = (rest + (kept_low & 1)) > (std::uint64_t{1} << (kGuardBits - 1));
    return pack(sign, exponent, kept_high, kept_low, round_up);
}

// x + y when both are normal and the sum rounds to a normal number. The case of
// a running sum, two summands of the same sign whose exponents differ by 1 to 63,
// takes the short way: the smaller significand shifted right into the larger one,
// the bits shifted out deciding the rounding on their own.
constexpr QuadReal try_add(QuadReal x, QuadReal y) {
    if (!is_normal_exponent(x.high) || !is_normal_exponent(y.high)) {
        return kNeedsGeneralPath;
    }
    const std::uint64_t distance = ((x.high >> 48) & 0x7FFF) - ((y.high >> 48) & 0x7FFF);
    if (((x.high ^ y.high) & kSignMask) != 0 || distance - 1 >= 62) {
        return try_add_any(x, y);
    }
    const std::uint64_t a_high = (x.high & kHighFractionMask) | kHiddenBit;
    const std::uint64_t a_low = x.low;
    const std::uint64_t b_high = (y.high & kHighFractionMask) | kHiddenBit;
    const std::uint64_t b_low = y.low;
    const std::uint64_t shifted_out = b_low & ((std::uint64_t{1} << distance) - 1);
    const Wide sum =
        ((Wide{a_high} << 64) | a_low) +
        ((Wide{b_high >> distance} << 64) | ((b_low >> distance) | (b_high << (64 - distance))));
    auto sum_high = static_cast<std::uint64_t>(sum >> 64);
    auto sum_low = static_cast<std::uint64_t>(sum);
    // A carry to bit 113 moves the sum down one place; its lowest bit joins the
    // rest, which is then measured against half of the doubled unit.
    const std::uint64_t carry = sum_high >> 49;
    const std::uint64_t rest = ((sum_low & carry) << distance) | shifted_out;
    const std::uint64_t half = std::uint64_t{1} << (distance - 1 + carry);
    const std::uint64_t kept_low = (sum_low >> carry) | ((sum_high & carry) << 63);
    const std::uint64_t kept_high = sum_high >> carry;
    // rest < 2^63 here, so adding the last kept bit cannot overflow; it turns a
    // tie with an odd significand into a rest above half.
    const std::uint64_t round_up = rest + (kept_low & 1) > half ? 1 : 0;
    return pack(x.high & kSignMask, static_cast<std::int64_t>(((x.high >> 48) & 0x7FFF) + carry),
                kept_high, kept_low, round_up);
}

// sum + addend in the one case a running sum of like-signed terms is almost
// always in: both normal and of the same sign, the addend's exponent 1 to 63
// below the sum's, and the sum staying in its binade. That last condition fails
// only when the sum grows past a power of two, a few dozen times in a series of
// millions, so here it is a rare way out rather than a shift by 0 or 1 on every
// step; the other ways out are the first records of a series and sums of mixed
// signs. Everything else goes to the general path, including the carry that
// try_add would handle.
//
// The addend's significand, shifted into the sum's units, is added to the sum's
// bit pattern as it stands, sign and exponent included: without a carry out of
// the fraction the exponent field is left alone, and a carry shows up as a
// changed exponent field. The rounding decision does not wait for that addition:
// the last bit of the truncated sum is the exclusive or of the two last bits.
// The decision is computed and added, not branched on: the bits shifted out are
// as good as random, and a mispredicted branch would cost more than the whole
// operation.
constexpr QuadReal try_accumulate(QuadReal sum, QuadReal addend) {
    // With equal signs, the difference of the top 16 bits is that of the exponents.
    const std::uint64_t distance = (sum.high >> 48) - (addend.high >> 48);
    if (((sum.high ^ addend.high) & kSignMask) != 0 || distance - 1 >= 63 ||
        (addend.high & kExponentMask) == 0 || (sum.high & kExponentMask) == kExponentMask) {
        return kNeedsGeneralPath;
    }
    const std::uint64_t significand_high = (addend.high & kHighFractionMask) | kHiddenBit;
    const std::uint64_t shifted_high = significand_high >> distance;
    const std::uint64_t shifted_low =
        (addend.low >> distance) | (significand_high << (64 - distance));
    // The bits shifted out, from the top of a word down: 2^63 is half a unit of
    // the sum. Bit 0 is always clear (at most 63 bits are shifted out), so the
    // truncated sum's last bit can join there: a tie then rounds up exactly when
    // that bit is odd, and above half rounds up either way.
    const std::uint64_t rest = addend.low << (64 - distance);
    const std::uint64_t last_bit = (sum.low ^ shifted_low) & 1;
    const std::uint64_t round_up = (rest | last_bit) > kSignMask ? 1 : 0;
    // Word by word with the carries the compiler's overflow test gives: 128-bit
    // integers put together from words tend to be kept in memory, and a carry
    // written as a comparison tends to become a branch.
    std::uint64_t total_low;
    const bool carry = __builtin_add_overflow(sum.low, shifted_low, &total_low);
    const bool rounding_carry = __builtin_add_overflow(total_low, round_up, &total_low);
    const std::uint64_t total_high = sum.high + shifted_high + carry + rounding_carry;
    // A changed exponent field: the sum reached the next binade (or rounded up to
    // exactly its bottom, which the general path gets right as well).
    if (((total_high ^ sum.high) & kExponentMask) != 0) {
        return kNeedsGeneralPath;
    }
    return QuadReal::from_words(total_high, total_low);
}

// x * y when both are normal and the product rounds to a normal number.
constexpr QuadReal try_multiply(QuadReal x, QuadReal y) {
    if (!is_normal_exponent(x.high) || !is_normal_exponent(y.high)) {
        return kNeedsGeneralPath;
    }
    const std::uint64_t sign = (x.high ^ y.high) & kSignMask;
    // x's significand at the top of 128 bits, y's at its place: the product lies
    // in [2^239, 2^241), so its upper two words are the significand or all but its
    // last bit, and the lower two words are the rest.
    const std::uint64_t x_top = (x.high << 15) | (x.low >> 49) | kSignMask;
    const std::uint64_t x_bottom = x.low << 15;
    const std::uint64_t y_top = (y.high & kHighFractionMask) | kHiddenBit;
    // Schoolbook on 64-bit digits, the columns added word by word with the
    // compiler's overflow test for the carries (see try_accumulate). No column
    // overflows into a word that cannot take it: the high words of the products
    // with y_top are below 2^49, that of x_top * y.low below 2^64 - 1.
    const Wide first = static_cast<Wide>(x_bottom) * y.low;
    const Wide second = static_cast<Wide>(x_top) * y.low;
    const Wide third = static_cast<Wide>(x_bottom) * y_top;
    const Wide fourth = static_cast<Wide>(x_top) * y_top;
    const auto word0 = static_cast<std::uint64_t>(first);
    std::uint64_t word1;
    const bool carry1 = __builtin_add_overflow(static_cast<std::uint64_t>(first >> 64),
                                               static_cast<std::uint64_t>(second), &word1);
    const bool carry2 = __builtin_add_overflow(word1, static_cast<std::uint64_t>(third), &word1);
    std::uint64_t word2;
    const bool carry3 =
        __builtin_add_overflow(static_cast<std::uint64_t>(second >> 64),
                               static_cast<std::uint64_t>(third >> 64) + carry1 + carry2, &word2);
    const bool carry4 = __builtin_add_overflow(word2, static_cast<std::uint64_t>(fourth), &word2);
    const std::uint64_t word3 = static_cast<std::uint64_t>(fourth >> 64) + carry3 + carry4;
    // 1 when the product reaches 2^240, one binade up.
    const std::uint64_t carry = word3 >> 48;
    const std::int64_t exponent = static_cast<std::int64_t>((x.high >> 48) & 0x7FFF) +
                                  static_cast<std::int64_t>((y.high >> 48) & 0x7FFF) -
                                  kExponentBias + static_cast<std::int64_t>(carry);
    if (exponent < 1) {
        return kNeedsGeneralPath;  // below the normal range: subnormal precision, or zero
    }
    // Below 2^240 the significand starts one bit lower: move the words up one
    // place so that the significand is always the upper two words. A shift by
    // 0 or 1 rather than a branch: the carry is often a coin toss.
    const std::uint64_t up = 1 - carry;
    const std::uint64_t kept_high = (word3 << up) | ((word2 >> 63) & up);
    const std::uint64_t kept_low = (word2 << up) | ((word1 >> 63) & up);
    // The rest need not take word0's top bit: word0 counts whole below.
    const std::uint64_t rest_high = word1 << up;
    // Half an ulp is the first bit of the rest; ties go to the even significand.
    const bool beyond_half = ((rest_high << 1) | word0) != 0;
    const std::uint64_t round_up = (rest_high >> 63) & ((beyond_half ? 1 : 0) | (kept_low & 1));
    return pack(sign, exponent, kept_high, kept_low, round_up);
}

}  // namespace numeric::fast

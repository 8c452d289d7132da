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

using Wide = unsigned __int128;

inline constexpr Wide kHiddenBit = Wide{1} << kFractionBits;
inline constexpr Wide kFractionField = kHiddenBit - 1;

constexpr Wide to_wide(QuadReal x) {
    return (Wide{x.high} << 64) | x.low;
}
constexpr QuadReal from_wide(Wide x) {
    return QuadReal{static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(x >> 64)};
}

// True for a finite, nonzero, normal pattern: biased exponent 1 to 32766.
constexpr bool is_normal_exponent(std::uint64_t high) {
    const std::uint64_t exponent = (high >> 48) & 0x7FFF;
    return exponent - 1 < static_cast<std::uint64_t>(kMaxBiasedExponent - 1);
}

constexpr int leading_zeros(Wide x) {
    const auto high = static_cast<std::uint64_t>(x >> 64);
    return high != 0 ? __builtin_clzll(high) : 64 + __builtin_clzll(static_cast<std::uint64_t>(x));
}

// Rounds the significand `kept` (implicit bit at 112, so below 2^113) with the
// part below it, `rest` out of `half` * 2, to nearest even, and packs it with the
// biased exponent `exponent` (at least 1) and the sign. A carry out of the
// significand lifts the exponent through the addition. Fails on overflow.
constexpr bool pack_rounded(std::uint64_t sign, std::int64_t exponent, Wide kept, Wide rest,
                            Wide half, QuadReal& result) {
    if (rest > half || (rest == half && (kept & 1) != 0)) {
        ++kept;
    }
    const Wide packed = (static_cast<Wide>(exponent - 1) << kFractionBits) + kept;
    if ((packed >> kFractionBits) >= static_cast<Wide>(kMaxBiasedExponent)) {
        return false;
    }
    result = from_wide(packed);
    result.high |= sign;
    return true;
}

// x + y when both are normal and the sum rounds to a normal number.
constexpr bool try_add(QuadReal x, QuadReal y, QuadReal& result) {
    if (!is_normal_exponent(x.high) || !is_normal_exponent(y.high)) {
        return false;
    }
    // The larger magnitude first; which of two non-NaN operands comes first does
    // not change a sum.
    Wide large = to_wide(magnitude(x));
    Wide small = to_wide(magnitude(y));
    std::uint64_t sign = x.high & kSignMask;
    const bool opposite = ((x.high ^ y.high) & kSignMask) != 0;
    if (large < small) {
        const Wide swap = large;
        large = small;
        small = swap;
        sign = y.high & kSignMask;
    }
    const auto large_exponent = static_cast<std::int64_t>(large >> kFractionBits);
    const auto distance =
        static_cast<int>(large_exponent - static_cast<std::int64_t>(small >> kFractionBits));
    // Both significands moved up by 14 bits: room for the carry at bit 127 and
    // for guard bits below, the lowest of which also collects every bit shifted
    // out of the smaller one (sticky), which is all round-to-nearest needs.
    constexpr int kGuardBits = 14;
    const Wide a = ((large & kFractionField) | kHiddenBit) << kGuardBits;
    Wide b = ((small & kFractionField) | kHiddenBit) << kGuardBits;
    if (distance >= 128) {
        b = 1;
    } else if (distance > 0) {
        const bool lost = (b << (128 - distance)) != 0;
        b = (b >> distance) | static_cast<Wide>(lost);
    }
    Wide sum = opposite ? a - b : a + b;
    if (sum == 0) {
        return false;  // exact cancellation: the signed zero is the general path's
    }
    std::int64_t exponent = large_exponent;
    // Bring the leading bit to 126, where it was for the larger operand.
    const int zeros = leading_zeros(sum);
    if (zeros == 0) {
        sum = (sum >> 1) | (sum & 1);
        ++exponent;
    } else if (zeros > 1) {
        // A shift by more than one follows only a cancellation of operands at
        // most one binade apart, whose difference is exact; a shift by one keeps
        // the sticky bit well below the rounding position.
        sum <<= (zeros - 1);
        exponent -= zeros - 1;
        if (exponent < 1) {
            return false;  // a subnormal result rounds at the subnormal precision
        }
    }
    constexpr Wide kRestMask = (Wide{1} << kGuardBits) - 1;
    return pack_rounded(sign, exponent, sum >> kGuardBits, sum & kRestMask,
                        Wide{1} << (kGuardBits - 1), result);
}

// x * y when both are normal and the product rounds to a normal number.
constexpr bool try_multiply(QuadReal x, QuadReal y, QuadReal& result) {
    if (!is_normal_exponent(x.high) || !is_normal_exponent(y.high)) {
        return false;
    }
    const std::uint64_t sign = (x.high ^ y.high) & kSignMask;
    const std::uint64_t x_top = (x.high & kHighFractionMask) | (std::uint64_t{1} << 48);
    const std::uint64_t y_top = (y.high & kHighFractionMask) | (std::uint64_t{1} << 48);
    // The 226-bit product of the two 113-bit significands from four 64-bit
    // products: upper 128 bits in `upper`, lower 128 in `lower`.
    const Wide low_low = static_cast<Wide>(x.low) * y.low;
    const Wide middle =
        static_cast<Wide>(x.low) * y_top + static_cast<Wide>(x_top) * y.low + (low_low >> 64);
    const Wide upper = static_cast<Wide>(x_top) * y_top + (middle >> 64);
    const Wide lower = (middle << 64) | static_cast<std::uint64_t>(low_low);
    std::int64_t exponent = static_cast<std::int64_t>((x.high >> 48) & 0x7FFF) +
                            static_cast<std::int64_t>((y.high >> 48) & 0x7FFF) - kExponentBias;
    // The product lies in [2^224, 2^226): its leading bit is 224 or 225.
    const int shift = static_cast<int>(upper >> 97);  // 1 when bit 225 is set
    exponent += shift;
    if (exponent < 1) {
        return false;  // below the normal range: subnormal precision, or zero
    }
    const int cut = kFractionBits + shift;  // bits of `lower` below the significand
    const Wide kept = (upper << (128 - cut)) | (lower >> cut);
    const Wide rest = lower & ((Wide{1} << cut) - 1);
    return pack_rounded(sign, exponent, kept, rest, Wide{1} << (cut - 1), result);
}

}  // namespace numeric::fast

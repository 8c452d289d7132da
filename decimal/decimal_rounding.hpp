#pragma once
// The last step shared by both conversion paths: an integer significand and a power
// of two are rounded to binary128, to nearest with ties away from zero.
//
// Ties away from zero has a property both paths lean on: the rounded result of
// (X + f) * 2^e with integer X and 0 <= f < 1 depends on X alone as soon as at
// least one bit of X is dropped, because rounding is then floor((X + half) / 2^k)
// with an integer X + half. So a path only has to deliver the integer part of its
// scaled value, with at least 114 significant bits (or the exact value when it has
// fewer), and never a remainder.

#include <bit>
#include <cstdint>
#include <optional>

#include "numeric/precision.hpp"

namespace recio {

using UInt128 = unsigned __int128;

inline constexpr std::int64_t kSmallestQuantumExponent = -16494;  // the smallest subnormal

constexpr int bit_length(UInt128 x) {
    const auto high = static_cast<std::uint64_t>(x >> 64);
    if (high != 0) {
        return 128 - std::countl_zero(high);
    }
    return 64 - std::countl_zero(static_cast<std::uint64_t>(x));
}

// Packs a rounded significand: a normal number when mantissa >= 2^112 (then
// mantissa < 2^113 and ulp_exponent is the power of two of its last bit), otherwise
// a subnormal one (ulp_exponent is then kSmallestQuantumExponent) or zero. Nothing
// when the number is beyond the largest finite value.
constexpr std::optional<numeric::QuadReal> pack_binary128(bool negative, UInt128 mantissa,
                                                          std::int64_t ulp_exponent) {
    const std::uint64_t sign = negative ? numeric::kSignMask : 0;
    const UInt128 hidden_bit = UInt128{1} << numeric::kFractionBits;
    std::uint64_t biased_exponent = 0;
    if (mantissa >= hidden_bit) {
        const std::int64_t biased = ulp_exponent + numeric::kFractionBits + numeric::kExponentBias;
        if (biased >= numeric::kMaxBiasedExponent) {
            return std::nullopt;
        }
        biased_exponent = static_cast<std::uint64_t>(biased);
        mantissa -= hidden_bit;
    }
    const auto high = static_cast<std::uint64_t>(mantissa >> 64);
    return numeric::QuadReal::from_words(sign | (biased_exponent << 48) | high,
                                         static_cast<std::uint64_t>(mantissa));
}

// Rounds (x + f) * 2^exponent, with 0 <= f < 1, to nearest, ties away from zero;
// f is zero unless x has at least 114 significant bits (see above). Subnormal
// results are rounded on the subnormal grid, and results too small for it are zero
// of the given sign. Nothing on overflow. x must not be zero.
constexpr std::optional<numeric::QuadReal> round_to_binary128(bool negative, UInt128 x,
                                                              std::int64_t exponent) {
    std::int64_t dropped_bits = bit_length(x) - numeric::kPrecisionBits;
    if (exponent + dropped_bits < kSmallestQuantumExponent) {
        dropped_bits = kSmallestQuantumExponent - exponent;
    }
    UInt128 mantissa = 0;
    if (dropped_bits <= 0) {
        mantissa = x << -dropped_bits;
    } else if (dropped_bits <= 128) {
        const auto round_bit = static_cast<unsigned>(x >> (dropped_bits - 1)) & 1U;
        mantissa = (dropped_bits == 128 ? 0 : x >> dropped_bits) + round_bit;
    }
    std::int64_t ulp_exponent = exponent + dropped_bits;
    if (mantissa == UInt128{1} << numeric::kPrecisionBits) {
        mantissa >>= 1;
        ++ulp_exponent;
    }
    return pack_binary128(negative, mantissa, ulp_exponent);
}

constexpr numeric::QuadReal signed_zero(bool negative) {
    return numeric::QuadReal::from_words(negative ? numeric::kSignMask : 0, 0);
}

}  // namespace recio

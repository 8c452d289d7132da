#pragma once
// The steps of the one digit generator (decimal_digits.hpp) that the common case
// takes, inline so that the general field compiles them into its own code instead
// of calling through the optional results. The exact path for the other values
// stays out of line in decimal_digits.cpp.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "decimal/decimal_characters.hpp"
#include "decimal/decimal_digits.hpp"

namespace recio::digit_steps {

using numeric::QuadReal;
using u64 = std::uint64_t;
using u128 = unsigned __int128;

// A finite nonzero magnitude as significand x 2^exponent, significand < 2^113.
struct BinaryValue {
    u64 high = 0;  // significand bits 112..64
    u64 low = 0;   // significand bits 63..0
    int exponent = 0;
    int bit_length = 0;  // of the significand
};

inline BinaryValue decompose(QuadReal x) {
    BinaryValue v;
    v.low = x.low;
    v.high = x.high & numeric::kHighFractionMask;
    const int biased = numeric::biased_exponent(x);
    if (biased == 0) {
        v.exponent = 1 - numeric::kExponentBias - numeric::kFractionBits;  // subnormal
    } else {
        v.high |= u64{1} << (numeric::kFractionBits - 64);
        v.exponent = biased - numeric::kExponentBias - numeric::kFractionBits;
    }
    v.bit_length = v.high != 0 ? 128 - __builtin_clzll(v.high) : 64 - __builtin_clzll(v.low);
    return v;
}

// floor(log10(2^e)) for |e| up to 16500: 1292913986 / 2^32 is log10(2) rounded down,
// close enough that no product in that range lands on the wrong side of an integer
// (checked for every e of the range).
constexpr int floor_log10_pow2(int e) {
    return static_cast<int>((static_cast<std::int64_t>(e) * 1292913986) >> 32);
}

// The remainder after one more digit is discarded below an existing remainder.
inline CutOff dropping_digit(int digit, bool rest_nonzero) {
    if (digit == 5) {
        return rest_nonzero ? CutOff::above_half : CutOff::half;
    }
    if (digit > 5) {
        return CutOff::above_half;
    }
    return digit == 0 && !rest_nonzero ? CutOff::zero : CutOff::below_half;
}

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline void write_pair(unsigned pair, char* out) {
    std::memcpy(out, kDigitPairs + 2 * pair, 2);
}

// Exactly eight digits of x < 10^8, leading zeros included. The digits are split
// in lanes of one word, 4 + 4 digits, then 2 + 2 + 2 + 2, then one a byte, each
// split by a multiplication that stands for a division by 100 or 10 in every lane
// at once (exact for lanes below 10^4 and 10^2); the word is stored with the
// first digit at the lowest address.
[[gnu::always_inline]] inline void write_eight(std::uint32_t x, char* out) {
    const u64 fours = (x / 10000) | (static_cast<u64>(x % 10000) << 32);
    const u64 hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007FULL;
    const u64 pairs = hundreds | ((fours - hundreds * 100) << 16);
    const u64 tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
    const u64 digits = tens | ((pairs - tens * 10) << 8);
    store_characters(digits + 0x3030303030303030ULL, out);
}

// Exactly `count` digits of x < 10^count (1 <= count <= 16), leading zeros included,
// at the front of `out`: x is padded with zeros to 8 or 16 digits, written whole,
// so up to 16 bytes are written.
inline void write_left_aligned(u64 x, int count, char* out) {
    if (count <= 8) {
        write_eight(static_cast<std::uint32_t>(x * kPowersOfTen[8 - count]), out);
        return;
    }
    const u64 padded = x * kPowersOfTen[16 - count];
    write_eight(static_cast<std::uint32_t>(padded / 100'000'000), out);
    write_eight(static_cast<std::uint32_t>(padded % 100'000'000), out + 8);
}

// The fast path, for ordinary magnitudes: n = floor(m x 5^scale / 2^shift) with
// 0 <= scale <= 27 and 1 <= shift < 192, when it fits a word. The product of the
// 113-bit significand and the power of five takes three words.

inline constexpr int kMaxSmallPowerOfFive = 27;  // the largest power of five below 2^64

inline CutOff cut_off(bool half, bool below) {
    return half ? (below ? CutOff::above_half : CutOff::half)
                : (below ? CutOff::below_half : CutOff::zero);
}

[[gnu::always_inline]] inline bool scale_in_word(const BinaryValue& v, int scale, u64& n,
                                                 CutOff& rest) {
    const int shift = -(v.exponent + scale);
    if (scale < 0 || scale > kMaxSmallPowerOfFive || shift < 1 || shift >= 192) {
        return false;
    }
    const u64 factor = kPowersOfFive[static_cast<std::size_t>(scale)];
    const u128 low_product = static_cast<u128>(v.low) * factor;
    // The product is top:bottom with a 128-bit top.
    const u128 top = static_cast<u128>(v.high) * factor + (low_product >> 64);
    const u64 bottom = static_cast<u64>(low_product);
    if (shift > 64 && shift < 128) {
        // The common case, the cut inside the middle word: in 64-bit operations.
        const int k = shift - 64;
        const auto upper = static_cast<u64>(top >> 64);
        const auto middle = static_cast<u64>(top);
        if ((upper >> k) != 0) {
            return false;
        }
        n = (upper << (64 - k)) | (middle >> k);
        rest = cut_off(((middle >> (k - 1)) & 1) != 0,
                       (middle & ((u64{1} << (k - 1)) - 1)) != 0 || bottom != 0);
        return true;
    }
    if (shift < 64) {
        if ((top >> shift) != 0) {
            return false;
        }
        n = static_cast<u64>(top << (64 - shift)) | (bottom >> shift);
        rest = cut_off(((bottom >> (shift - 1)) & 1) != 0,
                       (bottom & ((u64{1} << (shift - 1)) - 1)) != 0);
        return true;
    }
    const int k = shift - 64;
    const u128 quotient = top >> k;
    if ((quotient >> 64) != 0) {
        return false;
    }
    n = static_cast<u64>(quotient);
    if (k == 0) {
        rest = cut_off((bottom >> 63) != 0, (bottom << 1) != 0);
    } else {
        const u128 fraction = top & ((static_cast<u128>(1) << k) - 1);
        rest = cut_off(((fraction >> (k - 1)) & 1) != 0,
                       (fraction & ((static_cast<u128>(1) << (k - 1)) - 1)) != 0 || bottom != 0);
    }
    return true;
}

inline bool rounds_up(CutOff remainder, bool last_digit_odd) {
    return remainder == CutOff::above_half || (remainder == CutOff::half && last_digit_odd);
}

// Adds one unit in the last place; returns true when the carry ran out of the
// leading digit (the digits are then all zeros).
inline bool increment(char* digits, int length) {
    for (int i = length - 1; i >= 0; --i) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    return true;
}

inline int estimated_exponent(const BinaryValue& v) {
    // 10^(estimate-1) <= |value| < 10^(estimate+1)
    return floor_log10_pow2(v.bit_length - 1 + v.exponent) + 1;
}

// Drops the last `places` (1 to 19) digits of n into the rest below them.
inline void drop_digits(u64& n, int places, CutOff& rest) {
    const u64 unit = kPowersOfTen[static_cast<std::size_t>(places)];
    const u64 cut = n % unit;
    const u64 half = unit / 2;
    const bool below = rest != CutOff::zero;
    n /= unit;
    if (cut == half) {
        rest = below ? CutOff::above_half : CutOff::half;
    } else if (cut > half) {
        rest = CutOff::above_half;
    } else {
        rest = cut != 0 || below ? CutOff::below_half : CutOff::zero;
    }
}

bool truncate_by_scaling(const BinaryValue& v, int count, DigitPath path, TruncatedDigits& result);

// The first `count` significant digits of a finite nonzero value and the rest. The
// value is taken whole and taken apart here, where its parts can stay in registers.
[[gnu::always_inline]] inline bool truncate(QuadReal value, int count, DigitPath path,
                                            TruncatedDigits& result) {
    const BinaryValue v = decompose(value);
    const int estimate = estimated_exponent(v);
    result.exponent = estimate;
    result.length = count;
    if (path == DigitPath::fast_where_possible && count <= 16) {
        // A value with more integer digits than `count` is taken to its integer
        // part, and the digits beyond the count are dropped from that word; either
        // way n has count or count + 1 digits.
        const int extra = std::max(estimate - count, 0);
        u64 n = 0;
        CutOff rest = CutOff::zero;
        if (extra <= 19 && scale_in_word(v, count + extra - estimate, n, rest)) {
            if (extra > 0) {
                drop_digits(n, extra, rest);
            }
            if (n >= kPowersOfTen[static_cast<std::size_t>(count)]) {
                rest = dropping_digit(static_cast<int>(n % 10), rest != CutOff::zero);
                n /= 10;
                ++result.exponent;
            }
            // The digits array has room for the zeros written after the count.
            write_left_aligned(n, count, result.digits.data());
            result.rest = rest;
            return true;
        }
    }
    return truncate_by_scaling(v, count, path, result);
}

// Rounds the truncation to its first `keep` digits (0 <= keep <= length) into
// `digits` (room for kMaxDecimalDigits + 1). Returns the rounded length: one more
// than `keep` when the carry runs out of the leading digit (then the digits are "1"
// and zeros), 0 when the result is zero.
inline int round_to(const TruncatedDigits& exact, int keep, char* digits) {
    CutOff rest = exact.rest;
    if (keep < exact.length) {
        bool below = rest != CutOff::zero;
        for (int i = keep + 1; i < exact.length && !below; ++i) {
            below = exact.digits[i] != '0';
        }
        rest = dropping_digit(exact.digits[keep] - '0', below);
    }
    // Short truncations are copied in words of 8 bytes, the size in which their
    // digits were written, so that each load takes its bytes from one store.
    if (keep <= 8) {
        std::memcpy(digits, exact.digits.data(), 8);
    } else if (keep <= 16) {
        std::memcpy(digits, exact.digits.data(), 16);
    } else {
        std::memcpy(digits, exact.digits.data(), sizeof exact.digits);
    }
    const bool odd = keep > 0 && (digits[keep - 1] - '0') % 2 != 0;
    if (!rounds_up(rest, odd)) {
        return keep;
    }
    if (increment(digits, keep)) {
        digits[keep] = '0';
        digits[0] = '1';
        return keep + 1;
    }
    return keep;
}

inline bool round_truncated(const TruncatedDigits& exact, DigitMode mode, int count,
                            DecimalDigits& result) {
    if (exact.length < 1 || exact.length > kMaxDecimalDigits + 1) {
        return false;  // not a truncation that truncated_digits makes
    }
    if (mode == DigitMode::significant) {
        if (count < 1 || count > exact.length || count > kMaxDecimalDigits) {
            return false;
        }
        const int length = round_to(exact, count, result.digits.data());
        result.length = count;
        result.exponent = exact.exponent + (length > count ? 1 : 0);
        return true;
    }
    // Fixed: the digits down to the count-th decimal are the first exponent + count.
    if (count < 0 || count > exact.length - exact.exponent) {
        return false;
    }
    const int keep = exact.exponent + count;
    if (keep > kMaxDecimalDigits) {
        return false;  // the kept digits alone are too many
    }
    result.length = 0;
    result.exponent = -count;
    if (keep < 0) {
        return true;  // below 10^-(count+1): less than half a unit
    }
    const int length = round_to(exact, keep, result.digits.data());
    if (length > kMaxDecimalDigits) {
        return false;
    }
    result.length = length;
    result.exponent = length - count;
    return true;
}

}  // namespace recio::digit_steps

#include "decimal/decimal_digits.hpp"

#include "decimal/decimal_characters.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace recio {
namespace {

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

BinaryValue decompose(QuadReal x) {
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
CutOff dropping_digit(int digit, bool rest_nonzero) {
    if (digit == 5) {
        return rest_nonzero ? CutOff::above_half : CutOff::half;
    }
    if (digit > 5) {
        return CutOff::above_half;
    }
    return digit == 0 && !rest_nonzero ? CutOff::zero : CutOff::below_half;
}

// floor(|value| x 10^scale) and the position of the discarded fraction. The integer
// is held in `word` where it fits one, otherwise as decimal digits (no leading
// zeros; none for 0).
struct ScaledDigits {
    static constexpr int kCapacity = 80;  // above any count with its carry and guard digit
    CutOff remainder = CutOff::zero;
    bool in_word = false;
    std::uint64_t word = 0;
    int length = 0;
    std::array<char, kCapacity> digits;
};

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void write_pair(unsigned pair, char* out) {
    std::memcpy(out, kDigitPairs + 2 * pair, 2);
}

// Exactly eight digits of x < 10^8, leading zeros included; the four pairs are
// independent of each other.
void write_eight(std::uint32_t x, char* out) {
    const std::uint32_t high = x / 10000;
    const std::uint32_t low = x % 10000;
    write_pair(high / 100, out);
    write_pair(high % 100, out + 2);
    write_pair(low / 100, out + 4);
    write_pair(low % 100, out + 6);
}

// Writes the decimal digits of x ending just before `end`; returns how many.
int write_backwards(u64 x, char* end) {
    char* p = end;
    while (x >= 100'000'000) {
        p -= 8;
        write_eight(static_cast<std::uint32_t>(x % 100'000'000), p);
        x /= 100'000'000;
    }
    auto y = static_cast<std::uint32_t>(x);
    while (y >= 100) {
        p -= 2;
        write_pair(y % 100, p);
        y /= 100;
    }
    if (y >= 10) {
        p -= 2;
        write_pair(y, p);
    } else if (y > 0) {
        *--p = static_cast<char>('0' + y);
    }
    return static_cast<int>(end - p);
}

// ---------------------------------------------------------------------------------
// The fast path, for ordinary magnitudes: n = floor(m x 5^scale / 2^shift) with
// 0 <= scale <= 27 and 1 <= shift < 192, when it fits a word. The product of the
// 113-bit significand and the power of five takes three words.

constexpr int kMaxSmallPowerOfFive = 27;  // the largest power of five below 2^64

CutOff cut_off(bool half, bool below) {
    return half ? (below ? CutOff::above_half : CutOff::half)
                : (below ? CutOff::below_half : CutOff::zero);
}

bool scale_in_word(const BinaryValue& v, int scale, u64& n, CutOff& rest) {
    const int shift = -(v.exponent + scale);
    if (scale < 0 || scale > kMaxSmallPowerOfFive || shift < 1 || shift >= 192) {
        return false;
    }
    const u64 factor = kPowersOfFive[static_cast<std::size_t>(scale)];
    const u128 low_product = static_cast<u128>(v.low) * factor;
    // The product is top:bottom with a 128-bit top.
    const u128 top = static_cast<u128>(v.high) * factor + (low_product >> 64);
    const u64 bottom = static_cast<u64>(low_product);
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

// ---------------------------------------------------------------------------------
// Exact path for every other value: a base-10^9 integer of fixed capacity.
//
// The largest intermediates, for a cut after kMaxDecimalDigits + 1 digits and a
// guard digit: m x 5^(scale+1) for values at the bottom of the normal range (about
// 3520 digits, 391 limbs) and m x 2^(e+scale+1) for the largest finite value (about
// 3460 digits).

class DecimalInteger {
public:
    static constexpr u64 kBase = 1'000'000'000;
    static constexpr int kCapacity = 416;

    explicit DecimalInteger(const BinaryValue& v) {
        u128 m = (static_cast<u128>(v.high) << 64) | v.low;
        while (m != 0) {
            limbs_[size_++] = static_cast<std::uint32_t>(m % kBase);
            m /= kBase;
        }
    }

    // factor <= 2^31.
    void multiply(u64 factor) {
        u64 carry = 0;
        for (int i = 0; i < size_; ++i) {
            const u64 product = limbs_[i] * factor + carry;
            limbs_[i] = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        while (carry != 0) {
            if (size_ == kCapacity) {
                std::abort();  // unreachable for the bounds above
            }
            limbs_[size_++] = static_cast<std::uint32_t>(carry % kBase);
            carry /= kBase;
        }
    }

    // divisor <= 2^31; returns true when the division was not exact.
    bool divide(u64 divisor) {
        u64 remainder = 0;
        for (int i = size_ - 1; i >= 0; --i) {
            const u64 dividend = remainder * kBase + limbs_[i];
            limbs_[i] = static_cast<std::uint32_t>(dividend / divisor);
            remainder = dividend % divisor;
        }
        while (size_ > 0 && limbs_[size_ - 1] == 0) {
            --size_;
        }
        return remainder != 0;
    }

    void multiply_by_power(u64 base, int chunk, int exponent) {
        for (; exponent > 0; exponent -= chunk) {
            multiply(power(base, std::min(exponent, chunk)));
        }
    }

    bool divide_by_power(u64 base, int chunk, int exponent) {
        bool inexact = false;
        for (; exponent > 0; exponent -= chunk) {
            inexact |= divide(power(base, std::min(exponent, chunk)));
        }
        return inexact;
    }

    // The decimal digits; false if there are more than fit.
    bool store(ScaledDigits& out) const {
        out.length = 0;
        if (size_ == 0) {
            return true;
        }
        char top[10];
        const int top_length = write_backwards(limbs_[size_ - 1], top + sizeof top);
        const int length = top_length + 9 * (size_ - 1);
        if (length > ScaledDigits::kCapacity) {
            return false;
        }
        std::memcpy(out.digits.data(), top + sizeof top - top_length,
                    static_cast<std::size_t>(top_length));
        char* p = out.digits.data() + length;
        for (int i = 0; i < size_ - 1; ++i) {
            const int written = write_backwards(limbs_[i], p);
            std::memset(p - 9, '0', static_cast<std::size_t>(9 - written));
            p -= 9;
        }
        out.length = length;
        return true;
    }

private:
    static u64 power(u64 base, int exponent) {
        u64 result = 1;
        while (exponent-- > 0) {
            result *= base;
        }
        return result;
    }

    std::array<std::uint32_t, kCapacity> limbs_;  // only the first size_ are in use
    int size_ = 0;
};

// Computes floor(v x 10^(scale+1)) and whether it was exact, then drops the guard
// digit to learn on which side of half the fraction of v x 10^scale lies.
bool scale_exact(const BinaryValue& v, int scale, ScaledDigits& out) {
    const int guarded = scale + 1;
    const int twos = v.exponent + guarded;
    DecimalInteger x(v);
    if (twos > 0) {
        x.multiply_by_power(2, 29, twos);
    }
    if (guarded > 0) {
        x.multiply_by_power(5, 13, guarded);
    }
    bool inexact = false;
    if (twos < 0) {
        inexact |= x.divide_by_power(2, 29, -twos);
    }
    if (guarded < 0) {
        inexact |= x.divide_by_power(5, 13, -guarded);
    }
    if (!x.store(out)) {
        return false;
    }
    const int guard = out.length > 0 ? out.digits[out.length - 1] - '0' : 0;
    out.length = std::max(out.length - 1, 0);
    out.remainder = dropping_digit(guard, inexact);
    return true;
}

// ---------------------------------------------------------------------------------

int decimal_length(u64 n) {
    int length = 0;
    while (length < 20 && n >= kPowersOfTen[length]) {
        ++length;
    }
    return length;
}

bool rounds_up(CutOff remainder, bool last_digit_odd) {
    return remainder == CutOff::above_half || (remainder == CutOff::half && last_digit_odd);
}

// Adds one unit in the last place; returns true when the carry ran out of the
// leading digit (the digits are then all zeros).
bool increment(char* digits, int length) {
    for (int i = length - 1; i >= 0; --i) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    return true;
}

int estimated_exponent(const BinaryValue& v) {
    // 10^(estimate-1) <= |value| < 10^(estimate+1)
    return floor_log10_pow2(v.bit_length - 1 + v.exponent) + 1;
}

bool scale(const BinaryValue& v, int scale, DigitPath path, ScaledDigits& out) {
    out.in_word =
        path == DigitPath::fast_where_possible && scale_in_word(v, scale, out.word, out.remainder);
    return out.in_word || scale_exact(v, scale, out);
}

// The first `count` significant digits of a finite nonzero value and the rest. The
// value is taken whole and taken apart here, where its parts can stay in registers.
bool truncate(QuadReal value, int count, DigitPath path, TruncatedDigits& result) {
    const BinaryValue v = decompose(value);
    const int estimate = estimated_exponent(v);
    // The scaled value has count or count + 1 integer digits.
    ScaledDigits s;
    if (!scale(v, count - estimate, path, s)) {
        return false;
    }
    result.exponent = estimate;
    result.length = count;
    if (s.in_word && count <= 18) {
        u64 n = s.word;
        if (n >= kPowersOfTen[count]) {
            s.remainder = dropping_digit(static_cast<int>(n % 10), s.remainder != CutOff::zero);
            n /= 10;
            ++result.exponent;
        }
        write_backwards(n, result.digits.data() + count);
        result.rest = s.remainder;
        return true;
    }
    if (s.in_word) {
        s.length = decimal_length(s.word);
        write_backwards(s.word, s.digits.data() + s.length);
    }
    if (s.length > count) {
        s.remainder = dropping_digit(s.digits[count] - '0', s.remainder != CutOff::zero);
        ++result.exponent;
    }
    std::memcpy(result.digits.data(), s.digits.data(), static_cast<std::size_t>(count));
    result.rest = s.remainder;
    return true;
}

// Rounds the truncation to its first `keep` digits (0 <= keep <= length) into
// `digits` (room for kMaxDecimalDigits + 1). Returns the rounded length: one more
// than `keep` when the carry runs out of the leading digit (then the digits are "1"
// and zeros), 0 when the result is zero.
int round_to(const TruncatedDigits& exact, int keep, char* digits) {
    CutOff rest = exact.rest;
    if (keep < exact.length) {
        bool below = rest != CutOff::zero;
        for (int i = keep + 1; i < exact.length && !below; ++i) {
            below = exact.digits[i] != '0';
        }
        rest = dropping_digit(exact.digits[keep] - '0', below);
    }
    std::memcpy(digits, exact.digits.data(), sizeof exact.digits);  // a fixed size copies fastest
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

bool round_truncated(const TruncatedDigits& exact, DigitMode mode, int count,
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

bool valid_input(QuadReal value) {
    return numeric::is_finite(value) && !numeric::is_zero(value);
}

}  // namespace

std::optional<TruncatedDigits> truncated_digits(QuadReal value, int count, DigitPath path) {
    // One result object on every path, so that it is built in the caller's place.
    std::optional<TruncatedDigits> result;
    if (valid_input(value) && count >= 1 && count <= kMaxDecimalDigits + 1) {
        result.emplace();
        if (truncate(value, count, path, *result)) {
            result->negative = numeric::sign_bit(value);
        } else {
            result.reset();
        }
    }
    return result;
}

std::optional<DecimalDigits> round_digits(const TruncatedDigits& exact, DigitMode mode, int count) {
    std::optional<DecimalDigits> result;
    result.emplace();
    if (round_truncated(exact, mode, count, *result)) {
        result->negative = exact.negative;
    } else {
        result.reset();
    }
    return result;
}

std::optional<DecimalDigits> decimal_digits(QuadReal value, DigitMode mode, int count) {
    std::optional<DecimalDigits> result;
    if (!valid_input(value)) {
        return result;
    }
    TruncatedDigits exact;
    if (mode == DigitMode::significant) {
        if (count < 1 || count > kMaxDecimalDigits ||
            !truncate(value, count, DigitPath::fast_where_possible, exact)) {
            return result;
        }
    } else {
        // Cut at the count-th decimal or below it: exponent + count digits, and the
        // exponent is at most one above the estimate.
        const int estimate = estimated_exponent(decompose(value));
        if (count < 0 || count > kMaxDecimalDigits - estimate) {
            return result;
        }
        if (count < -1 - estimate) {
            // |value| < 10^(estimate+1) <= 10^-(count+1): below half a unit.
            result.emplace();
            result->exponent = -count;
            result->negative = numeric::sign_bit(value);
            return result;
        }
        if (!truncate(value, std::max(estimate + 1 + count, 1), DigitPath::fast_where_possible,
                      exact)) {
            return result;
        }
    }
    exact.negative = numeric::sign_bit(value);
    return round_digits(exact, mode, count);
}

}  // namespace recio

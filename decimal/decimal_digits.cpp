#include "decimal/decimal_digits.hpp"

#include "decimal/decimal_characters.hpp"
#include "decimal/digit_steps.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace recio {
namespace {

using namespace digit_steps;

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

bool scale(const BinaryValue& v, int scale, DigitPath path, ScaledDigits& out) {
    out.in_word =
        path == DigitPath::fast_where_possible && scale_in_word(v, scale, out.word, out.remainder);
    return out.in_word || scale_exact(v, scale, out);
}

}  // namespace

// The first `count` digits of values outside the word path's range, and of every
// value on the exact path; result.exponent is the estimate on entry.
bool digit_steps::truncate_by_scaling(const BinaryValue& v, int count, DigitPath path,
                                      TruncatedDigits& result) {
    const int estimate = result.exponent;
    // The scaled value has count or count + 1 integer digits.
    ScaledDigits s;
    if (!scale(v, count - estimate, path, s)) {
        return false;
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

namespace {

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

#include "decimal/decimal_exact.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "decimal/decimal_characters.hpp"
#include "decimal/decimal_rounding.hpp"

namespace recio {
namespace {

// The largest numbers met: up to kMaxSignificantDigits digits (3.33 bits each), and
// 5^n (2.33 bits per step) with n up to kMaxSignificantDigits - 1 - the lowest
// leading exponent, shifted for a quotient of 115 bits, then by up to 63 bits and
// one more limb in the division.
constexpr std::size_t kLimbCapacity = 640;
constexpr std::size_t kMostDigitBits = kMaxSignificantDigits * 3322 / 1000 + 1;
constexpr std::size_t kMostPowerOfFiveBits =
    (kMaxSignificantDigits - kVanishingLeadingExponent) * 2322 / 1000 + 1;
static_assert(kLimbCapacity * 64 >=
              std::max(kMostDigitBits, kMostPowerOfFiveBits + 115) + 63 + 64 + 64);

constexpr std::uint64_t kLargestSmallPowerOfFive = 7450580596923828125ULL;  // 5^27
constexpr unsigned kLargestSmallFiveExponent = 27;

// A non-negative integer of up to kLimbCapacity 64-bit limbs, least significant
// first, without leading zero limbs. The bounds above keep every number of the
// conversion within the capacity; should one ever not fit, the number is marked as
// overflowed instead of writing past its storage, and the conversion fails.
class BigInteger {
public:
    explicit BigInteger(std::uint64_t value) {
        if (value != 0) {
            limbs_[0] = value;
            size_ = 1;
        }
    }

    bool overflowed() const { return overflowed_; }
    std::size_t size() const { return size_; }

    std::size_t bit_length() const {
        return size_ == 0 ? 0 : 64 * size_ - std::countl_zero(limbs_[size_ - 1]);
    }

    // The bits from bit_length() - 128 upwards, or the whole number when it is shorter.
    UInt128 top_bits() const {
        const std::size_t length = bit_length();
        if (length <= 128) {
            return low_bits(0);
        }
        const std::size_t start = length - 128;
        const std::size_t word = start / 64;
        const unsigned offset = start % 64;
        UInt128 x = low_bits(word);
        if (offset != 0) {
            const std::uint64_t above = word + 2 < size_ ? limbs_[word + 2] : 0;
            x = (x >> offset) | (static_cast<UInt128>(above) << (128 - offset));
        }
        return x;
    }

    void multiply_add(std::uint64_t factor, std::uint64_t addend) {
        UInt128 carry = addend;
        for (std::size_t i = 0; i < size_; ++i) {
            const UInt128 product = static_cast<UInt128>(limbs_[i]) * factor + carry;
            limbs_[i] = static_cast<std::uint64_t>(product);
            carry = product >> 64;
        }
        if (carry != 0) {
            append(static_cast<std::uint64_t>(carry));
        }
    }

    void multiply_by_power_of_five(std::int64_t exponent) {
        for (; exponent >= kLargestSmallFiveExponent; exponent -= kLargestSmallFiveExponent) {
            multiply_add(kLargestSmallPowerOfFive, 0);
        }
        std::uint64_t rest = 1;
        for (; exponent > 0; --exponent) {
            rest *= 5;
        }
        multiply_add(rest, 0);
    }

    void shift_left(std::size_t bits) {
        if (size_ == 0 || bits == 0) {
            return;
        }
        const std::size_t whole = bits / 64;
        const unsigned part = bits % 64;
        const std::size_t new_size = size_ + whole + (part != 0 ? 1 : 0);
        if (new_size > kLimbCapacity) {
            overflowed_ = true;
            return;
        }
        if (part == 0) {
            for (std::size_t i = size_; i-- > 0;) {
                limbs_[i + whole] = limbs_[i];
            }
        } else {
            limbs_[size_ + whole] = limbs_[size_ - 1] >> (64 - part);
            for (std::size_t i = size_ - 1; i > 0; --i) {
                limbs_[i + whole] = (limbs_[i] << part) | (limbs_[i - 1] >> (64 - part));
            }
            limbs_[whole] = limbs_[0] << part;
        }
        std::fill_n(limbs_.begin(), whole, 0);
        size_ = new_size;
        trim();
    }

    // The integer part of *this / divisor, which must be below 2^128 (only its low
    // 128 bits are kept). Long division with 64-bit digits; both numbers are used as
    // scratch space and hold nothing useful afterwards.
    UInt128 divide(BigInteger& divisor) {
        const std::size_t n = divisor.size_;
        if (n == 0 || size_ < n || overflowed_ || divisor.overflowed_) {
            return 0;
        }
        if (n == 1) {
            return divide_by_limb(divisor.limbs_[0]);
        }
        // Normalise so that the divisor's top limb has its top bit set; then each
        // estimated quotient digit is at most one too large after the check below.
        const int normalising_shift = std::countl_zero(divisor.limbs_[n - 1]);
        const std::size_t m = size_ - n;
        divisor.shift_left(static_cast<std::size_t>(normalising_shift));
        shift_left(static_cast<std::size_t>(normalising_shift));
        if (m + n + 1 > kLimbCapacity || overflowed_ || divisor.overflowed_) {
            overflowed_ = true;
            return 0;
        }
        std::fill(limbs_.begin() + static_cast<std::ptrdiff_t>(size_),
                  limbs_.begin() + static_cast<std::ptrdiff_t>(m + n + 1), 0);
        std::uint64_t* u = limbs_.data();
        const std::uint64_t* v = divisor.limbs_.data();
        UInt128 quotient = 0;
        for (std::size_t j = m + 1; j-- > 0;) {
            const UInt128 top = (static_cast<UInt128>(u[j + n]) << 64) | u[j + n - 1];
            UInt128 estimate = top / v[n - 1];
            UInt128 rest = top % v[n - 1];
            while ((estimate >> 64) != 0 || estimate * v[n - 2] > ((rest << 64) | u[j + n - 2])) {
                --estimate;
                rest += v[n - 1];
                if ((rest >> 64) != 0) {
                    break;
                }
            }
            std::uint64_t carry = 0;
            std::uint64_t borrow = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const UInt128 product = estimate * v[i] + carry;
                carry = static_cast<std::uint64_t>(product >> 64);
                const auto low = static_cast<std::uint64_t>(product);
                const std::uint64_t before = u[i + j];
                const std::uint64_t difference = before - low;
                u[i + j] = difference - borrow;
                borrow = static_cast<std::uint64_t>(before < low) +
                         static_cast<std::uint64_t>(difference < borrow);
            }
            const std::uint64_t subtrahend = carry + borrow;
            const bool negative = u[j + n] < subtrahend;
            u[j + n] -= subtrahend;
            if (negative) {
                --estimate;
                std::uint64_t add_carry = 0;
                for (std::size_t i = 0; i < n; ++i) {
                    const UInt128 sum = static_cast<UInt128>(u[i + j]) + v[i] + add_carry;
                    u[i + j] = static_cast<std::uint64_t>(sum);
                    add_carry = static_cast<std::uint64_t>(sum >> 64);
                }
                u[j + n] += add_carry;
            }
            quotient = (quotient << 64) | static_cast<std::uint64_t>(estimate);
        }
        size_ = 0;
        divisor.size_ = 0;
        return quotient;
    }

private:
    UInt128 low_bits(std::size_t word) const {
        const std::uint64_t low = word < size_ ? limbs_[word] : 0;
        const std::uint64_t high = word + 1 < size_ ? limbs_[word + 1] : 0;
        return (static_cast<UInt128>(high) << 64) | low;
    }

    void append(std::uint64_t limb) {
        if (size_ == kLimbCapacity) {
            overflowed_ = true;
            return;
        }
        limbs_[size_++] = limb;
    }

    void trim() {
        while (size_ > 0 && limbs_[size_ - 1] == 0) {
            --size_;
        }
    }

    UInt128 divide_by_limb(std::uint64_t divisor) {
        UInt128 quotient = 0;
        UInt128 remainder = 0;
        for (std::size_t i = size_; i-- > 0;) {
            const UInt128 current = (remainder << 64) | limbs_[i];
            quotient = (quotient << 64) | static_cast<std::uint64_t>(current / divisor);
            remainder = current % divisor;
        }
        size_ = 0;
        return quotient;
    }

    std::array<std::uint64_t, kLimbCapacity> limbs_;
    std::size_t size_ = 0;
    bool overflowed_ = false;
};

// digits[0..count) as an integer, 19 digits per step, the shortest step first.
BigInteger integer_of_digits(const SignificantDigits& digits, std::size_t count) {
    const std::size_t first_chunk = count % 19 == 0 ? 19 : count % 19;
    std::uint64_t chunk = 0;
    for (std::size_t i = 0; i < first_chunk; ++i) {
        chunk = chunk * 10 + static_cast<std::uint64_t>(digits[i] - '0');
    }
    BigInteger value(chunk);
    for (std::size_t i = first_chunk; i < count; i += 19) {
        chunk = 0;
        for (std::size_t k = i; k < i + 19; ++k) {
            chunk = chunk * 10 + static_cast<std::uint64_t>(digits[k] - '0');
        }
        value.multiply_add(kPowersOfTen[19], chunk);
    }
    return value;
}

}  // namespace

ConvertedValue exact_path_convert(const ScannedDecimal& scanned) {
    constexpr ConvertedValue kNotConvertible{numeric::QuadReal{}, false};
    if (scanned.kind != DecimalKind::number) {
        return kNotConvertible;
    }
    const bool negative = scanned.negative;
    const SignificantDigits digits = significant_digits(scanned);
    if (digits.empty()) {
        return {signed_zero(negative), true};
    }
    const std::size_t total = digits.size();
    std::size_t last = std::min(total, kMaxSignificantDigits) - 1;
    while (digits[last] == '0') {  // digits[0] is not a zero
        --last;
    }
    const std::int64_t last_exponent =
        saturating_add(digits.last_digit_exponent, signed_length(total - 1 - last));
    const std::int64_t leading_exponent = saturating_add(last_exponent, signed_length(last));
    if (leading_exponent >= kOverflowingLeadingExponent) {
        return kNotConvertible;
    }
    if (leading_exponent <= kVanishingLeadingExponent) {
        return {signed_zero(negative), true};
    }

    BigInteger scaled = integer_of_digits(digits, last + 1);
    UInt128 significand = 0;
    std::int64_t binary_exponent = 0;
    if (last_exponent >= 0) {
        // D * 10^Q = (D * 5^Q) * 2^Q exactly; keep its top 128 bits.
        scaled.multiply_by_power_of_five(last_exponent);
        significand = scaled.top_bits();
        binary_exponent =
            last_exponent +
            static_cast<std::int64_t>(std::max<std::size_t>(scaled.bit_length(), 128)) - 128;
    } else {
        // D * 10^Q = (D * 2^s / 5^n) * 2^(-s - n), n = -Q. With s chosen so that
        // 2^113 <= D * 2^s / 5^n < 2^115, the integer part of that quotient has the
        // 114 or 115 bits that rounding needs.
        const std::int64_t n = -last_exponent;
        BigInteger divisor(1);
        divisor.multiply_by_power_of_five(n);
        const std::int64_t shift = static_cast<std::int64_t>(divisor.bit_length()) -
                                   static_cast<std::int64_t>(scaled.bit_length()) + 114;
        if (shift >= 0) {
            scaled.shift_left(static_cast<std::size_t>(shift));
        } else {
            divisor.shift_left(static_cast<std::size_t>(-shift));
        }
        if (scaled.overflowed() || divisor.overflowed()) {
            return kNotConvertible;
        }
        significand = scaled.divide(divisor);
        binary_exponent = -shift - n;
    }
    if (scaled.overflowed() || significand == 0) {
        return kNotConvertible;
    }
    const auto rounded = round_to_binary128(negative, significand, binary_exponent);
    if (!rounded) {
        return kNotConvertible;
    }
    return {*rounded, true};
}

}  // namespace recio

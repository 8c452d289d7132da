#include "fuzz/support/exact.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace fuzzsupport {

Natural::Natural(std::uint64_t value) {
    while (value != 0) {
        limbs_.push_back(static_cast<std::uint32_t>(value));
        value >>= 32;
    }
}

void Natural::trim() {
    while (!limbs_.empty() && limbs_.back() == 0) {
        limbs_.pop_back();
    }
}

Natural Natural::from_decimal(std::string_view digits) {
    Natural result;
    std::size_t i = 0;
    while (i < digits.size()) {
        // Nine digits at a time.
        std::uint32_t chunk = 0;
        std::uint32_t scale = 1;
        for (int k = 0; k < 9 && i < digits.size(); ++k, ++i) {
            chunk = chunk * 10 + static_cast<std::uint32_t>(digits[i] - '0');
            scale *= 10;
        }
        result.multiply_small(scale).add_small(chunk);
    }
    return result;
}

namespace {

Natural computed_power(std::uint32_t base, std::int64_t exponent) {
    // The largest power of the base that fits a limb, used as one factor.
    std::uint32_t chunk = 1;
    std::int64_t chunk_exponent = 0;
    while (static_cast<std::uint64_t>(chunk) * base <= UINT32_MAX) {
        chunk *= base;
        ++chunk_exponent;
    }
    Natural result(1);
    for (; exponent >= chunk_exponent; exponent -= chunk_exponent) {
        result.multiply_small(chunk);
    }
    for (; exponent > 0; --exponent) {
        result.multiply_small(base);
    }
    return result;
}

// Powers of five are needed again and again, for every exponent up to a few
// tens of thousands: kept once computed.
constexpr std::int64_t kCachedFivePowers = 24'000;

const Natural& cached_power_of_five(std::int64_t exponent) {
    static std::vector<Natural> powers{Natural(1)};
    while (static_cast<std::int64_t>(powers.size()) <= exponent) {
        Natural next = powers.back();
        next.multiply_small(5);
        powers.push_back(std::move(next));
    }
    return powers[static_cast<std::size_t>(exponent)];
}

}  // namespace

Natural Natural::power(std::uint32_t base, std::int64_t exponent) {
    if ((base == 5 || base == 10) && exponent <= kCachedFivePowers) {
        Natural result = cached_power_of_five(exponent);
        if (base == 10) {
            result.shift_left(exponent);
        }
        return result;
    }
    return computed_power(base, exponent);
}

std::int64_t Natural::bit_length() const {
    if (limbs_.empty()) {
        return 0;
    }
    std::uint32_t top = limbs_.back();
    std::int64_t bits = 32 * static_cast<std::int64_t>(limbs_.size() - 1);
    while (top != 0) {
        ++bits;
        top >>= 1;
    }
    return bits;
}

Natural& Natural::multiply_small(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs_) {
        const std::uint64_t product = static_cast<std::uint64_t>(limb) * factor + carry;
        limb = static_cast<std::uint32_t>(product);
        carry = product >> 32;
    }
    if (carry != 0) {
        limbs_.push_back(static_cast<std::uint32_t>(carry));
    }
    trim();
    return *this;
}

Natural& Natural::add_small(std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::size_t i = 0; carry != 0; ++i) {
        if (i == limbs_.size()) {
            limbs_.push_back(0);
        }
        const std::uint64_t sum = static_cast<std::uint64_t>(limbs_[i]) + carry;
        limbs_[i] = static_cast<std::uint32_t>(sum);
        carry = sum >> 32;
    }
    return *this;
}

Natural& Natural::shift_left(std::int64_t bits) {
    if (limbs_.empty() || bits <= 0) {
        return *this;
    }
    const auto whole = static_cast<std::size_t>(bits / 32);
    const auto part = static_cast<unsigned>(bits % 32);
    std::vector<std::uint32_t> shifted(limbs_.size() + whole + 1, 0);
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
        const std::uint64_t wide = static_cast<std::uint64_t>(limbs_[i]) << part;
        shifted[i + whole] |= static_cast<std::uint32_t>(wide);
        shifted[i + whole + 1] |= static_cast<std::uint32_t>(wide >> 32);
    }
    limbs_ = std::move(shifted);
    trim();
    return *this;
}

Natural& Natural::multiply(const Natural& factor) {
    std::vector<std::uint32_t> product(limbs_.size() + factor.limbs_.size() + 1, 0);
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < factor.limbs_.size(); ++j) {
            const std::uint64_t sum =
                static_cast<std::uint64_t>(limbs_[i]) * factor.limbs_[j] + product[i + j] + carry;
            product[i + j] = static_cast<std::uint32_t>(sum);
            carry = sum >> 32;
        }
        for (std::size_t k = i + factor.limbs_.size(); carry != 0; ++k) {
            const std::uint64_t sum = product[k] + carry;
            product[k] = static_cast<std::uint32_t>(sum);
            carry = sum >> 32;
        }
    }
    limbs_ = std::move(product);
    trim();
    return *this;
}

Natural& Natural::subtract(const Natural& smaller) {
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
        std::int64_t difference = static_cast<std::int64_t>(limbs_[i]) - borrow -
                                  (i < smaller.limbs_.size() ? smaller.limbs_[i] : 0);
        borrow = difference < 0 ? 1 : 0;
        if (difference < 0) {
            difference += std::int64_t{1} << 32;
        }
        limbs_[i] = static_cast<std::uint32_t>(difference);
    }
    if (borrow != 0) {
        std::abort();  // the oracle itself is wrong
    }
    trim();
    return *this;
}

std::uint32_t Natural::divide_small(std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (std::size_t i = limbs_.size(); i-- > 0;) {
        const std::uint64_t current = (remainder << 32) | limbs_[i];
        limbs_[i] = static_cast<std::uint32_t>(current / divisor);
        remainder = current % divisor;
    }
    trim();
    return static_cast<std::uint32_t>(remainder);
}

Natural Natural::divide(const Natural& divisor) {
    // Long division with 32-bit digits (Knuth, algorithm D).
    if (*this < divisor) {
        Natural remainder = std::move(*this);
        *this = Natural();
        return remainder;
    }
    const std::size_t n = divisor.limbs_.size();
    if (n == 1) {
        return Natural(divide_small(divisor.limbs_[0]));
    }
    const std::size_t m = limbs_.size() - n;
    const int shift = __builtin_clz(divisor.limbs_.back());
    Natural v = divisor;
    v.shift_left(shift);
    Natural u_shifted = *this;
    u_shifted.shift_left(shift);
    std::vector<std::uint32_t> u = u_shifted.limbs_;
    u.resize(m + n + 1, 0);
    const std::vector<std::uint32_t>& vn = v.limbs_;
    std::vector<std::uint32_t> q(m + 1, 0);
    constexpr std::uint64_t kBase = std::uint64_t{1} << 32;
    for (std::size_t j = m + 1; j-- > 0;) {
        const std::uint64_t top = (static_cast<std::uint64_t>(u[j + n]) << 32) | u[j + n - 1];
        std::uint64_t qhat = top / vn[n - 1];
        std::uint64_t rhat = top % vn[n - 1];
        while (qhat >= kBase || qhat * vn[n - 2] > ((rhat << 32) | u[j + n - 2])) {
            --qhat;
            rhat += vn[n - 1];
            if (rhat >= kBase) {
                break;
            }
        }
        std::int64_t k = 0;
        std::int64_t t = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t p = qhat * vn[i];
            t = static_cast<std::int64_t>(u[i + j]) - k -
                static_cast<std::int64_t>(p & 0xFFFFFFFFU);
            u[i + j] = static_cast<std::uint32_t>(t);
            k = static_cast<std::int64_t>(p >> 32) - (t >> 32);
        }
        t = static_cast<std::int64_t>(u[j + n]) - k;
        u[j + n] = static_cast<std::uint32_t>(t);
        if (t < 0) {
            --qhat;
            std::uint64_t carry = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint64_t sum = static_cast<std::uint64_t>(u[i + j]) + vn[i] + carry;
                u[i + j] = static_cast<std::uint32_t>(sum);
                carry = sum >> 32;
            }
            u[j + n] = static_cast<std::uint32_t>(u[j + n] + carry);
        }
        q[j] = static_cast<std::uint32_t>(qhat);
    }
    Natural remainder;
    remainder.limbs_.assign(u.begin(), u.begin() + static_cast<std::ptrdiff_t>(n));
    remainder.trim();
    // Undo the normalising shift.
    remainder.divide_small(std::uint32_t{1} << shift);
    limbs_ = std::move(q);
    trim();
    return remainder;
}

std::string Natural::decimal() const {
    if (limbs_.empty()) {
        return "0";
    }
    Natural rest = *this;
    std::string reversed;
    while (!rest.is_zero()) {
        std::uint32_t chunk = rest.divide_small(1'000'000'000);
        for (int i = 0; i < 9; ++i) {
            reversed.push_back(static_cast<char>('0' + chunk % 10));
            chunk /= 10;
        }
    }
    while (reversed.size() > 1 && reversed.back() == '0') {
        reversed.pop_back();
    }
    return std::string(reversed.rbegin(), reversed.rend());
}

std::uint64_t Natural::low_word() const {
    std::uint64_t word = limbs_.empty() ? 0 : limbs_[0];
    if (limbs_.size() > 1) {
        word |= static_cast<std::uint64_t>(limbs_[1]) << 32;
    }
    return word;
}

std::strong_ordering operator<=>(const Natural& a, const Natural& b) {
    if (a.limbs_.size() != b.limbs_.size()) {
        return a.limbs_.size() <=> b.limbs_.size();
    }
    for (std::size_t i = a.limbs_.size(); i-- > 0;) {
        if (a.limbs_[i] != b.limbs_[i]) {
            return a.limbs_[i] <=> b.limbs_[i];
        }
    }
    return std::strong_ordering::equal;
}

std::strong_ordering compare(const Decimal& a, const Dyadic& b) {
    if (a.digits.is_zero() || b.significand.is_zero()) {
        return !a.digits.is_zero() <=> !b.significand.is_zero();
    }
    // log2 of each lies within one of these estimates (the decimal exponent may be
    // huge, so its share is estimated in floating point, with a wide margin).
    const double a_log2 = static_cast<double>(a.digits.bit_length()) +
                          static_cast<double>(a.exponent) * 3.321928094887362;
    const double b_log2 =
        static_cast<double>(b.significand.bit_length()) + static_cast<double>(b.exponent);
    if (a_log2 > b_log2 + 8) {
        return std::strong_ordering::greater;
    }
    if (a_log2 < b_log2 - 8) {
        return std::strong_ordering::less;
    }
    // digits * 5^e * 2^e against significand * 2^k.
    Natural left = a.digits;
    Natural right = b.significand;
    if (a.exponent >= 0) {
        left.multiply(Natural::power(5, a.exponent));
    } else {
        right.multiply(Natural::power(5, -a.exponent));
    }
    if (a.exponent >= b.exponent) {
        left.shift_left(a.exponent - b.exponent);
    } else {
        right.shift_left(b.exponent - a.exponent);
    }
    return left <=> right;
}

Binary128Parts parts_of(numeric::QuadReal finite) {
    Binary128Parts parts;
    parts.negative = numeric::sign_bit(finite);
    parts.high = finite.high & numeric::kHighFractionMask;
    parts.low = finite.low;
    const int biased = numeric::biased_exponent(finite);
    if (biased == 0) {
        parts.ulp_exponent = -16494;
    } else {
        parts.high |= std::uint64_t{1} << 48;
        parts.ulp_exponent = biased - 16383 - 112;
    }
    return parts;
}

namespace {

Natural significand_of(const Binary128Parts& parts) {
    Natural result(parts.high);
    result.shift_left(32);
    result.add_small(static_cast<std::uint32_t>(parts.low >> 32));
    result.shift_left(32);
    result.add_small(static_cast<std::uint32_t>(parts.low));
    return result;
}

}  // namespace

Dyadic magnitude_of(numeric::QuadReal finite) {
    const Binary128Parts parts = parts_of(finite);
    return {significand_of(parts), parts.ulp_exponent};
}

Dyadic upper_midpoint(numeric::QuadReal finite) {
    const Binary128Parts parts = parts_of(finite);
    Natural m = significand_of(parts);
    m.multiply_small(2).add_small(1);  // (2M + 1) * 2^(e-1)
    return {m, parts.ulp_exponent - 1};
}

std::optional<Dyadic> lower_midpoint(numeric::QuadReal finite) {
    const Binary128Parts parts = parts_of(finite);
    const Natural m = significand_of(parts);
    if (m.is_zero()) {
        return std::nullopt;
    }
    const bool binade_bottom = parts.high == (std::uint64_t{1} << 48) && parts.low == 0;
    if (binade_bottom && parts.ulp_exponent > -16494) {
        // The neighbour below has half this value's spacing: (4M - 1) * 2^(e-2).
        Natural four_m = m;
        four_m.multiply_small(4);
        four_m.subtract(Natural(1));
        return Dyadic{four_m, parts.ulp_exponent - 2};
    }
    Natural two_m = m;
    two_m.multiply_small(2);
    two_m.subtract(Natural(1));
    return Dyadic{two_m, parts.ulp_exponent - 1};
}

Decimal exact_decimal(const Dyadic& value) {
    Decimal result;
    result.digits = value.significand;
    if (value.exponent >= 0) {
        result.digits.shift_left(value.exponent);
        result.exponent = 0;
    } else {
        result.digits.multiply(Natural::power(5, -value.exponent));
        result.exponent = value.exponent;
    }
    return result;
}

namespace {

// floor(|v| * 10^scale) and whether the rest is below, at or above one half
// (-1, 0, +1), or exactly zero (-2).
struct Scaled {
    Natural quotient;
    int rest = -2;
};

Scaled scale(const Dyadic& v, std::int64_t decimal_scale) {
    Natural numerator = v.significand;
    Natural denominator(1);
    if (v.exponent >= 0) {
        numerator.shift_left(v.exponent);
    } else {
        denominator.shift_left(-v.exponent);
    }
    if (decimal_scale >= 0) {
        numerator.multiply(Natural::power(10, decimal_scale));
    } else {
        denominator.multiply(Natural::power(10, -decimal_scale));
    }
    Scaled result;
    result.quotient = numerator;
    Natural remainder = result.quotient.divide(denominator);
    if (remainder.is_zero()) {
        result.rest = -2;
    } else {
        remainder.multiply_small(2);
        const auto order = remainder <=> denominator;
        result.rest = order < 0 ? -1 : order == 0 ? 0 : 1;
    }
    return result;
}

// Rounds to nearest, ties to even.
Natural rounded(Scaled s) {
    const bool odd = (s.quotient.low_word() & 1U) != 0;
    if (s.rest == 1 || (s.rest == 0 && odd)) {
        s.quotient.add_small(1);
    }
    return s.quotient;
}

// floor(|v| * 10^(count - x)) with 10^(x-1) <= |v| < 10^x.
std::pair<Scaled, int> scale_to_digits(const Dyadic& v, int count) {
    const double log10_estimate =
        static_cast<double>(v.significand.bit_length() - 1 + v.exponent) * 0.30102999566398120;
    int x = static_cast<int>(std::floor(log10_estimate)) + 1;
    const Natural lowest = Natural::power(10, count - 1);
    const Natural beyond = Natural::power(10, count);
    while (true) {
        Scaled s = scale(v, count - x);
        if (s.quotient >= beyond) {
            ++x;
        } else if (s.quotient < lowest) {
            --x;
        } else {
            return {std::move(s), x};
        }
    }
}

}  // namespace

TruncatedDecimal truncate_significant(numeric::QuadReal finite_nonzero, int count) {
    auto [s, x] = scale_to_digits(magnitude_of(finite_nonzero), count);
    return {s.quotient.decimal(), x, s.rest};
}

RoundedDecimal round_significant(numeric::QuadReal finite_nonzero, int count) {
    auto [s, x] = scale_to_digits(magnitude_of(finite_nonzero), count);
    Natural digits = rounded(std::move(s));
    if (digits == Natural::power(10, count)) {
        digits = Natural::power(10, count - 1);
        ++x;
    }
    return {digits.decimal(), x};
}

std::optional<RoundedDecimal> round_fixed(numeric::QuadReal finite_nonzero, int decimals,
                                          int most_digits) {
    const Dyadic v = magnitude_of(finite_nonzero);
    const double log10_estimate =
        static_cast<double>(v.significand.bit_length() + v.exponent) * 0.30102999566398120;
    if (log10_estimate + decimals > most_digits + 3) {
        return std::nullopt;
    }
    const Natural digits = rounded(scale(v, decimals));
    RoundedDecimal result;
    if (!digits.is_zero()) {
        result.digits = digits.decimal();
    }
    if (static_cast<int>(result.digits.size()) > most_digits) {
        return std::nullopt;
    }
    result.exponent = static_cast<int>(result.digits.size()) - decimals;
    return result;
}

}  // namespace fuzzsupport

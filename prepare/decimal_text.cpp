#include "prepare/decimal_text.hpp"

#include <algorithm>
#include <vector>

namespace prepare {

namespace {

// The powers of ten from which emodul's reading would overflow, and below which
// it would give zero (see within_reading_range).
constexpr std::int64_t kHighestLeadingPower = 4931;
constexpr std::int64_t kLowestLeadingPower = -4965;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t digit_run(std::string_view text, std::size_t from) {
    std::size_t end = from;
    while (end < text.size() && is_digit(text[end])) {
        ++end;
    }
    return end - from;
}

// The written digits of a value as one sequence, whole part first.
class Digits {
public:
    explicit Digits(const DecimalText& value) : value_(value) {}

    std::size_t size() const { return value_.whole.size() + value_.fraction.size(); }
    char operator[](std::size_t i) const {
        return i < value_.whole.size() ? value_.whole[i] : value_.fraction[i - value_.whole.size()];
    }
    // The power of ten that digit i stands for.
    std::int64_t power(std::size_t i) const {
        return static_cast<std::int64_t>(value_.whole.size()) - 1 - static_cast<std::int64_t>(i) +
               value_.exponent;
    }
    std::size_t first_nonzero() const {
        std::size_t i = 0;
        while (i < size() && (*this)[i] == '0') {
            ++i;
        }
        return i;
    }
    // One past the last nonzero digit.
    std::size_t end_of_nonzero() const {
        std::size_t end = size();
        while (end > 0 && (*this)[end - 1] == '0') {
            --end;
        }
        return end;
    }
    void append(std::string& out, std::size_t from, std::size_t to) const {
        const std::size_t whole = value_.whole.size();
        if (from < whole) {
            out.append(value_.whole.substr(from, std::min(to, whole) - from));
        }
        if (to > whole) {
            const std::size_t start = std::max(from, whole) - whole;
            out.append(value_.fraction.substr(start, to - whole - start));
        }
    }

private:
    const DecimalText& value_;
};

// -1, 0 or 1 as |a| is below, equal to or above |b|.
int compare_magnitudes(const DecimalText& a, const DecimalText& b) {
    const Digits da(a);
    const Digits db(b);
    const std::size_t fa = da.first_nonzero();
    const std::size_t fb = db.first_nonzero();
    const bool a_zero = fa == da.size();
    const bool b_zero = fb == db.size();
    if (a_zero || b_zero) {
        return a_zero && b_zero ? 0 : (a_zero ? -1 : 1);
    }
    if (da.power(fa) != db.power(fb)) {
        return da.power(fa) < db.power(fb) ? -1 : 1;
    }
    const std::size_t ea = da.end_of_nonzero();
    const std::size_t eb = db.end_of_nonzero();
    std::size_t ia = fa;
    std::size_t ib = fb;
    for (; ia < ea && ib < eb; ++ia, ++ib) {
        if (da[ia] != db[ib]) {
            return da[ia] < db[ib] ? -1 : 1;
        }
    }
    // Equal so far: whichever has nonzero digits left is larger.
    return ia < ea ? 1 : (ib < eb ? -1 : 0);
}

}  // namespace

std::optional<DecimalText> parse_decimal(std::string_view field, char decimal_sign) {
    DecimalText value;
    std::size_t at = 0;
    if (at < field.size() && (field[at] == '+' || field[at] == '-')) {
        value.negative = field[at] == '-';
        ++at;
    }
    value.whole = field.substr(at, digit_run(field, at));
    at += value.whole.size();
    if (at < field.size() && field[at] == decimal_sign) {
        ++at;
        value.fraction = field.substr(at, digit_run(field, at));
        at += value.fraction.size();
    }
    if (value.whole.empty() && value.fraction.empty()) {
        return std::nullopt;
    }
    if (at < field.size() && (field[at] == 'E' || field[at] == 'e')) {
        ++at;
        bool negative_exponent = false;
        if (at < field.size() && (field[at] == '+' || field[at] == '-')) {
            negative_exponent = field[at] == '-';
            ++at;
        }
        const std::size_t digits = digit_run(field, at);
        if (digits == 0) {
            return std::nullopt;
        }
        std::int64_t exponent = 0;
        for (const char c : field.substr(at, digits)) {
            exponent = std::min(exponent * 10 + (c - '0'), kExponentClamp);
        }
        at += digits;
        value.exponent = negative_exponent ? -exponent : exponent;
    }
    if (at != field.size()) {
        return std::nullopt;
    }
    return value;
}

bool is_zero(const DecimalText& value) {
    const Digits digits(value);
    return digits.first_nonzero() == digits.size();
}

DecimalText scaled(DecimalText value, std::int64_t power) {
    value.exponent += power;
    return value;
}

DecimalText negated(DecimalText value) {
    value.negative = !value.negative;
    return value;
}

bool within_reading_range(const DecimalText& value) {
    // A zero is judged by its first written digit, which bounds its text too.
    const Digits digits(value);
    const std::size_t first = digits.first_nonzero();
    const std::int64_t leading = digits.power(first == digits.size() ? 0 : first);
    return leading >= kLowestLeadingPower && leading <= kHighestLeadingPower;
}

int compare(const DecimalText& a, const DecimalText& b) {
    const bool a_negative = a.negative && !is_zero(a);
    const bool b_negative = b.negative && !is_zero(b);
    if (a_negative != b_negative) {
        return a_negative ? -1 : 1;
    }
    const int magnitudes = compare_magnitudes(a, b);
    return a_negative ? -magnitudes : magnitudes;
}

void append_plain(std::string& out, const DecimalText& value) {
    const Digits digits(value);
    const std::size_t size = digits.size();
    // Where the decimal point falls among the digits: before digit `point`.
    const std::int64_t point = static_cast<std::int64_t>(value.whole.size()) + value.exponent;
    const std::size_t fraction_digits =
        point < static_cast<std::int64_t>(size) ? static_cast<std::size_t>(static_cast<std::int64_t>(size) - point) : 0;
    const std::size_t first = digits.first_nonzero();
    if (first == size) {
        out += '0';
    } else {
        if (value.negative) {
            out += '-';
        }
        if (point > static_cast<std::int64_t>(first)) {
            const std::size_t whole_end = std::min(static_cast<std::size_t>(point), size);
            digits.append(out, first, whole_end);
            out.append(static_cast<std::size_t>(point) - whole_end, '0');
        } else {
            out += '0';
        }
    }
    if (fraction_digits > 0) {
        out += '.';
        if (point < 0) {
            out.append(static_cast<std::size_t>(-point), '0');
        }
        if (first == size) {
            out.append(std::min(fraction_digits, size), '0');
        } else {
            digits.append(out, static_cast<std::size_t>(std::max<std::int64_t>(point, 0)), size);
        }
    }
}

std::string plain(const DecimalText& value) {
    std::string text;
    append_plain(text, value);
    return text;
}

OwnedDecimal multiply(const DecimalText& a, const DecimalText& b) {
    const Digits da(a);
    const Digits db(b);
    const std::size_t fa = da.first_nonzero();
    const std::size_t fb = db.first_nonzero();
    if (fa == da.size() || fb == db.size()) {
        return OwnedDecimal(false, "0", 0);
    }
    const std::size_t ea = da.end_of_nonzero();
    const std::size_t eb = db.end_of_nonzero();
    // Digit k of the product (from the lowest) collects the products of the
    // digits whose distances from the lowest digits add up to k.
    std::vector<std::uint64_t> columns(ea - fa + eb - fb, 0);
    for (std::size_t i = 0; i < ea - fa; ++i) {
        const std::uint64_t x = static_cast<std::uint64_t>(da[ea - 1 - i] - '0');
        for (std::size_t j = 0; j < eb - fb; ++j) {
            columns[i + j] += x * static_cast<std::uint64_t>(db[eb - 1 - j] - '0');
        }
    }
    std::string product(columns.size(), '0');
    std::uint64_t carry = 0;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const std::uint64_t sum = columns[k] + carry;
        product[columns.size() - 1 - k] = static_cast<char>('0' + sum % 10);
        carry = sum / 10;
    }
    const std::size_t leading = product.find_first_not_of('0');
    product.erase(0, leading);
    return OwnedDecimal(a.negative != b.negative, std::move(product), da.power(ea - 1) + db.power(eb - 1));
}

}  // namespace prepare

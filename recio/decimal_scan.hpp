#pragma once
// First stage of turning a numeric value's text into a QuadReal: take the text
// apart without converting anything. The result points into the caller's text (no
// copies), so it is only valid while that text is.
//
// Accepted forms, after an optional sign "+" or "-":
//   digits with at most one decimal point, at least one digit in all, then an
//   optional exponent: a letter E, D or Q (either case) followed by an optional sign
//   and digits (a letter with nothing after it means exponent 0), or a sign
//   directly followed by digits ("1.5-3" is 0.0015);
// or exactly one of the words Inf, Infinity, NaN in any mix of case.
// Anything else, including characters left over after a complete number, is
// malformed. The scan looks at every byte of the text exactly once and never
// outside it, whatever the bytes are.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace recio {

enum class DecimalKind : std::uint8_t { number, infinity, nan, malformed };

// Written exponents are clamped to this magnitude. A text cannot be long enough
// for its digits to move the value by anything near 10^(10^17), so a clamped
// exponent still means overflow or underflow, exactly as the written one does, and
// sums of an exponent and a digit count stay far from the 64-bit limits.
inline constexpr std::int64_t kExponentLimit = 100'000'000'000'000'000;

struct ScannedDecimal {
    DecimalKind kind = DecimalKind::malformed;
    bool negative = false;
    std::string_view integer_digits;   // digits before the point, leading zeros removed
    std::string_view fraction_digits;  // digits after the point, as written
    std::int64_t exponent = 0;         // written exponent, clamped to +-kExponentLimit
};

// Adds without wrapping; the result is clamped to the int64 range.
constexpr std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? INT64_MAX : INT64_MIN;
    }
    return sum;
}

// Text lengths as signed values; no real text comes near the clamp.
constexpr std::int64_t signed_length(std::size_t length) {
    return static_cast<std::int64_t>(std::min<std::size_t>(length, INT64_MAX / 4));
}

namespace scan_detail {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr char lower_case(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

constexpr bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower_case(text[i]) != lower_word[i]) {
            return false;
        }
    }
    return true;
}

constexpr bool is_exponent_letter(char c) {
    switch (c) {
        case 'E': case 'e': case 'D': case 'd': case 'Q': case 'q':
            return true;
        default:
            return false;
    }
}

}  // namespace scan_detail

constexpr ScannedDecimal scan_decimal(std::string_view text) {
    using namespace scan_detail;
    ScannedDecimal scanned;
    const std::size_t end = text.size();
    std::size_t i = 0;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        scanned.negative = text[i] == '-';
        ++i;
    }
    if (i < end) {
        const char first = lower_case(text[i]);
        if (first == 'i' || first == 'n') {
            const std::string_view word = text.substr(i);
            if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
                scanned.kind = DecimalKind::infinity;
            } else if (equals_ignoring_case(word, "nan")) {
                scanned.kind = DecimalKind::nan;
            }
            return scanned;
        }
    }

    const std::size_t integer_start = i;
    while (i < end && is_digit(text[i])) {
        ++i;
    }
    std::string_view integer_digits = text.substr(integer_start, i - integer_start);
    std::string_view fraction_digits;
    if (i < end && text[i] == '.') {
        const std::size_t fraction_start = ++i;
        while (i < end && is_digit(text[i])) {
            ++i;
        }
        fraction_digits = text.substr(fraction_start, i - fraction_start);
    }
    if (integer_digits.empty() && fraction_digits.empty()) {
        return scanned;
    }

    if (i < end) {
        bool exponent_negative = false;
        bool digits_required = false;
        if (is_exponent_letter(text[i])) {
            ++i;
            if (i < end && (text[i] == '+' || text[i] == '-')) {
                exponent_negative = text[i] == '-';
                ++i;
                digits_required = true;
            }
        } else if (text[i] == '+' || text[i] == '-') {
            exponent_negative = text[i] == '-';
            ++i;
            digits_required = true;
        } else {
            return scanned;
        }
        const std::size_t exponent_start = i;
        std::int64_t exponent = 0;
        while (i < end && is_digit(text[i])) {
            exponent = std::min(exponent * 10 + (text[i] - '0'), kExponentLimit);
            ++i;
        }
        if (digits_required && i == exponent_start) {
            return scanned;
        }
        scanned.exponent = exponent_negative ? -exponent : exponent;
    }
    if (i != end) {
        return scanned;
    }

    const std::size_t first_nonzero = integer_digits.find_first_not_of('0');
    integer_digits.remove_prefix(std::min(first_nonzero, integer_digits.size()));
    scanned.kind = DecimalKind::number;
    scanned.integer_digits = integer_digits;
    scanned.fraction_digits = fraction_digits;
    return scanned;
}

// The digits of a scanned number from its first nonzero digit to its last written
// digit, as up to two pieces of the text, and the power of ten of the last one:
// the value is (head followed by tail, read as an integer) * 10^last_digit_exponent.
// Both pieces are empty when the number is zero.
struct SignificantDigits {
    std::string_view head;  // the part before the decimal point
    std::string_view tail;  // the part after it
    std::int64_t last_digit_exponent = 0;

    constexpr std::size_t size() const { return head.size() + tail.size(); }
    constexpr bool empty() const { return head.empty() && tail.empty(); }
    constexpr char operator[](std::size_t i) const {
        return i < head.size() ? head[i] : tail[i - head.size()];
    }
};

constexpr SignificantDigits significant_digits(const ScannedDecimal& scanned) {
    SignificantDigits digits;
    digits.head = scanned.integer_digits;
    digits.tail = scanned.fraction_digits;
    if (digits.head.empty()) {
        const std::size_t first_nonzero = digits.tail.find_first_not_of('0');
        digits.tail.remove_prefix(std::min(first_nonzero, digits.tail.size()));
    }
    digits.last_digit_exponent =
        saturating_add(scanned.exponent, -signed_length(scanned.fraction_digits.size()));
    return digits;
}

}  // namespace recio

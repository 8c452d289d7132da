#pragma once
// First stage of turning a numeric value's text into a QuadReal: take the text
// apart. The result points into the caller's text (no copies), so it is only valid
// while that text is. On the way the scan also reads the digits as one integer,
// which is all that ordinary values need from them.
//
// Accepted forms, after an optional sign "+" or "-":
//   digits with at most one decimal point, at least one digit in all, then an
//   optional exponent: a letter E, D or Q (either case) followed by an optional sign
//   and digits (a letter with nothing after it means exponent 0), or a sign
//   directly followed by digits ("1.5-3" is 0.0015);
// or exactly one of the words Inf, Infinity, NaN in any mix of case.
// Anything else, including characters left over after a complete number, is
// malformed. The scan makes one pass over the text and never looks outside it,
// whatever the bytes are.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decimal/decimal_characters.hpp"

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
    // All mantissa digits read as one integer, modulo 2^64: exact whenever there are
    // at most 19 of them. Collected on the way, so that ordinary values need no
    // second look at their digits.
    std::uint64_t digits_value = 0;
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

constexpr bool equals_ignoring_case(std::string_view text, std::string_view upper_word) {
    if (text.size() != upper_word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (to_upper_case(text[i]) != upper_word[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace scan_detail

// A number at the start of `text`, and how many bytes of it the number takes.
struct ScannedPrefix {
    ScannedDecimal scanned;
    std::size_t length = 0;
};

namespace scan_detail {

// One pass over the text. With `whole_text` the number must take all of it and
// the words Inf, Infinity and NaN are recognised; without, the scan stops where
// the number's form ends and words count as malformed.
[[gnu::always_inline]] constexpr ScannedPrefix scan_number(std::string_view text, bool whole_text) {
    ScannedDecimal scanned;
    const char* position = text.data();
    const char* const end = position + text.size();
    if (position != end && (*position == '+' || *position == '-')) {
        scanned.negative = *position == '-';
        ++position;
    }

    std::uint64_t digits_value = 0;
    const auto take_digits = [&] {
        for (; position != end; ++position) {
            const auto digit = static_cast<unsigned>(static_cast<unsigned char>(*position)) - '0';
            if (digit > 9) {
                break;
            }
            digits_value = digits_value * 10 + digit;
        }
    };
    const char* integer_start = position;
    take_digits();
    const char* const integer_end = position;
    const char* fraction_start = position;
    if (position != end && *position == '.') {
        fraction_start = ++position;
        take_digits();
    }
    const char* const fraction_end = position;
    if (integer_start == integer_end && fraction_start == fraction_end) {
        if (whole_text && position != end && fraction_start == integer_end) {
            const char first = to_upper_case(*position);
            if (first == 'I' || first == 'N') {
                const std::string_view word(position, static_cast<std::size_t>(end - position));
                if (equals_ignoring_case(word, "INF") || equals_ignoring_case(word, "INFINITY")) {
                    scanned.kind = DecimalKind::infinity;
                } else if (equals_ignoring_case(word, "NAN")) {
                    scanned.kind = DecimalKind::nan;
                }
            }
        }
        return {scanned, 0};
    }

    if (position != end) {
        bool exponent_negative = false;
        bool digits_required = false;
        if (is_exponent_letter(*position)) {
            ++position;
            if (position != end && (*position == '+' || *position == '-')) {
                exponent_negative = *position == '-';
                ++position;
                digits_required = true;
            }
        } else if (*position == '+' || *position == '-') {
            exponent_negative = *position == '-';
            ++position;
            digits_required = true;
        } else if (whole_text) {
            return {scanned, 0};
        }
        const char* const exponent_start = position;
        std::int64_t exponent = 0;
        while (position != end && is_decimal_digit(*position)) {
            exponent = std::min(exponent * 10 + (*position - '0'), kExponentLimit);
            ++position;
        }
        if ((whole_text && position != end) || (digits_required && position == exponent_start)) {
            return {scanned, 0};
        }
        scanned.exponent = exponent_negative ? -exponent : exponent;
    }

    while (integer_start != integer_end && *integer_start == '0') {
        ++integer_start;
    }
    scanned.kind = DecimalKind::number;
    scanned.integer_digits =
        std::string_view(integer_start, static_cast<std::size_t>(integer_end - integer_start));
    scanned.fraction_digits =
        std::string_view(fraction_start, static_cast<std::size_t>(fraction_end - fraction_start));
    scanned.digits_value = digits_value;
    return {scanned, static_cast<std::size_t>(position - text.data())};
}

}  // namespace scan_detail

[[gnu::always_inline]] constexpr ScannedDecimal scan_decimal(std::string_view text) {
    return scan_detail::scan_number(text, true).scanned;
}

// The number that starts `text` (no words), for a caller that finds the end of a
// value itself: the scan stops at the first byte that cannot continue the number.
[[gnu::always_inline]] constexpr ScannedPrefix scan_decimal_prefix(std::string_view text) {
    return scan_detail::scan_number(text, false);
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

[[gnu::always_inline]] constexpr SignificantDigits significant_digits(
    const ScannedDecimal& scanned) {
    SignificantDigits digits;
    digits.head = scanned.integer_digits;
    digits.tail = scanned.fraction_digits;
    if (digits.head.empty()) {
        std::size_t zeros = 0;
        while (zeros < digits.tail.size() && digits.tail[zeros] == '0') {
            ++zeros;
        }
        digits.tail.remove_prefix(zeros);
    }
    digits.last_digit_exponent =
        saturating_add(scanned.exponent, -signed_length(scanned.fraction_digits.size()));
    return digits;
}

}  // namespace recio

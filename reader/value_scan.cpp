#include "reader/value_scan.hpp"

#include <optional>

#include "decimal/decimal_characters.hpp"

namespace recio {
namespace {

constexpr bool begins_word(char c) {
    return c == 'I' || c == 'i' || c == 'N' || c == 'n';
}

// Words end where values end, but a carriage return or a "*" is part of them.
constexpr bool ends_word(char c) {
    return ends_value(c);
}

}  // namespace

std::size_t end_of_word(std::string_view record, std::size_t start) {
    std::size_t position = start;
    while (position < record.size() && !ends_word(record[position])) {
        ++position;
    }
    return position;
}

namespace {

// The form nearly every value has: an optional sign, digits, an optional point
// and digits, then the end of the value. Nothing when the value is anything else.
std::optional<std::size_t> end_of_plain_decimal(std::string_view record, std::size_t start) {
    const char* const first = record.data() + start;
    const char* const last = record.data() + record.size();
    const char* p = first;
    if (p != last && (*p == '+' || *p == '-')) {
        ++p;
    }
    const char* const digits = p;
    while (p != last && is_decimal_digit(*p)) {
        ++p;
    }
    if (p != last && *p == '.') {
        ++p;
        while (p != last && is_decimal_digit(*p)) {
            ++p;
        }
    }
    const bool has_digit = p - digits > 1 || (p - digits == 1 && *digits != '.');
    if (!has_digit || (p != last && !ends_value(*p))) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(p - record.data());
}

}  // namespace

NumericScan scan_numeric_value(std::string_view record, std::size_t start) {
    if (const auto end = end_of_plain_decimal(record, start)) {
        return {true, *end, false};
    }
    bool any_digit = false;
    bool digit_since_sign_or_start = false;
    bool sign_waits_for_digit = false;
    bool point_seen = false;
    bool exponent_seen = false;
    bool leading_sign_only = false;  // the text so far is exactly one sign
    std::size_t position = start;
    for (; position < record.size(); ++position) {
        const char c = record[position];
        const bool at_start = position == start;
        if (is_decimal_digit(c)) {
            any_digit = true;
            digit_since_sign_or_start = true;
            sign_waits_for_digit = false;
            leading_sign_only = false;
        } else if (c == '+' || c == '-') {
            if (sign_waits_for_digit) {
                return {};
            }
            sign_waits_for_digit = true;
            digit_since_sign_or_start = false;
            leading_sign_only = at_start;
        } else if (c == '.') {
            if (point_seen) {
                return {};
            }
            point_seen = true;
            leading_sign_only = false;
        } else if (is_exponent_letter(c)) {
            if (exponent_seen || !digit_since_sign_or_start) {
                return {};
            }
            exponent_seen = true;
            leading_sign_only = false;
        } else if (begins_word(c)) {
            if (!at_start && !leading_sign_only) {
                return {};
            }
            return {true, end_of_word(record, position), false};
        } else if (ends_value(c)) {
            break;
        } else if (c == '*') {
            if (at_start || sign_waits_for_digit) {
                return {};
            }
            return {true, position + 1, true};
        } else {
            return {};
        }
    }
    if (sign_waits_for_digit || !any_digit) {
        return {};
    }
    return {true, position, false};
}

}  // namespace recio

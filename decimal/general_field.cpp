#include "decimal/general_field.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "decimal/decimal_digits.hpp"
#include "decimal/digit_steps.hpp"

namespace recio {
namespace {

using numeric::QuadReal;

// The blanks that follow a fixed-form field: where an exponent part would stand.
constexpr int kFixedFormBlanks = 4;

// Fields of 8 to 16 columns, the usual ones, are filled by two overlapping word
// stores instead of a library call.
void fill(std::span<char> field, char c) {
    const std::size_t n = field.size();
    if (n >= 8 && n <= 16) {
        const std::uint64_t word = 0x0101010101010101ULL * static_cast<unsigned char>(c);
        std::memcpy(field.data(), &word, 8);
        std::memcpy(field.data() + n - 8, &word, 8);
        return;
    }
    std::memset(field.data(), c, n);
}

// Copies `count` bytes. The pieces are mostly a few bytes long: up to 16 are
// copied as two overlapping words, without a library call.
[[gnu::always_inline]] inline char* put(char* out, const char* text, int count) {
    if (count <= 0) {
        return out;
    }
    const auto n = static_cast<std::size_t>(count);
    if (n > 16) {
        std::memcpy(out, text, n);
    } else if (n >= 8) {
        std::memcpy(out, text, 8);
        std::memcpy(out + n - 8, text + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(out, text, 4);
        std::memcpy(out + n - 4, text + n - 4, 4);
    } else {
        out[0] = text[0];
        out[n / 2] = text[n / 2];
        out[n - 1] = text[n - 1];
    }
    return out + n;
}

constexpr char kZeros[] = "0000000000000000";

char* put_zeros(char* out, int count) {
    if (count > 16) {
        std::memset(out, '0', static_cast<std::size_t>(count));
        return out + count;
    }
    return put(out, kZeros, count);
}

// How many columns the sign and the zero before the point take, given the
// `length` of everything from the point on. The zero goes into the column left of
// the point when that column exists and is not needed for the minus sign.
struct Lead {
    bool zero;
    int length;
};

Lead lead_of(int length, bool negative, int columns) {
    const int zero_column = length + 1;
    const bool zero = zero_column < columns || (zero_column == columns && !negative);
    return {zero, (zero ? 1 : 0) + (negative ? 1 : 0)};
}

char* put_lead(char* out, Lead lead, bool negative) {
    if (negative) {
        *out++ = '-';
    }
    if (lead.zero) {
        *out++ = '0';
    }
    return out;
}

// Integer digits (none for a value below one), point, `decimals` decimals, ending
// at column width - 4; then four blanks. The length is known before anything is
// written, so a text that does not fit writes only the asterisks.
void fixed_form(const DecimalDigits& rounded, int decimals, std::span<char> field) {
    const int columns = static_cast<int>(field.size()) - kFixedFormBlanks;
    const int integer_digits = std::max(rounded.exponent, 0);
    // A value that rounds to zero here has no digits and exponent -decimals.
    const int leading_zeros = std::min(std::max(-rounded.exponent, 0), decimals);
    int length = integer_digits + 1 + decimals;
    Lead lead{false, rounded.negative ? 1 : 0};
    if (integer_digits == 0) {
        lead = lead_of(length, rounded.negative, columns);
    }
    length += lead.length;
    if (length > columns) {
        fill(field, '*');
        return;
    }
    const char* digits = rounded.digits.data();
    char* out = put_lead(field.data() + (columns - length), lead, rounded.negative);
    out = put(out, digits, integer_digits);
    *out++ = '.';
    out = put_zeros(out, leading_zeros);
    put(out, digits + integer_digits, decimals - leading_zeros);
}

// 0.DDDDD followed by "E+dd" up to an exponent of 99, "+ddd" up to 999 and "+dddd"
// beyond, right-justified in the whole field.
void exponent_form(const DecimalDigits& rounded, std::span<char> field) {
    const int columns = static_cast<int>(field.size());
    const int exponent = rounded.exponent;
    const int magnitude = exponent < 0 ? -exponent : exponent;
    const int exponent_digits = magnitude <= 99 ? 2 : magnitude <= 999 ? 3 : 4;
    int length = 1 + rounded.length + (exponent_digits == 2 ? 1 : 0) + 1 + exponent_digits;
    const Lead lead = lead_of(length, rounded.negative, columns);
    length += lead.length;
    if (length > columns) {
        fill(field, '*');
        return;
    }
    char* out = put_lead(field.data() + (columns - length), lead, rounded.negative);
    *out++ = '.';
    out = put(out, rounded.digits.data(), rounded.length);
    if (exponent_digits == 2) {
        *out++ = 'E';
    }
    *out++ = exponent < 0 ? '-' : '+';
    int rest = magnitude;
    for (int i = exponent_digits - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
}

void special_text(std::string_view text, std::span<char> field) {
    if (static_cast<int>(field.size()) < 1 + static_cast<int>(text.size())) {
        fill(field, '*');
        return;
    }
    std::memcpy(field.data() + 1, text.data(), text.size());
}

void zero_field(int digits, std::span<char> field) {
    DecimalDigits zero;
    zero.exponent = -(digits - 1);
    fixed_form(zero, digits - 1, field);
}

// Whether the first `count` digits are all nines. Up to eight are compared as one
// word, without a branch per digit (the digits array holds at least eight bytes).
bool all_nines(const char* digits, int count) {
    if (count <= 8) {
        const std::uint64_t word = load_characters(digits);
        const std::uint64_t mask =
            count == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
        return ((word ^ 0x3939393939393939ULL) & mask) == 0;
    }
    for (int i = 0; i < count; ++i) {
        if (digits[i] != '9') {
            return false;
        }
    }
    return true;
}

void finite_field(QuadReal value, int digits, DigitPath path, std::span<char> field) {
    const int width = static_cast<int>(field.size());
    // The form follows from the value rounded to the field's width in digits (and
    // at least one digit more than are shown): that decides whether rounding to
    // `digits` would carry into a new leading digit. That rounding can move the
    // exponent, or carry into the shown digits and leave them nines, only when the
    // shown digits of the exact value are all nines; so the value is cut after the
    // shown digits first, and after the decision's digits only then. The shown
    // digits are rounded from an exact truncation, never from the decision's
    // rounded digits.
    TruncatedDigits exact;
    exact.negative = numeric::sign_bit(value);
    if (!digit_steps::truncate(value, digits, path, exact)) {
        fill(field, '*');
        return;
    }
    int x = exact.exponent;
    bool carries = false;
    if (all_nines(exact.digits.data(), digits)) {
        const int decision_count = std::clamp(width, digits + 1, kMaxDecimalDigits);
        DecimalDigits decision;
        if (!digit_steps::truncate(value, decision_count, path, exact) ||
            !digit_steps::round_truncated(exact, DigitMode::significant, decision_count,
                                          decision)) {
            fill(field, '*');
            return;
        }
        const std::string_view d = decision.text();
        x = decision.exponent;
        carries = d.find_first_not_of('9') >= static_cast<std::size_t>(digits) &&
                  d[static_cast<std::size_t>(digits)] >= '5';
    }
    bool exponent = false;
    int integer_digits = 0;
    if (x < -1 || x > digits) {
        exponent = true;
    } else if (carries) {
        exponent = x >= digits;
        integer_digits = x + 1;
    } else {
        exponent = x == -1;
        integer_digits = x;
    }
    // Both positions lie above the decision's cut, so neither rounding can fail.
    DecimalDigits rounded;
    rounded.negative = exact.negative;
    if (exponent) {
        if (digit_steps::round_truncated(exact, DigitMode::significant, digits, rounded)) {
            exponent_form(rounded, field);
        }
    } else {
        const int decimals = digits - integer_digits;
        if (digit_steps::round_truncated(exact, DigitMode::fixed, decimals, rounded)) {
            fixed_form(rounded, decimals, field);
        }
    }
}

void format_field(QuadReal value, int width, int digits, std::span<char> out, DigitPath path) {
    if (width <= 0) {
        return;
    }
    if (out.size() < static_cast<std::size_t>(width)) {
        fill(out, '*');
        return;
    }
    const std::span<char> field = out.first(static_cast<std::size_t>(width));
    fill(field, ' ');
    if (digits < 1 || digits >= kMaxDecimalDigits) {
        fill(field, '*');
    } else if (numeric::is_nan(value)) {
        special_text("NaN", field);
    } else if (numeric::is_infinite(value)) {
        special_text(numeric::sign_bit(value) ? "-Infinity" : "Infinity", field);
    } else if (numeric::is_zero(value)) {
        zero_field(digits, field);
    } else {
        finite_field(value, digits, path, field);
    }
}

}  // namespace

void format_general_field(QuadReal value, int width, int digits, std::span<char> out) {
    format_field(value, width, digits, out, DigitPath::fast_where_possible);
}

void format_general_field_exactly(QuadReal value, int width, int digits, std::span<char> out) {
    format_field(value, width, digits, out, DigitPath::exact_only);
}

}  // namespace recio

#include "decimal/general_field.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "decimal/decimal_digits.hpp"

namespace recio {
namespace {

using numeric::QuadReal;

// The blanks that follow a fixed-form field: where an exponent part would stand.
constexpr int kFixedFormBlanks = 4;

void fill(std::span<char> field, char c) {
    for (char& byte : field) {
        byte = c;
    }
}

// Writes text into the first `columns` bytes of a field from their right end towards
// the left, counting what does not fit. The pieces are a few bytes long: written
// byte by byte, without library calls.
class RightToLeft {
public:
    RightToLeft(std::span<char> field, int columns)
        : cursor_(field.data() + std::max(columns, 0)), room_(std::max(columns, 0)) {}

    void put(char c) {
        if (length_ < room_) {
            *--cursor_ = c;
        }
        ++length_;
    }
    void put(std::string_view text) {
        for (std::size_t i = text.size(); i > 0; --i) {
            put(text[i - 1]);
        }
    }
    void put_zeros(int count) {
        for (int i = 0; i < count; ++i) {
            put('0');
        }
    }
    int length() const { return length_; }
    bool fits() const { return length_ <= room_; }

private:
    char* cursor_;
    int room_;
    int length_ = 0;
};

// Everything from the point on is written. The zero before the point goes into the
// column left of it when that column exists and is not needed for the minus sign.
void finish_with_sign(RightToLeft& text, bool negative, int columns) {
    const int zero_column = text.length() + 1;
    if (zero_column < columns || (zero_column == columns && !negative)) {
        text.put('0');
    }
    if (negative) {
        text.put('-');
    }
}

// Integer digits (none for a value below one), point, `decimals` decimals; in the
// first width - 4 columns, then four blanks.
void fixed_form(const DecimalDigits& rounded, int decimals, std::span<char> field) {
    const int columns = static_cast<int>(field.size()) - kFixedFormBlanks;
    RightToLeft text(field, columns);
    const int integer_digits = std::max(rounded.exponent, 0);
    if (rounded.length == 0) {
        text.put_zeros(decimals);  // rounds to zero at this place
    } else {
        text.put(rounded.text().substr(static_cast<std::size_t>(integer_digits)));
        text.put_zeros(rounded.exponent < 0 ? -rounded.exponent : 0);
    }
    text.put('.');
    if (integer_digits > 0) {
        text.put(rounded.text().substr(0, static_cast<std::size_t>(integer_digits)));
        if (rounded.negative) {
            text.put('-');
        }
    } else {
        finish_with_sign(text, rounded.negative, columns);
    }
    if (!text.fits()) {
        fill(field, '*');
    }
}

// 0.DDDDD followed by "E+dd" up to an exponent of 99, "+ddd" up to 999 and "+dddd"
// beyond, right-justified in the whole field.
void exponent_form(const DecimalDigits& rounded, std::span<char> field) {
    const int columns = static_cast<int>(field.size());
    RightToLeft text(field, columns);
    const int exponent = rounded.exponent;
    int magnitude = exponent < 0 ? -exponent : exponent;
    const int exponent_digits = magnitude <= 99 ? 2 : magnitude <= 999 ? 3 : 4;
    for (int i = 0; i < exponent_digits; ++i) {
        text.put(static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    }
    text.put(exponent < 0 ? '-' : '+');
    if (exponent_digits == 2) {
        text.put('E');
    }
    text.put(rounded.text());
    text.put('.');
    finish_with_sign(text, rounded.negative, columns);
    if (!text.fits()) {
        fill(field, '*');
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

void finite_field(QuadReal value, int digits, DigitPath path, std::span<char> field) {
    const int width = static_cast<int>(field.size());
    // The form follows from the value rounded to the field's width in digits (and
    // at least one digit more than are shown): that decides whether rounding to
    // `digits` would carry into a new leading digit. The shown digits are rounded
    // from the same exact truncation, never from the decision's rounded digits.
    const int decision_count = std::clamp(width, digits + 1, kMaxDecimalDigits);
    const auto exact = truncated_digits(value, decision_count, path);
    if (!exact) {
        fill(field, '*');
        return;
    }
    // Below a leading nine the decision's rounding cannot carry into a new leading
    // digit, nor make the first `digits` digits nines.
    int x = exact->exponent;
    bool carries = false;
    if (exact->digits[0] == '9') {
        const auto decision = round_digits(*exact, DigitMode::significant, decision_count);
        const std::string_view d = decision->text();
        x = decision->exponent;
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
    if (exponent) {
        if (const auto rounded = round_digits(*exact, DigitMode::significant, digits)) {
            exponent_form(*rounded, field);
        }
    } else {
        const int decimals = digits - integer_digits;
        if (const auto rounded = round_digits(*exact, DigitMode::fixed, decimals)) {
            fixed_form(*rounded, decimals, field);
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

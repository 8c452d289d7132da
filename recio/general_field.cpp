#include "recio/general_field.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "recio/decimal_digits.hpp"

namespace recio {
namespace {

using numeric::QuadReal;

// The blanks that follow a fixed-form field: where an exponent part would stand.
constexpr int kFixedFormBlanks = 4;

// Text assembled from its right end towards its left.
class Backwards {
public:
    void prepend(char c) { buffer_[--start_] = c; }
    // Byte loops: the pieces are a few bytes long, too short for a library call.
    void prepend(std::string_view text) {
        for (auto c = text.rbegin(); c != text.rend(); ++c) {
            buffer_[--start_] = *c;
        }
    }
    void prepend_zeros(int count) {
        for (int i = 0; i < count; ++i) {
            buffer_[--start_] = '0';
        }
    }
    int length() const { return kSize - start_; }
    std::string_view text() const {
        return {buffer_ + start_, static_cast<std::size_t>(kSize - start_)};
    }

private:
    // Room for the widest text: a sign, a zero, kMaxDecimalDigits digits, a point
    // and an exponent part.
    static constexpr int kSize = 2 * kMaxDecimalDigits + 16;
    char buffer_[kSize];
    int start_ = kSize;
};

void fill(std::span<char> field, char c) {
    for (char& byte : field) {
        byte = c;
    }
}

// `text` holds everything from the point on. The zero before the point goes into
// the column left of it when that column exists and is not needed for the minus sign.
void finish_with_sign(Backwards& text, bool negative, int columns) {
    const int zero_column = text.length() + 1;
    if (zero_column < columns || (zero_column == columns && !negative)) {
        text.prepend('0');
    }
    if (negative) {
        text.prepend('-');
    }
}

// Right-justifies `text` in the first `columns` bytes of the (blank) field, or fills
// the whole field with asterisks when it does not fit.
void place(const Backwards& text, int columns, std::span<char> field) {
    if (columns < 0 || text.length() > columns) {
        fill(field, '*');
        return;
    }
    char* out = field.data() + (columns - text.length());
    for (const char c : text.text()) {
        *out++ = c;
    }
}

// Integer digits (none for a value below one), point, `decimals` decimals; in the
// first width - 4 columns, then four blanks.
void fixed_form(const DecimalDigits& rounded, int decimals, std::span<char> field) {
    const int columns = static_cast<int>(field.size()) - kFixedFormBlanks;
    Backwards text;
    const int integer_digits = std::max(rounded.exponent, 0);
    if (rounded.length == 0) {
        text.prepend_zeros(decimals);  // rounds to zero at this place
    } else {
        text.prepend(rounded.text().substr(static_cast<std::size_t>(integer_digits)));
        text.prepend_zeros(rounded.exponent < 0 ? -rounded.exponent : 0);
    }
    text.prepend('.');
    if (integer_digits > 0) {
        text.prepend(rounded.text().substr(0, static_cast<std::size_t>(integer_digits)));
        if (rounded.negative) {
            text.prepend('-');
        }
    } else {
        finish_with_sign(text, rounded.negative, columns);
    }
    place(text, columns, field);
}

// 0.DDDDD followed by "E+dd" up to an exponent of 99, "+ddd" up to 999 and "+dddd"
// beyond, right-justified in the whole field.
void exponent_form(const DecimalDigits& rounded, std::span<char> field) {
    Backwards text;
    const int exponent = rounded.exponent;
    int magnitude = exponent < 0 ? -exponent : exponent;
    const int exponent_digits = magnitude <= 99 ? 2 : magnitude <= 999 ? 3 : 4;
    for (int i = 0; i < exponent_digits; ++i) {
        text.prepend(static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    }
    text.prepend(exponent < 0 ? '-' : '+');
    if (exponent_digits == 2) {
        text.prepend('E');
    }
    text.prepend(rounded.text());
    text.prepend('.');
    finish_with_sign(text, rounded.negative, static_cast<int>(field.size()));
    place(text, static_cast<int>(field.size()), field);
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

void finite_field(QuadReal value, int digits, std::span<char> field) {
    const int width = static_cast<int>(field.size());
    // The form follows from the value rounded to the field's width in digits (and
    // at least one digit more than are shown): that decides whether rounding to
    // `digits` would carry into a new leading digit. The shown digits are rounded
    // from the same exact truncation, never from the decision's rounded digits.
    const int decision_count = std::clamp(width, digits + 1, kMaxDecimalDigits);
    const auto exact = truncated_digits(value, decision_count);
    const auto decision =
        exact ? round_digits(*exact, DigitMode::significant, decision_count) : std::nullopt;
    if (!decision) {
        fill(field, '*');
        return;
    }
    const int x = decision->exponent;
    bool exponent = false;
    int integer_digits = 0;
    if (x < -1 || x > digits) {
        exponent = true;
    } else {
        const std::string_view d = decision->text();
        const bool carries = d.find_first_not_of('9') >= static_cast<std::size_t>(digits) &&
                             d[static_cast<std::size_t>(digits)] >= '5';
        if (carries) {
            exponent = x >= digits;
            integer_digits = x + 1;
        } else {
            exponent = x == -1;
            integer_digits = x;
        }
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

}  // namespace

void format_general_field(QuadReal value, int width, int digits, std::span<char> out) {
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
        finite_field(value, digits, field);
    }
}

}  // namespace recio

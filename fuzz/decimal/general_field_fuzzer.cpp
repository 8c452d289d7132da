// Fuzz target: exact decimal digits and the general field on arbitrary 16-byte
// patterns.
//
// Input: a bit pattern (16 bytes, least significant first) and up to four bytes
// that choose a digit count, a fixed-mode count, another field shape and whether
// the exponent is moved into the range of ordinary values (10^-38 to 10^38), where
// the machine-word path works; without that byte the pattern is taken as it is.
//
// Oracle:
//  - the program's field of width 12 with 5 digits is exactly 12 bytes of the
//    characters a field may hold, nothing outside it is touched, the machine-word
//    path and the exact path give the same bytes, and the bytes are those of a
//    formatter written here from the field's rules over digits computed exactly
//    with an independent big integer (ties to even on the exact remainder);
//  - the same for another width and digit count; outside the shapes the rules
//    define, the two paths still agree byte for byte and stay inside the field;
//  - decimal_digits in both modes, truncated_digits and round_digits return the
//    exactly computed digits, exponent and sign, and nothing where they must not.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decimal/decimal_digits.hpp"
#include "decimal/general_field.hpp"
#include "fuzz/support/exact.hpp"
#include "fuzz/support/input_bytes.hpp"
#include "fuzz/support/report.hpp"
#include "numeric/bit_pattern.hpp"

namespace {

using numeric::QuadReal;

constexpr int kBlanksAfterFixedForm = 4;

std::string pattern_of(QuadReal value) {
    const auto digits = numeric::to_bit_pattern(value);
    return std::string(digits.data(), digits.size());
}

// The zero before the point takes the column left of `body` when there is one and
// the minus sign does not need it; then the sign.
std::string with_zero_and_sign(std::string body, bool negative, int columns) {
    const int zero_column = static_cast<int>(body.size()) + 1;
    if (zero_column < columns || (zero_column == columns && !negative)) {
        body.insert(body.begin(), '0');
    }
    if (negative) {
        body.insert(body.begin(), '-');
    }
    return body;
}

std::string right_justified(const std::string& text, int columns) {
    return std::string(static_cast<std::size_t>(columns) - text.size(), ' ') + text;
}

std::string stars(int width) {
    return std::string(static_cast<std::size_t>(width), '*');
}

// Fixed form with `decimals` decimals from the digits of the value rounded there.
std::string fixed_field(const std::string& rounded, int decimals, bool negative, int width) {
    const int columns = width - kBlanksAfterFixedForm;
    std::string text;
    const auto size = static_cast<int>(rounded.size());
    if (size > decimals) {
        text = rounded.substr(0, static_cast<std::size_t>(size - decimals)) + "." +
               rounded.substr(static_cast<std::size_t>(size - decimals));
        if (negative) {
            text.insert(text.begin(), '-');
        }
    } else {
        text = "." + std::string(static_cast<std::size_t>(decimals - size), '0') + rounded;
        text = with_zero_and_sign(text, negative, columns);
    }
    if (static_cast<int>(text.size()) > columns) {
        return stars(width);
    }
    return right_justified(text, columns) + std::string(kBlanksAfterFixedForm, ' ');
}

std::string exponent_field(const fuzzsupport::RoundedDecimal& rounded, bool negative, int width) {
    const int y = rounded.exponent;
    const int magnitude = y < 0 ? -y : y;
    std::string number = std::to_string(magnitude);
    const std::size_t exponent_digits = magnitude <= 99 ? 2 : magnitude <= 999 ? 3 : 4;
    number.insert(0, exponent_digits - number.size(), '0');
    std::string text =
        "." + rounded.digits + (magnitude <= 99 ? "E" : "") + (y < 0 ? "-" : "+") + number;
    text = with_zero_and_sign(text, negative, width);
    if (static_cast<int>(text.size()) > width) {
        return stars(width);
    }
    return right_justified(text, width);
}

std::string special_field(std::string_view text, int width) {
    if (static_cast<int>(text.size()) + 1 > width) {
        return stars(width);
    }
    return " " + std::string(text) + std::string(width - 1 - text.size(), ' ');
}

// The field by its rules, for d + 2 <= w <= 48: the form is decided on the value
// rounded to w digits, the shown digits are rounded once from the exact value.
std::string reference_field(QuadReal value, int width, int digits) {
    if (numeric::is_nan(value)) {
        return special_field("NaN", width);
    }
    if (numeric::is_infinite(value)) {
        return special_field(numeric::sign_bit(value) ? "-Infinity" : "Infinity", width);
    }
    if (numeric::is_zero(value)) {
        return fixed_field("", digits - 1, false, width);
    }
    const bool negative = numeric::sign_bit(value);
    const fuzzsupport::RoundedDecimal decision = fuzzsupport::round_significant(value, width);
    const int x = decision.exponent;
    bool exponent_form = false;
    int integer_digits = 0;
    if (x < -1 || x > digits) {
        exponent_form = true;
    } else if (decision.digits.substr(0, static_cast<std::size_t>(digits)) ==
                   std::string(static_cast<std::size_t>(digits), '9') &&
               decision.digits[static_cast<std::size_t>(digits)] >= '5') {
        exponent_form = x >= digits;
        integer_digits = x + 1;
    } else {
        exponent_form = x == -1;
        integer_digits = x;
    }
    if (exponent_form) {
        return exponent_field(fuzzsupport::round_significant(value, digits), negative, width);
    }
    const int decimals = digits - integer_digits;
    const auto rounded = fuzzsupport::round_fixed(value, decimals, 200);
    FUZZ_CHECK(rounded.has_value(), "reference: fixed form out of range");
    return fixed_field(rounded->digits, decimals, negative, width);
}

bool allowed_in_field(char c) {
    return c == ' ' || (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'E' ||
           std::string_view("NaInfity*").find(c) != std::string_view::npos;
}

// The program's field by `format` into a guarded area.
template <typename Format>
std::string field_of(Format format, QuadReal value, int width, int digits) {
    std::array<char, 80> area;
    area.fill('#');
    format(value, width, digits, std::span<char>(area.data(), 64));
    const auto written = static_cast<std::size_t>(width > 0 ? width : 0);
    for (std::size_t i = written; i < area.size(); ++i) {
        FUZZ_CHECK(area[i] == '#', "a byte beyond the field was written for " + pattern_of(value) +
                                       " w=" + std::to_string(width) +
                                       " d=" + std::to_string(digits));
    }
    return std::string(area.data(), written);
}

void check_field_shape(QuadReal value, int width, int digits, bool reference) {
    const std::string where =
        pattern_of(value) + " w=" + std::to_string(width) + " d=" + std::to_string(digits);
    const std::string fast = field_of(recio::format_general_field, value, width, digits);
    const std::string exact = field_of(recio::format_general_field_exactly, value, width, digits);
    FUZZ_CHECK(fast == exact,
               "the two paths differ: '" + fast + "' and '" + exact + "' for " + where);
    for (char c : fast) {
        FUZZ_CHECK(allowed_in_field(c), "a byte a field never holds: '" + fast + "' for " + where);
    }
    if (fast.find('*') != std::string::npos) {
        FUZZ_CHECK(fast == stars(width), "asterisks in part of the field: " + where);
    }
    if (reference) {
        const std::string expected = reference_field(value, width, digits);
        FUZZ_CHECK(fast == expected,
                   "field '" + fast + "', by the rules '" + expected + "' for " + where);
    }
}

void check_digits(QuadReal value, int significant, int decimals) {
    const std::string where = pattern_of(value);
    const bool convertible = numeric::is_finite(value) && !numeric::is_zero(value);
    const bool negative = numeric::sign_bit(value);

    const auto got = recio::decimal_digits(value, recio::DigitMode::significant, significant);
    FUZZ_CHECK(got.has_value() == convertible, "significant digits offered or refused: " + where);
    if (got) {
        const auto expected = fuzzsupport::round_significant(value, significant);
        FUZZ_CHECK(std::string(got->text()) == expected.digits &&
                       got->exponent == expected.exponent && got->negative == negative,
                   "significant digits " + std::string(got->text()) + " e" +
                       std::to_string(got->exponent) + ", exactly " + expected.digits + " e" +
                       std::to_string(expected.exponent) + " for " + where + " count " +
                       std::to_string(significant));
    }

    const auto fixed = recio::decimal_digits(value, recio::DigitMode::fixed, decimals);
    const auto expected_fixed =
        convertible ? fuzzsupport::round_fixed(value, decimals, recio::kMaxDecimalDigits)
                    : std::nullopt;
    FUZZ_CHECK(fixed.has_value() == expected_fixed.has_value(),
               "fixed digits offered or refused: " + where + " count " + std::to_string(decimals));
    if (fixed) {
        FUZZ_CHECK(std::string(fixed->text()) == expected_fixed->digits &&
                       fixed->exponent == expected_fixed->exponent && fixed->negative == negative,
                   "fixed digits " + std::string(fixed->text()) + " e" +
                       std::to_string(fixed->exponent) + ", exactly " + expected_fixed->digits +
                       " e" + std::to_string(expected_fixed->exponent) + " for " + where +
                       " count " + std::to_string(decimals));
    }

    const int cut = significant + 1;  // up to kMaxDecimalDigits + 1
    const auto truncated = recio::truncated_digits(value, cut);
    FUZZ_CHECK(truncated.has_value() == convertible, "truncation offered or refused: " + where);
    if (!truncated) {
        return;
    }
    const auto expected_cut = fuzzsupport::truncate_significant(value, cut);
    const int rest = truncated->rest == recio::CutOff::zero         ? -2
                     : truncated->rest == recio::CutOff::below_half ? -1
                     : truncated->rest == recio::CutOff::half       ? 0
                                                                    : 1;
    FUZZ_CHECK(std::string(truncated->text()) == expected_cut.digits &&
                   truncated->exponent == expected_cut.exponent && rest == expected_cut.rest &&
                   truncated->negative == negative,
               "truncated digits " + std::string(truncated->text()) + " for " + where);
    // Rounded again from the truncation, at or above its cut.
    const auto again = recio::round_digits(*truncated, recio::DigitMode::significant, significant);
    FUZZ_CHECK(again && again->text() == got->text() && again->exponent == got->exponent,
               "rounding a truncation differs from rounding the value: " + where);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 16) {
        return 0;
    }
    QuadReal value = fuzzsupport::quad_from_bytes(data);
    const std::uint8_t count_byte = size > 16 ? data[16] : 0;
    const std::uint8_t width_byte = size > 17 ? data[17] : 12;
    const std::uint8_t digits_byte = size > 18 ? data[18] : 5;
    if (size > 19 && (data[19] & 15) != 0) {
        const auto biased = static_cast<std::uint64_t>(16383 - 128 + ((value.high >> 48) & 0xFF));
        value.high = (value.high & 0x8000FFFFFFFFFFFFULL) | (biased << 48);
    }

    check_field_shape(value, 12, 5, true);

    const int significant = 1 + count_byte % recio::kMaxDecimalDigits;
    const int decimals = width_byte % 64;
    check_digits(value, significant, decimals);

    const int width = width_byte % 52;
    const int digits = digits_byte % 50;
    const bool defined = digits >= 1 && digits + 2 <= width && width <= recio::kMaxDecimalDigits;
    check_field_shape(value, width, digits, defined);
    return 0;
}

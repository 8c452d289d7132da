// Fuzz target: decimal text to binary128, as a differential and exact check.
//
// Input: the first byte chooses the form of the rest.
//  - even: the rest is the text of one value, as the reader would hand it over;
//  - odd: the rest is a binary128 bit pattern (16 bytes) and a few layout bytes,
//    from which a decimal text near a rounding boundary is built: the value itself,
//    or the midpoint to a neighbour, exactly, or nudged by one unit far behind its
//    last digit, or cut after a few digits; written with or without a point, an
//    exponent letter, a bare exponent sign, leading zeros, a sign.
//
// Oracle, for every text:
//  - the fast path and the exact big-number path agree wherever the fast path
//    answers, and the reader's in-place scan converts a whole-text number alike;
//  - a text that is not a number by an independent parse of the syntax fails;
//  - Inf, Infinity and NaN give the infinities and the default NaN;
//  - a number converts to the value r whose rounding interval holds it, judged
//    exactly against the midpoints to r's neighbours (the lower one belongs to r,
//    the upper one to the next value: ties away from zero), with the written sign;
//  - it fails exactly when its magnitude is at or beyond the largest finite value
//    plus half a unit in its last place.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "decimal/decimal_conversion.hpp"
#include "decimal/decimal_exact.hpp"
#include "decimal/decimal_fast_path.hpp"
#include "decimal/decimal_scan.hpp"
#include "fuzz/support/exact.hpp"
#include "fuzz/support/input_bytes.hpp"
#include "fuzz/support/report.hpp"
#include "numeric/constants.hpp"

namespace {

using fuzzsupport::Decimal;
using fuzzsupport::Dyadic;
using fuzzsupport::Natural;
using numeric::QuadReal;

enum class Kind { malformed, number, infinity, nan };

struct Parsed {
    Kind kind = Kind::malformed;
    bool negative = false;
    Decimal value;  // for numbers: digits * 10^exponent
};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_word(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

// The syntax of a value, read straight from its description: sign; digits with at
// most one point and at least one digit; then nothing, or an exponent letter
// (E, D, Q in either case) with an optional sign and digits (a sign needs digits,
// the letter alone means 0), or a sign with digits. Or a sign and one of the words.
Parsed parse(std::string_view text) {
    Parsed parsed;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        parsed.negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);
    if (same_word(rest, "inf") || same_word(rest, "infinity")) {
        parsed.kind = Kind::infinity;
        return parsed;
    }
    if (same_word(rest, "nan")) {
        parsed.kind = Kind::nan;
        return parsed;
    }
    std::string digits;
    std::int64_t fraction_digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (is_digit(text[i])) {
            digits.push_back(text[i]);
            fraction_digits += point ? 1 : 0;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits.empty()) {
        return parsed;
    }
    std::int64_t exponent = 0;
    if (i < text.size()) {
        bool sign_needs_digits = false;
        bool exponent_negative = false;
        const char c = lower(text[i]);
        if (c == 'e' || c == 'd' || c == 'q') {
            ++i;
            if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
                exponent_negative = text[i] == '-';
                sign_needs_digits = true;
                ++i;
            }
        } else if (c == '+' || c == '-') {
            exponent_negative = c == '-';
            sign_needs_digits = true;
            ++i;
        } else {
            return parsed;
        }
        const std::size_t first_exponent_digit = i;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            // Far beyond any magnitude that digits of a short text can make up for.
            exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1'000'000'000'000);
        }
        if (i != text.size() || (sign_needs_digits && i == first_exponent_digit)) {
            return parsed;
        }
        exponent = exponent_negative ? -exponent : exponent;
    }
    parsed.kind = Kind::number;
    parsed.value.digits = Natural::from_decimal(digits);
    parsed.value.exponent = exponent - fraction_digits;
    return parsed;
}

std::string describe(std::string_view text) {
    std::string shown(text.substr(0, 200));
    if (text.size() > 200) {
        shown += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return shown;
}

bool same(const recio::ConvertedValue& a, const recio::ConvertedValue& b) {
    return a.ok == b.ok && (!a.ok || a.value == b.value);
}

// The largest finite value: its upper midpoint is the overflow threshold.
constexpr QuadReal kLargestFinite = QuadReal::from_words(0x7FFEFFFFFFFFFFFFULL, ~0ULL);

void check_number(std::string_view text, const Parsed& parsed, const recio::ConvertedValue& got) {
    const std::string shown = describe(text);
    if (parsed.value.digits.is_zero()) {
        const QuadReal zero = parsed.negative ? numeric::kNegativeZero : numeric::kPositiveZero;
        FUZZ_CHECK(got.ok && got.value == zero, "zero must keep its sign: " + shown);
        return;
    }
    if (!got.ok) {
        const auto order =
            fuzzsupport::compare(parsed.value, fuzzsupport::upper_midpoint(kLargestFinite));
        FUZZ_CHECK(order >= 0, "refused below the overflow threshold: " + shown);
        return;
    }
    FUZZ_CHECK(numeric::is_finite(got.value), "a number converted to a non-finite value: " + shown);
    FUZZ_CHECK(numeric::sign_bit(got.value) == parsed.negative, "wrong sign: " + shown);
    const auto lower = fuzzsupport::lower_midpoint(got.value);
    if (lower) {
        FUZZ_CHECK(fuzzsupport::compare(parsed.value, *lower) >= 0,
                   "the value lies below the rounding interval of the result: " + shown);
    }
    FUZZ_CHECK(fuzzsupport::compare(parsed.value, fuzzsupport::upper_midpoint(got.value)) < 0,
               "the value lies at or above the rounding interval of the result: " + shown);
}

void check_text(std::string_view text) {
    const std::string shown = describe(text);
    const recio::ConvertedValue got = recio::convert_numeric_value(text);

    // The two paths, and the reader's in-place scan.
    const recio::ScannedDecimal scanned = recio::scan_decimal(text);
    if (scanned.kind == recio::DecimalKind::number) {
        const recio::ConvertedValue exact = recio::exact_path_convert(scanned);
        if (const auto fast = recio::fast_path_convert(scanned)) {
            FUZZ_CHECK(exact.ok && exact.value == *fast, "fast and exact paths disagree: " + shown);
        }
        FUZZ_CHECK(same(got, exact), "the conversion differs from its exact path: " + shown);
    }
    const recio::ScannedPrefix prefix = recio::scan_decimal_prefix(text);
    if (prefix.scanned.kind == recio::DecimalKind::number) {
        if (prefix.length == text.size()) {
            FUZZ_CHECK(same(recio::convert_scanned_decimal(prefix.scanned), got),
                       "in-place scan converts differently: " + shown);
        } else {
            FUZZ_CHECK(!got.ok, "a number with bytes left over was accepted: " + shown);
        }
    }

    const Parsed parsed = parse(text);
    switch (parsed.kind) {
        case Kind::malformed:
            FUZZ_CHECK(!got.ok, "not a number, yet converted: " + shown);
            break;
        case Kind::infinity:
            FUZZ_CHECK(got.ok && got.value == (parsed.negative ? numeric::kNegativeInfinity
                                                               : numeric::kPositiveInfinity),
                       "an infinity word: " + shown);
            break;
        case Kind::nan:
            FUZZ_CHECK(got.ok && got.value == numeric::kDefaultNaN, "NaN: " + shown);
            break;
        case Kind::number:
            check_number(text, parsed, got);
            break;
    }
}

// A text near a rounding boundary, from a bit pattern and layout bytes.
std::string boundary_text(const std::uint8_t* data, std::size_t size) {
    std::uint8_t pattern[16] = {};
    std::memcpy(pattern, data, size < 16 ? size : 16);
    std::uint8_t layout[8] = {};
    if (size > 16) {
        std::memcpy(layout, data + 16, size - 16 < 8 ? size - 16 : 8);
    }
    QuadReal value = fuzzsupport::quad_from_bytes(pattern);
    const auto biased = static_cast<int>((value.high >> 48) & 0x7FFF);
    if ((layout[0] >> 4) != 0xF) {
        // Mostly ordinary magnitudes, about 10^-154 to 10^154, where the fast path
        // works and the texts stay short; one time in sixteen the whole range, whose
        // exact expansions run to thousands of digits.
        const int ordinary = 16383 + (biased & 0x3FF) - 512;
        value.high =
            (value.high & 0x8000FFFFFFFFFFFFULL) | (static_cast<std::uint64_t>(ordinary) << 48);
    } else if (!numeric::is_finite(value)) {
        value.high &= ~(std::uint64_t{1} << 48);  // exponent 0x7FFE: finite
    }
    const bool negative = numeric::sign_bit(value);

    Dyadic point = fuzzsupport::magnitude_of(value);
    switch (layout[0] % 4) {
        case 1:
        case 3:
            point = fuzzsupport::upper_midpoint(value);
            break;
        case 2:
            if (const auto lower = fuzzsupport::lower_midpoint(value)) {
                point = *lower;
            }
            break;
        default:
            break;
    }
    Decimal decimal = fuzzsupport::exact_decimal(point);
    // Nudged by one unit `extra` places behind the exact expansion.
    const int extra = 1 + layout[2];
    switch (layout[1] % 4) {
        case 1:
            decimal.digits.multiply(Natural::power(10, extra)).add_small(1);
            decimal.exponent -= extra;
            break;
        case 2:
            if (!decimal.digits.is_zero()) {
                decimal.digits.multiply(Natural::power(10, extra)).subtract(Natural(1));
                decimal.exponent -= extra;
            }
            break;
        default:
            break;
    }
    std::string digits = decimal.digits.decimal();
    std::int64_t exponent = decimal.exponent;
    if ((layout[3] & 0x80) != 0 && digits.size() > 1) {
        // Cut after a few digits: somewhere near, not on, the boundary.
        const std::size_t kept = 1 + layout[3] % 64;
        if (kept < digits.size()) {
            exponent += static_cast<std::int64_t>(digits.size() - kept);
            digits.resize(kept);
        }
    }
    // Trailing zeros moved into the exponent, or zeros put in front.
    if ((layout[4] & 1) != 0) {
        while (digits.size() > 1 && digits.back() == '0') {
            digits.pop_back();
            ++exponent;
        }
    }
    const std::string leading_zeros(layout[4] >> 5, '0');

    std::string text;
    switch (layout[5] % 3) {
        case 1:
            text += '-';
            break;
        case 2:
            text += '+';
            break;
        default:
            break;
    }
    if (layout[5] % 3 == 0 && negative) {
        text += '-';
    }
    // Where the point goes: after `integer_digits` of the digits (negative: zeros
    // after the point first), or nowhere.
    const int placement = layout[6] % 4;
    std::int64_t point_after = static_cast<std::int64_t>(digits.size());
    if (placement == 1) {
        point_after = 1;
    } else if (placement == 2) {
        point_after = 0;
    } else if (placement == 3 && exponent < 0 && -exponent < 20000) {
        point_after = static_cast<std::int64_t>(digits.size()) + exponent;
    }
    exponent -= point_after - static_cast<std::int64_t>(digits.size());
    text += leading_zeros;
    if (placement == 0) {
        text += digits;
    } else if (point_after <= 0) {
        text += '.';
        text.append(static_cast<std::size_t>(-point_after), '0');
        text += digits;
    } else {
        text += digits.substr(0, static_cast<std::size_t>(point_after));
        text += '.';
        text += digits.substr(static_cast<std::size_t>(point_after));
    }
    if (exponent != 0 || (layout[7] & 8) != 0) {
        static constexpr const char* kLetters[] = {"E", "e", "D", "d", "Q", "q", "", "E"};
        const char* letter = kLetters[layout[7] % 8];
        if (*letter == '\0' && exponent == 0) {
            letter = "E";
        }
        text += letter;
        if (exponent < 0) {
            text += '-';
        } else if (*letter == '\0' || (layout[7] & 16) != 0) {
            text += '+';
        }
        text.append((layout[7] >> 5) % 4, '0');
        text += std::to_string(exponent < 0 ? -exponent : exponent);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    if ((data[0] & 1) == 0) {
        check_text(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    } else {
        check_text(boundary_text(data + 1, size - 1));
    }
    return 0;
}

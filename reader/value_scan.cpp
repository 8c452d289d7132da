#include "reader/value_scan.hpp"

namespace recio {
namespace {

constexpr ScannedValue syntax_error() {
    return {};
}

std::size_t end_of_run(std::string_view record, std::size_t position, ClassSet ends) {
    while (position < record.size() && !belongs(record[position], ends)) {
        ++position;
    }
    return position;
}

constexpr char upper_case(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A number's characters one by one: digits, signs, one point, one exponent letter,
// an Inf/NaN word at the start, "*" as a repeat mark.
ScannedValue scan_number(std::string_view record, std::size_t start, bool repeat_allowed) {
    bool any_digit = false;
    bool digit_since_sign = false;  // since the start or the last sign
    bool sign_waits = false;        // a sign with no digit after it yet
    bool point = false;
    bool exponent = false;
    std::size_t p = start;
    for (; p < record.size(); ++p) {
        switch (class_of(record[p])) {
            case CharClass::digit:
                any_digit = digit_since_sign = true;
                sign_waits = false;
                continue;
            case CharClass::sign:
                if (sign_waits) {
                    return syntax_error();
                }
                sign_waits = true;
                digit_since_sign = false;
                continue;
            case CharClass::point:
                if (point) {
                    return syntax_error();
                }
                point = true;
                continue;
            case CharClass::exponent_letter:
                if (exponent || !digit_since_sign) {
                    return syntax_error();
                }
                exponent = true;
                continue;
            case CharClass::word_letter:
                // First, or right behind a single leading sign; the rest of the word is
                // the converter's to judge.
                if (p != start && (p != start + 1 || class_of(record[start]) != CharClass::sign)) {
                    return syntax_error();
                }
                return {ValueForm::number, end_of_run(record, p, kEndsNumber)};
            case CharClass::star:
                if (p == start || sign_waits || !repeat_allowed) {
                    return syntax_error();
                }
                return {ValueForm::repeat, p + 1};
            case CharClass::space_or_tab:
            case CharClass::comma:
            case CharClass::slash:
            case CharClass::close:
                break;
            default:
                return syntax_error();
        }
        break;
    }
    if (sign_waits || !any_digit) {
        return syntax_error();
    }
    return {ValueForm::number, p};
}

// The second number of a pair, behind its sign: digits with an optional point and
// further digits and an optional exponent (a letter and digits, no sign), or a
// leading part of INFINITY or NAN.
ScannedValue scan_pair_number(std::string_view record, std::size_t start) {
    std::size_t p = start;
    const auto digits = [&] {
        const std::size_t first = p;
        while (p < record.size() && class_of(record[p]) == CharClass::digit) {
            ++p;
        }
        return p > first;
    };
    if (p < record.size() && belongs(record[p], kLetters)) {
        while (p < record.size() && belongs(record[p], kLetters)) {
            ++p;
        }
        const auto leading_part_of = [&](std::string_view word) {
            if (p - start > word.size()) {
                return false;
            }
            for (std::size_t i = start; i < p; ++i) {
                if (upper_case(record[i]) != word[i - start]) {
                    return false;
                }
            }
            return true;
        };
        return leading_part_of("INFINITY") || leading_part_of("NAN")
                   ? ScannedValue{ValueForm::number, p}
                   : syntax_error();
    }
    if (!digits()) {
        return syntax_error();
    }
    if (p < record.size() && class_of(record[p]) == CharClass::point) {
        ++p;
        digits();
    }
    if (p < record.size() && class_of(record[p]) == CharClass::exponent_letter) {
        ++p;
        if (!digits()) {
            return syntax_error();
        }
    }
    return {ValueForm::number, p};
}

}  // namespace

ScannedValue scan_value(std::string_view record, std::size_t start, ScanContext context) {
    if (context == ScanContext::pair_number) {
        return scan_pair_number(record, start);
    }
    const CharClass first = class_of(record[start]);
    const bool logical = first == CharClass::logical_letter ||
                         (first == CharClass::point && start + 1 < record.size() &&
                          class_of(record[start + 1]) == CharClass::logical_letter);
    if (logical) {
        const char letter = upper_case(record[first == CharClass::point ? start + 1 : start]);
        return {letter == 'F' ? ValueForm::logical_false : ValueForm::logical_true,
                end_of_run(record, start, kEndsLogical)};
    }
    return scan_number(record, start, context == ScanContext::item);
}

}  // namespace recio

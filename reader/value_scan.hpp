#pragma once
// Where a free-form value ends in its record, and whether its characters are
// allowed at all. The scan only delimits and checks syntax; the decimal converter
// decides what the text means.

#include <cstddef>
#include <string_view>

namespace recio {

// Characters the reader treats alike.
constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The characters that end a value: the record end is the other one.
constexpr bool ends_value(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == '/' || c == ')';
}

struct NumericScan {
    bool valid = false;        // false: a character the rules forbid (syntax error)
    std::size_t end = 0;       // one past the value's last character in the record
    bool repeat_mark = false;  // the value ended with "*": the text before it is a count
};

// Scans the numeric value (or Inf/NaN word, or repeat count) that starts at
// `start` of `record`.
NumericScan scan_numeric_value(std::string_view record, std::size_t start);

// The end of a logical constant or a word: the next blank, comma, slash, ")" or
// the record end.
std::size_t end_of_word(std::string_view record, std::size_t start);

}  // namespace recio

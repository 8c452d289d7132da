#pragma once
// Reading a testing machine's export: header lines, then records of numbers in
// columns. The chosen columns become a force in N and a displacement in mm, each
// still the decimal text the export wrote, with its point moved and its sign
// turned as asked.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "prepare/decimal_text.hpp"

namespace prepare {

// One quantity's column, by position (from 1) or by a header name, and how its
// values change: times 10^power, then negated when asked.
struct ColumnChoice {
    std::size_t position = 0;  // 0: by name
    std::string name;
    std::int64_t power = 0;
    bool negate = false;
};

struct ExportLayout {
    ColumnChoice force;
    ColumnChoice displacement;
    char decimal_sign = '.';
    // Whether a line that holds no number in a chosen column ends the data
    // (it and every line after it are left out) instead of refusing the export.
    bool trailing_lines_allowed = false;
};

struct PreparedRecord {
    std::size_t line = 0;  // in the export, from 1
    DecimalText force;         // in N
    DecimalText displacement;  // in mm
};

struct ExportReading {
    std::vector<PreparedRecord> records;  // views into the export's text
    std::size_t force_column = 0;         // from 1, as resolved
    std::size_t displacement_column = 0;
    std::size_t first_trailing_line = 0;  // 0: none
    std::size_t trailing_lines = 0;
};

// Why an export is refused; `line` 0 when no one line is at fault.
struct ExportError {
    std::size_t line = 0;
    std::string message;
};

std::variant<ExportReading, ExportError> read_export(std::string_view text, const ExportLayout& layout);

// A field as a message shows it: quoted, control bytes and bytes beyond ASCII
// escaped, cut after 40 characters.
std::string quoted_field(std::string_view field);

}  // namespace prepare

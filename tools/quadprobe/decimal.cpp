// quadprobe decimal: one numeric value's text per line of standard input (the whole
// line, without a trailing carriage return), one result line per input line:
//
//   the 32 hexadecimal digits of the converted value, bit 127 first, or
//   "error 64" when the text cannot be converted.

#include "decimal/decimal_conversion.hpp"
#include "tools/quadprobe/commands.hpp"
#include "tools/quadprobe/probe_io.hpp"

namespace quadprobe {

int run_decimal(std::span<char* const> arguments) {
    if (!arguments.empty()) {
        std::fputs("usage: quadprobe decimal < values\n", stderr);
        return kUsageStatus;
    }
    OutputBatch output;
    for_each_input_line([&](std::string_view line, std::size_t) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const recio::ConvertedValue converted = recio::convert_numeric_value(line);
        if (converted.ok) {
            output.append_pattern(converted.value);
            output.append("\n");
        } else {
            output.append("error 64\n");
        }
    });
    return 0;
}

}  // namespace quadprobe

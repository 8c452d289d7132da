#pragma once
// The command line of emodul-prepare.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "prepare/export_reading.hpp"
#include "prepare/loading_window.hpp"

namespace prepare {

struct PrepareOptions {
    ExportLayout layout;
    std::optional<WindowPercent> window;
    std::string window_text;  // as given, for the summary
    std::string export_path;  // "-": standard input
    std::string output_path;  // empty or "-": standard output
    bool help = false;
};

struct UsageError {
    std::string message;
};

// The arguments after the program's name. The views of the result point into
// the arguments, which outlive it.
std::variant<PrepareOptions, UsageError> parse_options(std::span<const std::string_view> arguments);

extern const std::string_view kUsage;

}  // namespace prepare

#pragma once
// Runs the diagnostic driver (tests/programs/diagnostic_driver.cpp) and checks
// the traceback layout in what it writes.

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/child_process.hpp"

namespace diagtest {

using testsupport::Environment;

inline testsupport::ChildOptions driver(const std::vector<std::string>& arguments,
                                        const Environment& environment = {}) {
    testsupport::ChildOptions options;
    options.arguments = {DIAGNOSTIC_DRIVER_BINARY};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.environment = environment;
    return options;
}

inline testsupport::ChildResult run_driver(const std::vector<std::string>& arguments,
                                           const Environment& environment = {},
                                           std::string_view input = {}) {
    return testsupport::run_child(driver(arguments, environment), input);
}

// The text split into lines, each without its line end.
inline std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// "Image" in 19, "PC" in 10, "Routine" in 19, "Line" in 12, "Source" in 19.
inline const std::string kHeading =
    "Image              PC        Routine            Line        Source             \n";

// A frame line of code inside the program named `image` (its file's base name).
inline std::regex frame_in(std::string image) {
    image.resize(17, ' ');
    return std::regex(image + "  [0-9A-F]{8}  Unknown {15}Unknown  Unknown");
}

// A frame inside the driver, whose file's base name fills the 17 places exactly.
inline const std::regex kDriverFrame = frame_in("diagnostic_driver");
// A frame outside the program (the C library).
inline const std::regex kForeignFrame("Unknown {12}[0-9A-F]{8}  Unknown {15}Unknown  Unknown");

enum class Innermost { in_program, anywhere };

// `text` is the heading and one line per frame, innermost first; the walk went
// out to the C library's start routine, which called main.
inline ::testing::AssertionResult is_plain_traceback(
    std::string_view text, Innermost innermost = Innermost::in_program,
    const std::string& image = "diagnostic_driver") {
    const std::regex own_frame = frame_in(image);
    if (text.substr(0, kHeading.size()) != kHeading) {
        return ::testing::AssertionFailure() << "no heading in:\n" << text;
    }
    const auto frames = lines_of(text.substr(kHeading.size()));
    if (frames.size() < 2 || text.back() != '\n') {
        return ::testing::AssertionFailure() << "too few frames in:\n" << text;
    }
    if (innermost == Innermost::in_program && !std::regex_match(frames.front(), own_frame)) {
        return ::testing::AssertionFailure() << "innermost frame not in " << image << ":\n" << text;
    }
    for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
        if (!std::regex_match(frames[i], own_frame) &&
            !std::regex_match(frames[i], kForeignFrame)) {
            return ::testing::AssertionFailure() << "bad frame line \"" << frames[i] << "\"";
        }
    }
    if (!std::regex_match(frames.back(), kForeignFrame)) {
        return ::testing::AssertionFailure() << "walk did not reach the start routine:\n" << text;
    }
    return ::testing::AssertionSuccess();
}

// A signal that interrupts a run, its line, and how the process then ends.
struct InterruptCase {
    int signal_number;
    std::string line;
    int exit_status;  // or -1: ended by the abort signal
};

inline const InterruptCase kInterrupts[] = {
    {SIGINT, "iodiag: error (69): process interrupted (SIGINT)\n", 1},
    {SIGTERM, "iodiag: error (78): process killed (SIGTERM)\n", 1},
    {SIGQUIT, "iodiag: error (79): process quit (SIGQUIT)\n", -1},
    {SIGABRT, "iodiag: error (76): IOT trap signal\n", -1},
};

inline void expect_end(const testsupport::ChildResult& result, int exit_status) {
    if (exit_status < 0) {
        EXPECT_EQ(result.signal, SIGABRT);
    } else {
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exit_status, exit_status);
    }
}

// Splits a diagnostic after its first line: the message line and the rest.
inline std::pair<std::string, std::string> split_first_line(const std::string& text) {
    const auto end = text.find('\n');
    if (end == std::string::npos) {
        return {text, ""};
    }
    return {text.substr(0, end + 1), text.substr(end + 1)};
}

}  // namespace diagtest

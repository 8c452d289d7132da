// Which environment values switch the diagnostics' controls on: each variable
// is wired to its own control, judged by the truth rule or by presence.

#include "failure/diagnostic_controls.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

using recio::DiagnosticControls;

constexpr const char* kVariables[] = {
    "EVIO_DISABLE_STACK_TRACE",
    "EVIO_ENABLE_VERBOSE_STACK_TRACE",
    "TBK_ENABLE_VERBOSE_STACK_TRACE",
    "EVIO_DIAGNOSTIC_LOG_FILE",
    "EVIO_DISABLE_DIAGNOSTIC_DISPLAY",
    "UNIO0",
    "EVIO__IS_DEBUGGER_PRESENT",
    "oldrt_dump_flag",
    "legacyrt_dump_flag",
    "EVIO_IGNORE_EXCEPTIONS",
    "EVIO_DUMP_EXCEPTION_INFO",
};

class DiagnosticControlsTest : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        for (const char* name : kVariables) {
            ::unsetenv(name);
        }
    }
    static DiagnosticControls read() {
        DiagnosticControls controls;
        recio::read_diagnostic_controls(controls);
        return controls;
    }
};

// Each switch with the variable that sets it.
struct Switch {
    const char* variable;
    bool DiagnosticControls::*field;
};

const Switch kSwitches[] = {
    {"EVIO_DISABLE_STACK_TRACE", &DiagnosticControls::stack_trace_disabled},
    {"EVIO_ENABLE_VERBOSE_STACK_TRACE", &DiagnosticControls::verbose_stack_trace},
    {"TBK_ENABLE_VERBOSE_STACK_TRACE", &DiagnosticControls::verbose_stack_trace},
    {"EVIO_DISABLE_DIAGNOSTIC_DISPLAY", &DiagnosticControls::display_disabled},
    {"EVIO__IS_DEBUGGER_PRESENT", &DiagnosticControls::abort_on_severe},
    {"oldrt_dump_flag", &DiagnosticControls::abort_on_severe},
    {"legacyrt_dump_flag", &DiagnosticControls::abort_on_severe},
    {"EVIO_IGNORE_EXCEPTIONS", &DiagnosticControls::ignore_exceptions},
    {"EVIO_DUMP_EXCEPTION_INFO", &DiagnosticControls::dump_exception_info},
};

constexpr bool DiagnosticControls::*kAllSwitches[] = {
    &DiagnosticControls::stack_trace_disabled, &DiagnosticControls::verbose_stack_trace,
    &DiagnosticControls::display_disabled,     &DiagnosticControls::abort_on_severe,
    &DiagnosticControls::ignore_exceptions,    &DiagnosticControls::dump_exception_info,
};

TEST_F(DiagnosticControlsTest, NothingIsOnWithoutTheVariables) {
    const DiagnosticControls controls = read();
    for (auto field : kAllSwitches) {
        EXPECT_FALSE(controls.*field);
    }
    EXPECT_FALSE(controls.log_file.is_set());
    EXPECT_FALSE(controls.standard_error_file.is_set());
}

TEST_F(DiagnosticControlsTest, EachSwitchFollowsTheTruthRuleOfItsOwnVariable) {
    const char* true_values[] = {"1", "t", "T", "true", "TRUE", "y", "Y", "yes", "007", "12"};
    const char* false_values[] = {"0", "00", "false", "",   "no", "N",
                                  "f", " 1", "1 ",    "-1", "1a", "+1"};
    for (const Switch& s : kSwitches) {
        for (const char* value : true_values) {
            clear();
            ::setenv(s.variable, value, 1);
            const DiagnosticControls controls = read();
            for (auto field : kAllSwitches) {
                EXPECT_EQ(controls.*field, field == s.field)
                    << s.variable << "=\"" << value << "\"";
            }
        }
        for (const char* value : false_values) {
            clear();
            ::setenv(s.variable, value, 1);
            const DiagnosticControls controls = read();
            for (auto field : kAllSwitches) {
                EXPECT_FALSE(controls.*field) << s.variable << "=\"" << value << "\"";
            }
        }
    }
}

TEST_F(DiagnosticControlsTest, FileControlsCountWhenPresentWhateverTheirValue) {
    struct Case {
        const char* variable;
        recio::ControlPath DiagnosticControls::*field;
    };
    const Case cases[] = {
        {"EVIO_DIAGNOSTIC_LOG_FILE", &DiagnosticControls::log_file},
        {"UNIO0", &DiagnosticControls::standard_error_file},
    };
    for (const Case& c : cases) {
        for (const char* value : {"/tmp/diagnostics.log", "0", "false", "", "relative name"}) {
            clear();
            ::setenv(c.variable, value, 1);
            const DiagnosticControls controls = read();
            EXPECT_TRUE((controls.*c.field).is_set()) << c.variable;
            EXPECT_EQ((controls.*c.field).view(), value) << c.variable;
            const auto other = c.field == &DiagnosticControls::log_file
                                   ? &DiagnosticControls::standard_error_file
                                   : &DiagnosticControls::log_file;
            EXPECT_FALSE((controls.*other).is_set()) << c.variable;
        }
    }
}

TEST_F(DiagnosticControlsTest, APathLongerThanAnyFileNameIsKeptEmpty) {
    const std::string longest(4096, 'a');
    const std::string too_long(4097, 'a');
    ::setenv("UNIO0", longest.c_str(), 1);
    ::setenv("EVIO_DIAGNOSTIC_LOG_FILE", too_long.c_str(), 1);
    const DiagnosticControls controls = read();
    EXPECT_EQ(controls.standard_error_file.view(), longest);
    EXPECT_TRUE(controls.log_file.is_set());
    EXPECT_EQ(controls.log_file.view(), "");
}

}  // namespace

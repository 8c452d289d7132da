#pragma once
// The environment controls of the diagnostics and the signal handling. They are
// read once at start-up and kept here, because the diagnostic step also runs
// inside signal handlers, where the environment must not be consulted.

#include <array>
#include <string_view>

#include "failure/conditions.hpp"

namespace recio {

// A file name held by a control that is set. A value too long to be a path is
// kept empty, so that opening it fails and the control has no effect.
class ControlPath {
public:
    bool is_set() const { return set_; }
    const char* c_str() const { return bytes_.data(); }
    std::string_view view() const { return bytes_.data(); }
    void assign(const char* value);

private:
    std::array<char, kMaxFileNameLength + 1> bytes_{};
    bool set_ = false;
};

struct DiagnosticControls {
    bool stack_trace_disabled = false;  // EVIO_DISABLE_STACK_TRACE
    // EVIO_ENABLE_VERBOSE_STACK_TRACE or TBK_ENABLE_VERBOSE_STACK_TRACE
    bool verbose_stack_trace = false;
    bool display_disabled = false;  // EVIO_DISABLE_DIAGNOSTIC_DISPLAY
    // EVIO__IS_DEBUGGER_PRESENT, oldrt_dump_flag or legacyrt_dump_flag: a severe
    // condition ends by the abort signal instead of an exit.
    bool abort_on_severe = false;
    bool ignore_exceptions = false;    // EVIO_IGNORE_EXCEPTIONS
    bool dump_exception_info = false;  // EVIO_DUMP_EXCEPTION_INFO
    ControlPath log_file;              // EVIO_DIAGNOSTIC_LOG_FILE
    ControlPath standard_error_file;   // UNIO0
};

// Judges the controls as the environment holds them now.
void read_diagnostic_controls(DiagnosticControls& controls);

// The controls the process runs with: read once at start-up, all false before.
const DiagnosticControls& diagnostic_controls();
void adopt_diagnostic_controls_from_environment();

}  // namespace recio

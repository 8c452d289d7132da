#pragma once
// The steps that the diagnostics of a condition on a unit, of a condition without
// a unit and of a signal have in common. Everything here may run inside a signal
// handler: no allocation, no stdio, no locks, no environment look-up.

#include <ucontext.h>

#include <cstdint>
#include <string_view>

#include "failure/text_buffer.hpp"
#include "failure/traceback.hpp"
#include "failure/write_fully.hpp"

namespace recio {

inline constexpr std::size_t kDiagnosticBufferSize = 16384;

struct DiagnosticRequest {
    int number = 0;
    std::int32_t unit = 0;
    std::string_view file;  // fills "%s"
    TraceStart trace_start;
    const ucontext_t* signal_context = nullptr;  // for the verbose traceback
};

// Opens a diagnostic. From here on the process is ending: the asynchronous
// signals stay blocked, so that none of them adds a diagnostic of its own or cuts
// the run-down short. At the first diagnostic of the run standard error is
// reopened on the file named by UNIO0. A diagnostic nested deeper than the
// process can legitimately produce (a close failure in the run-down, then the
// abort trigger's line) ends the process at once with `number`.
void begin_diagnostic(int number);

// How many diagnostics have begun; 0 while the run goes on normally.
int diagnostics_begun();

// "iodiag: " and the system's text for `error_number`, with a line end.
void append_system_error_line(TextBuffer& text, int error_number);
void write_system_error_line(int error_number);

// The message line and, for a severe condition, the traceback: appended to the
// log file of EVIO_DIAGNOSTIC_LOG_FILE and written to standard error in one piece
// unless EVIO_DISABLE_DIAGNOSTIC_DISPLAY is true. Returns; ending the process
// is the caller's.
void write_diagnostic(const DiagnosticRequest& request);

// The line written instead when the diagnostic buffer is taken.
void append_fallback_line(TextBuffer& text, int number);

}  // namespace recio

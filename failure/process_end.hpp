#pragma once
// Start-up and the end of the process.

#include "failure/process_state.hpp"

namespace recio {

// Names the step that the run-down runs; without one the run-down does nothing.
void register_run_down(RunDownStep step);

// Runs before the first statement of the run: sets the floating-point
// environment, reads the environment controls of the diagnostics, notes the
// program's own image for tracebacks, registers `run_down` and installs the
// signal handling (unless EVIO_IGNORE_EXCEPTIONS is true).
void start_up(RunDownStep run_down);

// The normal end: runs the run-down and yields exit status 0.
int normal_end();

// Runs the run-down and ends the process with `status`.
[[noreturn]] void end_process(int status);

// Ends the process after the diagnostic of condition `number`: the run-down, then
// an exit with the number as status, or, when one of the abort triggers
// (EVIO__IS_DEBUGGER_PRESENT, oldrt_dump_flag, legacyrt_dump_flag) is true, the
// abort signal.
[[noreturn]] void end_after_condition(int number);

// The registered run-down step. Once finished it is not run again; a close failure
// reported from inside it ends the process through one nested run-down, which
// closes what is left, and no deeper.
void run_down_once();

}  // namespace recio

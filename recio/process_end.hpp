#pragma once
// Start-up and the end of the process.

namespace recio {

// Runs before the first statement of the run: sets the floating-point
// environment, installs the signal handling (unless EVIO_IGNORE_EXCEPTIONS is
// true) and reads the environment controls.
void start_up();

// The normal end: runs the run-down and yields exit status 0.
int normal_end();

// Runs the run-down and ends the process with `status`.
[[noreturn]] void end_process(int status);

}  // namespace recio

#pragma once
// The handling of the signals that end the process: each produces one
// diagnostic without a unit, then the run-down, then the end of the process.

#include "failure/conditions.hpp"

namespace recio {

// Installs the handlers for SIGFPE, SIGILL, SIGSEGV, SIGABRT and SIGTERM, and for
// SIGINT and SIGQUIT unless the process was started with that signal ignored.
// All other signals keep their default action.
void install_signal_handling();
bool signal_handling_installed();

// SIGINT, SIGTERM, SIGQUIT and SIGABRT: the signals that can arrive at any moment
// from outside. Blocked while the process ends, so that none adds a second
// diagnostic.
void block_asynchronous_signals();
void unblock_asynchronous_signals();

// The end of a severe condition under an abort trigger: with the signal handling
// installed the abort signal first produces its own diagnostic line; either way
// the process ends by the abort signal with its default action.
[[noreturn]] void raise_abort_trigger();

// Ends the process by the abort signal with its default action (a core image as
// far as the system allows), whatever its disposition and mask were.
[[noreturn]] void die_by_abort_signal();

// The condition that a SIGFPE with signal code `code` reports.
Condition floating_point_condition(int code);

}  // namespace recio

#pragma once
// The process-wide state that signal handlers may touch, in one place. A handler
// can interrupt the run at any instruction, so every field that changes after
// start-up is a volatile std::sig_atomic_t, read and written whole. What start-up
// sets once before it installs the handlers (the diagnostic controls, the own
// image, the run-down step) is only read afterwards. The unit slots in
// units/units.cpp are the only other process-wide state; the run-down step reads
// them for the same reason.

#include <csignal>

namespace recio {

// Zero at the start of the process (static storage, no constructor to run).
struct EndingState {
    volatile std::sig_atomic_t diagnostics_begun;         // nesting depth
    volatile std::sig_atomic_t diagnostic_storage_taken;  // the one buffer is in use
    volatile std::sig_atomic_t run_downs_under_way;
    volatile std::sig_atomic_t run_down_finished;
    volatile std::sig_atomic_t signal_handling_installed;
    // The abort signal that follows belongs to a diagnostic already written.
    volatile std::sig_atomic_t abort_trigger_raised;
    volatile std::sig_atomic_t memory_probe;  // how the traceback reads frames
};

EndingState& ending_state();

// Forgets that the process began to end (diagnostics, run-down) and unblocks the
// asynchronous signals: for running the program's requests many times inside one
// process, as the fuzz targets do.
void reset_ending_state();

}  // namespace recio

#pragma once
// The process-wide state that signal handlers may touch, in one place. A handler
// can interrupt the run at any instruction, so every flag that changes after
// start-up is a volatile std::sig_atomic_t, read and written whole; the buffer and
// the pipe are only used under those flags. Besides this there is state that
// start-up sets once before it installs the handlers and that is only read after
// that (the diagnostic controls, the own image), and the unit slots in
// units/units.cpp, which the run-down step reads and clears.

#include <csignal>
#include <cstddef>

#include "failure/diagnostic_step.hpp"

namespace recio {

// What the layers above the failure path close at the end of the process (the
// units). It must be safe to call from a signal handler and more than once.
using RunDownStep = void (*)();

inline constexpr std::size_t kFaultHandlerStackSize = std::size_t{64} << 10;

// All zero at the start of the process: static storage, nothing to construct.
struct ProcessState {
    volatile std::sig_atomic_t diagnostics_begun;         // nesting depth
    volatile std::sig_atomic_t diagnostic_storage_taken;  // the buffer below is in use
    volatile std::sig_atomic_t run_downs_under_way;
    volatile std::sig_atomic_t run_down_finished;
    volatile std::sig_atomic_t signal_handling_installed;
    // The abort signal that follows belongs to a diagnostic already written.
    volatile std::sig_atomic_t abort_trigger_raised;
    // How the traceback reads frame memory, and whether its pipe is open.
    volatile std::sig_atomic_t memory_probe;
    volatile std::sig_atomic_t probe_pipe_open;
    int probe_pipe[2];
    // The one buffer every diagnostic is composed in. It exists before any signal
    // can arrive, so the signal path needs no memory of its own.
    char diagnostic_storage[kDiagnosticBufferSize];
    RunDownStep run_down;  // registered at start-up
    // The stack the fault handlers run on, so that a fault from a stack that has
    // run out still gets its diagnostic and traceback. Untouched pages of it cost
    // no memory.
    alignas(16) char fault_handler_stack[kFaultHandlerStackSize];
};

ProcessState& process_state();

// Forgets that the process began to end (diagnostics, run-down) and unblocks the
// asynchronous signals: for running the program's requests many times inside one
// process, as the fuzz targets do.
void reset_ending_state();

}  // namespace recio

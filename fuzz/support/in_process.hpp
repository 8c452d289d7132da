#pragma once
// What the targets that run the reader or the whole program in process share:
// the environment they run under and the catching of the process end.

#include <cstdlib>
#include <optional>

#include "failure/diagnostic_controls.hpp"
#include "failure/process_end.hpp"
#include "failure/process_state.hpp"
#include "numeric/floating_environment.hpp"
#include "units/units.hpp"

namespace fuzzsupport {

// Thrown where the process would end (fuzz/support/process_exit.cpp), after the
// diagnostic has been written and the run-down has run. `status` is the exit
// status the process would have had.
struct ProcessEnd {
    int status;
};

// Blocks small enough that the fuzzers' short inputs span many of them, so that
// records crossing a block end are met all the time.
inline constexpr recio::ReadBlockSizes kSmallBlocks{64, 32};

// Once per process, before the first input: the floating-point environment of a
// real start-up, and diagnostics that are composed in full but neither shown nor
// followed by a traceback (the fuzzer's output stays readable, and the traceback
// would only measure the fuzzer's own stack). The signal handlers of a real
// start-up are left out: the sanitizers and libFuzzer keep theirs.
inline void prepare_in_process_runs() {
    ::setenv("EVIO_DISABLE_DIAGNOSTIC_DISPLAY", "true", 1);
    ::setenv("EVIO_DISABLE_STACK_TRACE", "true", 1);
    ::unsetenv("EVIO_DIAGNOSTIC_LOG_FILE");
    ::unsetenv("UNIO0");
    ::unsetenv("UNIO_FMT_RECL");
    ::unsetenv("EVIO__IS_DEBUGGER_PRESENT");
    ::unsetenv("oldrt_dump_flag");
    ::unsetenv("legacyrt_dump_flag");
    numeric::set_floating_environment();
    recio::adopt_diagnostic_controls_from_environment();
    recio::register_run_down(recio::run_down);
    recio::set_read_block_sizes(kSmallBlocks);
}

// Runs `body`; returns nothing when it returns, the status of the process end
// when it ends the "process" instead. The process state is reset either way.
template <typename Body>
std::optional<int> run_as_process(Body&& body) {
    recio::disconnect_all_units();
    recio::reset_ending_state();
    std::optional<int> status;
    try {
        body();
    } catch (const ProcessEnd& end) {
        status = end.status;
    }
    recio::disconnect_all_units();
    recio::reset_ending_state();
    return status;
}

}  // namespace fuzzsupport

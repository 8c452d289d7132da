#include "failure/process_end.hpp"

#include "failure/diagnostic_controls.hpp"
#include "failure/process_exit.hpp"
#include "failure/process_state.hpp"
#include "failure/signals.hpp"
#include "failure/traceback.hpp"
#include "numeric/floating_environment.hpp"

namespace recio {
namespace {

// A diagnostic raised inside the run-down (a close that fails) ends the process
// from there and runs the run-down once more for what is left; deeper than that
// it is not entered, so a run-down that keeps failing cannot loop.
constexpr int kMostNestedRunDowns = 2;
ProcessState the_process_state;

}  // namespace

void register_run_down(RunDownStep step) {
    the_process_state.run_down = step;
}

void start_up(RunDownStep run_down) {
    numeric::set_floating_environment();
    adopt_diagnostic_controls_from_environment();
    remember_own_image();
    register_run_down(run_down);
    if (!diagnostic_controls().ignore_exceptions) {
        install_signal_handling();
    }
}

int normal_end() {
    // A signal that arrives now waits until the units are closed.
    block_asynchronous_signals();
    run_down_once();
    unblock_asynchronous_signals();
    return 0;
}

void end_process(int status) {
    run_down_once();
    exit_process(status);
}

void end_after_condition(int number) {
    run_down_once();
    if (diagnostic_controls().abort_on_severe) {
        raise_abort_trigger();
    }
    exit_process(number);
}

void run_down_once() {
    ProcessState& state = process_state();
    if (state.run_down_finished != 0 || state.run_downs_under_way >= kMostNestedRunDowns) {
        return;
    }
    state.run_downs_under_way = state.run_downs_under_way + 1;
    if (state.run_down != nullptr) {
        state.run_down();
    }
    state.run_downs_under_way = state.run_downs_under_way - 1;
    state.run_down_finished = 1;
}

ProcessState& process_state() {
    return the_process_state;
}

void reset_ending_state() {
    ProcessState& state = process_state();
    state.diagnostics_begun = 0;
    state.diagnostic_storage_taken = 0;
    state.run_downs_under_way = 0;
    state.run_down_finished = 0;
    unblock_asynchronous_signals();
}

}  // namespace recio

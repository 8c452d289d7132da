#include "failure/process_end.hpp"

#include <unistd.h>

#include <csignal>

#include "failure/diagnostic_controls.hpp"
#include "failure/fuzz_hooks.hpp"
#include "failure/signals.hpp"
#include "failure/traceback.hpp"
#include "numeric/floating_environment.hpp"

namespace recio {
namespace {

// A diagnostic raised inside the run-down (a close that fails) ends the process
// from there and runs the run-down once more for what is left; deeper than that
// it is not entered, so a run-down that keeps failing cannot loop.
constexpr int kMostNestedRunDowns = 2;
volatile std::sig_atomic_t run_downs_under_way = 0;
volatile std::sig_atomic_t run_down_finished = 0;
// Set at start-up, before any signal handler is installed; only read after that.
RunDownStep registered_run_down = nullptr;

[[noreturn]] void exit_with(int status) {
#ifdef EMODUL_FUZZING
    // FUZZ BUILD ONLY: the target catches the end and goes on with its next input.
    throw fuzzing::ProcessEnd{status};
#else
    ::_exit(status);
#endif
}

}  // namespace

void register_run_down(RunDownStep step) {
    registered_run_down = step;
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
    exit_with(status);
}

void end_after_condition(int number) {
    run_down_once();
    if (diagnostic_controls().abort_on_severe) {
        raise_abort_trigger();
    }
    exit_with(number);
}

void run_down_once() {
    if (run_down_finished != 0 || run_downs_under_way >= kMostNestedRunDowns) {
        return;
    }
    run_downs_under_way = run_downs_under_way + 1;
    if (registered_run_down != nullptr) {
        registered_run_down();
    }
    run_downs_under_way = run_downs_under_way - 1;
    run_down_finished = 1;
}

#ifdef EMODUL_FUZZING
// FUZZ BUILD ONLY.
namespace fuzzing {
void reset_diagnostic_state();

void reset_process_state() {
    reset_diagnostic_state();
    run_downs_under_way = 0;
    run_down_finished = 0;
    unblock_asynchronous_signals();
}
}  // namespace fuzzing
#endif

}  // namespace recio

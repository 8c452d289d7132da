#include "recio/process_end.hpp"

#include <unistd.h>

#include <csignal>

#include "numeric/floating_environment.hpp"
#include "recio/diagnostic_controls.hpp"
#include "recio/signals.hpp"
#include "recio/traceback.hpp"
#include "recio/units.hpp"

namespace recio {
namespace {

// A diagnostic raised inside the run-down (a close that fails) ends the process
// from there and runs the run-down once more for what is left; deeper than that
// it is not entered, so a run-down that keeps failing cannot loop.
constexpr int kMostNestedRunDowns = 2;
volatile std::sig_atomic_t run_downs_under_way = 0;
volatile std::sig_atomic_t run_down_finished = 0;

}  // namespace

void start_up() {
    numeric::set_floating_environment();
    adopt_diagnostic_controls_from_environment();
    remember_own_image();
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
    ::_exit(status);
}

void end_after_condition(int number) {
    run_down_once();
    if (diagnostic_controls().abort_on_severe) {
        raise_abort_trigger();
    }
    ::_exit(number);
}

void run_down_once() {
    if (run_down_finished != 0 || run_downs_under_way >= kMostNestedRunDowns) {
        return;
    }
    run_downs_under_way = run_downs_under_way + 1;
    run_down();
    run_downs_under_way = run_downs_under_way - 1;
    run_down_finished = 1;
}

}  // namespace recio

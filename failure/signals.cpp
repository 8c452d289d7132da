#include "failure/signals.hpp"

#include <unistd.h>

#include <csignal>
#include <cstdint>

#include "failure/diagnostic_controls.hpp"
#include "failure/diagnostic_step.hpp"
#include "failure/message_catalog.hpp"
#include "failure/process_end.hpp"
#include "failure/process_state.hpp"

namespace recio {
namespace {

constexpr int kAsynchronousSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGABRT};

sigset_t asynchronous_signals_except(int excluded) {
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : kAsynchronousSignals) {
        if (signal_number != excluded) {
            sigaddset(&set, signal_number);
        }
    }
    return set;
}

[[noreturn]] void die_by_signal(int signal_number) {
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    ::sigaction(signal_number, &default_action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal_number);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal_number);
    ::_exit(128 + signal_number);  // not reached: the default action ends the process
}

std::string_view signal_name(int signal_number) {
    switch (signal_number) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGQUIT:
            return "SIGQUIT";
        case SIGABRT:
            return "SIGABRT";
        case SIGSEGV:
            return "SIGSEGV";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        default:
            return "signal";
    }
}

// The dump of EVIO_DUMP_EXCEPTION_INFO, on standard output. `info` is null for
// the signals whose handlers receive no signal information.
void dump_exception_info(int signal_number, const siginfo_t* info) {
    char storage[512];
    TextBuffer text(storage);
    text.append("Exception information:\n  signal:          ");
    text.append_decimal(signal_number);
    text.append(" (");
    text.append(signal_name(signal_number));
    text.append(")\n");
    if (info != nullptr) {
        text.append("  signal code:     ");
        text.append_decimal(info->si_code);
        text.append("\n  error number:    ");
        text.append_decimal(info->si_errno);
        if (info->si_code > 0) {
            // Raised by the processor: the address it faulted on.
            text.append("\n  fault address:   ");
            text.append_hex(reinterpret_cast<std::uintptr_t>(info->si_addr), 16);
        } else {
            // Sent by a process (kill, sigqueue, raise).
            text.append("\n  sending process: ");
            text.append_decimal(info->si_pid);
            text.append("\n  sending user:    ");
            text.append_decimal(info->si_uid);
        }
        text.append('\n');
    }
    write_fully(STDOUT_FILENO, text.view());
}

void report_signal(int signal_number, Condition condition, const siginfo_t* info,
                   const ucontext_t* context) {
    const int number = number_of(condition);
    begin_diagnostic(number);
    if (diagnostic_controls().dump_exception_info) {
        dump_exception_info(signal_number, info);
    }
    DiagnosticRequest request{number, 0, {}, {}, context};
    if (condition == Condition::segmentation_fault) {
        request.file = "segmentation fault occurred";
    }
    request.trace_start =
        context != nullptr ? trace_start_of_signal(*context) : trace_start_in_caller();
    write_diagnostic(request);
}

// SIGINT, SIGTERM and SIGQUIT.
void on_interrupting_signal(int signal_number) {
    block_asynchronous_signals();
    if (diagnostics_begun() > 0) {
        return;  // the process is ending already; cannot arrive while blocked
    }
    const Condition condition = signal_number == SIGINT    ? Condition::interrupted
                                : signal_number == SIGTERM ? Condition::killed
                                                           : Condition::quit;
    report_signal(signal_number, condition, nullptr, nullptr);
    run_down_once();
    if (signal_number == SIGQUIT) {
        die_by_abort_signal();
    }
    ::_exit(1);
}

void on_abort_signal(int signal_number) {
    block_asynchronous_signals();
    if (diagnostics_begun() > 0 && process_state().abort_trigger_raised == 0) {
        // An abort inside the failure path itself: no second diagnostic.
        die_by_abort_signal();
    }
    report_signal(signal_number, Condition::abort_signal, nullptr, nullptr);
    run_down_once();  // after an abort trigger it is done already
    die_by_abort_signal();
}

// SIGSEGV, SIGILL and SIGFPE.
void on_fault(int signal_number, siginfo_t* info, void* context) {
    if (diagnostics_begun() > 0) {
        // A fault in the diagnostic or the run-down: do not try again.
        die_by_signal(signal_number);
    }
    block_asynchronous_signals();
    const Condition condition = signal_number == SIGSEGV  ? Condition::segmentation_fault
                                : signal_number == SIGILL ? Condition::illegal_instruction
                                                          : floating_point_condition(info->si_code);
    report_signal(signal_number, condition, info, static_cast<const ucontext_t*>(context));
    if (find_message(number_of(condition)).severity == Severity::severe) {
        end_after_condition(number_of(condition));
    }
    run_down_once();
    die_by_abort_signal();
}

void install(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_NODEFER | SA_RESTART;
    action.sa_mask = asynchronous_signals_except(signal_number);
    ::sigaction(signal_number, &action, nullptr);
}

void install_with_information(int signal_number, void (*handler)(int, siginfo_t*, void*)) {
    struct sigaction action {};
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_RESTART | SA_ONSTACK;
    action.sa_mask = asynchronous_signals_except(0);
    ::sigaction(signal_number, &action, nullptr);
}

bool started_ignored(int signal_number) {
    struct sigaction current {};
    return ::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void install_signal_handling() {
    // The fault handlers run on a stack of their own (SA_ONSTACK): an overflow of
    // the run's stack faults on the guard page, where no handler could start.
    stack_t fault_stack{};
    fault_stack.ss_sp = process_state().fault_handler_stack;
    fault_stack.ss_size = sizeof process_state().fault_handler_stack;
    ::sigaltstack(&fault_stack, nullptr);
    for (int signal_number : {SIGFPE, SIGILL, SIGSEGV}) {
        install_with_information(signal_number, on_fault);
    }
    install(SIGABRT, on_abort_signal);
    install(SIGTERM, on_interrupting_signal);
    for (int signal_number : {SIGQUIT, SIGINT}) {
        if (!started_ignored(signal_number)) {
            install(signal_number, on_interrupting_signal);
        }
    }
    process_state().signal_handling_installed = 1;
}

bool signal_handling_installed() {
    return process_state().signal_handling_installed != 0;
}

void block_asynchronous_signals() {
    const sigset_t set = asynchronous_signals_except(0);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void unblock_asynchronous_signals() {
    const sigset_t set = asynchronous_signals_except(0);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void raise_abort_trigger() {
    if (process_state().signal_handling_installed != 0) {
        process_state().abort_trigger_raised = 1;
        sigset_t only_abort;
        sigemptyset(&only_abort);
        sigaddset(&only_abort, SIGABRT);
        ::sigprocmask(SIG_UNBLOCK, &only_abort, nullptr);
        ::raise(SIGABRT);  // the handler writes its line and ends the process
    }
    die_by_abort_signal();
}

void die_by_abort_signal() {
    die_by_signal(SIGABRT);
}

Condition floating_point_condition(int code) {
    switch (code) {
        case FPE_INTDIV:
            return Condition::integer_divide_by_zero;
        case FPE_INTOVF:
            return Condition::integer_overflow;
        case FPE_FLTDIV:
            return Condition::floating_divide_by_zero;
        case FPE_FLTOVF:
            return Condition::floating_overflow;
        case FPE_FLTUND:
            return Condition::floating_underflow;
        case FPE_FLTRES:
            return Condition::floating_inexact;
        case FPE_FLTINV:
            return Condition::floating_invalid;
        case FPE_FLTSUB:
            return Condition::array_index_out_of_bounds;
        default:
            // Also a SIGFPE sent from outside, whose code says who sent it.
            return Condition::floating_point_exception;
    }
}

}  // namespace recio

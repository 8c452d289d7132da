// Signals that reach a real process: the diagnostic each one produces, how the
// process then ends, and the controls that change the handling.

#include <csignal>
#include <regex>

#include "tests/e2e/diagnostic_driver_support.hpp"

namespace {

using diagtest::Environment;
using diagtest::is_plain_traceback;
using diagtest::run_driver;
using diagtest::split_first_line;
using testsupport::Child;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// Starts the driver waiting on its input, sends `signal_number` once it is
// ready and collects the end.
testsupport::ChildResult signal_waiting_driver(
    int signal_number, const Environment& environment = {},
    testsupport::StdinKind stdin_kind = testsupport::StdinKind::pipe) {
    auto options = diagtest::driver({"wait"}, environment);
    options.stdin_kind = stdin_kind;
    Child child(options);
    EXPECT_TRUE(child.wait_for_output("ready\n"));
    child.send_signal(signal_number);
    return child.finish();
}

using diagtest::expect_end;
using diagtest::InterruptCase;
using diagtest::kInterrupts;

TEST(Signals, InterruptingSignalsWriteTheirLineWithoutTraceback) {
    for (const InterruptCase& c : kInterrupts) {
        SCOPED_TRACE(c.line);
        const auto result = signal_waiting_driver(c.signal_number);
        EXPECT_EQ(result.out, "ready\n");
        EXPECT_EQ(result.err, c.line);
        expect_end(result, c.exit_status);
    }
}

TEST(Signals, KeysOfTheTerminal) {
    // Ctrl-C and Ctrl-\ typed at a terminal reach the program as SIGINT and SIGQUIT.
    const std::pair<const char*, InterruptCase> cases[] = {
        {"\x03", kInterrupts[0]},
        {"\x1c", kInterrupts[2]},
    };
    for (const auto& [key, expected] : cases) {
        auto options = diagtest::driver({"wait"});
        options.stdin_kind = testsupport::StdinKind::terminal;
        Child child(options);
        ASSERT_TRUE(child.wait_for_output("ready\n"));
        child.write_stdin(key);
        const auto result = child.finish();
        EXPECT_EQ(result.err, expected.line);
        expect_end(result, expected.exit_status);
    }
}

TEST(Signals, SignalsIgnoredAtStartStayIgnored) {
    struct Case {
        const char* ignored;
        int sent;
    };
    for (const Case& c : {Case{"INT", SIGINT}, Case{"QUIT", SIGQUIT}, Case{"INT,QUIT", SIGINT}}) {
        SCOPED_TRACE(c.ignored);
        Child child(diagtest::driver({"reexec-ignoring", c.ignored, "wait"}));
        ASSERT_TRUE(child.wait_for_output("ready\n"));
        child.send_signal(c.sent);
        child.write_stdin("still here\n");
        child.close_stdin();
        const auto result = child.finish();
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.signal, 0);
    }
    // The others are handled all the same.
    Child child(diagtest::driver({"reexec-ignoring", "INT,QUIT", "wait"}));
    ASSERT_TRUE(child.wait_for_output("ready\n"));
    child.send_signal(SIGTERM);
    const auto result = child.finish();
    EXPECT_EQ(result.err, kInterrupts[1].line);
    EXPECT_EQ(result.exit_status, 1);
}

TEST(Signals, IgnoreExceptionsKeepsTheDefaultActions) {
    for (const char* value : {"1", "true", "Yes"}) {
        const Environment environment = {{"EVIO_IGNORE_EXCEPTIONS", value}};
        for (const int signal_number : {SIGINT, SIGTERM, SIGABRT}) {
            const auto result = signal_waiting_driver(signal_number, environment);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.signal, signal_number);
        }
        if (!kAddressSanitizer) {  // the sanitizer's own handler would take the fault
            const auto fault = run_driver({"segv"}, environment);
            EXPECT_EQ(fault.err, "");
            EXPECT_EQ(fault.signal, SIGSEGV);
        }
    }
    for (const char* value : {"0", "false", ""}) {
        const auto result = signal_waiting_driver(SIGINT, {{"EVIO_IGNORE_EXCEPTIONS", value}});
        EXPECT_EQ(result.err, kInterrupts[0].line) << value;
        EXPECT_EQ(result.exit_status, 1);
    }
}

unsigned long announced_function(const std::string& out) {
    std::smatch match;
    const std::regex announcement("function at ([0-9A-F]{8})\n");
    return std::regex_search(out, match, announcement) ? std::stoul(match[1], nullptr, 16) : 0;
}

unsigned long innermost_address(const std::string& traceback) {
    return std::stoul(traceback.substr(diagtest::kHeading.size() + 19, 8), nullptr, 16);
}

TEST(Signals, FaultsAreSevereWithATracebackFromTheFaultingInstruction) {
    struct Case {
        const char* command;
        std::string line;
        int status;
        bool whole_chain = true;  // or as much of it as the buffer holds
    };
    const Case cases[] = {
        {"segv", "iodiag: severe (174): SIGSEGV, segmentation fault occurred\n", 174},
        // The handler has a stack of its own.
        {"stack-overflow", "iodiag: severe (174): SIGSEGV, segmentation fault occurred\n", 174,
         false},
        {"ill", "iodiag: severe (168): Program Exception - illegal instruction\n", 168},
    };
    for (const Case& c : cases) {
        const auto result = run_driver({c.command});
        const auto [line, rest] = split_first_line(result.err);
        EXPECT_EQ(line, c.line);
        if (c.whole_chain) {
            ASSERT_TRUE(is_plain_traceback(rest));
        } else {
            ASSERT_TRUE(rest.starts_with(diagtest::kHeading)) << rest;
        }
        // The first line is the faulting instruction, inside the function that
        // the driver announced, not somewhere in the handler.
        const unsigned long function = announced_function(result.out);
        ASSERT_NE(function, 0u) << result.out;
        const unsigned long address = innermost_address(rest);
        EXPECT_GE(address, function);
        EXPECT_LT(address, function + 256);  // room for a sanitizer's checks before the store
        EXPECT_EQ(result.exit_status, c.status);
    }
}

TEST(Signals, FloatingPointSignalsBySignalCode) {
    struct Case {
        int code;
        std::string line;
        bool severe;  // traceback and exit with the number; otherwise the abort signal
    };
    const Case cases[] = {
        {FPE_INTDIV, "iodiag: severe (71): integer divide by zero\n", true},
        {FPE_INTOVF, "iodiag: severe (70): integer overflow\n", true},
        {FPE_FLTSUB, "iodiag: severe (138): array index out of bounds (SIGTRAP)\n", true},
        {FPE_FLTDIV, "iodiag: error (73): floating divide by zero\n", false},
        {FPE_FLTOVF, "iodiag: error (72): floating overflow\n", false},
        {FPE_FLTUND, "iodiag: error (74): floating underflow\n", false},
        {FPE_FLTRES, "iodiag: error (140): floating inexact\n", false},
        {FPE_FLTINV, "iodiag: error (65): floating invalid\n", false},
        {SI_QUEUE, "iodiag: error (75): floating point exception\n", false},
        {15, "iodiag: error (75): floating point exception\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto result = run_driver({"fpe-code", std::to_string(c.code)});
        if (c.severe) {
            const auto [line, rest] = split_first_line(result.err);
            EXPECT_EQ(line, c.line);
            EXPECT_TRUE(is_plain_traceback(rest, diagtest::Innermost::anywhere));
            EXPECT_EQ(result.exit_status, std::stoi(c.line.substr(16)));
        } else {
            EXPECT_EQ(result.err, c.line);
            EXPECT_EQ(result.signal, SIGABRT);
        }
    }
}

TEST(Signals, RealArithmeticTraps) {
#if defined(__aarch64__)
    GTEST_SKIP() << "arm64 traps neither an integer division by zero (it gives 0) nor, on "
                    "most processors, a floating-point exception";
#endif
    const auto integer = run_driver({"fpe-divide"});
    const auto [line, rest] = split_first_line(integer.err);
    EXPECT_EQ(line, "iodiag: severe (71): integer divide by zero\n");
    EXPECT_TRUE(is_plain_traceback(rest));
    EXPECT_EQ(integer.exit_status, 71);

    const auto floating = run_driver({"fpe-float"});
    EXPECT_EQ(floating.err, "iodiag: error (73): floating divide by zero\n");
    EXPECT_EQ(floating.signal, SIGABRT);

    // Sent from outside: no arithmetic to name.
    const auto sent = signal_waiting_driver(SIGFPE);
    EXPECT_EQ(sent.err, "iodiag: error (75): floating point exception\n");
    EXPECT_EQ(sent.signal, SIGABRT);
}

TEST(Signals, AbortCalledByTheProgram) {
    const auto result = run_driver({"abort"});
    EXPECT_EQ(result.err, "iodiag: error (76): IOT trap signal\n");
    EXPECT_EQ(result.signal, SIGABRT);
}

TEST(Signals, DumpOfExceptionInformation) {
    const auto terminated = signal_waiting_driver(SIGTERM, {{"EVIO_DUMP_EXCEPTION_INFO", "1"}});
    EXPECT_EQ(terminated.out, "ready\nException information:\n  signal:          15 (SIGTERM)\n");
    EXPECT_EQ(terminated.err, kInterrupts[1].line);

    const auto fault = run_driver({"segv"}, {{"EVIO_DUMP_EXCEPTION_INFO", "y"}});
    // The store was to address 16; s390x tells the page of a fault, not its byte.
#if defined(__s390x__)
    const std::string fault_address = "0000000000000000";
#else
    const std::string fault_address = "0000000000000010";
#endif
    const std::string dump =
        "Exception information:\n  signal:          11 (SIGSEGV)\n  signal code:     1\n"
        "  error number:    0\n  fault address:   " +
        fault_address + "\n";
    EXPECT_NE(fault.out.find(dump), std::string::npos) << fault.out;
    EXPECT_EQ(fault.exit_status, 174);

    for (const char* value : {"0", "false", ""}) {
        const auto quiet = signal_waiting_driver(SIGTERM, {{"EVIO_DUMP_EXCEPTION_INFO", value}});
        EXPECT_EQ(quiet.out, "ready\n") << value;
    }
}

TEST(Signals, VerboseTracebackOfASignalShowsTheProcessorState) {
    const auto result = run_driver({"segv"}, {{"EVIO_ENABLE_VERBOSE_STACK_TRACE", "1"}});
    const auto [line, rest] = split_first_line(result.err);
    EXPECT_EQ(line, "iodiag: severe (174): SIGSEGV, segmentation fault occurred\n");
#if defined(__x86_64__)
    const std::string first_register = "RIP ";
#elif defined(__aarch64__)
    const std::string first_register = "PC  ";
#else
    const std::string first_register = "(not available on this processor)\n";
#endif
    const std::string state =
        "\nProcessor state at the interrupted instruction:\n  " + first_register;
    EXPECT_EQ(rest.substr(0, state.size()), state);
    const auto heading = rest.find("\nTraceback symbolic or hex stack dump follows:\n\n");
    ASSERT_NE(heading, std::string::npos);
    EXPECT_NE(rest.find("--------- Frame # 0\nImage:    diagnostic_driver\n", heading),
              std::string::npos);
    EXPECT_EQ(result.exit_status, 174);
}

const std::string kAbortLine = "iodiag: error (76): IOT trap signal\n";

TEST(AbortTriggers, SevereConditionEndsByTheAbortSignalAfterItsLine) {
    for (const char* variable :
         {"EVIO__IS_DEBUGGER_PRESENT", "oldrt_dump_flag", "legacyrt_dump_flag"}) {
        for (const char* value : {"1", "true", "yes"}) {
            SCOPED_TRACE(std::string(variable) + "=" + value);
            const auto result = run_driver({"no-unit", "41"}, {{variable, value}});
            const auto [line, rest] = split_first_line(result.err);
            EXPECT_EQ(line, "iodiag: severe (41): insufficient virtual memory\n");
            ASSERT_GT(rest.size(), kAbortLine.size());
            EXPECT_TRUE(is_plain_traceback(rest.substr(0, rest.size() - kAbortLine.size())));
            EXPECT_EQ(rest.substr(rest.size() - kAbortLine.size()), kAbortLine);
            EXPECT_EQ(result.signal, SIGABRT);
        }
        for (const char* value : {"0", "false", ""}) {
            const auto result = run_driver({"no-unit", "41"}, {{variable, value}});
            EXPECT_EQ(result.err.find("(76)"), std::string::npos);
            EXPECT_EQ(result.exit_status, 41);
        }
    }
}

TEST(AbortTriggers, AlsoForSevereSignalsButNotForInterrupts) {
    const Environment trigger = {{"oldrt_dump_flag", "1"}};
    const auto fault = run_driver({"segv"}, trigger);
    const auto [line, rest] = split_first_line(fault.err);
    EXPECT_EQ(line, "iodiag: severe (174): SIGSEGV, segmentation fault occurred\n");
    ASSERT_GT(rest.size(), kAbortLine.size());
    EXPECT_TRUE(is_plain_traceback(rest.substr(0, rest.size() - kAbortLine.size())));
    EXPECT_EQ(rest.substr(rest.size() - kAbortLine.size()), kAbortLine);
    EXPECT_EQ(fault.signal, SIGABRT);

    const auto interrupted = signal_waiting_driver(SIGINT, trigger);
    EXPECT_EQ(interrupted.err, kInterrupts[0].line);
    EXPECT_EQ(interrupted.exit_status, 1);
}

TEST(AbortTriggers, WithoutSignalHandlingTheAbortSignalEndsSilently) {
    const auto result = run_driver({"no-unit", "41"},
                                   {{"legacyrt_dump_flag", "1"}, {"EVIO_IGNORE_EXCEPTIONS", "1"}});
    const auto [line, rest] = split_first_line(result.err);
    EXPECT_EQ(line, "iodiag: severe (41): insufficient virtual memory\n");
    EXPECT_TRUE(is_plain_traceback(rest));
    EXPECT_EQ(result.signal, SIGABRT);
}

}  // namespace

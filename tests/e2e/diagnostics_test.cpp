// Fatal diagnostics of real processes: the lines on standard error, the
// traceback, the exit status, and every environment control that changes them.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/e2e/diagnostic_driver_support.hpp"

namespace {

using diagtest::Environment;
using diagtest::is_plain_traceback;
using diagtest::run_driver;
using diagtest::split_first_line;
using testsupport::TempDir;

struct UnitCase {
    int condition;
    int unit;
    std::string file;  // "-": the connection has no name
    int system_error;
    std::string expected;  // system-error line (if any) and message line
};

TEST(UnitDiagnostic, SystemErrorLineMessageLineTracebackAndStatus) {
    const UnitCase cases[] = {
        {29, 10, "/tmp/nodir/x.txt", ENOENT,
         "iodiag: No such file or directory\n"
         "iodiag: severe (29): file not found, unit 10, file /tmp/nodir/x.txt\n"},
        {30, 10, "/home/lab/", EISDIR,
         "iodiag: Is a directory\niodiag: severe (30): open failure, unit 10, file /home/lab/\n"},
        {9, 10, "/home/lab/probe.txt", EACCES,
         "iodiag: Permission denied\n"
         "iodiag: severe (9): permission to access file denied, unit 10, file "
         "/home/lab/probe.txt\n"},
        {9, 10, "/media/cd/probe.txt", EROFS,
         "iodiag: Read-only file system\n"
         "iodiag: severe (9): permission to access file denied, unit 10, file "
         "/media/cd/probe.txt\n"},
        {42, 10, "/dev/absent", ENXIO,
         "iodiag: No such device or address\n"
         "iodiag: severe (42): no such device, unit 10, file /dev/absent\n"},
        {43, 10, "/etc/passwd/x", ENOTDIR,
         "iodiag: Not a directory\n"
         "iodiag: severe (43): file name specification error, unit 10, file /etc/passwd/x\n"},
        {43, 10, "-", 0,
         "iodiag: severe (43): file name specification error, unit 10, file \"Unknown\"\n"},
        {30, 10, "-", ELOOP,
         "iodiag: Too many levels of symbolic links\n"
         "iodiag: severe (30): open failure, unit 10, file \"Unknown\"\n"},
        {38, 10, "/full/plot.dat", ENOSPC,
         "iodiag: No space left on device\n"
         "iodiag: severe (38): error during write, unit 10, file /full/plot.dat\n"},
        {39, -4, "stdin", EIO,
         "iodiag: Input/output error\niodiag: severe (39): error during read, unit -4, file "
         "stdin\n"},
        {28, 10, "/home/lab/plot.dat", EBADF,
         "iodiag: Bad file descriptor\n"
         "iodiag: severe (28): CLOSE error, unit 10, file /home/lab/plot.dat\n"},
        {24, -4, "/dev/pts/3", 0,
         "iodiag: severe (24): end-of-file during read, unit -4, file /dev/pts/3\n"},
        {24, 10, "/home/lab/probe1.txt", 0,
         "iodiag: severe (24): end-of-file during read, unit 10, file /home/lab/probe1.txt\n"},
        {47, 10, "/home/lab/plot.dat", 0,
         "iodiag: severe (47): write to READONLY file, unit 10, file /home/lab/plot.dat\n"},
        {59, 10, "/home/lab/probe1.txt", 0,
         "iodiag: severe (59): list-directed I/O syntax error, unit 10, file "
         "/home/lab/probe1.txt\n"},
        {64, -4, "stdin", 0, "iodiag: severe (64): input conversion error, unit -4, file stdin\n"},
        {98, -4, "stdin", 0,
         "iodiag: severe (98): cannot allocate memory for the file buffer - out of memory, "
         "unit -4, file stdin\n"},
        {99, -1, "stdout", 0,
         "iodiag: severe (99): UNIO_FMT_RECL environment variable has erroneous syntax\n"},
        {500, 10, "x", 0, "iodiag: severe (500): Message not found\n"},
    };
    for (const UnitCase& c : cases) {
        SCOPED_TRACE(c.expected);
        const auto result = run_driver({"unit", std::to_string(c.condition), std::to_string(c.unit),
                                        c.file, std::to_string(c.system_error)});
        ASSERT_EQ(result.err.substr(0, c.expected.size()), c.expected);
        EXPECT_TRUE(is_plain_traceback(std::string_view(result.err).substr(c.expected.size())));
        EXPECT_EQ(result.exit_status, c.condition % 256);
        EXPECT_EQ(result.out, "");
    }
}

TEST(UnitDiagnostic, EndOfFileWithAnEndExitReturnsAndWritesNothing) {
    const auto result = run_driver({"end-exit", "24", "10", "/home/lab/probe1.txt", "5"});
    EXPECT_EQ(result.out, "returned, end reached 1, pending system error 0\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);

    // Only the end of file has the exit; any other condition still ends the run.
    const auto syntax = run_driver({"end-exit", "59", "10", "/home/lab/probe1.txt", "0"});
    EXPECT_EQ(split_first_line(syntax.err).first,
              "iodiag: severe (59): list-directed I/O syntax error, unit 10, file "
              "/home/lab/probe1.txt\n");
    EXPECT_EQ(syntax.out, "");
    EXPECT_EQ(syntax.exit_status, 59);
}

TEST(DiagnosticWithoutUnit, MessageLineTracebackAndStatus) {
    struct Case {
        std::vector<std::string> arguments;
        std::string line;
        int status;
    };
    const Case cases[] = {
        {{"no-unit", "41"}, "iodiag: severe (41): insufficient virtual memory\n", 41},
        {{"no-unit", "179"},
         "iodiag: severe (179): Cannot allocate array - overflow on array size calculation.\n",
         179},
        {{"no-unit", "28", "10", "/home/lab/plot.dat"},
         "iodiag: severe (28): CLOSE error, unit 10, file /home/lab/plot.dat\n",
         28},
    };
    for (const Case& c : cases) {
        const auto result = run_driver(c.arguments);
        const auto [line, rest] = split_first_line(result.err);
        EXPECT_EQ(line, c.line);
        EXPECT_TRUE(is_plain_traceback(rest));
        EXPECT_EQ(result.exit_status, c.status);
    }
}

TEST(Traceback, OneLinePerActiveCall) {
    // Ten nested calls of the same function: nine returns into it, all at the
    // same address, between the innermost line and main.
    const auto result = run_driver({"deep", "10", "41"});
    ASSERT_TRUE(is_plain_traceback(split_first_line(result.err).second));
    const auto frames = diagtest::lines_of(split_first_line(result.err).second);
    std::size_t longest_run = 1;
    std::size_t run = 1;
    for (std::size_t i = 2; i < frames.size(); ++i) {
        run = frames[i] == frames[i - 1] ? run + 1 : 1;
        longest_run = std::max(longest_run, run);
    }
    EXPECT_EQ(longest_run, 9u) << result.err;
    EXPECT_EQ(result.exit_status, 41);
}

TEST(Traceback, CorruptFrameChainEndsTheWalkAbnormally) {
    for (const char* command : {"unreadable-chain", "cyclic-chain"}) {
        const auto result = run_driver({command, "179"});
        const auto [line, rest] = split_first_line(result.err);
        EXPECT_EQ(line,
                  "iodiag: severe (179): Cannot allocate array - overflow on array size "
                  "calculation.\n");
        const std::string abnormal = "\nStack trace terminated abnormally.\n";
        ASSERT_GT(rest.size(), diagtest::kHeading.size() + abnormal.size()) << command;
        EXPECT_EQ(rest.substr(0, diagtest::kHeading.size()), diagtest::kHeading);
        EXPECT_EQ(rest.substr(rest.size() - abnormal.size()), abnormal) << command;
        // The frames before the corrupt link are all in the driver.
        const auto frames = diagtest::lines_of(rest.substr(
            diagtest::kHeading.size(), rest.size() - diagtest::kHeading.size() - abnormal.size()));
        EXPECT_GE(frames.size(), 3u);
        for (const auto& frame : frames) {
            EXPECT_TRUE(std::regex_match(frame, diagtest::kDriverFrame)) << frame;
        }
        EXPECT_EQ(result.exit_status, 179);
    }
}

const char* const kTrueValues[] = {"true", "1", "yes", "T", "Y", "007"};
const char* const kFalseValues[] = {"0", "false", "", "no", "00"};

const std::string kMessage41 = "iodiag: severe (41): insufficient virtual memory\n";

TEST(EnvironmentControls, DisableStackTrace) {
    for (const char* value : kTrueValues) {
        const auto result = run_driver({"no-unit", "41"}, {{"EVIO_DISABLE_STACK_TRACE", value}});
        EXPECT_EQ(result.err, kMessage41) << value;
        EXPECT_EQ(result.exit_status, 41);
    }
    for (const char* value : kFalseValues) {
        const auto result = run_driver({"no-unit", "41"}, {{"EVIO_DISABLE_STACK_TRACE", value}});
        EXPECT_EQ(split_first_line(result.err).first, kMessage41) << value;
        EXPECT_TRUE(is_plain_traceback(split_first_line(result.err).second)) << value;
    }
}

TEST(EnvironmentControls, VerboseStackTrace) {
    for (const char* variable :
         {"EVIO_ENABLE_VERBOSE_STACK_TRACE", "TBK_ENABLE_VERBOSE_STACK_TRACE"}) {
        for (const char* value : kTrueValues) {
            const auto result = run_driver({"deep", "3", "41"}, {{variable, value}});
            const auto [line, rest] = split_first_line(result.err);
            EXPECT_EQ(line, kMessage41);
            const std::string start =
                "\nTraceback symbolic or hex stack dump follows:\n\n"
                "--------- Frame # 0\nImage:    diagnostic_driver\nAddress:  ";
            EXPECT_EQ(rest.substr(0, start.size()), start) << variable << "=" << value;
            for (const char* block :
                 {"--------- Frame # 1\n", "--------- Frame # 2\n", "--------- Frame # 3\n",
                  "Routine:  Unknown\n", "Source:   Unknown\n", "Line:     Unknown\n"}) {
                EXPECT_NE(rest.find(block), std::string::npos) << block;
            }
            EXPECT_EQ(rest.find("Image              PC"), std::string::npos);
            EXPECT_EQ(result.exit_status, 41);
        }
        for (const char* value : kFalseValues) {
            const auto result = run_driver({"no-unit", "41"}, {{variable, value}});
            EXPECT_TRUE(is_plain_traceback(split_first_line(result.err).second)) << value;
        }
    }
}

const std::vector<std::string> kFileNotFound = {"unit", "29", "10", "/tmp/nodir/x.txt",
                                                std::to_string(ENOENT)};
const std::string kSystemLine = "iodiag: No such file or directory\n";
const std::string kMessage29 =
    "iodiag: severe (29): file not found, unit 10, file /tmp/nodir/x.txt\n";

TEST(EnvironmentControls, LogFileReceivesMessageAndTraceback) {
    TempDir directory;
    directory.write_file("existing.log", "earlier line\n");
    for (const char* name : {"existing.log", "new.log"}) {
        const auto result =
            run_driver(kFileNotFound, {{"EVIO_DIAGNOSTIC_LOG_FILE", directory.file(name)}});
        const std::string before = std::string(name) == "existing.log" ? "earlier line\n" : "";
        const std::string log = directory.read_file(name);
        // The text of the diagnostic, without the system-error line, appended.
        EXPECT_EQ(log, before + result.err.substr(kSystemLine.size()));
        EXPECT_EQ(log.substr(before.size(), kMessage29.size()), kMessage29);
        EXPECT_TRUE(is_plain_traceback(log.substr(before.size() + kMessage29.size())));
        EXPECT_EQ(result.err.substr(0, kSystemLine.size() + kMessage29.size()),
                  kSystemLine + kMessage29);
        EXPECT_EQ(result.exit_status, 29);
    }
    // Each diagnostic opens the log anew and appends.
    const auto again =
        run_driver({"no-unit", "41"}, {{"EVIO_DIAGNOSTIC_LOG_FILE", directory.file("new.log")}});
    EXPECT_EQ(directory.read_file("new.log").find(kMessage29), 0u);
    EXPECT_NE(directory.read_file("new.log").find(kMessage41), std::string::npos);
    EXPECT_EQ(again.exit_status, 41);
}

TEST(EnvironmentControls, LogFileThatCannotBeOpenedIsSkippedWithoutNotice) {
    TempDir directory;
    const auto plain = run_driver({"no-unit", "41"});
    for (const std::string& path :
         {directory.file("missing/dir.log"), std::string(""), directory.path()}) {
        const auto result = run_driver({"no-unit", "41"}, {{"EVIO_DIAGNOSTIC_LOG_FILE", path}});
        EXPECT_EQ(split_first_line(result.err).first, kMessage41) << path;
        EXPECT_EQ(diagtest::lines_of(result.err).size(), diagtest::lines_of(plain.err).size());
        EXPECT_EQ(result.exit_status, 41);
    }
}

TEST(EnvironmentControls, DisabledDisplayStillWritesTheSystemErrorLine) {
    TempDir directory;
    for (const char* value : kTrueValues) {
        const auto result =
            run_driver(kFileNotFound, {{"EVIO_DISABLE_DIAGNOSTIC_DISPLAY", value},
                                       {"EVIO_DIAGNOSTIC_LOG_FILE", directory.file("log")}});
        EXPECT_EQ(result.err, kSystemLine) << value;
        EXPECT_EQ(result.exit_status, 29);
    }
    // The log still got the text every time.
    const std::string log = directory.read_file("log");
    EXPECT_EQ(log.substr(0, kMessage29.size()), kMessage29);
    std::size_t copies = 0;
    for (auto at = log.find(kMessage29); at != std::string::npos;
         at = log.find(kMessage29, at + 1)) {
        ++copies;
    }
    EXPECT_EQ(copies, std::size(kTrueValues));

    for (const char* value : kFalseValues) {
        const auto result = run_driver(kFileNotFound, {{"EVIO_DISABLE_DIAGNOSTIC_DISPLAY", value}});
        EXPECT_EQ(result.err.substr(0, kSystemLine.size() + kMessage29.size()),
                  kSystemLine + kMessage29)
            << value;
    }
}

TEST(EnvironmentControls, Unio0RedirectsStandardErrorAtTheFirstDiagnostic) {
    TempDir directory;
    directory.write_file("existing.err", "earlier\n");
    for (const char* name : {"existing.err", "new.err"}) {
        const auto result = run_driver(kFileNotFound, {{"UNIO0", directory.file(name)}});
        EXPECT_EQ(result.err, "");
        const std::string before = std::string(name) == "existing.err" ? "earlier\n" : "";
        const std::string text = directory.read_file(name);
        const std::string lines = before + kSystemLine + kMessage29;
        ASSERT_EQ(text.substr(0, lines.size()), lines);
        EXPECT_TRUE(is_plain_traceback(text.substr(lines.size())));
        EXPECT_EQ(result.exit_status, 29);
    }
    // A name that cannot be opened leaves standard error where it was.
    const auto result = run_driver(kFileNotFound, {{"UNIO0", directory.file("no/such.err")}});
    EXPECT_EQ(result.err.substr(0, kSystemLine.size() + kMessage29.size()),
              kSystemLine + kMessage29);
}

TEST(EnvironmentControls, Unio0AlsoReceivesTheLineOfAnAbortTrigger) {
    TempDir directory;
    const auto result =
        run_driver({"no-unit", "41"}, {{"UNIO0", directory.file("err")}, {"oldrt_dump_flag", "1"}});
    EXPECT_EQ(result.err, "");
    const std::string text = testsupport::without_emulator_line(directory.read_file("err"));
    const std::string abort_line = "iodiag: error (76): IOT trap signal\n";
    ASSERT_GT(text.size(), kMessage41.size() + abort_line.size());
    EXPECT_EQ(text.substr(0, kMessage41.size()), kMessage41);
    EXPECT_EQ(text.substr(text.size() - abort_line.size()), abort_line);
    EXPECT_EQ(result.signal, SIGABRT);
}

TEST(ProcessEnd, NormalEndWritesNothingAndExitsWithZero) {
    TempDir directory;
    const Environment quiet_controls[] = {
        {},
        {{"EVIO_DUMP_EXCEPTION_INFO", "1"},
         {"oldrt_dump_flag", "1"},
         {"UNIO0", directory.file("e")},
         {"EVIO_DIAGNOSTIC_LOG_FILE", directory.file("l")},
         {"EVIO_ENABLE_VERBOSE_STACK_TRACE", "1"}},
    };
    for (const Environment& environment : quiet_controls) {
        const auto result = run_driver({"normal"}, environment);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.signal, 0);
    }
    // No diagnostic, so nothing was reopened or logged.
    EXPECT_NE(::access(directory.file("e").c_str(), F_OK), 0);
    EXPECT_NE(::access(directory.file("l").c_str(), F_OK), 0);
}

// Lets the allocation limit work under the address sanitizer too, whose
// allocator ignores the address-space limit the driver sets.
const Environment kAllocatorLimit = {
    {"ASAN_OPTIONS", "allocator_may_return_null=1:max_allocation_size_mb=1024"}};

// The sanitizer notes a refused allocation on standard error before the
// program's diagnostic; that note is not the program's.
std::string without_sanitizer_note(std::string err) {
    static const std::regex note("==[0-9]+==WARNING: AddressSanitizer failed to allocate [^\n]*\n");
    return std::regex_replace(err, note, "");
}

TEST(SeriesAllocation, KraftThenWegOrTheConditionThatStopsThem) {
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
        std::string line;  // empty: no diagnostic
        int status;
    };
    const std::string overflow =
        "iodiag: severe (179): Cannot allocate array - overflow on array size calculation.\n";
    const Case cases[] = {
        {{"alloc", "0"}, "KRAFT 0 zero\nWEG 0 zero\n", "", 0},
        {{"alloc", "5"}, "KRAFT 5 zero\nWEG 5 zero\n", "", 0},
        {{"alloc", "100000"}, "KRAFT 100000 zero\nWEG 100000 zero\n", "", 0},
        {{"alloc", "268435456"}, "", overflow, 179},
        {{"alloc", "2147483647"}, "", overflow, 179},
        {{"alloc", "-1"}, "", overflow, 179},
        // Counts beyond 32 bits must not wrap around to a small size.
        {{"alloc", "4294967296"}, "", overflow, 179},
        {{"alloc", "4294967297"}, "", overflow, 179},
        {{"alloc", "-2147483648"}, "", overflow, 179},
#if !defined(__SANITIZE_ADDRESS__)
        // Under the address sanitizer the driver sets no address-space limit, and
        // large arrays are mapped directly, past the sanitizer's allocator limits.
        // The largest count whose size fits: the memory is asked for, and refused.
        {{"alloc", "268435455", "limit"}, "", kMessage41, 41},
        // KRAFT fits in the address space, WEG no longer does.
        {{"alloc", "10000000", "limit"}, "KRAFT 10000000 zero\n", kMessage41, 41},
#endif
    };
    const std::string emulation = testsupport::emulation();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        if (c.arguments.size() > 2 && !emulation.empty()) {
            std::printf(
                "skipped under the emulator (%s), which needs more address space than "
                "the limit allows: alloc %s limit\n",
                emulation.c_str(), c.arguments[1].c_str());
            continue;
        }
        const auto result = run_driver(c.arguments, kAllocatorLimit);
        const std::string err = without_sanitizer_note(result.err);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(split_first_line(err).first, c.line);
        if (!c.line.empty()) {
            EXPECT_TRUE(is_plain_traceback(split_first_line(err).second));
        }
        EXPECT_EQ(result.exit_status, c.status);
    }
}

// Splits a text made of several diagnostics at each of the `lines` that begin one.
std::vector<std::string> split_at(const std::string& text, const std::vector<std::string>& lines) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto end = i + 1 < lines.size() ? text.find(lines[i + 1], from) : text.size();
        if (text.compare(from, lines[i].size(), lines[i]) != 0 || end == std::string::npos) {
            return {};
        }
        parts.push_back(text.substr(from + lines[i].size(), end - from - lines[i].size()));
        from = end;
    }
    return parts;
}

const std::string kCloseError = "iodiag: severe (28): CLOSE error, unit 10, file /dev/full\n";

TEST(RunDown, CloseFailureAfterADiagnosticIsReportedAndEndsWith28) {
    // Unit 10 holds a buffered record for a device that refuses every write: the
    // run-down after condition 41 cannot flush it.
    const Environment buffered = {{"UNIO_BUFFERED", "1"}};
    const auto result = run_driver({"buffered", "/dev/full", "no-unit", "41"}, buffered);
    const auto parts = split_at(result.err, {kMessage41, kCloseError});
    ASSERT_EQ(parts.size(), 2u) << result.err;
    EXPECT_TRUE(is_plain_traceback(parts[0]));
    EXPECT_TRUE(is_plain_traceback(parts[1]));
    EXPECT_EQ(result.exit_status, 28);

    // Under an abort trigger the abort signal's line follows the close failure.
    Environment triggered = buffered;
    triggered.emplace_back("legacyrt_dump_flag", "1");
    const auto aborted = run_driver({"buffered", "/dev/full", "no-unit", "41"}, triggered);
    const std::string abort_line = "iodiag: error (76): IOT trap signal\n";
    ASSERT_EQ(split_at(aborted.err, {kMessage41, kCloseError, abort_line}).size(), 3u)
        << aborted.err;
    EXPECT_EQ(aborted.signal, SIGABRT);

    // Without buffering the record was written (and refused) at once: condition 38.
    const auto unbuffered = run_driver({"buffered", "/dev/full", "no-unit", "41"});
    const std::string write_error =
        "iodiag: No space left on device\n"
        "iodiag: severe (38): error during write, unit 10, file /dev/full\n";
    EXPECT_EQ(unbuffered.err.substr(0, write_error.size()), write_error);
    EXPECT_TRUE(is_plain_traceback(unbuffered.err.substr(write_error.size())));
    EXPECT_EQ(unbuffered.exit_status, 38);
}

TEST(RunDown, CloseFailureAfterASignal) {
    auto options = diagtest::driver({"buffered", "/dev/full", "wait"}, {{"UNIO_BUFFERED", "yes"}});
    testsupport::Child child(options);
    ASSERT_TRUE(child.wait_for_output("ready\n"));
    child.send_signal(SIGTERM);
    const auto result = child.finish();
    const auto parts =
        split_at(result.err, {"iodiag: error (78): process killed (SIGTERM)\n", kCloseError});
    ASSERT_EQ(parts.size(), 2u) << result.err;
    EXPECT_EQ(parts[0], "");
    EXPECT_TRUE(is_plain_traceback(parts[1]));
    EXPECT_EQ(result.exit_status, 28);
}

// Whether the process sleeps in the open of a FIFO, if the system tells: blocked
// in openat. Under an emulator the system shows the host kernel's call numbers,
// so there the kernel's place of waiting for the FIFO's other end tells instead.
bool waits_in_open(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream stat(proc + "/stat");
    std::string fields;
    std::getline(stat, fields);
    const auto state = fields.rfind(')');
    if (state == std::string::npos || fields.substr(state + 2, 1) != "S") {
        return false;
    }
    std::string where;
    if (testsupport::emulation().empty()) {
        std::ifstream(proc + "/syscall") >> where;
        return where == std::to_string(SYS_openat);
    }
    std::ifstream(proc + "/wchan") >> where;
    return where == "wait_for_partner";
}

TEST(DiagnosticStep, SignalsWhileADiagnosticIsWrittenAddNoSecondOne) {
    // The log file is a FIFO without a reader: the diagnostic stops in its open
    // until the test reads, and the signals arrive meanwhile.
    TempDir directory;
    const std::string fifo = directory.file("log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    testsupport::Child child(
        diagtest::driver({"no-unit", "41"}, {{"EVIO_DIAGNOSTIC_LOG_FILE", fifo}}));
    int steady = 0;
    for (int i = 0; i < 500 && steady < 3; ++i) {
        steady = waits_in_open(child.pid()) ? steady + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(steady, 3) << "the driver never waited in the open of the log";
    child.send_signal(SIGTERM);
    child.send_signal(SIGINT);
    child.send_signal(SIGQUIT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string log;
    for (int i = 0; i < 1000; ++i) {
        pollfd fd{reader, POLLIN, 0};
        ::poll(&fd, 1, 10);
        char block[4096];
        const ssize_t got = ::read(reader, block, sizeof block);
        if (got == 0) {
            break;
        }
        if (got > 0) {
            log.append(block, static_cast<std::size_t>(got));
        }
    }
    ::close(reader);
    const auto result = child.finish();
    EXPECT_EQ(split_first_line(result.err).first, kMessage41);
    EXPECT_TRUE(is_plain_traceback(split_first_line(result.err).second));
    EXPECT_EQ(log, result.err);
    EXPECT_EQ(result.exit_status, 41);
}

}  // namespace

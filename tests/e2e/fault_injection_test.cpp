// Faults from outside the program: a file system that refuses to grow, memory
// that cannot be had, a read that fails, a measurement file that changes between
// its two passes, and signals at every step of a run.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <span>
#include <string>

#include "tests/e2e/diagnostic_driver_support.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/dialogue.hpp"

namespace {

using testsupport::Child;
using testsupport::ChildOptions;
using testsupport::ChildResult;
using testsupport::TempDir;

using testsupport::kAllPrompts;
using testsupport::kNamePrompt;
const std::string kAnswers = "probe.txt\n100\n100\n10\n";

// Diagnostics here are compared without their traceback.
ChildOptions emodul_without_traceback(const TempDir& directory) {
    return testsupport::emodul_in(directory, {{"EVIO_DISABLE_STACK_TRACE", "true"}});
}

bool under_address_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

// A series of `records` records of force twice the displacement.
void write_series(const TempDir& directory, std::size_t records) {
    std::ofstream file(directory.file("probe.txt"));
    for (std::size_t i = 1; i <= records; ++i) {
        file << i << ' ' << 2 * i << ' ' << i << '\n';
    }
}

// A file-size limit before, inside and after the rows of plot.dat: a write the
// system takes only in part is continued, and its refused rest ends the run with
// 38 (EFBIG instead of a SIGXFSZ, as a full disk refuses it with ENOSPC). The
// file keeps every byte the system took: the rows before, and of the row refused
// halfway the part below the limit. Block buffering writes the rows as one piece.
TEST(FaultInjection, FileSystemRefusingToGrowKeepsTheRowsWrittenBefore) {
    TempDir directory;
    write_series(directory, 20);
    std::string plot = "  0.0000      0.0000    \n";  // 12 rows of 25 bytes
    for (int i = 1; i <= 11; ++i) {
        const auto field = [](int v) {
            return "  " + std::to_string(v) + (v < 10 ? ".0000    " : ".000    ");
        };
        plot += field(i) + field(2 * i) + "\n";
    }
    const struct {
        rlim_t limit;
        bool buffered;
    } cases[] = {{0, false},   {10, false},  {25, false},  {100, false}, {110, false}, {290, false},
                 {299, false}, {300, false}, {301, false}, {0, true},    {290, true},  {300, true}};
    for (const auto& [limit, buffered] : cases) {
        SCOPED_TRACE("limit " + std::to_string(limit) + (buffered ? ", buffered" : ""));
        ChildOptions options = emodul_without_traceback(directory);
        if (buffered) {
            options.environment.emplace_back("UNIO_BUFFERED", "y");
        }
        options.limits = {{RLIMIT_FSIZE, limit}};
        options.ignored_signals = {SIGXFSZ};
        ::unlink(directory.file("plot.dat").c_str());
        const ChildResult result = testsupport::run_child(options, kAnswers);
        const bool refused = limit < plot.size();
        EXPECT_EQ(result.err, refused ? "iodiag: File too large\niodiag: severe (38): error during "
                                        "write, unit 10, file " +
                                            directory.file("plot.dat") + "\n"
                                      : "");
        EXPECT_EQ(result.exit_status, refused ? 38 : 0);
        EXPECT_EQ(result.out, kAllPrompts + "\nE-unendlich =   679.41     MPa\n");
        EXPECT_EQ(directory.read_file("plot.dat"), plot.substr(0, limit));
    }
}

TEST(FaultInjection, MemoryRefusedForTheSeries) {
    if (under_address_sanitizer() || !testsupport::test_wrapper().empty()) {
        GTEST_SKIP()
            << "the sanitizer or the wrapper needs more address space than the limit allows";
    }
    TempDir directory;
    write_series(directory, 2'000'000);        // 32 MB per array
    for (const rlim_t megabytes : {24, 56}) {  // refused for KRAFT, then only for WEG
        ChildOptions options = emodul_without_traceback(directory);
        options.limits = {{RLIMIT_AS, megabytes << 20}};
        const ChildResult result = testsupport::run_child(options, kAnswers);
        EXPECT_EQ(result.err, "iodiag: severe (41): insufficient virtual memory\n") << megabytes;
        EXPECT_EQ(result.exit_status, 41) << megabytes;
        EXPECT_EQ(result.out, kNamePrompt);
    }
}

TEST(FaultInjection, ReadRefusedByTheSystem) {
    // The process's own memory file opens read-write, but reading at offset 0,
    // where nothing is mapped, fails with EIO.
    TempDir directory;
    const ChildResult result =
        testsupport::run_child(emodul_without_traceback(directory), "/proc/self/mem\n");
    EXPECT_EQ(result.err,
              "iodiag: Input/output error\n"
              "iodiag: severe (39): error during read, unit 10, file /proc/self/mem\n");
    EXPECT_EQ(result.exit_status, 39);
}

// Runs the child under ptrace and calls `between_passes` when it is about to open
// `path` for the second time, that is between the counting and the loading pass.
ChildResult run_changing_the_file_between_passes(const ChildOptions& options,
                                                 const std::string& path, const std::string& input,
                                                 const std::function<void()>& between_passes) {
    int in[2];
    int out[2];
    int err[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(in[1]);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (::chdir(options.working_directory.c_str()) != 0) {
            ::_exit(126);
        }
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        ::raise(SIGSTOP);
        char* const argv[] = {const_cast<char*>(EMODUL_BINARY), nullptr};
        char disable[] = "EVIO_DISABLE_STACK_TRACE=true";
        char* const environment[] = {disable, nullptr};
        ::execve(EMODUL_BINARY, argv, environment);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    int opens_of_path = 0;
    bool entering = true;
    long signal_to_deliver = 0;  // a fault must reach the child, or it faults forever
    while (true) {
        ::ptrace(PTRACE_SYSCALL, child, nullptr, signal_to_deliver);
        signal_to_deliver = 0;
        if (::waitpid(child, &status, 0) < 0 || WIFEXITED(status) || WIFSIGNALED(status)) {
            break;
        }
        if (!WIFSTOPPED(status) || WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            // The stop after execve is the tracer's own SIGTRAP, not the child's.
            const int stop = WIFSTOPPED(status) ? WSTOPSIG(status) : 0;
            signal_to_deliver = stop == SIGTRAP ? 0 : stop;
            continue;
        }
        if (entering) {
            user_regs_struct registers{};
            ::ptrace(PTRACE_GETREGS, child, nullptr, &registers);
            if (registers.orig_rax == SYS_openat) {
                std::string name;
                for (unsigned long address = registers.rsi; name.size() < 4096;
                     address += sizeof(long)) {
                    errno = 0;
                    const long word = ::ptrace(PTRACE_PEEKDATA, child, address, nullptr);
                    const char* bytes = reinterpret_cast<const char*>(&word);
                    const auto length = ::strnlen(bytes, sizeof word);
                    name.append(bytes, length);
                    if (errno != 0 || length < sizeof word) {
                        break;
                    }
                }
                if (name == path && ++opens_of_path == 2) {
                    between_passes();
                    ::ptrace(PTRACE_DETACH, child, nullptr, nullptr);
                    ::waitpid(child, &status, 0);
                    break;
                }
            }
        }
        entering = !entering;
    }
    ChildResult result;
    char block[4096];
    for (ssize_t got; (got = ::read(out[0], block, sizeof block)) > 0;) {
        result.out.append(block, static_cast<std::size_t>(got));
    }
    for (ssize_t got; (got = ::read(err[0], block, sizeof block)) > 0;) {
        result.err.append(block, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    ::close(err[0]);
    if (WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

TEST(FaultInjection, MeasurementFileGrowsBetweenThePasses) {
    TempDir directory;
    directory.write_file("probe.txt", "1 2 1\n2 4 2\n");
    // The loading pass reads the new contents with the old count.
    const ChildResult result = run_changing_the_file_between_passes(
        emodul_without_traceback(directory), directory.file("probe.txt"), kAnswers,
        [&] { directory.write_file("probe.txt", "1 6 1\n2 12 2\n3 99 3\n4 99 4\n"); });
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, kAllPrompts + "\nE-unendlich =   2038.2     MPa\n");
    EXPECT_EQ(directory.read_file("plot.dat"),
              "  0.0000      0.0000    \n"
              "  1.0000      6.0000    \n"
              "  2.0000      12.000    \n");
}

TEST(FaultInjection, MeasurementFileShrinksBetweenThePasses) {
    TempDir directory;
    directory.write_file("probe.txt", "1 2 1\n2 4 2\n3 6 3\n");
    const ChildResult result = run_changing_the_file_between_passes(
        emodul_without_traceback(directory), directory.file("probe.txt"), kAnswers,
        [&] { directory.write_file("probe.txt", "1 2 1\n"); });
    EXPECT_EQ(result.err, "iodiag: severe (24): end-of-file during read, unit 10, file " +
                              directory.file("probe.txt") + "\n");
    EXPECT_EQ(result.exit_status, 24);
    EXPECT_EQ(result.out, kNamePrompt);
}

// An interrupting signal ends the run with its line and status 1, whatever step
// the run is at; nothing of the unfinished steps is reported.
const std::span<const diagtest::InterruptCase> kInterruptions(diagtest::kInterrupts, 2);

TEST(FaultInjection, InterruptedAtEveryPrompt) {
    const std::string prompts[] = {kNamePrompt, testsupport::kDistanceAPrompt,
                                   testsupport::kDistanceBPrompt, testsupport::kDiameterPrompt};
    const std::string answers[] = {"probe.txt\n", "100\n", "100\n"};
    for (const diagtest::InterruptCase& interruption : kInterruptions) {
        for (std::size_t at = 0; at < 4; ++at) {
            SCOPED_TRACE(std::string(interruption.line) + " at prompt " + std::to_string(at));
            TempDir directory;
            directory.write_file("probe.txt", "1 2 1\n2 4 2\n");
            Child child(emodul_without_traceback(directory));
            std::string shown;
            for (std::size_t i = 0; i <= at; ++i) {
                shown += prompts[i];
                ASSERT_TRUE(child.wait_for_output(shown));
                if (i < at) {
                    child.write_stdin(answers[i]);
                }
            }
            child.send_signal(interruption.signal_number);
            const ChildResult result = child.finish();
            EXPECT_EQ(result.out, shown);
            EXPECT_EQ(result.err, interruption.line);
            EXPECT_EQ(result.exit_status, 1);
            EXPECT_EQ(directory.read_file("probe.txt"), "1 2 1\n2 4 2\n");
            struct stat plot {};
            EXPECT_NE(::stat(directory.file("plot.dat").c_str(), &plot), 0);
        }
    }
}

TEST(FaultInjection, InterruptedWhileLoadingALongSeries) {
    TempDir directory;
    write_series(directory, 3'000'000);
    for (const diagtest::InterruptCase& interruption : kInterruptions) {
        SCOPED_TRACE(interruption.line);
        Child child(emodul_without_traceback(directory));
        ASSERT_TRUE(child.wait_for_output(kNamePrompt));
        child.write_stdin("probe.txt\n");
        ::usleep(60'000);
        child.send_signal(interruption.signal_number);
        const ChildResult result = child.finish();
        EXPECT_EQ(result.out, kNamePrompt);  // no geometry prompt: still loading
        EXPECT_EQ(result.err, interruption.line);
        EXPECT_EQ(result.exit_status, 1);
        struct stat plot {};
        EXPECT_NE(::stat(directory.file("plot.dat").c_str(), &plot), 0);
    }
}

}  // namespace

// Faults from outside the program: a file system that refuses to grow, memory
// that cannot be had, a read that fails, a measurement file that changes while it
// is read, small limits, and signals at every step of a run.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

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

// A sanitizer's shadow memory counts against every memory limit and budget.
bool under_a_sanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
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
// file keeps exactly the rows finished before: of a row refused halfway, the part
// the system took is cut off again. Block buffering writes the rows as one piece.
TEST(FaultInjection, FileSystemRefusingToGrowKeepsTheRowsWrittenBefore) {
    if (!testsupport::test_wrapper().empty()) {
        GTEST_SKIP() << "the wrapper writes files of its own, which the limit refuses";
    }
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
        EXPECT_EQ(directory.read_file("plot.dat"), plot.substr(0, limit / 25 * 25));
    }
}

TEST(FaultInjection, MemoryRefusedForTheSeries) {
    if (under_a_sanitizer() || !testsupport::test_wrapper().empty()) {
        GTEST_SKIP()
            << "the sanitizer or the wrapper needs more address space than the limit allows";
    }
    if (const std::string emulation = testsupport::emulation(); !emulation.empty()) {
        GTEST_SKIP() << "the emulator (" << emulation
                     << ") needs more address space than the limit allows";
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

// The differential check of the two paths under faults. Each scenario runs the
// program once with its fast paths and once with its plain ones (two passes, one
// thread), on the same files, changed by the same script at the same moments of
// the run (scripted_emodul); both must give the same standard output and error,
// exit status and plot.dat, end as the scenario says, and stay within 32 bytes a
// record + 8 MiB of memory. As root the files lie in a ramfs, whose file times
// move in ticks of the coarse clock, so that a rewrite in the tick of an earlier
// one leaves them as they were.
// A file's text, made when the scenario runs: a test program starts once for
// each test, so nothing large is made before.
using Text = std::string (*)();

struct FaultScenario {
    const char* name;
    std::vector<std::pair<const char*, Text>> files;  // m.txt is measured
    const char* script;
    int status;
    const char* result = nullptr;  // the result field, when it is to be checked
    std::size_t records = 0;       // loaded, for the memory budget
    std::vector<std::pair<int, rlim_t>> limits = {};
    std::size_t repeat = 1;  // how often the files' texts follow one another
    // The last overwrite is to leave the file's times as they were, which it
    // does where it falls in the tick of the write before it: on a ramfs the fast
    // run is repeated until it does.
    bool same_tick = false;
};

void PrintTo(const FaultScenario& c, std::ostream* os) {
    *os << c.name;
}

// Records of 26 bytes: "   17     36.000   18.000" and a line feed, force
// `factor` times the displacement; `exponent_at` is written with an exponent.
std::string fixed_records(std::size_t from, std::size_t to, int factor,
                          std::size_t exponent_at = 0) {
    std::string text;
    char line[64];
    for (std::size_t i = from; i <= to; ++i) {
        std::snprintf(line, sizeof line,
                      i == exponent_at ? "%3zuE0 %10.3f %8.3f\n" : "%5zu %10.3f %8.3f\n", i % 1000,
                      static_cast<double>(factor) * static_cast<double>(i % 5000 + 1),
                      static_cast<double>(i % 5000 + 1));
        text += line;
    }
    return text;
}

std::string repeated(std::size_t count, std::string_view line) {
    std::string text;
    text.reserve(count * line.size());
    for (std::size_t i = 0; i < count; ++i) {
        text += line;
    }
    return text;
}

std::string series() {
    return fixed_records(1, 9000, 2);
}
// The first 2500 records changed, the file's size kept.
std::string rewritten() {
    return fixed_records(1, 2500, 3) + fixed_records(2501, 9000, 2);
}
std::string handed_over() {
    return fixed_records(1, 9000, 2, 5000);
}
std::string rewritten_handed_over() {
    return fixed_records(1, 2500, 3) + fixed_records(2501, 9000, 2, 5000);
}

const FaultScenario kFaultScenarios[] = {
    // The one pass stops at a record whose force it has taken already; the new
    // records leave every force as it was.
    {"replaced_by_nulls_after_the_first_read",
     {{"m.txt", [] { return repeated(1000, "1 2 3\n") + repeated(20000, "1 5 (7,1)\n"); }},
      {"new.txt", [] { return repeated(21000, "1,,3/\n"); }}},
     "read:1:65536 rename new.txt m.txt",
     0,
     "  0.0000    ",
     21000},
    {"replaced_by_slashes_after_the_first_read",
     {{"m.txt", [] { return repeated(1000, "1 2 3\n") + repeated(20000, "1E0 5 7\n"); }},
      {"new.txt", [] { return repeated(21000, "1/\n"); }}},
     "read:1:65536 rename new.txt m.txt",
     0,
     " NaN        ",
     21000},
    {"link_swapped_before_the_reopen",
     {{"a.txt", series}, {"b.txt", [] { return repeated(9000, "7 /\n"); }}},
     "open:1 link a.txt m.txt\nopen:2 link b.txt m.txt",
     0,
     " NaN        ",
     9000},
    {"replaced_by_a_longer_file_before_the_reopen",
     {{"m.txt", series}, {"new.txt", [] { return fixed_records(1, 12000, 3); }}},
     "open:2 rename new.txt m.txt",
     0,
     "  1019.1    ",
     9000},
    {"shrunk_before_the_reopen",
     {{"m.txt", series}},
     "open:2 truncate m.txt 26000",
     24,
     nullptr,
     9000},
    {"rewritten_in_place_after_the_first_read",
     {{"m.txt", series}, {"old.txt", series}, {"new.txt", rewritten}},
     "open:1 tick ; overwrite old.txt m.txt\nread:1:65536 overwrite new.txt m.txt",
     0,
     nullptr,
     9000,
     {},
     1,
     true},
    {"rewritten_in_place_at_the_hand_over",
     {{"m.txt", handed_over}, {"old.txt", handed_over}, {"new.txt", rewritten_handed_over}},
     "open:1 tick ; overwrite old.txt m.txt\nread:1:131072 overwrite new.txt m.txt",
     0,
     nullptr,
     9000,
     {},
     1,
     true},
    {"rewritten_in_place_before_the_reopen",
     {{"m.txt", handed_over}, {"old.txt", handed_over}, {"new.txt", rewritten_handed_over}},
     "open:1 tick ; overwrite old.txt m.txt\nopen:2 overwrite new.txt m.txt",
     0,
     nullptr,
     9000,
     {},
     1,
     true},
    {"rewritten_behind_the_plain_records",
     {{"m.txt", handed_over},
      {"new.txt",
       [] { return handed_over().substr(0, 6000 * 26) + fixed_records(6001, 9000, 7); }}},
     "open:2 overwrite new.txt m.txt",
     0,
     nullptr,
     9000},
    {"small_stack", {{"m.txt", series}}, "", 0, "  679.41    ", 9000, {{RLIMIT_STACK, 300 << 10}}},
    {"small_address_space",
     {{"m.txt", [] { return fixed_records(1, 30000, 2); }}},
     "",
     0,
     "  679.41    ",
     30000,
     {{RLIMIT_AS, rlim_t{64} << 20}}},
    {"blank_lines_behind_the_records",
     {{"m.txt", [] { return fixed_records(1, 100000, 2) + repeated(4 << 20, "\n"); }}},
     "",
     0,
     "  679.41    ",
     100000},
};

// A ramfs over `directory` for as long as it lives, where the test may mount one.
class RamFileSystem {
public:
    bool mounted() const { return mounted_; }

    explicit RamFileSystem(const TempDir& directory) : path_(directory.path()) {
        mounted_ =
            ::geteuid() == 0 && ::mount("ramfs", path_.c_str(), "ramfs", 0, "mode=0777") == 0;
    }
    RamFileSystem(const RamFileSystem&) = delete;
    RamFileSystem& operator=(const RamFileSystem&) = delete;
    ~RamFileSystem() {
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }

private:
    std::string path_;
    bool mounted_ = false;
};

// Where two long texts differ: the first differing line and the line counts,
// never the texts themselves.
std::string first_difference(const std::string& a, const std::string& b) {
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    const std::size_t line_start = a.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t from = line_start == std::string::npos || at == 0 ? 0 : line_start + 1;
    const auto line_of = [&](const std::string& text) {
        return text.substr(from, text.find('\n', from) - from);
    };
    return "line " +
           std::to_string(std::count(a.begin(), a.begin() + static_cast<long>(from), '\n') + 1) +
           ": '" + line_of(a) + "' against '" + line_of(b) + "' (" +
           std::to_string(std::count(a.begin(), a.end(), '\n')) + " and " +
           std::to_string(std::count(b.begin(), b.end(), '\n')) + " lines)";
}

struct PathsOutcome {
    ChildResult result;
    std::string plot;
    long peak_memory_kib = 0;
    bool times_kept = false;  // by the last overwrite, on a ramfs
};

PathsOutcome run_scenario(const FaultScenario& c, const char* paths) {
    TempDir directory;
    RamFileSystem ram(directory);
    for (const auto& [name, text] : c.files) {
        const std::string contents = text();
        std::ofstream file(directory.file(name), std::ios::binary);
        std::string chunk;
        for (std::size_t i = 0; i < c.repeat; i += chunk.size() / contents.size()) {
            chunk = repeated(std::min<std::size_t>(c.repeat - i, 1 << 16), contents);
            file << chunk;
        }
    }
    ChildOptions options;
    options.arguments = {SCRIPTED_EMODUL_BINARY, paths};
    options.working_directory = directory.path();
    options.environment = {{"EVIO_DISABLE_STACK_TRACE", "true"},
                           {"EMODUL_SCRIPT", c.script},
                           {"EMODUL_PEAK_FILE", directory.file("peak")},
                           {"EMODUL_SCRIPT_LOG", directory.file("log")}};
    options.limits = c.limits;
    PathsOutcome outcome{testsupport::run_child(options, "m.txt\n100\n100\n10\n"), ""};
    for (std::size_t at; (at = outcome.result.err.find(directory.path())) != std::string::npos;) {
        outcome.result.err.replace(at, directory.path().size(), "{dir}");
    }
    outcome.plot = directory.read_file("plot.dat");
    outcome.peak_memory_kib = std::atol(directory.read_file("peak").c_str());
    outcome.times_kept = ram.mounted() && directory.read_file("log").ends_with("kept\n");
    return outcome;
}

class FastAndPlainPaths : public ::testing::TestWithParam<FaultScenario> {};

TEST_P(FastAndPlainPaths, GiveTheSameBytes) {
    const FaultScenario& c = GetParam();
    const std::string emulation = testsupport::emulation();
    if (!c.limits.empty() && (under_a_sanitizer() || !emulation.empty())) {
        GTEST_SKIP() << "a sanitizer's shadow memory or the emulator (" << emulation
                     << ") needs the stack and address space the limits take";
    }
    PathsOutcome fast = run_scenario(c, "fast");
    for (int again = 0; c.same_tick && ::geteuid() == 0 && !fast.times_kept && again < 20;
         ++again) {
        fast = run_scenario(c, "fast");
    }
    const PathsOutcome plain = run_scenario(c, "plain");
    EXPECT_EQ(fast.result.out, plain.result.out);
    EXPECT_EQ(fast.result.err, plain.result.err);
    EXPECT_EQ(fast.result.exit_status, plain.result.exit_status);
    EXPECT_EQ(fast.result.signal, plain.result.signal);
    EXPECT_TRUE(fast.plot == plain.plot) << first_difference(fast.plot, plain.plot);
    EXPECT_EQ(plain.result.exit_status, c.status) << plain.result.err;
    if (c.result != nullptr) {
        EXPECT_EQ(plain.result.out, kAllPrompts + "\nE-unendlich = " + c.result + " MPa\n");
    }
    if (!under_a_sanitizer() && emulation.empty()) {  // neither counts the program alone
        const long budget_kib = static_cast<long>(32 * c.records / 1024 + 8192);
        EXPECT_LE(fast.peak_memory_kib, budget_kib);
        EXPECT_LE(plain.peak_memory_kib, budget_kib);
    }
}

INSTANTIATE_TEST_SUITE_P(Loading, FastAndPlainPaths, ::testing::ValuesIn(kFaultScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// A count no series can have is refused before memory is set aside for it. Run
// under the label `long`: the file has 1.5 GiB.
const FaultScenario kLongFaultScenarios[] = {
    {"more_records_than_a_series_can_have",
     {{"m.txt", [] { return std::string("1 2 3\n"); }}},
     "",
     179,
     nullptr,
     0,
     {},
     std::size_t{1} << 28},
};
INSTANTIATE_TEST_SUITE_P(DISABLED_LongLoading, FastAndPlainPaths,
                         ::testing::ValuesIn(kLongFaultScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

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

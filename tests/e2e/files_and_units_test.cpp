// Files and units: how names are resolved and opened, what a refused open, write
// or read reports, how plot.dat is replaced, and how much of the console input a
// run consumes. Real files, directories, links, sockets and devices.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "tests/support/child_process.hpp"
#include "tests/support/dialogue.hpp"

namespace {

using testsupport::ChildOptions;
using testsupport::ChildResult;
using testsupport::TempDir;

constexpr std::pair<uid_t, gid_t> kNobody{65534, 65534};

using testsupport::kAllPrompts;
using testsupport::kNamePrompt;
const std::string kSeries = "1 2 1\n2 4 2\n3 6 3\n4 8 4\n";

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

void make_socket_file(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

struct OpenCase {
    const char* name;
    std::function<void(const TempDir&)> prepare;
    std::string name_line;
    int status;
    std::string err;  // "{dir}" stands for the working directory
    bool as_nobody = false;
    std::string out = kNamePrompt;
    std::optional<std::string> home;  // HOME of the run, none when not given
};

void PrintTo(const OpenCase& c, std::ostream* os) {
    *os << c.name;
}

// Diagnostics here are compared without their traceback.
ChildOptions emodul_without_traceback(const TempDir& directory) {
    return testsupport::emodul_in(directory, {{"EVIO_DISABLE_STACK_TRACE", "true"}});
}

class OpeningTheMeasurementFile : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpeningTheMeasurementFile, ReportsTheCondition) {
    const OpenCase& c = GetParam();
    TempDir directory;
    c.prepare(directory);
    ChildOptions options = emodul_without_traceback(directory);
    if (c.as_nobody) {
        options.run_as = kNobody;
    }
    if (c.home) {
        options.environment.emplace_back("HOME", *c.home);
    }
    const ChildResult result = testsupport::run_child(options, c.name_line + "\n100\n100\n10\n");
    EXPECT_EQ(result.err, replace_all(c.err, "{dir}", directory.path()));
    EXPECT_EQ(result.exit_status, c.status);
    EXPECT_EQ(result.out.substr(0, c.out.size()), c.out);
}

const auto kNothing = [](const TempDir&) {};

const OpenCase kOpenCases[] = {
    {"directory", [](const TempDir& d) { ::mkdir(d.file("messdir").c_str(), 0777); }, "messdir", 30,
     "iodiag: Is a directory\niodiag: severe (30): open failure, unit 10, file {dir}/messdir\n"},
    {"blank_name", kNothing, "", 30,
     "iodiag: Is a directory\niodiag: severe (30): open failure, unit 10, file {dir}/\n"},
    {"missing_directory", kNothing, "nodir/x.txt", 29,
     "iodiag: No such file or directory\n"
     "iodiag: severe (29): file not found, unit 10, file {dir}/nodir/x.txt\n"},
    {"file_used_as_directory", [](const TempDir& d) { d.write_file("probe.txt", kSeries); },
     "probe.txt/x", 43,
     "iodiag: Not a directory\n"
     "iodiag: severe (43): file name specification error, unit 10, file {dir}/probe.txt/x\n"},
    // A component longer than the system allows is a bad name, not a failed open.
    {.name = "overlong_component_below_home",
     .prepare = kNothing,
     .name_line = "~/x",
     .status = 43,
     .err = "iodiag: File name too long\n"
            "iodiag: severe (43): file name specification error, unit 10, file /" +
            std::string(300, 'h') + "/x\n",
     .home = "/" + std::string(300, 'h')},
    {"symbolic_link_loop",
     [](const TempDir& d) { ASSERT_EQ(::symlink("loop", d.file("loop").c_str()), 0); }, "loop", 30,
     "iodiag: Too many levels of symbolic links\n"
     "iodiag: severe (30): open failure, unit 10, file {dir}/loop\n"},
    {"socket_file", [](const TempDir& d) { make_socket_file(d.file("sock")); }, "sock", 42,
     "iodiag: No such device or address\niodiag: severe (42): no such device, unit 10, file "
     "{dir}/sock\n"},
    {"unreadable_file",
     [](const TempDir& d) {
         d.write_file("probe.txt", kSeries);
         ::chmod(d.file("probe.txt").c_str(), 0);
     },
     "probe.txt", 9,
     "iodiag: Permission denied\n"
     "iodiag: severe (9): permission to access file denied, unit 10, file {dir}/probe.txt\n",
     true},
    {"missing_file_in_read_only_directory",
     [](const TempDir& d) { ::mkdir(d.file("ro").c_str(), 0555); }, "ro/new.txt", 9,
     "iodiag: Permission denied\n"
     "iodiag: severe (9): permission to access file denied, unit 10, file {dir}/ro/new.txt\n",
     true},
    {"read_only_measurement_file_is_read",
     [](const TempDir& d) {
         d.write_file("probe.txt", kSeries);
         ::chmod(d.file("probe.txt").c_str(), 0444);
     },
     "probe.txt", 0, "", true, kAllPrompts + "\nE-unendlich = "},
    {"name_with_leading_blanks_shown_resolved", kNothing, "  nodir/x.txt", 29,
     "iodiag: No such file or directory\n"
     "iodiag: severe (29): file not found, unit 10, file {dir}/nodir/x.txt\n"},
    // A zero byte inside the name would make the system open a shorter name
    // than the one shown: refused before any system call.
    {"zero_byte_inside_the_name", kNothing, std::string("pro\0be.txt", 10), 43,
     std::string(
         "iodiag: severe (43): file name specification error, unit 10, file {dir}/pro\0be.txt\n",
         83)},
    {"absolute_name", kNothing, "/nonexistent-dir/m", 29,
     "iodiag: No such file or directory\n"
     "iodiag: severe (29): file not found, unit 10, file /nonexistent-dir/m\n"},
};
INSTANTIATE_TEST_SUITE_P(Files, OpeningTheMeasurementFile, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileCreation, MissingNameIsCreatedEmptyWithTheCreationMask) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{027}}) {
        TempDir directory;
        ChildOptions options = emodul_without_traceback(directory);
        options.umask = mask;
        const ChildResult result = testsupport::run_child(options, "neu.txt\n100\n100\n10\n");
        EXPECT_EQ(result.exit_status, 0) << result.err;
        struct stat status {};
        ASSERT_EQ(::stat(directory.file("neu.txt").c_str(), &status), 0);
        EXPECT_EQ(status.st_size, 0);
        EXPECT_EQ(status.st_mode & 07777, 0666 & ~mask) << std::oct << mask;
        EXPECT_EQ(status.st_mode & 07777, ::stat(directory.file("plot.dat").c_str(), &status) == 0
                                              ? status.st_mode & 07777
                                              : 0);
    }
}

TEST(HomeDirectory, TildeNameOpensBelowHome) {
    TempDir directory;
    ::mkdir(directory.file("home").c_str(), 0777);
    directory.write_file("home/m.txt", kSeries);
    ChildOptions options = emodul_without_traceback(directory);
    options.environment.emplace_back("HOME", directory.file("home"));
    ChildResult result = testsupport::run_child(options, "~/m.txt\n100\n100\n10\n");
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 3);

    result = testsupport::run_child(options, "~/nodir/m.txt\n");
    EXPECT_EQ(result.err,
              "iodiag: No such file or directory\n"
              "iodiag: severe (29): file not found, unit 10, file " +
                  directory.file("home") + "/nodir/m.txt\n");
}

TEST(HomeDirectory, OverlongResolvedNameIsRefusedBeforeAnySystemCall) {
    TempDir directory;
    ChildOptions options = emodul_without_traceback(directory);
    options.environment.emplace_back("HOME", "/" + std::string(4100, 'h'));
    const ChildResult result = testsupport::run_child(options, "~/m.txt\n");
    EXPECT_EQ(result.err,
              "iodiag: severe (43): file name specification error, unit 10, file \"Unknown\"\n");
    EXPECT_EQ(result.exit_status, 43);
}

// plot.dat: replaced, cut, refused.
class PlotFile : public ::testing::Test {
protected:
    PlotFile() { directory.write_file("probe.txt", kSeries); }
    ChildResult run(bool as_nobody = false,
                    std::vector<std::pair<std::string, std::string>> env = {}) {
        ChildOptions options = emodul_without_traceback(directory);
        if (as_nobody) {
            options.run_as = kNobody;
        }
        options.environment.insert(options.environment.end(), env.begin(), env.end());
        return testsupport::run_child(options, "probe.txt\n100\n100\n10\n");
    }
    TempDir directory;
};

TEST_F(PlotFile, LongerOldFileIsCutToTheNewRows) {
    std::string old_contents;
    for (int i = 0; i < 100; ++i) {
        old_contents += "old row " + std::to_string(i) + " with some more text in it\n";
    }
    directory.write_file("plot.dat", old_contents);
    const ChildResult result = run();
    EXPECT_EQ(result.exit_status, 0) << result.err;
    const std::string plot = directory.read_file("plot.dat");
    EXPECT_EQ(plot.size(), 4u * 25u);
    EXPECT_EQ(std::count(plot.begin(), plot.end(), '\n'), 4);
}

TEST_F(PlotFile, BlockBufferingGivesTheSameFile) {
    ASSERT_EQ(run().exit_status, 0);
    const std::string unbuffered = directory.read_file("plot.dat");
    directory.write_file("plot.dat", std::string(5000, 'x'));
    const ChildResult result = run(false, {{"UNIO_BUFFERED", "yes"}});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(directory.read_file("plot.dat"), unbuffered);
}

TEST_F(PlotFile, ReadOnlyPlotFileFailsAtTheFirstWrite) {
    directory.write_file("plot.dat", "keep me\n");
    ::chmod(directory.file("plot.dat").c_str(), 0444);
    const ChildResult result = run(true);
    EXPECT_EQ(result.err, "iodiag: severe (47): write to READONLY file, unit 10, file " +
                              directory.file("plot.dat") + "\n");
    EXPECT_EQ(result.exit_status, 47);
    EXPECT_NE(result.out.find("\nE-unendlich = "), std::string::npos);
    EXPECT_EQ(directory.read_file("plot.dat"), "keep me\n");
}

TEST_F(PlotFile, FullDeviceFailsTheWrite) {
    ASSERT_EQ(::symlink("/dev/full", directory.file("plot.dat").c_str()), 0);
    const ChildResult result = run();
    EXPECT_EQ(result.err,
              "iodiag: No space left on device\n"
              "iodiag: severe (38): error during write, unit 10, file " +
                  directory.file("plot.dat") + "\n");
    EXPECT_EQ(result.exit_status, 38);
}

// The console units.
TEST(ConsoleInput, ASecondProgramFindsTheLinesNotUsed) {
    TempDir directory;
    directory.write_file("probe.txt", kSeries);
    const std::string answers = "probe.txt\n100 200\n100\n10\n";
    const std::string rest = "rest 1\nrest 2 without line feed";
    directory.write_file("input.txt", answers + rest);
    for (const bool from_file : {false, true}) {
        ChildOptions options = emodul_without_traceback(directory);
        options.arguments = {"/bin/sh", "-c", std::string(EMODUL_BINARY) + " >/dev/null; cat"};
        if (from_file) {
            options.stdin_kind = testsupport::StdinKind::file;
            options.stdin_file = directory.file("input.txt");
        }
        const ChildResult result = testsupport::run_child(options, from_file ? "" : answers + rest);
        EXPECT_EQ(result.out, rest) << (from_file ? "regular file" : "pipe");
    }
}

TEST(ConsoleInput, RedirectedByEnvironment) {
    TempDir directory;
    directory.write_file("probe.txt", kSeries);
    directory.write_file("answers.txt", "probe.txt\n100\n100\n10\n");
    ChildOptions options = emodul_without_traceback(directory);
    options.environment.emplace_back("EVIO_READ", "answers.txt");
    ChildResult result = testsupport::run_child(options, "");
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, kAllPrompts.size()), kAllPrompts);

    options.environment.back().second = "missing.txt";
    result = testsupport::run_child(options, "probe.txt\n");
    EXPECT_EQ(result.err,
              "iodiag: No such file or directory\n"
              "iodiag: severe (29): file not found, unit -4, file " +
                  directory.file("missing.txt") + "\n");
    EXPECT_EQ(result.exit_status, 29);
    EXPECT_EQ(result.out, kNamePrompt);
}

TEST(ConsoleOutput, RedirectedByEnvironment) {
    TempDir directory;
    directory.write_file("probe.txt", kSeries);
    directory.write_file("out.txt", std::string(500, 'x'));
    ChildOptions options = emodul_without_traceback(directory);
    options.environment.emplace_back("EVIO_PRINT", "out.txt");
    const ChildResult result = testsupport::run_child(options, "probe.txt\n100\n100\n10\n");
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string written = directory.read_file("out.txt");
    EXPECT_EQ(written.substr(0, kAllPrompts.size()), kAllPrompts);
    EXPECT_EQ(written.size(), kAllPrompts.size() + 32);
}

TEST(ConsoleInput, RefusedReadIsReported) {
    TempDir directory;
    ::mkdir(directory.file("stdin-dir").c_str(), 0777);
    ChildOptions options = emodul_without_traceback(directory);
    options.stdin_kind = testsupport::StdinKind::file;
    options.stdin_file = directory.file("stdin-dir");
    const ChildResult result = testsupport::run_child(options);
    EXPECT_EQ(
        result.err,
        "iodiag: Is a directory\niodiag: severe (39): error during read, unit -4, file stdin\n");
    EXPECT_EQ(result.exit_status, 39);
    EXPECT_EQ(result.out, kNamePrompt);
}

TEST(ConsoleInput, EndOfInputOnATerminalNamesTheDevice) {
    TempDir directory;
    ChildOptions options = emodul_without_traceback(directory);
    options.stdin_kind = testsupport::StdinKind::terminal;
    testsupport::Child child(options);
    ASSERT_TRUE(child.wait_for_output(kNamePrompt));
    child.close_stdin();
    const ChildResult result = child.finish();
    EXPECT_EQ(result.err, "iodiag: severe (24): end-of-file during read, unit -4, file " +
                              child.terminal_path() + "\n");
    EXPECT_EQ(result.exit_status, 24);
}

TEST(RecordLengthControl, InvalidValueRefusesTheFirstConnection) {
    TempDir directory;
    directory.write_file("probe.txt", kSeries);
    for (const char* value : {"abc", "-5", "", "12x", " 12"}) {
        ChildOptions options = emodul_without_traceback(directory);
        options.environment.emplace_back("UNIO_FMT_RECL", value);
        const ChildResult result = testsupport::run_child(options, "probe.txt\n100\n100\n10\n");
        EXPECT_EQ(result.err,
                  "iodiag: severe (99): UNIO_FMT_RECL environment variable has erroneous syntax\n")
            << value;
        EXPECT_EQ(result.exit_status, 99) << value;
        EXPECT_EQ(result.out, "") << value;
    }
    ChildOptions options = emodul_without_traceback(directory);
    options.environment.emplace_back("UNIO_FMT_RECL", "132");
    EXPECT_EQ(testsupport::run_child(options, "probe.txt\n100\n100\n10\n").exit_status, 0);
}

}  // namespace

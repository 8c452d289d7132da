#pragma once
// Runs a real program as a child process with given standard input, environment,
// working directory and user, and collects its standard output, standard error and
// how it ended. Used by every end-to-end test.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

enum class StdinKind {
    pipe,      // the bytes written by the test; closed when the test says so
    file,      // a regular file, `stdin_file`
    terminal,  // the slave side of a pseudo-terminal
};

struct ChildOptions {
    std::vector<std::string> arguments;  // the program's path first
    StdinKind stdin_kind = StdinKind::pipe;
    std::string stdin_file;
    // The whole environment of the child (nothing is inherited, except the
    // sanitizer options of a sanitizer build).
    std::vector<std::pair<std::string, std::string>> environment;
    std::string working_directory;
    // Run as this user and group (for example nobody, 65534) instead of the
    // test's own when the test runs as root, so that permission checks apply; an
    // ordinary user's child keeps the test's user, which meets them already.
    std::optional<std::pair<uid_t, gid_t>> run_as;
    // The child's file-creation mask; inherited from the test when not given.
    std::optional<mode_t> umask;
    // Resource limits (RLIMIT_AS, RLIMIT_FSIZE, ...) set in the child before exec.
    std::vector<std::pair<int, rlim_t>> limits;
    // Signals the child starts with ignored (an ignored disposition survives exec).
    std::vector<int> ignored_signals;
};

// The command that the end-to-end tests put in front of the program under test,
// from EMODUL_TEST_WRAPPER (for example a valgrind command line); empty when unset.
std::vector<std::string> test_wrapper();

// How the tests run when a user-mode emulator (qemu-user) runs them and their
// children for a processor that the kernel is not built for, as "aarch64 on
// x86_64"; empty on a real processor. The few cases that the emulator itself
// prevents (an address-space limit it needs room beyond, a traced child) are
// skipped there with this text in the reason.
std::string emulation();

// `text` (a child's standard error) without the line an emulator adds at its end
// when the child ends by a signal with a core image; unchanged on a real
// processor. The results of the children below have it removed already.
std::string without_emulator_line(std::string text);

struct ChildResult {
    std::string out;
    std::string err;
    int exit_status = -1;  // when it exited
    int signal = 0;        // when a signal ended it
    bool timed_out = false;
};

using Timeout = std::chrono::milliseconds;
inline constexpr Timeout kDefaultTimeout{20000};

// A started child whose standard input the test controls step by step.
class Child {
public:
    explicit Child(const ChildOptions& options);
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();

    pid_t pid() const { return pid_; }
    // The device path of the child's terminal (StdinKind::terminal only).
    const std::string& terminal_path() const { return terminal_path_; }

    void write_stdin(std::string_view bytes);
    // Ends the input: closes the pipe, or types the end-of-file character on the
    // terminal.
    void close_stdin();
    // Waits until standard output holds `text`; false when the child ended or the
    // time ran out first.
    bool wait_for_output(std::string_view text, Timeout timeout = kDefaultTimeout);
    void send_signal(int signal_number);
    // Waits for the end of the child and returns everything it wrote.
    ChildResult finish(Timeout timeout = kDefaultTimeout);

private:
    // Moves whatever the child has written into the result; waits at most `wait`.
    void collect(Timeout wait);

    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    int stderr_fd_ = -1;
    int terminal_master_fd_ = -1;
    std::string terminal_path_;
    ChildResult result_;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

class TempDir;

// The options for running the program under test in `directory` with exactly the
// given environment.
ChildOptions emodul_in(const TempDir& directory, Environment environment = {});

// Starts the child, writes `input` to its standard input (pipe or terminal), ends
// the input and waits for the end.
ChildResult run_child(const ChildOptions& options, std::string_view input = {},
                      Timeout timeout = kDefaultTimeout);

// A fresh directory below /tmp, removed with everything in it at the end of its
// scope. It is open to every user, so that a child run as nobody can work in it.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    void write_file(std::string_view name, std::string_view contents) const;
    std::string read_file(std::string_view name) const;

private:
    std::string path_;
};

}  // namespace testsupport

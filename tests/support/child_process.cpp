#include "tests/support/child_process.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

void close_fd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::vector<std::string> environment_entries(const ChildOptions& options) {
    std::vector<std::string> entries;
    for (const auto& [name, value] : options.environment) {
        entries.push_back(name + "=" + value);
    }
    // QEMU_LD_PREFIX: where an emulated child finds its target's libraries.
    for (const char* inherited :
         {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "QEMU_LD_PREFIX"}) {
        if (const char* value = std::getenv(inherited)) {
            entries.push_back(std::string(inherited) + "=" + value);
        }
    }
    return entries;
}

// A child that drops to another user may not reach a program in a private folder
// (a checkout in root's home, mode 0700): it runs a copy in a folder every user
// can reach, made once per test process and removed at its end.
std::string program_for(const ChildOptions& options) {
    const std::string& program = options.arguments.at(0);
    if (!options.run_as || ::geteuid() != 0) {
        return program;
    }
    static const TempDir folder;
    static std::map<std::string, std::string> copies;
    const auto [copy, fresh] = copies.try_emplace(
        program, folder.file(std::filesystem::path(program).filename().string()));
    if (fresh) {
        std::filesystem::copy_file(program, copy->second);
        if (::chmod(folder.path().c_str(), 0755) != 0 || ::chmod(copy->second.c_str(), 0755) != 0) {
            fail("chmod");
        }
    }
    return copy->second;
}

// In the child, after fork: never returns.
[[noreturn]] void exec_child(const ChildOptions& options, const std::string& program, int stdin_fd,
                             int stdout_fd, int stderr_fd, const char* terminal_path) {
    if (terminal_path != nullptr) {
        ::setsid();
        stdin_fd = ::open(terminal_path, O_RDWR);
        if (stdin_fd < 0) {
            ::_exit(126);
        }
        ::ioctl(stdin_fd, TIOCSCTTY, 0);
    }
    ::dup2(stdin_fd, 0);
    ::dup2(stdout_fd, 1);
    ::dup2(stderr_fd, 2);
    for (int fd = 3; fd < 1024; ++fd) {
        ::close(fd);
    }
    // No core files from the tests that end a child by an abort signal.
    const rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    // Signal dispositions and the mask are inherited through exec; start clean.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s : {SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGABRT}) {
        ::signal(s, SIG_DFL);
    }
    if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0) {
        ::_exit(126);
    }
    if (options.umask) {
        ::umask(*options.umask);
    }
    for (const auto& [resource, value] : options.limits) {
        const rlimit limit{value, value};
        ::setrlimit(resource, &limit);
    }
    for (const int ignored : options.ignored_signals) {
        ::signal(ignored, SIG_IGN);
    }
    // Only root can switch users, and only root needs to: an ordinary user's child
    // meets the permission checks as it is.
    if (options.run_as && ::geteuid() == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(options.run_as->second) != 0 ||
            ::setuid(options.run_as->first) != 0) {
            ::_exit(126);
        }
    }
    std::vector<std::string> entries = environment_entries(options);
    std::vector<char*> environment;
    for (auto& entry : entries) {
        environment.push_back(entry.data());
    }
    environment.push_back(nullptr);
    std::vector<std::string> arguments = options.arguments;
    const bool wrapped = arguments[0] == EMODUL_BINARY || arguments[0] == QUADPROBE_BINARY;
    arguments[0] = program;
    if (wrapped) {
        std::vector<std::string> command = test_wrapper();
        command.insert(command.end(), arguments.begin(), arguments.end());
        arguments = std::move(command);
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    ::execve(argv[0], argv.data(), environment.data());
    ::_exit(127);
}

}  // namespace

std::vector<std::string> test_wrapper() {
    std::vector<std::string> words;
    if (const char* wrapper = std::getenv("EMODUL_TEST_WRAPPER")) {
        std::istringstream stream(wrapper);
        for (std::string word; stream >> word;) {
            words.push_back(word);
        }
    }
    return words;
}

std::string emulation() {
    utsname names{};
    std::ifstream kernel_arch("/proc/sys/kernel/arch");
    std::string kernel;
    if (::uname(&names) != 0 || !std::getline(kernel_arch, kernel) || kernel == names.machine) {
        return {};
    }
    return std::string(names.machine) + " on " + kernel;
}

std::string without_emulator_line(std::string text) {
    // "qemu: uncaught target signal 6 (Aborted) - core dumped", for one.
    const std::string_view emulator_line = "qemu: uncaught target signal ";
    const std::size_t line = text.rfind(emulator_line);
    if (line != std::string::npos && (line == 0 || text[line - 1] == '\n') &&
        text.find('\n', line) == text.size() - 1 && !emulation().empty()) {
        text.erase(line);
    }
    return text;
}

Child::Child(const ChildOptions& options) {
    // A child that ends before it takes its input makes the next write fail with
    // EPIPE, which write_stdin expects; the signal would end the test instead.
    ::signal(SIGPIPE, SIG_IGN);
    int in_pipe[2] = {-1, -1};
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
        fail("pipe");
    }
    int child_stdin = -1;
    std::string slave_path;
    switch (options.stdin_kind) {
        case StdinKind::pipe:
            if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
                fail("pipe");
            }
            child_stdin = in_pipe[0];
            stdin_fd_ = in_pipe[1];
            break;
        case StdinKind::file:
            child_stdin = ::open(options.stdin_file.c_str(), O_RDONLY | O_CLOEXEC);
            if (child_stdin < 0) {
                fail("open stdin file");
            }
            break;
        case StdinKind::terminal: {
            terminal_master_fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (terminal_master_fd_ < 0 || ::grantpt(terminal_master_fd_) != 0 ||
                ::unlockpt(terminal_master_fd_) != 0) {
                fail("posix_openpt");
            }
            terminal_path_ = ::ptsname(terminal_master_fd_);
            if (options.run_as && ::geteuid() == 0) {
                ::chown(terminal_path_.c_str(), options.run_as->first, options.run_as->second);
            }
            break;
        }
    }
    const std::string program = program_for(options);
    pid_ = ::fork();
    if (pid_ < 0) {
        fail("fork");
    }
    if (pid_ == 0) {
        exec_child(options, program, child_stdin, out_pipe[1], err_pipe[1],
                   terminal_path_.empty() ? nullptr : terminal_path_.c_str());
    }
    if (child_stdin >= 0) {
        ::close(child_stdin);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    stdout_fd_ = out_pipe[0];
    stderr_fd_ = err_pipe[0];
    if (stdin_fd_ >= 0) {
        ::fcntl(stdin_fd_, F_SETFL, O_NONBLOCK);
    }
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    close_fd(stdin_fd_);
    close_fd(stdout_fd_);
    close_fd(stderr_fd_);
    close_fd(terminal_master_fd_);
}

void Child::write_stdin(std::string_view bytes) {
    const int fd = terminal_master_fd_ >= 0 ? terminal_master_fd_ : stdin_fd_;
    if (fd < 0) {
        return;
    }
    const auto deadline = Clock::now() + kDefaultTimeout;
    while (!bytes.empty() && Clock::now() < deadline) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
        } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            collect(Timeout{5});  // let the child move on while its input is full
        } else {
            // EPIPE: the child has gone; what it did not take stays untaken and
            // how it ended is for finish() to report.
            return;
        }
    }
}

void Child::close_stdin() {
    if (terminal_master_fd_ >= 0) {
        write_stdin("\x04");
        return;
    }
    close_fd(stdin_fd_);
}

void Child::collect(Timeout wait) {
    pollfd fds[2] = {{stdout_fd_, POLLIN, 0}, {stderr_fd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(wait.count()));
    if (ready <= 0) {
        return;
    }
    char block[65536];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t got = ::read(fds[i].fd, block, sizeof block);
        if (got > 0) {
            (i == 0 ? result_.out : result_.err).append(block, static_cast<std::size_t>(got));
        } else {
            close_fd(i == 0 ? stdout_fd_ : stderr_fd_);
        }
    }
}

bool Child::wait_for_output(std::string_view text, Timeout timeout) {
    const auto deadline = Clock::now() + timeout;
    while (result_.out.find(text) == std::string::npos) {
        if (stdout_fd_ < 0 || Clock::now() >= deadline) {
            return false;
        }
        collect(Timeout{20});
    }
    return true;
}

void Child::send_signal(int signal_number) {
    ::kill(pid_, signal_number);
}

ChildResult Child::finish(Timeout timeout) {
    const auto deadline = Clock::now() + timeout;
    while ((stdout_fd_ >= 0 || stderr_fd_ >= 0) && Clock::now() < deadline) {
        // A pipe whose end is gone polls as invalid: skip it by polling the other.
        if (stdout_fd_ < 0 || stderr_fd_ < 0) {
            const int open_fd = stdout_fd_ >= 0 ? stdout_fd_ : stderr_fd_;
            pollfd fd{open_fd, POLLIN, 0};
            if (::poll(&fd, 1, 20) > 0) {
                char block[65536];
                const ssize_t got = ::read(open_fd, block, sizeof block);
                if (got > 0) {
                    (open_fd == stdout_fd_ ? result_.out : result_.err)
                        .append(block, static_cast<std::size_t>(got));
                } else {
                    close_fd(open_fd == stdout_fd_ ? stdout_fd_ : stderr_fd_);
                }
            }
            continue;
        }
        collect(Timeout{20});
    }
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
        ::usleep(2000);
    }
    if (done == 0) {
        result_.timed_out = true;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    if (WIFEXITED(status)) {
        result_.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result_.signal = WTERMSIG(status);
        result_.err = without_emulator_line(std::move(result_.err));
    }
    return result_;
}

ChildOptions emodul_in(const TempDir& directory, Environment environment) {
    ChildOptions options;
    options.arguments = {EMODUL_BINARY};
    options.working_directory = directory.path();
    options.environment = std::move(environment);
    return options;
}

ChildResult run_child(const ChildOptions& options, std::string_view input, Timeout timeout) {
    Child child(options);
    child.write_stdin(input);
    child.close_stdin();
    return child.finish(timeout);
}

TempDir::TempDir() {
    char pattern[] = "/tmp/emodul-test-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        fail("mkdtemp");
    }
    path_ = pattern;
    ::chmod(path_.c_str(), 0777);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::write_file(std::string_view name, std::string_view contents) const {
    std::ofstream stream(file(name), std::ios::binary | std::ios::trunc);
    stream.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string TempDir::read_file(std::string_view name) const {
    std::ifstream stream(file(name), std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

}  // namespace testsupport

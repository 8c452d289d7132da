// quadprobe read N: repeated free-form read requests of N items on standard
// input, by the console's rules, each with an end exit. A completed request prints
// one line: its N items separated by one blank, each as 32 hexadecimal digits, or
// "-" for an item the request left unchanged. At the end of the input the command
// exits with 0; a fatal condition writes the program's diagnostic and exits with
// its number.
//
// quadprobe read-cases: many independent inputs for the differential check of the
// reader, each in a process of its own. Standard input is a series of cases, each
// a line "N E LENGTH" (E is "e" for requests with an end exit, "n" without)
// followed by LENGTH bytes of input; for each, a child process serves requests of
// N items on that input as `read N` does, from a pipe for odd-numbered cases and
// from a regular file for even ones, and the command prints "STATUS LENGTH" and
// the LENGTH bytes that the child printed.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "failure/process_end.hpp"
#include "numeric/bit_pattern.hpp"
#include "reader/free_form_input.hpp"
#include "tools/quadprobe/commands.hpp"
#include "tools/quadprobe/probe_io.hpp"
#include "units/units.hpp"

namespace quadprobe {
namespace {

using numeric::QuadReal;

// A signalling NaN: the reader never produces one (its NaN is quiet), so an item
// that still holds it was left unchanged.
constexpr QuadReal kUnchanged = QuadReal::from_words(0x7FFF000000000000ULL, 0x5EADULL);

std::optional<std::size_t> size_of(std::string_view text) {
    std::size_t size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return size;
}

std::optional<std::size_t> item_count_of(std::string_view text) {
    const auto count = size_of(text);
    return count && *count >= 1 ? count : std::nullopt;
}

int serve_requests(std::size_t count, recio::EndExit end_exit) {
    recio::start_up(recio::run_down);
    std::vector<QuadReal> items(count);
    std::vector<QuadReal*> pointers;
    for (QuadReal& item : items) {
        pointers.push_back(&item);
    }
    OutputBatch output;
    recio::UnitConnection& input = recio::console_input();
    while (true) {
        std::fill(items.begin(), items.end(), kUnchanged);
        // Lines go out before the next request: it may end the process.
        output.flush();
        if (recio::read_values(input, pointers, end_exit) == recio::ReadOutcome::end_of_file) {
            break;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0) {
                output.append(" ");
            }
            if (items[i] == kUnchanged) {
                output.append("-");
            } else {
                output.append_pattern(items[i]);
            }
        }
        output.append("\n");
    }
    output.flush();
    return recio::normal_end();
}

bool read_exactly(int descriptor, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(descriptor, data, size);
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<std::string> case_header() {
    std::string line;
    char c = 0;
    while (read_exactly(0, &c, 1)) {
        if (c == '\n') {
            return line;
        }
        line.push_back(c);
    }
    return std::nullopt;
}

// The child's side of one case: standard input on the case's bytes, standard
// output on `output`, diagnostics discarded.
[[noreturn]] void run_case(const std::string& input, bool from_pipe, int output, std::size_t count,
                           recio::EndExit end_exit) {
    int source = -1;
    if (from_pipe) {
        int ends[2];
        if (::pipe(ends) != 0 ||
            ::write(ends[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
            std::_Exit(kUsageStatus);
        }
        ::close(ends[1]);
        source = ends[0];
    } else {
        source = ::memfd_create("case", 0);
        if (source < 0 ||
            ::write(source, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
            std::_Exit(kUsageStatus);
        }
        ::lseek(source, 0, SEEK_SET);
    }
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(source, 0);
    ::dup2(output, 1);
    ::dup2(null, 2);
    std::exit(serve_requests(count, end_exit));
}

}  // namespace

int run_read(std::span<char* const> arguments) {
    const auto count = arguments.size() == 1 ? item_count_of(arguments[0]) : std::nullopt;
    if (!count) {
        std::fputs("usage: quadprobe read N < values   (N >= 1)\n", stderr);
        return kUsageStatus;
    }
    return serve_requests(*count, recio::EndExit::present);
}

int run_read_cases(std::span<char* const> arguments) {
    if (!arguments.empty()) {
        std::fputs("usage: quadprobe read-cases < cases\n", stderr);
        return kUsageStatus;
    }
    const int output = ::memfd_create("case-output", 0);
    if (output < 0) {
        std::perror("quadprobe: memfd_create");
        return 1;
    }
    OutputBatch results;
    std::string input;
    std::string printed;
    for (std::size_t number = 0;; ++number) {
        const auto header = case_header();
        if (!header) {
            return 0;
        }
        const auto words = words_of(*header);
        const auto count = words.size() == 3 ? item_count_of(words[0]) : std::nullopt;
        const auto length = words.size() == 3 ? size_of(words[2]) : std::nullopt;
        if (!count || !length || (words[1] != "e" && words[1] != "n")) {
            std::fputs("quadprobe: malformed case header\n", stderr);
            return kUsageStatus;
        }
        input.resize(*length);
        if (!read_exactly(0, input.data(), input.size())) {
            std::fputs("quadprobe: a case ends early\n", stderr);
            return kUsageStatus;
        }
        const auto end_exit = words[1] == "e" ? recio::EndExit::present : recio::EndExit::absent;
        // A pipe holds the whole case only up to its capacity.
        const bool from_pipe = number % 2 == 1 && input.size() < 60000;
        if (::ftruncate(output, 0) != 0 || ::lseek(output, 0, SEEK_SET) != 0) {
            return 1;
        }
        results.flush();
        const pid_t child = ::fork();
        if (child == 0) {
            run_case(input, from_pipe, output, *count, end_exit);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child) {
            std::perror("quadprobe: fork");
            return 1;
        }
        const off_t size = ::lseek(output, 0, SEEK_END);
        printed.resize(static_cast<std::size_t>(size));
        if (::pread(output, printed.data(), printed.size(), 0) != size) {
            return 1;
        }
        const int shown = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        results.append(std::to_string(shown) + " " + std::to_string(printed.size()) + "\n");
        results.append(printed);
    }
}

}  // namespace quadprobe

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
//
// A case line "N E LENGTH ROWS COLUMNS BLOCK" reads its input as the loader
// does: unit 10 on a regular file read BLOCK bytes at a time, ROWS requests a
// call through read_rows (with a "p" behind ROWS, through read_plain_rows first
// as far as it goes). COLUMNS has one character per item: "k" for a column that
// keeps its values, "-" for one that keeps nothing, printed as ".". The rows of
// a call that ends the process are not printed.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
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

// One line: the items of a completed request; "." for a column that keeps nothing.
void append_items(OutputBatch& output, std::span<const QuadReal> items, std::string_view kept) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            output.append(" ");
        }
        if (kept[i] != 'k') {
            output.append(".");
        } else if (items[i] == kUnchanged) {
            output.append("-");
        } else {
            output.append_pattern(items[i]);
        }
    }
    output.append("\n");
}

int serve_requests(std::size_t count, recio::EndExit end_exit) {
    recio::start_up(recio::run_down);
    std::vector<QuadReal> items(count);
    std::vector<QuadReal*> pointers;
    for (QuadReal& item : items) {
        pointers.push_back(&item);
    }
    const std::string kept(count, 'k');
    OutputBatch output;
    recio::UnitConnection& input = recio::console_input();
    while (true) {
        std::fill(items.begin(), items.end(), kUnchanged);
        // Lines go out before the next request: it may end the process.
        output.flush();
        if (recio::read_values(input, pointers, end_exit) == recio::ReadOutcome::end_of_file) {
            break;
        }
        append_items(output, items, kept);
    }
    output.flush();
    return recio::normal_end();
}

// How a case is read as the loader reads: see the header comment.
struct RowShape {
    std::size_t rows = 0;  // 0: request by request on the console
    bool plain_first = false;
    std::string kept;
    std::size_t block = 0;
};

int serve_rows(const RowShape& shape, recio::EndExit end_exit, const std::string& name) {
    recio::start_up(recio::run_down);
    recio::set_read_block_sizes({shape.block, shape.block});
    const std::size_t width = shape.kept.size();
    std::vector<QuadReal> items(shape.rows * width);
    std::vector<recio::ItemColumn> columns;
    for (std::size_t j = 0; j < width; ++j) {
        columns.push_back({shape.kept[j] == 'k' ? &items[j] : nullptr, width});
    }
    OutputBatch output;
    recio::UnitConnection& file = recio::open_file_unit(name);
    bool plain = shape.plain_first;
    while (true) {
        std::fill(items.begin(), items.end(), kUnchanged);
        output.flush();
        const std::size_t done = plain ? recio::read_plain_rows(file, columns, shape.rows)
                                       : recio::read_rows(file, columns, shape.rows, end_exit);
        for (std::size_t r = 0; r < done; ++r) {
            append_items(output, std::span(items).subspan(r * width, width), shape.kept);
        }
        if (plain) {
            plain = done == shape.rows;
        } else if (done < shape.rows) {
            break;
        }
    }
    output.flush();
    return recio::normal_end();
}

// The three words behind "N E LENGTH" of a case line, or none: nothing when
// they are malformed.
std::optional<RowShape> row_shape_of(std::span<const std::string_view> words, std::size_t count) {
    RowShape shape;
    if (words.empty()) {
        return shape;
    }
    std::string_view rows = words[0];
    shape.plain_first = rows.ends_with('p');
    rows.remove_suffix(shape.plain_first ? 1 : 0);
    const auto row_count = item_count_of(rows);
    const auto block = item_count_of(words[2]);
    if (!row_count || !block || words[1].size() != count ||
        words[1].find_first_not_of("k-") != std::string_view::npos) {
        return std::nullopt;
    }
    shape.rows = *row_count;
    shape.kept = words[1];
    shape.block = *block;
    return shape;
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
                           recio::EndExit end_exit, const RowShape& shape) {
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
    ::dup2(output, 1);
    ::dup2(null, 2);
    if (shape.rows > 0) {
        std::exit(serve_rows(shape, end_exit, "/proc/self/fd/" + std::to_string(source)));
    }
    ::dup2(source, 0);
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
        const bool header_size = words.size() == 3 || words.size() == 6;
        const auto count = header_size ? item_count_of(words[0]) : std::nullopt;
        const auto length = header_size ? size_of(words[2]) : std::nullopt;
        const auto shape = count ? row_shape_of(std::span(words).subspan(3), *count) : std::nullopt;
        if (!count || !length || !shape || (words[1] != "e" && words[1] != "n")) {
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
        const bool from_pipe = number % 2 == 1 && input.size() < 60000 && shape->rows == 0;
        if (::ftruncate(output, 0) != 0 || ::lseek(output, 0, SEEK_SET) != 0) {
            return 1;
        }
        results.flush();
        const pid_t child = ::fork();
        if (child == 0) {
            run_case(input, from_pipe, output, *count, end_exit, *shape);
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

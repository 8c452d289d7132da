// Fuzz target: free-form read requests on arbitrary input.
//
// Input: byte 0 gives the number of schedule bytes that follow (1 to 8); each
// schedule byte describes one read request, used in turn: one to three items, with
// or without an end exit. The rest (at most 4096 bytes) is the input of the unit.
//
// The same requests run four times over the same bytes: on unit 10 (a memory
// file read in blocks), on the console input from a regular file (read in blocks,
// the position set back behind each record), on the console input from a pipe
// (read one byte at a time), and on unit 10 once more with every value taken by
// the full grammar, none by the fast path for plain numbers. Requests go on until
// one returns the end indication or the "process" ends with a condition.
//
// The requests of the first shape also run on unit 10 as rows read together
// (read_rows, as a loader makes them), a few rows per call, the first column kept
// or not, and must read as the same requests made one by one.
//
// Oracle:
//  - the reading rules: the model in fuzz/support/read_model decides, request by
//    request, which items receive which values and how the run ends;
//  - the fast path and the full grammar agree;
//  - no crash, hang, leak or sanitizer report;
//  - the three runs agree: the same items assigned with the same values, the
//    same end;
//  - a run ends at end of file only through a request with an end exit, and
//    otherwise with condition 24 (no end exit), 59 or 64, nothing else;
//  - each completed request takes at least one record, so there are no more of
//    them than records; on the console it consumes input exactly up to the end of
//    a record (both console forms stop at the same byte) and never further;
//  - every value assigned is one that some value text of the input converts to:
//    a number word, Inf, Infinity, NaN or a logical constant, never anything made
//    up (a quoted string, a repeat count left alone, a slash or a null never
//    assign).

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decimal/decimal_conversion.hpp"
#include "fuzz/support/in_process.hpp"
#include "fuzz/support/read_model.hpp"
#include "fuzz/support/report.hpp"
#include "numeric/bit_pattern.hpp"
#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"

namespace {

using numeric::QuadReal;

constexpr std::size_t kMaxInput = 4096;
constexpr int kMaxItems = 3;

// A signalling NaN, which the reader never produces: an item that still holds it
// was left unchanged.
constexpr QuadReal kUnchanged = QuadReal::from_words(0x7FFF000000000000ULL, 0x5EADULL);

struct Request {
    int items = 1;
    recio::EndExit end_exit = recio::EndExit::absent;
};

struct Completed {
    std::array<QuadReal, kMaxItems> items;
    std::size_t position = 0;  // console input consumed after the request
    bool operator==(const Completed&) const = default;
};

struct RunLog {
    std::vector<Completed> completed;
    std::optional<int> status;  // nothing: ended with the end indication
    bool last_had_end_exit = false;
};

enum class Source { file_unit, console_file, console_pipe };

const char* name_of(Source source) {
    switch (source) {
        case Source::file_unit:
            return "unit 10";
        case Source::console_file:
            return "console from a file";
        case Source::console_pipe:
            return "console from a pipe";
    }
    return "";
}

int memory_file() {
    const int descriptor = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    FUZZ_CHECK(descriptor >= 0, "memfd_create failed");
    return descriptor;
}

// The memory file holds `input` alone, read from its start.
void fill_memory_file(int descriptor, std::string_view input) {
    FUZZ_CHECK(::ftruncate(descriptor, 0) == 0 &&
                   ::pwrite(descriptor, input.data(), input.size(), 0) ==
                       static_cast<ssize_t>(input.size()) &&
                   ::lseek(descriptor, 0, SEEK_SET) == 0,
               "cannot fill the memory file");
}

enum class Grammar { with_fast_path, full };

RunLog run_requests(Source source, std::string_view input, const std::vector<Request>& schedule,
                    Grammar grammar = Grammar::with_fast_path) {
    static const int file_unit_memory = memory_file();
    static const int console_memory = memory_file();

    recio::UnitConnection connection;
    connection.file_name.assign("fuzz-input");
    int pipe_ends[2] = {-1, -1};
    if (source == Source::console_pipe) {
        FUZZ_CHECK(::pipe2(pipe_ends, O_CLOEXEC) == 0, "pipe2 failed");
        FUZZ_CHECK(
            ::write(pipe_ends[1], input.data(), input.size()) == static_cast<ssize_t>(input.size()),
            "the pipe took less than the input");
        ::close(pipe_ends[1]);
        connection.unit = recio::kConsoleInputUnit;
        connection.descriptor = pipe_ends[0];
        connection.seekable = false;
        connection.input.block_size = fuzzsupport::kSmallBlocks.console;
    } else {
        const int descriptor = source == Source::file_unit ? file_unit_memory : console_memory;
        fill_memory_file(descriptor, input);
        connection.unit = source == Source::file_unit ? recio::kFileUnit : recio::kConsoleInputUnit;
        connection.descriptor = descriptor;
        connection.seekable = true;
        connection.access =
            source == Source::file_unit ? recio::Access::read_write : recio::Access::read_only;
        connection.input.block_size = source == Source::file_unit
                                          ? fuzzsupport::kSmallBlocks.file
                                          : fuzzsupport::kSmallBlocks.console;
    }

    const auto consumed = [&]() -> std::size_t {
        if (source == Source::console_pipe) {
            int left = 0;
            FUZZ_CHECK(::ioctl(pipe_ends[0], FIONREAD, &left) == 0, "FIONREAD failed");
            return input.size() - static_cast<std::size_t>(left);
        }
        if (source == Source::console_file) {
            return static_cast<std::size_t>(::lseek(connection.descriptor, 0, SEEK_CUR));
        }
        return 0;
    };

    const auto records = static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n')) + 1;
    RunLog log;
    log.status = fuzzsupport::run_as_process([&] {
        for (std::size_t k = 0;; ++k) {
            const Request& request = schedule[k % schedule.size()];
            std::array<QuadReal, kMaxItems> items;
            items.fill(kUnchanged);
            std::array<QuadReal*, kMaxItems> pointers = {&items[0], &items[1], &items[2]};
            log.last_had_end_exit = request.end_exit == recio::EndExit::present;
            const std::span<QuadReal* const> list(pointers.data(),
                                                  static_cast<std::size_t>(request.items));
            const recio::ReadOutcome outcome =
                grammar == Grammar::full
                    ? recio::read_values_by_full_grammar(connection, list, request.end_exit)
                    : recio::read_values(connection, list, request.end_exit);
            if (outcome == recio::ReadOutcome::end_of_file) {
                FUZZ_CHECK(log.last_had_end_exit, "end indication without an end exit");
                return;
            }
            log.completed.push_back({items, consumed()});
            FUZZ_CHECK(log.completed.size() <= records,
                       std::string("more completed requests than records on ") + name_of(source));
        }
    });
    if (pipe_ends[0] >= 0) {
        ::close(pipe_ends[0]);
    }
    return log;
}

// The requests of one shape once more on unit 10, as read_rows makes them: `batch`
// rows per call, the first column kept or not.
// With `plain_first`, as the one-pass loader reads them: plain rows while there
// are any, then the rest by read_rows.
RunLog run_rows(std::string_view input, const Request& request, std::size_t batch, bool keep_first,
                bool plain_first) {
    static const int memory = memory_file();
    fill_memory_file(memory, input);
    recio::UnitConnection connection;
    connection.file_name.assign("fuzz-input");
    connection.unit = recio::kFileUnit;
    connection.descriptor = memory;
    connection.seekable = true;
    connection.input.block_size = fuzzsupport::kSmallBlocks.file;

    RunLog log;
    log.last_had_end_exit = request.end_exit == recio::EndExit::present;
    log.status = fuzzsupport::run_as_process([&] {
        while (true) {
            std::vector<std::array<QuadReal, kMaxItems>> rows(batch);
            for (auto& row : rows) {
                row.fill(kUnchanged);
            }
            std::array<recio::ItemColumn, kMaxItems> columns;
            for (std::size_t i = 0; i < columns.size(); ++i) {
                columns[i] = {&rows[0][i], kMaxItems};
            }
            if (!keep_first) {
                columns[0] = {nullptr, 0};
            }
            const auto shape = std::span(columns).first(static_cast<std::size_t>(request.items));
            const std::size_t done =
                plain_first ? recio::read_plain_rows(connection, shape, batch)
                            : recio::read_rows(connection, shape, batch, request.end_exit);
            for (std::size_t r = 0; r < done; ++r) {
                log.completed.push_back({rows[r], 0});
            }
            if (plain_first) {
                plain_first = done == batch;
                continue;
            }
            if (done < batch) {
                FUZZ_CHECK(log.last_had_end_exit, "end indication without an end exit");
                return;
            }
        }
    });
    return log;
}

bool is_logical_start(std::string_view token) {
    if (!token.empty() && token[0] == '.') {
        token.remove_prefix(1);
    }
    return !token.empty() && std::string_view("TtFf").find(token[0]) != std::string_view::npos;
}

// Every value that some word of the input converts to, words cut at every
// character that can end or split a value.
std::set<std::pair<std::uint64_t, std::uint64_t>> values_in(std::string_view input) {
    std::set<std::pair<std::uint64_t, std::uint64_t>> values;
    const auto add = [&](QuadReal v) { values.insert({v.high, v.low}); };
    std::size_t start = 0;
    for (std::size_t i = 0; i <= input.size(); ++i) {
        if (i < input.size() &&
            std::string_view(" \t\r\n,/()*'\"").find(input[i]) == std::string_view::npos) {
            continue;
        }
        const std::string_view token = input.substr(start, i - start);
        start = i + 1;
        if (token.empty()) {
            continue;
        }
        if (is_logical_start(token)) {
            const char letter = token[0] == '.' ? token[1] : token[0];
            add(letter == 'T' || letter == 't' ? numeric::kMinusOne : numeric::kPositiveZero);
        }
        const recio::ConvertedValue converted = recio::convert_numeric_value(token);
        if (converted.ok) {
            add(converted.value);
        }
    }
    return values;
}

std::string shown(QuadReal value) {
    const auto digits = numeric::to_bit_pattern(value);
    return std::string(digits.data(), digits.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::prepare_in_process_runs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t schedule_length = 1 + (data[0] & 7);
    if (size < 1 + schedule_length) {
        return 0;
    }
    std::vector<Request> schedule;
    for (std::size_t i = 0; i < schedule_length; ++i) {
        const std::uint8_t b = data[1 + i];
        schedule.push_back(
            {1 + (b & 3) % 3, (b & 4) != 0 ? recio::EndExit::present : recio::EndExit::absent});
    }
    const std::string_view input(reinterpret_cast<const char*>(data + 1 + schedule_length),
                                 std::min(size - 1 - schedule_length, kMaxInput));

    const RunLog on_file = run_requests(Source::file_unit, input, schedule);
    const RunLog on_console = run_requests(Source::console_file, input, schedule);
    const RunLog on_pipe = run_requests(Source::console_pipe, input, schedule);
    const RunLog by_full_grammar = run_requests(Source::file_unit, input, schedule, Grammar::full);

    // The fast path and the full grammar.
    FUZZ_CHECK(by_full_grammar.status == on_file.status &&
                   by_full_grammar.completed.size() == on_file.completed.size(),
               "the fast path and the full grammar end differently");
    for (std::size_t k = 0; k < on_file.completed.size(); ++k) {
        FUZZ_CHECK(by_full_grammar.completed[k].items == on_file.completed[k].items,
                   "the fast path and the full grammar assign differently in request " +
                       std::to_string(k));
    }

    // Rows of one shape read together, as a loader reads them.
    const std::vector<Request> one_shape = {schedule[0]};
    const bool keep_first = (data[1] & 8) != 0;
    const RunLog request_by_request = run_requests(Source::file_unit, input, one_shape);
    const std::size_t batch = 1 + (data[1] >> 4) % 5;
    const RunLog by_rows = run_rows(input, schedule[0], batch, keep_first, (data[0] & 8) != 0);
    // A run that ends with a condition inside a call leaves the rows that call
    // completed unseen.
    const std::size_t unseen = by_rows.status ? batch - 1 : 0;
    FUZZ_CHECK(by_rows.status == request_by_request.status &&
                   by_rows.completed.size() <= request_by_request.completed.size() &&
                   by_rows.completed.size() + unseen >= request_by_request.completed.size(),
               "rows read together end differently from the same requests one by one");
    for (std::size_t k = 0; k < by_rows.completed.size(); ++k) {
        for (int i = keep_first ? 0 : 1; i < schedule[0].items; ++i) {
            FUZZ_CHECK(by_rows.completed[k].items[static_cast<std::size_t>(i)] ==
                           request_by_request.completed[k].items[static_cast<std::size_t>(i)],
                       "row " + std::to_string(k) + " assigns differently from its request");
        }
    }

    // The reading rules.
    std::vector<fuzzsupport::ModelRequest> model_schedule;
    for (const Request& request : schedule) {
        model_schedule.push_back({request.items, request.end_exit == recio::EndExit::present});
    }
    const fuzzsupport::ModelRun model = fuzzsupport::model_read_requests(input, model_schedule);
    FUZZ_CHECK(model.status == on_file.status,
               "the run ends with " + std::to_string(on_file.status.value_or(0)) +
                   ", the rules say " + std::to_string(model.status.value_or(0)));
    FUZZ_CHECK(model.completed.size() == on_file.completed.size(),
               "the reader completes " + std::to_string(on_file.completed.size()) +
                   " requests, the rules say " + std::to_string(model.completed.size()));
    for (std::size_t k = 0; k < on_file.completed.size(); ++k) {
        const auto& expected = model.completed[k];
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const QuadReal got = on_file.completed[k].items[i];
            FUZZ_CHECK(expected[i] ? got == *expected[i] : got == kUnchanged,
                       "request " + std::to_string(k) + ", item " + std::to_string(i) + ": " +
                           (got == kUnchanged ? std::string("unchanged") : shown(got)) +
                           ", the rules say " +
                           (expected[i] ? shown(*expected[i]) : std::string("unchanged")));
        }
    }

    // How the runs end.
    if (on_file.status) {
        const int status = *on_file.status;
        const bool allowed =
            status == 59 || status == 64 || (status == 24 && !on_file.last_had_end_exit);
        FUZZ_CHECK(allowed, "the reader ended with condition " + std::to_string(status));
    }
    FUZZ_CHECK(on_console.status == on_file.status && on_pipe.status == on_file.status,
               "the runs end differently: " + std::to_string(on_file.status.value_or(0)) + ", " +
                   std::to_string(on_console.status.value_or(0)) + ", " +
                   std::to_string(on_pipe.status.value_or(0)));

    // What they assign.
    FUZZ_CHECK(on_console.completed.size() == on_file.completed.size() &&
                   on_pipe.completed.size() == on_file.completed.size(),
               "the runs complete different numbers of requests");
    std::size_t previous = 0;
    for (std::size_t k = 0; k < on_file.completed.size(); ++k) {
        FUZZ_CHECK(on_console.completed[k].items == on_file.completed[k].items &&
                       on_pipe.completed[k].items == on_file.completed[k].items,
                   "request " + std::to_string(k) + " assigns differently on the three sources");
        const std::size_t position = on_console.completed[k].position;
        FUZZ_CHECK(on_pipe.completed[k].position == position,
                   "the console forms consume up to different bytes after request " +
                       std::to_string(k) + ": " + std::to_string(position) + " and " +
                       std::to_string(on_pipe.completed[k].position));
        FUZZ_CHECK(position > previous || (k == 0 && position > 0),
                   "a completed request consumed nothing");
        FUZZ_CHECK(position == input.size() || input[position - 1] == '\n',
                   "console input consumed to the middle of a record");
        previous = position;
    }

    const auto values = values_in(input);
    for (const Completed& request : on_file.completed) {
        for (const QuadReal& item : request.items) {
            if (item != kUnchanged) {
                FUZZ_CHECK(values.count({item.high, item.low}) == 1,
                           "assigned " + shown(item) + ", which no value text of the input gives");
            }
        }
    }
    return 0;
}

// Fuzz target: the whole run, in process, on an arbitrary measurement file and
// arbitrary console input.
//
// Input: byte 0 chooses the file-name answer (bits 0-2) and whether unit 10 block
// buffers its records (bit 3); byte 1 is the length of the console text after the
// name line (the answers to the three geometry prompts and whatever follows); the
// bytes after the console text are the measurement file (at most 8 KiB).
//
// The run happens in a private temporary directory, with console input and
// output on files there (EVIO_READ, EVIO_PRINT). The end of the process is caught
// (fuzz/support/process_exit.cpp).
//
// Oracle:
//  - the run ends normally or with a numbered condition that a run can meet on
//    such input, and a name that cannot be opened ends it with its own condition;
//  - the console output is the dialogue's exact bytes, cut short where the run
//    ended, with a 12-byte field in the result line;
//  - after a normal end plot.dat holds the origin row and min(n/2 + 1, n) data
//    rows of 24 bytes and a line feed each, n being the number of records that the
//    counting pass finds; after a condition it has not been written;
//  - the measurement file is never changed, and a missing one is created empty.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "evaluation/run_sequence.hpp"
#include "fuzz/support/in_process.hpp"
#include "fuzz/support/report.hpp"
#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"
#include "units/units.hpp"

namespace {

constexpr std::size_t kMaxMeasurementFile = 8192;

std::string directory;  // the private working directory, absolute

std::string path_of(const char* name) {
    return directory + "/" + name;
}

void write_file(const std::string& path, std::string_view bytes) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(descriptor >= 0, "cannot write " + path);
    FUZZ_CHECK(
        ::write(descriptor, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()),
        "short write to " + path);
    ::close(descriptor);
}

std::optional<std::string> read_file(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::string bytes;
    char block[4096];
    ssize_t got;
    while ((got = ::read(descriptor, block, sizeof block)) > 0) {
        bytes.append(block, static_cast<std::size_t>(got));
    }
    ::close(descriptor);
    return bytes;
}

void remove_run_files() {
    for (const char* name : {"m.txt", "new.txt", "plot.dat", "console.in", "console.out"}) {
        ::unlink(path_of(name).c_str());
    }
}

// The file-name answers the first byte chooses from, and what opening them gives.
struct NameChoice {
    const char* line;
    const char* file;          // the file it names, in the directory, or nullptr
    std::optional<int> fails;  // the condition that opening it ends the run with
};

const NameChoice kNames[] = {
    {"m.txt", "m.txt", std::nullopt},
    {"m.txt", "m.txt", std::nullopt},
    {"m.txt", "m.txt", std::nullopt},
    {"new.txt", "new.txt", std::nullopt},  // missing: created empty
    {"", nullptr, 30},                     // blank: the directory itself
    {"plot.dat", "plot.dat", std::nullopt},
    {"m.txt               beyond the field", "m.txt", std::nullopt},
    {"nodir/m.txt", nullptr, 29},
};

// The number of records the counting pass finds: one-item requests with an end
// exit until the end indication; nothing when that pass itself ends the run.
std::optional<std::int64_t> counted_records(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FUZZ_CHECK(descriptor >= 0, "cannot reopen the measurement file");
    recio::UnitConnection connection;
    connection.unit = recio::kFileUnit;
    connection.descriptor = descriptor;
    connection.seekable = true;
    connection.input.block_size = fuzzsupport::kSmallBlocks.file;
    std::int64_t count = 0;
    const auto status = fuzzsupport::run_as_process([&] {
        numeric::QuadReal x = numeric::kPositiveZero;
        numeric::QuadReal* const items[] = {&x};
        while (recio::read_values(connection, items, recio::EndExit::present) ==
               recio::ReadOutcome::completed) {
            ++count;
        }
    });
    ::close(descriptor);
    if (status) {
        return std::nullopt;
    }
    return count;
}

const std::string kDialogue =
    "\nMesswertedatei = Abstand a = Abstand b = Durchmesser d0  = \nE-unendlich = ";

bool is_field_byte(char c) {
    return c == ' ' || (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'E' ||
           std::string_view("NaInfity").find(c) != std::string_view::npos;
}

bool is_field(std::string_view field) {
    return field.size() == 12 && std::all_of(field.begin(), field.end(), is_field_byte);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::prepare_in_process_runs();
    // In memory where the system offers it: the run is mostly file operations.
    char name[] = "/dev/shm/emodul-fuzz-XXXXXX";
    char fallback[] = "/tmp/emodul-fuzz-XXXXXX";
    if (::mkdtemp(name) == nullptr) {
        FUZZ_CHECK(::mkdtemp(fallback) != nullptr, "mkdtemp failed");
        std::memcpy(name, fallback, sizeof fallback);
    }
    directory = name;
    FUZZ_CHECK(::chdir(name) == 0, "chdir failed");
    ::setenv("EVIO_READ", path_of("console.in").c_str(), 1);
    ::setenv("EVIO_PRINT", path_of("console.out").c_str(), 1);
    ::setenv("HOME", directory.c_str(), 1);
    std::atexit([] {
        remove_run_files();
        ::rmdir(directory.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const NameChoice& name = kNames[data[0] & 7];
    const bool buffered = (data[0] & 8) != 0;
    const std::size_t console_length = std::min<std::size_t>(data[1], size - 2);
    const std::string_view console(reinterpret_cast<const char*>(data + 2), console_length);
    const std::string_view measurements(reinterpret_cast<const char*>(data + 2 + console_length),
                                        std::min(size - 2 - console_length, kMaxMeasurementFile));

    remove_run_files();
    const bool measurement_file_written =
        name.file != nullptr && std::string(name.file) != "new.txt";
    if (measurement_file_written) {
        write_file(path_of(name.file), measurements);
    }
    write_file(path_of("console.in"), std::string(name.line) + "\n" + std::string(console));
    ::setenv("UNIO_BUFFERED", buffered ? "yes" : "no", 1);

    std::optional<int> returned;
    const std::optional<int> status =
        fuzzsupport::run_as_process([&] { returned = evaluation::run_evaluation(); });

    const std::string out = read_file(path_of("console.out")).value_or("");
    const std::optional<std::string> plot = read_file(path_of("plot.dat"));
    const bool plot_is_input = name.file != nullptr && std::string(name.file) == "plot.dat";

    if (name.fails) {
        FUZZ_CHECK(status == name.fails, "a name that cannot be opened ended the run with " +
                                             std::to_string(status.value_or(0)));
    }
    if (name.file != nullptr && !plot_is_input) {
        const auto left = read_file(path_of(name.file));
        FUZZ_CHECK(left == (measurement_file_written ? std::string(measurements) : std::string()),
                   "the measurement file was changed or not created");
    }

    if (status) {
        const int s = *status;
        FUZZ_CHECK(s == 24 || s == 29 || s == 30 || s == 59 || s == 64,
                   "the run ended with condition " + std::to_string(s));
        FUZZ_CHECK(out.size() < kDialogue.size() + 17 && kDialogue.starts_with(out),
                   "the console output of a run that ended early: " + out);
        FUZZ_CHECK(plot_is_input || !plot, "plot.dat written by a run that ended early");
        return 0;
    }

    FUZZ_CHECK(returned == 0, "a normal end that does not yield 0");
    FUZZ_CHECK(out.size() == kDialogue.size() + 17 && out.starts_with(kDialogue) &&
                   is_field(std::string_view(out).substr(kDialogue.size(), 12)) &&
                   out.ends_with(" MPa\n"),
               "the console output of a normal run: " + out);

    FUZZ_CHECK(plot.has_value(), "no plot.dat after a normal end");
    // plot.dat as the measurement file was read before it was rewritten.
    const std::string counted_path = plot_is_input ? std::string() : path_of(name.file);
    std::optional<std::int64_t> n;
    if (plot_is_input) {
        const std::string copy = path_of("new.txt");
        write_file(copy, measurements);
        n = counted_records(copy);
    } else {
        n = counted_records(counted_path);
    }
    FUZZ_CHECK(n.has_value(), "the counting pass fails where the run did not");
    const std::int64_t rows = std::min(*n / 2 + 1, *n) + 1;
    FUZZ_CHECK(
        plot->size() == static_cast<std::size_t>(rows) * 25,
        "plot.dat has " + std::to_string(plot->size()) + " bytes for n = " + std::to_string(*n));
    FUZZ_CHECK(plot->starts_with("  0.0000      0.0000    \n"), "the origin row of plot.dat");
    for (std::int64_t row = 0; row < rows; ++row) {
        const std::string_view line =
            std::string_view(*plot).substr(static_cast<std::size_t>(row) * 25, 25);
        FUZZ_CHECK(
            is_field(line.substr(0, 12)) && is_field(line.substr(12, 12)) && line[24] == '\n',
            "a row of plot.dat: " + std::string(line));
    }
    return 0;
}

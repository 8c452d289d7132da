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
//  - after a normal end the result field is E and plot.dat holds the origin row
//    and, for the first min(n/2 + 1, n) records, the displacement and (K x E) x
//    displacement, n being the number of records that the counting pass finds,
//    each value in the 12-byte field; K, the sums and E recomputed here with the
//    compiler's binary128 operators, in the evaluation's fixed order, from the
//    values the reader gives for the records and the three answers; after a
//    condition plot.dat has not been written;
//  - the measurement file is never changed, and a missing one is created empty.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decimal/general_field.hpp"
#include "edited/edit_format.hpp"
#include "evaluation/modulus.hpp"
#include "evaluation/run_sequence.hpp"
#include "fuzz/support/in_process.hpp"
#include "fuzz/support/report.hpp"
#include "numeric/binary128.hpp"
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

// Reads `path` as the run does, with `body` issuing the requests on a connection
// of its own; false when a request ends the "process".
template <typename Body>
bool read_as_the_run(const std::string& path, Body&& body) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FUZZ_CHECK(descriptor >= 0, "cannot reopen " + path);
    recio::UnitConnection connection;
    connection.unit = recio::kFileUnit;
    connection.descriptor = descriptor;
    connection.seekable = true;
    connection.input.block_size = fuzzsupport::kSmallBlocks.file;
    const auto status = fuzzsupport::run_as_process([&] { body(connection); });
    ::close(descriptor);
    return !status.has_value();
}

// The number of records the counting pass finds: one-item requests with an end
// exit until the end indication; nothing when that pass itself ends the run.
std::optional<std::int64_t> counted_records(const std::string& path) {
    std::int64_t count = 0;
    const bool counted = read_as_the_run(path, [&](recio::UnitConnection& file) {
        numeric::QuadReal x = numeric::kPositiveZero;
        numeric::QuadReal* const items[] = {&x};
        while (recio::read_values(file, items, recio::EndExit::present) ==
               recio::ReadOutcome::completed) {
            ++count;
        }
    });
    return counted ? std::optional(count) : std::nullopt;
}

// The evaluation's arithmetic once more, on the compiler's own binary128 type with
// its plain operators, one rounded operation per step in the evaluation's order.
using numeric::Binary128;

Binary128 hardware(numeric::QuadReal x) {
    return numeric::to_binary128(x);
}

std::string field(Binary128 value) {
    char text[12];
    recio::format_general_field_exactly(numeric::from_binary128(value), 12, 5, text);
    return std::string(text, sizeof text);
}

struct Expected {
    Binary128 k;
    Binary128 e;
    std::string result_field;
    std::string plot;
};

// Bit for bit, but any NaN for a NaN: which NaN an operation gives is the
// arithmetic's own rule, checked where that arithmetic is tested.
bool same(numeric::QuadReal computed, Binary128 expected) {
    return computed == numeric::from_binary128(expected) ||
           (expected != expected && hardware(computed) != hardware(computed));
}

Expected expected_outputs(const numeric::QuadReal (&geometry)[3],
                          const std::vector<numeric::QuadReal>& kraft,
                          const std::vector<numeric::QuadReal>& weg) {
    const Binary128 a = hardware(geometry[0]);
    const Binary128 b = hardware(geometry[1]);
    const Binary128 d0 = hardware(geometry[2]);
    // 9.42 as the binary128 value nearest to it: one correctly rounded quotient of
    // two exact integers.
    const Binary128 three_pi_approximation = Binary128(942) / Binary128(100);
    const Binary128 square = d0 * d0;
    const Binary128 p = square * square;
    const Binary128 s = a + b;
    const Binary128 t1 = three_pi_approximation * s;
    const Binary128 t2 = t1 * p;
    const Binary128 u1 = Binary128(64) * a;
    const Binary128 u2 = u1 * a;
    const Binary128 u3 = u2 * b;
    const Binary128 u4 = u3 * b;
    const Binary128 k = t2 / u4;
    Binary128 s_ww = 0;
    Binary128 s_fw = 0;
    for (std::size_t i = 0; i < weg.size(); ++i) {
        s_ww = s_ww + hardware(weg[i]) * hardware(weg[i]);
        s_fw = s_fw + hardware(kraft[i]) * hardware(weg[i]);
    }
    const Binary128 e = s_fw / (k * s_ww);
    const Binary128 slope = k * e;
    Expected expected{k, e, field(e), field(0) + field(0) + "\n"};
    for (std::size_t i = 0; i < std::min(weg.size() / 2 + 1, weg.size()); ++i) {
        expected.plot += field(hardware(weg[i])) + field(slope * hardware(weg[i])) + "\n";
    }
    return expected;
}

const std::string kDialogue =
    "\nMesswertedatei = Abstand a = Abstand b = Durchmesser d0  = \nE-unendlich = ";

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
    FUZZ_CHECK(plot.has_value(), "no plot.dat after a normal end");
    // plot.dat as the measurement file was read before it was rewritten.
    std::string series_path = path_of(name.file);
    if (plot_is_input) {
        series_path = path_of("new.txt");
        write_file(series_path, measurements);
    }
    const std::optional<std::int64_t> n = counted_records(series_path);
    FUZZ_CHECK(n.has_value(), "the counting pass fails where the run did not");
    std::vector<numeric::QuadReal> kraft(static_cast<std::size_t>(*n), numeric::kPositiveZero);
    std::vector<numeric::QuadReal> weg(kraft);
    FUZZ_CHECK(
        read_as_the_run(series_path,
                        [&](recio::UnitConnection& file) {
                            numeric::QuadReal ignored = numeric::kPositiveZero;
                            for (std::size_t i = 0; i < kraft.size(); ++i) {
                                numeric::QuadReal* const items[] = {&ignored, &kraft[i], &weg[i]};
                                recio::read_values(file, items, recio::EndExit::absent);
                            }
                        }),
        "the loading pass fails where the run did not");
    numeric::QuadReal geometry[3] = {numeric::kPositiveZero, numeric::kPositiveZero,
                                     numeric::kPositiveZero};
    FUZZ_CHECK(read_as_the_run(path_of("console.in"),
                               [&](recio::UnitConnection& console) {
                                   std::array<char, 20> name_field{};
                                   recio::read_text_field(console, name_field);
                                   for (numeric::QuadReal& value : geometry) {
                                       numeric::QuadReal* const items[] = {&value};
                                       recio::read_values(console, items, recio::EndExit::absent);
                                   }
                               }),
               "the answers cannot be read where the run read them");

    const Expected expected = expected_outputs(geometry, kraft, weg);
    const evaluation::ModulusResult computed =
        evaluation::evaluate_modulus(kraft, weg, {geometry[0], geometry[1], geometry[2]});
    FUZZ_CHECK(same(computed.stiffness_factor, expected.k) && same(computed.modulus, expected.e),
               "K or E differs from the plain binary128 evaluation");
    FUZZ_CHECK(
        out == kDialogue + expected.result_field + " MPa\n",
        "the console output of a normal run: " + out + "expected E: " + expected.result_field);
    FUZZ_CHECK(*plot == expected.plot, "plot.dat for n = " + std::to_string(*n) + ":\n" + *plot +
                                           "expected:\n" + expected.plot);
    return 0;
}

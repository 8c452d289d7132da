// Loading the measurement series: the program's two passes against a reference
// written the straightforward way (getline, splitting, strtoflt128 per field),
// measured in the same run; the reader alone over the same two passes, per value;
// and the peak memory of a whole run of the program.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "bench/support/measurement_files.hpp"
#include "bench/support/straightforward_loading.hpp"
#include "evaluation/measurement_loader.hpp"
#include "numeric/floating_environment.hpp"
#include "reader/free_form_input.hpp"
#include "units/units.hpp"

namespace {

constexpr std::size_t kRecords = 1'000'000;

void LoadingPassesAgainstReference(benchmark::State& state) {
    numeric::set_floating_environment();
    bench::ScratchDirectory directory;
    const std::string path = directory.file("series.txt");
    bench::write_measurement_file(path, kRecords);
    double ours = 0;
    double reference = 0;
    for (auto _ : state) {
        double start = bench::processor_seconds();
        const auto series = evaluation::load_measurements(path);
        ours += bench::processor_seconds() - start;
        benchmark::DoNotOptimize(series.n);

        start = bench::processor_seconds();
        const auto expected = bench::load_the_straightforward_way(path);
        reference += bench::processor_seconds() - start;
        benchmark::DoNotOptimize(expected.kraft.data());
        if (static_cast<std::size_t>(series.n) != expected.kraft.size()) {
            state.SkipWithError("the loaders disagree on the number of records");
        }
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = 1e3 * ours / runs;
    state.counters["reference_ms"] = 1e3 * reference / runs;
    state.counters["speedup"] = reference / ours;  // the target is at least 5
    state.counters["ns_per_record"] = 1e9 * ours / runs / static_cast<double>(kRecords);
}
BENCHMARK(LoadingPassesAgainstReference)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// The read requests of both passes, as the loader makes them, into arrays that
// exist already: the counting pass reads one value per record, the loading pass
// three, so the reader takes four values per record (the first of each record
// is read and checked, not kept). The reference converts the three fields of each
// record once. Each figure is the best of the runs, which on a shared machine is
// the one least disturbed.
void ReaderPerValueAgainstReference(benchmark::State& state) {
    numeric::set_floating_environment();
    bench::ScratchDirectory directory;
    const std::string path = directory.file("series.txt");
    bench::write_measurement_file(path, kRecords);
    std::vector<numeric::QuadReal> kraft(kRecords);
    std::vector<numeric::QuadReal> weg(kRecords);
    double ours = std::numeric_limits<double>::infinity();
    double reference = ours;
    for (auto _ : state) {
        double start = bench::processor_seconds();
        const recio::ItemColumn first[] = {{nullptr, 0}};
        const std::size_t counted =
            recio::read_rows(recio::open_file_unit(path), first, SIZE_MAX, recio::EndExit::present);
        recio::close_file_unit();
        recio::UnitConnection& unit = recio::open_file_unit(path);
        constexpr std::size_t kRowsPerCall = 4096;  // as the loader reads them
        for (std::size_t i = 0; i < counted; i += kRowsPerCall) {
            const recio::ItemColumn columns[] = {{nullptr, 0}, {&kraft[i], 1}, {&weg[i], 1}};
            recio::read_rows(unit, columns, std::min(kRowsPerCall, counted - i),
                             recio::EndExit::absent);
        }
        recio::close_file_unit();
        ours = std::min(ours, bench::processor_seconds() - start);
        benchmark::DoNotOptimize(weg.data());

        start = bench::processor_seconds();
        const auto expected = bench::load_the_straightforward_way(path);
        reference = std::min(reference, bench::processor_seconds() - start);
        benchmark::DoNotOptimize(expected.kraft.data());
        if (counted != kRecords || expected.kraft.size() != kRecords) {
            state.SkipWithError("a pass missed records");
        }
    }
    state.counters["ns_per_value"] = 1e9 * ours / (4.0 * kRecords);  // the target is at most 15
    state.counters["reference_ns_per_value"] = 1e9 * reference / (3.0 * kRecords);
    state.counters["reference_per_ours"] = (reference / 3.0) / (ours / 4.0);
}
BENCHMARK(ReaderPerValueAgainstReference)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// The whole program on a million records, as a child process: its peak resident
// memory against the budget of 32 bytes per record plus 8 MiB.
void PeakMemoryOfAWholeRun(benchmark::State& state) {
    bench::ScratchDirectory directory;
    bench::write_measurement_file(directory.file("series.txt"), kRecords);
    const std::string answers = directory.file("answers.txt");
    std::ofstream(answers) << "series.txt\n100\n100\n10\n";
    long peak_kib = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(directory.path().c_str()) != 0 ||
                !std::freopen(answers.c_str(), "r", stdin) ||
                !std::freopen("/dev/null", "w", stdout)) {
                ::_exit(127);
            }
            ::execl(EMODUL_BINARY, EMODUL_BINARY, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the run failed");
        }
        peak_kib = usage.ru_maxrss;
    }
    const double budget = 32.0 * kRecords + 8.0 * 1024 * 1024;
    state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024.0;
    state.counters["budget_MiB"] = budget / (1024.0 * 1024.0);
    state.counters["peak_per_budget"] =
        static_cast<double>(peak_kib) * 1024.0 / budget;  // at most 1
}
BENCHMARK(PeakMemoryOfAWholeRun)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

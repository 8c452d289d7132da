// Loading the measurement series: the program's two passes against a reference
// written the straightforward way (getline, splitting, strtoflt128 per field),
// measured in the same run; and the peak memory of a whole run of the program.

#include <benchmark/benchmark.h>
#include <quadmath.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/measurement_files.hpp"
#include "evaluation/measurement_loader.hpp"
#include "numeric/floating_environment.hpp"

namespace {

constexpr std::size_t kRecords = 1'000'000;

struct ReferenceSeries {
    std::vector<__float128> kraft;
    std::vector<__float128> weg;
};

ReferenceSeries load_the_straightforward_way(const std::string& path) {
    ReferenceSeries series;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string first;
        std::string force;
        std::string displacement;
        if (!(fields >> first >> force >> displacement)) {
            continue;
        }
        benchmark::DoNotOptimize(strtoflt128(first.c_str(), nullptr));
        series.kraft.push_back(strtoflt128(force.c_str(), nullptr));
        series.weg.push_back(strtoflt128(displacement.c_str(), nullptr));
    }
    return series;
}

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
        const auto expected = load_the_straightforward_way(path);
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

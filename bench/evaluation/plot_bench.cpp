// Writing plot.dat for a million-record series: the program's plot writer against
// a reference written the straightforward way (quadmath_snprintf per field,
// buffered stdio), measured in the same run.

#include <benchmark/benchmark.h>
#include <quadmath.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "bench/support/measurement_files.hpp"
#include "evaluation/plot_writer.hpp"
#include "numeric/floating_environment.hpp"

namespace {

using numeric::QuadReal;

constexpr std::size_t kRecords = 1'000'000;

std::vector<QuadReal> displacements() {
    std::vector<QuadReal> weg;
    weg.reserve(kRecords);
    for (std::size_t i = 1; i <= kRecords; ++i) {
        const __float128 value =
            static_cast<__float128>(i % 99991) / 40000 + static_cast<__float128>(0.0125);
        weg.push_back(std::bit_cast<QuadReal>(value));
    }
    return weg;
}

void write_the_straightforward_way(const char* path, const std::vector<QuadReal>& weg,
                                   __float128 slope) {
    std::FILE* file = std::fopen(path, "w");
    char first[64];
    char second[64];
    quadmath_snprintf(first, sizeof first, "%12.5Qg", static_cast<__float128>(0));
    std::fprintf(file, "%s%s\n", first, first);
    const std::size_t rows = weg.size() / 2 + 1;
    for (std::size_t i = 0; i < rows; ++i) {
        const __float128 w = std::bit_cast<__float128>(weg[i]);
        quadmath_snprintf(first, sizeof first, "%12.5Qg", w);
        quadmath_snprintf(second, sizeof second, "%12.5Qg", slope * w);
        std::fprintf(file, "%s%s\n", first, second);
    }
    std::fclose(file);
}

// state.range(0): 1 with UNIO_BUFFERED (records collected in blocks), 0 by
// default (one write request per record, which a per-record reference does not
// pay for; the figure shows what that guarantee costs).
void PlotFileAgainstReference(benchmark::State& state) {
    numeric::set_floating_environment();
    if (state.range(0) != 0) {
        ::setenv("UNIO_BUFFERED", "true", 1);
    } else {
        ::unsetenv("UNIO_BUFFERED");
    }
    bench::ScratchDirectory directory;
    if (::chdir(directory.path().c_str()) != 0) {
        state.SkipWithError("chdir");
        return;
    }
    const std::vector<QuadReal> weg = displacements();
    const QuadReal k = std::bit_cast<QuadReal>(static_cast<__float128>(294375) / 100000000);
    const QuadReal e = std::bit_cast<QuadReal>(static_cast<__float128>(6794055) / 10000);
    double ours = 0;
    double reference = 0;
    for (auto _ : state) {
        double start = bench::processor_seconds();
        evaluation::write_plot_file(weg, k, e);
        ours += bench::processor_seconds() - start;

        start = bench::processor_seconds();
        write_the_straightforward_way("reference.dat", weg,
                                      std::bit_cast<__float128>(k) * std::bit_cast<__float128>(e));
        reference += bench::processor_seconds() - start;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = 1e3 * ours / runs;
    state.counters["reference_ms"] = 1e3 * reference / runs;
    state.counters["speedup"] = reference / ours;  // the target is at least 3 (buffered)
}
BENCHMARK(PlotFileAgainstReference)
    ->ArgName("buffered")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

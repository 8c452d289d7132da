// The four operations of one record's sums (two products, two additions) as the
// modulus evaluation runs them, against the same loop on raw __float128 values
// and on the general routines alone (what every operation cost before the inline
// common case), measured in the same run. The target is at most 30 ns a record.

#include <benchmark/benchmark.h>

#include <bit>
#include <vector>

#include "bench/support/measurement_files.hpp"
#include "evaluation/modulus.hpp"
#include "numeric/arithmetic.hpp"
#include "numeric/constants.hpp"
#include "numeric/floating_environment.hpp"

namespace {

using numeric::QuadReal;

constexpr std::size_t kRecords = 1 << 16;
constexpr int kRepeats = 40;

struct Series {
    std::vector<QuadReal> kraft;
    std::vector<QuadReal> weg;
};

// Noisy, non-integer values with full 113-bit fractions, as a measurement gives.
Series measured_series() {
    Series series;
    for (std::size_t i = 1; i <= kRecords; ++i) {
        const __float128 noise = static_cast<__float128>((i * 7919) % 1000) / 300000;
        const __float128 weg = static_cast<__float128>(i) / 997 + noise;
        const __float128 kraft = weg * 603 + noise * 71;
        series.weg.push_back(std::bit_cast<QuadReal>(weg));
        series.kraft.push_back(std::bit_cast<QuadReal>(kraft));
    }
    return series;
}

__float128 raw_sums(const Series& series) {
    __float128 s_ww = 0;
    __float128 s_fw = 0;
    for (std::size_t i = 0; i < kRecords; ++i) {
        const auto w = std::bit_cast<__float128>(series.weg[i]);
        const auto f = std::bit_cast<__float128>(series.kraft[i]);
        s_ww = s_ww + w * w;
        s_fw = s_fw + f * w;
    }
    return s_fw / s_ww;
}

QuadReal general_sums(const Series& series) {
    QuadReal s_ww = numeric::kPositiveZero;
    QuadReal s_fw = numeric::kPositiveZero;
    for (std::size_t i = 0; i < kRecords; ++i) {
        s_ww = numeric::general_add(s_ww, numeric::general_multiply(series.weg[i], series.weg[i]));
        s_fw =
            numeric::general_add(s_fw, numeric::general_multiply(series.kraft[i], series.weg[i]));
    }
    return numeric::divide(s_fw, s_ww);
}

void SumsAgainstRawBinary128(benchmark::State& state) {
    numeric::set_floating_environment();
    const Series series = measured_series();
    const evaluation::BeamGeometry geometry{series.weg[99], series.weg[300], series.weg[7]};
    double ours = 0;
    double raw = 0;
    double general = 0;
    for (auto _ : state) {
        double start = bench::processor_seconds();
        for (int r = 0; r < kRepeats; ++r) {
            benchmark::DoNotOptimize(
                evaluation::evaluate_modulus(series.kraft, series.weg, geometry));
        }
        ours += bench::processor_seconds() - start;
        start = bench::processor_seconds();
        for (int r = 0; r < kRepeats; ++r) {
            benchmark::DoNotOptimize(raw_sums(series));
        }
        raw += bench::processor_seconds() - start;
        start = bench::processor_seconds();
        for (int r = 0; r < kRepeats; ++r) {
            benchmark::DoNotOptimize(general_sums(series));
        }
        general += bench::processor_seconds() - start;
    }
    const double records = static_cast<double>(state.iterations()) * kRepeats * kRecords;
    state.counters["ns_per_record"] = 1e9 * ours / records;  // the target is at most 30
    state.counters["raw_ns_per_record"] = 1e9 * raw / records;
    state.counters["general_ns_per_record"] = 1e9 * general / records;
    state.counters["raw_over_ours"] = raw / ours;
    state.counters["general_over_ours"] = general / ours;
}
BENCHMARK(SumsAgainstRawBinary128)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

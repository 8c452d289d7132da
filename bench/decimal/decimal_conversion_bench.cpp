// Speed of the decimal input conversion, against the compiler runtime's
// strtoflt128 measured in the same run. Prints nanoseconds per conversion and, at
// the end, the ratio of our time to the reference's for each workload.

#include <benchmark/benchmark.h>
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "decimal/decimal_conversion.hpp"

namespace {

// Values as a measurement file holds them: 6 to 8 significant digits, fixed or
// with an exponent, a few negative.
std::vector<std::string> measurement_values() {
    std::mt19937_64 random(42);
    std::vector<std::string> values;
    for (int i = 0; i < 1024; ++i) {
        const int digits = 6 + static_cast<int>(random() % 3);
        const int magnitude = static_cast<int>(random() % 9) - 3;  // 1e-3 .. 1e5
        const double mantissa = 1.0 + static_cast<double>(random() % 900000000) / 1e8;
        const double value = mantissa * std::pow(10.0, magnitude);
        char text[64];
        if (random() % 4 == 0) {
            std::snprintf(text, sizeof text, "%.*E", digits - 1, value);
        } else {
            const int decimals = std::max(0, digits - 1 - magnitude);
            std::snprintf(text, sizeof text, "%s%.*f", random() % 8 == 0 ? "-" : "", decimals,
                          value);
        }
        values.emplace_back(text);
    }
    return values;
}

const std::vector<std::string>& mix() {
    static const std::vector<std::string> values = measurement_values();
    return values;
}

void convert_single(benchmark::State& state) {
    std::string text = "1523.4567";
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.data());
        benchmark::DoNotOptimize(recio::convert_numeric_value(text));
    }
}

void reference_single(benchmark::State& state) {
    std::string text = "1523.4567";
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.data());
        benchmark::DoNotOptimize(strtoflt128(text.c_str(), nullptr));
    }
}

void convert_mix(benchmark::State& state) {
    const auto& values = mix();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(recio::convert_numeric_value(values[next]));
        next = (next + 1) % values.size();
    }
}

void reference_mix(benchmark::State& state) {
    const auto& values = mix();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(strtoflt128(values[next].c_str(), nullptr));
        next = (next + 1) % values.size();
    }
}

// Remembers the times per iteration of every run (several with
// --benchmark_repetitions), for ratios of the medians.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                Times& times = times_[run.run_name.function_name];
                times.real.push_back(run.GetAdjustedRealTime());
                times.cpu.push_back(run.GetAdjustedCPUTime());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void print_ratio(const std::string& ours, const std::string& reference) const {
        const auto a = times_.find(ours);
        const auto b = times_.find(reference);
        if (a == times_.end() || b == times_.end()) {
            return;
        }
        const double real_ours = median(a->second.real);
        const double real_reference = median(b->second.real);
        const double cpu_ours = median(a->second.cpu);
        const double cpu_reference = median(b->second.cpu);
        std::printf(
            "%-24s real %7.2f ns, cpu %7.2f ns;  %-28s real %7.2f ns, cpu %7.2f ns;"
            "  ratio real %.3f, cpu %.3f\n",
            ours.c_str(), real_ours, cpu_ours, reference.c_str(), real_reference, cpu_reference,
            real_ours / real_reference, cpu_ours / cpu_reference);
    }

private:
    struct Times {
        std::vector<double> real;
        std::vector<double> cpu;
    };

    static double median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }

    std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("convert/1523.4567", convert_single)->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("strtoflt128/1523.4567", reference_single)
        ->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("convert/measurement_mix", convert_mix)
        ->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("strtoflt128/measurement_mix", reference_mix)
        ->Unit(benchmark::kNanosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nmedian time per conversion, ours and strtoflt128's:\n");
    reporter.print_ratio("convert/1523.4567", "strtoflt128/1523.4567");
    reporter.print_ratio("convert/measurement_mix", "strtoflt128/measurement_mix");
    benchmark::Shutdown();
    return 0;
}

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

#include "recio/decimal_conversion.hpp"

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

// Remembers the time per iteration of every run, for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void print_ratio(const std::string& ours, const std::string& reference) const {
        const auto a = nanoseconds_.find(ours);
        const auto b = nanoseconds_.find(reference);
        if (a == nanoseconds_.end() || b == nanoseconds_.end()) {
            return;
        }
        std::printf("%-32s %8.2f ns   %-32s %8.2f ns   ratio %.3f\n", ours.c_str(), a->second,
                    reference.c_str(), b->second, a->second / b->second);
    }

private:
    std::map<std::string, double> nanoseconds_;
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
    std::printf("\nour time / strtoflt128 time:\n");
    reporter.print_ratio("convert/1523.4567", "strtoflt128/1523.4567");
    reporter.print_ratio("convert/measurement_mix", "strtoflt128/measurement_mix");
    benchmark::Shutdown();
    return 0;
}

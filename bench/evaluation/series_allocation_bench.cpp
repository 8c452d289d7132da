// The pages of the series arrays: the program's allocation (mappings of their own
// advised for huge pages) against the same mappings on plain pages, each followed
// by a write to every element as the loading pass does, for the two arrays of a
// 10^6 and a 10^7 record series. The two take turns; the figures are the median
// and the worst of the turns, since page preparation varies from run to run: a
// fresh huge page costs little when the host still backs the memory the guest
// freed, and about as much as its 512 small pages when it has taken it back.

#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "evaluation/series_allocation.hpp"

namespace {

using numeric::QuadReal;

constexpr int kTurns = 15;

void fill(std::span<QuadReal> elements) {
    for (std::size_t i = 0; i < elements.size(); ++i) {
        elements[i] = QuadReal::from_words(0x3FFF000000000000ULL, i);
    }
    benchmark::DoNotOptimize(elements.data());
}

double time_program_allocation(std::int64_t records) {
    const auto start = std::chrono::steady_clock::now();
    {
        recio::SeriesArray kraft = recio::allocate_series_array(records);
        recio::SeriesArray weg = recio::allocate_series_array(records);
        fill(kraft.elements());
        fill(weg.elements());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A mapping on plain pages, filled, unmapped.
double time_plain_pages(std::int64_t records) {
    const std::size_t bytes = static_cast<std::size_t>(records) * sizeof(QuadReal);
    const auto start = std::chrono::steady_clock::now();
    for (int array = 0; array < 2; ++array) {
        void* const mapping =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) {
            std::abort();
        }
        ::madvise(mapping, bytes, MADV_NOHUGEPAGE);
        fill({static_cast<QuadReal*>(mapping), static_cast<std::size_t>(records)});
        ::munmap(mapping, bytes);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void SeriesPages(benchmark::State& state) {
    const std::int64_t records = state.range(0);
    std::vector<double> program;
    std::vector<double> plain;
    for (auto _ : state) {
        for (int turn = 0; turn < kTurns; ++turn) {
            program.push_back(time_program_allocation(records));
            plain.push_back(time_plain_pages(records));
        }
    }
    std::sort(program.begin(), program.end());
    std::sort(plain.begin(), plain.end());
    state.counters["huge_median_ms"] = 1e3 * program[program.size() / 2];
    state.counters["huge_worst_ms"] = 1e3 * program.back();
    state.counters["plain_median_ms"] = 1e3 * plain[plain.size() / 2];
    state.counters["plain_worst_ms"] = 1e3 * plain.back();
    state.counters["plain_over_huge"] = plain[plain.size() / 2] / program[program.size() / 2];
}
BENCHMARK(SeriesPages)
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

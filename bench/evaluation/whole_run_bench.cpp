// Whole runs of the program as child processes, by default (one write request
// per record) and with UNIO_BUFFERED=y, against the straightforward reference
// program and the floor program (one read pass and the same one-record writes),
// on realistic series of 10^6 and 10^7 records, with the working folder (where
// plot.dat goes) on the disk and on a tmpfs. The series are generated once into
// the build folder and kept there for later runs.
//
// The programs take turns, several rounds each, and every figure is the median
// of its rounds, so that a burst of load on the shared machine hits all of them
// alike; `spread` (slowest over fastest reference run) shows how noisy the run
// was. Targets on the tmpfs: reference/buffered at least 8 at 10^7 (7 at 10^6),
// default/floor at most 1.25 at 10^7; peak memory at most 32 bytes a record +
// 8 MiB everywhere.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/measurement_files.hpp"

namespace {

struct Program {
    const char* name;
    const char* path;
    bool buffered;
};

constexpr Program kPrograms[] = {
    {"default", EMODUL_BINARY, false},
    {"buffered", EMODUL_BINARY, true},
    {"reference", REFERENCE_BINARY, false},
    {"floor", FLOOR_BINARY, false},
};
constexpr int kProgramCount = sizeof kPrograms / sizeof kPrograms[0];

struct Outcome {
    double wall = 0;       // seconds
    double processor = 0;  // user + system seconds
    double peak_mib = 0;
};

// The series file of `records` records in the build folder, written on first use.
std::string series_file(std::size_t records) {
    ::mkdir(SERIES_DIRECTORY, 0777);
    const std::string path =
        std::string(SERIES_DIRECTORY) + "/series_" + std::to_string(records) + ".txt";
    if (::access(path.c_str(), R_OK) != 0) {
        const std::string partial = path + ".partial";
        bench::write_measurement_file(partial, records);
        std::rename(partial.c_str(), path.c_str());
    }
    return path;
}

double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + 1e-6 * static_cast<double>(time.tv_usec);
}

Outcome run(const Program& program, const std::string& directory, const std::string& answers) {
    // Each run starts with nothing of the previous one's plot.dat waiting to be
    // written back, so that no program is charged for another's writeback.
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(directory.c_str()) != 0 || !std::freopen(answers.c_str(), "r", stdin) ||
            !std::freopen("/dev/null", "w", stdout)) {
            ::_exit(127);
        }
        if (program.buffered) {
            ::setenv("UNIO_BUFFERED", "y", 1);
        } else {
            ::unsetenv("UNIO_BUFFERED");
        }
        ::execl(program.path, program.path, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    Outcome outcome;
    outcome.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.wall = -1;
    }
    outcome.processor = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    outcome.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return outcome;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The working folder, where plot.dat is written: on the disk of the build
// folder's machine (/tmp), or on a tmpfs (/dev/shm), where no write waits for a
// disk and the program's own work shows.
constexpr const char* kWorkingFolders[] = {"/tmp", "/dev/shm"};

void WholeRun(benchmark::State& state) {
    const auto records = static_cast<std::size_t>(state.range(0));
    const int rounds = static_cast<int>(state.range(1));
    const std::string series = series_file(records);
    bench::ScratchDirectory directory(kWorkingFolders[state.range(2)]);
    if (::symlink(series.c_str(), directory.file("series.txt").c_str()) != 0) {
        state.SkipWithError("cannot link the series");
        return;
    }
    const std::string answers = directory.file("answers.txt");
    std::ofstream(answers) << "series.txt\n412.5\n287.5\n10.02\n";

    std::vector<double> wall[kProgramCount];
    std::vector<double> processor[kProgramCount];
    double peak[kProgramCount] = {};
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            for (int p = 0; p < kProgramCount; ++p) {
                const Outcome outcome = run(kPrograms[p], directory.path(), answers);
                if (outcome.wall < 0) {
                    state.SkipWithError((std::string(kPrograms[p].name) + " failed").c_str());
                    return;
                }
                wall[p].push_back(outcome.wall);
                processor[p].push_back(outcome.processor);
                peak[p] = std::max(peak[p], outcome.peak_mib);
            }
        }
    }
    double median_wall[kProgramCount];
    for (int p = 0; p < kProgramCount; ++p) {
        median_wall[p] = median(wall[p]);
        state.counters[std::string(kPrograms[p].name) + "_s"] = median_wall[p];
        state.counters[std::string(kPrograms[p].name) + "_cpu_s"] = median(processor[p]);
    }
    const double budget_mib = (32.0 * static_cast<double>(records) + 8.0 * 1024 * 1024) / 1048576;
    state.counters["reference_over_buffered"] = median_wall[2] / median_wall[1];
    state.counters["reference_over_default"] = median_wall[2] / median_wall[0];
    state.counters["default_over_floor"] = median_wall[0] / median_wall[3];
    state.counters["peak_MiB"] = std::max(peak[0], peak[1]);
    state.counters["peak_per_budget"] = std::max(peak[0], peak[1]) / budget_mib;
    state.counters["reference_peak_MiB"] = peak[2];
    state.counters["spread"] = *std::max_element(wall[2].begin(), wall[2].end()) /
                               *std::min_element(wall[2].begin(), wall[2].end());
}
BENCHMARK(WholeRun)
    ->ArgNames({"records", "rounds", "tmpfs"})
    ->Args({1'000'000, 5, 0})
    ->Args({10'000'000, 3, 0})
    ->Args({1'000'000, 5, 1})
    ->Args({10'000'000, 5, 1})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

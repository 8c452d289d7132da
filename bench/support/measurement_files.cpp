#include "bench/support/measurement_files.hpp"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace bench {

void write_measurement_file(const std::string& path, std::size_t records, unsigned seed) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> ramp(10.0, 9990.0);
    for (std::size_t i = 1; i <= records; ++i) {
        // Force between 10 N and 10 kN, deflection proportional with some scatter:
        // "   1234   1523.4567   2.5156781" is 32 bytes with its line feed.
        const double force = ramp(random);
        const double deflection = force / 606.4125 + 0.0015 * noise(random);
        std::fprintf(file, "%7zu %11.4f %11.7f\n", i % 10000000, force,
                     deflection < 0 ? -deflection : deflection);
    }
    std::fclose(file);
}

ScratchDirectory::ScratchDirectory(const std::string& parent) {
    std::string pattern = parent + "/emodul-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp in " + parent);
    }
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace bench

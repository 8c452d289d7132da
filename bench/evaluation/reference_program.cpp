// The whole evaluation written the straightforward way, as a reference for the
// program's speed: the same dialogue answers from standard input, getline and
// strtoflt128 per field, plain __float128 arithmetic in the same order,
// quadmath_snprintf per field and buffered stdio for plot.dat.
//
// usage: whole_run_reference < answers

#include <quadmath.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "bench/support/straightforward_loading.hpp"

namespace {

__float128 answer() {
    std::string line;
    std::getline(std::cin, line);
    return strtoflt128(line.c_str(), nullptr);
}

std::string field(__float128 value) {
    char text[64];
    quadmath_snprintf(text, sizeof text, "%12.5Qg", value);
    return text;
}

}  // namespace

int main() {
    std::string name;
    std::getline(std::cin, name);
    const auto [kraft, weg] = bench::load_the_straightforward_way(name);
    const __float128 a = answer();
    const __float128 b = answer();
    const __float128 d0 = answer();
    const __float128 d2 = d0 * d0;
    const __float128 k = strtoflt128("9.42", nullptr) * (a + b) * (d2 * d2) / (64 * a * a * b * b);
    __float128 s_ww = 0;
    __float128 s_fw = 0;
    for (std::size_t i = 0; i < weg.size(); ++i) {
        s_ww = s_ww + weg[i] * weg[i];
        s_fw = s_fw + kraft[i] * weg[i];
    }
    const __float128 e = s_fw / (k * s_ww);
    std::printf("\nE-unendlich = %s MPa\n", field(e).c_str());
    std::FILE* plot = std::fopen("plot.dat", "w");
    std::fprintf(plot, "%s%s\n", field(0).c_str(), field(0).c_str());
    const __float128 slope = k * e;
    for (std::size_t i = 0; i < weg.size() && i <= weg.size() / 2; ++i) {
        std::fprintf(plot, "%s%s\n", field(weg[i]).c_str(), field(slope * weg[i]).c_str());
    }
    return std::fclose(plot) == 0 ? 0 : 1;
}

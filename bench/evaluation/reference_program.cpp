// The whole evaluation written the straightforward way, as a reference for the
// program's speed: the same dialogue answers from standard input, getline and
// strtoflt128 per field, plain __float128 arithmetic in the same order,
// quadmath_snprintf per field and buffered stdio for plot.dat.
//
// usage: whole_run_reference < answers

#include <quadmath.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

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
    std::vector<__float128> kraft;
    std::vector<__float128> weg;
    std::ifstream file(name);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string first;
        std::string force;
        std::string displacement;
        if (fields >> first >> force >> displacement) {
            strtoflt128(first.c_str(), nullptr);
            kraft.push_back(strtoflt128(force.c_str(), nullptr));
            weg.push_back(strtoflt128(displacement.c_str(), nullptr));
        }
    }
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

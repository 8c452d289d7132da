#include "bench/support/straightforward_loading.hpp"

#include <quadmath.h>

#include <fstream>
#include <sstream>

namespace bench {

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
        strtoflt128(first.c_str(), nullptr);
        series.kraft.push_back(strtoflt128(force.c_str(), nullptr));
        series.weg.push_back(strtoflt128(displacement.c_str(), nullptr));
    }
    return series;
}

}  // namespace bench

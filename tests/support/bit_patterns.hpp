#pragma once
// Values in tests are written as their 32-digit bit patterns.

#include <string>

#include "numeric/bit_pattern.hpp"

namespace testsupport {

inline numeric::QuadReal bits(const char* pattern) {
    return numeric::parse_bit_pattern(pattern).value();
}

inline std::string hex(numeric::QuadReal x) {
    const auto digits = numeric::to_bit_pattern(x);
    return std::string(digits.data(), digits.size());
}

}  // namespace testsupport

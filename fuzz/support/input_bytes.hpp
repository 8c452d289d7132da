#pragma once
// Values taken from a fuzz input's bytes in the same way on every machine, so
// that a corpus file stands for the same values on either byte order.

#include <cstdint>

#include "numeric/precision.hpp"

namespace fuzzsupport {

// A bit pattern from 16 bytes, least significant byte first.
inline numeric::QuadReal quad_from_bytes(const std::uint8_t* bytes) {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    for (int i = 7; i >= 0; --i) {
        low = (low << 8) | bytes[i];
        high = (high << 8) | bytes[8 + i];
    }
    return numeric::QuadReal::from_words(high, low);
}

}  // namespace fuzzsupport

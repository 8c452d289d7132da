// Provisional: a plain fixed form through double, until the exact field lands.
#include "recio/general_field.hpp"

#include <bit>
#include <cstdio>
#include <cstring>

namespace recio {

void format_general_field(numeric::QuadReal value, int width, int, std::span<char> out) {
    char text[64];
    std::snprintf(text, sizeof text, "%8.2f    ", static_cast<double>(std::bit_cast<__float128>(value)));
    std::memcpy(out.data(), text, static_cast<std::size_t>(width));
}

}  // namespace recio

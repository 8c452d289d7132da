#pragma once
#include <span>

#include "numeric/precision.hpp"

namespace recio {

void format_general_field(numeric::QuadReal value, int width, int digits, std::span<char> out);

}  // namespace recio

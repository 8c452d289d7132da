#pragma once
// Decimal text to the nearest QuadReal.

#include <string_view>

#include "numeric/precision.hpp"

namespace recio {

struct ConvertedValue {
    numeric::QuadReal value;  // meaningful only when ok
    bool ok;                  // false: the text cannot be converted
};

ConvertedValue convert_numeric_value(std::string_view text);

}  // namespace recio

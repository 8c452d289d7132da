#pragma once
// The general field of an ordinary value in machine-word arithmetic.
//
// A value of a plot file or a result line lies between about 10^-15 and 10^12;
// for those the exact digits that the field needs come from one 192-bit product,
// and the form decision and both roundings are done on integers. Values outside
// that range, and fields wider than a machine word's digits, are left to the
// general path.

#include <span>

#include "numeric/precision.hpp"

namespace recio {

// Writes the field of a finite nonzero `value` and returns true, or returns false
// without writing when the value or the field is not one it handles. `field` has
// exactly `width` bytes, already blank.
bool format_ordinary_field(numeric::QuadReal value, int width, int digits, std::span<char> field);

}  // namespace recio

#pragma once
// The general edit field: one QuadReal laid out in exactly w bytes with d
// significant digits, in fixed form where the value's magnitude allows it and in
// exponent form otherwise.

#include <span>

#include "numeric/precision.hpp"

namespace recio {

// Writes exactly `width` bytes into the front of `out` (which must hold at least
// that many; a smaller area is filled with asterisks instead):
// - zero of either sign: fixed form "0." with d - 1 zeros, no sign;
// - NaN of any sign and payload: a blank, "NaN", blanks;
// - infinities: a blank, "Infinity" or "-Infinity", blanks;
// - otherwise the value rounded to `digits` significant digits, either fixed,
//   right-justified in width - 4 columns followed by four blanks, or as
//   0.DDDDD with an exponent ("E+06", "+101", "+1001"), right-justified in `width`.
// Text that does not fit, and a `digits` outside 1..kMaxDecimalDigits - 1 (47),
// gives `width` asterisks.
// The digits are those of the exact binary value rounded once, ties to even.
void format_general_field(numeric::QuadReal value, int width, int digits, std::span<char> out);

// The same field, always by the exact big-number path of the digits, without the
// machine-word product for ordinary values; the two agree byte for byte.
void format_general_field_exactly(numeric::QuadReal value, int width, int digits,
                                  std::span<char> out);

}  // namespace recio

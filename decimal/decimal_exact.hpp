#pragma once
// Third stage: the exact conversion of any scanned number, whatever its number of
// digits and its exponent, with big integers of fixed size on the stack.
//
// Only the first kMaxSignificantDigits significant digits are looked at. The
// rounding boundaries of binary128 with ties away from zero are the midpoints
// between neighbouring values, odd * 2^k with odd < 2^114 and k >= -16495 (the
// overflow threshold and half the smallest subnormal are midpoints too). Such a
// midpoint has at most 11,564 significant decimal digits, reached by
// (2^114 - 1) * 2^-16495, whose digits are those of (2^114 - 1) * 5^16495. Cut a
// value x after its first N >= 11,564 significant digits, giving x' <= x, and let u
// be the unit of the last kept digit, so x < x' + u. A midpoint in (x', x' + u)
// would have its leading digit where x has it and at most N digits, so it would be
// a multiple of u, which is impossible strictly between the multiples x' and
// x' + u. With no boundary in (x', x], x and x' round alike: the digits after the
// cut do not matter at all, not even as a "something nonzero follows" flag. (Powers
// of two, where the spacing of the values changes, have fewer digits still.)
//
// Then, with D the kept digits as an integer and Q the power of ten of the last one:
// for Q >= 0 the value D * 5^Q * 2^Q is an integer, computed in full; for Q < 0 the
// integer part of D * 2^s / 5^-Q, with s chosen for a quotient of 114 or 115 bits,
// is computed by long division. Either way decimal_rounding.hpp does the rest.

#include <cstddef>
#include <cstdint>

#include "decimal/decimal_conversion.hpp"
#include "decimal/decimal_scan.hpp"

namespace recio {

// Enough by the argument above, with a margin.
inline constexpr std::size_t kMaxSignificantDigits = 11'600;

// A value whose leading digit stands for 10^4933 or more overflows (the threshold is
// about 1.19 * 10^4932); one whose leading digit stands for 10^-4967 or less is below
// half the smallest subnormal (about 3.24 * 10^-4966) and becomes zero. In between,
// the exact computation decides.
inline constexpr std::int64_t kOverflowingLeadingExponent = 4933;
inline constexpr std::int64_t kVanishingLeadingExponent = -4967;

ConvertedValue exact_path_convert(const ScannedDecimal& scanned);

}  // namespace recio

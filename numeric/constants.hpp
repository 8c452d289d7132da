#pragma once
// The values the program needs as fixed bit patterns. None of them is produced by
// converting decimal text at run time, so they cannot depend on the converter.

#include "numeric/precision.hpp"

namespace numeric {

inline constexpr QuadReal kPositiveZero = QuadReal::from_words(0x0000000000000000ULL, 0);
inline constexpr QuadReal kNegativeZero = QuadReal::from_words(0x8000000000000000ULL, 0);
inline constexpr QuadReal kOne = QuadReal::from_words(0x3FFF000000000000ULL, 0);
inline constexpr QuadReal kMinusOne = QuadReal::from_words(0xBFFF000000000000ULL, 0);
inline constexpr QuadReal kPositiveInfinity = QuadReal::from_words(0x7FFF000000000000ULL, 0);
inline constexpr QuadReal kNegativeInfinity = QuadReal::from_words(0xFFFF000000000000ULL, 0);

// The result of every invalid operation: sign set, exponent all ones, quiet bit set.
inline constexpr QuadReal kDefaultNaN = QuadReal::from_words(0xFFFF800000000000ULL, 0);

// 9.42 stands for 3*pi in the stiffness factor; this is the binary128 value nearest
// to 9.42, about 6.2e-35 below it.
inline constexpr QuadReal kThreePiApproximation =
    QuadReal::from_words(0x40022D70A3D70A3DULL, 0x70A3D70A3D70A3D7ULL);

// 64 from the second moment of area pi*d0^4/64 (exact).
inline constexpr QuadReal kSixtyFour = QuadReal::from_words(0x4005000000000000ULL, 0);

}  // namespace numeric

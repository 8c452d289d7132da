#pragma once
// The four operations on QuadReal values. Each rounds once to nearest, ties to
// even, keeps signed zeros and subnormals, overflows to an infinity and follows
// the NaN rules of nan_rules.hpp. They are pure functions of their operands.

#include <cstdint>

#include "numeric/fast_arithmetic.hpp"
#include "numeric/precision.hpp"

namespace numeric {

// The general routines: every operand and every result, on the compiler's
// binary128 support. add and multiply below try the inline common case first.
[[gnu::cold]] QuadReal general_add(QuadReal x, QuadReal y);
[[gnu::cold]] QuadReal general_multiply(QuadReal x, QuadReal y);

inline QuadReal add(QuadReal x, QuadReal y) {
    const QuadReal sum = fast::try_add(x, y);
    if (fast::needs_general_path(sum)) [[unlikely]] {
        return general_add(x, y);
    }
    return sum;
}
inline QuadReal multiply(QuadReal x, QuadReal y) {
    const QuadReal product = fast::try_multiply(x, y);
    if (fast::needs_general_path(product)) [[unlikely]] {
        return general_multiply(x, y);
    }
    return product;
}
QuadReal divide(QuadReal dividend, QuadReal divisor);

// x raised to n by a fixed sequence of rounded multiplications (binary powering,
// squaring first while the exponent is even), so that the last bit of the result
// does not depend on how a library might evaluate a power. For n = 4 this is
// exactly t = x * x followed by t * t.
QuadReal integer_power(QuadReal x, std::int32_t n);

}  // namespace numeric

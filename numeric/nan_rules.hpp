#pragma once
// How NaNs travel through the arithmetic. Every operation asks these two functions
// and nothing else decides about NaN results, so the rules live in one place.

#include <optional>

#include "numeric/precision.hpp"

namespace numeric {

constexpr QuadReal quieted(QuadReal nan) {
    return QuadReal::from_words(nan.high | kQuietBit, nan.low);
}

// The result of a two-operand operation when at least one operand is a NaN;
// nothing when neither is. x is the first operand (dividend, left summand).
std::optional<QuadReal> nan_operand_result(QuadReal x, QuadReal y);

// The finished result of an operation whose operands were not NaNs: a NaN can only
// have come from an invalid operation, and every invalid operation yields the
// default NaN, whatever pattern the underlying arithmetic produced.
constexpr QuadReal settle_invalid_result(QuadReal result);

}  // namespace numeric

#include "numeric/constants.hpp"

namespace numeric {

constexpr QuadReal settle_invalid_result(QuadReal result) {
    return is_nan(result) ? kDefaultNaN : result;
}

}  // namespace numeric

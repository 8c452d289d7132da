#include "numeric/arithmetic.hpp"

#include "numeric/binary128.hpp"
#include "numeric/constants.hpp"
#include "numeric/nan_rules.hpp"

namespace numeric {
namespace {

QuadReal power_of_non_negative_exponent(QuadReal x, std::uint32_t n) {
    if (n == 0) {
        return kOne;
    }
    if (x == kOne) {
        return kOne;
    }
    if (x == kMinusOne) {
        return (n % 2 == 1) ? kMinusOne : kOne;
    }
    if (is_zero(x)) {
        return (x == kNegativeZero && n % 2 == 1) ? kNegativeZero : kPositiveZero;
    }
    if (n == 1) {
        return is_nan(x) ? quieted(x) : x;
    }
    QuadReal base = x;
    std::uint32_t remaining = n;
    while (remaining % 2 == 0) {
        base = multiply(base, base);
        remaining /= 2;
    }
    QuadReal result = base;
    for (remaining /= 2; remaining != 0; remaining /= 2) {
        base = multiply(base, base);
        if (remaining % 2 == 1) {
            result = multiply(result, base);
        }
    }
    return result;
}

}  // namespace

// The general routines compute on the compiler's binary128 support (the soft-float
// routines of its runtime, or on s390x the processor's own instructions), which is
// correctly rounded in round-to-nearest-even under the start-up environment and
// never flushes subnormals: all we need once NaN operands and invalid results are
// dealt with by our own rules.
QuadReal general_add(QuadReal x, QuadReal y) {
    if (const auto nan = nan_operand_result(x, y)) {
        return *nan;
    }
    return settle_invalid_result(from_binary128(to_binary128(x) + to_binary128(y)));
}

QuadReal general_multiply(QuadReal x, QuadReal y) {
    if (const auto nan = nan_operand_result(x, y)) {
        return *nan;
    }
    return settle_invalid_result(from_binary128(to_binary128(x) * to_binary128(y)));
}

QuadReal divide(QuadReal dividend, QuadReal divisor) {
    if (const auto nan = nan_operand_result(dividend, divisor)) {
        return *nan;
    }
    return settle_invalid_result(from_binary128(to_binary128(dividend) / to_binary128(divisor)));
}

QuadReal integer_power(QuadReal x, std::int32_t n) {
    if (n >= 0) {
        return power_of_non_negative_exponent(x, static_cast<std::uint32_t>(n));
    }
    // A negative exponent runs the same scheme on the reciprocal; the magnitude of
    // INT32_MIN still fits the unsigned count.
    const auto magnitude = static_cast<std::uint32_t>(-static_cast<std::int64_t>(n));
    return power_of_non_negative_exponent(divide(kOne, x), magnitude);
}

}  // namespace numeric

#include "numeric/arithmetic.hpp"

#include <bit>

#include "numeric/constants.hpp"
#include "numeric/nan_rules.hpp"

namespace numeric {
namespace {

// The compiler's binary128 support (the soft-float routines of its runtime) is
// correctly rounded in round-to-nearest-even and never flushes subnormals, which
// is all we need once NaN operands and invalid results are dealt with by our own
// rules.
using HardwareQuad = __float128;
static_assert(sizeof(HardwareQuad) == sizeof(QuadReal));

HardwareQuad to_hardware(QuadReal x) {
    return std::bit_cast<HardwareQuad>(x);
}
QuadReal from_hardware(HardwareQuad x) {
    return std::bit_cast<QuadReal>(x);
}

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

QuadReal general_add(QuadReal x, QuadReal y) {
    if (const auto nan = nan_operand_result(x, y)) {
        return *nan;
    }
    return settle_invalid_result(from_hardware(to_hardware(x) + to_hardware(y)));
}

QuadReal general_multiply(QuadReal x, QuadReal y) {
    if (const auto nan = nan_operand_result(x, y)) {
        return *nan;
    }
    return settle_invalid_result(from_hardware(to_hardware(x) * to_hardware(y)));
}

QuadReal divide(QuadReal dividend, QuadReal divisor) {
    if (const auto nan = nan_operand_result(dividend, divisor)) {
        return *nan;
    }
    return settle_invalid_result(from_hardware(to_hardware(dividend) / to_hardware(divisor)));
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

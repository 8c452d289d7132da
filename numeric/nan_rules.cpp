#include "numeric/nan_rules.hpp"

namespace numeric {
namespace {

// The 127 bits below the sign, compared as one unsigned integer.
constexpr bool magnitude_greater(QuadReal a, QuadReal b) {
    const std::uint64_t a_high = a.high & ~kSignMask;
    const std::uint64_t b_high = b.high & ~kSignMask;
    return a_high != b_high ? a_high > b_high : a.low > b.low;
}

QuadReal choose_between_nans(QuadReal x, QuadReal y) {
    const bool x_quiet = is_quiet_nan(x);
    const bool y_quiet = is_quiet_nan(y);
    if (x_quiet != y_quiet) {
        return x_quiet ? x : y;
    }
    if (magnitude_greater(x, y)) {
        return quieted(x);
    }
    if (magnitude_greater(y, x)) {
        return quieted(y);
    }
    return quieted(sign_bit(x) ? x : y);
}

}  // namespace

std::optional<QuadReal> nan_operand_result(QuadReal x, QuadReal y) {
    const bool x_nan = is_nan(x);
    const bool y_nan = is_nan(y);
    if (x_nan && y_nan) {
        return choose_between_nans(x, y);
    }
    if (x_nan) {
        return quieted(x);
    }
    if (y_nan) {
        return quieted(y);
    }
    return std::nullopt;
}

}  // namespace numeric

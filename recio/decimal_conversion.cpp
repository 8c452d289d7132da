// Provisional: plain integers and short decimals only, until the exact converter lands.
#include "recio/decimal_conversion.hpp"

#include <bit>

namespace recio {

ConvertedValue convert_numeric_value(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned __int128 digits = 0;
    int decimals = 0;
    bool point = false;
    for (char c : text) {
        if (c == '.') {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') {
            return {{}, false};
        }
        digits = digits * 10 + static_cast<unsigned>(c - '0');
        decimals += point ? 1 : 0;
    }
    __float128 value = static_cast<__float128>(digits);
    __float128 scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    value /= scale;
    if (negative) {
        value = -value;
    }
    return {std::bit_cast<numeric::QuadReal>(value), true};
}

}  // namespace recio

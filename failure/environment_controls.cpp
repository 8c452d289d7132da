#include "failure/environment_controls.hpp"

#include <algorithm>
#include <cstdlib>

namespace recio {

bool control_is_true(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value_counts_as_true(value);
}

bool value_counts_as_true(std::string_view value) {
    if (value.empty()) {
        return false;
    }
    switch (value.front()) {
        case 't':
        case 'T':
        case 'y':
        case 'Y':
            return true;
        default:
            break;
    }
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    // Judged digit by digit, so that no count of digits can overflow.
    return std::all_of(value.begin(), value.end(), is_digit) &&
           std::any_of(value.begin(), value.end(), [](char c) { return c != '0'; });
}

}  // namespace recio

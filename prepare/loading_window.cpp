#include "prepare/loading_window.hpp"

namespace prepare {

namespace {

// Longer percentages are no one's intent, and the bounds cost their length
// times the maximum's.
constexpr std::size_t kLongestPercent = 40;

std::optional<DecimalText> parse_percent(std::string_view text, std::string& why) {
    const bool plain = text.size() <= kLongestPercent && text.find_first_of("Ee") == std::string_view::npos;
    const auto value = plain ? parse_decimal(text, '.') : std::nullopt;
    static const DecimalText hundred{false, "100", {}, 0};
    if (!value || text.front() == '+' || text.front() == '-' || compare(*value, hundred) > 0) {
        why = "a percentage of the maximum force is a decimal number from 0 to 100, not '" + std::string(text) + "'";
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<WindowPercent> parse_window(std::string_view text, std::string& why) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        why = "--window takes LO:HI, percentages of the maximum force, such as 10:40";
        return std::nullopt;
    }
    const auto low = parse_percent(text.substr(0, colon), why);
    const auto high = low ? parse_percent(text.substr(colon + 1), why) : std::nullopt;
    if (!high) {
        return std::nullopt;
    }
    if (compare(*low, *high) > 0) {
        why = "--window " + std::string(text) + ": LO lies above HI";
        return std::nullopt;
    }
    return WindowPercent{*low, *high};
}

std::size_t first_maximum(std::span<const PreparedRecord> records) {
    std::size_t maximum = 0;
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (compare(records[i].force, records[maximum].force) > 0) {
            maximum = i;
        }
    }
    return maximum;
}

WindowBounds window_bounds(const WindowPercent& window, const DecimalText& maximum) {
    // LO % of the maximum is LO × maximum × 10^-2: the product moves its point.
    const auto percent_of = [&](const DecimalText& percent) {
        const OwnedDecimal product = multiply(percent, maximum);
        const DecimalText view = scaled(product.view(), -2);
        return OwnedDecimal(view.negative, std::string(view.whole), view.exponent);
    };
    return {percent_of(window.low), percent_of(window.high)};
}

std::vector<std::size_t> records_in_window(std::span<const PreparedRecord> records, std::size_t maximum_index,
                                           const WindowBounds& bounds) {
    std::vector<std::size_t> kept;
    const DecimalText low = bounds.low.view();
    const DecimalText high = bounds.high.view();
    for (std::size_t i = 0; i <= maximum_index; ++i) {
        if (compare(records[i].force, low) >= 0 && compare(records[i].force, high) <= 0) {
            kept.push_back(i);
        }
    }
    return kept;
}

}  // namespace prepare

#pragma once
// The loading window: which records of a test that may have run past its
// maximum force belong to the fit.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "prepare/decimal_text.hpp"
#include "prepare/export_reading.hpp"

namespace prepare {

// LO:HI in percent of the maximum force, 0 <= LO <= HI <= 100, as written.
struct WindowPercent {
    DecimalText low;
    DecimalText high;
};

// Reads LO:HI, or says what is wrong with it.
std::optional<WindowPercent> parse_window(std::string_view text, std::string& why);

// Index of the first record of the largest force; the records must not be empty.
std::size_t first_maximum(std::span<const PreparedRecord> records);

struct WindowBounds {
    OwnedDecimal low;   // LO % and HI % of the maximum, in N, exact
    OwnedDecimal high;
};

WindowBounds window_bounds(const WindowPercent& window, const DecimalText& maximum);

// The indices of the records up to and including `maximum_index` whose force
// lies in [low, high], both ends included, compared exactly.
std::vector<std::size_t> records_in_window(std::span<const PreparedRecord> records, std::size_t maximum_index,
                                           const WindowBounds& bounds);

}  // namespace prepare

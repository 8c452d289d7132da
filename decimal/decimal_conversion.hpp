#pragma once
// Conversion of a numeric value's text, as the free-form reader delimits it, into
// the QuadReal nearest to its exact decimal value (ties away from zero).
//
// The text is an optional sign followed by either a mantissa with an optional
// exponent or one of the words Inf, Infinity and NaN in any case (see
// decimal_scan.hpp). Inf and Infinity give an infinity of the written sign; NaN gives
// the quiet NaN with the sign bit set, whatever sign is written. Zero keeps its sign,
// and values below the subnormal range round to zero without complaint. The
// conversion fails on overflow (the value rounds to 2^16384 or beyond) and on any
// text that is not such a value, including one with characters left over after a
// complete number and words such as Info or Na. Any byte string is safe to pass, and
// the time taken is linear in its length.

#include <string_view>

#include "numeric/precision.hpp"

namespace recio {

struct ConvertedValue {
    numeric::QuadReal value;  // meaningful only when ok
    bool ok;                  // false: the value cannot be converted
};

ConvertedValue convert_numeric_value(std::string_view text);

struct ScannedDecimal;

// The same for a text already taken apart by scan_decimal or scan_decimal_prefix.
ConvertedValue convert_scanned_decimal(const ScannedDecimal& scanned);

}  // namespace recio

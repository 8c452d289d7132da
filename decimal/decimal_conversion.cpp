#include "decimal/decimal_conversion.hpp"

#include "decimal/decimal_exact.hpp"
#include "decimal/decimal_fast_path.hpp"
#include "decimal/decimal_scan.hpp"
#include "numeric/constants.hpp"

namespace recio {

ConvertedValue convert_numeric_value(std::string_view text) {
    return convert_scanned_decimal(scan_decimal(text));
}

ConvertedValue convert_scanned_decimal(const ScannedDecimal& scanned) {
    switch (scanned.kind) {
        case DecimalKind::number:
            if (const auto fast = fast_path_convert(scanned)) {
                return {*fast, true};
            }
            return exact_path_convert(scanned);
        case DecimalKind::infinity:
            return {scanned.negative ? numeric::kNegativeInfinity : numeric::kPositiveInfinity,
                    true};
        case DecimalKind::nan:
            return {numeric::kDefaultNaN, true};
        case DecimalKind::malformed:
            break;
    }
    return {numeric::QuadReal{}, false};
}

}  // namespace recio

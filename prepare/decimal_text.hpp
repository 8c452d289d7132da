#pragma once
// A decimal number kept as the digits an export wrote. Changing its unit moves
// the decimal point and negating it flips a sign, so a prepared value is the
// written value exactly: nothing here goes through binary floating point, and
// comparisons look at the digits.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace prepare {

// ±(whole.fraction) × 10^exponent. The views point into the export's text (or
// into an OwnedDecimal), so a value of a record costs no allocation.
struct DecimalText {
    bool negative = false;
    std::string_view whole;     // digits before the decimal sign, possibly none
    std::string_view fraction;  // digits after it, possibly none
    std::int64_t exponent = 0;
};

// Exponents beyond this reach nothing that binary128 holds; a larger written
// exponent is clamped to it, so no arithmetic on exponents can overflow.
inline constexpr std::int64_t kExponentClamp = 1'000'000'000;

// Reads one field: an optional sign, digits with at most one `decimal_sign`
// (at least one digit in all), and optionally E or e with an optional sign and
// at least one digit. Anything else, such as Inf, NaN, 1.5D3, 1.5+3 or a
// thousands separator, is no number.
std::optional<DecimalText> parse_decimal(std::string_view field, char decimal_sign);

bool is_zero(const DecimalText& value);

// The value times 10^power, and the value negated.
DecimalText scaled(DecimalText value, std::int64_t power);
DecimalText negated(DecimalText value);

// Whether emodul reads the value as the binary128 number nearest to it, neither
// overflowing (from 10^4932 on, a little below the largest finite value, the
// reader would refuse it) nor rounding it to zero (below 10^-4965, a little
// above half the smallest subnormal number). Zero is within.
bool within_reading_range(const DecimalText& value);

// -1, 0 or 1 as a is below, equal to or above b, exactly. Zeros are equal
// whatever their signs.
int compare(const DecimalText& a, const DecimalText& b);

// Appends the value as plain decimal text that emodul reads as exactly this
// decimal: an optional minus sign, digits, and a decimal point only when digits
// follow it. Leading zeros go, the written fraction digits stay (1.5000 kN
// becomes 1500.0), and a zero carries no sign. The value must be within the
// reading range, which bounds the text.
void append_plain(std::string& out, const DecimalText& value);
std::string plain(const DecimalText& value);

// An exact product, with digits of its own.
class OwnedDecimal {
public:
    OwnedDecimal() = default;
    OwnedDecimal(bool negative, std::string digits, std::int64_t exponent)
        : negative_(negative), digits_(std::move(digits)), exponent_(exponent) {}
    DecimalText view() const { return {negative_, digits_, {}, exponent_}; }

private:
    bool negative_ = false;
    std::string digits_;
    std::int64_t exponent_ = 0;
};

OwnedDecimal multiply(const DecimalText& a, const DecimalText& b);

}  // namespace prepare

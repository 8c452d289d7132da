#pragma once
// QuadReal values written as 32 hexadecimal digits, bit 127 first: the form in
// which developers' tools and tests exchange exact values.

#include <array>
#include <optional>
#include <string_view>

#include "numeric/precision.hpp"

namespace numeric {

inline constexpr std::size_t kBitPatternDigits = 32;

// The digits of every hexadecimal text the program writes, upper case.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Upper-case digits, most significant first.
std::array<char, kBitPatternDigits> to_bit_pattern(QuadReal x);

// Exactly 32 hexadecimal digits of either case; anything else is not a pattern.
std::optional<QuadReal> parse_bit_pattern(std::string_view text);

}  // namespace numeric

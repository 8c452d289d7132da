#include "numeric/bit_pattern.hpp"

namespace numeric {
namespace {

constexpr int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

std::array<char, kBitPatternDigits> to_bit_pattern(QuadReal x) {
    std::array<char, kBitPatternDigits> digits{};
    for (std::size_t i = 0; i < 16; ++i) {
        digits[15 - i] = kHexDigits[(x.high >> (4 * i)) & 0xF];
        digits[31 - i] = kHexDigits[(x.low >> (4 * i)) & 0xF];
    }
    return digits;
}

std::optional<QuadReal> parse_bit_pattern(std::string_view text) {
    if (text.size() != kBitPatternDigits) {
        return std::nullopt;
    }
    QuadReal x;
    for (std::size_t i = 0; i < kBitPatternDigits; ++i) {
        const int value = hex_value(text[i]);
        if (value < 0) {
            return std::nullopt;
        }
        std::uint64_t& word = i < 16 ? x.high : x.low;
        word = (word << 4) | static_cast<std::uint64_t>(value);
    }
    return x;
}

}  // namespace numeric

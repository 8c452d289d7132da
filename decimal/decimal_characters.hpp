#pragma once
// What the decimal conversions in both directions share: the characters of a
// number, the powers of ten and five that fit a machine word, and eight
// characters taken as one word.

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace recio {

constexpr bool is_decimal_digit(char c) {
    return c >= '0' && c <= '9';
}

// The letters that may begin the exponent of a number: E, D and Q in either case.
constexpr bool is_exponent_letter(char c) {
    switch (c) {
        case 'E':
        case 'e':
        case 'D':
        case 'd':
        case 'Q':
        case 'q':
            return true;
        default:
            return false;
    }
}

constexpr char to_upper_case(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

namespace decimal_tables_detail {

template <std::size_t Count>
constexpr std::array<std::uint64_t, Count> powers_of(std::uint64_t base) {
    std::array<std::uint64_t, Count> powers{};
    std::uint64_t power = 1;
    for (auto& entry : powers) {
        entry = power;
        power *= base;
    }
    return powers;
}

}  // namespace decimal_tables_detail

// 10^0 to 10^19 and 5^0 to 5^27: every power of ten and five below 2^64.
inline constexpr std::array<std::uint64_t, 20> kPowersOfTen =
    decimal_tables_detail::powers_of<20>(10);
inline constexpr std::array<std::uint64_t, 28> kPowersOfFive =
    decimal_tables_detail::powers_of<28>(5);

// Eight characters as one word with the first in the low byte, on either byte
// order: the word-at-a-time paths count and mask from the low end. On a
// big-endian machine the swap is one instruction, or none at all where the load
// or store reverses its bytes itself.
inline std::uint64_t load_characters(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

inline void store_characters(std::uint64_t word, char* out) {
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    std::memcpy(out, &word, sizeof word);
}

}  // namespace recio

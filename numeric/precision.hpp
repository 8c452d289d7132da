#pragma once
// The number kind of the whole program. Every measured, typed and computed value
// is an IEEE 754 binary128 number, held here as its plain bit pattern so that the
// layout, the constants and the comparisons are exact and independent of how the
// arithmetic happens to be carried out.

#include <bit>
#include <cstdint>

namespace numeric {

// One binary128 value. `low` holds fraction bits 63..0, `high` holds the sign
// (bit 63), the biased exponent (bits 62..48) and fraction bits 111..64. The two
// words lie in the machine's byte order, so that the struct has exactly the
// memory layout of the compiler's binary128 type (binary128.hpp checks it): on a
// little-endian machine least significant byte first, on a big-endian one most
// significant byte first. Values are built through from_words.
struct QuadReal {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    std::uint64_t high = 0;
    std::uint64_t low = 0;
#else
    std::uint64_t low = 0;
    std::uint64_t high = 0;
#endif

    // Declared, so that QuadReal is no aggregate: a list of its two words would
    // mean different values on the two byte orders, and so does not compile.
    constexpr QuadReal() = default;

    static constexpr QuadReal from_words(std::uint64_t high_word, std::uint64_t low_word) {
        QuadReal x;
        x.high = high_word;
        x.low = low_word;
        return x;
    }

    // Bitwise identity, not numeric equality: +0 and -0 differ, a NaN equals itself.
    friend constexpr bool operator==(QuadReal, QuadReal) = default;
};

static_assert(sizeof(QuadReal) == 16);
static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "the words of a QuadReal need a machine of one byte order");

inline constexpr int kFractionBits = 112;
inline constexpr int kPrecisionBits = 113;
inline constexpr int kExponentBias = 16383;
inline constexpr int kMaxBiasedExponent = 32767;

inline constexpr std::uint64_t kSignMask = 0x8000'0000'0000'0000ULL;
inline constexpr std::uint64_t kExponentMask = 0x7FFF'0000'0000'0000ULL;
inline constexpr std::uint64_t kHighFractionMask = 0x0000'FFFF'FFFF'FFFFULL;
inline constexpr std::uint64_t kQuietBit = 0x0000'8000'0000'0000ULL;

constexpr bool sign_bit(QuadReal x) {
    return (x.high & kSignMask) != 0;
}
constexpr int biased_exponent(QuadReal x) {
    return static_cast<int>((x.high & kExponentMask) >> 48);
}
constexpr bool fraction_is_zero(QuadReal x) {
    return (x.high & kHighFractionMask) == 0 && x.low == 0;
}

constexpr bool is_nan(QuadReal x) {
    return biased_exponent(x) == kMaxBiasedExponent && !fraction_is_zero(x);
}
constexpr bool is_quiet_nan(QuadReal x) {
    return is_nan(x) && (x.high & kQuietBit) != 0;
}
constexpr bool is_infinite(QuadReal x) {
    return biased_exponent(x) == kMaxBiasedExponent && fraction_is_zero(x);
}
constexpr bool is_finite(QuadReal x) {
    return biased_exponent(x) != kMaxBiasedExponent;
}
constexpr bool is_zero(QuadReal x) {
    return biased_exponent(x) == 0 && fraction_is_zero(x);
}

constexpr QuadReal magnitude(QuadReal x) {
    return QuadReal::from_words(x.high & ~kSignMask, x.low);
}

}  // namespace numeric

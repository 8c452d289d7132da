#include "numeric/arithmetic.hpp"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <string>

#include "numeric/bit_pattern.hpp"
#include "numeric/constants.hpp"
#include "numeric/floating_environment.hpp"
#include "tests/support/bit_patterns.hpp"

namespace {

using numeric::QuadReal;

using testsupport::bits;
using testsupport::hex;

class ArithmeticTest : public ::testing::Test {
protected:
    void SetUp() override { numeric::set_floating_environment(); }
};

constexpr const char* kPlusZero = "00000000000000000000000000000000";
constexpr const char* kMinusZero = "80000000000000000000000000000000";
constexpr const char* kOne = "3FFF0000000000000000000000000000";
constexpr const char* kMinusOne = "BFFF0000000000000000000000000000";
constexpr const char* kTwo = "40000000000000000000000000000000";
constexpr const char* kMinusTwo = "C0000000000000000000000000000000";
constexpr const char* kMinusFive = "C0014000000000000000000000000000";
constexpr const char* kSixteen = "40030000000000000000000000000000";
constexpr const char* kPlusInf = "7FFF0000000000000000000000000000";
constexpr const char* kMinusInf = "FFFF0000000000000000000000000000";
constexpr const char* kDefaultNaN = "FFFF8000000000000000000000000000";
constexpr const char* kMaxFinite = "7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF";
constexpr const char* kOnePointOne = "3FFF199999999999999999999999999A";

QuadReal apply(char operation, QuadReal x, QuadReal y) {
    switch (operation) {
        case '+':
            return numeric::add(x, y);
        case '*':
            return numeric::multiply(x, y);
        default:
            return numeric::divide(x, y);
    }
}

struct BinaryCase {
    char operation;
    const char* x;
    const char* y;
    const char* expected;
};

TEST_F(ArithmeticTest, SpecialOperandsAndSigns) {
    const BinaryCase cases[] = {
        {'+', kPlusZero, kMinusZero, kPlusZero},
        {'+', kMinusZero, kPlusZero, kPlusZero},
        {'+', kMinusZero, kMinusZero, kMinusZero},
        {'+', kOne, kMinusOne, kPlusZero},
        {'+', kPlusInf, kMinusInf, kDefaultNaN},
        {'+', kMinusInf, kPlusInf, kDefaultNaN},
        {'+', kPlusInf, kMaxFinite, kPlusInf},
        {'+', kMaxFinite, kOne, kMaxFinite},
        {'*', kPlusZero, kMinusFive, kMinusZero},
        {'*', kPlusZero, kPlusInf, kDefaultNaN},
        {'*', kMinusInf, kMinusZero, kDefaultNaN},
        {'*', kMinusInf, kMinusTwo, kPlusInf},
        {'*', kMaxFinite, kTwo, kPlusInf},
        {'/', kPlusZero, kPlusZero, kDefaultNaN},
        {'/', kPlusInf, kMinusInf, kDefaultNaN},
        {'/', kOne, kPlusZero, kPlusInf},
        {'/', kOne, kMinusZero, kMinusInf},
        {'/', kMinusOne, kPlusZero, kMinusInf},
        {'/', kMinusZero, kMinusFive, kPlusZero},
        {'/', kOne, kMinusInf, kMinusZero},
        {'/', kMinusInf, kPlusZero, kMinusInf},
        // Subnormal results are exact where they can be and tie to even where not.
        {'*', "00010000000000000000000000000000", "3FFE0000000000000000000000000000",
         "00008000000000000000000000000000"},
        {'*', "00000000000000000000000000000001", "3FFE0000000000000000000000000000", kPlusZero},
        {'*', "00000000000000000000000000000003", "3FFE0000000000000000000000000000",
         "00000000000000000000000000000002"},
        // Ties at 1: 1 + 2^-113 stays, (1 + 2^-112) + 2^-113 goes up to even.
        {'+', kOne, "3F8E0000000000000000000000000000", kOne},
        {'+', "3FFF0000000000000000000000000001", "3F8E0000000000000000000000000000",
         "3FFF0000000000000000000000000002"},
    };
    for (const auto& [operation, x, y, expected] : cases) {
        EXPECT_EQ(hex(apply(operation, bits(x), bits(y))), expected)
            << x << ' ' << operation << ' ' << y;
    }
}

TEST_F(ArithmeticTest, NaNOperandsFollowThePropagationRules) {
    constexpr const char* kQuietPayload = "7FFF8000000000000000000000001234";
    constexpr const char* kNegativeQuietPayload = "FFFF8000000000000000000000001234";
    constexpr const char* kSignalling = "7FFF0000000000000000000000000042";
    constexpr const char* kSignallingQuieted = "7FFF8000000000000000000000000042";
    constexpr const char* kBigSignalling = "FFFF4000000000000000000000000000";
    const BinaryCase cases[] = {
        // One NaN: that NaN, quieted, sign and payload kept.
        {'+', kSignalling, kOne, kSignallingQuieted},
        {'*', kOne, kNegativeQuietPayload, kNegativeQuietPayload},
        {'/', kPlusInf, kSignalling, kSignallingQuieted},
        // Exactly one quiet: the quiet one, whatever the magnitudes.
        {'+', kBigSignalling, kQuietPayload, kQuietPayload},
        {'*', kQuietPayload, kBigSignalling, kQuietPayload},
        // Both signalling: the larger magnitude, quieted.
        {'/', kSignalling, kBigSignalling, "FFFFC000000000000000000000000000"},
        // Both quiet with equal magnitude: x when x is negative, y otherwise.
        {'+', kNegativeQuietPayload, kQuietPayload, kNegativeQuietPayload},
        {'+', kQuietPayload, kNegativeQuietPayload, kNegativeQuietPayload},
        {'*', kQuietPayload, kQuietPayload, kQuietPayload},
    };
    for (const auto& [operation, x, y, expected] : cases) {
        EXPECT_EQ(hex(apply(operation, bits(x), bits(y))), expected)
            << x << ' ' << operation << ' ' << y;
    }
}

TEST_F(ArithmeticTest, IntegerPowerUsesTheFixedMultiplicationSequence) {
    struct PowerCase {
        const char* x;
        std::int32_t n;
        const char* expected;
    };
    const PowerCase cases[] = {
        {kOnePointOne, 4, "3FFF76CF41F212D77318FC504816F009"},  // left to right gives ...F008
        {kOnePointOne, 2, "3FFF35C28F5C28F5C28F5C28F5C28F5D"},
        {kMinusTwo, 4, kSixteen},
        {kMinusZero, 4, kPlusZero},
        {kMinusZero, 3, kMinusZero},
        {kPlusZero, 0, kOne},
        {kDefaultNaN, 0, kOne},
        {"7FFF0000000000000000000000000042", 1, "7FFF8000000000000000000000000042"},
        {kPlusInf, 4, kPlusInf},
        {kMinusInf, 4, kPlusInf},
        {kMinusOne, 7, kMinusOne},
        {kMinusOne, 2147483647, kMinusOne},
        {kMaxFinite, 4, kPlusInf},
        {kTwo, -2, "3FFD0000000000000000000000000000"},
        {kPlusZero, -1, kPlusInf},
        {kMinusZero, -3, kMinusInf},
        {kMinusZero, -2, kPlusInf},
    };
    for (const auto& [x, n, expected] : cases) {
        EXPECT_EQ(hex(numeric::integer_power(bits(x), n)), expected) << x << " ^ " << n;
    }
}

TEST(ConstantsTest, FixedPatterns) {
    EXPECT_EQ(hex(numeric::kThreePiApproximation), "40022D70A3D70A3D70A3D70A3D70A3D7");
    EXPECT_EQ(hex(numeric::kSixtyFour), "40050000000000000000000000000000");
    EXPECT_EQ(hex(numeric::kPositiveZero), kPlusZero);
    EXPECT_EQ(hex(numeric::kDefaultNaN), kDefaultNaN);
}

TEST(BitPatternTest, RejectsAnythingButThirtyTwoHexDigits) {
    EXPECT_EQ(hex(bits("3fff199999999999999999999999999a")), kOnePointOne);
    for (const char* bad :
         {"", "3FFF", "3FFF199999999999999999999999999A0", "3FFF19999999999999999999999999 9A",
          "GFFF199999999999999999999999999A"}) {
        EXPECT_FALSE(numeric::parse_bit_pattern(bad).has_value()) << bad;
    }
}

// Start-up puts the one environment back whatever the process inherited: another
// rounding direction and the processor's flush-to-zero controls.
TEST(FloatingEnvironment, RestoresNearestRoundingAndGradualUnderflow) {
    std::fesetround(FE_UPWARD);
#if defined(__x86_64__)
    std::uint32_t mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr |= 0x8040U;  // flush to zero, denormals are zero
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#elif defined(__aarch64__)
    std::uint64_t fpcr = 0;
    __asm__ volatile("mrs %0, fpcr" : "=r"(fpcr));
    fpcr |= std::uint64_t{1} << 24;  // flush to zero
    __asm__ volatile("msr fpcr, %0" : : "r"(fpcr));
#endif
    numeric::set_floating_environment();
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    volatile double smallest_normal = 0x1p-1022;
    EXPECT_EQ(smallest_normal / 2, 0x1p-1023);
    // 1 + 2^-113 is a tie that goes to even; 2^-16382 * 0.5 is a subnormal.
    EXPECT_EQ(hex(numeric::general_add(bits(kOne), bits("3F8E0000000000000000000000000000"))),
              kOne);
    EXPECT_EQ(hex(numeric::general_multiply(bits("00010000000000000000000000000000"),
                                            bits("3FFE0000000000000000000000000000"))),
              "00008000000000000000000000000000");
}

}  // namespace

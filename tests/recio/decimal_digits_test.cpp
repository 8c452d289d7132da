#include "recio/decimal_digits.hpp"

#include <gtest/gtest.h>

#include <string>

#include "numeric/bit_pattern.hpp"
#include "numeric/constants.hpp"

namespace {

using numeric::QuadReal;
using recio::DigitMode;

QuadReal bits(const char* pattern) { return numeric::parse_bit_pattern(pattern).value(); }

struct DigitCase {
    const char* label;
    const char* pattern;
    DigitMode mode;
    int count;
    const char* digits;  // nullptr: no result expected
    int exponent;
    bool negative;
};

// Expected digits from exact rational arithmetic (tools/reference), with the value
// given as the bit pattern of the binary128 number nearest to the label.
const DigitCase kCases[] = {
    {"0.1", "3FFB999999999999999999999999999A", DigitMode::significant, 40, "1000000000000000000000000000000000048148", 0, false},
    {"0.1", "3FFB999999999999999999999999999A", DigitMode::significant, 64, "1000000000000000000000000000000000048148248609680896326399448565", 0, false},
    {"1/3", "3FFD5555555555555555555555555555", DigitMode::significant, 36, "333333333333333333333333333333333317", 0, false},
    {"2/3", "3FFE5555555555555555555555555555", DigitMode::significant, 34, "6666666666666666666666666666666666", 0, false},
    {"max", "7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 40, "1189731495357231765085759326628007016196", 4933, false},
    {"max", "7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 1, "1", 4933, false},
    {"min normal", "00010000000000000000000000000000", DigitMode::significant, 40, "3362103143112093506262677817321752602598", -4931, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::significant, 40, "6475175119438025110924438958227646552500", -4965, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::significant, 64, "6475175119438025110924438958227646552499569338034681009689884389", -4965, false},
    {"-min subnormal", "80000000000000000000000000000001", DigitMode::significant, 3, "648", -4965, true},
    {"largest subnormal", "0000FFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 25, "3362103143112093506262678", -4931, false},
    {"1e40", "4083D6329F1C35CA4BFABB9F56100000", DigitMode::significant, 12, "100000000000", 41, false},
    {"1e40", "4083D6329F1C35CA4BFABB9F56100000", DigitMode::significant, 45, "100000000000000000000000000000000000000000000", 41, false},
    {"1e-30", "3F9B4484BFEEBC29F863424B06F3529A", DigitMode::significant, 40, "9999999999999999999999999999999999969719", -30, false},
    {"1e4000", "73E6A3750647FCAB18C21AB905450CC3", DigitMode::significant, 20, "10000000000000000000", 4001, false},
    {"-1e-4000", "8C17387AE70C9E700B8049732D11A23D", DigitMode::significant, 20, "10000000000000000000", -3999, true},
    {"2^112", "406F0000000000000000000000000000", DigitMode::significant, 34, "5192296858534827628530496329220096", 34, false},
    {"2^112", "406F0000000000000000000000000000", DigitMode::significant, 33, "519229685853482762853049632922010", 34, false},
    {"2^113-1", "406FFFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 35, "10384593717069655257060992658440191", 35, false},
    {"1", "3FFF0000000000000000000000000000", DigitMode::significant, 1, "1", 1, false},
    {"9.5", "40023000000000000000000000000000", DigitMode::significant, 1, "1", 2, false},
    {"8.5", "40021000000000000000000000000000", DigitMode::significant, 1, "8", 1, false},
    {"0.25", "3FFD0000000000000000000000000000", DigitMode::significant, 1, "2", 0, false},
    {"0.75", "3FFE8000000000000000000000000000", DigitMode::significant, 1, "8", 0, false},
    {"99999.5", "400F869F800000000000000000000000", DigitMode::significant, 5, "10000", 6, false},
    {"-12344.5", "C00C81C4000000000000000000000000", DigitMode::significant, 5, "12344", 5, true},
    {"123465", "400FE249000000000000000000000000", DigitMode::significant, 5, "12346", 6, false},
    {"9999949999995", "402A23096EF5EF600000000000000000", DigitMode::significant, 12, "999995000000", 13, false},
    {"9999949999985", "402A23096EF5EE200000000000000000", DigitMode::significant, 12, "999994999998", 13, false},
    {"0.00390625", "3FF70000000000000000000000000000", DigitMode::significant, 5, "39062", -2, false},
    {"0.00390625", "3FF70000000000000000000000000000", DigitMode::significant, 6, "390625", -2, false},
    {"2^-30 tie at 21 digits", "3FE10000000000000000000000000000", DigitMode::significant, 20, "93132257461547851562", -9, false},
    {"3*2^-30", "3FE28000000000000000000000000000", DigitMode::significant, 20, "27939677238464355469", -8, false},
    {"30 digits, tie at 29, carries", "406293E5939A08CE9DBD47FFFFFF6000", DigitMode::significant, 29, "10000000000000000000000000000", 31, false},
    {"679.4055", "400853B3E76C8B4395810624DD2F1AA0", DigitMode::significant, 12, "679405500000", 3, false},
    {"679.4055", "400853B3E76C8B4395810624DD2F1AA0", DigitMode::fixed, 2, "67941", 3, false},
    {"0.1", "3FFB999999999999999999999999999A", DigitMode::fixed, 0, "", 0, false},
    {"0.5", "3FFE0000000000000000000000000000", DigitMode::fixed, 0, "", 0, false},
    {"1.5", "3FFF8000000000000000000000000000", DigitMode::fixed, 0, "2", 1, false},
    {"2.5", "40004000000000000000000000000000", DigitMode::fixed, 0, "2", 1, false},
    {"-0.0006", "BFF43A92A305532617C1BDA5119CE076", DigitMode::fixed, 3, "1", -2, true},
    {"0.0004", "3FF3A36E2EB1C432CA57A786C226809D", DigitMode::fixed, 3, "", -3, false},
    {"0.0005", "3FF40624DD2F1A9FBE76C8B439581062", DigitMode::fixed, 3, "", -3, false},
    {"0.00050000001", "3FF40624DD87109F445C5B09B8D3D817", DigitMode::fixed, 3, "1", -2, false},
    {"9.99996", "40023FFFAC1D29DC725C3DEE78183F92", DigitMode::fixed, 3, "10000", 2, false},
    {"99999.5", "400F869F800000000000000000000000", DigitMode::fixed, 0, "100000", 6, false},
    {"0.0999996", "3FFB99992E39CF2EA6DC783B7B00515F", DigitMode::fixed, 5, "10000", 0, false},
    {"1e-30", "3F9B4484BFEEBC29F863424B06F3529A", DigitMode::fixed, 40, "10000000000", -29, false},
    {"1e-30", "3F9B4484BFEEBC29F863424B06F3529A", DigitMode::fixed, 29, "", -29, false},
    {"1e-30", "3F9B4484BFEEBC29F863424B06F3529A", DigitMode::fixed, 30, "1", -29, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 4966, "6", -4965, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 4965, "1", -4964, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 5000, "64751751194380251109244389582276466", -4965, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 5, "", -5, false},
    {"1e20", "40415AF1D78B58C40000000000000000", DigitMode::fixed, 10, "1000000000000000000000000000000", 21, false},
    {"1e60", "40C63E9E4E4C2F34448A03AEC4845929", DigitMode::fixed, 3, "1000000000000000000000000000000000031956972259676259226746880000", 61, false},
    {"1e60", "40C63E9E4E4C2F34448A03AEC4845929", DigitMode::fixed, 4, nullptr, 0, false},
    {"2^-1074", "3BCD0000000000000000000000000000", DigitMode::fixed, 400, nullptr, 0, false},
    {"2^100", "40630000000000000000000000000000", DigitMode::fixed, 30, "1267650600228229401496703205376000000000000000000000000000000", 31, false},
};

TEST(DecimalDigitsTest, ExactValueRoundedOnceToNearestEven) {
    for (const DigitCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.label << " " << c.pattern << " count " << c.count
                                        << (c.mode == DigitMode::fixed ? " fixed" : ""));
        const auto result = recio::decimal_digits(bits(c.pattern), c.mode, c.count);
        if (c.digits == nullptr) {
            EXPECT_FALSE(result.has_value());
            continue;
        }
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->text(), c.digits);
        EXPECT_EQ(result->exponent, c.exponent);
        EXPECT_EQ(result->negative, c.negative);
    }
}

TEST(DecimalDigitsTest, NoResultForValuesWithoutDigitsOrCountsOutOfRange) {
    const QuadReal one = numeric::kOne;
    const struct {
        QuadReal value;
        DigitMode mode;
        int count;
    } cases[] = {
        {numeric::kPositiveZero, DigitMode::significant, 5},
        {numeric::kNegativeZero, DigitMode::fixed, 5},
        {numeric::kPositiveInfinity, DigitMode::significant, 5},
        {numeric::kNegativeInfinity, DigitMode::fixed, 0},
        {numeric::kDefaultNaN, DigitMode::significant, 5},
        {one, DigitMode::significant, 0},
        {one, DigitMode::significant, -3},
        {one, DigitMode::significant, recio::kMaxDecimalDigits + 1},
        {one, DigitMode::fixed, -1},
        {one, DigitMode::fixed, recio::kMaxDecimalDigits},  // 65 digits
        {one, DigitMode::fixed, 2147483647},
        {bits("7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF"), DigitMode::fixed, 0},
    };
    for (const auto& c : cases) {
        const auto pattern = numeric::to_bit_pattern(c.value);
        EXPECT_FALSE(recio::decimal_digits(c.value, c.mode, c.count).has_value())
            << std::string(pattern.data(), pattern.size()) << " count " << c.count;
    }
}

TEST(DecimalDigitsTest, FixedModeKeepsLengthEqualToExponentPlusDecimals) {
    // 1 at 63 decimals is the widest fixed result. The smallest subnormal has far
    // more digits than fit at a huge number of decimals, and rounds to zero at 4000.
    const auto one = recio::decimal_digits(numeric::kOne, DigitMode::fixed, 63);
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->length, 64);
    EXPECT_EQ(one->exponent, 1);
    const auto tiny = recio::decimal_digits(bits("00000000000000000000000000000001"),
                                            DigitMode::fixed, 2147483647 - 4966);
    EXPECT_FALSE(tiny.has_value());
    const auto zero = recio::decimal_digits(bits("80000000000000000000000000000001"),
                                            DigitMode::fixed, 4000);
    ASSERT_TRUE(zero.has_value());
    EXPECT_EQ(zero->length, 0);
    EXPECT_EQ(zero->exponent, -4000);
    EXPECT_TRUE(zero->negative);
}

}  // namespace

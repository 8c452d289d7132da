#include "decimal/decimal_digits.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "numeric/bit_pattern.hpp"
#include "numeric/constants.hpp"

namespace {

using numeric::QuadReal;
using recio::DigitMode;

QuadReal bits(const char* pattern) {
    return numeric::parse_bit_pattern(pattern).value();
}

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
    {"0.1", "3FFB999999999999999999999999999A", DigitMode::significant, 40,
     "1000000000000000000000000000000000048148", 0, false},
    {"0.1", "3FFB999999999999999999999999999A", DigitMode::significant, 48,
     "100000000000000000000000000000000004814824860968", 0, false},
    {"1/3", "3FFD5555555555555555555555555555", DigitMode::significant, 36,
     "333333333333333333333333333333333317", 0, false},
    {"2/3", "3FFE5555555555555555555555555555", DigitMode::significant, 34,
     "6666666666666666666666666666666666", 0, false},
    {"max", "7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 40,
     "1189731495357231765085759326628007016196", 4933, false},
    {"max", "7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 1, "1", 4933, false},
    {"min normal", "00010000000000000000000000000000", DigitMode::significant, 40,
     "3362103143112093506262677817321752602598", -4931, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::significant, 40,
     "6475175119438025110924438958227646552500", -4965, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::significant, 48,
     "647517511943802511092443895822764655249956933803", -4965, false},
    {"-min subnormal", "80000000000000000000000000000001", DigitMode::significant, 3, "648", -4965,
     true},
    {"largest subnormal", "0000FFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 25,
     "3362103143112093506262678", -4931, false},
    {"1e40", "4083D6329F1C35CA4BFABB9F56100000", DigitMode::significant, 12, "100000000000", 41,
     false},
    {"1e40", "4083D6329F1C35CA4BFABB9F56100000", DigitMode::significant, 45,
     "100000000000000000000000000000000000000000000", 41, false},
    {"1e-30", "3F9B4484BFEEBC29F863424B06F3529A", DigitMode::significant, 40,
     "9999999999999999999999999999999999969719", -30, false},
    {"1e4000", "73E6A3750647FCAB18C21AB905450CC3", DigitMode::significant, 20,
     "10000000000000000000", 4001, false},
    {"-1e-4000", "8C17387AE70C9E700B8049732D11A23D", DigitMode::significant, 20,
     "10000000000000000000", -3999, true},
    {"2^112", "406F0000000000000000000000000000", DigitMode::significant, 34,
     "5192296858534827628530496329220096", 34, false},
    {"2^112", "406F0000000000000000000000000000", DigitMode::significant, 33,
     "519229685853482762853049632922010", 34, false},
    {"2^113-1", "406FFFFFFFFFFFFFFFFFFFFFFFFFFFFF", DigitMode::significant, 35,
     "10384593717069655257060992658440191", 35, false},
    {"1", "3FFF0000000000000000000000000000", DigitMode::significant, 1, "1", 1, false},
    {"9.5", "40023000000000000000000000000000", DigitMode::significant, 1, "1", 2, false},
    {"8.5", "40021000000000000000000000000000", DigitMode::significant, 1, "8", 1, false},
    {"0.25", "3FFD0000000000000000000000000000", DigitMode::significant, 1, "2", 0, false},
    {"0.75", "3FFE8000000000000000000000000000", DigitMode::significant, 1, "8", 0, false},
    {"99999.5", "400F869F800000000000000000000000", DigitMode::significant, 5, "10000", 6, false},
    {"-12344.5", "C00C81C4000000000000000000000000", DigitMode::significant, 5, "12344", 5, true},
    {"123465", "400FE249000000000000000000000000", DigitMode::significant, 5, "12346", 6, false},
    {"9999949999995", "402A23096EF5EF600000000000000000", DigitMode::significant, 12,
     "999995000000", 13, false},
    {"9999949999985", "402A23096EF5EE200000000000000000", DigitMode::significant, 12,
     "999994999998", 13, false},
    {"0.00390625", "3FF70000000000000000000000000000", DigitMode::significant, 5, "39062", -2,
     false},
    {"0.00390625", "3FF70000000000000000000000000000", DigitMode::significant, 6, "390625", -2,
     false},
    {"2^-30 tie at 21 digits", "3FE10000000000000000000000000000", DigitMode::significant, 20,
     "93132257461547851562", -9, false},
    {"3*2^-30", "3FE28000000000000000000000000000", DigitMode::significant, 20,
     "27939677238464355469", -8, false},
    {"30 digits, tie at 29, carries", "406293E5939A08CE9DBD47FFFFFF6000", DigitMode::significant,
     29, "10000000000000000000000000000", 31, false},
    {"679.4055", "400853B3E76C8B4395810624DD2F1AA0", DigitMode::significant, 12, "679405500000", 3,
     false},
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
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 4966, "6", -4965,
     false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 4965, "1", -4964,
     false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 5000,
     "64751751194380251109244389582276466", -4965, false},
    {"min subnormal", "00000000000000000000000000000001", DigitMode::fixed, 5, "", -5, false},
    {"1e20", "40415AF1D78B58C40000000000000000", DigitMode::fixed, 10,
     "1000000000000000000000000000000", 21, false},
    {"1e44", "40911EFC659CF7D4B8DFC90400474400", DigitMode::fixed, 3,
     "100000000000000000000000000000000000000000000000", 45, false},
    {"1e44", "40911EFC659CF7D4B8DFC90400474400", DigitMode::fixed, 4, nullptr, 0, false},
    {"2^-1074", "3BCD0000000000000000000000000000", DigitMode::fixed, 400, nullptr, 0, false},
    {"2^100", "40630000000000000000000000000000", DigitMode::fixed, 30, nullptr, 0, false},
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
        {one, DigitMode::fixed, recio::kMaxDecimalDigits},  // one digit too many
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
    // 1 at 47 decimals is the widest fixed result. The smallest subnormal has far
    // more digits than fit at a huge number of decimals, and rounds to zero at 4000.
    const auto one =
        recio::decimal_digits(numeric::kOne, DigitMode::fixed, recio::kMaxDecimalDigits - 1);
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->length, recio::kMaxDecimalDigits);
    EXPECT_EQ(one->exponent, 1);
    const auto tiny = recio::decimal_digits(bits("00000000000000000000000000000001"),
                                            DigitMode::fixed, 2147483647 - 4966);
    EXPECT_FALSE(tiny.has_value());
    const auto zero =
        recio::decimal_digits(bits("80000000000000000000000000000001"), DigitMode::fixed, 4000);
    ASSERT_TRUE(zero.has_value());
    EXPECT_EQ(zero->length, 0);
    EXPECT_EQ(zero->exponent, -4000);
    EXPECT_TRUE(zero->negative);
}

struct Rounding {
    DigitMode mode;
    int count;
    const char* digits;  // nullptr: the position lies below the cut
    int exponent;
};

struct TruncationCase {
    const char* label;
    const char* pattern;
    int count;
    const char* digits;
    int exponent;
    recio::CutOff rest;
    std::vector<Rounding> roundings;
};

// Every rounding of a truncation must equal the exact value rounded once: the
// 99999.4999999999 row is the one where rounding the 12-digit result again would
// give 0.10000E+06 instead of 0.99999E+05.
TEST(DecimalDigitsTest, RoundingATruncationRoundsTheExactValue) {
    using recio::CutOff;
    const TruncationCase cases[] = {
        {"99999.4999999999",
         "400F869F7FFFFFFF920C8098A1091521",
         12,
         "999994999999",
         5,
         CutOff::above_half,
         {
             {DigitMode::significant, 12, "999995000000", 5},
             {DigitMode::significant, 5, "99999", 5},
             {DigitMode::fixed, 0, "99999", 5},
             {DigitMode::fixed, 1, "999995", 5},
             {DigitMode::significant, 13, nullptr, 0},
             {DigitMode::fixed, 8, nullptr, 0},
         }},
        {"99999.5",
         "400F869F800000000000000000000000",
         12,
         "999995000000",
         5,
         CutOff::zero,
         {
             {DigitMode::significant, 5, "10000", 6},
             {DigitMode::fixed, 0, "100000", 6},
             {DigitMode::significant, 6, "999995", 5},
         }},
        {"12345.5",
         "400C81CC000000000000000000000000",
         5,
         "12345",
         5,
         CutOff::half,
         {
             {DigitMode::significant, 5, "12346", 5},
             {DigitMode::significant, 4, "1235", 5},
             {DigitMode::fixed, 0, "12346", 5},
         }},
        {"12344.5",
         "400C81C4000000000000000000000000",
         6,
         "123445",
         5,
         CutOff::zero,
         {
             {DigitMode::significant, 5, "12344", 5},
             {DigitMode::fixed, 0, "12344", 5},
         }},
        {"0.0999996",
         "3FFB99992E39CF2EA6DC783B7B00515F",
         12,
         "999996000000",
         -1,
         CutOff::below_half,
         {
             {DigitMode::significant, 12, "999996000000", -1},
             {DigitMode::fixed, 5, "10000", 0},
             {DigitMode::significant, 5, "10000", 0},
             {DigitMode::fixed, 1, "1", 0},
             {DigitMode::fixed, 0, "", 0},
         }},
        {"-1e-30",
         "BF9B4484BFEEBC29F863424B06F3529A",
         3,
         "999",
         -30,
         CutOff::above_half,
         {
             {DigitMode::fixed, 10, "", -10},
             {DigitMode::fixed, 29, "", -29},
             {DigitMode::fixed, 30, "1", -29},
             {DigitMode::significant, 3, "100", -29},
             {DigitMode::fixed, 33, "1000", -29},
         }},
    };
    for (const TruncationCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.label << " cut after " << c.count);
        const QuadReal value = bits(c.pattern);
        const auto exact = recio::truncated_digits(value, c.count);
        ASSERT_TRUE(exact.has_value());
        EXPECT_EQ(exact->text(), c.digits);
        EXPECT_EQ(exact->exponent, c.exponent);
        EXPECT_EQ(exact->rest, c.rest);
        for (const Rounding& r : c.roundings) {
            SCOPED_TRACE(testing::Message()
                         << (r.mode == DigitMode::fixed ? "fixed " : "significant ") << r.count);
            const auto rounded = recio::round_digits(*exact, r.mode, r.count);
            if (r.digits == nullptr) {
                EXPECT_FALSE(rounded.has_value());
                continue;
            }
            ASSERT_TRUE(rounded.has_value());
            EXPECT_EQ(rounded->text(), r.digits);
            EXPECT_EQ(rounded->exponent, r.exponent);
            EXPECT_EQ(rounded->negative, numeric::sign_bit(value));
            // The same as converting the value directly.
            const auto direct = recio::decimal_digits(value, r.mode, r.count);
            ASSERT_TRUE(direct.has_value());
            EXPECT_EQ(direct->text(), r.digits);
            EXPECT_EQ(direct->exponent, r.exponent);
        }
    }
}

// The machine-word path against the exact path over every binary exponent where
// a word can hold the scaled value (shifts from 1 to 191 bits), for every count a
// word holds: same digits, exponent and rest.
TEST(TruncatedDigits, WordPathAgreesWithExactPath) {
    std::mt19937_64 random(12);
    for (int biased = 16383 - 90; biased <= 16383 + 66; ++biased) {
        for (int count = 1; count <= 20; ++count) {
            for (int i = 0; i < 8; ++i) {
                const std::uint64_t low = random();
                QuadReal value = QuadReal::from_words(
                    (random() & 0x8000FFFFFFFFFFFFULL) | (static_cast<std::uint64_t>(biased) << 48),
                    low);
                if (i % 2 == 0) {
                    value.low &= ~((std::uint64_t{1} << (random() % 64)) - 1);  // short fractions
                }
                const auto fast = recio::truncated_digits(value, count);
                const auto exact =
                    recio::truncated_digits(value, count, recio::DigitPath::exact_only);
                ASSERT_TRUE(fast && exact);
                ASSERT_EQ(fast->text(), exact->text()) << biased << ' ' << count;
                ASSERT_EQ(fast->exponent, exact->exponent) << biased << ' ' << count;
                ASSERT_EQ(fast->rest, exact->rest) << biased << ' ' << count;
            }
        }
    }
}

}  // namespace

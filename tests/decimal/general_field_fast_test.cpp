// The general field by the machine-word digits against the field by the exact
// big-number digits, on the values the machine word takes: both must give the
// same bytes.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "decimal/decimal_conversion.hpp"
#include "decimal/general_field.hpp"

namespace {

using numeric::QuadReal;

std::string field_of(QuadReal value, int width, int digits, bool exactly) {
    std::string field(static_cast<std::size_t>(width), '?');
    if (exactly) {
        recio::format_general_field_exactly(value, width, digits, field);
    } else {
        recio::format_general_field(value, width, digits, field);
    }
    return field;
}

QuadReal from_text(const std::string& text) {
    return recio::convert_numeric_value(text).value;
}

void expect_same_field(QuadReal value, int width = 12, int digits = 5) {
    ASSERT_EQ(field_of(value, width, digits, false), field_of(value, width, digits, true))
        << std::hex << value.high << ' ' << value.low << std::dec << " w=" << width
        << " d=" << digits;
}

TEST(GeneralFieldShortcut, AgreesOnRandomBinaryValuesOfOrdinaryMagnitude) {
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 400000; ++i) {
        const std::uint64_t biased = 16383 - 70 + random() % 120;  // about 1e-21 to 1e15
        const std::uint64_t low = random();
        QuadReal value =
            QuadReal::from_words((random() & 0x8000FFFFFFFFFFFFULL) | (biased << 48), low);
        if (i % 4 == 0) {
            value.low &= ~((std::uint64_t{1} << (random() % 64)) - 1);  // short binary fractions
        }
        expect_same_field(value);
    }
}

TEST(GeneralFieldShortcut, AgreesOnDecimalTiesAndFormBoundaries) {
    // Exact ties at the 5th and at the 12th significant digit, carries, and the
    // edges of the fixed form, just above and below.
    const char* texts[] = {"12345.5",
                           "12344.5",
                           "99999.5",
                           "99999.4999999999",
                           "9.99996",
                           "0.0999996",
                           "0.1",
                           "0.09999949999",
                           "0.09999950000",
                           "1",
                           "0.5",
                           "123465",
                           "123475",
                           "99999",
                           "100000",
                           "99999.499999",
                           "999999999999.5",
                           "0.0100000000000005",
                           "1234567.25",
                           "0.00390625",
                           "0.999995",
                           "0.9999949999999",
                           "9.999995",
                           "99999.95",
                           "1e-15",
                           "9.99999999999e-16",
                           "1e12",
                           "999999999999",
                           "5e-16"};
    for (const char* text : texts) {
        for (const char* sign : {"", "-"}) {
            expect_same_field(from_text(std::string(sign) + text));
        }
    }
}

TEST(GeneralFieldShortcut, AgreesOnMeasurementLikeDecimalsAndOtherShapes) {
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int> digits_of_fraction(0, 9);
    for (int i = 0; i < 100000; ++i) {
        const auto whole = random() % 100000;
        std::string text = std::to_string(whole) + ".";
        for (int d = 0, n = digits_of_fraction(random); d < n; ++d) {
            text.push_back(static_cast<char>('0' + random() % 10));
        }
        const QuadReal value = from_text(text);
        expect_same_field(value);
        const int width = 6 + static_cast<int>(random() % 12);
        const int shown = 2 + static_cast<int>(random() % static_cast<std::uint64_t>(width - 3));
        expect_same_field(value, width, shown);
    }
}

}  // namespace

namespace {

TEST(GeneralFieldShortcut, OrdinaryAndFarValues) {
    struct Case {
        const char* text;
        const char* field;
    };
    const Case cases[] = {
        {"679.4055", "  679.41    "}, {"0.0999996", " 0.10000    "}, {"-210000", "-0.21000E+06"},
        {"1e10", " 0.10000E+11"},     {"1e100", " 0.10000+101"},     {"1e-100", " 0.10000E-99"},
        {"1e13", " 0.10000E+14"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(field_of(from_text(c.text), 12, 5, false), c.field) << c.text;
        EXPECT_EQ(field_of(from_text(c.text), 12, 5, true), c.field) << c.text;
    }
}

}  // namespace

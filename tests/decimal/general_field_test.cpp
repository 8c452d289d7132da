#include "decimal/general_field.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "numeric/bit_pattern.hpp"

namespace {

using numeric::QuadReal;

QuadReal bits(const char* pattern) {
    return numeric::parse_bit_pattern(pattern).value();
}

std::string field(const char* pattern, int width = 12, int digits = 5) {
    std::array<char, 80> out;
    out.fill('#');
    recio::format_general_field(bits(pattern), width, digits, out);
    // Nothing beyond the field is touched.
    for (std::size_t i = static_cast<std::size_t>(width); i < out.size(); ++i) {
        EXPECT_EQ(out[i], '#') << "byte " << i << " written for " << pattern;
    }
    return std::string(out.data(), static_cast<std::size_t>(width));
}

struct FieldCase {
    const char* value;  // the decimal whose nearest binary128 value is `pattern`
    const char* pattern;
    const char* field;
};

TEST(GeneralFieldTest, TwelveColumnsFiveDigits) {
    const FieldCase cases[] = {
        {"210000", "40109A28000000000000000000000000", " 0.21000E+06"},
        {"100000", "400F86A0000000000000000000000000", " 0.10000E+06"},
        {"99999.5", "400F869F800000000000000000000000", " 0.10000E+06"},
        {"99999.4999999999", "400F869F7FFFFFFF920C8098A1091521", " 0.99999E+05"},
        {"99999", "400F869F000000000000000000000000", "  99999.    "},
        {"70000", "400F1170000000000000000000000000", "  70000.    "},
        {"12345.5", "400C81CC000000000000000000000000", "  12346.    "},
        {"12344.5", "400C81C4000000000000000000000000", "  12344.    "},
        {"123465", "400FE249000000000000000000000000", " 0.12346E+06"},
        {"123475", "400FE253000000000000000000000000", " 0.12348E+06"},
        {"9.99996", "40023FFFAC1D29DC725C3DEE78183F92", "  10.000    "},
        {"1", "3FFF0000000000000000000000000000", "  1.0000    "},
        {"0.5", "3FFE0000000000000000000000000000", " 0.50000    "},
        {"0.1", "3FFB999999999999999999999999999A", " 0.10000    "},
        {"0.0999996", "3FFB99992E39CF2EA6DC783B7B00515F", " 0.10000    "},
        {"0.09", "3FFB70A3D70A3D70A3D70A3D70A3D70A", " 0.90000E-01"},
        {"0.001", "3FF50624DD2F1A9FBE76C8B439581062", " 0.10000E-02"},
        {"0", "00000000000000000000000000000000", "  0.0000    "},
        {"-0", "80000000000000000000000000000000", "  0.0000    "},
        {"-0.5", "BFFE0000000000000000000000000000", "-0.50000    "},
        {"-70000", "C00F1170000000000000000000000000", " -70000.    "},
        {"-210000", "C0109A28000000000000000000000000", "-0.21000E+06"},
        {"10^10", "40202A05F20000000000000000000000", " 0.10000E+11"},
        {"10^100", "414B249AD2594C37CEB0B2784C4CE0BF", " 0.10000+101"},
        {"10^-100", "3EB2BFF2EE48E052FD7AB2F0FC572779", " 0.10000E-99"},
        {"10^-101", "3EAF665BF1D3E6A8CAC88F273045B92D", " 0.10000-100"},
        {"-10^-101", "BEAF665BF1D3E6A8CAC88F273045B92D", "-0.10000-100"},
        {"10^1000", "4CF8E71B63F3BA7B580AF1A52D2A7379", "0.10000+1001"},
        {"-10^1000", "CCF8E71B63F3BA7B580AF1A52D2A7379", "-.10000+1001"},
        {"default NaN", "FFFF8000000000000000000000000000", " NaN        "},
        {"signalling NaN", "7FFF0000000000000000000000000001", " NaN        "},
        {"+Infinity", "7FFF0000000000000000000000000000", " Infinity   "},
        {"-Infinity", "FFFF0000000000000000000000000000", " -Infinity  "},
        {"largest finite", "7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF", "0.11897+4933"},
        {"smallest subnormal", "00000000000000000000000000000001", "0.64752-4965"},
        {"-smallest subnormal", "80000000000000000000000000000001", "-.64752-4965"},
    };
    for (const FieldCase& c : cases) {
        EXPECT_EQ(field(c.pattern), c.field) << c.value << " = " << c.pattern;
    }
}

// The same rules at other widths and digit counts, and the asterisk fallback.
TEST(GeneralFieldTest, OtherWidthsAndDigitCounts) {
    const struct {
        const char* value;
        const char* pattern;
        int width;
        int digits;
        const char* field;
    } cases[] = {
        {"1234.5", "400934A0000000000000000000000000", 10, 3, " 0.123E+04"},
        {"12.3456", "40028B0F27BB2FEC56D5CFAACD9E83E4", 10, 3, "  12.3    "},
        {"0.96", "3FFEEB851EB851EB851EB851EB851EB8", 13, 1, "       1.    "},
        {"1.5", "3FFF8000000000000000000000000000", 13, 1, "       2.    "},
        {"2.5", "40004000000000000000000000000000", 13, 1, "       2.    "},
        {"0.05", "3FFA999999999999999999999999999A", 12, 2, "    0.50E-01"},
        {"10^1000", "4CF8E71B63F3BA7B580AF1A52D2A7379", 11, 5, ".10000+1001"},
        {"-10^1000", "CCF8E71B63F3BA7B580AF1A52D2A7379", 11, 5, "***********"},
        {"10^100", "414B249AD2594C37CEB0B2784C4CE0BF", 6, 3, "******"},
        {"0.5", "3FFE0000000000000000000000000000", 8, 5, "********"},
        {"0.5", "3FFE0000000000000000000000000000", 11, 5, "0.50000    "},
        {"-0.5", "BFFE0000000000000000000000000000", 11, 5, "-.50000    "},
        {"-0.5", "BFFE0000000000000000000000000000", 10, 5, "**********"},
        {"1", "3FFF0000000000000000000000000000", 4, 5, "****"},
        {"NaN", "FFFF8000000000000000000000000000", 3, 5, "***"},
        {"+Infinity", "7FFF0000000000000000000000000000", 9, 5, " Infinity"},
        {"-Infinity", "FFFF0000000000000000000000000000", 9, 5, "*********"},
        {"1", "3FFF0000000000000000000000000000", 12, 0, "************"},
        {"1", "3FFF0000000000000000000000000000", 12, 48, "************"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(field(c.pattern, c.width, c.digits), c.field)
            << c.value << " in G" << c.width << "." << c.digits;
    }
}

TEST(GeneralFieldTest, AreaSmallerThanTheFieldGetsAsterisks) {
    std::array<char, 11> out;
    out.fill('#');
    recio::format_general_field(bits("3FFF0000000000000000000000000000"), 12, 5, out);
    EXPECT_EQ(std::string(out.data(), out.size()), "***********");
}

}  // namespace

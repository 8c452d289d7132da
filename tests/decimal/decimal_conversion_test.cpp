#include "decimal/decimal_conversion.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "decimal/decimal_exact.hpp"
#include "decimal/decimal_fast_path.hpp"
#include "decimal/decimal_scan.hpp"
#include "numeric/bit_pattern.hpp"

namespace {

using recio::DecimalKind;

// The result as the quadprobe tool writes it: 32 hex digits or "error 64".
std::string result_of(const recio::ConvertedValue& converted) {
    if (!converted.ok) {
        return "error 64";
    }
    const auto digits = numeric::to_bit_pattern(converted.value);
    return std::string(digits.data(), digits.size());
}

std::string convert(std::string_view text) {
    return result_of(recio::convert_numeric_value(text));
}

// Concatenation; spares g++ 12 a false -Wrestrict alarm on "literal" + std::string.
template <typename... Parts>
std::string joined(const Parts&... parts) {
    std::string text;
    (text.append(std::string_view(parts)), ...);
    return text;
}

struct ConversionCase {
    const char* text;
    const char* expected;
};

// Expected patterns from exact rational arithmetic (tools/reference/binary128.py).
TEST(DecimalConversion, ValueTable) {
    const ConversionCase cases[] = {
        {"1.5E3", "40097700000000000000000000000000"},
        {"1.5e3", "40097700000000000000000000000000"},
        {"1.5D3", "40097700000000000000000000000000"},
        {"1.5d3", "40097700000000000000000000000000"},
        {"1.5Q3", "40097700000000000000000000000000"},
        {"1.5q3", "40097700000000000000000000000000"},
        {"1.5+3", "40097700000000000000000000000000"},
        {"1.5E+3", "40097700000000000000000000000000"},
        {"1500", "40097700000000000000000000000000"},
        {"1.5E-3", "3FF589374BC6A7EF9DB22D0E56041893"},
        {"1.5-3", "3FF589374BC6A7EF9DB22D0E56041893"},
        {"5E", "40014000000000000000000000000000"},
        {"+.5", "3FFE0000000000000000000000000000"},
        {"5.", "40014000000000000000000000000000"},
        {"1E0003", "4008F400000000000000000000000000"},
        {"-0", "80000000000000000000000000000000"},
        {"-0.0", "80000000000000000000000000000000"},
        {"-0E5", "80000000000000000000000000000000"},
        {"+0", "00000000000000000000000000000000"},
        {"1E4932", "7FFEAE596552B8FDED99D037E3D04B75"},
        {"1E4933", "error 64"},
        {"-1E4933", "error 64"},
        {"1E-5000", "00000000000000000000000000000000"},
        {"-1E-5000", "80000000000000000000000000000000"},
        {"3E-4966", "00000000000000000000000000000000"},
        {"4E-4966", "00000000000000000000000000000001"},
        // 2^113 + 1 is halfway between 2^113 and 2^113 + 2: away from zero.
        {"10384593717069655257060992658440193", "40700000000000000000000000000001"},
        {"-10384593717069655257060992658440193", "C0700000000000000000000000000001"},
        {"9.42", "40022D70A3D70A3D70A3D70A3D70A3D7"},
        {"1523.4567", "40097CDD3A92A305532617C1BDA5119D"},
        {"0.1", "3FFB999999999999999999999999999A"},
        {"6.02214076E23", "404DFE185CA57C517318000000000000"},
        {"6.62607015E-34", "3F90B860BDE02311132F74A8309FEA1D"},
        {"Inf", "7FFF0000000000000000000000000000"},
        {"-INFINITY", "FFFF0000000000000000000000000000"},
        {"+iNfInItY", "7FFF0000000000000000000000000000"},
        {"nan", "FFFF8000000000000000000000000000"},
        {"-NaN", "FFFF8000000000000000000000000000"},
        {"+NAN", "FFFF8000000000000000000000000000"},
        {"Infin", "error 64"},
        {"Na", "error 64"},
        {"N", "error 64"},
        {"NaNa", "error 64"},
        {"Info", "error 64"},
        {"Infx", "error 64"},
        {"Index", "error 64"},
        {"Nr.", "error 64"},
        {"1E5+3", "error 64"},
        {"1.5+3+1", "error 64"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(convert(text), expected) << text;
    }
}

// Texts that the reader's scan already refuses still get a clean refusal here.
TEST(DecimalConversion, RejectsEverythingThatIsNotAValue) {
    const char* const texts[] = {
        "",      "+",    "-",    ".",   "+.",   "E5", ".E5", "1..5", "1.5.", "1E5E2", "--5",
        "5+-3",  "+-5",  "1E+",  "1E-", "1.5-", "5x", "5;",  " 5",   "5 ",   "1,5",   "0x10",
        "5E+-3", "5EE3", "5E3.", "*5",  "5*",   "T",  "'5'", "1E5-", "5e3e", "\r5",   "5\r",
    };
    for (const char* text : texts) {
        EXPECT_EQ(convert(text), "error 64") << '"' << text << '"';
    }
    EXPECT_EQ(convert(std::string_view("5\0", 2)), "error 64");
    EXPECT_EQ(convert(std::string_view("\0"
                                       "5",
                                       2)),
              "error 64");
}

TEST(DecimalScan, TakesTheTextApartWithoutCopying) {
    struct ScanCase {
        const char* text;
        DecimalKind kind;
        bool negative;
        const char* integer_digits;
        const char* fraction_digits;
        std::int64_t exponent;
    };
    constexpr std::int64_t kLimit = recio::kExponentLimit;
    const ScanCase cases[] = {
        {"05.50", DecimalKind::number, false, "5", "50", 0},
        {"-000", DecimalKind::number, true, "", "", 0},
        {"+.5e", DecimalKind::number, false, "", "5", 0},
        {"12.D-07", DecimalKind::number, false, "12", "", -7},
        {"1.5+3", DecimalKind::number, false, "1", "5", 3},
        {"1.5-0003", DecimalKind::number, false, "1", "5", -3},
        {"1q99999999999999999999999999", DecimalKind::number, false, "1", "", kLimit},
        {"1E-99999999999999999999999999", DecimalKind::number, false, "1", "", -kLimit},
        {"-iNF", DecimalKind::infinity, true, "", "", 0},
        {"Infinity", DecimalKind::infinity, false, "", "", 0},
        {"+nan", DecimalKind::nan, false, "", "", 0},
        {"Nan.", DecimalKind::malformed, false, "", "", 0},
        {"1E+", DecimalKind::malformed, false, "", "", 0},
        {"5+", DecimalKind::malformed, false, "", "", 0},
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        const recio::ScannedDecimal scanned = recio::scan_decimal(text);
        EXPECT_EQ(scanned.kind, c.kind) << c.text;
        if (c.kind == DecimalKind::malformed) {
            continue;
        }
        EXPECT_EQ(scanned.negative, c.negative) << c.text;
        EXPECT_EQ(scanned.integer_digits, c.integer_digits) << c.text;
        EXPECT_EQ(scanned.fraction_digits, c.fraction_digits) << c.text;
        EXPECT_EQ(scanned.exponent, c.exponent) << c.text;
        for (const std::string_view part : {scanned.integer_digits, scanned.fraction_digits}) {
            if (!part.empty()) {
                EXPECT_TRUE(part.data() >= text.data() &&
                            part.data() + part.size() <= text.data() + text.size());
            }
        }
    }
}

// Entries checked against 10^q as an exact fraction: m * 2^b <= 10^q < (m + 1) * 2^b.
TEST(DecimalFastPath, PowerOfTenTable) {
    struct TableCase {
        int q;
        std::uint64_t high, middle, low;
        std::int32_t binary_exponent;
        bool exact;
    };
    const TableCase cases[] = {
        {-128, 0xDDD0467C64BCE4A0ULL, 0xAC7CB3F6D05DDBDEULL, 0xE26CA6063461FFFAULL, -617, false},
        {-1, 0xCCCCCCCCCCCCCCCCULL, 0xCCCCCCCCCCCCCCCCULL, 0xCCCCCCCCCCCCCCCCULL, -195, false},
        {0, 0x8000000000000000ULL, 0, 0, -191, true},
        {1, 0xA000000000000000ULL, 0, 0, -188, true},
        {82, 0xA8ACD7C0222311BCULL, 0xC40832EA0D68CE0CULL, 0xD78775ABB1B061B2ULL, 81, true},
        {83, 0xD2D80DB02AABD62BULL, 0xF50A3FA490C30190ULL, 0x0D6953169E1C7A1EULL, 84, false},
        {128, 0x93BA47C980E98CDFULL, 0xC66F336C36B10137ULL, 0x0234F3FD7B08DD39ULL, 234, false},
    };
    for (const auto& c : cases) {
        const auto& entry = recio::power_of_ten_approximation(c.q);
        EXPECT_EQ(entry.high, c.high) << c.q;
        EXPECT_EQ(entry.middle, c.middle) << c.q;
        EXPECT_EQ(entry.low, c.low) << c.q;
        EXPECT_EQ(entry.binary_exponent, c.binary_exponent) << c.q;
        EXPECT_EQ(entry.exact, c.exact) << c.q;
    }
}

std::optional<std::string> fast(std::string_view text) {
    const auto value = recio::fast_path_convert(recio::scan_decimal(text));
    if (!value) {
        return std::nullopt;
    }
    return result_of({*value, true});
}

std::string exact(std::string_view text) {
    return result_of(recio::exact_path_convert(recio::scan_decimal(text)));
}

// The edges of the fast path: its digit count and exponent range, 64-bit digit
// integers, exact ties (decided by the fast path where the power of ten is exact)
// and ties that the truncated product cannot decide (left to the exact path).
TEST(DecimalFastPath, AgreesWithExactPathOnItsBoundary) {
    struct BoundaryCase {
        const char* text;
        bool fast_path_decides;
        const char* expected;
    };
    const BoundaryCase cases[] = {
        {"1E128", true, "41A827748F9301D319BF8CDE66D86D62"},
        {"1E129", false, "41AB7151B377C247E02F7016008E88BB"},
        {"1E-128", true, "3E55BBA08CF8C979C94158F967EDA0BC"},
        {"1E-129", false, "3E5262E6D72D6DFB07677A611FF14D63"},
        {"99999999999999999999999999999999999999", true, "407D2CED32A16A1B11E8262889000000"},
        {"99999999999999999999999999999999999999E-128", true, "3ED404BD984990E6F05F1DA800CD1818"},
        {"123456789012345678901234567890123456789E-20", false, "403B12210F47DE981150329161F20B24"},
        {"18446744073709551615", true, "403EFFFFFFFFFFFFFFFE000000000000"},
        {"18446744073709551616", true, "403F0000000000000000000000000000"},
        {"1.8446744073709551617E19", true, "403F0000000000000001000000000000"},
        {"1000000000000000000000000000000000000000000000", true,
         "409466BB7F0435C9E717BB4500591500"},
        // Ties with an exact power of ten: 2^113 + 1, 2^113 + 3, and midpoints that
        // end in 5, 19 and 30 zeros.
        {"10384593717069655257060992658440193", true, "40700000000000000000000000000001"},
        {"10384593717069655257060992658440195", true, "40700000000000000000000000000002"},
        {"5315725555394428577200002755397E5", true, "4075998233ABADFA8A24EA13FD1AF8A5"},
        {"582236002581358827767E19", true, "408311C41C087C669FA0E309BD454CEE"},
        {"20577058192903E30", true, "408ED86D140C38DCBBE9806B0E0E99D0"},
        // Ties below 2^113 need a negative power of ten; the product falls short of
        // the midpoint by less than its error bound.
        {"5192296858534827628530496329220096.5", false, "406F0000000000000000000000000001"},
        {"2596148429267413814265248164610048.25", false, "406E0000000000000000000000000001"},
        {"2596148429267413814265248164610048.75", false, "406E0000000000000000000000000002"},
        {"-1298074214633706907132624082305024.125", false, "C06D0000000000000000000000000001"},
        {"324518553658426726783156020576256.03125", false, "406B0000000000000000000000000001"},
        {"5192296858534827628530496329220096.4999", true, "406F0000000000000000000000000000"},
        {"5192296858534827628530496329220096.49999", false, "406F0000000000000000000000000000"},
    };
    for (const auto& c : cases) {
        const auto fast_result = fast(c.text);
        EXPECT_EQ(fast_result.has_value(), c.fast_path_decides) << c.text;
        if (fast_result) {
            EXPECT_EQ(*fast_result, c.expected) << c.text;
        }
        EXPECT_EQ(exact(c.text), c.expected) << c.text;
        EXPECT_EQ(convert(c.text), c.expected) << c.text;
    }
}

// Random values inside and just outside the fast path's range: whenever the fast
// path answers, it answers as the exact path does; inside its range it almost
// never declines, outside it never answers.
TEST(DecimalFastPath, AgreesWithExactPathOnRandomValues) {
    std::mt19937_64 random(20261208);
    int in_range = 0;
    int declined_in_range = 0;
    for (int i = 0; i < 100000; ++i) {
        const int digit_count = 1 + static_cast<int>(random() % 40);
        std::string text;
        for (int d = 0; d < digit_count; ++d) {
            // No zero at either end: every digit is significant.
            const bool at_end = d == 0 || d == digit_count - 1;
            text += static_cast<char>(at_end ? '1' + random() % 9 : '0' + random() % 10);
        }
        const int q = static_cast<int>(random() % 271) - 135;
        text += joined("E", std::to_string(q));
        const bool inside = digit_count <= recio::kFastPathMaxDigits &&
                            q >= recio::kFastPathMinPowerOfTen &&
                            q <= recio::kFastPathMaxPowerOfTen;
        const auto fast_result = fast(text);
        if (fast_result) {
            ASSERT_TRUE(inside) << text;
            ASSERT_EQ(*fast_result, exact(text)) << text;
        }
        in_range += inside ? 1 : 0;
        declined_in_range += (inside && !fast_result) ? 1 : 0;
    }
    // Declining needs a product within 2^-77 ulp below a midpoint, which in practice
    // means an exact tie with a negative power of ten (such as a value in
    // [2^112, 2^113) ending in .5); this seed meets one.
    EXPECT_GT(in_range, 75000);
    EXPECT_LE(declined_in_range, 10);
}

// The one-word product against the exact path: digit integers of every length with
// negative powers of ten, and values that are exact in binary (m * 5^k * 10^-k),
// which its rounded-up power must not push over a rounding boundary. First the
// products too close to call, where rounding the one-word product itself would
// give the wrong neighbour.
TEST(DecimalFastPath, OneWordProductAgreesWithExactPath) {
    const auto agree = [](std::uint64_t w, int k) {
        const std::string text = joined(std::to_string(w), "E-", std::to_string(k));
        const auto fast_result = recio::fast_path_round_word(false, w, -k);
        ASSERT_TRUE(fast_result.has_value()) << text;
        ASSERT_EQ(result_of({*fast_result, true}), exact(text)) << text;
    };
    for (const std::string text : {"5198762499546785269E-27", "1286148526E-8", "14884125E-21",
                                   "1910E-45", "7766E-22", "9022E-30", "12221E-49", "767E-77"}) {
        agree(std::stoull(text), std::stoi(text.substr(text.find('-') + 1)));
    }
    std::mt19937_64 random(20261209);
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t w = random() >> (random() % 64);
        int k = 1 + static_cast<int>(random() % 128);
        if (i % 2 == 1) {
            k = 1 + static_cast<int>(random() % 27);
            w = (1 + random() % 100000) * recio::kPowersOfFive[static_cast<std::size_t>(k)];
        }
        agree(w, k);
    }
}

// The decimal digits of m * 5^k, by schoolbook arithmetic in base 10^9: m * 2^-k
// written as digits * 10^-k.
std::string digits_of_times_power_of_five(std::uint64_t high, std::uint64_t low, int k) {
    std::vector<std::uint32_t> words;  // base 10^9, least significant first
    auto multiply_add = [&words](std::uint64_t factor, std::uint64_t addend) {
        std::uint64_t carry = addend;
        for (auto& word : words) {
            const std::uint64_t t = static_cast<std::uint64_t>(word) * factor + carry;
            word = static_cast<std::uint32_t>(t % 1000000000);
            carry = t / 1000000000;
        }
        while (carry != 0) {
            words.push_back(static_cast<std::uint32_t>(carry % 1000000000));
            carry /= 1000000000;
        }
    };
    // m = ((high * 2^32) + low / 2^32) * 2^32 + low % 2^32
    multiply_add(1, high);
    multiply_add(std::uint64_t{1} << 32, low >> 32);
    multiply_add(std::uint64_t{1} << 32, low & 0xFFFFFFFFU);
    for (int i = 0; i < k; ++i) {
        multiply_add(5, 0);
    }
    std::string text = std::to_string(words.back());
    for (std::size_t i = words.size() - 1; i-- > 0;) {
        const std::string part = std::to_string(words[i]);
        text += std::string(9 - part.size(), '0') + part;
    }
    return text;
}

std::string minus_one_in_last_digit(std::string digits) {
    std::size_t i = digits.size() - 1;
    while (digits[i] == '0') {
        digits[i--] = '9';
    }
    --digits[i];
    return digits;
}

// The extremes of the digit count: half the smallest subnormal (11,530 digits), and
// the midpoint with the most digits of all, (2^114 - 1) * 2^-16495 (11,564 digits),
// between the largest value with biased exponent 1 and 2^-16381.
TEST(DecimalExactPath, MidpointsWithTheMostDigits) {
    const std::string half_smallest = digits_of_times_power_of_five(0, 1, 16495);
    const std::string longest = digits_of_times_power_of_five(0x3'FFFF'FFFF'FFFFULL, ~0ULL, 16495);
    ASSERT_EQ(half_smallest.size(), 11530U);
    ASSERT_EQ(longest.size(), 11564U);
    const std::string many_zeros(20000, '0');
    struct DigitCase {
        std::string text;
        const char* expected;
    };
    const DigitCase digit_cases[] = {
        {joined(half_smallest, "E-16495"), "00000000000000000000000000000001"},
        {joined("-", half_smallest, "E-16495"), "80000000000000000000000000000001"},
        {joined(minus_one_in_last_digit(half_smallest), "E-16495"),
         "00000000000000000000000000000000"},
        {joined("-", minus_one_in_last_digit(half_smallest), "E-16495"),
         "80000000000000000000000000000000"},
        {joined(longest, "E-16495"), "00020000000000000000000000000000"},
        {joined(longest, many_zeros, "E-36495"), "00020000000000000000000000000000"},
        {joined(longest, many_zeros, "1E-36496"), "00020000000000000000000000000000"},
        {joined(minus_one_in_last_digit(longest), "E-16495"), "0001FFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
        {joined(minus_one_in_last_digit(longest), std::string(3000, '9'), "E-19495"),
         "0001FFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
        {joined("0.", std::string(4931, '0'), longest), "00020000000000000000000000000000"},
    };
    for (const auto& c : digit_cases) {
        EXPECT_EQ(convert(c.text), c.expected) << c.text.substr(0, 40);
    }
}

// Only a bounded prefix of the digits is ever worked on; the rest is only read.
TEST(DecimalExactPath, MillionDigitValues) {
    const std::string million_zeros(1000000, '0');
    EXPECT_EQ(convert(joined("1.", million_zeros, "1")), "3FFF0000000000000000000000000000");
    EXPECT_EQ(convert(joined("0.", million_zeros, "1")), "00000000000000000000000000000000");
    EXPECT_EQ(convert(joined("-.", million_zeros, "1E1000000")),
              "BFFB999999999999999999999999999A");
    EXPECT_EQ(convert(joined("1", million_zeros, "E-1000000")), "3FFF0000000000000000000000000000");
    EXPECT_EQ(convert(joined("1", million_zeros)), "error 64");
    EXPECT_EQ(convert(joined(std::string(1000000, '9'), "E-995067")), "error 64");
    EXPECT_EQ(convert(joined(std::string(1000000, '9'), "E-995068")),
              "7FFEAE596552B8FDED99D037E3D04B75");
    EXPECT_EQ(convert(joined("1", million_zeros, "x")), "error 64");
}

// Any byte string is refused or converted; nothing is converted that is not a value.
TEST(DecimalConversion, ArbitraryBytes) {
    const std::regex value(
        "[+-]?(([0-9]+\\.?[0-9]*|\\.[0-9]+)([EeDdQq]([+-]?[0-9]+)?|[+-][0-9]+)?|"
        "[Ii][Nn][Ff]([Ii][Nn][Ii][Tt][Yy])?|[Nn][Aa][Nn])");
    std::mt19937_64 random(7);
    const std::string alphabet = "0123456789.EeDdQq+-InfatyN";
    for (int i = 0; i < 50000; ++i) {
        std::string text(random() % 12, ' ');
        for (char& c : text) {
            c = (i % 4 == 0) ? static_cast<char>(random() % 256)
                             : alphabet[random() % alphabet.size()];
        }
        const recio::ConvertedValue converted = recio::convert_numeric_value(text);
        if (converted.ok) {
            ASSERT_TRUE(std::regex_match(text, value)) << text;
        } else if (std::regex_match(text, value)) {
            // Only overflow refuses a value: a short text with a big exponent.
            ASSERT_NE(text.find_first_of("EeDdQq+-"), std::string::npos) << text;
        }
    }
}

}  // namespace

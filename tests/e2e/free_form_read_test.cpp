// The free-form reader through `quadprobe read N`: every request of N items on
// standard input prints its items, "-" for one left unchanged.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/child_process.hpp"

namespace {

// Bit patterns of the values used below, computed independently with exact
// rational arithmetic (tools/reference/binary128.py).
const std::map<std::string, std::string> kPatterns = {
    {"1", "3FFF0000000000000000000000000000"},    {"2", "40000000000000000000000000000000"},
    {"2.5", "40004000000000000000000000000000"},  {"3", "40008000000000000000000000000000"},
    {"4", "40010000000000000000000000000000"},    {"5", "40014000000000000000000000000000"},
    {"7", "4001C000000000000000000000000000"},    {"8", "40020000000000000000000000000000"},
    {"9", "40022000000000000000000000000000"},    {"100", "40059000000000000000000000000000"},
    {"300", "40072C00000000000000000000000000"},  {"0.01", "3FF847AE147AE147AE147AE147AE147B"},
    {"-1", "BFFF0000000000000000000000000000"},   {"0", "00000000000000000000000000000000"},
    {"-0", "80000000000000000000000000000000"},   {"inf", "7FFF0000000000000000000000000000"},
    {"-inf", "FFFF0000000000000000000000000000"}, {"nan", "FFFF8000000000000000000000000000"},
};

// "1 - 2.5" -> the patterns of 1 and 2.5 around a "-".
std::string expected_output(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string word;
        bool first = true;
        while (words >> word) {
            out += first ? "" : " ";
            out += word == "-" ? word : kPatterns.at(word);
            first = false;
        }
        out += "\n";
    }
    return out;
}

struct ReadCase {
    const char* name;
    std::string input;
    int items;
    std::vector<std::string> lines;  // one per completed request
    int status;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class FreeFormRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FreeFormRead, ServesTheItemsOfEachRequest) {
    const ReadCase& c = GetParam();
    testsupport::ChildOptions options;
    options.arguments = {QUADPROBE_BINARY, "read", std::to_string(c.items)};
    const auto result = testsupport::run_child(options, c.input);
    EXPECT_EQ(result.out, expected_output(c.lines)) << c.input;
    EXPECT_EQ(result.exit_status, c.status) << c.input << "\n" << result.err;
    if (c.status == 0) {
        EXPECT_EQ(result.err, "");
    }
}

const ReadCase kSeparators[] = {
    {"single_blanks", "1 2.5 0.01\n", 3, {"1 2.5 0.01"}, 0},
    {"commas", "1,2.5,0.01\n", 3, {"1 2.5 0.01"}, 0},
    {"blank_comma_blank", "1 , 2.5 , 0.01\n", 3, {"1 2.5 0.01"}, 0},
    {"tabs", "1\t2.5\t0.01\n", 3, {"1 2.5 0.01"}, 0},
    {"several_blanks", "  1    2.5     0.01   \n", 3, {"1 2.5 0.01"}, 0},
    {"crlf", "1 2.5 0.01\r\n7 8 9\r\n", 3, {"1 2.5 0.01", "7 8 9"}, 0},
    {"last_line_without_line_feed", "1 2.5 0.01\n7 8 9", 3, {"1 2.5 0.01", "7 8 9"}, 0},
    {"extra_values_discarded", "1 2.5 0.01 99\n7 8 9\n", 3, {"1 2.5 0.01", "7 8 9"}, 0},
    {"short_record_continues_into_next", "1 2.5\n0.01 7 8\n3 4 5\n", 3, {"1 2.5 0.01", "3 4 5"}, 0},
    {"blank_and_empty_records_passed_over", "\n   \n1\n\n2.5 0.01\n", 3, {"1 2.5 0.01"}, 0},
    {"decimal_commas", "1,5 2,3 0,01\n", 3, {"1 5 2"}, 0},
    {"second_line_after_two_numbers", "100 300\n7\n", 1, {"100", "7"}, 0},
    {"end_of_input_in_the_middle_returns_the_end", "1 2", 3, {}, 0},
    {"empty_input", "", 1, {}, 0},
    {"blank_lines_only", "\n \n\t\n", 1, {}, 0},
};
INSTANTIATE_TEST_SUITE_P(Separators, FreeFormRead, ::testing::ValuesIn(kSeparators),
                         [](const auto& info) { return std::string(info.param.name); });

const ReadCase kNullsAndSlashes[] = {
    {"double_comma", "1,,3\n", 3, {"1 - 3"}, 0},
    {"comma_blank_comma", "1, ,3\n", 3, {"1 - 3"}, 0},
    {"leading_comma", ",2,3\n", 3, {"- 2 3"}, 0},
    {"comma_at_end_and_start_of_records", "1,\n,3\n", 3, {"1 - 3"}, 0},
    {"value_then_record_beginning_with_comma", "1\n,2 3\n", 3, {"1 2 3"}, 0},
    {"record_of_a_comma_between_values", "1\n,\n2 3\n", 3, {"1 2 3"}, 0},
    {"comma_alone", ",\n", 1, {"-"}, 0},
    {"slash_alone", "/\n", 1, {"-"}, 0},
    {"slash_ends_the_list", "1 2.5 / 4\n", 3, {"1 2.5 -"}, 0},
    {"comma_after_last_value_abandoned", "1,\n2\n", 1, {"1", "2"}, 0},
    {"repeat_value", "3*2.5\n", 3, {"2.5 2.5 2.5"}, 0},
    {"repeat_nulls_then_value", "2*,7\n", 3, {"- - 7"}, 0},
    {"repeat_nulls_blank", "2* 7\n", 3, {"- - 7"}, 0},
    {"repeat_nulls_at_record_end", "3*\n", 3, {"- - -"}, 0},
    {"repeat_beyond_the_list_dropped", "5*2\n7 8 9\n", 3, {"2 2 2", "7 8 9"}, 0},
    {"repeat_then_slash", "2*/ 7\n", 3, {"- - -"}, 0},
    {"repeat_of_a_pair", "2*(1, 2) 3\n", 3, {"1 1 3"}, 0},
};
INSTANTIATE_TEST_SUITE_P(NullsAndSlashes, FreeFormRead, ::testing::ValuesIn(kNullsAndSlashes),
                         [](const auto& info) { return std::string(info.param.name); });

const ReadCase kValueForms[] = {
    {"logical_constants", "T F .t.\n", 3, {"-1 0 -1"}, 0},
    {"logical_words", "Time Force 1\n", 3, {"-1 0 1"}, 0},
    {"pair_takes_first_number", "(2.5, 3.0) 1 2\n", 3, {"2.5 1 2"}, 0},
    {"pair_over_records", "(2.5\n,\n-3.0E5\n) 7\n", 2, {"2.5 7"}, 0},
    {"pair_with_infinity_part", "(1, -INF) 2\n", 2, {"1 2"}, 0},
    {"signed_zero", "-0\n", 1, {"-0"}, 0},
    {"special_words", "Inf -INFINITY nan\n", 3, {"inf -inf nan"}, 0},
    {"string_continues_over_records", "'a\nb' 1\n", 2, {}, 64},
    {"nul_is_the_last_character_of_a_logical", std::string("1 T\0,2\n", 7), 3, {"1 -1 2"}, 0},
    {"pair_sign_apart_from_its_digits", "(1,- 2) 3\n", 2, {"1 3"}, 0},
    {"pair_sign_at_the_end_of_a_record", "(1,-\n2) 3\n", 2, {"1 3"}, 0},
};
INSTANTIATE_TEST_SUITE_P(ValueForms, FreeFormRead, ::testing::ValuesIn(kValueForms),
                         [](const auto& info) { return std::string(info.param.name); });

const ReadCase kFailures[] = {
    {"heading_word", "Zeit Kraft Weg\n", 3, {}, 59},
    {"word_beginning_with_i", "Index 1 2\n", 3, {}, 64},
    {"word_beginning_with_n", "Nr. 1 2\n", 3, {}, 64},
    {"quoted_word", "'Kraft' 1 2\n", 3, {}, 64},
    {"pair_without_second_number", "(2.5) 1 2\n", 3, {}, 59},
    {"pair_with_signed_exponent", "(2.5, 3E+1) 1 2\n", 3, {}, 59},
    {"opening_inside_pair", "((2.5, 1) 1 2\n", 3, {}, 59},
    {"closing_outside_pair", ") 1 2\n", 3, {}, 59},
    {"two_carriage_returns", "1 2 3\r\r\n", 3, {}, 59},
    {"double_point", "1..5\n", 1, {}, 59},
    {"double_sign", "--5\n", 1, {}, 59},
    {"sign_after_sign", "5+-3\n", 1, {}, 59},
    {"sign_alone", "+\n", 1, {}, 59},
    {"point_alone", ".\n", 1, {}, 59},
    {"exponent_without_mantissa", "E5\n", 1, {}, 59},
    {"star_first", "*5\n", 1, {}, 59},
    {"letter_inside", "5x\n", 1, {}, 59},
    {"semicolon", "5;\n", 1, {}, 59},
    {"trailing_sign", "1.5-\n", 1, {}, 59},
    {"repeat_count_not_integer", "2.5*1\n", 1, {}, 64},
    {"repeat_count_not_integer_before_a_slash", "1 2.5*/\n", 3, {}, 64},
    {"carriage_return_ends_a_logical", "T\rX 1 2\n", 3, {}, 59},
    {"pair_number_beginning_with_a_point", "(1,.5)\n", 1, {}, 59},
    {"pair_exponent_letter_without_digits", "(1,2E)\n", 1, {}, 59},
    {"repeat_count_zero", "0*5\n", 1, {}, 64},
    {"repeat_count_negative", "-2*5\n", 1, {}, 64},
    {"repeat_count_too_large", "2147483648*5\n", 1, {}, 64},
    {"repeat_count_wrong_before_a_pair_opening_with_a_null", "1,99999999999*(,,5\n", 2, {}, 64},
    {"pair_left_open_by_a_null_under_a_wrong_count", "-0*(, ,5,3) 7\n", 2, {}, 64},
    {"string_too_long", "'" + std::string(2050, 'x') + "'\n", 1, {}, 59},
    {"string_at_the_limit", "'" + std::string(2049, 'x') + "' 1\n", 2, {}, 64},
    {"conversion_error_raised_at_next_search", "Infx 1\n", 2, {}, 64},
    {"syntax_error_wins_over_pending_conversion_error", "Infx Zeit\n", 2, {}, 59},
    {"end_of_file_wins_over_pending_conversion_error", "Infx", 2, {}, 0},
};
INSTANTIATE_TEST_SUITE_P(Failures, FreeFormRead, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// quadprobe calc answers every well-formed command and stops at the first
// malformed one with a line on standard error and status 2.
TEST(QuadprobeCalc, StopsAtTheFirstMalformedCommand) {
    struct Case {
        const char* commands;
        const char* out;
    };
    const Case cases[] = {
        {"add 3FFF0000000000000000000000000000 3FFF0000000000000000000000000000\nadd 3FFF 1\n",
         "40000000000000000000000000000000\n"},
        {"pow 3FFF0000000000000000000000000000 2147483648\n", ""},
        {"sub 3FFF0000000000000000000000000000 3FFF0000000000000000000000000000\n", ""},
        {"fmt 3FFF0000000000000000000000000000 1\n", ""},
        {"\n", ""},
    };
    for (const Case& c : cases) {
        testsupport::ChildOptions options;
        options.arguments = {QUADPROBE_BINARY, "calc"};
        const auto result = testsupport::run_child(options, c.commands);
        EXPECT_EQ(result.out, c.out) << c.commands;
        EXPECT_EQ(result.exit_status, 2) << c.commands;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

}  // namespace

// Whole runs of the real program: console dialogue, measurement file, result line
// and plot.dat, compared byte for byte; and the plot command's reader on the same
// measurement file, which must read what the run reads.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>

#include "tests/support/child_process.hpp"
#include "tests/support/dialogue.hpp"
#include "tests/support/same_text.hpp"

namespace {

using testsupport::ChildOptions;
using testsupport::TempDir;

const std::string& kPrompts = testsupport::kAllPrompts;

std::string result_lines(const std::string& field) {
    return kPrompts + "\nE-unendlich = " + field + " MPa\n";
}

const std::string kHeaderRow = "  0.0000      0.0000    \n";
const std::string kNaNField = " NaN        ";

struct WholeRunCase {
    const char* name;
    std::optional<std::string> measurements;  // probe.txt; nothing: no such file
    std::string console;
    std::string out;
    std::optional<std::string> plot;  // nothing: plot.dat is not written
    int status = 0;
    std::string err;  // "{dir}" stands for the working directory
    // What emodul-points prints for the measurement file; when the run fails
    // while loading, the reader must end with the same diagnostic and status.
    std::optional<std::string> points = std::nullopt;
};

void PrintTo(const WholeRunCase& c, std::ostream* os) {
    *os << c.name;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class WholeRun : public ::testing::TestWithParam<WholeRunCase> {};

TEST_P(WholeRun, ProducesExactlyTheseBytes) {
    const WholeRunCase& c = GetParam();
    TempDir directory;
    if (c.measurements) {
        directory.write_file("probe.txt", *c.measurements);
    }
    const auto result = testsupport::run_child(
        testsupport::emodul_in(directory, {{"EVIO_DISABLE_STACK_TRACE", "true"}}), c.console);

    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, replace_all(c.err, "{dir}", directory.path()));
    EXPECT_EQ(result.exit_status, c.status);
    struct stat status {};
    const bool plot_exists = ::stat(directory.file("plot.dat").c_str(), &status) == 0;
    if (c.plot) {
        EXPECT_EQ(directory.read_file("plot.dat"), *c.plot);
    } else {
        EXPECT_FALSE(plot_exists);
    }
    if (!c.measurements && c.status == 0) {
        // The missing measurement file has been created, empty.
        EXPECT_EQ(directory.read_file("probe.txt"), "");
    }

    if (!c.points) {
        return;
    }
    TempDir reader_directory;
    if (c.measurements) {
        reader_directory.write_file("probe.txt", *c.measurements);
    }
    testsupport::ChildOptions reader =
        testsupport::emodul_in(reader_directory, {{"EVIO_DISABLE_STACK_TRACE", "true"}});
    reader.arguments = {POINTS_BINARY, "probe.txt"};
    const auto points = testsupport::run_child(reader);
    EXPECT_EQ(points.out, *c.points);
    EXPECT_EQ(points.err, replace_all(c.err, "{dir}", reader_directory.path()));
    EXPECT_EQ(points.exit_status, c.status);
    if (!c.measurements) {
        EXPECT_EQ(reader_directory.read_file("probe.txt"), "");
    }
}

// One value as emodul-points prints it: the 17 significant digits given (padded
// with zeros) as d.dddddddddddddddd and the power of ten.
std::string seventeen(std::string digits, int exponent) {
    digits.resize(17, '0');
    const std::string power = std::to_string(exponent < 0 ? -exponent : exponent);
    return digits.substr(0, 1) + "." + digits.substr(1) + (exponent < 0 ? "e-" : "e+") +
           (power.size() < 2 ? "0" : "") + power;
}

const std::string kStandardAnswers = "probe.txt\n100\n100\n10\n";
const std::string kTwiceSeries = "1 2 1\n2 4 2\n3 6 3\n";
const std::string kTwicePlot = kHeaderRow +
                               "  1.0000      2.0000    \n"
                               "  2.0000      4.0000    \n";
const std::string kTwicePoints = seventeen("1", 0) + " " + seventeen("2", 0) + "\n" +
                                 seventeen("2", 0) + " " + seventeen("4", 0) + "\n" +
                                 seventeen("3", 0) + " " + seventeen("6", 0) + "\n";

const WholeRunCase kSeriesCases[] = {
    {"force_twice_the_displacement", kTwiceSeries, kStandardAnswers, result_lines("  679.41    "),
     kTwicePlot},
    {"four_records_give_three_data_rows", "1 0.2 0.1\n2 0.4 0.2\n3 0.6 0.3\n4 0.8 0.4\n",
     kStandardAnswers, result_lines("  679.41    "),
     kHeaderRow + " 0.10000     0.20000    \n"
                  " 0.20000     0.40000    \n"
                  " 0.30000     0.60000    \n"},
    {"one_record", "1 2 1\n", kStandardAnswers, result_lines("  679.41    "),
     kHeaderRow + "  1.0000      2.0000    \n"},
    {"two_records", "1 2 1\n2 4 2\n", kStandardAnswers, result_lines("  679.41    "), kTwicePlot},
    {"five_records", kTwiceSeries + "4 8 4\n5 10 5\n", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot + "  3.0000      6.0000    \n"},
    {"empty_file", "", kStandardAnswers, result_lines(kNaNField), kHeaderRow, 0, "", ""},
    {"missing_file_is_created_empty", std::nullopt, kStandardAnswers, result_lines(kNaNField),
     kHeaderRow, 0, "", ""},
    {"distance_a_zero", kTwiceSeries, "probe.txt\n0\n100\n10\n", result_lines("  0.0000    "),
     kHeaderRow + "  1.0000    " + kNaNField + "\n  2.0000    " + kNaNField + "\n"},
    {"diameter_zero", kTwiceSeries, "probe.txt\n100\n100\n0\n", result_lines(" Infinity   "),
     kHeaderRow + "  1.0000    " + kNaNField + "\n  2.0000    " + kNaNField + "\n"},
};
INSTANTIATE_TEST_SUITE_P(Series, WholeRun, ::testing::ValuesIn(kSeriesCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::string point(const std::string& displacement, const std::string& force) {
    return displacement + " " + force + "\n";
}

const std::string kSyntaxError =
    "iodiag: severe (59): list-directed I/O syntax error, unit 10, file {dir}/probe.txt\n";
const std::string kConversionError =
    "iodiag: severe (64): input conversion error, unit 10, file {dir}/probe.txt\n";
const std::string kEndOfFile =
    "iodiag: severe (24): end-of-file during read, unit 10, file {dir}/probe.txt\n";

// The reader of the plot command is run on each of these files too.
const WholeRunCase kLoaderCases[] = {
    {"crlf_records", "1 2 1\r\n2 4 2\r\n3 6 3\r\n", kStandardAnswers, result_lines("  679.41    "),
     kTwicePlot, 0, "", kTwicePoints},
    {"last_record_without_line_feed", "1 2 1\n2 4 2\n3 6 3", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot, 0, "", kTwicePoints},
    {"empty_line_between_records", "1 2 1\n\n2 4 2\n3 6 3\n", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot, 0, "", kTwicePoints},
    {"trailing_empty_lines_not_counted", "1 2 1\n2 4 2\n\n\n\n", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot, 0, "",
     kTwicePoints.substr(0, kTwicePoints.size() / 3 * 2)},
    {"extra_values_ignored", "1 2 1 99 98\n2 4 2 99\n3 6 3 x\n", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot, 0, "", kTwicePoints},
    {"decimal_commas", "1,5 2,3 0,01\n", kStandardAnswers, result_lines("  849.26    "),
     kHeaderRow + "  2.0000      5.0000    \n", 0, "", point(seventeen("2", 0), seventeen("5", 0))},
    {"slash_record_leaves_zeros", "/\n1 2 1\n", kStandardAnswers, result_lines("  679.41    "),
     kHeaderRow + "  0.0000      0.0000    \n  1.0000      2.0000    \n", 0, "",
     point("0", "0") + point(seventeen("1", 0), seventeen("2", 0))},
    {"repeat_counts", "2*1 0.5\n2*4 2\n3 6 3\n", kStandardAnswers, result_lines("  679.41    "),
     kHeaderRow + " 0.50000      1.0000    \n  2.0000      4.0000    \n", 0, "",
     point(seventeen("5", -1), seventeen("1", 0)) + point(seventeen("2", 0), seventeen("4", 0)) +
         point(seventeen("3", 0), seventeen("6", 0))},
    {"repeated_nulls_leave_zeros", "1 2 1\n3*\n2 4 2\n", kStandardAnswers,
     result_lines("  679.41    "),
     kHeaderRow + "  1.0000      2.0000    \n  0.0000      0.0000    \n", 0, "",
     point(seventeen("1", 0), seventeen("2", 0)) + point("0", "0") +
         point(seventeen("2", 0), seventeen("4", 0))},
    {"pairs_give_their_first_number", "(1,2) 2 1\n2 (4, 9) 2\n3 6 (3,0)\n", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot, 0, "", kTwicePoints},
    {"logical_first_values", "T 2 1\nF 4 2\n.true. 6 3\n", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot, 0, "", kTwicePoints},
    {"exponent_forms", "1 2.0D0 1\n2 4Q0 0.2E1\n3 0.6+1 3\n", kStandardAnswers,
     result_lines("  679.41    "), kTwicePlot, 0, "", kTwicePoints},
    {"infinite_and_nan_values", "1 Inf 1\n2 4 nan\n", kStandardAnswers, result_lines(kNaNField),
     kHeaderRow + "  1.0000    " + kNaNField + "\n" + kNaNField + kNaNField + "\n", 0, "",
     point(seventeen("1", 0), "Infinity") + point("NaN", seventeen("4", 0))},
    {"signed_zero_and_a_value_beyond_double", "1 -0 1E-400\n", kStandardAnswers,
     result_lines("  0.0000    "), kHeaderRow + " 0.10000-399  0.0000    \n", 0, "",
     point(seventeen("1", -400), "-0")},
    {"comma_record_shifts_the_next_one", ",\n1 2 1\n2 4 2\n", kStandardAnswers,
     kPrompts.substr(0, 18), std::nullopt, 24, kEndOfFile, ""},
    {"short_record_runs_out_of_records", "1 2\n2 4 2\n3 6 3\n", kStandardAnswers,
     kPrompts.substr(0, 18), std::nullopt, 24, kEndOfFile, ""},
    {"bad_force", "1 2 1\n2 x 2\n", kStandardAnswers, kPrompts.substr(0, 18), std::nullopt, 59,
     kSyntaxError, ""},
    {"pair_without_second_number", "1 2 1\n(2) 4 2\n", kStandardAnswers, kPrompts.substr(0, 18),
     std::nullopt, 59, kSyntaxError, ""},
    {"heading_word", "Zeit Kraft Weg\n1 2 1\n", kStandardAnswers, kPrompts.substr(0, 18),
     std::nullopt, 59, kSyntaxError, ""},
    {"heading_beginning_with_t", "Time Force Disp\n1 2 1\n", kStandardAnswers,
     kPrompts.substr(0, 18), std::nullopt, 59, kSyntaxError, ""},
    {"heading_beginning_with_i", "Index Kraft Weg\n1 2 1\n", kStandardAnswers,
     kPrompts.substr(0, 18), std::nullopt, 64, kConversionError, ""},
    {"heading_beginning_with_n", "Nr. F w\n1 2 1\n", kStandardAnswers, kPrompts.substr(0, 18),
     std::nullopt, 64, kConversionError, ""},
};
INSTANTIATE_TEST_SUITE_P(Loader, WholeRun, ::testing::ValuesIn(kLoaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

const WholeRunCase kDialogueCases[] = {
    {"two_numbers_on_one_line", kTwiceSeries, "probe.txt\n100 200\n100\n10\n",
     result_lines("  679.41    "), kTwicePlot},
    {"empty_answer_reads_on", kTwiceSeries, "probe.txt\n\n  \n100\n100\n10\n",
     result_lines("  679.41    "), kTwicePlot},
    {"null_answer_leaves_zero", kTwiceSeries, "probe.txt\n,\n100\n10\n",
     result_lines("  0.0000    "),
     kHeaderRow + "  1.0000    " + kNaNField + "\n  2.0000    " + kNaNField + "\n"},
    {"name_with_leading_blanks", kTwiceSeries, "  probe.txt\n100\n100\n10\n",
     result_lines("  679.41    "), kTwicePlot},
    {"name_line_longer_than_the_field", kTwiceSeries, "probe.txt           12345\n100\n100\n10\n",
     result_lines("  679.41    "), kTwicePlot},
    {"name_line_with_crlf", kTwiceSeries, "probe.txt\r\n100\r\n100\r\n10\r\n",
     result_lines("  679.41    "), kTwicePlot},
    {"name_without_line_feed_then_end", kTwiceSeries, "probe.txt", kPrompts.substr(0, 30),
     std::nullopt, 24, "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n"},
    {"end_of_input_at_the_name", kTwiceSeries, "", kPrompts.substr(0, 18), std::nullopt, 24,
     "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n"},
    {"end_of_input_at_a", kTwiceSeries, "probe.txt\n", kPrompts.substr(0, 30), std::nullopt, 24,
     "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n"},
    {"end_of_input_at_b", kTwiceSeries, "probe.txt\n100\n", kPrompts.substr(0, 42), std::nullopt,
     24, "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n"},
    {"end_of_input_at_d0", kTwiceSeries, "probe.txt\n100\n100\n", kPrompts, std::nullopt, 24,
     "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n"},
    {"bad_number_at_a", kTwiceSeries, "probe.txt\nzehn\n", kPrompts.substr(0, 30), std::nullopt, 59,
     "iodiag: severe (59): list-directed I/O syntax error, unit -4, file stdin\n"},
};
INSTANTIATE_TEST_SUITE_P(Dialogue, WholeRun, ::testing::ValuesIn(kDialogueCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A regular file is counted and loaded in one pass while its records are plain
// numbers. Its twin, whose first value is written with an exponent, takes the two
// passes from its first record on; both must give the same bytes whatever comes
// later in the file.
struct OnePassCase {
    const char* name;
    std::size_t records;
    std::size_t at;           // the record changed
    const char* replacement;  // its new text, line feed included; nullptr: unchanged
    std::string tail = "";    // behind the last record
};

void PrintTo(const OnePassCase& c, std::ostream* os) {
    *os << c.name;
}

class OnePass : public ::testing::TestWithParam<OnePassCase> {};

TEST_P(OnePass, AgreesWithTwoPasses) {
    const OnePassCase& c = GetParam();
    std::string series;
    for (std::size_t i = 1; i <= c.records; ++i) {
        series += i == c.at && c.replacement != nullptr
                      ? std::string(c.replacement)
                      : std::to_string(i) + ' ' + std::to_string(i % 997 * 7) + '.' +
                            std::to_string(i % 89) + " 0." + std::to_string(i * 31 % 1000 + 1) +
                            '\n';
    }
    series += c.tail;
    testsupport::ChildResult results[2];
    std::string plots[2];
    for (int twin = 0; twin < 2; ++twin) {
        TempDir directory;
        directory.write_file("probe.txt", twin == 0 ? series : "1E0" + series.substr(1));
        results[twin] = testsupport::run_child(
            testsupport::emodul_in(directory, {{"EVIO_DISABLE_STACK_TRACE", "true"}}),
            kStandardAnswers);
        results[twin].err = replace_all(results[twin].err, directory.path(), "{dir}");
        plots[twin] = directory.read_file("plot.dat");
    }
    EXPECT_PRED_FORMAT2(testsupport::SameText, results[0].out, results[1].out);
    EXPECT_PRED_FORMAT2(testsupport::SameText, results[0].err, results[1].err);
    EXPECT_EQ(results[0].exit_status, results[1].exit_status);
    EXPECT_PRED_FORMAT2(testsupport::SameText, plots[0], plots[1]);
    if (c.replacement == nullptr && c.tail.empty()) {
        EXPECT_EQ(results[0].exit_status, 0);
        EXPECT_EQ(std::count(plots[0].begin(), plots[0].end(), '\n'), c.records / 2 + 2);
    }
}

const OnePassCase kOnePassCases[] = {
    {"plain_throughout", 6000, 0, nullptr},
    {"exponent_in_the_middle", 6000, 3000, "3000 1.5E1 0.25\n"},
    {"last_record_without_line_feed", 6000, 6000, "6000 4.5 0.5"},
    {"two_values_in_the_middle", 6000, 2500, "2500 4.5\n"},
    {"empty_line_in_the_middle", 6000, 4097, "\n"},
    {"bad_force_late", 6000, 5999, "5999 x 0.5\n"},
    {"bad_first_value_late", 6000, 5999, "abc 1 0.5\n"},
    {"short_records_behind", 6000, 0, nullptr, "7\n8\n9\n7\n8\n9\n7\n8\n9\n7\n8\n9\n"},
    // More records than a file of plain records could hold: arrays of the count.
    {"mostly_one_value_records", 10, 0, nullptr,
     [] {
         std::string lines;
         for (int i = 0; i < 3000; ++i) {
             lines += "8\n";
         }
         return lines;
     }()},
    {"long_series_with_a_pair_near_its_end", 140000, 139000, "139000 (1,2) 0.5 0.25\n"},
};
INSTANTIATE_TEST_SUITE_P(Loader, OnePass, ::testing::ValuesIn(kOnePassCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

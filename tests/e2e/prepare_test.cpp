// emodul-prepare as a user runs it: exports of many shapes, the loading window
// on the thresholds, refused exports and wrong command lines, each compared
// byte for byte (standard output, standard error, the output file, the status).

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.hpp"

namespace {

using testsupport::TempDir;
using namespace std::string_literals;

struct PrepareCase {
    const char* name;
    std::string export_text;  // written to export.dat
    std::vector<std::string> arguments;
    std::string out;                  // standard output (or, with -o, the file)
    int status = 0;
    std::optional<std::string> err;   // standard error, when it is to be compared
    // When set, each '@' of export_text and out stands for a mebibyte of it: made
    // when the case runs, for a test program starts once for each test.
    char mebibyte_of = 0;
};

std::string with_mebibytes(std::string text, char filler) {
    if (filler != 0) {
        for (std::size_t at; (at = text.find('@')) != std::string::npos;) {
            text.replace(at, 1, std::string(1 << 20, filler));
        }
    }
    return text;
}

void PrintTo(const PrepareCase& c, std::ostream* os) {
    *os << c.name;
}

testsupport::ChildResult prepare_in(const TempDir& directory, std::vector<std::string> arguments) {
    testsupport::ChildOptions options;
    options.arguments = testsupport::test_wrapper();
    options.arguments.push_back(EMODUL_PREPARE_BINARY);
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.working_directory = directory.path();
    return testsupport::run_child(options);
}

bool exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

const std::vector<std::string> kPositions{"--force", "2", "--displacement", "3"};

std::vector<std::string> with(std::vector<std::string> first, const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

const std::string kTry = "Try 'emodul-prepare --help' for more information.\n";

class Prepare : public ::testing::TestWithParam<PrepareCase> {};

// Every case runs twice: to standard output, and with -o over an existing file,
// which a refused export must leave as it was.
TEST_P(Prepare, WritesExactlyThisOrRefuses) {
    const PrepareCase& c = GetParam();
    const std::string out = with_mebibytes(c.out, c.mebibyte_of);
    TempDir directory;
    directory.write_file("export.dat", with_mebibytes(c.export_text, c.mebibyte_of));
    const auto result = prepare_in(directory, with(c.arguments, {"export.dat"}));
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.exit_status, c.status) << result.err;
    if (c.err) {
        EXPECT_EQ(result.err, *c.err);
    }

    directory.write_file("out.txt", "older content\n");
    const auto to_file = prepare_in(directory, with(c.arguments, {"-o", "out.txt", "export.dat"}));
    EXPECT_EQ(to_file.out, "");
    EXPECT_EQ(to_file.exit_status, c.status);
    EXPECT_EQ(directory.read_file("out.txt"), c.status == 0 ? out : "older content\n");
    if (c.status != 0) {
        const auto fresh = prepare_in(directory, with(c.arguments, {"-o", "new.txt", "export.dat"}));
        EXPECT_FALSE(exists(directory.file("new.txt")));
    }
}

const std::string kMachineExport =
    "Test machine\tframe 10-4471\r\n"
    "Station\tStation 2, span 80 mm\r\n"
    "Ch 3 Displacement\tCh 1 Force\tTime\r\n"
    "mm\tkN\ts\r\n"
    "-0.0001\t0.000007\t0.00\r\n"
    "-0.0206\t-0.012500\t0.01\r\n"
    "-1.25E-01\t-1.2500E-02\t0.02\r\n";

const std::vector<std::string> kMachineOptions{
    "--force", "Ch 1 Force", "--force-unit", "kN", "--displacement", "Ch 3 Displacement",
    "--negate", "force,displacement"};

INSTANTIATE_TEST_SUITE_P(
    Shapes, Prepare,
    ::testing::Values(
        PrepareCase{"machine_export_by_names_in_kN_negated_crlf", kMachineExport, kMachineOptions,
                    "1 -0.007 0.0001\n2 12.500 0.0206\n3 12.500 0.125\n", 0,
                    "emodul-prepare: export.dat: 3 records read, lines 5 to 7; force from column 2, "
                    "displacement from column 1\n"
                    "emodul-prepare: export.dat: maximum force 12.500 N in record 2 (line 6), at 0.0206 mm\n"
                    "emodul-prepare: export.dat: no window: all 3 records kept\n"},
        PrepareCase{"blanks_no_header", "1 2.5 0.01\n  2   5\t0.02  \n", kPositions,
                    "1 2.5 0.01\n2 5 0.02\n"},
        PrepareCase{"semicolons_decimal_comma_quoted_names",
                    "\"Zeit\";\"Kraft\";\"Weg\"\n0;12,5;0,0206\n1;-3,;,5\n",
                    {"--force", "Kraft", "--displacement", "Weg", "--decimal-comma"},
                    "1 12.5 0.0206\n2 -3 0.5\n"},
        PrepareCase{"commas_with_blanks_and_a_trailing_separator_empty_lines",
                    "t, F, w,\n\n0, 1.5, 0.25,\n\n1,3.0,0.5,\n\n", kPositions, "1 1.5 0.25\n2 3.0 0.5\n"},
        PrepareCase{"millinewton_micrometre_plus_sign_leading_zeros", "1 +001500 0250.0\n2 7 0.5\n",
                    with(kPositions, {"--force-unit", "mN", "--displacement-unit", "um"}),
                    "1 1.500 0.2500\n2 0.007 0.0005\n"},
        PrepareCase{"metre", "1 2 0.0005\n",
                    with(kPositions, {"--displacement-unit", "m"}), "1 2 0.5\n"},
        PrepareCase{"exponents_moved_exactly", "1 1.25E-03 -2.5e+1\n2 7E2 1e0\n",
                    with(kPositions, {"--force-unit", "kN"}), "1 1.25 -25\n2 700000 1\n"},
        PrepareCase{"zeros_lose_their_sign", "1 -0.000 0\n2 0.0E-2 -0\n",
                    with(kPositions, {"--negate", "displacement"}), "1 0.000 0\n2 0.000 0\n"},
        PrepareCase{"more_digits_than_any_binary_format",
                    "1 3.14159265358979323846264338327950288419716939937510 1\n", kPositions,
                    "1 3.14159265358979323846264338327950288419716939937510 1\n"},
        PrepareCase{"header_with_numbers_in_its_lines",
                    "Rate: 100 Hz\nSpecimen 3, d0 = 6 mm\n2026-11-17 09:42\n1 2 3\n", kPositions,
                    "1 2 3\n"},
        PrepareCase{"units_line_below_names_and_a_name_with_blanks",
                    "Time;Ch 1 Force;Ch 3 Disp\ns;N;mm\n0;1;2\n",
                    {"--force", "Ch 1 Force", "--displacement", "Ch 3 Disp"}, "1 1 2\n"},
        PrepareCase{"trailing_lines_allowed", "1 2 3\n2 4 6\nEnd of test\n3 6 9\n",
                    with(kPositions, {"--allow-trailing"}), "1 2 3\n2 4 6\n", 0,
                    "emodul-prepare: export.dat: 2 records read, lines 1 to 2; force from column 2, "
                    "displacement from column 3\n"
                    "emodul-prepare: export.dat: 2 trailing line(s) from line 3 on left out\n"
                    "emodul-prepare: export.dat: maximum force 4 N in record 2 (line 2), at 6 mm\n"
                    "emodul-prepare: export.dat: no window: all 2 records kept\n"},
        // Refused exports: the line named, status 1, nothing written.
        PrepareCase{"trailing_lines_allowed_but_no_record", "Zeit Kraft Weg\n1 2\n2 4\n",
                    with(kPositions, {"--allow-trailing"}), "", 1,
                    "emodul-prepare: export.dat:2: no column 3 (displacement): the record has 2 fields\n"},
        PrepareCase{"text_in_the_data", "1 2 3\n2 x 3\n3 4 5\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:2: column 2 (force) holds no number: \"x\"\n"},
        PrepareCase{"text_after_the_data", "1 2 3\r\nEnd of test\r\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:2: column 2 (force) holds no number: \"of\"\n"},
        PrepareCase{"short_record", "1 2 3\n2 4\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:2: no column 3 (displacement): the record has 2 fields\n"},
        PrepareCase{"empty_field_between_semicolons", "1;2;3\n2;;3\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:2: column 2 (force) holds no number: \"\"\n"},
        PrepareCase{"decimal_comma_between_semicolons", "1;12,5;0,0206\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:1: \"12,5\" looks like a number with a decimal comma; "
                    "give --decimal-comma\n"},
        PrepareCase{"decimal_comma_between_blanks", "Zeit Kraft Weg\n1 12,5 0,0206\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:2: \"12,5\" looks like a number with a decimal comma; "
                    "give --decimal-comma\n"},
        PrepareCase{"decimal_point_with_decimal_comma", "1;2;3\n2;2.5;3\n", with(kPositions, {"--decimal-comma"}),
                    "", 1, "emodul-prepare: export.dat:2: column 2 (force) holds no number: \"2.5\"\n"},
        PrepareCase{"forms_only_emodul_reads", "1 2 3\n2 1.5D3 3\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:2: column 2 (force) holds no number: \"1.5D3\"\n"},
        PrepareCase{"beyond_what_emodul_reads", "1 2 3\n2 1E4930 3\n", with(kPositions, {"--force-unit", "kN"}),
                    "", 1,
                    "emodul-prepare: export.dat:2: column 2 (force): \"1E4930\" lies beyond what emodul reads "
                    "as a number (10^-4965 to 10^4932 in N or mm)\n"},
        PrepareCase{"name_not_in_the_header", "Zeit Kraft Weg\nmm N s\n1 2 3\n",
                    {"--force", "Force", "--displacement", "3"}, "", 1,
                    "emodul-prepare: export.dat: no header line names the column \"Force\"; the last one "
                    "(line 2) holds \"mm\", \"N\", \"s\"\n"},
        PrepareCase{"names_to_the_same_column", "a b c\n1 2 3\n", {"--force", "b", "--displacement", "2"}, "", 1,
                    "emodul-prepare: export.dat: force and displacement name the same column, 2\n"},
        PrepareCase{"only_a_header", "Zeit Kraft Weg\r\nmm N s\r\n", kPositions, "", 1,
                    "emodul-prepare: export.dat: no record of numbers in 2 lines\n"},
        PrepareCase{"empty_export", "", kPositions, "", 1,
                    "emodul-prepare: export.dat: no record of numbers in 0 lines\n"},
        PrepareCase{"nul_bytes_in_a_record", "1 2 3\n2 4\0 6\n"s, kPositions, "", 1,
                    "emodul-prepare: export.dat:2: column 2 (force) holds no number: \"4\\x00\"\n"},
        PrepareCase{"binary_bytes", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe"s, kPositions, "", 1,
                    "emodul-prepare: export.dat: no record of numbers in 3 lines\n"},
        PrepareCase{"a_megabyte_long_line_of_text", "1 2 3\n@\n", kPositions, "", 1,
                    "emodul-prepare: export.dat:2: no column 2 (force): the record has 1 field\n", 'x'},
        PrepareCase{"a_megabyte_long_number", "1 2.@ 3\n", kPositions, "1 2.@ 3\n", 0, std::nullopt,
                    '5'}),
    [](const auto& info) { return std::string(info.param.name); });

// The window on small series whose forces lie on, just below and just above the
// thresholds, closer than binary64 or binary128 could tell apart.
const std::string kNearThresholds =
    "1 -0.5 0.01\n"
    "2 0 0.02\n"
    "3 7.99999999999999999999999999999999999999 0.03\n"
    "4 8.0000 0.04\n"
    "5 8.00000000000000000000000000000000000001 0.05\n"
    "6 31.99999999999999999999999999999999999999 0.06\n"
    "7 3.2E1 0.07\n"
    "8 32.00000000000000000000000000000000000001 0.08\n"
    "9 80 0.09\n"
    "10 79.9 0.10\n"
    "11 80.000 0.11\n"
    "12 20 0.12\n";

INSTANTIATE_TEST_SUITE_P(
    Window, Prepare,
    ::testing::Values(
        PrepareCase{"both_ends_included_to_the_first_maximum", kNearThresholds,
                    with(kPositions, {"--window", "10:40"}),
                    "1 8.0000 0.04\n2 8.00000000000000000000000000000000000001 0.05\n"
                    "3 31.99999999999999999999999999999999999999 0.06\n4 32 0.07\n",
                    0,
                    "emodul-prepare: export.dat: 12 records read, lines 1 to 12; force from column 2, "
                    "displacement from column 3\n"
                    "emodul-prepare: export.dat: maximum force 80 N in record 9 (line 9), at 0.09 mm\n"
                    "emodul-prepare: export.dat: window 10:40 % of the maximum, force from 8 to 32 N: "
                    "4 records of the 9 up to the maximum kept\n"},
        PrepareCase{"from_zero_to_the_maximum_in_kN", kNearThresholds,
                    with(kPositions, {"--window", "0:100", "--force-unit", "kN"}),
                    "1 0 0.02\n2 7999.99999999999999999999999999999999999 0.03\n3 8000.0 0.04\n"
                    "4 8000.00000000000000000000000000000000001 0.05\n"
                    "5 31999.99999999999999999999999999999999999 0.06\n6 32000 0.07\n"
                    "7 32000.00000000000000000000000000000000001 0.08\n8 80000 0.09\n"},
        PrepareCase{"the_maximum_alone", kNearThresholds, with(kPositions, {"--window", "100:100"}),
                    "1 80 0.09\n"},
        PrepareCase{"fractional_percentages", "1 1 0.1\n2 1.2345 0.2\n2 1.2346 0.3\n3 10 0.4\n",
                    with(kPositions, {"--window", "12.345:12.3455"}), "1 1.2345 0.2\n"},
        PrepareCase{"no_record_in_the_window", kNearThresholds, with(kPositions, {"--window", "50:60"}), "", 1,
                    "emodul-prepare: export.dat: the window 50:60 (force from 40 to 48 N) keeps no record\n"},
        PrepareCase{"no_force_above_zero", "1 -1 0.1\n2 -0.5 0.2\n", with(kPositions, {"--window", "10:40"}), "", 1,
                    "emodul-prepare: export.dat:2: the maximum force is -0.5 N; a window needs a maximum above "
                    "zero (is the force to be negated?)\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Wrong command lines: a usage message and status 2, before any file is read;
// and the forms of a right one.
INSTANTIATE_TEST_SUITE_P(
    CommandLine, Prepare,
    ::testing::Values(
        PrepareCase{"without_columns", "1 2 3\n", {}, "", 2,
                    "emodul-prepare: both --force and --displacement are needed\n" + kTry},
        PrepareCase{"unknown_option", "1 2 3\n", with(kPositions, {"--frce", "2"}), "", 2,
                    "emodul-prepare: unknown option '--frce'\n" + kTry},
        PrepareCase{"unknown_unit", "1 2 3\n", with(kPositions, {"--force-unit=lbf"}), "", 2,
                    "emodul-prepare: --force-unit takes N, kN or mN, not 'lbf'\n" + kTry},
        PrepareCase{"window_upside_down", "1 2 3\n", with(kPositions, {"--window", "40:10"}), "", 2,
                    "emodul-prepare: --window 40:10: LO lies above HI\n" + kTry},
        PrepareCase{"window_beyond_the_maximum", "1 2 3\n", with(kPositions, {"--window", "0:100.5"}), "", 2,
                    "emodul-prepare: a percentage of the maximum force is a decimal number from 0 to 100, "
                    "not '100.5'\n" + kTry},
        PrepareCase{"window_without_colon", "1 2 3\n", with(kPositions, {"--window", "10"}), "", 2,
                    "emodul-prepare: --window takes LO:HI, percentages of the maximum force, such as 10:40\n" +
                        kTry},
        PrepareCase{"negate_what", "1 2 3\n", with(kPositions, {"--negate", "force,time"}), "", 2,
                    "emodul-prepare: --negate takes force, displacement or force,displacement, not 'time'\n" +
                        kTry},
        PrepareCase{"column_zero", "1 2 3\n", {"--force", "0", "--displacement", "3"}, "", 2,
                    "emodul-prepare: column positions count from 1 to 1000000, not 0\n" + kTry},
        PrepareCase{"a_value_takes_the_next_argument", "1 2 3\n", {"--displacement", "3", "--force"}, "", 2,
                    "emodul-prepare: no export named\n" + kTry},
        PrepareCase{"output_dash_is_standard_output", "1 2 3\n", {"--force=2", "--displacement=3", "-o", "-"},
                    "1 2 3\n"},
        PrepareCase{"two_exports", "1 2 3\n", with(kPositions, {"-"}), "", 2,
                    "emodul-prepare: one export at a time: '-' and 'export.dat'\n" + kTry}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PrepareFiles, AMissingOrUnreadableExportIsNamed) {
    TempDir directory;
    ::mkdir(directory.file("folder").c_str(), 0755);
    for (const auto& [name, reason] : {std::pair{"missing.dat", "No such file or directory"},
                                       std::pair{"folder", "Is a directory"}}) {
        const auto result = prepare_in(directory, with(kPositions, {"-o", "out.txt", name}));
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, std::string("emodul-prepare: cannot read '") + name + "': " + reason + "\n");
        EXPECT_FALSE(exists(directory.file("out.txt")));
    }
}

TEST(PrepareFiles, AnOutputThatCannotBeWrittenIsNamed) {
    TempDir directory;
    directory.write_file("export.dat", "1 2 3\n");
    const auto result = prepare_in(directory, with(kPositions, {"-o", "no/such/folder.txt", "export.dat"}));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "emodul-prepare: cannot write 'no/such/folder.txt': No such file or directory\n");
}

}  // namespace

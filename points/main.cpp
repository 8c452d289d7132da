// emodul-points: prints the series of a measurement file as emodul reads it, one
// record a line: the displacement, a blank, the force. It is the plot command's
// reader, so that a picture shows exactly the values a run uses.
//
//   emodul-points MEASUREMENT_FILE
//
// The file is loaded by the program's own loader, after the program's own
// start-up: the same records, the same values (a null value or a slash leaves
// +0), and on bad input the same diagnostic and exit status as a run of emodul
// on that file. Like a run, it creates a missing file empty and then prints
// nothing. The lines are written to the console output unit once the whole file
// has been read, so a failing file prints no line at all.

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "decimal/decimal_digits.hpp"
#include "evaluation/measurement_loader.hpp"
#include "failure/process_end.hpp"
#include "numeric/precision.hpp"
#include "units/record_output.hpp"
#include "units/units.hpp"

namespace {

using numeric::QuadReal;

// Enough that two neighbouring doubles print differently; far more than a picture
// needs, and far fewer than the value holds, so the text is rounded once from the
// exact value (ties to even) and never through a double.
constexpr int kSignificantDigits = 17;

// -1.2345678901234567e+02: the exponent form that awk, gnuplot and every other
// reader of numbers take. Values without digits get the texts of the program's
// own field (NaN, Infinity, -Infinity), zeros keep their sign.
void append_value(QuadReal value, std::string& line) {
    const bool negative = numeric::sign_bit(value);
    if (numeric::is_nan(value)) {
        line += "NaN";
        return;
    }
    if (numeric::is_infinite(value)) {
        line += negative ? "-Infinity" : "Infinity";
        return;
    }
    if (numeric::is_zero(value)) {
        line += negative ? "-0" : "0";
        return;
    }
    const auto digits =
        recio::decimal_digits(value, recio::DigitMode::significant, kSignificantDigits);
    const std::string_view text = digits->text();
    if (digits->negative) {
        line += '-';
    }
    line += text.front();
    line += '.';
    line += text.substr(1);
    // 0.D1D2... x 10^X is D1.D2... x 10^(X-1).
    const int exponent = digits->exponent - 1;
    line += exponent < 0 ? "e-" : "e+";
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) {
        line += '0';
    }
    char exponent_digits[8];
    const auto end =
        std::to_chars(exponent_digits, exponent_digits + sizeof exponent_digits, magnitude).ptr;
    line.append(exponent_digits, end);
}

// Lines leave in blocks: one request per record would make a long series cost
// a system call a line.
constexpr std::size_t kBlockSize = std::size_t{1} << 16;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: emodul-points MEASUREMENT_FILE\n", stderr);
        return 2;
    }
    recio::start_up(recio::run_down);
    // Connected first, as a run connects it at its first prompt, so that a bad
    // UNIO_FMT_RECL is reported as a run reports it.
    recio::UnitConnection& output = recio::console_output();

    const evaluation::MeasurementSeries series =
        evaluation::load_measurements(argv[1], evaluation::default_run_paths());
    const auto kraft = series.kraft.elements();
    const auto weg = series.weg.elements();
    std::string block;
    block.reserve(kBlockSize + 128);
    for (std::size_t i = 0; i < weg.size(); ++i) {
        append_value(weg[i], block);
        block += ' ';
        append_value(kraft[i], block);
        block += '\n';
        if (block.size() >= kBlockSize) {
            recio::write_record(output, block);
            block.clear();
        }
    }
    if (!block.empty()) {
        recio::write_record(output, block);
    }
    return recio::normal_end();
}

// quadprobe calc: one arithmetic command per line of standard input, one result
// line per command.
//
//   add X Y | mul X Y | div X Y   ->  Z
//   pow X N                       ->  Z   (N a signed 32-bit decimal integer)
//   fmt X                         ->  |the 12-byte general field of X|
//   digits X sig|fix|cut N        ->  S D E, or S D E REST for cut: the sign, decimal
//                                     digits and exponent of X to N significant digits,
//                                     to N decimals, or cut after N significant digits
//                                     with where the rest lies (zero, below, half, above
//                                     half a unit); D is 0 where the value rounds to
//                                     zero, "none" stands for no result
//   modulus A B D0 F1 W1 F2 W2 ...  ->  K E P: the stiffness factor, the modulus and
//                                     the plot slope K * E for geometry a, b, d0 and
//                                     the series of forces F and displacements W
//
// X, Y, Z are bit patterns of 32 hexadecimal digits, bit 127 first.

#include <charconv>
#include <string>

#include "decimal/decimal_digits.hpp"
#include "decimal/general_field.hpp"
#include "evaluation/modulus.hpp"
#include "numeric/arithmetic.hpp"
#include "numeric/bit_pattern.hpp"
#include "tools/quadprobe/commands.hpp"
#include "tools/quadprobe/probe_io.hpp"

namespace quadprobe {
namespace {

using numeric::QuadReal;

std::optional<std::int32_t> parse_exponent(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string_view format_field(const std::vector<std::string_view>& words, OutputBatch& output) {
    const auto x = words.size() == 2 ? numeric::parse_bit_pattern(words[1]) : std::nullopt;
    if (!x) {
        return "expected fmt and one 32-digit operand";
    }
    char field[12];
    recio::format_general_field(*x, 12, 5, field);
    output.append("|");
    output.append(std::string_view(field, sizeof field));
    output.append("|");
    return {};
}

void append_digits(std::string_view digits, int exponent, bool negative, OutputBatch& output) {
    output.append(negative ? "- " : "+ ");
    output.append(digits.empty() ? "0" : digits);
    output.append(" ");
    output.append(std::to_string(exponent));
}

std::string_view convert_digits(const std::vector<std::string_view>& words, OutputBatch& output) {
    const auto x = words.size() == 4 ? numeric::parse_bit_pattern(words[1]) : std::nullopt;
    const auto count = words.size() == 4 ? parse_exponent(words[3]) : std::nullopt;
    if (!x || !count) {
        return "expected digits, a 32-digit operand, sig, fix or cut, and a count";
    }
    if (words[2] == "cut") {
        const auto cut = recio::truncated_digits(*x, *count);
        if (!cut) {
            output.append("none");
            return {};
        }
        constexpr std::string_view kRests[] = {" zero", " below", " half", " above"};
        append_digits(cut->text(), cut->exponent, cut->negative, output);
        output.append(kRests[static_cast<int>(cut->rest)]);
        return {};
    }
    if (words[2] != "sig" && words[2] != "fix") {
        return "expected sig, fix or cut";
    }
    const auto mode = words[2] == "sig" ? recio::DigitMode::significant : recio::DigitMode::fixed;
    const auto digits = recio::decimal_digits(*x, mode, *count);
    if (!digits) {
        output.append("none");
        return {};
    }
    append_digits(digits->text(), digits->exponent, digits->negative, output);
    return {};
}

std::string_view evaluate_modulus(const std::vector<std::string_view>& words, OutputBatch& output) {
    if (words.size() < 4 || words.size() % 2 != 0) {
        return "expected modulus, a, b, d0 and pairs of force and displacement";
    }
    std::vector<QuadReal> values;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const auto value = numeric::parse_bit_pattern(words[i]);
        if (!value) {
            return "operand is not 32 hexadecimal digits";
        }
        values.push_back(*value);
    }
    const evaluation::BeamGeometry geometry{values[0], values[1], values[2]};
    std::vector<QuadReal> kraft;
    std::vector<QuadReal> weg;
    for (std::size_t i = 3; i < values.size(); i += 2) {
        kraft.push_back(values[i]);
        weg.push_back(values[i + 1]);
    }
    const auto result = evaluation::evaluate_modulus(kraft, weg, geometry);
    output.append_pattern(result.stiffness_factor);
    output.append(" ");
    output.append_pattern(result.modulus);
    output.append(" ");
    output.append_pattern(evaluation::fitted_slope(result));
    return {};
}

// Evaluates one command into `output`; returns the reason when it is malformed.
std::string_view evaluate(const std::vector<std::string_view>& words, OutputBatch& output) {
    if (words[0] == "modulus") {
        return evaluate_modulus(words, output);
    }
    if (words[0] == "fmt") {
        return format_field(words, output);
    }
    if (words[0] == "digits") {
        return convert_digits(words, output);
    }
    if (words.size() != 3) {
        return "expected an operation and two operands";
    }
    const auto x = numeric::parse_bit_pattern(words[1]);
    if (!x) {
        return "operand is not 32 hexadecimal digits";
    }
    const std::string_view operation = words[0];
    if (operation == "pow") {
        const auto n = parse_exponent(words[2]);
        if (!n) {
            return "exponent is not a signed 32-bit integer";
        }
        output.append_pattern(numeric::integer_power(*x, *n));
        return {};
    }
    const auto y = numeric::parse_bit_pattern(words[2]);
    if (!y) {
        return "operand is not 32 hexadecimal digits";
    }
    if (operation == "add") {
        output.append_pattern(numeric::add(*x, *y));
    } else if (operation == "mul") {
        output.append_pattern(numeric::multiply(*x, *y));
    } else if (operation == "div") {
        output.append_pattern(numeric::divide(*x, *y));
    } else {
        return "unknown operation";
    }
    return {};
}

}  // namespace

int run_calc(std::span<char* const> arguments) {
    if (!arguments.empty()) {
        std::fputs("usage: quadprobe calc < commands\n", stderr);
        return kUsageStatus;
    }
    OutputBatch output;
    for_each_input_line([&](std::string_view line, std::size_t line_number) {
        const auto words = words_of(line);
        if (words.empty()) {
            reject(output, line_number, line, "empty command");
        }
        if (const std::string_view problem = evaluate(words, output); !problem.empty()) {
            reject(output, line_number, line, problem);
        }
        output.append("\n");
    });
    return 0;
}

}  // namespace quadprobe

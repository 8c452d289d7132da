// quadprobe read N: repeated free-form read requests of N items on standard
// input, by the console's rules, each with an end exit. A completed request prints
// one line: its N items separated by one blank, each as 32 hexadecimal digits, or
// "-" for an item the request left unchanged. At the end of the input the command
// exits with 0; a fatal condition writes the program's diagnostic and exits with
// its number.

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "failure/process_end.hpp"
#include "numeric/bit_pattern.hpp"
#include "reader/free_form_input.hpp"
#include "tools/quadprobe/commands.hpp"
#include "tools/quadprobe/probe_io.hpp"
#include "units/units.hpp"

namespace quadprobe {
namespace {

using numeric::QuadReal;

// A signalling NaN: the reader never produces one (its NaN is quiet), so an item
// that still holds it was left unchanged.
constexpr QuadReal kUnchanged = QuadReal::from_words(0x7FFF000000000000ULL, 0x5EADULL);

std::optional<std::size_t> item_count_of(std::string_view text) {
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || count < 1) {
        return std::nullopt;
    }
    return count;
}

}  // namespace

int run_read(std::span<char* const> arguments) {
    const auto count = arguments.size() == 1 ? item_count_of(arguments[0]) : std::nullopt;
    if (!count) {
        std::fputs("usage: quadprobe read N < values   (N >= 1)\n", stderr);
        return kUsageStatus;
    }
    recio::start_up(recio::run_down);
    std::vector<QuadReal> items(*count);
    std::vector<QuadReal*> pointers;
    for (QuadReal& item : items) {
        pointers.push_back(&item);
    }
    OutputBatch output;
    recio::UnitConnection& input = recio::console_input();
    while (true) {
        std::fill(items.begin(), items.end(), kUnchanged);
        // Lines go out before the next request: it may end the process.
        output.flush();
        if (recio::read_values(input, pointers, recio::EndExit::present) ==
            recio::ReadOutcome::end_of_file) {
            break;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0) {
                output.append(" ");
            }
            if (items[i] == kUnchanged) {
                output.append("-");
            } else {
                output.append_pattern(items[i]);
            }
        }
        output.append("\n");
    }
    output.flush();
    return recio::normal_end();
}

}  // namespace quadprobe

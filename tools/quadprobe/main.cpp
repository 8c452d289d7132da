// quadprobe: a developer's tool for inspecting binary128 values as the program
// computes them.
//
//   quadprobe calc     arithmetic on bit patterns, one command per line
//   quadprobe read N   free-form read requests of N items on standard input
//   quadprobe read-cases  many inputs for `read`, each in a child process
//   quadprobe decimal  decimal input conversion, one value text per line
//
// A malformed command gets a one-line message on standard error and exit status 2.

#include <cstdio>
#include <span>
#include <string_view>

#include "numeric/floating_environment.hpp"
#include "tools/quadprobe/commands.hpp"
#include "tools/quadprobe/probe_io.hpp"

namespace {

struct Command {
    std::string_view name;
    int (*run)(std::span<char* const> arguments);
};

constexpr Command kCommands[] = {
    {"calc", quadprobe::run_calc},
    {"read", quadprobe::run_read},
    {"read-cases", quadprobe::run_read_cases},
    {"decimal", quadprobe::run_decimal},
};

int usage() {
    std::fputs(
        "usage: quadprobe calc < commands\n"
        "       quadprobe read N < values\n"
        "       quadprobe read-cases < cases\n"
        "       quadprobe decimal < values\n",
        stderr);
    return quadprobe::kUsageStatus;
}

}  // namespace

int main(int argc, char** argv) {
    numeric::set_floating_environment();
    if (argc < 2) {
        return usage();
    }
    const std::span<char* const> arguments(argv + 2, static_cast<std::size_t>(argc - 2));
    for (const Command& command : kCommands) {
        if (command.name == argv[1]) {
            return command.run(arguments);
        }
    }
    return usage();
}

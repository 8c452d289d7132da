#pragma once
// The quadprobe commands; each returns the process's exit status.

#include <span>

namespace quadprobe {

// `arguments` are the words after the command's name.
int run_calc(std::span<char* const> arguments);
int run_read(std::span<char* const> arguments);
int run_read_cases(std::span<char* const> arguments);
int run_decimal(std::span<char* const> arguments);

}  // namespace quadprobe

#pragma once
// The optional environment variables that change diagnostics, console redirection
// and buffering. None of them is required.

#include <string_view>

namespace recio {

// A control is true when its value is not empty and either begins with t, T, y or
// Y, or consists of decimal digits only and is not zero.
bool control_is_true(const char* name);

// The judgement on a value, apart from the environment.
bool value_counts_as_true(std::string_view value);

}  // namespace recio

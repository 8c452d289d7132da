#pragma once
// Fatal diagnostics: one numbered message on standard error (with the system error
// text before it and a traceback after it where they apply), then the end of the
// process with the condition's number as exit status. Every layer raises its
// conditions here, naming the unit and file by value: the failure path knows no
// connection.

#include <cstdint>
#include <string_view>

#include "failure/conditions.hpp"
#include "failure/traceback.hpp"

namespace recio {

// A condition met by a request: `start` is where its traceback begins, `unit` and
// `file` fill the message, and a nonzero `system_error` (the errno of the system
// call that failed) puts the system's text before it. Never returns.
[[noreturn]] void fail_at(Condition condition, TraceStart start, std::int32_t unit_number,
                          std::string_view file, int system_error);

// A condition that belongs to no unit (memory for the series, the close of unit 10
// at run-down). `unit_number` and `file` fill a text that asks for them.
[[noreturn]] void fail_without_unit(Condition condition, std::int32_t unit_number = 0,
                                    std::string_view file = {});

}  // namespace recio

#pragma once
// Fatal diagnostics: one numbered message on standard error (with the system error
// text before it and a traceback after it where they apply), then the end of the
// process with the condition's number as exit status.

#include <cstdint>
#include <string_view>

#include "recio/conditions.hpp"
#include "recio/unit_connection.hpp"

namespace recio {

// Whether the read request that meets a condition lets its caller handle the end
// of file itself (only the counting pass over the measurement file does).
enum class EndExit : bool { absent = false, present = true };

// A condition met by a request on `unit`. For end of file on a request with an end
// exit it marks the unit's end as reached and returns: the caller reports the end
// indication. Every other condition writes the diagnostic and ends the process.
void report_on_unit(Condition condition, UnitConnection& unit, EndExit end_exit);

// The same for requests that have no end exit: never returns.
[[noreturn]] void fail_on_unit(Condition condition, UnitConnection& unit);

// A condition that belongs to no unit (memory for the series, the close of unit 10
// at run-down). `unit_number` and `file` fill a text that asks for them.
[[noreturn]] void fail_without_unit(Condition condition, std::int32_t unit_number = 0,
                                    std::string_view file = {});

}  // namespace recio

#pragma once
// Conditions met by a request on a unit, handed to the failure path with the
// unit's number, file name and pending system error.

#include "failure/conditions.hpp"
#include "units/unit_connection.hpp"

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

}  // namespace recio

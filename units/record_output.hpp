#pragma once
// Output records on their way to the operating system.

#include <string_view>

#include "units/unit_connection.hpp"

namespace recio {

// Passes one finished record of `unit` (its bytes, including the line feed when
// the record has one) to the operating system by one write request, or collects
// it when the unit is block-buffered. After the first record of a file that was
// opened for rewriting, the file is cut behind it. Failures end the process:
// 47 on a unit that could only be opened read-only, 38 for a refused write or cut.
void write_record(UnitConnection& unit, std::string_view record);

// Writes what block buffering has collected (38 on failure).
void flush_output(UnitConnection& unit);

// The same without a diagnostic, for the run-down: 0, or the error number.
int write_pending_output(UnitConnection& unit);

}  // namespace recio

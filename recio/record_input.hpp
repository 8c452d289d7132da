#pragma once
// Input records: the lines of a unit.

#include <optional>
#include <string_view>

#include "recio/unit_connection.hpp"

namespace recio {

// The next record of `unit`: the bytes before the next line feed, without one
// carriage return directly before it; a last line without a line feed is a
// record too. Nothing when no byte is left (end of file). The view stays valid
// until the next call for the same unit.
//
// Console input is never consumed beyond the line feed of the record returned:
// from a terminal, a pipe or a socket it is read one byte per system read; from a
// regular file in blocks, with the position set back behind the record. Unit 10
// is read in blocks, and what is read beyond a record waits for the next one.
//
// A refused read ends the process with condition 39; a record too long for the
// memory that can be had ends it with condition 98.
std::optional<std::string_view> next_record(UnitConnection& unit);

}  // namespace recio

#pragma once
// The three units of the program and their connections: unit 10 on a named file,
// opened and closed explicitly; console input (-4) and console output (-1),
// connected to the standard streams at their first use.

#include <cstdint>
#include <string_view>

#include "units/unit_connection.hpp"

namespace recio {

// The console units, connected on first use to descriptor 0 and 1, or to the files
// named by EVIO_READ and EVIO_PRINT.
UnitConnection& console_input();
UnitConnection& console_output();

// Opens unit 10 with the status "UNKNOWN" on the name held in `name_field` (a
// blank-padded text field): a missing file is created, an existing one is used
// without truncation, a file that may only be read is opened read-only.
// Failures end the process.
UnitConnection& open_file_unit(std::string_view name_field);

// Unit 10, just opened on a regular file, reads on from byte `position`: where an
// earlier connection to the same file stopped.
void seek_file_unit(UnitConnection& unit, std::uint64_t position);

// The connection of unit 10; it must be open.
UnitConnection& file_unit();

// Closes unit 10 if it is connected; its connection is forgotten.
void close_file_unit();

// Closes every connected unit at the end of the process: unit 10 is flushed and
// closed, the console units stay open, and console input read ahead from a
// seekable standard input is given back. Safe to call from a signal handler and
// more than once.
void run_down();

// How many bytes one read asks for; applies to the connections made after it.
void set_read_block_sizes(ReadBlockSizes sizes);

// Closes whatever the units hold (never the standard streams) and forgets every
// connection: the units as before the first statement. For running the program's
// requests many times inside one process, as the fuzz targets do.
void disconnect_all_units();

}  // namespace recio

#pragma once
// Input records: the lines of a unit.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "units/unit_connection.hpp"

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
// The kInputPadding bytes behind a record may be read; the first of them is its
// line feed, its carriage return or a zero.
//
// A refused read ends the process with condition 39; a record too long for the
// memory that can be had ends it with condition 98.
inline std::optional<std::string_view> next_record(UnitConnection& unit);

// Unit 10: reads another block behind the bytes held, keeping those not handed out
// yet (a record begun stays whole). False at end of file; failures as above.
bool read_further(UnitConnection& unit);

// Unit 10: reads on, a block at a time, until at least `wanted` bytes not handed
// out yet are held or the file ends, keeping those bytes; failures as above.
void read_ahead(UnitConnection& unit, std::size_t wanted);

// Unit 10: the file position of the first byte not handed out yet.
inline std::uint64_t input_position(const UnitConnection& unit) {
    return unit.input.offset + unit.input.consumed;
}

namespace record_input_detail {
std::optional<std::string_view> next_record_after_reading(UnitConnection& unit);
}  // namespace record_input_detail

// Unit 10 takes most of its records straight from the bytes already read; that
// part is small enough to be inlined into the reader. The same as next_record,
// with the record stored into `record`: false at end of file.
inline bool next_record_into(UnitConnection& unit, std::string_view& record) {
    InputState& input = unit.input;
    if (unit.unit == kFileUnit && input.filled > input.consumed) {
        const char* const start = input.bytes.data() + input.consumed;
        const std::size_t available = input.filled - input.consumed;
        if (const auto* line_feed = static_cast<const char*>(std::memchr(start, '\n', available))) {
            std::size_t length = static_cast<std::size_t>(line_feed - start);
            input.consumed += length + 1;
            if (length > 0 && start[length - 1] == '\r') {
                --length;
            }
            record = std::string_view(start, length);
            return true;
        }
    }
    const auto read = record_input_detail::next_record_after_reading(unit);
    if (read) {
        record = *read;
    }
    return read.has_value();
}

inline std::optional<std::string_view> next_record(UnitConnection& unit) {
    std::string_view record;
    if (!next_record_into(unit, record)) {
        return std::nullopt;
    }
    return record;
}

}  // namespace recio

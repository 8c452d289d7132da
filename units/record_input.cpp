#include "units/record_input.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "units/file_digest.hpp"
#include "units/file_unit_watch.hpp"
#include "units/unit_failure.hpp"

namespace recio {
namespace {

enum class ReadMode {
    single_bytes,            // console from a terminal, pipe or socket
    blocks_then_reposition,  // console from a regular file
    blocks,                  // unit 10
};

ReadMode read_mode_of(const UnitConnection& unit) {
    if (unit.unit == kFileUnit) {
        return ReadMode::blocks;
    }
    struct stat status {};
    const bool regular = ::fstat(unit.descriptor, &status) == 0 && S_ISREG(status.st_mode);
    return regular && unit.seekable ? ReadMode::blocks_then_reposition : ReadMode::single_bytes;
}

std::string_view without_carriage_return(const char* start, std::size_t length) {
    if (length > 0 && start[length - 1] == '\r') {
        --length;
    }
    return {start, length};
}

// Reads up to `wanted` bytes behind what the buffer holds; false at end of file.
bool read_more(UnitConnection& unit, std::size_t wanted) {
    InputState& input = unit.input;
    if (!input.bytes.reserve(input.filled + wanted + kInputPadding)) {
        fail_on_unit(Condition::file_buffer_memory, unit);
    }
    if (unit.unit == kFileUnit) {
        before_file_unit_read(input.offset + input.filled);
    }
    ssize_t got;
    do {
        got = ::read(unit.descriptor, input.bytes.data() + input.filled, wanted);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        unit.pending_system_error = errno;
        fail_on_unit(Condition::read_error, unit);
    }
    if (got == 0) {
        input.at_end = true;
        return false;
    }
    if (input.digest != nullptr) {
        input.digest->feed({input.bytes.data() + input.filled, static_cast<std::size_t>(got)});
    }
    input.set_filled(input.filled + static_cast<std::size_t>(got));
    return true;
}

// Moves the unused bytes to the front, so that the buffer only grows for records
// longer than it is.
void compact(InputState& input) {
    if (input.consumed == 0) {
        return;
    }
    const std::size_t unused = input.filled - input.consumed;
    std::memmove(input.bytes.data(), input.bytes.data() + input.consumed, unused);
    input.offset += input.consumed;
    input.consumed = 0;
    input.set_filled(unused);
}

}  // namespace

bool read_further(UnitConnection& unit) {
    InputState& input = unit.input;
    if (input.at_end) {
        return false;
    }
    // Reading as much again as a long record already holds keeps its cost linear
    // in its length.
    const std::size_t pending = input.filled - input.consumed;
    compact(input);
    return read_more(unit, pending > input.block_size ? pending : input.block_size);
}

void read_ahead(UnitConnection& unit, std::size_t wanted) {
    InputState& input = unit.input;
    compact(input);
    while (input.filled - input.consumed < wanted && !input.at_end &&
           read_more(unit, input.block_size)) {
    }
}

namespace {

std::optional<std::string_view> next_record_single_bytes(UnitConnection& unit) {
    InputState& input = unit.input;
    input.consumed = 0;
    input.filled = 0;
    if (input.at_end) {
        return std::nullopt;
    }
    while (true) {
        if (!read_more(unit, 1)) {
            if (input.filled == 0) {
                return std::nullopt;
            }
            break;
        }
        if (input.bytes.data()[input.filled - 1] == '\n') {
            return without_carriage_return(input.bytes.data(), input.filled - 1);
        }
    }
    return std::string_view(input.bytes.data(), input.filled);
}

std::optional<std::string_view> next_record_in_blocks(UnitConnection& unit, bool reposition) {
    InputState& input = unit.input;
    std::size_t searched = input.consumed;
    while (true) {
        const char* start = input.bytes.data() + input.consumed;
        // Nothing to search before the first read: the buffer may not exist yet.
        if (const auto* line_feed = searched < input.filled ? static_cast<const char*>(std::memchr(
                                                                  input.bytes.data() + searched,
                                                                  '\n', input.filled - searched))
                                                            : nullptr) {
            const auto length = static_cast<std::size_t>(line_feed - start);
            input.consumed += length + 1;
            if (reposition) {
                // Give back at once what was read beyond this record.
                const auto unused = static_cast<off_t>(input.filled - input.consumed);
                input.set_filled(input.consumed);
                if (unused > 0) {
                    ::lseek(unit.descriptor, -unused, SEEK_CUR);
                }
            }
            return without_carriage_return(start, length);
        }
        // The record begun moves to the front of the buffer, searched so far.
        const std::size_t pending = input.filled - input.consumed;
        if (!read_further(unit)) {
            break;
        }
        searched = pending;
    }
    if (input.consumed == input.filled) {
        return std::nullopt;
    }
    const char* start = input.bytes.data() + input.consumed;
    const std::size_t length = input.filled - input.consumed;
    input.consumed = input.filled;
    return std::string_view(start, length);
}

}  // namespace

std::optional<std::string_view> record_input_detail::next_record_after_reading(
    UnitConnection& unit) {
    switch (read_mode_of(unit)) {
        case ReadMode::single_bytes:
            return next_record_single_bytes(unit);
        case ReadMode::blocks_then_reposition:
            return next_record_in_blocks(unit, true);
        case ReadMode::blocks:
            break;
    }
    return next_record_in_blocks(unit, false);
}

}  // namespace recio

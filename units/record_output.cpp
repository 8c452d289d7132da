#include "units/record_output.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "failure/write_fully.hpp"
#include "units/unit_failure.hpp"

namespace recio {
namespace {

constexpr std::size_t kBlockSize = 1 << 16;

[[noreturn]] void fail_write(UnitConnection& unit, int error_number) {
    unit.pending_system_error = error_number;
    fail_on_unit(Condition::write_error, unit);
}

// Passes whole records on. A write refused after the system took part of them
// (a file that may not grow takes what fits) would leave a piece of a record in
// the file: unit 10's file, which this program opened itself, is cut back behind
// the last whole one, so that it holds exactly the records finished before the
// failure. Standard output is left alone, for others may write to its file too.
// Safe in a signal handler.
int write_whole_records(UnitConnection& unit, std::string_view records) {
    std::size_t passed = 0;
    const int error = write_fully(unit.descriptor, records, passed);
    if (error != 0 && passed > 0 && unit.unit == kFileUnit && unit.seekable) {
        const off_t reached = ::lseek(unit.descriptor, 0, SEEK_CUR);
        const std::size_t whole = records.substr(0, passed).rfind('\n') + 1;  // 0 when none
        if (reached >= static_cast<off_t>(passed)) {
            (void)::ftruncate(unit.descriptor, reached - static_cast<off_t>(passed - whole));
        }
    }
    return error;
}

// A file opened for rewriting keeps nothing of its old contents behind the
// records of this run: it is cut at the current position once the first record
// has been passed on. Devices refuse the cut with EINVAL, which is harmless.
void cut_behind_first_record(UnitConnection& unit) {
    unit.cut_pending = false;
    const off_t position = ::lseek(unit.descriptor, 0, SEEK_CUR);
    if (position < 0) {
        fail_write(unit, errno);
    }
    int result;
    do {
        result = ::ftruncate(unit.descriptor, position);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno != EINVAL) {
        fail_write(unit, errno);
    }
}

void collect(UnitConnection& unit, std::string_view record) {
    if (unit.output_length + record.size() > kBlockSize) {
        flush_output(unit);
    }
    if (record.size() > kBlockSize) {
        if (const int error = write_whole_records(unit, record)) {
            fail_write(unit, error);
        }
        return;
    }
    if (!unit.output.reserve(kBlockSize)) {
        // No memory for the block: pass the record on unbuffered instead.
        if (const int error = write_whole_records(unit, record)) {
            fail_write(unit, error);
        }
        return;
    }
    std::memcpy(unit.output.data() + unit.output_length, record.data(), record.size());
    unit.output_length += record.size();
}

}  // namespace

void write_record(UnitConnection& unit, std::string_view record) {
    if (unit.access == Access::read_only) {
        fail_on_unit(Condition::write_to_read_only, unit);
    }
    if (unit.block_buffering) {
        collect(unit, record);
    } else if (const int error = write_whole_records(unit, record)) {
        fail_write(unit, error);
    }
    if (unit.cut_pending) {
        cut_behind_first_record(unit);
    }
}

int write_pending_output(UnitConnection& unit) {
    const std::size_t length = unit.output_length;
    unit.output_length = 0;
    return length == 0 ? 0 : write_whole_records(unit, {unit.output.data(), length});
}

void flush_output(UnitConnection& unit) {
    if (const int error = write_pending_output(unit)) {
        fail_write(unit, error);
    }
}

}  // namespace recio

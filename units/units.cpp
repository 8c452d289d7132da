#include "units/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "failure/diagnostics.hpp"
#include "failure/environment_controls.hpp"
#include "units/file_unit_watch.hpp"
#include "units/name_rule.hpp"
#include "units/record_output.hpp"
#include "units/unit_failure.hpp"

namespace recio {
namespace {

// The connections the layer keeps, one place per unit: process-wide state that
// the run-down reads from a signal handler (see failure/process_state.hpp). They
// are plain objects with a connected flag rather than heap objects for that reason.
struct UnitSlot {
    UnitConnection connection;
    volatile std::sig_atomic_t connected = 0;
};

UnitSlot file_slot;
UnitSlot console_input_slot;
UnitSlot console_output_slot;
ReadBlockSizes read_block_sizes;  // set before the first connection
FileUnitWatch file_unit_watch;    // set by test programs only

// A fresh connection for `unit`: nothing carried over from an earlier one.
UnitConnection& start_connection(UnitSlot& slot, std::int32_t unit) {
    slot.connected = 0;
    slot.connection = UnitConnection{};
    slot.connection.unit = unit;
    slot.connection.input.block_size =
        unit == kFileUnit ? read_block_sizes.file : read_block_sizes.console;
    return slot.connection;
}

// The record length control is judged when a text unit is connected: a value
// that is not a non-negative decimal integer refuses every connection. A valid
// value changes nothing, since records here have no length limit.
void check_record_length_control(UnitConnection& connection) {
    const char* value = std::getenv("UNIO_FMT_RECL");
    if (value == nullptr) {
        return;
    }
    std::string_view digits(value);
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
    }
    const bool valid =
        !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (!valid) {
        fail_on_unit(Condition::record_length_syntax, connection);
    }
}

Condition open_condition_for(int error_number) {
    switch (error_number) {
        case ENOENT:
            return Condition::file_not_found;
        case ENXIO:
            return Condition::no_such_device;
        case EACCES:
        case EROFS:
            return Condition::permission_denied;
        case ENOTDIR:
        case ENAMETOOLONG:
            return Condition::file_name_error;
        default:
            return Condition::open_failure;
    }
}

[[noreturn]] void fail_open(UnitConnection& connection, int error_number) {
    connection.pending_system_error = error_number;
    fail_on_unit(open_condition_for(error_number), connection);
}

int open_retrying(const char* path, int flags) {
    int descriptor;
    do {
        descriptor = ::open(path, flags | O_CLOEXEC | O_NOCTTY | O_LARGEFILE, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// Resolves the name held in `field` into the connection, or ends the process
// with condition 43 when the resolved name would be too long.
void resolve_name_into(UnitConnection& connection, std::string_view field) {
    std::string working_directory;
    for (std::size_t size = 256;; size *= 2) {
        working_directory.resize(size);
        if (::getcwd(working_directory.data(), size) != nullptr) {
            working_directory.resize(working_directory.find('\0'));
            break;
        }
        if (errno != ERANGE) {
            fail_open(connection, errno);
        }
    }
    NameContext context{std::nullopt, working_directory};
    if (const char* home = std::getenv("HOME")) {
        context.home = home;
    }
    const auto resolved = resolve_file_name(field, context);
    if (!resolved) {
        fail_on_unit(Condition::file_name_error, connection);  // shown with the placeholder name
    }
    connection.file_name.assign(*resolved);
    // A zero byte inside the name would make the system open a shorter name than
    // the one shown; refuse it before any system call.
    if (resolved->find('\0') != std::string::npos) {
        fail_on_unit(Condition::file_name_error, connection);
    }
}

// Whether a connection's file may be repositioned: not a pipe, a socket or a
// terminal, and still linked somewhere.
bool is_seekable(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        return false;
    }
    return !S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode) && ::isatty(descriptor) == 0 &&
           status.st_nlink > 0;
}

// Opens the named file with the status "UNKNOWN": read-write, created when
// missing, never truncated here; read-only when writing is refused.
void open_unknown(UnitConnection& connection, std::string_view field) {
    resolve_name_into(connection, field);
    const char* path = connection.file_name.c_str();
    connection.access = Access::read_write;
    int descriptor = open_retrying(path, O_RDWR | O_CREAT);
    if (descriptor < 0 && (errno == EACCES || errno == EROFS)) {
        descriptor = open_retrying(path, O_RDONLY | O_CREAT);
        connection.access = Access::read_only;
    }
    if (descriptor < 0) {
        fail_open(connection, errno);
    }
    connection.descriptor = descriptor;
    connection.seekable = is_seekable(descriptor);
    connection.cut_pending = connection.seekable;
}

void name_console(UnitConnection& connection, int descriptor, std::string_view fallback) {
    char terminal[kMaxFileNameLength + 1];
    if (::isatty(descriptor) != 0 && ::ttyname_r(descriptor, terminal, sizeof terminal) == 0) {
        connection.file_name.assign(terminal);
    } else {
        connection.file_name.assign(fallback);
    }
}

UnitConnection& connect_console_input() {
    UnitConnection& connection = start_connection(console_input_slot, kConsoleInputUnit);
    check_record_length_control(connection);
    connection.access = Access::read_only;
    if (const char* redirected = std::getenv("EVIO_READ")) {
        resolve_name_into(connection, redirected);
        const int descriptor = open_retrying(connection.file_name.c_str(), O_RDONLY);
        if (descriptor < 0) {
            fail_open(connection, errno);
        }
        connection.descriptor = descriptor;
    } else {
        connection.descriptor = STDIN_FILENO;
        name_console(connection, STDIN_FILENO, "stdin");
    }
    connection.seekable = is_seekable(connection.descriptor);
    console_input_slot.connected = 1;
    return connection;
}

UnitConnection& connect_console_output() {
    UnitConnection& connection = start_connection(console_output_slot, kConsoleOutputUnit);
    check_record_length_control(connection);
    if (const char* redirected = std::getenv("EVIO_PRINT")) {
        open_unknown(connection, redirected);
    } else {
        connection.descriptor = STDOUT_FILENO;
        name_console(connection, STDOUT_FILENO, "stdout");
        connection.seekable = is_seekable(STDOUT_FILENO);
    }
    if (connection.access == Access::read_write) {
        connection.access = Access::write_only;
    }
    console_output_slot.connected = 1;
    return connection;
}

// Gives back console input that was read from a seekable standard input but not
// used, so that whatever runs after this program finds it.
void give_back_read_ahead(UnitConnection& connection) {
    InputState& input = connection.input;
    if (input.filled > input.consumed) {
        const auto unused = static_cast<off_t>(input.filled - input.consumed);
        input.set_filled(input.consumed);
        ::lseek(connection.descriptor, -unused, SEEK_CUR);
    }
}

}  // namespace

UnitConnection& console_input() {
    return console_input_slot.connected ? console_input_slot.connection : connect_console_input();
}

UnitConnection& console_output() {
    return console_output_slot.connected ? console_output_slot.connection
                                         : connect_console_output();
}

void watch_file_unit(FileUnitWatch watch) {
    file_unit_watch = watch;
}

void before_file_unit_read(std::uint64_t position) {
    if (file_unit_watch.before_read != nullptr) {
        file_unit_watch.before_read(position);
    }
}

UnitConnection& open_file_unit(std::string_view name_field) {
    close_file_unit();
    if (file_unit_watch.before_open != nullptr) {
        file_unit_watch.before_open();
    }
    UnitConnection& connection = start_connection(file_slot, kFileUnit);
    check_record_length_control(connection);
    open_unknown(connection, name_field);
    connection.block_buffering = control_is_true("UNIO_BUFFERED");
    file_slot.connected = 1;
    return connection;
}

void seek_file_unit(UnitConnection& unit, std::uint64_t position) {
    if (::lseek(unit.descriptor, static_cast<off_t>(position), SEEK_SET) < 0) {
        unit.pending_system_error = errno;
        fail_on_unit(Condition::read_error, unit);
    }
    unit.input.offset = position;  // nothing read yet, so nothing held
}

UnitConnection& file_unit() {
    return file_slot.connection;
}

void close_file_unit() {
    if (!file_slot.connected) {
        return;
    }
    UnitConnection& connection = file_slot.connection;
    flush_output(connection);
    file_slot.connected = 0;
    if (::close(connection.descriptor) != 0 && errno != EINTR) {
        connection.pending_system_error = errno;
        fail_on_unit(Condition::close_error, connection);
    }
    start_connection(file_slot, 0);
}

void run_down() {
    // The connected flags are cleared before anything can fail, so that a
    // diagnostic raised from here, and the run-down that follows it, find nothing
    // left to close.
    if (file_slot.connected) {
        file_slot.connected = 0;
        UnitConnection& connection = file_slot.connection;
        const bool flushed = write_pending_output(connection) == 0;
        const bool closed = ::close(connection.descriptor) == 0 || errno == EINTR;
        if (!flushed || !closed) {
            fail_without_unit(Condition::close_error, connection.unit, connection.file_name.view());
        }
    }
    if (console_input_slot.connected) {
        UnitConnection& connection = console_input_slot.connection;
        if (connection.seekable) {
            give_back_read_ahead(connection);
        }
    }
}

void set_read_block_sizes(ReadBlockSizes sizes) {
    read_block_sizes = sizes;
}

void disconnect_all_units() {
    for (UnitSlot* slot : {&file_slot, &console_input_slot, &console_output_slot}) {
        if (slot->connected != 0 && slot->connection.descriptor > STDERR_FILENO) {
            ::close(slot->connection.descriptor);
        }
        start_connection(*slot, 0);
    }
}

}  // namespace recio

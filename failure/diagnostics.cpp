#include "failure/diagnostics.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "failure/diagnostic_controls.hpp"
#include "failure/diagnostic_step.hpp"
#include "failure/message_catalog.hpp"
#include "failure/process_end.hpp"
#include "failure/process_state.hpp"
#include "failure/signals.hpp"
#include "failure/write_fully.hpp"

namespace recio {
namespace {

// The deepest nesting a process can legitimately reach: a condition, a close
// failure met by the run-down that follows it, and the line of the abort signal
// that an abort trigger raises after that.
constexpr int kMostNestedDiagnostics = 3;

void reopen_standard_error(const ControlPath& path) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return;  // standard error stays where it was
    }
    if (descriptor == STDERR_FILENO) {
        ::fcntl(descriptor, F_SETFD, 0);
        return;
    }
    ::dup2(descriptor, STDERR_FILENO);
    ::close(descriptor);
}

void append_to_log_file(const ControlPath& path, std::string_view text) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return;  // the copy is skipped without notice
    }
    write_fully(descriptor, text);
    ::close(descriptor);
}

}  // namespace

int write_fully(int descriptor, std::string_view bytes) {
    std::size_t passed = 0;
    return write_fully(descriptor, bytes, passed);
}

int write_fully(int descriptor, std::string_view bytes, std::size_t& passed) {
    passed = 0;
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            passed += static_cast<std::size_t>(written);
        } else if (written == 0) {
            return EIO;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

void begin_diagnostic(int number) {
    block_asynchronous_signals();
    const int count = process_state().diagnostics_begun + 1;
    process_state().diagnostics_begun = count;
    if (count > kMostNestedDiagnostics) {
        ::_exit(number);
    }
    if (count == 1 && diagnostic_controls().standard_error_file.is_set()) {
        reopen_standard_error(diagnostic_controls().standard_error_file);
    }
}

int diagnostics_begun() {
    return process_state().diagnostics_begun;
}

void append_system_error_line(TextBuffer& text, int error_number) {
    text.append("iodiag: ");
    // The English description straight from the C library's table: unlike
    // strerror it touches no locale and no buffer, so a signal handler may use it.
    if (const char* description = ::strerrordesc_np(error_number)) {
        text.append(description);
    } else {
        text.append("Unknown error ");
        text.append_decimal(error_number);
    }
    text.append('\n');
}

void write_system_error_line(int error_number) {
    char storage[256];
    TextBuffer line(storage);
    append_system_error_line(line, error_number);
    write_fully(STDERR_FILENO, line.view());
}

void append_fallback_line(TextBuffer& text, int number) {
    text.append("iodiag: no buffer for the diagnostic of condition ");
    text.append_decimal(number);
    text.append(" (0x");
    text.append_hex(static_cast<std::uint32_t>(number), 8);
    text.append(")\n");
}

void write_diagnostic(const DiagnosticRequest& request) {
    if (process_state().diagnostic_storage_taken != 0) {
        char storage[128];
        TextBuffer line(storage);
        append_fallback_line(line, request.number);
        write_fully(STDERR_FILENO, line.view());
        return;
    }
    process_state().diagnostic_storage_taken = 1;
    TextBuffer text(process_state().diagnostic_storage);
    const DiagnosticControls& controls = diagnostic_controls();
    append_message_line(text, request.number, request.unit, request.file);
    if (find_message(request.number).severity == Severity::severe &&
        !controls.stack_trace_disabled) {
        append_traceback(text, request.trace_start, own_image(),
                         controls.verbose_stack_trace ? TraceForm::verbose : TraceForm::plain,
                         request.signal_context);
    }
    if (controls.log_file.is_set()) {
        append_to_log_file(controls.log_file, text.view());
    }
    if (!controls.display_disabled) {
        write_fully(STDERR_FILENO, text.view());
    }
    process_state().diagnostic_storage_taken = 0;
}

void fail_at(Condition condition, TraceStart start, std::int32_t unit_number, std::string_view file,
             int system_error) {
    const int number = number_of(condition);
    begin_diagnostic(number);
    if (system_error != 0) {
        write_system_error_line(system_error);
    }
    write_diagnostic({number, unit_number, file, start, nullptr});
    end_after_condition(number);
}

void fail_without_unit(Condition condition, std::int32_t unit_number, std::string_view file) {
    fail_at(condition, trace_start_in_caller(), unit_number, file, 0);
}

}  // namespace recio

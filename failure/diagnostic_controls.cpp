#include "failure/diagnostic_controls.hpp"

#include <cstdlib>
#include <cstring>

#include "failure/environment_controls.hpp"

namespace recio {
namespace {

DiagnosticControls process_controls;

}  // namespace

void ControlPath::assign(const char* value) {
    set_ = value != nullptr;
    bytes_.fill('\0');
    if (value != nullptr) {
        const std::size_t length = std::strlen(value);
        if (length <= kMaxFileNameLength) {
            std::memcpy(bytes_.data(), value, length);
        }
    }
}

void read_diagnostic_controls(DiagnosticControls& controls) {
    controls.stack_trace_disabled = control_is_true("EVIO_DISABLE_STACK_TRACE");
    controls.verbose_stack_trace = control_is_true("EVIO_ENABLE_VERBOSE_STACK_TRACE") ||
                                   control_is_true("TBK_ENABLE_VERBOSE_STACK_TRACE");
    controls.display_disabled = control_is_true("EVIO_DISABLE_DIAGNOSTIC_DISPLAY");
    controls.abort_on_severe = control_is_true("EVIO__IS_DEBUGGER_PRESENT") ||
                               control_is_true("oldrt_dump_flag") ||
                               control_is_true("legacyrt_dump_flag");
    controls.ignore_exceptions = control_is_true("EVIO_IGNORE_EXCEPTIONS");
    controls.dump_exception_info = control_is_true("EVIO_DUMP_EXCEPTION_INFO");
    controls.log_file.assign(std::getenv("EVIO_DIAGNOSTIC_LOG_FILE"));
    controls.standard_error_file.assign(std::getenv("UNIO0"));
}

const DiagnosticControls& diagnostic_controls() {
    return process_controls;
}

void adopt_diagnostic_controls_from_environment() {
    read_diagnostic_controls(process_controls);
}

}  // namespace recio

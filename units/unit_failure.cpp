#include "units/unit_failure.hpp"

#include "failure/diagnostics.hpp"

namespace recio {
namespace {

// Shown for a connection that has no file name.
constexpr std::string_view kPlaceholderFileName = "\"Unknown\"";

}  // namespace

void report_on_unit(Condition condition, UnitConnection& unit, EndExit end_exit) {
    if (condition == Condition::end_of_file && end_exit == EndExit::present) {
        unit.end_reached = true;
        unit.pending_system_error = 0;
        return;
    }
    fail_on_unit(condition, unit);
}

void fail_on_unit(Condition condition, UnitConnection& unit) {
    const TraceStart start = trace_start_in_caller();
    const std::string_view file =
        unit.file_name.empty() ? kPlaceholderFileName : unit.file_name.view();
    const int system_error = unit.pending_system_error;
    unit.pending_system_error = 0;
    fail_at(condition, start, unit.unit, file, system_error);
}

}  // namespace recio

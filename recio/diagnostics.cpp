// Provisional: the message line only. The complete diagnostic layer replaces this.
#include "recio/diagnostics.hpp"

#include <unistd.h>

#include <string>

#include "recio/process_end.hpp"

namespace recio {
namespace {

void write_message(Condition condition, std::int32_t unit_number, std::string_view file) {
    std::string line = "iodiag: severe (" + std::to_string(number_of(condition)) + "): unit " +
                       std::to_string(unit_number) + ", file " + std::string(file) + "\n";
    [[maybe_unused]] auto written = ::write(2, line.data(), line.size());
}

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
    write_message(condition, unit.unit, unit.file_name.view());
    end_process(number_of(condition));
}

void fail_without_unit(Condition condition, std::int32_t unit_number, std::string_view file) {
    write_message(condition, unit_number, file);
    end_process(number_of(condition));
}

}  // namespace recio

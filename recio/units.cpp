// Provisional: console units on the standard descriptors only.
#include "recio/units.hpp"

#include <optional>

namespace recio {
namespace {

std::optional<UnitConnection> connected_console_input;
std::optional<UnitConnection> connected_console_output;
std::optional<UnitConnection> connected_file_unit;

UnitConnection& connect(std::optional<UnitConnection>& slot, std::int32_t unit, int descriptor,
                        std::string_view name, Access access) {
    if (!slot) {
        slot.emplace();
        slot->unit = unit;
        slot->descriptor = descriptor;
        slot->file_name.assign(name);
        slot->access = access;
    }
    return *slot;
}

}  // namespace

UnitConnection& console_input() {
    return connect(connected_console_input, kConsoleInputUnit, 0, "stdin", Access::read_only);
}

UnitConnection& console_output() {
    return connect(connected_console_output, kConsoleOutputUnit, 1, "stdout", Access::write_only);
}

UnitConnection& open_file_unit(std::string_view) { return *connected_file_unit; }

UnitConnection& file_unit() { return *connected_file_unit; }

void close_file_unit() { connected_file_unit.reset(); }

void run_down() {}

}  // namespace recio

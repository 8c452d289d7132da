#include "failure/message_catalog.hpp"

#include <array>
#include <iterator>

namespace recio {
namespace {

constexpr std::array<std::string_view, 5> kSeverityPrefixes = {
    "iodiag", "iodiag: info", "iodiag: warning", "iodiag: error", "iodiag: severe",
};

using enum Severity;

constexpr MessageEntry kCatalog[] = {
    {9, severe, "permission to access file denied, unit %d, file %s"},
    {24, severe, "end-of-file during read, unit %d, file %s"},
    {28, severe, "CLOSE error, unit %d, file %s"},
    {29, severe, "file not found, unit %d, file %s"},
    {30, severe, "open failure, unit %d, file %s"},
    {38, severe, "error during write, unit %d, file %s"},
    {39, severe, "error during read, unit %d, file %s"},
    {41, severe, "insufficient virtual memory"},
    {42, severe, "no such device, unit %d, file %s"},
    {43, severe, "file name specification error, unit %d, file %s"},
    {47, severe, "write to READONLY file, unit %d, file %s"},
    {59, severe, "list-directed I/O syntax error, unit %d, file %s"},
    {64, severe, "input conversion error, unit %d, file %s"},
    {65, error, "floating invalid"},
    {69, error, "process interrupted (SIGINT)"},
    {70, severe, "integer overflow"},
    {71, severe, "integer divide by zero"},
    {72, error, "floating overflow"},
    {73, error, "floating divide by zero"},
    {74, error, "floating underflow"},
    {75, error, "floating point exception"},
    {76, error, "IOT trap signal"},
    {78, error, "process killed (SIGTERM)"},
    {79, error, "process quit (SIGQUIT)"},
    {98, severe, "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
    {99, severe, "UNIO_FMT_RECL environment variable has erroneous syntax"},
    {138, severe, "array index out of bounds (SIGTRAP)"},
    {140, error, "floating inexact"},
    {168, severe, "Program Exception - illegal instruction"},
    {174, severe, "SIGSEGV, %s"},
    {179, severe, "Cannot allocate array - overflow on array size calculation."},
};

constexpr bool numbers_ascend() {
    for (std::size_t i = 1; i < std::size(kCatalog); ++i) {
        if (kCatalog[i - 1].number >= kCatalog[i].number) {
            return false;
        }
    }
    return true;
}
static_assert(numbers_ascend(), "catalog entries must be unique and in ascending order");

}  // namespace

std::string_view severity_prefix(Severity severity) {
    const auto index = static_cast<std::size_t>(severity);
    return index < kSeverityPrefixes.size() ? kSeverityPrefixes[index] : kSeverityPrefixes.back();
}

std::span<const MessageEntry> message_catalog() {
    return kCatalog;
}

MessageEntry find_message(int number) {
    for (const MessageEntry& entry : kCatalog) {
        if (entry.number == number) {
            return entry;
        }
    }
    return {static_cast<std::uint16_t>(number), severe, "Message not found"};
}

void append_message_line(TextBuffer& text, int number, std::int32_t unit, std::string_view file) {
    const MessageEntry entry = find_message(number);
    text.append(severity_prefix(entry.severity));
    text.append(" (");
    text.append_decimal(number);
    text.append("): ");
    const std::string_view model = entry.text;
    for (std::size_t i = 0; i < model.size(); ++i) {
        if (model[i] == '%' && i + 1 < model.size() &&
            (model[i + 1] == 'd' || model[i + 1] == 's')) {
            if (model[i + 1] == 'd') {
                text.append_decimal(unit);
            } else {
                text.append(file);
            }
            ++i;
        } else {
            text.append(model[i]);
        }
    }
    text.append('\n');
}

}  // namespace recio

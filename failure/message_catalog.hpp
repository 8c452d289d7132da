#pragma once
// The numbered messages of the diagnostics: severity and text template of every
// condition this program can meet, fixed when the program is built.

#include <cstdint>
#include <span>
#include <string_view>

#include "failure/text_buffer.hpp"

namespace recio {

// Index into the severity prefixes; only severe ends the run by itself.
enum class Severity : std::uint8_t { plain = 0, info = 1, warning = 2, error = 3, severe = 4 };

struct MessageEntry {
    std::uint16_t number;
    Severity severity;
    // "%d" stands for the unit number, "%s" for the file name (or the one text
    // value of a condition without a unit).
    std::string_view text;
};

// The first words of every diagnostic line, "iodiag" to "iodiag: severe".
std::string_view severity_prefix(Severity severity);

// Every entry, in ascending order of number.
std::span<const MessageEntry> message_catalog();

// The first entry with `number`; a number that is not in the catalog yields a
// severe entry with the text "Message not found".
MessageEntry find_message(int number);

// Appends "<prefix> (<number>): <text>" and a line end, with the unit number in
// signed decimal for "%d" and `file` for "%s".
void append_message_line(TextBuffer& text, int number, std::int32_t unit, std::string_view file);

}  // namespace recio

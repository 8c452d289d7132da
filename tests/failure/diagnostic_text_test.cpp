// The texts of the diagnostics: the message catalog, the message line, the
// system-error and fallback lines, and the signal-safe formatting under them.

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "failure/diagnostic_step.hpp"
#include "failure/message_catalog.hpp"
#include "failure/signals.hpp"
#include "failure/text_buffer.hpp"

namespace {

using recio::Severity;
using recio::TextBuffer;

struct ExpectedEntry {
    int number;
    Severity severity;
    const char* text;
};

// Every condition the program can meet, as its users see it.
const ExpectedEntry kExpectedCatalog[] = {
    {9, Severity::severe, "permission to access file denied, unit %d, file %s"},
    {24, Severity::severe, "end-of-file during read, unit %d, file %s"},
    {28, Severity::severe, "CLOSE error, unit %d, file %s"},
    {29, Severity::severe, "file not found, unit %d, file %s"},
    {30, Severity::severe, "open failure, unit %d, file %s"},
    {38, Severity::severe, "error during write, unit %d, file %s"},
    {39, Severity::severe, "error during read, unit %d, file %s"},
    {41, Severity::severe, "insufficient virtual memory"},
    {42, Severity::severe, "no such device, unit %d, file %s"},
    {43, Severity::severe, "file name specification error, unit %d, file %s"},
    {47, Severity::severe, "write to READONLY file, unit %d, file %s"},
    {59, Severity::severe, "list-directed I/O syntax error, unit %d, file %s"},
    {64, Severity::severe, "input conversion error, unit %d, file %s"},
    {65, Severity::error, "floating invalid"},
    {69, Severity::error, "process interrupted (SIGINT)"},
    {70, Severity::severe, "integer overflow"},
    {71, Severity::severe, "integer divide by zero"},
    {72, Severity::error, "floating overflow"},
    {73, Severity::error, "floating divide by zero"},
    {74, Severity::error, "floating underflow"},
    {75, Severity::error, "floating point exception"},
    {76, Severity::error, "IOT trap signal"},
    {78, Severity::error, "process killed (SIGTERM)"},
    {79, Severity::error, "process quit (SIGQUIT)"},
    {98, Severity::severe,
     "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
    {99, Severity::severe, "UNIO_FMT_RECL environment variable has erroneous syntax"},
    {138, Severity::severe, "array index out of bounds (SIGTRAP)"},
    {140, Severity::error, "floating inexact"},
    {168, Severity::severe, "Program Exception - illegal instruction"},
    {174, Severity::severe, "SIGSEGV, %s"},
    {179, Severity::severe, "Cannot allocate array - overflow on array size calculation."},
};

TEST(MessageCatalog, HoldsEveryConditionWithItsSeverityAndText) {
    for (const ExpectedEntry& expected : kExpectedCatalog) {
        const recio::MessageEntry entry = recio::find_message(expected.number);
        EXPECT_EQ(entry.number, expected.number);
        EXPECT_EQ(entry.severity, expected.severity) << expected.number;
        EXPECT_EQ(entry.text, expected.text) << expected.number;
    }
    EXPECT_EQ(recio::message_catalog().size(), std::size(kExpectedCatalog));
}

TEST(MessageCatalog, NumbersAscend) {
    const auto catalog = recio::message_catalog();
    for (std::size_t i = 1; i < catalog.size(); ++i) {
        EXPECT_LT(catalog[i - 1].number, catalog[i].number);
    }
}

TEST(MessageCatalog, UnknownNumbersAreSevereAndNotFound) {
    for (const int number : {0, 1, 8, 10, 25, 63, 66, 77, 80, 139, 141, 180, 759, 65535}) {
        const recio::MessageEntry entry = recio::find_message(number);
        EXPECT_EQ(entry.severity, Severity::severe) << number;
        EXPECT_EQ(entry.text, "Message not found") << number;
    }
}

TEST(MessageCatalog, SeverityPrefixes) {
    const std::pair<Severity, const char*> cases[] = {
        {Severity::plain, "iodiag"},
        {Severity::info, "iodiag: info"},
        {Severity::warning, "iodiag: warning"},
        {Severity::error, "iodiag: error"},
        {Severity::severe, "iodiag: severe"},
    };
    for (const auto& [severity, prefix] : cases) {
        EXPECT_EQ(recio::severity_prefix(severity), prefix);
    }
}

std::string message_line(int number, std::int32_t unit, std::string_view file) {
    std::vector<char> storage(recio::kDiagnosticBufferSize);
    TextBuffer text(storage);
    recio::append_message_line(text, number, unit, file);
    return std::string(text.view());
}

TEST(MessageLine, FillsUnitAndFileIntoTheTemplate) {
    struct Case {
        int number;
        std::int32_t unit;
        const char* file;
        const char* line;
    };
    const Case cases[] = {
        {24, 10, "/home/lab/probe1.txt",
         "iodiag: severe (24): end-of-file during read, unit 10, file /home/lab/probe1.txt\n"},
        {24, -4, "stdin", "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n"},
        {38, -1, "/dev/pts/0",
         "iodiag: severe (38): error during write, unit -1, file /dev/pts/0\n"},
        {43, 10, "\"Unknown\"",
         "iodiag: severe (43): file name specification error, unit 10, file \"Unknown\"\n"},
        {30, 10, "/tmp/", "iodiag: severe (30): open failure, unit 10, file /tmp/\n"},
        {29, INT32_MIN, "a b", "iodiag: severe (29): file not found, unit -2147483648, file a b\n"},
        {41, 0, "", "iodiag: severe (41): insufficient virtual memory\n"},
        {69, 0, "", "iodiag: error (69): process interrupted (SIGINT)\n"},
        {174, 0, "segmentation fault occurred",
         "iodiag: severe (174): SIGSEGV, segmentation fault occurred\n"},
        {500, 10, "x", "iodiag: severe (500): Message not found\n"},
        // A file name that holds conversion marks is shown as it is.
        {47, 10, "/tmp/%d%s",
         "iodiag: severe (47): write to READONLY file, unit 10, file /tmp/%d%s\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(message_line(c.number, c.unit, c.file), c.line);
    }
}

TEST(MessageLine, LongestFileNameFitsTheBuffer) {
    const std::string file(4096, 'f');
    EXPECT_EQ(message_line(29, 10, file),
              "iodiag: severe (29): file not found, unit 10, file " + file + "\n");
}

TEST(SystemErrorLine, UsesTheSystemsDescription) {
    const std::pair<int, const char*> cases[] = {
        {ENOENT, "iodiag: No such file or directory\n"},
        {EISDIR, "iodiag: Is a directory\n"},
        {EACCES, "iodiag: Permission denied\n"},
        {ENOSPC, "iodiag: No space left on device\n"},
        {9999, "iodiag: Unknown error 9999\n"},
        {-3, "iodiag: Unknown error -3\n"},
    };
    for (const auto& [error_number, line] : cases) {
        char storage[256];
        TextBuffer text(storage);
        recio::append_system_error_line(text, error_number);
        EXPECT_EQ(text.view(), line);
    }
}

TEST(FallbackLine, NamesTheConditionInDecimalAndHex) {
    const std::pair<int, const char*> cases[] = {
        {28, "iodiag: no buffer for the diagnostic of condition 28 (0x0000001C)\n"},
        {179, "iodiag: no buffer for the diagnostic of condition 179 (0x000000B3)\n"},
    };
    for (const auto& [number, line] : cases) {
        char storage[128];
        TextBuffer text(storage);
        recio::append_fallback_line(text, number);
        EXPECT_EQ(text.view(), line);
    }
}

TEST(FloatingPointSignal, CodeSelectsTheCondition) {
    const std::pair<int, int> cases[] = {
        {FPE_INTDIV, 71}, {FPE_INTOVF, 70},  {FPE_FLTDIV, 73}, {FPE_FLTOVF, 72},
        {FPE_FLTUND, 74}, {FPE_FLTRES, 140}, {FPE_FLTINV, 65}, {FPE_FLTSUB, 138},
        {SI_USER, 75},    {SI_QUEUE, 75},    {SI_TKILL, 75},   {99, 75},
    };
    for (const auto& [code, number] : cases) {
        EXPECT_EQ(recio::number_of(recio::floating_point_condition(code)), number) << code;
    }
}

TEST(TextBuffer, Decimal) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0"},
        {7, "7"},
        {-4, "-4"},
        {1234567890, "1234567890"},
        {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"},
    };
    for (const auto& [value, text] : cases) {
        char storage[32];
        TextBuffer buffer(storage);
        buffer.append_decimal(value);
        EXPECT_EQ(buffer.view(), text);
    }
}

TEST(TextBuffer, HexadecimalKeepsTheLowDigitsWithLeadingZeros) {
    struct Case {
        std::uint64_t value;
        int digits;
        const char* text;
    };
    const Case cases[] = {
        {0, 8, "00000000"},
        {0x1c, 8, "0000001C"},
        {0xdeadbeef, 8, "DEADBEEF"},
        {0x7f12'3456'789a, 8, "3456789A"},
        {0x7f12'3456'789a, 16, "00007F123456789A"},
        {UINT64_MAX, 16, "FFFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        char storage[32];
        TextBuffer buffer(storage);
        buffer.append_hex(c.value, c.digits);
        EXPECT_EQ(buffer.view(), c.text);
    }
}

TEST(TextBuffer, FieldsAreCutOrPadded) {
    char storage[64];
    TextBuffer buffer(storage);
    buffer.append_left("abc", 5);
    buffer.append('|');
    buffer.append_left("abcdefgh", 5);
    buffer.append('|');
    buffer.append_right("abc", 5);
    buffer.append('|');
    buffer.append_right("abcdefgh", 5);
    buffer.append('|');
    buffer.append_left("", 2);
    EXPECT_EQ(buffer.view(), "abc  |abcde|  abc|abcde|  ");
}

TEST(TextBuffer, CutsAtTheEndOfItsStorageAndSaysSo) {
    char storage[8];
    TextBuffer buffer(storage);
    buffer.append("12345");
    EXPECT_FALSE(buffer.full());
    EXPECT_FALSE(buffer.append_whole("6789"));
    EXPECT_EQ(buffer.view(), "12345");
    EXPECT_TRUE(buffer.full());
    buffer.append("6789");
    EXPECT_EQ(buffer.view(), "12345678");
    EXPECT_EQ(buffer.remaining(), 0u);
    buffer.append_decimal(-1);
    EXPECT_EQ(buffer.view(), "12345678");
    buffer.clear();
    EXPECT_FALSE(buffer.full());
    EXPECT_TRUE(buffer.append_whole("abcdefgh"));
    EXPECT_EQ(buffer.view(), "abcdefgh");
}

}  // namespace

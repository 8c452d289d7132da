#pragma once
// Edited records: the fixed edit formats of the program's prompts, result line and
// plot rows, the statement that writes them, and the text-field read of a line.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "numeric/precision.hpp"
#include "units/unit_connection.hpp"

namespace recio {

enum class EditItemKind {
    record_break,   // ends the current record and starts a new, empty one
    literal,        // appends its bytes
    no_record_end,  // the record that the statement ends is written without terminator
    general_field,  // one value per repetition, `width` bytes with `digits` significant digits
};

struct EditItem {
    EditItemKind kind;
    std::string_view text = {};
    int repeat = 1;
    int width = 0;
    int digits = 0;
};

using EditFormat = std::span<const EditItem>;

namespace edit_formats {

inline constexpr EditItem kFileNamePromptItems[] = {{EditItemKind::record_break},
                                                    {EditItemKind::literal, "Messwertedatei = "},
                                                    {EditItemKind::no_record_end}};
inline constexpr EditItem kDistanceAPromptItems[] = {{EditItemKind::literal, "Abstand a = "},
                                                     {EditItemKind::no_record_end}};
inline constexpr EditItem kDistanceBPromptItems[] = {{EditItemKind::literal, "Abstand b = "},
                                                     {EditItemKind::no_record_end}};
inline constexpr EditItem kDiameterPromptItems[] = {{EditItemKind::literal, "Durchmesser d0  = "},
                                                    {EditItemKind::no_record_end}};
inline constexpr EditItem kResultItems[] = {{EditItemKind::record_break},
                                            {EditItemKind::literal, "E-unendlich = "},
                                            {EditItemKind::general_field, {}, 1, 12, 5},
                                            {EditItemKind::literal, " MPa"}};
inline constexpr EditItem kPlotRowItems[] = {{EditItemKind::general_field, {}, 2, 12, 5}};

inline constexpr EditFormat kFileNamePrompt{kFileNamePromptItems};  // then read_text_field
inline constexpr EditFormat kDistanceAPrompt{kDistanceAPromptItems};
inline constexpr EditFormat kDistanceBPrompt{kDistanceBPromptItems};
inline constexpr EditFormat kDiameterPrompt{kDiameterPromptItems};
inline constexpr EditFormat kResult{kResultItems};       // E
inline constexpr EditFormat kPlotHeader{kPlotRowItems};  // 0, 0
inline constexpr EditFormat kPlotRow{kPlotRowItems};     // displacement, fitted force

}  // namespace edit_formats

// One output statement: carries out the items of `format` in order, each general
// field taking the next of `values`, and passes every record to the operating
// system with its own write request as soon as it is finished. Nothing is held
// back between statements. Failures end the process.
void write_edited(UnitConnection& unit, EditFormat format,
                  std::span<const numeric::QuadReal> values);

// The record that one output statement of `format` writes for `values`, prepared
// ahead of the statement, for formats without record breaks (the plot rows): the
// bytes with their line feed. Pure, so it may run on another thread; what it
// gives is what write_edited would have written, byte for byte.
struct PreparedRecord {
    static constexpr std::size_t kCapacity = 64;
    std::array<char, kCapacity> bytes;
    std::size_t length = 0;
};
void prepare_edited_record(EditFormat format, std::span<const numeric::QuadReal> values,
                           PreparedRecord& record);

// The output statement for a record prepared ahead: one write request, as
// write_edited makes it. Failures end the process.
void write_prepared_record(UnitConnection& unit, const PreparedRecord& record);

// One input statement with a single text field: reads the next record of `unit`
// and fills `field` with its first bytes as they are, padded with blanks; the rest
// of the record is dropped. End of input ends the process (condition 24).
void read_text_field(UnitConnection& unit, std::span<char> field);

}  // namespace recio

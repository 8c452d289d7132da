#include "prepare/export_reading.hpp"

#include <algorithm>
#include <optional>

namespace prepare {

namespace {

// The export's lines, numbered from 1: a line feed ends a line, one carriage
// return before it goes too, and a last line without a line feed counts.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool next(std::string_view& line) {
        if (at_ >= text_.size()) {
            return false;
        }
        const std::size_t end = std::min(text_.find('\n', at_), text_.size());
        line = text_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        at_ = end + 1;
        ++number_;
        return true;
    }
    std::size_t number() const { return number_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t number_ = 0;
};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// How a line falls into fields. Values are separated by blanks, tabs, commas
// or semicolons: a run of blanks and tabs is one separator, and so are the
// blanks around one comma or semicolon, so two commas in a row enclose an
// empty field. A line of column names that holds tabs, commas or semicolons is
// split at those only, so that a name may hold blanks (Ch 1 Force).
struct Splitting {
    char decimal_sign = '.';
    bool blanks_separate = true;

    bool hard_separator(char c) const { return c == ';' || (c == ',' && decimal_sign != ','); }
    bool soft_separator(char c) const { return c == '\t' || (blanks_separate && c == ' '); }
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

void split_fields(std::string_view line, Splitting splitting, std::vector<std::string_view>& fields) {
    fields.clear();
    line = trimmed(line);
    if (line.empty()) {
        return;
    }
    std::size_t at = 0;
    while (true) {
        const std::size_t start = at;
        while (at < line.size() && !splitting.hard_separator(line[at]) && !splitting.soft_separator(line[at])) {
            ++at;
        }
        fields.push_back(trimmed(line.substr(start, at - start)));
        if (at == line.size()) {
            return;
        }
        while (at < line.size() && is_blank(line[at])) {
            ++at;
        }
        if (at < line.size() && splitting.hard_separator(line[at])) {
            ++at;
            while (at < line.size() && is_blank(line[at])) {
                ++at;
            }
            if (at == line.size()) {
                fields.emplace_back();  // a separator at the end: an empty last field
                return;
            }
        }
    }
}

// A line of column names, each without the quotes an export may put around it.
std::vector<std::string_view> column_names(std::string_view line, char decimal_sign) {
    Splitting splitting{decimal_sign, true};
    const bool hard = std::any_of(line.begin(), line.end(),
                                  [&](char c) { return c == '\t' || splitting.hard_separator(c); });
    splitting.blanks_separate = !hard;
    std::vector<std::string_view> names;
    split_fields(line, splitting, names);
    for (std::string_view& name : names) {
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            name = name.substr(1, name.size() - 2);
        }
    }
    return names;
}

bool holds_only_numbers(const std::vector<std::string_view>& fields, char decimal_sign) {
    bool any = false;
    for (const std::string_view field : fields) {
        if (!field.empty()) {
            if (!parse_decimal(field, decimal_sign)) {
                return false;
            }
            any = true;
        }
    }
    return any;
}

// A comma between two digits in a line whose values are also separated by
// blanks, tabs or semicolons: 1;12,5;0,0206 or 1 12,5 0,0206 read with the
// comma as a separator would give a silently wrong series. Returns the text
// around such a comma.
std::optional<std::string_view> decimal_comma_in(std::string_view line) {
    line = trimmed(line);
    bool other_separator = line.find_first_of(";\t") != std::string_view::npos;
    for (std::size_t at = 1; !other_separator && at < line.size(); ++at) {
        // A run of blanks that is not beside a comma separates on its own.
        if (line[at] == ' ' && line[at - 1] != ',' && line[at - 1] != ' ') {
            other_separator = line[line.find_first_not_of(' ', at)] != ',';
        }
    }
    for (std::size_t at = 1; other_separator && at + 1 < line.size(); ++at) {
        if (line[at] == ',' && is_digit(line[at - 1]) && is_digit(line[at + 1])) {
            const std::size_t before = line.find_last_of(" \t;", at);
            const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
            return line.substr(start, std::min(line.find_first_of(" \t;", at), line.size()) - start);
        }
    }
    return std::nullopt;
}

struct HeaderLine {
    std::size_t number = 0;
    std::string_view text;
};

std::string_view quantity_name(const ColumnChoice& choice, const ExportLayout& layout) {
    return &choice == &layout.force ? "force" : "displacement";
}

// The column of a name: the last header line that holds it decides; a line of
// units below the names is passed over that way.
std::variant<std::size_t, ExportError> resolve_name(const std::string& name, const std::vector<HeaderLine>& header,
                                                    char decimal_sign) {
    for (auto line = header.rbegin(); line != header.rend(); ++line) {
        const std::vector<std::string_view> names = column_names(line->text, decimal_sign);
        const auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end()) {
            continue;
        }
        if (std::find(found + 1, names.end(), name) != names.end()) {
            return ExportError{line->number, "the column name " + quoted_field(name) + " stands there twice"};
        }
        return static_cast<std::size_t>(found - names.begin()) + 1;
    }
    if (header.empty()) {
        return ExportError{0, "no header line before the first record names the column " + quoted_field(name)};
    }
    std::string listed;
    for (const std::string_view known : column_names(header.back().text, decimal_sign)) {
        listed += (listed.empty() ? "" : ", ") + quoted_field(known);
    }
    return ExportError{0, "no header line names the column " + quoted_field(name) + "; the last one (line " +
                              std::to_string(header.back().number) + ") holds " + listed};
}

class Reader {
public:
    explicit Reader(const ExportLayout& layout) : layout_(layout) {}

    std::variant<ExportReading, ExportError> read(std::string_view text) {
        Lines lines(text);
        std::string_view line;
        std::vector<HeaderLine> header;
        bool in_data = false;
        while (lines.next(line)) {
            if (trimmed(line).empty()) {
                continue;  // an empty line is no record and no header line
            }
            if (reading_.first_trailing_line != 0) {
                ++reading_.trailing_lines;
                continue;
            }
            split_fields(line, Splitting{layout_.decimal_sign, true}, fields_);
            if (!in_data) {
                if (!holds_only_numbers(fields_, layout_.decimal_sign)) {
                    header.push_back({lines.number(), line});
                    continue;
                }
                in_data = true;
                if (auto error = resolve_columns(header)) {
                    return *error;
                }
            }
            if (auto error = take_record(lines.number(), line)) {
                return *error;
            }
        }
        if (!in_data) {
            std::string message = "no record of numbers in " + std::to_string(lines.number()) + " lines";
            if (layout_.decimal_sign == ',') {
                message += " (with --decimal-comma a decimal point makes a value no number)";
            }
            return ExportError{0, message};
        }
        return std::move(reading_);
    }

private:
    std::optional<ExportError> resolve_columns(const std::vector<HeaderLine>& header) {
        for (const ColumnChoice* choice : {&layout_.force, &layout_.displacement}) {
            std::size_t& column = choice == &layout_.force ? reading_.force_column : reading_.displacement_column;
            if (choice->position != 0) {
                column = choice->position;
                continue;
            }
            auto resolved = resolve_name(choice->name, header, layout_.decimal_sign);
            if (auto* error = std::get_if<ExportError>(&resolved)) {
                return *error;
            }
            column = std::get<std::size_t>(resolved);
        }
        if (reading_.force_column == reading_.displacement_column) {
            return ExportError{0, "force and displacement name the same column, " +
                                      std::to_string(reading_.force_column)};
        }
        return std::nullopt;
    }

    // Why a chosen column of a record gives no value.
    struct Refusal {
        bool number_missing = true;  // false: a number, but out of range
        std::string message;
    };

    // The chosen column of the record as a number, or why not.
    std::variant<DecimalText, Refusal> value_in(const ColumnChoice& choice, std::size_t column) const {
        // Only a refusal pays for its text.
        const auto where = [&] {
            return "column " + std::to_string(column) + " (" + std::string(quantity_name(choice, layout_)) + ")";
        };
        if (column > fields_.size()) {
            return Refusal{true, "no " + where() + ": the record has " + std::to_string(fields_.size()) +
                                     (fields_.size() == 1 ? " field" : " fields")};
        }
        const auto value = parse_decimal(fields_[column - 1], layout_.decimal_sign);
        if (!value) {
            return Refusal{true, where() + " holds no number: " + quoted_field(fields_[column - 1])};
        }
        DecimalText converted = scaled(*value, choice.power);
        if (choice.negate) {
            converted = negated(converted);
        }
        if (!within_reading_range(converted)) {
            return Refusal{false, where() + ": " + quoted_field(fields_[column - 1]) +
                                      " lies beyond what emodul reads as a number (10^-4965 to 10^4932 in N or mm)"};
        }
        return converted;
    }

    std::optional<ExportError> take_record(std::size_t number, std::string_view line) {
        auto force = value_in(layout_.force, reading_.force_column);
        auto displacement = value_in(layout_.displacement, reading_.displacement_column);
        for (const auto* value : {&force, &displacement}) {
            if (const auto* refusal = std::get_if<Refusal>(value)) {
                // Trailing lines follow data: a first record without its numbers is refused.
                if (layout_.trailing_lines_allowed && refusal->number_missing && !reading_.records.empty()) {
                    reading_.first_trailing_line = number;
                    reading_.trailing_lines = 1;
                    return std::nullopt;
                }
                return ExportError{number, refusal->message};
            }
        }
        if (layout_.decimal_sign != ',') {
            if (const auto suspect = decimal_comma_in(line)) {
                return ExportError{number, quoted_field(*suspect) +
                                               " looks like a number with a decimal comma; give --decimal-comma"};
            }
        }
        reading_.records.push_back({number, std::get<DecimalText>(force), std::get<DecimalText>(displacement)});
        return std::nullopt;
    }

    const ExportLayout& layout_;
    ExportReading reading_;
    std::vector<std::string_view> fields_;
};

}  // namespace

std::variant<ExportReading, ExportError> read_export(std::string_view text, const ExportLayout& layout) {
    return Reader(layout).read(text);
}

std::string quoted_field(std::string_view field) {
    constexpr std::size_t kShown = 40;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "\"";
    for (const char c : field.substr(0, kShown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        } else {
            text += c;
        }
    }
    text += field.size() > kShown ? "\"..." : "\"";
    return text;
}

}  // namespace prepare

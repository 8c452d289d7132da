#include "reader/free_form_input.hpp"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "decimal/decimal_characters.hpp"
#include "decimal/decimal_conversion.hpp"
#include "decimal/decimal_fast_path.hpp"
#include "decimal/decimal_scan.hpp"
#include "numeric/constants.hpp"
#include "reader/plain_number.hpp"
#include "reader/value_scan.hpp"
#include "units/record_input.hpp"

namespace recio {
namespace {

using numeric::QuadReal;

// Quoted strings are never numbers, so their text is only counted, not kept; the
// limit still applies.
constexpr std::size_t kMaxStringLength = 2049;

enum class SearchEnd { value, null, slash, end_of_file };

// A value as the search hands it to an item: converted, or a conversion failure
// that becomes the request's pending error when an item would receive it.
struct Found {
    bool convertible = false;
    QuadReal value;
};

constexpr Found unconvertible() {
    return Found{};
}

// Whether a repeat count is a decimal integer that fits 32 bits and is at least 1.
std::optional<std::int32_t> repeat_count_of(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    std::int32_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || count < 1) {
        return std::nullopt;
    }
    return count;
}

// What the comma rule remembers: the nearest earlier non-blank character of the
// request, across its record ends, is nothing, a comma or anything else.
enum class LastMet : std::uint8_t { nothing, comma, other };

// Whether a plain number may be taken by the fast path; the full grammar is the
// only path when it is off, so that the two can be compared.
enum class FastPath : bool { off, on };

// One read request: the request state lives as long as the request.
template <FastPath kFastPath>
class ReadRequest {
public:
    ReadRequest(UnitConnection& unit, EndExit end_exit) : unit_(unit), end_exit_(end_exit) {}

    ReadOutcome run(std::span<QuadReal* const> items) {
        if (!fetch_record()) {
            return end_of_input();
        }
        for (QuadReal* item : items) {
            if (slash_met_) {
                break;
            }
            if (repeat_count_ > 0) {
                --repeat_count_;
                if (repeated_) {
                    assign(*item, *repeated_);
                }
                continue;
            }
            if constexpr (kFastPath == FastPath::on) {
                if (!pending_error_ && !pair_open_ && take_plain_number(*item)) {
                    continue;
                }
            }
            // An error noted before this search is raised once the search succeeds.
            const bool pending_before = pending_error_;
            Found found;
            const SearchEnd end = search(found, ScanContext::item);
            if (end == SearchEnd::end_of_file) {
                return end_of_input();
            }
            if (pending_before) {
                raise_pending_error();
            }
            if (end == SearchEnd::value) {
                assign(*item, found);
            }
        }
        if (pending_error_) {
            raise_pending_error();
        }
        return ReadOutcome::completed;
    }

private:
    bool fetch_record() {
        position_ = 0;
        return next_record_into(unit_, record_);
    }

    ReadOutcome end_of_input() {
        report_on_unit(Condition::end_of_file, unit_, end_exit_);
        return ReadOutcome::end_of_file;
    }

    [[noreturn]] void syntax_error() { fail_on_unit(Condition::syntax_error, unit_); }

    [[noreturn]] void raise_pending_error() {
        fail_on_unit(Condition::input_conversion_error, unit_);
    }

    void assign(QuadReal& item, const Found& found) {
        if (found.convertible) {
            item = found.value;
        } else {
            pending_error_ = true;
        }
    }

    // The common value, by the fast path; nothing is consumed when it declines.
    bool take_plain_number(QuadReal& item) {
        const char* const first = record_.data();
        const char* const end =
            recio::take_plain_number<true>(first + position_, last_met_ == LastMet::other, &item);
        if (end == nullptr) {
            return false;
        }
        position_ = static_cast<std::size_t>(end - first);
        last_met_ = LastMet::other;
        return true;
    }

    // Skips blanks and whole records; false at end of file.
    bool skip_blanks() {
        while (true) {
            const char* const first = record_.data();
            const char* const last = first + record_.size();
            const char* p = first + position_;
            while (p != last && is_blank(*p)) {
                ++p;
            }
            position_ = static_cast<std::size_t>(p - first);
            if (p != last) {
                return true;
            }
            if (!fetch_record()) {
                return false;
            }
        }
    }

    // Finds the next value, null value or slash.
    SearchEnd search(Found& found, ScanContext context) {
        while (true) {
            if (!skip_blanks()) {
                return SearchEnd::end_of_file;
            }
            switch (class_of(record_[position_])) {
                case CharClass::slash:
                    ++position_;
                    last_met_ = LastMet::other;
                    slash_met_ = true;
                    return SearchEnd::slash;
                case CharClass::comma: {
                    // A comma after nothing, or after another comma, stands for a null
                    // value; after anything else it only separates.
                    const bool null = last_met_ != LastMet::other;
                    ++position_;
                    last_met_ = LastMet::comma;
                    if (null) {
                        return SearchEnd::null;
                    }
                    continue;
                }
                case CharClass::open:
                    if (pair_open_) {
                        syntax_error();
                    }
                    pair_open_ = true;
                    ++position_;
                    last_met_ = LastMet::other;
                    continue;
                case CharClass::close:
                    syntax_error();
                case CharClass::quote:
                    if (!skip_quoted_string(record_[position_])) {
                        return SearchEnd::end_of_file;
                    }
                    found = unconvertible();
                    break;
                default: {
                    const ScannedValue scanned = scan_value(record_, position_, context);
                    switch (scanned.form) {
                        case ValueForm::syntax_error:
                            syntax_error();
                        case ValueForm::repeat:
                            return take_repeat_form(found, scanned.end);
                        case ValueForm::logical_true:
                            found = Found{true, numeric::kMinusOne};
                            break;
                        case ValueForm::logical_false:
                            found = Found{true, numeric::kPositiveZero};
                            break;
                        case ValueForm::number:
                            found = convert(record_.substr(position_, scanned.end - position_));
                            break;
                    }
                    position_ = scanned.end;
                    last_met_ = LastMet::other;
                    break;
                }
            }
            if (pair_open_ && !skip_rest_of_pair()) {
                return SearchEnd::end_of_file;
            }
            return SearchEnd::value;
        }
    }

    static Found convert(std::string_view text) {
        const ScannedDecimal scanned = scan_decimal(text);
        if (const auto fast = fast_path_convert(scanned)) {
            return Found{true, *fast};
        }
        const ConvertedValue converted = convert_scanned_decimal(scanned);
        return Found{converted.ok, converted.value};
    }

    // `end` is just behind the "*" of a repeat form starting at the position.
    SearchEnd take_repeat_form(Found& found, std::size_t end) {
        const auto count = repeat_count_of(record_.substr(position_, end - 1 - position_));
        position_ = end;
        last_met_ = LastMet::other;
        if (position_ == record_.size() || record_[position_] == ' ' ||
            record_[position_] == '\t' || record_[position_] == ',') {
            // Count null values; the blank or comma behind the "*" belongs to the form.
            if (position_ < record_.size()) {
                if (record_[position_] == ',') {
                    last_met_ = LastMet::comma;
                }
                ++position_;
            }
            if (!count) {
                found = unconvertible();
                return SearchEnd::value;
            }
            repeat_count_ = *count - 1;
            repeated_.reset();
            return SearchEnd::null;
        }
        Found value;
        const SearchEnd end_of_value = search(value, ScanContext::repeated_value);
        if (end_of_value == SearchEnd::end_of_file) {
            return end_of_value;
        }
        if (!count) {
            // The count is wrong whatever follows it; behind a slash nothing else
            // would see it before the end of the list. A null (the first number of
            // a pair, "0*(,,") carries it as well: no number was converted, so the
            // pair stays open and its rest is left to the next search.
            if (end_of_value == SearchEnd::slash) {
                pending_error_ = true;
                return end_of_value;
            }
            found = unconvertible();
            return SearchEnd::value;
        }
        if (end_of_value == SearchEnd::slash) {
            return end_of_value;
        }
        repeat_count_ = *count - 1;
        if (end_of_value == SearchEnd::null) {
            repeated_.reset();
            return SearchEnd::null;
        }
        repeated_ = value;
        found = value;
        return SearchEnd::value;
    }

    // The text runs to the matching mark, two marks in a row standing for one; it
    // may continue over record ends, which add nothing to it. False at end of file.
    bool skip_quoted_string(char mark) {
        ++position_;
        std::size_t length = 0;
        while (true) {
            if (position_ == record_.size()) {
                if (!fetch_record()) {
                    return false;
                }
                continue;
            }
            const char c = record_[position_++];
            if (c == mark) {
                if (position_ < record_.size() && record_[position_] == mark) {
                    ++position_;
                } else {
                    last_met_ = LastMet::other;
                    return true;
                }
            }
            if (++length > kMaxStringLength) {
                syntax_error();
            }
        }
    }

    // After the first number of a pair: a comma, an optional sign, the second
    // number, ")", with blanks and record ends allowed between these parts. Only
    // the form of the second number is checked; its value is not used. False at
    // end of file.
    bool skip_rest_of_pair() {
        if (!skip_blanks()) {
            return false;
        }
        if (record_[position_] != ',') {
            syntax_error();
        }
        ++position_;
        if (!skip_blanks()) {
            return false;
        }
        if (class_of(record_[position_]) == CharClass::sign) {
            ++position_;
            if (!skip_blanks()) {
                return false;
            }
        }
        const ScannedValue number = scan_value(record_, position_, ScanContext::pair_number);
        if (number.form == ValueForm::syntax_error) {
            syntax_error();
        }
        position_ = number.end;
        if (!skip_blanks()) {
            return false;
        }
        if (record_[position_] != ')') {
            syntax_error();
        }
        ++position_;
        last_met_ = LastMet::other;
        pair_open_ = false;
        return true;
    }

    UnitConnection& unit_;
    const EndExit end_exit_;
    std::string_view record_;
    std::size_t position_ = 0;
    std::int32_t repeat_count_ = 0;
    std::optional<Found> repeated_;  // empty: the repeat form hands out nulls
    bool slash_met_ = false;
    bool pending_error_ = false;  // an input conversion error not raised yet
    bool pair_open_ = false;
    LastMet last_met_ = LastMet::nothing;  // for the comma rule
};

// Requests of one value per column whose records lie whole in the unit's buffer
// and hold a plain number for every column, from row `row` on: the common rows,
// taken without a request each. Stops before the first record of another kind
// and returns the number of rows taken.
std::size_t take_plain_rows(InputState& input, std::span<const ItemColumn> columns, std::size_t row,
                            std::size_t rows) {
    if (input.consumed == input.filled) {
        return 0;  // nothing held, perhaps not even a buffer yet
    }
    const char* const data = input.bytes.data();
    const PlainRowsTaken taken =
        take_plain_rows(data + input.consumed, data + input.filled, columns, row, rows - row);
    input.consumed = static_cast<std::size_t>(taken.stop - data);
    return taken.rows;
}

}  // namespace

std::size_t read_rows(UnitConnection& unit, std::span<const ItemColumn> columns, std::size_t rows,
                      EndExit end_exit) {
    std::vector<QuadReal*> row_items(columns.size());  // the items of one full request
    QuadReal not_kept = numeric::kPositiveZero;
    std::size_t row = 0;
    while (row < rows) {
        if (unit.unit == kFileUnit) {
            row += take_plain_rows(unit.input, columns, row, rows);
            if (row == rows) {
                break;
            }
        }
        for (std::size_t j = 0; j < columns.size(); ++j) {
            row_items[j] = columns[j].first == nullptr ? &not_kept
                                                       : &columns[j].first[row * columns[j].stride];
        }
        if (ReadRequest<FastPath::on>(unit, end_exit).run(row_items) == ReadOutcome::end_of_file) {
            break;
        }
        ++row;
    }
    return row;
}

std::size_t read_plain_rows(UnitConnection& unit, std::span<const ItemColumn> columns,
                            std::size_t rows) {
    std::size_t row = 0;
    while (row < rows) {
        row += take_plain_rows(unit.input, columns, row, rows);
        if (row == rows) {
            break;
        }
        const InputState& input = unit.input;
        const char* const held = input.bytes.data();
        const bool whole_record_held =
            input.consumed < input.filled &&
            find_line_feed(held + input.consumed, held + input.filled) != nullptr;
        // A whole record that was not taken is of another kind; one that is not
        // whole yet may be plain once the rest of it is read.
        if (whole_record_held || !read_further(unit)) {
            break;
        }
    }
    return row;
}

PlainRowsTaken take_plain_rows(const char* begin, const char* end,
                               std::span<const ItemColumn> columns, std::size_t first_row,
                               std::size_t rows) {
    const char* record = begin;
    std::size_t taken = 0;
    for (; taken < rows; ++taken) {
        // The record's end is found first, from its start and not from its last
        // value, so that finding the next record does not wait for the values of
        // this one: the processor reads several records at once.
        const char* const line_feed = find_line_feed(record, end);
        if (line_feed == nullptr) {
            break;
        }
        const char* p = record;
        bool comma_separates = false;  // a request starts with nothing met
        for (const ItemColumn& column : columns) {
            p = column.first == nullptr
                    ? take_plain_number<false>(p, comma_separates, nullptr)
                    : take_plain_number<true>(p, comma_separates,
                                              &column.first[(first_row + taken) * column.stride]);
            if (p == nullptr) {
                break;
            }
            comma_separates = true;
        }
        if (p == nullptr) {
            break;
        }
        // The rest of the record is abandoned, as by any request.
        record = line_feed + 1;
    }
    return {taken, record};
}

ReadOutcome read_values(UnitConnection& unit, std::span<QuadReal* const> items, EndExit end_exit) {
    return ReadRequest<FastPath::on>(unit, end_exit).run(items);
}

ReadOutcome read_values_by_full_grammar(UnitConnection& unit, std::span<QuadReal* const> items,
                                        EndExit end_exit) {
    return ReadRequest<FastPath::off>(unit, end_exit).run(items);
}

}  // namespace recio

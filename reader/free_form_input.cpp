#include "reader/free_form_input.hpp"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

#include "decimal/decimal_characters.hpp"
#include "decimal/decimal_conversion.hpp"
#include "decimal/decimal_fast_path.hpp"
#include "decimal/decimal_scan.hpp"
#include "numeric/constants.hpp"
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

constexpr bool is_logical_letter(char c) {
    return c == 'T' || c == 't' || c == 'F' || c == 'f';
}

constexpr bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One read request: the request state lives as long as the request.
class ReadRequest {
public:
    ReadRequest(UnitConnection& unit, EndExit end_exit) : unit_(unit), end_exit_(end_exit) {}

    ReadOutcome run(std::span<QuadReal* const> items) {
        if (!fetch_record()) {
            return end_of_input();
        }
        for (QuadReal* item : items) {
            if (slash_met_) {
                continue;
            }
            if (repeat_count_ > 0) {
                --repeat_count_;
                if (repeated_) {
                    assign(*item, *repeated_);
                }
                continue;
            }
            Found found;
            const SearchEnd end = search(found, false);
            if (end == SearchEnd::end_of_file) {
                return end_of_input();
            }
            raise_pending_error();
            if (end == SearchEnd::value) {
                assign(*item, found);
            }
        }
        raise_pending_error();
        return ReadOutcome::completed;
    }

private:
    bool fetch_record() {
        const auto record = next_record(unit_);
        if (!record) {
            return false;
        }
        record_ = *record;
        position_ = 0;
        return true;
    }

    ReadOutcome end_of_input() {
        report_on_unit(Condition::end_of_file, unit_, end_exit_);
        return ReadOutcome::end_of_file;
    }

    [[noreturn]] void syntax_error() { fail_on_unit(Condition::syntax_error, unit_); }

    void raise_pending_error() {
        if (conversion_failed_) {
            fail_on_unit(Condition::input_conversion_error, unit_);
        }
    }

    void assign(QuadReal& item, const Found& found) {
        if (found.convertible) {
            item = found.value;
        } else {
            conversion_failed_ = true;
        }
    }

    bool ends_value_at(std::size_t position) const {
        return position == record_.size() || ends_value(record_[position]);
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

    // Finds the next value, null value or slash. `after_repeat_mark` is set when
    // the value of a repeat form is looked for, which may not be a repeat form
    // itself.
    SearchEnd search(Found& found, bool after_repeat_mark) {
        while (true) {
            if (!skip_blanks()) {
                return SearchEnd::end_of_file;
            }
            const char c = record_[position_];
            if (c == ',') {
                // A comma after nothing, or after another comma, stands for a null
                // value; after anything else it only separates.
                const bool null = last_significant_ == '\0' || last_significant_ == ',';
                ++position_;
                last_significant_ = ',';
                if (null) {
                    return SearchEnd::null;
                }
                continue;
            }
            if (c == '(') {
                if (pair_open_) {
                    syntax_error();
                }
                pair_open_ = true;
                ++position_;
                last_significant_ = '(';
                continue;
            }
            return take_value(found, after_repeat_mark);
        }
    }

    SearchEnd take_value(Found& found, bool after_repeat_mark) {
        const char c = record_[position_];
        if (c == '/') {
            ++position_;
            last_significant_ = '/';
            slash_met_ = true;
            return SearchEnd::slash;
        }
        if (c == ')') {
            syntax_error();
        }
        SearchEnd end = SearchEnd::value;
        if (c == '\'' || c == '"') {
            if (!skip_quoted_string(c)) {
                return SearchEnd::end_of_file;
            }
            found = unconvertible();
        } else if (is_logical_letter(c) || (c == '.' && position_ + 1 < record_.size() &&
                                            is_logical_letter(record_[position_ + 1]))) {
            const char letter = c == '.' ? record_[position_ + 1] : c;
            found = Found{
                true, to_upper_case(letter) == 'F' ? numeric::kPositiveZero : numeric::kMinusOne};
            position_ = end_of_word(record_, position_);
            last_significant_ = record_[position_ - 1];
        } else if (const ScannedPrefix plain = scan_decimal_prefix(record_.substr(position_));
                   plain.scanned.kind == DecimalKind::number &&
                   ends_value_at(position_ + plain.length)) {
            // The common case: a number that ends where a value may end, taken
            // apart once and converted where it stands.
            if (const auto fast = fast_path_convert(plain.scanned)) {
                found = Found{true, *fast};
            } else {
                const ConvertedValue converted = convert_scanned_decimal(plain.scanned);
                found = Found{converted.ok, converted.value};
            }
            position_ += plain.length;
            last_significant_ = record_[position_ - 1];
        } else {
            const NumericScan scan = scan_numeric_value(record_, position_);
            if (!scan.valid) {
                syntax_error();
            }
            if (scan.repeat_mark) {
                if (after_repeat_mark) {
                    syntax_error();
                }
                return take_repeat_form(found, scan.end);
            }
            const std::string_view text = record_.substr(position_, scan.end - position_);
            const ConvertedValue converted = convert_numeric_value(text);
            found = Found{converted.ok, converted.value};
            position_ = scan.end;
            last_significant_ = record_[position_ - 1];
        }
        if (pair_open_ && !skip_rest_of_pair()) {
            return SearchEnd::end_of_file;
        }
        return end;
    }

    // `end` is just behind the "*" of a repeat form starting at the position.
    SearchEnd take_repeat_form(Found& found, std::size_t end) {
        const auto count = repeat_count_of(record_.substr(position_, end - 1 - position_));
        position_ = end;
        last_significant_ = '*';
        const bool nulls = position_ == record_.size() || record_[position_] == ' ' ||
                           record_[position_] == '\t' || record_[position_] == ',';
        if (nulls) {
            if (position_ < record_.size()) {
                if (record_[position_] == ',') {
                    last_significant_ = ',';
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
        const SearchEnd end_of_value = search(value, true);
        if (end_of_value == SearchEnd::slash || end_of_value == SearchEnd::end_of_file) {
            return end_of_value;
        }
        if (!count) {
            found = unconvertible();
            return SearchEnd::value;
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
                    last_significant_ = mark;
                    return true;
                }
            }
            if (++length > kMaxStringLength) {
                syntax_error();
            }
        }
    }

    // After the first number of a pair: a comma, the second number, ")". Only its
    // form is checked; its value is not used. False at end of file.
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
        skip_second_number_of_pair();
        if (!skip_blanks()) {
            return false;
        }
        if (record_[position_] != ')') {
            syntax_error();
        }
        ++position_;
        last_significant_ = ')';
        pair_open_ = false;
        return true;
    }

    void skip_second_number_of_pair() {
        auto at = [this](std::size_t p) { return p < record_.size() ? record_[p] : '\0'; };
        std::size_t p = position_;
        if (at(p) == '+' || at(p) == '-') {
            ++p;
        }
        if (is_letter(at(p))) {
            const std::size_t start = p;
            while (is_letter(at(p))) {
                ++p;
            }
            const auto leading_part_of = [&](std::string_view word) {
                if (p - start > word.size()) {
                    return false;
                }
                for (std::size_t i = start; i < p; ++i) {
                    if (to_upper_case(record_[i]) != word[i - start]) {
                        return false;
                    }
                }
                return true;
            };
            if (!leading_part_of("INFINITY") && !leading_part_of("NAN")) {
                syntax_error();
            }
        } else {
            bool digits = false;
            while (is_decimal_digit(at(p))) {
                ++p;
                digits = true;
            }
            if (at(p) == '.') {
                ++p;
                while (is_decimal_digit(at(p))) {
                    ++p;
                    digits = true;
                }
            }
            if (!digits) {
                syntax_error();
            }
            const char letter = to_upper_case(at(p));
            if (letter == 'E' || letter == 'D' || letter == 'Q') {
                ++p;
                while (is_decimal_digit(at(p))) {
                    ++p;
                }
            }
        }
        position_ = p;
    }

    UnitConnection& unit_;
    const EndExit end_exit_;
    std::string_view record_;
    std::size_t position_ = 0;
    std::int32_t repeat_count_ = 0;
    std::optional<Found> repeated_;  // empty: the repeat form hands out nulls
    bool slash_met_ = false;
    bool conversion_failed_ = false;  // the pending input conversion error
    bool pair_open_ = false;
    // The nearest earlier non-blank character of the request, across its record
    // ends; decides whether a comma is a null value.
    char last_significant_ = '\0';
};

}  // namespace

ReadOutcome read_values(UnitConnection& unit, std::span<QuadReal* const> items, EndExit end_exit) {
    return ReadRequest(unit, end_exit).run(items);
}

}  // namespace recio

#include "fuzz/support/read_model.hpp"

#include <cstdint>
#include <string>

#include "decimal/decimal_conversion.hpp"
#include "numeric/constants.hpp"

namespace fuzzsupport {
namespace {

using numeric::QuadReal;

bool in(char c, std::string_view set) {
    return set.find(c) != std::string_view::npos;
}

// Character sets of the rules ('\0' is an ordinary character: never in a set).
constexpr std::string_view kBlanks = " \t\r";
constexpr std::string_view kValueEnds = " \t,/)";
constexpr std::string_view kLogicalEnds = " \t\r,/)";
constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kSigns = "+-";
constexpr std::string_view kExponentLetters = "EeDdQq";
constexpr std::string_view kWordLetters = "IiNn";
constexpr std::string_view kLogicalLetters = "TtFf";
constexpr std::size_t kMaxString = 2049;

struct Fatal {
    int status;
};
struct EndOfFile {};

std::vector<std::string> records_of(std::string_view input) {
    std::vector<std::string> records;
    std::size_t start = 0;
    while (start < input.size()) {
        const std::size_t line_feed = input.find('\n', start);
        if (line_feed == std::string_view::npos) {
            records.emplace_back(input.substr(start));
            break;
        }
        std::string record(input.substr(start, line_feed - start));
        if (!record.empty() && record.back() == '\r') {
            record.pop_back();
        }
        records.push_back(std::move(record));
        start = line_feed + 1;
    }
    return records;
}

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// A found value: a pattern, or the conversion failure it gives an item.
struct Value {
    bool convertible = false;
    QuadReal pattern;
};

enum class Kind { value, null, slash };

struct Found {
    Kind kind = Kind::null;
    Value value;
};

enum class Last { nothing, comma, other };

class Request {
public:
    Request(const std::vector<std::string>& records, std::size_t first)
        : records_(records), index_(first) {}

    std::size_t index() const { return index_; }

    std::vector<std::optional<QuadReal>> serve(int count) {
        std::vector<std::optional<QuadReal>> items(static_cast<std::size_t>(count));
        for (auto& item : items) {
            if (slash_met_) {
                continue;
            }
            if (repeat_count_ > 0) {
                --repeat_count_;
                if (repeated_) {
                    take(item, *repeated_);
                }
                continue;
            }
            const bool pending_before = pending_;
            const Found found = search(false);
            if (pending_before) {
                throw Fatal{64};
            }
            if (found.kind == Kind::value) {
                take(item, found.value);
            }
        }
        if (pending_) {
            throw Fatal{64};
        }
        return items;
    }

private:
    const std::string& record() const { return records_[index_]; }
    bool at_end() const { return pos_ >= record().size(); }
    char at(std::size_t offset = 0) const {
        const std::size_t p = pos_ + offset;
        return p < record().size() ? record()[p] : '\0';
    }
    bool has(std::size_t offset) const { return pos_ + offset < record().size(); }

    void take(std::optional<QuadReal>& item, const Value& value) {
        if (value.convertible) {
            item = value.pattern;
        } else {
            pending_ = true;
        }
    }

    void next_record() {
        if (index_ + 1 >= records_.size()) {
            throw EndOfFile{};
        }
        ++index_;
        pos_ = 0;
    }

    void skip_blanks() {
        while (true) {
            while (!at_end() && in(at(), kBlanks)) {
                ++pos_;
            }
            if (!at_end()) {
                return;
            }
            next_record();
        }
    }

    static Value convert(std::string_view text) {
        const recio::ConvertedValue converted = recio::convert_numeric_value(text);
        return {converted.ok, converted.value};
    }

    Found search(bool after_repeat_mark) {
        while (true) {
            skip_blanks();
            const char c = at();
            if (c == '/') {
                ++pos_;
                last_ = Last::other;
                slash_met_ = true;
                return {Kind::slash, {}};
            }
            if (c == ',') {
                const bool null = last_ != Last::other;
                ++pos_;
                last_ = Last::comma;
                if (null) {
                    return {Kind::null, {}};
                }
                continue;
            }
            if (c == '(') {
                if (pair_open_) {
                    throw Fatal{59};
                }
                pair_open_ = true;
                ++pos_;
                last_ = Last::other;
                continue;
            }
            if (c == ')') {
                throw Fatal{59};
            }
            Value value;
            if (c == '\'' || c == '"') {
                value = quoted_string(c);
            } else if (in(c, kLogicalLetters) ||
                       (c == '.' && has(1) && in(at(1), kLogicalLetters))) {
                value = logical_constant();
            } else {
                const Found found = numeric_value(after_repeat_mark);
                if (found.kind != Kind::value) {
                    return found;
                }
                value = found.value;
            }
            if (pair_open_) {
                rest_of_pair();
            }
            return {Kind::value, value};
        }
    }

    Value quoted_string(char mark) {
        ++pos_;
        std::size_t length = 0;
        while (true) {
            if (at_end()) {
                next_record();
                continue;
            }
            const char c = at();
            ++pos_;
            if (c == mark) {
                if (has(0) && at() == mark) {
                    ++pos_;
                } else {
                    last_ = Last::other;
                    return {};
                }
            }
            if (++length > kMaxString) {
                throw Fatal{59};
            }
        }
    }

    Value logical_constant() {
        const char letter = at() == '.' ? at(1) : at();
        while (!at_end() && !in(at(), kLogicalEnds)) {
            ++pos_;
        }
        last_ = Last::other;
        return {true, letter == 'F' || letter == 'f' ? numeric::kPositiveZero : numeric::kMinusOne};
    }

    Found numeric_value(bool after_repeat_mark) {
        const std::string& r = record();
        const std::size_t start = pos_;
        std::size_t p = start;
        bool any_digit = false;
        bool digit_since_sign = false;
        bool sign_waits = false;
        bool point = false;
        bool exponent = false;
        for (; p < r.size(); ++p) {
            const char c = r[p];
            if (in(c, kDigits)) {
                any_digit = digit_since_sign = true;
                sign_waits = false;
            } else if (in(c, kSigns)) {
                if (sign_waits) {
                    throw Fatal{59};
                }
                sign_waits = true;
                digit_since_sign = false;
            } else if (c == '.') {
                if (point) {
                    throw Fatal{59};
                }
                point = true;
            } else if (in(c, kExponentLetters)) {
                if (exponent || !digit_since_sign) {
                    throw Fatal{59};
                }
                exponent = true;
            } else if (in(c, kWordLetters)) {
                const std::size_t before = p - start;
                if (!(before == 0 || (before == 1 && in(r[start], kSigns)))) {
                    throw Fatal{59};
                }
                while (p < r.size() && !in(r[p], kValueEnds)) {
                    ++p;
                }
                pos_ = p;
                last_ = Last::other;
                return {Kind::value, convert(std::string_view(r).substr(start, p - start))};
            } else if (in(c, kValueEnds)) {
                break;
            } else if (c == '*') {
                if (p == start || sign_waits || after_repeat_mark) {
                    throw Fatal{59};
                }
                pos_ = p + 1;
                last_ = Last::other;
                return repeat_form(r.substr(start, p - start));
            } else {
                throw Fatal{59};
            }
        }
        if (sign_waits || !any_digit) {
            throw Fatal{59};
        }
        pos_ = p;
        last_ = Last::other;
        return {Kind::value, convert(std::string_view(r).substr(start, p - start))};
    }

    // A count of 1 to 2^31 - 1, with an optional sign; nothing otherwise.
    static std::optional<std::int32_t> count_of(const std::string& text) {
        std::size_t i = 0;
        bool negative = false;
        if (i < text.size() && in(text[i], kSigns)) {
            negative = text[i] == '-';
            ++i;
        }
        if (i == text.size()) {
            return std::nullopt;
        }
        std::int64_t count = 0;
        for (; i < text.size(); ++i) {
            if (!in(text[i], kDigits)) {
                return std::nullopt;
            }
            count = count * 10 + (text[i] - '0');
            if (count > INT32_MAX) {
                return std::nullopt;
            }
        }
        if (negative || count < 1) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(count);
    }

    Found repeat_form(const std::string& count_text) {
        const auto count = count_of(count_text);
        if (at_end() || in(at(), " \t,")) {
            if (!at_end()) {
                if (at() == ',') {
                    last_ = Last::comma;
                }
                ++pos_;
            }
            if (!count) {
                pending_ = true;
                return {Kind::null, {}};
            }
            repeat_count_ = *count - 1;
            repeated_.reset();
            return {Kind::null, {}};
        }
        const Found found = search(true);
        if (!count) {
            if (found.kind != Kind::value) {
                // A slash, or the null first number of a pair ("0*(,,"): nothing
                // converted, so an open pair stays open and the error waits.
                pending_ = true;
                return found;
            }
            return {Kind::value, {}};
        }
        if (found.kind == Kind::slash) {
            return found;
        }
        repeat_count_ = *count - 1;
        if (found.kind == Kind::value) {
            repeated_ = found.value;
        } else {
            repeated_.reset();
        }
        return found;
    }

    void rest_of_pair() {
        skip_blanks();
        if (at() != ',') {
            throw Fatal{59};
        }
        ++pos_;
        skip_blanks();
        if (in(at(), kSigns)) {
            ++pos_;
            skip_blanks();
        }
        const std::string& r = record();
        std::size_t p = pos_;
        const auto digits = [&] {
            const std::size_t first = p;
            while (p < r.size() && in(r[p], kDigits)) {
                ++p;
            }
            return p > first;
        };
        if (is_letter(r[p])) {
            std::string word;
            while (p < r.size() && is_letter(r[p])) {
                word.push_back(upper(r[p++]));
            }
            if (std::string_view("INFINITY").substr(0, word.size()) != word &&
                std::string_view("NAN").substr(0, word.size()) != word) {
                throw Fatal{59};
            }
        } else {
            if (!digits()) {
                throw Fatal{59};
            }
            if (p < r.size() && r[p] == '.') {
                ++p;
                digits();
            }
            if (p < r.size() && in(r[p], kExponentLetters)) {
                ++p;
                if (!digits()) {
                    throw Fatal{59};
                }
            }
        }
        pos_ = p;
        skip_blanks();
        if (at() != ')') {
            throw Fatal{59};
        }
        ++pos_;
        last_ = Last::other;
        pair_open_ = false;
    }

    const std::vector<std::string>& records_;
    std::size_t index_;
    std::size_t pos_ = 0;
    Last last_ = Last::nothing;
    bool pair_open_ = false;
    bool slash_met_ = false;
    bool pending_ = false;
    std::int32_t repeat_count_ = 0;
    std::optional<Value> repeated_;
};

}  // namespace

ModelRun model_read_requests(std::string_view input, const std::vector<ModelRequest>& schedule) {
    const std::vector<std::string> records = records_of(input);
    ModelRun run;
    std::size_t first = 0;
    for (std::size_t k = 0;; ++k) {
        const ModelRequest& request = schedule[k % schedule.size()];
        const auto end_of_file = [&] {
            if (!request.end_exit) {
                run.status = 24;
            }
            return run;
        };
        if (first >= records.size()) {
            return end_of_file();
        }
        Request reading(records, first);
        try {
            run.completed.push_back(reading.serve(request.items));
        } catch (const EndOfFile&) {
            return end_of_file();
        } catch (const Fatal& failure) {
            run.status = failure.status;
            return run;
        }
        first = reading.index() + 1;
    }
}

}  // namespace fuzzsupport

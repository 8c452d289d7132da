#pragma once
// The grammar of one free-form value, in one place: every character belongs to one
// class of a table, and one scanner over those classes decides, for every form of
// value (number, Inf/NaN word, repeat form, logical constant, the second number of
// a pair), where the value ends and whether its characters are allowed. The scan
// only delimits and checks; the decimal converter decides what a number means.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace recio {

enum class CharClass : std::uint8_t {
    other,  // NUL, control characters, bytes above 127, ";" and the like
    space_or_tab,
    carriage_return,  // a blank between values, but not allowed inside a number
    comma,
    slash,
    open,   // "("
    close,  // ")"
    star,
    quote,  // apostrophe or quotation mark
    digit,
    sign,
    point,
    exponent_letter,  // E, D, Q in either case
    word_letter,      // I and N in either case: Inf, Infinity, NaN
    logical_letter,   // T and F in either case
    letter,           // every other ASCII letter
};

namespace value_scan_detail {

constexpr std::array<CharClass, 256> character_classes() {
    std::array<CharClass, 256> table{};
    const auto set = [&](std::string_view characters, CharClass c) {
        for (const char ch : characters) {
            table[static_cast<unsigned char>(ch)] = c;
        }
    };
    for (char ch = 'A'; ch <= 'Z'; ++ch) {
        table[static_cast<unsigned char>(ch)] = CharClass::letter;
        table[static_cast<unsigned char>(ch + ('a' - 'A'))] = CharClass::letter;
    }
    set(" \t", CharClass::space_or_tab);
    set("\r", CharClass::carriage_return);
    set(",", CharClass::comma);
    set("/", CharClass::slash);
    set("(", CharClass::open);
    set(")", CharClass::close);
    set("*", CharClass::star);
    set("'\"", CharClass::quote);
    set("0123456789", CharClass::digit);
    set("+-", CharClass::sign);
    set(".", CharClass::point);
    set("EeDdQq", CharClass::exponent_letter);
    set("IiNn", CharClass::word_letter);
    set("TtFf", CharClass::logical_letter);
    return table;
}

}  // namespace value_scan_detail

inline constexpr std::array<CharClass, 256> kCharClasses = value_scan_detail::character_classes();

constexpr CharClass class_of(char c) {
    return kCharClasses[static_cast<unsigned char>(c)];
}

// Sets of classes, one bit per class.
using ClassSet = std::uint32_t;

constexpr ClassSet set_of(CharClass c) {
    return ClassSet{1} << static_cast<unsigned>(c);
}

constexpr bool belongs(char c, ClassSet set) {
    return (set_of(class_of(c)) & set) != 0;
}

// Passed over between values, and across record ends.
inline constexpr ClassSet kBlanks =
    set_of(CharClass::space_or_tab) | set_of(CharClass::carriage_return);
// Where a number or an Inf/NaN word ends (the record end as well); "*" ends a
// number as its repeat mark, and a carriage return belongs to a word.
inline constexpr ClassSet kEndsNumber = set_of(CharClass::space_or_tab) | set_of(CharClass::comma) |
                                        set_of(CharClass::slash) | set_of(CharClass::close);
// A logical constant reaches to the next blank, comma, slash, ")" or record end.
inline constexpr ClassSet kEndsLogical = kEndsNumber | set_of(CharClass::carriage_return);
inline constexpr ClassSet kLetters = set_of(CharClass::exponent_letter) |
                                     set_of(CharClass::word_letter) |
                                     set_of(CharClass::logical_letter) | set_of(CharClass::letter);

constexpr bool is_blank(char c) {
    return belongs(c, kBlanks);
}

// Where a value stands.
enum class ScanContext : std::uint8_t {
    item,            // looked for to give an item its value
    repeated_value,  // right behind the "*" of a repeat form: not a repeat form itself
    pair_number,     // the second number of a pair, behind its optional sign
};

enum class ValueForm : std::uint8_t {
    number,         // a number or an Inf/NaN word, for the converter
    repeat,         // a count and "*"; the count is the text before the "*"
    logical_true,   // a logical constant beginning with T (after an optional ".")
    logical_false,  // one beginning with F
    syntax_error,   // a character the rules forbid there
};

struct ScannedValue {
    ValueForm form = ValueForm::syntax_error;
    std::size_t end = 0;  // one past the value's last character ("*" included)
};

// Scans the value that starts with the non-blank character at `start` of
// `record`. Where an item's value is looked for, that character is not a comma,
// slash, parenthesis or quote mark (the request deals with those); the second
// number of a pair may start with anything, and is a syntax error unless it is
// one.
ScannedValue scan_value(std::string_view record, std::size_t start, ScanContext context);

}  // namespace recio

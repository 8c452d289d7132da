#pragma once
// The fast path of the reader: the value nearly every record of a measurement file
// holds, a plain number between blanks. It is read a machine word at a time, so
// that the lengths of its blank and digit runs, which vary from record to record
// and would defeat branch prediction, decide no branch below eight characters.
// Anything else is left to the full grammar, from the same place.
//
// The text lies in a unit's input buffer, where kInputPadding zero bytes follow
// what was read, so that a word may be loaded anywhere before that end. A zero, a
// line feed and a carriage return end every run below; the record's end needs no
// test of its own, and a number at the very end of what was read is declined
// (its record may go on in the next block).

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decimal/decimal_characters.hpp"
#include "decimal/decimal_fast_path.hpp"
#include "numeric/precision.hpp"

namespace recio {

namespace plain_number_detail {

inline constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
inline constexpr std::uint64_t kTopBits = 0x8080808080808080ULL;

// Where in memory the first marked byte of eight, read as one word, lies.
constexpr std::size_t first_marked_byte(std::uint64_t marks) {
    if constexpr (std::endian::native == std::endian::big) {
        return static_cast<std::size_t>(std::countl_zero(marks)) / 8;
    }
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
}

// How many of the leading characters, up to all eight, are spaces: the lowest bit
// that differs from a space lies in the first other character.
inline std::size_t space_run(const char* p) {
    return static_cast<std::size_t>(std::countr_zero(load_characters(p) ^ (kEveryByte * ' '))) / 8;
}

// The top bit of every byte that is not a decimal digit. A byte's top bit is set in
// one of the two terms when it is below "0" or above "9"; carries and borrows only
// run upwards, from the first such byte on, so the lowest bit set is exact.
constexpr std::uint64_t non_digits(std::uint64_t word) {
    return ((word - kEveryByte * '0') | (word + kEveryByte * 0x46)) & kTopBits;
}

// How many of the leading characters, up to all eight, are decimal digits.
constexpr std::size_t digit_count(std::uint64_t word) {
    return static_cast<std::size_t>(std::countr_zero(non_digits(word))) / 8;
}

// The leading decimal digits, up to eight, and their value.
struct DigitRun {
    std::size_t count;
    std::uint64_t value;
};

constexpr DigitRun digit_run(std::uint64_t word) {
    const std::size_t count = digit_count(word);
    // The digits to the top bytes and zeros below them (two shifts, as all eight
    // bytes may have to go), then pairs, fours, eights.
    const auto half_shift = static_cast<unsigned>(32 - 4 * count);
    std::uint64_t v = ((word - kEveryByte * '0') << half_shift) << half_shift;
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
    v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
    return {count, v};
}

// The digits of one run, their value only when kConvert.
template <bool kConvert>
constexpr DigitRun digits_of(std::uint64_t word) {
    if constexpr (kConvert) {
        return digit_run(word);
    } else {
        return {digit_count(word), 0};
    }
}

// Appends the digits at p to `value` and `count`, run after run while runs are
// full; false when there would be more than 19 digits in all.
template <bool kConvert>
inline bool append_digits(const char*& p, std::uint64_t& value, std::size_t& count) {
    while (true) {
        const DigitRun run = digits_of<kConvert>(load_characters(p));
        value = value * kPowersOfTen[run.count] + run.value;
        count += run.count;
        p += run.count;
        if (run.count < 8 || count > 19) {
            return count <= 19;
        }
    }
}

// After a run of eight digits: the digits that follow it, if any. A further run is
// read only where a digit follows, since that branch costs less than reading an
// empty run, even where eight and nine digits alternate at random.
template <bool kConvert>
[[gnu::always_inline]] inline bool append_digits_after_full_run(const char*& p,
                                                                std::uint64_t& value,
                                                                std::size_t& count) {
    return !is_decimal_digit(*p) || append_digits<kConvert>(p, value, count);
}

// What may follow a plain number: a blank, a comma, the line feed that ends the
// record, or a carriage return, which must be the one right before that line feed.
enum class After : std::uint8_t { no, yes, if_line_feed_follows };

constexpr std::array<After, 256> what_may_follow() {
    std::array<After, 256> table{};
    table[' '] = table['\t'] = table[','] = table['\n'] = After::yes;
    table['\r'] = After::if_line_feed_follows;
    return table;
}
inline constexpr std::array<After, 256> kMayFollow = what_may_follow();

// An integer below 2^64 fits the significand: no rounding, only packing.
constexpr numeric::QuadReal exact_integer(bool negative, std::uint64_t n) {
    const std::uint64_t sign = negative ? numeric::kSignMask : 0;
    if (n == 0) {
        return numeric::QuadReal::from_words(sign, 0);
    }
    const int top = 63 - std::countl_zero(n);  // n = 2^top + the bits below
    const unsigned __int128 fraction =
        (static_cast<unsigned __int128>(n) << (numeric::kFractionBits - top)) &
        ((static_cast<unsigned __int128>(1) << numeric::kFractionBits) - 1);
    const auto biased = static_cast<std::uint64_t>(top + numeric::kExponentBias);
    return numeric::QuadReal::from_words(
        sign | (biased << 48) | static_cast<std::uint64_t>(fraction >> 64),
        static_cast<std::uint64_t>(fraction));
}

}  // namespace plain_number_detail

// At p: blanks or tabs, at most one comma when `comma_separates` (a comma that
// only separates), more blanks, then a number of optional sign, digits and decimal
// point, at least one digit and at most 19, ending at a blank, tab, comma or the
// record's end (a line feed, or a carriage return right before one), whose value
// the machine-word conversion can decide. Returns where the number ends, having
// stored its value into `item` when kConvert; returns nullptr, with `item`
// untouched, for anything else. Without kConvert the number is only checked:
// every number of this form converts, so a value nobody keeps needs no conversion.
template <bool kConvert>
[[gnu::always_inline]] inline const char* take_plain_number(const char* p, bool comma_separates,
                                                            numeric::QuadReal* item) {
    using namespace plain_number_detail;
    const auto skip_blanks = [&p] {
        while (true) {
            const std::size_t run = space_run(p);
            p += run;
            if (run == 8) {
                continue;
            }
            if (*p != '\t') {
                return;
            }
            ++p;
        }
    };
    skip_blanks();
    if (*p == ',') {
        if (!comma_separates) {
            return nullptr;
        }
        ++p;
        skip_blanks();
    }
    // Both words are loaded before the sign is known, which keeps the sign off the
    // chain from one value's end to the next value's digits.
    const std::uint64_t at_p = load_characters(p);
    const std::uint64_t behind_p = load_characters(p + 1);
    const auto first = static_cast<char>(at_p);
    const bool negative = first == '-';
    const bool signed_number = negative || first == '+';
    const std::uint64_t word = signed_number ? behind_p : at_p;
    p += signed_number ? 1 : 0;
    const std::size_t integer_digits = digit_count(word);
    std::uint64_t digits = 0;
    std::size_t written = 0;
    std::size_t fraction_digits = 0;
    if (integer_digits < 8 && p[integer_digits] == '.') {
        // The common decimal: with the point taken out, the digits on both sides
        // of it are read as one run.
        const std::uint64_t below_point = (std::uint64_t{1} << (8 * integer_digits)) - 1;
        const DigitRun run =
            digits_of<kConvert>((word & below_point) | (load_characters(p + 1) & ~below_point));
        digits = run.value;
        written = run.count;
        p += run.count + 1;
        if (run.count == 8 && !append_digits_after_full_run<kConvert>(p, digits, written)) {
            return nullptr;
        }
        fraction_digits = written - integer_digits;
    } else {
        const DigitRun run = digits_of<kConvert>(word);
        digits = run.value;
        written = run.count;
        p += run.count;
        if (run.count == 8 && !append_digits_after_full_run<kConvert>(p, digits, written)) {
            return nullptr;
        }
        if (*p == '.') {
            ++p;
            const std::size_t before = written;
            if (!append_digits<kConvert>(p, digits, written)) {
                return nullptr;
            }
            fraction_digits = written - before;
        }
    }
    const After after = kMayFollow[static_cast<unsigned char>(*p)];
    if (after != After::yes && (after == After::no || p[1] != '\n')) {
        return nullptr;
    }
    if (written == 0) {
        return nullptr;
    }
    if constexpr (!kConvert) {
        return p;
    }
    if (fraction_digits == 0 || digits == 0) {
        *item = exact_integer(negative, digits);
        return p;
    }
    // From 1 to 19 digits behind the point, of a number that is not zero.
    const auto value =
        fast_path_round_fraction(negative, digits, static_cast<unsigned>(fraction_digits));
    if (!value) {
        return nullptr;
    }
    // Word by word: a copy of the whole value would wait for the two stores that
    // made it.
    item->high = value->high;
    item->low = value->low;
    return p;
}

// The line feed that ends the record p lies in, when it lies before `held_end`,
// the end of what was read; nullptr when it does not. Sixteen bytes at a time,
// in the compiler's vector types, which every target supports.
inline const char* find_line_feed(const char* p, const char* held_end) {
    using plain_number_detail::first_marked_byte;
    using Bytes = char __attribute__((vector_size(16)));
    using Words = std::uint64_t __attribute__((vector_size(16)));
    for (; p < held_end; p += 16) {
        Bytes chunk;
        std::memcpy(&chunk, p, sizeof chunk);
        const auto line_feeds = reinterpret_cast<Words>(chunk == '\n');
        if ((line_feeds[0] | line_feeds[1]) != 0) {
            // Each byte of a match is all ones.
            const std::uint64_t first_half = line_feeds[0];
            const char* const found =
                first_half != 0
                    ? p + first_marked_byte(first_half)
                    : p + 8 + first_marked_byte(static_cast<std::uint64_t>(line_feeds[1]));
            return found < held_end ? found : nullptr;
        }
    }
    return nullptr;
}

// How many line feeds [begin, end) holds, sixteen bytes at a time in the same
// vector types: ten times quicker than a byte at a time. Reads nothing at or
// behind `end`, so it needs no padding.
inline std::size_t count_line_feeds(const char* begin, const char* end) {
    using Bytes = unsigned char __attribute__((vector_size(16)));
    std::size_t count = 0;
    while (end - begin >= 16) {
        // Each lane counts up to 255 before it is emptied.
        Bytes lanes{};
        const char* const stop = begin + std::min<std::ptrdiff_t>((end - begin) / 16, 255) * 16;
        for (; begin < stop; begin += 16) {
            Bytes bytes;
            std::memcpy(&bytes, begin, sizeof bytes);
            lanes -= reinterpret_cast<Bytes>(bytes == '\n');  // all ones where equal
        }
        for (std::size_t lane = 0; lane < sizeof lanes; ++lane) {
            count += lanes[lane];
        }
    }
    return count + static_cast<std::size_t>(std::count(begin, end, '\n'));
}

}  // namespace recio

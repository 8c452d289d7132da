#pragma once
// Text composed into storage that the caller owns, without the allocator, stdio or
// locale: the diagnostic step runs inside signal handlers, where none of those may
// be touched. Every append that does not fit is cut at the end of the storage and
// marks the buffer as full.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "numeric/bit_pattern.hpp"

namespace recio {

class TextBuffer {
public:
    explicit TextBuffer(std::span<char> storage) : storage_(storage) {}
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    std::string_view view() const { return {storage_.data(), length_}; }
    std::size_t size() const { return length_; }
    std::size_t remaining() const { return storage_.size() - length_; }
    // True once an append had to be cut.
    bool full() const { return full_; }
    void clear() {
        length_ = 0;
        full_ = false;
    }

    void append(std::string_view text) {
        for (const char c : text) {
            append(c);
        }
    }

    void append(char c) {
        if (length_ < storage_.size()) {
            storage_[length_++] = c;
        } else {
            full_ = true;
        }
    }

    void append_blanks(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            append(' ');
        }
    }

    // Appends `text` only when all of it fits; otherwise marks the buffer full
    // and leaves it as it was. Used for whole traceback lines.
    bool append_whole(std::string_view text) {
        if (text.size() > remaining()) {
            full_ = true;
            return false;
        }
        append(text);
        return true;
    }

    void append_decimal(std::int64_t value) {
        // The magnitude in unsigned arithmetic, so that the most negative value
        // needs no special case.
        std::uint64_t magnitude = static_cast<std::uint64_t>(value);
        if (value < 0) {
            append('-');
            magnitude = 0 - magnitude;
        }
        char digits[20];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        while (count > 0) {
            append(digits[--count]);
        }
    }

    // The low `digits` hexadecimal digits of `value`, upper case, with leading zeros.
    void append_hex(std::uint64_t value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
            append(numeric::kHexDigits[(value >> shift) & 0xF]);
        }
    }

    // `text` left-aligned in a field of `width`: cut to it, or padded with blanks.
    void append_left(std::string_view text, std::size_t width) {
        const std::string_view shown = text.substr(0, width);
        append(shown);
        append_blanks(width - shown.size());
    }

    // `text` right-aligned in a field of `width`: cut to it, or preceded by blanks.
    void append_right(std::string_view text, std::size_t width) {
        const std::string_view shown = text.substr(0, width);
        append_blanks(width - shown.size());
        append(shown);
    }

private:
    std::span<char> storage_;
    std::size_t length_ = 0;
    bool full_ = false;
};

}  // namespace recio

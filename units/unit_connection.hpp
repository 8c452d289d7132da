#pragma once
// What the I/O layer keeps for one connected unit.

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "failure/conditions.hpp"
#include "units/byte_buffer.hpp"

namespace recio {

class FileDigest;

inline constexpr std::int32_t kFileUnit = 10;
inline constexpr std::int32_t kConsoleInputUnit = -4;
inline constexpr std::int32_t kConsoleOutputUnit = -1;

// A resolved file name, held in place so that a diagnostic written from a signal
// handler can show it without touching the allocator.
class FileName {
public:
    FileName() = default;
    explicit FileName(std::string_view text) { assign(text); }

    void assign(std::string_view text) {
        length_ = static_cast<std::uint16_t>(text.size() < kMaxFileNameLength ? text.size()
                                                                              : kMaxFileNameLength);
        text.copy(bytes_.data(), length_);
        bytes_[length_] = '\0';
    }
    std::string_view view() const { return {bytes_.data(), length_}; }
    const char* c_str() const { return bytes_.data(); }
    bool empty() const { return length_ == 0; }

private:
    std::array<char, kMaxFileNameLength + 1> bytes_{};
    std::uint16_t length_ = 0;
};

enum class Access : std::uint8_t { read_write, read_only, write_only };

// How many bytes one read of a unit asks for: unit 10, and console input from a
// regular file (other console input is read byte by byte).
struct ReadBlockSizes {
    std::size_t file = std::size_t{1} << 16;
    std::size_t console = std::size_t{1} << 12;
};

// Zero bytes kept behind what was read, so that a record can be scanned sixteen
// bytes at a time without looking past the buffer: behind every record there are
// at least this many readable bytes, the first of them its line feed, its carriage
// return or a zero, none of which continues a value.
inline constexpr std::size_t kInputPadding = 16;

// Bytes read from the descriptor and not yet handed out as records:
// [consumed, filled) of `bytes` is read ahead, and kInputPadding zeros follow.
struct InputState {
    ByteBuffer bytes;
    std::size_t consumed = 0;
    std::size_t filled = 0;

    // `bytes` must hold at least `count` + kInputPadding bytes.
    void set_filled(std::size_t count) {
        filled = count;
        std::memset(bytes.data() + count, 0, kInputPadding);
    }
    bool at_end = false;       // the descriptor has reported end of file
    std::uint64_t offset = 0;  // unit 10: the file position of bytes[0]
    std::size_t block_size = ReadBlockSizes{}.file;
    // When set, every byte read is fed to it as it arrives (see file_digest.hpp).
    FileDigest* digest = nullptr;
};

struct UnitConnection {
    std::int32_t unit = 0;
    int descriptor = -1;
    FileName file_name;
    Access access = Access::read_write;
    bool seekable = false;
    bool cut_pending = false;
    bool end_reached = false;
    bool block_buffering = false;
    // errno of the system call that failed in the current request, 0 if none; the
    // diagnostic writes its text before the message line and clears it.
    int pending_system_error = 0;
    InputState input;
    ByteBuffer output;  // records collected under block buffering
    std::size_t output_length = 0;
};

}  // namespace recio

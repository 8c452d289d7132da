#pragma once
// Input and output shared by the quadprobe commands.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "numeric/precision.hpp"

namespace quadprobe {

inline constexpr int kUsageStatus = 2;

// Collects output and hands it to the operating system in large pieces: a million
// commands must not cost a million system calls.
class OutputBatch {
public:
    OutputBatch() = default;
    OutputBatch(const OutputBatch&) = delete;
    OutputBatch& operator=(const OutputBatch&) = delete;
    ~OutputBatch() { flush(); }

    void append(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kFlushSize) {
            flush();
        }
    }
    void append_pattern(numeric::QuadReal value);
    void flush();

private:
    static constexpr std::size_t kFlushSize = 1 << 16;
    std::string buffer_;
};

// Splits a command line into blank-separated words.
std::vector<std::string_view> words_of(std::string_view line);

// Calls `handle(line, line_number)` for every line of standard input, without its
// line feed; read in large blocks.
void for_each_input_line(void (*handle)(std::string_view, std::size_t, void*), void* context);

template <typename Handler>
void for_each_input_line(Handler&& handle) {
    for_each_input_line([](std::string_view line, std::size_t number,
                           void* context) { (*static_cast<Handler*>(context))(line, number); },
                        &handle);
}

// Writes "quadprobe: line N: reason: line" to standard error and exits with 2,
// after the output of the commands before it.
[[noreturn]] void reject(OutputBatch& output, std::size_t line_number, std::string_view line,
                         std::string_view reason);

}  // namespace quadprobe

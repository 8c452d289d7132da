#include "tools/quadprobe/probe_io.hpp"

#include <algorithm>
#include <array>

#include "numeric/bit_pattern.hpp"

namespace quadprobe {

void OutputBatch::append_pattern(numeric::QuadReal value) {
    const auto pattern = numeric::to_bit_pattern(value);
    append(std::string_view(pattern.data(), pattern.size()));
}

void OutputBatch::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t written = ::write(1, buffer_.data() + done, buffer_.size() - done);
        if (written <= 0) {
            std::_Exit(1);
        }
        done += static_cast<std::size_t>(written);
    }
    buffer_.clear();
}

std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t position = 0;
    while (true) {
        position = line.find_first_not_of(" \t\r", position);
        if (position == std::string_view::npos) {
            return words;
        }
        const std::size_t end = std::min(line.find_first_of(" \t\r", position), line.size());
        words.push_back(line.substr(position, end - position));
        position = end;
    }
}

void for_each_input_line(void (*handle)(std::string_view, std::size_t, void*), void* context) {
    std::string pending;
    std::array<char, 1 << 16> block{};
    std::size_t line_number = 0;
    while (true) {
        const ssize_t got = ::read(0, block.data(), block.size());
        if (got < 0) {
            std::perror("quadprobe: read");
            std::exit(1);
        }
        if (got == 0) {
            break;
        }
        pending.append(block.data(), static_cast<std::size_t>(got));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1) {
            handle(std::string_view(pending).substr(start, end - start), ++line_number, context);
        }
        pending.erase(0, start);
    }
    if (!pending.empty()) {
        handle(std::string_view(pending), ++line_number, context);
    }
}

void reject(OutputBatch& output, std::size_t line_number, std::string_view line,
            std::string_view reason) {
    output.flush();
    std::fprintf(stderr, "quadprobe: line %zu: %.*s: %.*s\n", line_number,
                 static_cast<int>(reason.size()), reason.data(), static_cast<int>(line.size()),
                 line.data());
    std::exit(kUsageStatus);
}

}  // namespace quadprobe

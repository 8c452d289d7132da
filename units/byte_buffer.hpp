#pragma once
// A growable byte area whose growth may fail without throwing, so that each caller
// can report exhausted memory as the condition that belongs to its request.

#include <cstddef>
#include <cstdlib>
#include <utility>

namespace recio {

class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept
        : bytes_(std::exchange(other.bytes_, nullptr)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        std::swap(bytes_, other.bytes_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    ~ByteBuffer() { std::free(bytes_); }

    char* data() { return bytes_; }
    const char* data() const { return bytes_; }
    std::size_t capacity() const { return capacity_; }

    // Makes room for at least `wanted` bytes, keeping the contents; grows by
    // doubling so that a long record costs amortised constant work per byte.
    // Returns false, with the buffer unchanged, when the memory cannot be had.
    bool reserve(std::size_t wanted) {
        if (wanted <= capacity_) {
            return true;
        }
        std::size_t grown = capacity_ == 0 ? kInitialCapacity : capacity_;
        while (grown < wanted) {
            if (grown > kMaxCapacity / 2) {
                grown = wanted;
                break;
            }
            grown *= 2;
        }
        void* moved = std::realloc(bytes_, grown);
        if (moved == nullptr) {
            return false;
        }
        bytes_ = static_cast<char*>(moved);
        capacity_ = grown;
        return true;
    }

private:
    static constexpr std::size_t kInitialCapacity = 256;
    static constexpr std::size_t kMaxCapacity = static_cast<std::size_t>(-1) / 2;

    char* bytes_ = nullptr;
    std::size_t capacity_ = 0;
};

}  // namespace recio

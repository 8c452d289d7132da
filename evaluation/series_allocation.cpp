#include "evaluation/series_allocation.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>

#include "evaluation/helper_thread.hpp"
#include "failure/diagnostics.hpp"

namespace recio {
namespace {

// Arrays of at least one huge page are mapped on their own, aligned to it and
// marked for huge pages: a million records then cost a few dozen page faults
// instead of thousands, and fresh mappings are zero already.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The zeroed memory for `bytes` bytes and the length to unmap (0: from calloc).
std::pair<void*, std::size_t> zeroed_memory(std::size_t bytes) {
    if (bytes < kHugePage) {
        return {std::calloc(1, bytes), 0};
    }
    const std::size_t length = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* mapping = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return {nullptr, 0};
    }
    // Keep the aligned part only.
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) {
        ::munmap(mapping, aligned - start);
    }
    const std::size_t tail = start + kHugePage - aligned;
    if (tail > 0) {
        ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    }
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return {reinterpret_cast<void*>(aligned), length};
}

// Populates [begin, begin + bytes) of both arrays a stretch at a time, the two in
// step as the loading pass fills them. A failure only leaves the rest to the
// page faults of the loading pass.
void populate_in_step(char* first, char* second, std::size_t bytes) {
    constexpr std::size_t kStretch = kHugePage;
    for (std::size_t done = 0; done < bytes; done += kStretch) {
        const std::size_t length = std::min(kStretch, bytes - done);
        if (::madvise(first + done, length, MADV_POPULATE_WRITE) != 0 ||
            ::madvise(second + done, length, MADV_POPULATE_WRITE) != 0) {
            return;
        }
    }
}

}  // namespace

SeriesPagePreparation::SeriesPagePreparation(SeriesArray& first, SeriesArray& second) {
    // Only arrays that are mappings of their own (aligned, whole huge pages) and
    // of one size, as KRAFT and WEG are.
    const std::size_t bytes = first.size() * sizeof(numeric::QuadReal);
    if (first.size() != second.size() || bytes < kHugePage) {
        return;
    }
    auto* const first_bytes = reinterpret_cast<char*>(first.elements().data());
    auto* const second_bytes = reinterpret_cast<char*>(second.elements().data());
    // Without a helper, the loading pass prepares its pages itself.
    helper_ = evaluation::start_helper_thread(
        [=] { populate_in_step(first_bytes, second_bytes, bytes); });
}

SeriesPagePreparation::~SeriesPagePreparation() {
    if (helper_.joinable()) {
        helper_.join();
    }
}

void ReleaseSeriesMemory::operator()(numeric::QuadReal* elements) const {
    if (mapped_bytes != 0) {
        ::munmap(elements, mapped_bytes);
    } else {
        std::free(elements);
    }
}

SeriesArray allocate_series_array(std::int64_t count) {
    // The byte count in unsigned 32-bit arithmetic; a count that does not even
    // fit in 32 bits overflows it all the more.
    std::uint32_t bytes = 0;
    if (count < 0 || count > UINT32_MAX ||
        __builtin_mul_overflow(static_cast<std::uint32_t>(count),
                               static_cast<std::uint32_t>(sizeof(numeric::QuadReal)), &bytes)) {
        fail_without_unit(Condition::array_size_overflow);
    }
    SeriesArray array;
    if (count == 0) {
        return array;
    }
    // All bits zero is +0 for every element.
    const auto [memory, mapped_bytes] = zeroed_memory(bytes);
    if (memory == nullptr) {
        fail_without_unit(Condition::insufficient_memory);
    }
    array.elements_ = std::unique_ptr<numeric::QuadReal[], ReleaseSeriesMemory>(
        static_cast<numeric::QuadReal*>(memory), ReleaseSeriesMemory{mapped_bytes});
    array.count_ = static_cast<std::size_t>(count);
    return array;
}

}  // namespace recio

#include "evaluation/series_allocation.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "evaluation/helper_thread.hpp"
#include "failure/diagnostics.hpp"

namespace recio {
namespace {

// Arrays of at least one huge page are mappings of their own, aligned to it: fresh
// mappings are zero already, and they can give back their tail. They are advised
// for huge pages whatever the system's default: on a virtual machine whose host
// keeps page tables of its own, the first write to every fresh 4 KiB page costs
// a few microseconds however the kernel prepared it, about 20 ns a record, and
// a huge page pays that once for 512 of them. Memory then comes in steps of
// 2 MiB, which the budget allows now that a run keeps no forces; where the
// system has no huge page at hand, it gives small ones. A helper prepares them a
// stretch at a time where the count is known (SeriesPagePreparation).
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// What the page helper prepares at a time: small, so that it prepares little
// beyond what the loader allows.
constexpr std::size_t kPreparationStep = std::size_t{256} << 10;

constexpr std::size_t round_up(std::size_t bytes, std::size_t step) {
    return (bytes + step - 1) & ~(step - 1);
}

constexpr std::size_t round_up_to_huge_page(std::size_t bytes) {
    return round_up(bytes, kHugePage);
}

// A mapping of `bytes` zero bytes and its length, aligned to a huge page when it is
// at least one. With `reserve_only` the system sets no
// memory aside for it: pages are taken when they are first touched.
std::pair<void*, std::size_t> zeroed_mapping(std::size_t bytes, bool reserve_only) {
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | (reserve_only ? MAP_NORESERVE : 0);
    if (bytes < kHugePage) {
        void* const mapping = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
        return {mapping == MAP_FAILED ? nullptr : mapping, bytes};
    }
    const std::size_t length = round_up_to_huge_page(bytes);
    void* mapping = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (mapping == MAP_FAILED) {
        return {nullptr, 0};
    }
    // Keep the aligned part only.
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t aligned = round_up_to_huge_page(start);
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

}  // namespace

SeriesPagePreparation::SeriesPagePreparation(SeriesArray& first, SeriesArray& second,
                                             std::size_t from) {
    // Only arrays that are mappings of their own (aligned, whole huge pages) and
    // of one size, as KRAFT and WEG are; an empty first one (a run that keeps no
    // forces) is left alone.
    const std::size_t bytes = second.size() * sizeof(numeric::QuadReal);
    const std::size_t from_bytes = from * sizeof(numeric::QuadReal) / kPreparationStep * kPreparationStep;
    if ((first.size() != 0 && first.size() != second.size()) || bytes < kHugePage ||
        bytes - from_bytes < kHugePage) {
        return;
    }
    auto* const first_bytes =
        first.size() == 0 ? nullptr : reinterpret_cast<char*>(first.elements().data());
    auto* const second_bytes = reinterpret_cast<char*>(second.elements().data());
    // Without a helper, the loading pass prepares its pages itself.
    helper_ = evaluation::start_helper_thread(
        [=, this] { prepare_in_step(first_bytes, second_bytes, from_bytes, bytes); });
}

void SeriesPagePreparation::allow(std::size_t elements, bool last) {
    if (last) {
        allowed_.raise_for_the_last_time(elements);
    } else {
        allowed_.raise(elements);
    }
}

// Populates both arrays (or the second alone) a step at a time, the two in step as the loading pass
// fills them, up to the step that holds the last element allowed. A failure only
// leaves the rest to the page faults of the loading pass.
void SeriesPagePreparation::prepare_in_step(char* first, char* second, std::size_t from,
                                            std::size_t bytes) {
    std::size_t prepared = from;
    allowed_.follow([&](std::size_t allowed) {
        const std::size_t up_to =
            std::min(bytes, round_up(allowed * sizeof(numeric::QuadReal), kPreparationStep));
        for (; prepared < up_to; prepared += kPreparationStep) {
            const std::size_t length = std::min(kPreparationStep, bytes - prepared);
            if ((first != nullptr &&
                 ::madvise(first + prepared, length, MADV_POPULATE_WRITE) != 0) ||
                ::madvise(second + prepared, length, MADV_POPULATE_WRITE) != 0) {
                return false;
            }
        }
        return prepared < bytes;
    });
}

SeriesPagePreparation::~SeriesPagePreparation() {
    if (helper_.joinable()) {
        allowed_.stop();
        helper_.join();
    }
}

void prepare_pages(std::span<numeric::QuadReal> elements) {
    if (elements.empty()) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(elements.data()) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(elements.data() + elements.size());
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

void ReleaseSeriesMemory::operator()(numeric::QuadReal* elements) const {
    if (mapped_bytes != 0) {
        ::munmap(elements, mapped_bytes);
    } else {
        std::free(elements);
    }
}

void check_series_count(std::int64_t count) {
    if (count < 0 || static_cast<std::uint64_t>(count) > kMaxSeriesCount) {
        fail_without_unit(Condition::array_size_overflow);
    }
}

SeriesArray allocate_series_array(std::int64_t count) {
    check_series_count(count);
    SeriesArray array;
    if (count == 0) {
        return array;
    }
    // All bits zero is +0 for every element.
    const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(numeric::QuadReal);
    const auto [memory, mapped_bytes] =
        bytes < kHugePage ? std::pair<void*, std::size_t>{std::calloc(1, bytes), 0}
                          : zeroed_mapping(bytes, false);
    if (memory == nullptr) {
        fail_without_unit(Condition::insufficient_memory);
    }
    array.elements_ = std::unique_ptr<numeric::QuadReal[], ReleaseSeriesMemory>(
        static_cast<numeric::QuadReal*>(memory), ReleaseSeriesMemory{mapped_bytes});
    array.count_ = static_cast<std::size_t>(count);
    return array;
}

SeriesArray reserve_series_array(std::size_t capacity) {
    SeriesArray array;
    if (capacity == 0 || capacity > kMaxSeriesCount) {
        return array;
    }
    const auto [memory, mapped_bytes] = zeroed_mapping(capacity * sizeof(numeric::QuadReal), true);
    if (memory != nullptr) {
        array.elements_ = std::unique_ptr<numeric::QuadReal[], ReleaseSeriesMemory>(
            static_cast<numeric::QuadReal*>(memory), ReleaseSeriesMemory{mapped_bytes});
        array.count_ = capacity;
    }
    return array;
}

void SeriesArray::shrink(std::size_t count) {
    if (count == 0) {
        elements_.reset();
        count_ = 0;
        return;
    }
    count_ = std::min(count, count_);
    // A mapping of its own gives back the huge pages behind the last element.
    std::size_t& mapped = elements_.get_deleter().mapped_bytes;
    const std::size_t kept = round_up_to_huge_page(count_ * sizeof(numeric::QuadReal));
    if (mapped >= kHugePage && kept < mapped) {
        ::munmap(reinterpret_cast<char*>(elements_.get()) + kept, mapped - kept);
        mapped = kept;
    }
}

}  // namespace recio

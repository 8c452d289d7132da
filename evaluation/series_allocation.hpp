#pragma once
// Memory for the arrays of the measurement series, KRAFT and WEG.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <utility>

#include "evaluation/helper_thread.hpp"
#include "numeric/precision.hpp"

namespace recio {

// Gives the memory of a series array back: small arrays come from the allocator,
// large ones are mappings of their own (mapped_bytes is their length).
struct ReleaseSeriesMemory {
    std::size_t mapped_bytes = 0;
    void operator()(numeric::QuadReal* elements) const;
};

// One array of the series, owning its elements.
class SeriesArray {
public:
    SeriesArray() = default;
    SeriesArray(SeriesArray&& other) noexcept
        : elements_(std::move(other.elements_)), count_(std::exchange(other.count_, 0)) {}
    SeriesArray(const SeriesArray&) = delete;
    SeriesArray& operator=(const SeriesArray&) = delete;
    ~SeriesArray() = default;
    SeriesArray& operator=(SeriesArray&& other) noexcept {
        elements_ = std::move(other.elements_);
        count_ = std::exchange(other.count_, 0);
        return *this;
    }

    std::span<numeric::QuadReal> elements() { return {elements_.get(), count_}; }
    std::span<const numeric::QuadReal> elements() const { return {elements_.get(), count_}; }
    std::size_t size() const { return count_; }

    // Keeps the first `count` elements (no more than it has) and gives back the
    // memory behind them, as far as it can.
    void shrink(std::size_t count);

private:
    friend SeriesArray allocate_series_array(std::int64_t count);
    friend SeriesArray reserve_series_array(std::size_t capacity);

    std::unique_ptr<numeric::QuadReal[], ReleaseSeriesMemory> elements_;
    std::size_t count_ = 0;
};

// Allocates `count` elements of 16 bytes, each +0 (all bits zero). A count whose
// byte size does not fit in 32 bits (268435456 or more, or a negative one) ends
// the process with condition 179, a refusal by the allocator with condition 41.
// Zero elements need no memory and never fail.
SeriesArray allocate_series_array(std::int64_t count);

// The most elements an array may have: their byte count, 16 bytes each, must fit in
// 32 bits.
inline constexpr std::size_t kMaxSeriesCount = UINT32_MAX / sizeof(numeric::QuadReal);

// Ends the process with condition 179 where allocate_series_array would.
void check_series_count(std::int64_t count);

// Room for up to `capacity` elements, each +0, that takes memory only for the
// pages that are touched, so that a loader can fill it before it knows how many
// elements there will be and then shrink it. Empty when the system refuses it or
// the capacity is beyond kMaxSeriesCount; never fails.
SeriesArray reserve_series_array(std::size_t capacity);

// Gives `elements` their pages now, on this thread, as far as the system lets it
// (what it does not, the first writes fault in): so that a loader writes into
// memory that is in this processor's cache already.
void prepare_pages(std::span<numeric::QuadReal> elements);

// Prepares the pages of the two series arrays on the second processor while the
// loading pass fills them, so that the pass does not stop for the kernel to clear
// each fresh page: up to the page of the last element the loader allows, a little
// ahead of itself when it does not know yet how many elements there will be. The
// pages are populated, never written: the contents stay the loader's alone. The
// helper has every signal blocked, so signals and their diagnostics stay with the
// run; it is joined when this object goes, before the arrays may be released.
// Small arrays, or a helper that cannot be started, go without: the loading pass
// then takes the page faults itself, as before.
class SeriesPagePreparation {
public:
    // Elements before `from` have their pages already. An empty `first` is left
    // alone.
    SeriesPagePreparation(SeriesArray& first, SeriesArray& second, std::size_t from = 0);
    SeriesPagePreparation(const SeriesPagePreparation&) = delete;
    SeriesPagePreparation& operator=(const SeriesPagePreparation&) = delete;
    ~SeriesPagePreparation();

    // Elements [0, elements) may be prepared; `last`: no more will be.
    void allow(std::size_t elements, bool last);

private:
    void prepare_in_step(char* first, char* second, std::size_t from, std::size_t bytes);

    evaluation::FollowedCount allowed_;  // elements that may be prepared
    std::thread helper_;
};

}  // namespace recio

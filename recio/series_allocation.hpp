#pragma once
// Provisional allocation of the measurement arrays.
#include <cstdint>
#include <memory>
#include <span>

#include "numeric/precision.hpp"

namespace recio {

class SeriesArray {
public:
    SeriesArray() = default;
    SeriesArray(std::unique_ptr<numeric::QuadReal[]> elements, std::size_t size)
        : elements_(std::move(elements)), size_(size) {}
    std::span<numeric::QuadReal> elements() { return {elements_.get(), size_}; }
    std::span<const numeric::QuadReal> elements() const { return {elements_.get(), size_}; }

private:
    std::unique_ptr<numeric::QuadReal[]> elements_;
    std::size_t size_ = 0;
};

SeriesArray allocate_series_array(std::int64_t count);

}  // namespace recio

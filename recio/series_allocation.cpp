#include "recio/series_allocation.hpp"

namespace recio {

SeriesArray allocate_series_array(std::int64_t count) {
    const auto size = static_cast<std::size_t>(count);
    return SeriesArray(std::make_unique<numeric::QuadReal[]>(size), size);
}

}  // namespace recio

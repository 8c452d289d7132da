#include "recio/series_allocation.hpp"

#include "recio/diagnostics.hpp"

namespace recio {

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
    void* memory = std::calloc(1, bytes);
    if (memory == nullptr) {
        fail_without_unit(Condition::insufficient_memory);
    }
    array.elements_.reset(static_cast<numeric::QuadReal*>(memory));
    array.count_ = static_cast<std::size_t>(count);
    return array;
}

}  // namespace recio

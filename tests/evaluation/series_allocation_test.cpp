// The arrays of the measurement series as the allocation hands them out. The
// conditions 41 and 179 end the process and are tested end to end.

#include "evaluation/series_allocation.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace {

TEST(SeriesAllocation, ZeroElementsAreAnEmptyArray) {
    recio::SeriesArray array = recio::allocate_series_array(0);
    EXPECT_EQ(array.size(), 0u);
    EXPECT_TRUE(array.elements().empty());
    EXPECT_EQ(array.elements().data(), nullptr);
}

TEST(SeriesAllocation, EveryElementStartsAsPositiveZero) {
    for (const std::int64_t count : {1, 2, 7, 1000, 65536}) {
        const recio::SeriesArray array = recio::allocate_series_array(count);
        ASSERT_EQ(array.size(), static_cast<std::size_t>(count));
        ASSERT_EQ(array.elements().size(), static_cast<std::size_t>(count));
        for (const numeric::QuadReal value : array.elements()) {
            ASSERT_EQ(value.high, 0u);
            ASSERT_EQ(value.low, 0u);
        }
    }
}

TEST(SeriesAllocation, TwoArraysAreSeparateAndWritable) {
    recio::SeriesArray kraft = recio::allocate_series_array(3);
    const recio::SeriesArray weg = recio::allocate_series_array(3);
    for (std::size_t i = 0; i < 3; ++i) {
        kraft.elements()[i] = numeric::QuadReal::from_words(0x3FFF'0000'0000'0000, i);
    }
    for (const numeric::QuadReal value : weg.elements()) {
        EXPECT_EQ(value, numeric::QuadReal{});
    }
    EXPECT_EQ(kraft.elements()[2].low, 2u);
}

TEST(SeriesAllocation, MovingHandsOverTheElements) {
    recio::SeriesArray first = recio::allocate_series_array(4);
    numeric::QuadReal* elements = first.elements().data();
    const recio::SeriesArray second = std::move(first);
    EXPECT_EQ(second.elements().data(), elements);
    EXPECT_EQ(second.size(), 4u);
    EXPECT_EQ(first.size(), 0u);  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_TRUE(first.elements().empty());
}

}  // namespace

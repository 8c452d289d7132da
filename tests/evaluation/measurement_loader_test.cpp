#include "evaluation/measurement_loader.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "numeric/binary128.hpp"
#include "tests/support/bit_patterns.hpp"

namespace {

using numeric::Binary128;
using numeric::QuadReal;
using testsupport::hex;

// A random field, digits / 10^places, and its exact conversion: one division of
// the compiler's binary128 (the arithmetic the differential checks hold ours to).
// Both operands are exact, and the quotient is never a tie between two values,
// for it is either exact (a denominator of twos alone) or has no end in binary,
// so rounding it to even or away from zero gives the same value.
struct Field {
    std::string text;
    Binary128 value;
};

Field random_field(std::mt19937_64& random, bool with_exponent) {
    const int places = static_cast<int>(random() % 8);
    unsigned long long scale = 1;
    for (int i = 0; i < places; ++i) {
        scale *= 10;
    }
    const unsigned long long digits = (random() >> (random() % 64)) % 1'000'000'000;
    const bool negative = random() % 16 == 0;
    char text[48];
    if (with_exponent) {
        std::snprintf(text, sizeof text, "%s%lluE-%d", negative ? "-" : "", digits, places);
    } else {
        std::snprintf(text, sizeof text, "%s%llu.%0*llu", negative ? "-" : "", digits / scale,
                      places, digits % scale);
    }
    const Binary128 quotient = static_cast<Binary128>(digits) / static_cast<Binary128>(scale);
    return {text, negative ? -quotient : quotient};
}

// Loads of 1 to 20000 records, around the 4096 records the sums helper takes at a
// time and round the ring of forces of a run, with one record not of plain
// numbers (its force with an exponent, or a null force that leaves +0) nowhere,
// in the middle or last, which moves the loader from its one pass to two. KRAFT
// and WEG must hold the exact conversion of every field, and the sums must be
// those taken in file order, bit for bit: an order changed anywhere moves only
// their last bits. The fast paths (keeping every record, and as a run, whose
// forces go through the ring) and the plain ones alike. The longest series has
// the shortest records ("1 2 3"): a stretch holds more of them than the ring has
// room for, so stretches end where the room does.
TEST(MeasurementLoader, ArraysAndSumsAreTheExactOnesInFileOrder) {
    using evaluation::RunPaths;
    using evaluation::SeriesUse;
    std::mt19937_64 random(20261210);
    char path[] = "/tmp/emodul-load-XXXXXX";
    ::close(::mkstemp(path));
    for (const std::size_t count : {1, 4095, 4096, 4097, 9000, 20000, 150000}) {
        const bool shortest = count == 150000;
        for (const std::size_t odd_record : {std::size_t{0}, count / 2 + 1, count}) {
            if (shortest && odd_record != count / 2 + 1) {
                continue;  // one long file is enough: a null force in its middle
            }
            const bool null_force = odd_record % 2 == 1;
            SCOPED_TRACE(std::to_string(count) + " records, not plain: " +
                         std::to_string(odd_record) + (null_force ? " (null force)" : ""));
            std::string text;
            std::vector<Binary128> kraft;
            std::vector<Binary128> weg;
            for (std::size_t i = 1; i <= count; ++i) {
                Field force = random_field(random, i == odd_record);
                const char* separator = i % 3 == 0 ? "\t" : (i % 5 == 0 ? "," : "  ");
                if (shortest && i != odd_record) {
                    const auto digit = static_cast<int>(random() % 10);
                    force = {std::to_string(digit), static_cast<Binary128>(digit)};
                    separator = " ";
                }
                if (i == odd_record && null_force) {
                    force = {"", 0};  // "7,,0.5"
                    separator = ",";
                }
                Field displacement = random_field(random, false);
                if (shortest) {
                    const auto digit = static_cast<int>(random() % 10);
                    displacement = {std::to_string(digit), static_cast<Binary128>(digit)};
                }
                text += (shortest ? std::to_string(i % 10) : std::to_string(i)) + separator +
                        force.text + separator + displacement.text + "\n";
                kraft.push_back(force.value);
                weg.push_back(displacement.value);
            }
            std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
            const std::pair<RunPaths, SeriesUse> ways[] = {
                {RunPaths::fast, SeriesUse::every_record},
                {RunPaths::fast, SeriesUse::run},
                {RunPaths::plain, SeriesUse::every_record}};
            for (const auto& [paths, use] : ways) {
                SCOPED_TRACE(use == SeriesUse::run ? "as a run" : "every record");
                const evaluation::MeasurementSeries series =
                    evaluation::load_measurements(path, paths, use);
                ASSERT_EQ(series.n, static_cast<std::int32_t>(count));
                // A run may keep no forces.
                const bool forces_kept = series.kraft.size() != 0 || use == SeriesUse::every_record;
                Binary128 s_ww = 0;
                Binary128 s_fw = 0;
                std::size_t differences = 0;
                for (std::size_t i = 0; i < count; ++i) {
                    s_ww = s_ww + weg[i] * weg[i];
                    s_fw = s_fw + kraft[i] * weg[i];
                    const QuadReal f = numeric::from_binary128(kraft[i]);
                    const QuadReal w = numeric::from_binary128(weg[i]);
                    if ((forces_kept && series.kraft.elements()[i] != f) ||
                        series.weg.elements()[i] != w) {
                        EXPECT_LT(differences++, 1u)
                            << "record " << i + 1 << ": "
                            << (forces_kept ? hex(series.kraft.elements()[i]) : "-") << ' '
                            << hex(series.weg.elements()[i]) << ", exact " << hex(f) << ' '
                            << hex(w);
                    }
                }
                EXPECT_EQ(differences, 0u);
                EXPECT_EQ(hex(series.sums.s_ww()), hex(numeric::from_binary128(s_ww)));
                EXPECT_EQ(hex(series.sums.s_fw()), hex(numeric::from_binary128(s_fw)));
            }
        }
    }
    ::unlink(path);
}

}  // namespace

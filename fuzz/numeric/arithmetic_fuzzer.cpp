// Fuzz target: binary128 addition and multiplication, the inline common case
// (and the accumulation the sums of a series use) against the general routines
// (the compiler's binary128 operations under the NaN rules).
//
// Input: two bit patterns x and y (16 bytes each, least significant byte first),
// then optionally one shape byte that moves y next to x, where the common case
// has the most to get wrong: y's exponent set to x's minus a distance of 0 to 127
// (cancellation, carries, ties and sticky bits in a sum), or to the exponent that
// puts the product at the bottom or the top of the normal range.
//
// Oracle: add and multiply give the general routines' bits for every pair, so
// does the accumulation where it answers, and a common-case answer is never a
// NaN, an infinity, a zero or a subnormal.

#include <cstdint>
#include <string>

#include "fuzz/support/input_bytes.hpp"
#include "fuzz/support/report.hpp"
#include "numeric/arithmetic.hpp"
#include "numeric/bit_pattern.hpp"

namespace {

using numeric::QuadReal;

std::string shown(QuadReal x) {
    const auto pattern = numeric::to_bit_pattern(x);
    return std::string(pattern.data(), pattern.size());
}

QuadReal with_exponent(QuadReal x, std::int64_t exponent) {
    const std::int64_t clamped = exponent < 0 ? 0 : (exponent > 32767 ? 32767 : exponent);
    x.high = (x.high & ~numeric::kExponentMask) | (static_cast<std::uint64_t>(clamped) << 48);
    return x;
}

void check(const char* operation, QuadReal x, QuadReal y, QuadReal got, QuadReal fast,
           QuadReal expected) {
    FUZZ_CHECK(got == expected, std::string(operation) + " " + shown(x) + " " + shown(y) +
                                    " gave " + shown(got) + ", expected " + shown(expected));
    if (!numeric::fast::needs_general_path(fast)) {
        const int exponent = numeric::biased_exponent(fast);
        FUZZ_CHECK(exponent >= 1 && exponent <= 32766,
                   std::string(operation) + " common case answered outside the normal range");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 32) {
        return 0;
    }
    const QuadReal x = fuzzsupport::quad_from_bytes(data);
    QuadReal y = fuzzsupport::quad_from_bytes(data + 16);
    if (size > 32) {
        const int shape = data[32];
        const std::int64_t x_exponent = numeric::biased_exponent(x);
        if (shape < 128) {
            y = with_exponent(y, x_exponent - shape);
        } else if (shape < 192) {  // product near the bottom of the normal range
            y = with_exponent(y, numeric::kExponentBias + 1 - x_exponent - (shape - 160));
        } else {  // product near the top
            y = with_exponent(y, 32766 + numeric::kExponentBias - x_exponent + (shape - 224) / 8);
        }
    }
    check("add", x, y, numeric::add(x, y), numeric::fast::try_add(x, y),
          numeric::general_add(x, y));
    check("mul", x, y, numeric::multiply(x, y), numeric::fast::try_multiply(x, y),
          numeric::general_multiply(x, y));
    // The accumulation of the sums of a series answers some of the sums on its own.
    const QuadReal running = numeric::fast::try_accumulate(x, y);
    const QuadReal sum = numeric::general_add(x, y);
    check("acc", x, y, numeric::fast::needs_general_path(running) ? sum : running, running, sum);
    return 0;
}

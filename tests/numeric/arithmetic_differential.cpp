// Differential check of addition and multiplication (and of the accumulation that
// the sums of a series use) against the compiler's own binary128 arithmetic, on random operand
// pairs of every kind that makes the inline common case work hard or give up: close cancellations,
// carries out of the top, exact ties, ties and sticky bits at every alignment distance, results
// near and below the normal range, overflow, and zeros, subnormals, infinities and NaNs.
//
// usage: arithmetic_differential [PAIRS] [SEED]   (exit status 1 on a difference)

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "numeric/arithmetic.hpp"
#include "numeric/binary128.hpp"
#include "numeric/bit_pattern.hpp"
#include "numeric/constants.hpp"
#include "numeric/floating_environment.hpp"
#include "numeric/nan_rules.hpp"

namespace {

using numeric::QuadReal;

constexpr std::uint64_t kFraction = numeric::kHighFractionMask;
constexpr int kBias = numeric::kExponentBias;

struct Random {
    std::uint64_t state;
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }
};

QuadReal pattern(bool negative, int exponent, std::uint64_t high_fraction, std::uint64_t low) {
    const std::uint64_t sign = negative ? numeric::kSignMask : 0;
    return QuadReal::from_words(
        sign | (static_cast<std::uint64_t>(exponent) << 48) | (high_fraction & kFraction), low);
}

// Fraction bits: all zero, all one, a few bits (exact results and ties), random.
QuadReal with_fraction(Random& random, bool negative, int exponent) {
    switch (random.below(6)) {
        case 0:
            return pattern(negative, exponent, 0, 0);
        case 1:
            return pattern(negative, exponent, kFraction, ~0ULL);
        case 2: {
            const int at = random.below(104);
            const unsigned __int128 bits = static_cast<unsigned __int128>(random.next() & 0xFF)
                                           << at;
            return pattern(negative, exponent, static_cast<std::uint64_t>(bits >> 64),
                           static_cast<std::uint64_t>(bits));
        }
        case 3:  // just below a power of two: carries out of the top
            return pattern(negative, exponent, kFraction, ~0ULL << random.below(8));
        default:
            return pattern(negative, exponent, random.next(), random.next());
    }
}

int clamp_exponent(int exponent) {
    return exponent < 0 ? 0 : (exponent > 32766 ? 32766 : exponent);
}

QuadReal any_operand(Random& random) {
    const bool negative = random.below(2) == 1;
    switch (random.below(9)) {
        case 0:
            return pattern(negative, 0, 0, 0);
        case 1: {  // subnormal
            const QuadReal x = with_fraction(random, negative, 0);
            return numeric::is_zero(x) ? pattern(negative, 0, 0, 1) : x;
        }
        case 2:
            return pattern(negative, 32767, 0, 0);
        case 3:  // NaN, quiet or signalling
            return pattern(negative, 32767, (random.next() | 1) & (random.below(2) ? ~0ULL : 0xF),
                           random.next());
        case 4:
            return with_fraction(random, negative, random.between(1, 200));
        case 5:
            return with_fraction(random, negative, random.between(32566, 32766));
        default:
            return with_fraction(random, negative, random.between(1, 32766));
    }
}

struct Pair {
    QuadReal x;
    QuadReal y;
};

Pair next_pair(Random& random) {
    const bool x_negative = random.below(2) == 1;
    const bool y_negative = random.below(2) == 1;
    const int exponent =
        random.below(4) == 0 ? random.between(1, 32766) : kBias + random.between(-200, 200);
    switch (random.below(7)) {
        case 0:
            return {any_operand(random), any_operand(random)};
        case 1:  // nearby exponents: cancellation, rounding of the smaller summand
            return {with_fraction(random, x_negative, exponent),
                    with_fraction(random, y_negative,
                                  clamp_exponent(exponent - random.between(-3, 120)))};
        case 2: {  // y half an ulp of x, or a few bits around it: ties and near-ties
            const QuadReal x = with_fraction(random, x_negative, exponent);
            const int low = clamp_exponent(exponent - 113 + random.between(-1, 1));
            return {x, pattern(y_negative, low, random.below(2) ? 0 : random.next() >> 62,
                               random.below(4))};
        }
        case 3:  // products near the bottom of the normal range and below it
            return {with_fraction(random, x_negative, exponent),
                    with_fraction(random, y_negative,
                                  clamp_exponent(kBias + 1 - exponent + random.between(-120, 4)))};
        case 4:  // products and sums near the top: overflow
            return {
                with_fraction(random, x_negative, exponent),
                with_fraction(random, y_negative,
                              clamp_exponent(32766 + kBias - exponent + random.between(-3, 2)))};
        case 5: {
            // y 1 to 63 binades below x, the bits of y below the result's last place
            // a tie, one above or below it, or a lone sticky bit, where that place
            // is x's, one higher (a carry) or one lower (a cancellation: x's top
            // fraction bits clear, so that x - y loses its leading bit).
            const int distance = random.between(1, 63);
            QuadReal x = with_fraction(random, x_negative, exponent);
            if (random.below(2) == 0) {
                const unsigned __int128 fraction =
                    ((static_cast<unsigned __int128>(x.high & kFraction) << 64) | x.low) >>
                    distance;
                x = pattern(x_negative, exponent, static_cast<std::uint64_t>(fraction >> 64),
                            static_cast<std::uint64_t>(fraction));
            }
            QuadReal y = with_fraction(random, y_negative, clamp_exponent(exponent - distance));
            const int place = std::clamp(distance - 1 + random.between(-1, 1), 0, 62);
            const std::uint64_t half = std::uint64_t{1} << place;
            const std::uint64_t below[] = {half, half | 1, half - 1, 1};
            y.low = (y.low & ~(2 * half - 1)) | below[random.below(4)];
            return {x, y};
        }
        default:  // the measurement range: small exponents around 1
            return {with_fraction(random, x_negative, kBias + random.between(-12, 12)),
                    with_fraction(random, y_negative, kBias + random.between(-12, 12))};
    }
}

// A running sum and its next term, the case the accumulation in the sums of a
// series takes on its own: the same sign, the term 1 to 63 binades below, now
// and then at the top of the exponent range, and in one pair of four the bits
// the sum's precision cuts off exactly half a unit (a tie).
Pair next_running_pair(Random& random) {
    const bool negative = random.below(2) == 1;
    const int exponent = random.below(8) == 0 ? 32766 : random.between(64, 32766);
    const int distance = random.between(1, 63);
    const QuadReal sum = with_fraction(random, negative, exponent);
    QuadReal term = with_fraction(random, negative, exponent - distance);
    if (random.below(4) == 0) {
        const std::uint64_t half = std::uint64_t{1} << (distance - 1);
        term.low = (term.low & ~(2 * half - 1)) | half;
    }
    return {sum, term};
}

// The expected result: the NaN rules where an operand is a NaN, otherwise the
// compiler's binary128 operation, whose invalid results become the default NaN.
template <typename Operation>
QuadReal expected(QuadReal x, QuadReal y, Operation operation) {
    if (const auto nan = numeric::nan_operand_result(x, y)) {
        return *nan;
    }
    const QuadReal result =
        numeric::from_binary128(operation(numeric::to_binary128(x), numeric::to_binary128(y)));
    return numeric::is_nan(result) ? numeric::kDefaultNaN : result;
}

int failures = 0;

void report(const char* operation, QuadReal x, QuadReal y, QuadReal got, QuadReal want) {
    if (++failures <= 20) {
        std::printf("%s %.32s %.32s -> %.32s, expected %.32s\n", operation,
                    numeric::to_bit_pattern(x).data(), numeric::to_bit_pattern(y).data(),
                    numeric::to_bit_pattern(got).data(), numeric::to_bit_pattern(want).data());
    }
}

}  // namespace

int main(int argc, char** argv) {
    numeric::set_floating_environment();
    const unsigned long long pairs = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20261208;
    Random random{seed};
    Random running_random{seed + 1};  // its own stream: the pairs above stay as they were
    const auto add = [](numeric::Binary128 a, numeric::Binary128 b) { return a + b; };
    unsigned long long accumulated = 0;
    for (unsigned long long i = 0; i < pairs; ++i) {
        const auto [x, y] = next_pair(random);
        const QuadReal sum = numeric::add(x, y);
        const QuadReal want_sum = expected(x, y, add);
        if (sum != want_sum) {
            report("add", x, y, sum, want_sum);
        }
        // The accumulation answers only some pairs, and must answer those right.
        const QuadReal running = numeric::fast::try_accumulate(x, y);
        if (!numeric::fast::needs_general_path(running) && running != want_sum) {
            report("acc", x, y, running, want_sum);
        }
        const auto [s, t] = next_running_pair(running_random);
        const QuadReal next = numeric::fast::try_accumulate(s, t);
        if (!numeric::fast::needs_general_path(next)) {
            ++accumulated;
            const QuadReal want_next = expected(s, t, add);
            if (next != want_next) {
                report("acc", s, t, next, want_next);
            }
        }
        const QuadReal product = numeric::multiply(x, y);
        const QuadReal want_product =
            expected(x, y, [](numeric::Binary128 a, numeric::Binary128 b) { return a * b; });
        if (product != want_product) {
            report("mul", x, y, product, want_product);
        }
    }
    std::printf(
        "%d differences from the compiler's in %llu additions and multiplications"
        " and %llu running sums taken by the accumulation\n",
        failures, 2 * pairs, accumulated);
    return failures == 0 ? 0 : 1;
}

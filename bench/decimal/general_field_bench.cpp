// Time per general field (12 columns, 5 digits) for ordinary values, against a
// straightforward field built from quadmath_snprintf's digits, measured in the
// same run. The counters of VersusReference give both times per field and their
// ratio.

#include <benchmark/benchmark.h>

#include <quadmath.h>
#include "bench/support/measurement_files.hpp"

#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "decimal/general_field.hpp"
#include "numeric/floating_environment.hpp"
#include "numeric/precision.hpp"

namespace {

using numeric::QuadReal;

struct Sample {
    const char* text;
    QuadReal value;
};

// Values of the kind the program prints: moduli, loads, displacements.
const Sample kSamples[] = {
    {"679.4055", QuadReal::from_words(0x400853B3E76C8B43ULL, 0x95810624DD2F1AA0ULL)},
    {"0.3", QuadReal::from_words(0x3FFD333333333333ULL, 0x3333333333333333ULL)},
    {"70000", QuadReal::from_words(0x400F117000000000ULL, 0)},
    {"210000", QuadReal::from_words(0x40109A2800000000ULL, 0)},
    {"-12.5", QuadReal::from_words(0xC002900000000000ULL, 0)},
    {"1", QuadReal::from_words(0x3FFF000000000000ULL, 0)},
    {"0.5", QuadReal::from_words(0x3FFE000000000000ULL, 0)},
    {"3.14159", QuadReal::from_words(0x4000921F9F01B866ULL, 0xE43AA79BBADC0981ULL)},
    {"98.765", QuadReal::from_words(0x40058B0F5C28F5C2ULL, 0x8F5C28F5C28F5C29ULL)},
    {"0.0123", QuadReal::from_words(0x3FF8930BE0DED288ULL, 0xCE703AFB7E90FF97ULL)},
    {"-2.71828", QuadReal::from_words(0xC0005BF0995AAF78ULL, 0xFEEF5EC80C73ABC9ULL)},
    {"1234.567", QuadReal::from_words(0x400934A449BA5E35ULL, 0x3F7CED916872B021ULL)},
    {"45.6", QuadReal::from_words(0x40046CCCCCCCCCCCULL, 0xCCCCCCCCCCCCCCCDULL)},
    {"0.999999", QuadReal::from_words(0x3FFEFFFFDE7210BEULL, 0x9424E5929670196EULL)},
    {"0.005", QuadReal::from_words(0x3FF747AE147AE147ULL, 0xAE147AE147AE147BULL)},
    {"87654.3", QuadReal::from_words(0x400F56664CCCCCCCULL, 0xCCCCCCCCCCCCCCCDULL)},
};
constexpr std::size_t kSampleCount = std::size(kSamples);

using Field = std::array<char, 12>;

// The reference: digits from quadmath_snprintf ("%.11Qe" for the form decision,
// then "%.*Qf" or "%.4Qe"), laid out by the same rules. Finite nonzero values only.
void reference_field(QuadReal value, Field& out) {
    __float128 x;
    std::memcpy(&x, &value, sizeof x);
    char text[64];
    quadmath_snprintf(text, sizeof text, "%.11Qe", x);
    const char* p = text[0] == '-' ? text + 1 : text;
    char decision[13];
    decision[0] = p[0];
    std::memcpy(decision + 1, p + 2, 11);
    decision[12] = '\0';
    const int x10 = std::atoi(p + 14) + 1;
    bool exponent_form = false;
    int integer_digits = 0;
    if (x10 < -1 || x10 > 5) {
        exponent_form = true;
    } else if (std::strncmp(decision, "99999", 5) == 0 && decision[5] >= '5') {
        exponent_form = x10 >= 5;
        integer_digits = x10 + 1;
    } else {
        exponent_form = x10 == -1;
        integer_digits = x10;
    }
    out.fill(' ');
    if (exponent_form) {
        quadmath_snprintf(text, sizeof text, "%.4Qe", x);
        const bool negative = text[0] == '-';
        const char* m = negative ? text + 1 : text;
        const int y = std::atoi(m + 7) + 1;
        // Ordinary values only: two exponent digits.
        char field[32];
        std::snprintf(field, sizeof field, "%s0.%c%.4sE%c%02d", negative ? "-" : " ", m[0], m + 2,
                      y < 0 ? '-' : '+', std::abs(y) % 100);
        std::memcpy(out.data(), field, 12);
    } else {
        const int length = quadmath_snprintf(text, sizeof text, "%#.*Qf", 5 - integer_digits, x);
        std::memcpy(out.data() + 8 - length, text, static_cast<std::size_t>(length));
    }
}

void BM_GeneralField(benchmark::State& state) {
    Field field;
    std::size_t i = 0;
    for (auto _ : state) {
        recio::format_general_field(kSamples[i].value, 12, 5, field);
        benchmark::DoNotOptimize(field);
        i = i + 1 == kSampleCount ? 0 : i + 1;
    }
}
BENCHMARK(BM_GeneralField);

// For information: magnitudes far outside the machine-word range take the exact
// base-10^9 path; nothing in the program prints such values routinely.
const QuadReal kExtremes[] = {
    QuadReal::from_words(0x0C17387AE70C9E70ULL, 0x0B8049732D11A23DULL),  // 1e-4000
    QuadReal::from_words(0xF3E86F06657EFD15ULL, 0xB5A9D761E49C6B2AULL),  // -3.5e4000
    QuadReal::from_words(0x3C1A56E1FC2F8F35ULL, 0x8D94DB7AC6149156ULL),  // 1e-300
    QuadReal::from_words(0x43E4DDD4BAA00930ULL, 0x28F030B199F9C0D9ULL),  // 2.5e300
};

void BM_GeneralFieldExtremeMagnitudes(benchmark::State& state) {
    Field field;
    std::size_t i = 0;
    for (auto _ : state) {
        recio::format_general_field(kExtremes[i], 12, 5, field);
        benchmark::DoNotOptimize(field);
        i = (i + 1) % std::size(kExtremes);
    }
}
BENCHMARK(BM_GeneralFieldExtremeMagnitudes);

void BM_ReferenceQuadmath(benchmark::State& state) {
    Field field;
    std::size_t i = 0;
    for (auto _ : state) {
        reference_field(kSamples[i].value, field);
        benchmark::DoNotOptimize(field);
        i = i + 1 == kSampleCount ? 0 : i + 1;
    }
}
BENCHMARK(BM_ReferenceQuadmath);

// Both implementations over all samples in every iteration; the counters are the
// mean nanoseconds per field of each and how many times faster the program's is.
void BM_VersusReference(benchmark::State& state) {
    for (const Sample& sample : kSamples) {
        Field ours;
        Field theirs;
        recio::format_general_field(sample.value, 12, 5, ours);
        reference_field(sample.value, theirs);
        if (ours != theirs) {
            state.SkipWithError((std::string("fields differ for ") + sample.text).c_str());
            return;
        }
    }
    constexpr int kRounds = 64;
    double ours = 0;
    double theirs = 0;
    Field field;
    for (auto _ : state) {
        const double start = bench::processor_seconds();
        for (int round = 0; round < kRounds; ++round) {
            for (const Sample& sample : kSamples) {
                recio::format_general_field(sample.value, 12, 5, field);
                benchmark::DoNotOptimize(field);
            }
        }
        const double middle = bench::processor_seconds();
        for (int round = 0; round < kRounds; ++round) {
            for (const Sample& sample : kSamples) {
                reference_field(sample.value, field);
                benchmark::DoNotOptimize(field);
            }
        }
        ours += middle - start;
        theirs += bench::processor_seconds() - middle;
    }
    const double fields = static_cast<double>(state.iterations()) * kRounds * kSampleCount;
    const double ours_ns = 1e9 * ours / fields;
    const double theirs_ns = 1e9 * theirs / fields;
    state.counters["field_ns"] = ours_ns;
    state.counters["reference_ns"] = theirs_ns;
    state.counters["reference_over_field"] = theirs_ns / ours_ns;
}
BENCHMARK(BM_VersusReference);

}  // namespace

int main(int argc, char** argv) {
    numeric::set_floating_environment();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

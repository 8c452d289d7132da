#include "evaluation/modulus.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numeric/bit_pattern.hpp"
#include "numeric/floating_environment.hpp"
#include "tests/support/bit_patterns.hpp"

namespace {

using numeric::QuadReal;

using testsupport::bits;
using testsupport::hex;

constexpr const char* kZero = "00000000000000000000000000000000";
constexpr const char* kOne = "3FFF0000000000000000000000000000";
constexpr const char* kTwo = "40000000000000000000000000000000";
constexpr const char* kThree = "40008000000000000000000000000000";
constexpr const char* kFour = "40010000000000000000000000000000";
constexpr const char* kSix = "40018000000000000000000000000000";
constexpr const char* kTen = "40024000000000000000000000000000";
constexpr const char* kHundred = "40059000000000000000000000000000";
constexpr const char* kDefaultNaN = "FFFF8000000000000000000000000000";

class ModulusTest : public ::testing::Test {
protected:
    void SetUp() override { numeric::set_floating_environment(); }
    evaluation::BeamGeometry geometry{bits(kHundred), bits(kHundred), bits(kTen)};
};

// Expected patterns come from the exact rational model in tools/reference, which
// performs the same sequence of correctly rounded operations.
TEST_F(ModulusTest, ForceTwiceTheDisplacement) {
    const std::vector<QuadReal> kraft{bits(kTwo), bits(kFour), bits(kSix)};
    const std::vector<QuadReal> weg{bits(kOne), bits(kTwo), bits(kThree)};
    const auto result = evaluation::evaluate_modulus(kraft, weg, geometry);
    EXPECT_EQ(hex(result.stiffness_factor), "3FF681D7DBF487FCB923A29C779A6B51");
    EXPECT_EQ(hex(result.modulus), "400853B3E815BDB0A53B3E815BDB0A53");
}

TEST_F(ModulusTest, SpecialGeometriesFlowThroughTheArithmetic) {
    struct Case {
        const char* a;
        const char* d0;
        std::size_t records;
        const char* stiffness;
        const char* modulus;
    };
    const Case cases[] = {
        // No records: both sums stay +0 and E = 0 / (K * 0) is the default NaN.
        {kHundred, kTen, 0, "3FF681D7DBF487FCB923A29C779A6B51", kDefaultNaN},
        // a = 0: the divisor of K vanishes, K = +inf, E = +0.
        {kZero, kTen, 3, "7FFF0000000000000000000000000000", kZero},
        // d0 = 0: K = +0 and E = +inf.
        {kHundred, kZero, 3, kZero, "7FFF0000000000000000000000000000"},
    };
    const std::vector<QuadReal> kraft{bits(kTwo), bits(kFour), bits(kSix)};
    const std::vector<QuadReal> weg{bits(kOne), bits(kTwo), bits(kThree)};
    for (const auto& c : cases) {
        const evaluation::BeamGeometry special{bits(c.a), bits(kHundred), bits(c.d0)};
        const auto result = evaluation::evaluate_modulus(std::span(kraft).first(c.records),
                                                         std::span(weg).first(c.records), special);
        EXPECT_EQ(hex(result.stiffness_factor), c.stiffness) << c.a << ' ' << c.d0;
        EXPECT_EQ(hex(result.modulus), c.modulus) << c.a << ' ' << c.d0;
    }
}

}  // namespace

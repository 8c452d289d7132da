#include "evaluation/modulus.hpp"

#include <cassert>

#include "numeric/arithmetic.hpp"
#include "numeric/constants.hpp"

namespace evaluation {

using numeric::add;
using numeric::divide;
using numeric::multiply;

QuadReal stiffness_factor(const BeamGeometry& geometry) {
    const auto& [a, b, d0] = geometry;
    const QuadReal p = numeric::integer_power(d0, 4);
    const QuadReal s = add(a, b);
    const QuadReal t1 = multiply(numeric::kThreePiApproximation, s);
    const QuadReal t2 = multiply(t1, p);
    const QuadReal u1 = multiply(numeric::kSixtyFour, a);
    const QuadReal u2 = multiply(u1, a);
    const QuadReal u3 = multiply(u2, b);
    const QuadReal u4 = multiply(u3, b);
    return divide(t2, u4);
}

namespace {

struct RunningSums {
    QuadReal ww;
    QuadReal fw;
};

// One record with the complete operations, for the records the common case of
// the loop below leaves: zeros, the first records of a series, a sum passing a
// power of two, terms of mixed signs. Out of line and reading the record itself,
// so that the loop neither keeps the record's values nor gives up its registers
// for a call it hardly ever makes.
[[gnu::noinline]] RunningSums add_record(RunningSums sums, const QuadReal& f, const QuadReal& w) {
    return RunningSums{add(sums.ww, multiply(w, w)), add(sums.fw, multiply(f, w))};
}

}  // namespace

void SeriesSums::add(std::span<const QuadReal> kraft, std::span<const QuadReal> weg) {
    assert(kraft.size() == weg.size());
    RunningSums sums{s_ww_, s_fw_};
    for (std::size_t i = 0; i < weg.size(); ++i) {
        const QuadReal w = weg[i];
        const QuadReal f = kraft[i];
        // Each sum takes the same terms in the same order as in add_record; only
        // the two products come before the two additions, so that the
        // multiplications, which do not depend on the sums, can run ahead while
        // the two independent chains of additions interleave. A product the
        // common case leaves is no normal number, and the accumulation leaves it
        // in turn, so one test covers all four operations.
        const QuadReal ww = numeric::fast::try_multiply(w, w);
        const QuadReal fw = numeric::fast::try_multiply(f, w);
        const QuadReal next_ww = numeric::fast::try_accumulate(sums.ww, ww);
        const QuadReal next_fw = numeric::fast::try_accumulate(sums.fw, fw);
        if (numeric::fast::needs_general_path(next_ww) ||
            numeric::fast::needs_general_path(next_fw)) [[unlikely]] {
            sums = add_record(sums, kraft[i], weg[i]);
        } else {
            sums = RunningSums{next_ww, next_fw};
        }
    }
    s_ww_ = sums.ww;
    s_fw_ = sums.fw;
}

ModulusResult modulus_from_sums(const BeamGeometry& geometry, const SeriesSums& sums) {
    const QuadReal k = stiffness_factor(geometry);
    const QuadReal q = multiply(k, sums.s_ww());
    return ModulusResult{k, divide(sums.s_fw(), q)};
}

ModulusResult evaluate_modulus(std::span<const QuadReal> kraft, std::span<const QuadReal> weg,
                               const BeamGeometry& geometry) {
    SeriesSums sums;
    sums.add(kraft, weg);
    return modulus_from_sums(geometry, sums);
}

QuadReal fitted_slope(const ModulusResult& result) {
    return multiply(result.stiffness_factor, result.modulus);
}

}  // namespace evaluation

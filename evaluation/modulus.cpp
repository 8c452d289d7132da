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

void SeriesSums::add(std::span<const QuadReal> kraft, std::span<const QuadReal> weg) {
    assert(kraft.size() == weg.size());
    QuadReal s_ww = s_ww_;
    QuadReal s_fw = s_fw_;
    for (std::size_t i = 0; i < weg.size(); ++i) {
        s_ww = numeric::add(s_ww, multiply(weg[i], weg[i]));
        s_fw = numeric::add(s_fw, multiply(kraft[i], weg[i]));
    }
    s_ww_ = s_ww;
    s_fw_ = s_fw;
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

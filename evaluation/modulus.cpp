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

ModulusResult evaluate_modulus(std::span<const QuadReal> kraft, std::span<const QuadReal> weg,
                               const BeamGeometry& geometry) {
    assert(kraft.size() == weg.size());
    const QuadReal k = stiffness_factor(geometry);
    // Plain left-to-right sums: no compensation, no reordering, since the rounding
    // of each step is part of the result.
    QuadReal s_ww = numeric::kPositiveZero;
    QuadReal s_fw = numeric::kPositiveZero;
    for (std::size_t i = 0; i < weg.size(); ++i) {
        s_ww = add(s_ww, multiply(weg[i], weg[i]));
        s_fw = add(s_fw, multiply(kraft[i], weg[i]));
    }
    const QuadReal q = multiply(k, s_ww);
    return ModulusResult{k, divide(s_fw, q)};
}

QuadReal fitted_slope(const ModulusResult& result) {
    return multiply(result.stiffness_factor, result.modulus);
}

}  // namespace evaluation

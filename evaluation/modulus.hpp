#pragma once
// The elastic modulus of a simply supported round bar under a point load, from the
// least-squares slope of force over displacement through the origin.

#include <span>

#include "numeric/constants.hpp"
#include "numeric/precision.hpp"

namespace evaluation {

using numeric::QuadReal;

// The distances a and b from the load to the two supports and the bar diameter d0.
struct BeamGeometry {
    QuadReal a;
    QuadReal b;
    QuadReal d0;
};

struct ModulusResult {
    QuadReal stiffness_factor;  // K = 9.42 (a+b) d0^4 / (64 a^2 b^2)
    QuadReal modulus;           // E = S_fw / (K S_ww)
};

// K alone, depending on the geometry only.
QuadReal stiffness_factor(const BeamGeometry& geometry);

// The sums S_ww and S_fw, taken record by record in file order: plain
// left-to-right sums, no compensation, no reordering, since the rounding of each
// step is part of the result. Adding the records in several stretches gives the
// same bits as adding them at once.
class SeriesSums {
public:
    void add(std::span<const QuadReal> kraft, std::span<const QuadReal> weg);
    QuadReal s_ww() const { return s_ww_; }
    QuadReal s_fw() const { return s_fw_; }

private:
    QuadReal s_ww_ = numeric::kPositiveZero;
    QuadReal s_fw_ = numeric::kPositiveZero;
};

// K and E from the geometry and the sums of the whole series.
ModulusResult modulus_from_sums(const BeamGeometry& geometry, const SeriesSums& sums);

// K and E. Every line is one rounded binary128 operation in a fixed order and with
// fixed operand order, so the last bit of E is reproducible. kraft and weg hold the
// n forces and displacements in file order.
ModulusResult evaluate_modulus(std::span<const QuadReal> kraft, std::span<const QuadReal> weg,
                               const BeamGeometry& geometry);

// The slope of the fitted line as the plot file forms it: rebuilt as K * E, not
// taken from the sums, so it equals S_fw / S_ww only up to rounding.
QuadReal fitted_slope(const ModulusResult& result);

}  // namespace evaluation

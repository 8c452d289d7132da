#pragma once
// plot.dat: points of the fitted line over the measured displacements.

#include <span>

#include "evaluation/run_paths.hpp"
#include "numeric/precision.hpp"

namespace evaluation {

// Writes plot.dat in the working directory, replacing what it held: the origin
// row, then for the first n/2 + 1 records the displacement and the force the
// fitted line gives for it, (K * E) * displacement. An empty series gives the
// origin row only. Every failure ends the process. The fast paths prepare long
// files' rows on a helper thread while this one writes them.
void write_plot_file(std::span<const numeric::QuadReal> weg, numeric::QuadReal stiffness_factor,
                     numeric::QuadReal modulus, RunPaths paths = RunPaths::fast);

}  // namespace evaluation

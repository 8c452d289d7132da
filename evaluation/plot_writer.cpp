#include "evaluation/plot_writer.hpp"

#include <algorithm>

#include "edited/edit_format.hpp"
#include "numeric/arithmetic.hpp"
#include "numeric/constants.hpp"
#include "units/units.hpp"

namespace evaluation {

using numeric::QuadReal;

void write_plot_file(std::span<const QuadReal> weg, QuadReal stiffness_factor, QuadReal modulus) {
    recio::UnitConnection& file = recio::open_file_unit("plot.dat");
    const QuadReal origin[] = {numeric::kPositiveZero, numeric::kPositiveZero};
    recio::write_edited(file, recio::edit_formats::kPlotHeader, origin);
    // The slope of the fitted line is rebuilt from K and E, not taken from the
    // sums. Every row would compute the same rounded product from the same
    // operands, so it is formed once.
    const QuadReal slope = numeric::multiply(stiffness_factor, modulus);
    // n/2 + 1 rows, but never beyond the series: an empty one has no row to give.
    const std::size_t rows = std::min(weg.size() / 2 + 1, weg.size());
    for (std::size_t i = 0; i < rows; ++i) {
        const QuadReal row[] = {weg[i], numeric::multiply(slope, weg[i])};
        recio::write_edited(file, recio::edit_formats::kPlotRow, row);
    }
    recio::close_file_unit();
}

}  // namespace evaluation

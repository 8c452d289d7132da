#include "evaluation/measurement_loader.hpp"

#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"
#include "units/units.hpp"

namespace evaluation {
namespace {

using numeric::QuadReal;

// The number of records that supply a first value. Counted in 64 bits so that no
// file is large enough to wrap it; the allocation refuses counts beyond its range.
std::int64_t count_records(std::string_view cdat) {
    recio::UnitConnection& file = recio::open_file_unit(cdat);
    QuadReal first_value = numeric::kPositiveZero;
    QuadReal* const items[] = {&first_value};
    std::int64_t count = 0;
    while (recio::read_values(file, items, recio::EndExit::present) ==
           recio::ReadOutcome::completed) {
        ++count;
    }
    recio::close_file_unit();
    return count;
}

}  // namespace

MeasurementSeries load_measurements(std::string_view cdat) {
    const std::int64_t count = count_records(cdat);
    MeasurementSeries series;
    series.kraft = recio::allocate_series_array(count);
    series.weg = recio::allocate_series_array(count);
    series.n = static_cast<std::int32_t>(count);

    const recio::SeriesPagePreparation pages(series.kraft, series.weg);
    recio::UnitConnection& file = recio::open_file_unit(cdat);
    QuadReal ignored = numeric::kPositiveZero;
    const auto kraft = series.kraft.elements();
    const auto weg = series.weg.elements();
    for (std::size_t i = 0; i < kraft.size(); ++i) {
        QuadReal* const items[] = {&ignored, &kraft[i], &weg[i]};
        recio::read_values(file, items, recio::EndExit::absent);
    }
    recio::close_file_unit();
    return series;
}

}  // namespace evaluation

#pragma once
// Loads the force and displacement series from the measurement file.

#include <cstdint>
#include <span>
#include <string_view>

#include "evaluation/modulus.hpp"
#include "evaluation/run_paths.hpp"
#include "evaluation/series_allocation.hpp"
#include "numeric/precision.hpp"

namespace evaluation {

// What the caller takes from the series: every record, or what a run uses (n,
// the sums and WEG), so that the forces need not be kept.
enum class SeriesUse { every_record, run };

// KRAFT and WEG, n elements each, in file order; for SeriesUse::run KRAFT may be
// empty.
struct MeasurementSeries {
    std::int32_t n = 0;
    recio::SeriesArray kraft;
    recio::SeriesArray weg;
    SeriesSums sums;  // of all n records
};

// Reads the file named by the text field `cdat` twice: a counting pass that finds
// how many records supply a first value, then, with the arrays allocated for
// exactly that many, a loading pass that reads the ignored first value, the force
// and the displacement of each record. A missing file is created empty and gives
// an empty series. The sums of the modulus are taken while the loading pass runs,
// on a helper thread where one can be started. Every failure ends the process.
// Both paths give the same series; see RunPaths.
MeasurementSeries load_measurements(std::string_view cdat, RunPaths paths = RunPaths::fast,
                                    SeriesUse use = SeriesUse::every_record);

}  // namespace evaluation

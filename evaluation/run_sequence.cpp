#include "evaluation/run_sequence.hpp"

#include <sys/resource.h>

#include <array>

#include "edited/edit_format.hpp"
#include "evaluation/measurement_loader.hpp"
#include "evaluation/modulus.hpp"
#include "evaluation/plot_writer.hpp"
#include "failure/process_end.hpp"
#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"
#include "units/units.hpp"

namespace evaluation {
namespace {

// One number from the console by its own read request, so that each answer
// starts on a new line. A null answer (a comma or a slash) leaves the value as
// it was: +0.
void ask_for(recio::EditFormat prompt, QuadReal& value) {
    recio::write_edited(recio::console_output(), prompt, {});
    QuadReal* const items[] = {&value};
    recio::read_values(recio::console_input(), items, recio::EndExit::absent);
}

}  // namespace

RunPaths default_run_paths() {
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) {
            return RunPaths::plain;
        }
    }
    return RunPaths::fast;
}

int run_evaluation(RunPaths paths) {
    namespace formats = recio::edit_formats;

    recio::write_edited(recio::console_output(), formats::kFileNamePrompt, {});
    std::array<char, 20> cdat{};
    recio::read_text_field(recio::console_input(), cdat);

    const MeasurementSeries series =
        load_measurements(std::string_view(cdat.data(), cdat.size()), paths, SeriesUse::run);

    BeamGeometry geometry{numeric::kPositiveZero, numeric::kPositiveZero, numeric::kPositiveZero};
    ask_for(formats::kDistanceAPrompt, geometry.a);
    ask_for(formats::kDistanceBPrompt, geometry.b);
    ask_for(formats::kDiameterPrompt, geometry.d0);

    const ModulusResult result = modulus_from_sums(geometry, series.sums);

    const QuadReal reported[] = {result.modulus};
    recio::write_edited(recio::console_output(), formats::kResult, reported);

    write_plot_file(series.weg.elements(), result.stiffness_factor, result.modulus, paths);
    return recio::normal_end();
}

}  // namespace evaluation

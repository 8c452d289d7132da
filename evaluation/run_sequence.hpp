#pragma once

#include "evaluation/run_paths.hpp"

namespace evaluation {

// The whole run: the file-name dialogue, loading of the measurements, the three
// geometry questions, the evaluation, the result line and plot.dat. Returns the
// exit status of a normal end; every failure ends the process before.
int run_evaluation(RunPaths paths = default_run_paths());

}  // namespace evaluation

#pragma once
// A model of free-form read requests for the fuzz oracles, written from the
// reading rules and on purpose unlike the program's reader: whole records as
// strings, one plain function per rule, no character table, no fast path. It
// follows tools/reference/free_form_model.py decision for decision (the points the
// rules leave open are listed there). Only the value of a number's text is taken
// from the program's converter, which has oracles of its own.

#include <optional>
#include <string_view>
#include <vector>

#include "numeric/precision.hpp"

namespace fuzzsupport {

struct ModelRequest {
    int items = 1;
    bool end_exit = false;
};

struct ModelRun {
    // Per completed request, its items: a value, or nothing when left unchanged.
    std::vector<std::vector<std::optional<numeric::QuadReal>>> completed;
    // How the run ends: nothing for the end indication, else the condition.
    std::optional<int> status;
};

// Makes read requests over `input` in the order of `schedule`, used in turn, until
// one ends at end of file or with a condition.
ModelRun model_read_requests(std::string_view input, const std::vector<ModelRequest>& schedule);

}  // namespace fuzzsupport

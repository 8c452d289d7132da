#pragma once
// The one pass over a measurement file's records of plain numbers, on both
// processors.

#include <cstddef>
#include <functional>
#include <span>

#include "numeric/precision.hpp"
#include "units/unit_connection.hpp"

namespace evaluation {

// Loads the records of plain numbers from where `file` stands into `kraft` and
// `weg` from their first element on, as the loading pass would read them, and
// returns how many there are, at most as many as the arrays hold. Stops before
// the first record of another kind and leaves the unit at its start, as
// recio::read_plain_rows does; an element behind the last one loaded holds +0,
// except the one of the record stopped at, which may hold a value of it.
//
// The file is taken a stretch of about a mebibyte at a time, split at a line feed
// between this thread and a helper: the helper's share starts at the element its
// first record would take were every record before it plain, and counts only
// when every record before it is. `records_done(n)` hears, a stretch at a time,
// that elements [0, n) are final. Each thread gives the pages it is about to
// fill their memory itself, so that it writes into its own cache.
std::size_t load_plain_records(recio::UnitConnection& file, std::span<numeric::QuadReal> kraft,
                               std::span<numeric::QuadReal> weg,
                               const std::function<void(std::size_t)>& records_done);

}  // namespace evaluation

#pragma once
// The one pass over a measurement file's records of plain numbers, on both
// processors.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <functional>
#include <span>

#include "numeric/precision.hpp"
#include "units/unit_connection.hpp"

namespace evaluation {

// Where the loading passes put the force of each record: its own element of
// KRAFT, or, in a run that needs the forces for the sums only, a slot of a ring
// that the sums empty as they go. The ring spares the run the fresh pages of a
// whole array (16 bytes a record, each first write to a page costing several
// microseconds on a virtual machine) in exchange for a few waits on the sums.
class ForceSlots {
public:
    enum class Kind { kraft, ring };

    // The slots of a ring for up to `capacity` records: an eighth of them, at
    // least 4096 and at most 2^18 (4 MiB: a stretch of the shortest records and
    // the lag of the sums behind it). So a file of a few thousand records goes
    // round the ring as a large one does, and its tests take the same paths.
    static std::size_t ring_slots(std::size_t capacity) {
        return std::clamp(std::bit_ceil(capacity / 8), std::size_t{1} << 12, std::size_t{1} << 18);
    }

    // Record r in slots[r] (kraft) or slots[r % size] (ring).
    ForceSlots(std::span<numeric::QuadReal> slots, Kind kind) : slots_(slots), kind_(kind) {}
    ForceSlots(const ForceSlots&) = delete;
    ForceSlots& operator=(const ForceSlots&) = delete;

    bool ring() const { return kind_ == Kind::ring; }
    numeric::QuadReal* slot(std::size_t record) { return &slots_[record % slots_.size()]; }
    // The slots of records [record, record + count), count at most in_a_row(record).
    std::span<numeric::QuadReal> run(std::size_t record, std::size_t count) {
        return slots_.subspan(record % slots_.size(), count);
    }
    // How many records from `record` on have slots one after another.
    std::size_t in_a_row(std::size_t record) const {
        return slots_.size() - record % slots_.size();
    }

    // How many records from `record` on may be written now. In a ring this waits
    // until the sums have taken enough that at least half of it is free; the
    // caller must have reported every record before `record` final by then.
    std::size_t room(std::size_t record) const {
        if (!ring()) {
            return slots_.size() - record;
        }
        std::size_t taken = taken_.load(std::memory_order_acquire);
        while (taken + slots_.size() - record < slots_.size() / 2) {
            taken_.wait(taken, std::memory_order_acquire);
            taken = taken_.load(std::memory_order_acquire);
        }
        return taken + slots_.size() - record;
    }
    // The sums have taken records [0, records): their slots may be written again.
    void taken(std::size_t records) {
        if (ring()) {
            taken_.store(records, std::memory_order_release);
            taken_.notify_one();
        }
    }
    // A loading pass from the first record again, after the sums have stopped.
    void restart() { taken_.store(0, std::memory_order_relaxed); }

private:
    std::span<numeric::QuadReal> slots_;
    Kind kind_;
    std::atomic<std::size_t> taken_{0};
};

// The fewest bytes a record of plain numbers takes: three values, two separators
// and a line feed ("1 2 3").
inline constexpr std::size_t kShortestPlainRecord = 6;

// Loads the records of plain numbers from where `file` stands into `forces` and
// `weg` from record 0 on, as the loading pass would read them, and returns how
// many there are, at most as many as `weg` holds. Stops before the first record
// of another kind and leaves the unit at its start, as recio::read_plain_rows
// does; an element behind the last one loaded holds +0, except the one of the
// record stopped at, which may hold a value of it (in a ring, slots of records
// not reported final hold anything).
//
// The file is taken a stretch of about a mebibyte at a time, split at a line feed
// between this thread and a helper: the helper's share starts at the element its
// first record would take were every record before it plain, and counts only
// when every record before it is. `records_done(n)` hears, a stretch at a time,
// that elements [0, n) are final. Each thread gives the pages it is about to
// fill their memory itself, so that it writes into its own cache.
std::size_t load_plain_records(recio::UnitConnection& file, ForceSlots& forces,
                               std::span<numeric::QuadReal> weg,
                               const std::function<void(std::size_t)>& records_done);

}  // namespace evaluation

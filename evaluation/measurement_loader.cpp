#include "evaluation/measurement_loader.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <thread>

#include "evaluation/helper_thread.hpp"
#include "evaluation/plain_pass.hpp"
#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"
#include "units/file_digest.hpp"
#include "units/record_input.hpp"
#include "units/units.hpp"

namespace evaluation {
namespace {

using numeric::QuadReal;

// The number of records from where `file` stands that supply a first value.
// Counted in 64 bits so that no file is large enough to wrap it; the allocation
// refuses counts beyond its range.
std::int64_t count_records(recio::UnitConnection& file) {
    const recio::ItemColumn first_values[] = {{nullptr, 0}};
    return static_cast<std::int64_t>(
        recio::read_rows(file, first_values, SIZE_MAX, recio::EndExit::present));
}

// Takes the sums of the records the loading pass has finished, on a helper thread,
// so that they cost the pass nothing; the pass publishes how many records are
// final every so often. The helper has every signal blocked, so signals and their
// diagnostics stay with the run; when the pass ends the process on a failure, the
// helper is left waiting and goes with the process. Without a helper the sums are
// taken at the end, or, from a ring of forces, as the records become final.
class SumsAlongside {
public:
    SumsAlongside(ForceSlots& forces, std::span<const QuadReal> weg, RunPaths paths)
        : forces_(forces), weg_(weg) {
        if (paths == RunPaths::plain || weg.size() < kPublishEvery) {
            return;
        }
        // Without a helper, finish() takes the sums.
        helper_ = start_helper_thread([this] { follow(); });
    }
    SumsAlongside(const SumsAlongside&) = delete;
    SumsAlongside& operator=(const SumsAlongside&) = delete;
    ~SumsAlongside() {
        if (helper_.joinable()) {
            final_.stop();
            helper_.join();
        }
    }

    // Records [0, records) are final.
    void records_done(std::size_t records) {
        if (helper_.joinable()) {
            final_.raise(records);
        } else if (forces_.ring()) {
            add_up_to(records);
        }
    }

    // How many records the loading pass reads between two reports.
    static constexpr std::size_t kPublishEvery = 4096;

    // The sums of records [0, records), once they are all final.
    SeriesSums finish(std::size_t records) {
        if (helper_.joinable()) {
            final_.raise_for_the_last_time(records);
            helper_.join();
        } else {
            add_up_to(records);
        }
        return sums_;
    }

private:
    void follow() {
        final_.follow([&](std::size_t available) {
            add_up_to(available);
            return true;
        });
    }

    void add_up_to(std::size_t records) {
        for (std::size_t count; done_ < records; done_ += count) {
            count = std::min(records - done_, forces_.in_a_row(done_));
            sums_.add(forces_.run(done_, count), weg_.subspan(done_, count));
        }
        forces_.taken(done_);
    }

    ForceSlots& forces_;
    std::span<const QuadReal> weg_;
    SeriesSums sums_;
    std::size_t done_ = 0;  // records added
    FollowedCount final_;   // records final
    std::thread helper_;
};

// Reads the loading pass's requests [from, to) into the forces and `weg`, telling
// the sums how far it has come.
void load_rows(recio::UnitConnection& file, ForceSlots& forces, std::span<QuadReal> weg,
               std::size_t from, std::size_t to, SumsAlongside& sums) {
    for (std::size_t i = from, rows; i < to; i += rows) {
        rows = std::min({SumsAlongside::kPublishEvery, to - i, forces.in_a_row(i), forces.room(i)});
        if (forces.ring()) {
            // A slot holds the force of an earlier record, and a request may leave
            // its item as it is (a null value, a slash): it must find +0.
            std::fill_n(forces.slot(i), rows, numeric::kPositiveZero);
        }
        const recio::ItemColumn columns[] = {{nullptr, 0}, {forces.slot(i), 1}, {&weg[i], 1}};
        recio::read_rows(file, columns, rows, recio::EndExit::absent);
        sums.records_done(i + rows);
    }
}

// The loading pass over `count` records into arrays of exactly that size: the
// allocation and the second opening of two passes.
MeasurementSeries load_counted(std::string_view cdat, std::int64_t count, RunPaths paths) {
    MeasurementSeries series;
    series.kraft = recio::allocate_series_array(count);
    series.weg = recio::allocate_series_array(count);
    series.n = static_cast<std::int32_t>(count);

    std::optional<recio::SeriesPagePreparation> pages;
    if (paths == RunPaths::fast) {
        pages.emplace(series.kraft, series.weg);
        pages->allow(series.weg.size(), true);
    }
    recio::UnitConnection& file = recio::open_file_unit(cdat);
    ForceSlots forces(series.kraft.elements(), ForceSlots::Kind::kraft);
    const auto weg = series.weg.elements();
    SumsAlongside sums(forces, weg, paths);
    load_rows(file, forces, weg, 0, weg.size(), sums);
    recio::close_file_unit();
    series.sums = sums.finish(weg.size());
    return series;
}

// Two passes, as the rules describe them, over the file just opened on `file`.
MeasurementSeries load_in_two_passes(std::string_view cdat, recio::UnitConnection& file,
                                     RunPaths paths) {
    const std::int64_t count = count_records(file);
    recio::close_file_unit();
    return load_counted(cdat, count, paths);
}

// How many records of plain numbers a regular file of `size` bytes can hold: each
// has at least three values, two separators and a line feed.
std::size_t plain_record_capacity(std::uint64_t size) {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(size / kShortestPlainRecord, recio::kMaxSeriesCount));
}

// Whether a file of `size` bytes may hold more records than a series can have:
// every record but the last needs a value and a line feed. Such a file is counted
// before any memory is set aside for it, so that its count is refused at once.
bool may_hold_too_many_records(std::uint64_t size) {
    return (size + 1) / 2 > recio::kMaxSeriesCount;
}

// Whether the file open on `file` still begins with the bytes `read` was fed: the
// proof that records loaded from an earlier opening are what this one holds.
// Above a few blocks a helper reads the second half while this thread reads the
// first.
bool still_begins_with(const recio::UnitConnection& file, const recio::FileDigest& read) {
    constexpr std::uint64_t kSplitFrom = 8;  // blocks
    const std::uint64_t length = read.length();
    const std::uint64_t blocks = (length + recio::FileDigest::kBlock - 1) / recio::FileDigest::kBlock;
    const std::uint64_t split = blocks >= kSplitFrom ? blocks / 2 : blocks;
    const std::uint64_t split_at = std::min(length, split * recio::FileDigest::kBlock);
    std::optional<recio::Digest> second;
    const auto read_second = [&] {
        second = recio::digest_file_range(file.descriptor, split, length);
    };
    std::thread helper;
    if (split < blocks) {
        helper = start_helper_thread(read_second);
    }
    const auto first = recio::digest_file_range(file.descriptor, 0, split_at);
    if (helper.joinable()) {
        helper.join();
    } else {
        read_second();  // an empty stretch digests to zero
    }
    return first && second && *first + *second == read.value();
}

// A regular file, counted and loaded in one pass as far as its records are plain
// numbers, then as two passes would go on. Nothing of it can be told from two
// passes: the count is the counting pass's, and what the arrays hold comes from
// one reading of the file after the reopen.
MeasurementSeries load_in_one_pass(std::string_view cdat, recio::UnitConnection& file,
                                   std::uint64_t file_size, SeriesUse use) {
    const std::size_t capacity = plain_record_capacity(file_size);
    MeasurementSeries series;
    series.weg = recio::reserve_series_array(capacity);
    // A run needs the forces for the sums only: they go through a ring.
    recio::SeriesArray ring;
    if (use == SeriesUse::run) {
        ring = recio::reserve_series_array(ForceSlots::ring_slots(capacity));
    }
    if (ring.size() == 0) {
        series.kraft = recio::reserve_series_array(capacity);
    }
    if (series.weg.size() == 0 || ring.size() + series.kraft.size() == 0) {
        series = MeasurementSeries{};
        return load_in_two_passes(cdat, file, RunPaths::fast);
    }

    // The first opening: the plain records are loaded while they are counted, on
    // both processors, and every byte read for them goes into a digest; from the
    // first record of another kind on, the counting pass goes on as it would.
    std::int64_t count = 0;
    {
        const bool through_ring = ring.size() != 0;
        ForceSlots forces(through_ring ? ring.elements() : series.kraft.elements(),
                          through_ring ? ForceSlots::Kind::ring : ForceSlots::Kind::kraft);
        const auto weg = series.weg.elements();
        std::optional<SumsAlongside> sums(std::in_place, forces, weg, RunPaths::fast);
        recio::FileDigest read_at_first;
        file.input.digest = &read_at_first;
        const std::size_t loaded = load_plain_records(
            file, forces, weg, [&](std::size_t records) { sums->records_done(records); });
        file.input.digest = nullptr;
        const std::uint64_t position = recio::input_position(file);
        count = static_cast<std::int64_t>(loaded) + count_records(file);
        recio::close_file_unit();
        recio::check_series_count(count);
        if (static_cast<std::size_t>(count) <= capacity) {
            // The second opening. Where it holds the bytes the plain records came
            // from, the loading pass takes up the records behind them; otherwise
            // it starts afresh, from the first record into arrays of zeros (the
            // element of the record the one pass stopped at included), as the
            // loading pass of two passes would.
            const auto records = static_cast<std::size_t>(count);
            recio::SeriesPagePreparation pages(series.kraft, series.weg, loaded);
            pages.allow(records, true);
            recio::UnitConnection& again = recio::open_file_unit(cdat);
            std::size_t from = 0;
            if (loaded > 0 && still_begins_with(again, read_at_first)) {
                from = loaded;
                recio::seek_file_unit(again, position);
            } else if (loaded > 0) {
                sums.reset();
                const std::size_t touched = std::min(loaded + 1, capacity);
                if (!forces.ring()) {
                    std::fill_n(forces.slot(0), touched, numeric::kPositiveZero);
                }
                std::fill_n(weg.begin(), touched, numeric::kPositiveZero);
                forces.restart();
                sums.emplace(forces, weg, RunPaths::fast);
            }
            load_rows(again, forces, weg, from, records, *sums);
            recio::close_file_unit();
            series.sums = sums->finish(records);
        }
    }
    if (static_cast<std::size_t>(count) > capacity) {
        // More records than the room reserved (short records, or a file that
        // grew): arrays of the counted size, as two passes would allocate them.
        series = MeasurementSeries{};
        return load_counted(cdat, count, RunPaths::fast);
    }
    series.kraft.shrink(static_cast<std::size_t>(count));
    series.weg.shrink(static_cast<std::size_t>(count));
    series.n = static_cast<std::int32_t>(count);
    return series;
}

}  // namespace

MeasurementSeries load_measurements(std::string_view cdat, RunPaths paths, SeriesUse use) {
    recio::UnitConnection& file = recio::open_file_unit(cdat);
    struct stat status {};
    const bool regular = ::fstat(file.descriptor, &status) == 0 && S_ISREG(status.st_mode);
    const auto size = static_cast<std::uint64_t>(regular ? status.st_size : 0);
    if (paths == RunPaths::plain || !regular || may_hold_too_many_records(size)) {
        return load_in_two_passes(cdat, file, paths);
    }
    return load_in_one_pass(cdat, file, size, use);
}

}  // namespace evaluation

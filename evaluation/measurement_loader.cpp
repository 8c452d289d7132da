#include "evaluation/measurement_loader.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

#include "evaluation/helper_thread.hpp"
#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"
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
// taken at the end.
class SumsAlongside {
public:
    SumsAlongside(std::span<const QuadReal> kraft, std::span<const QuadReal> weg)
        : kraft_(kraft), weg_(weg) {
        if (weg.size() < kPublishEvery) {
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
            sums_.add(kraft_.first(records), weg_.first(records));
        }
        return sums_;
    }

private:
    void follow() {
        std::size_t done = 0;
        final_.follow([&](std::size_t available) {
            sums_.add(kraft_.subspan(done, available - done), weg_.subspan(done, available - done));
            done = available;
            return true;
        });
    }

    std::span<const QuadReal> kraft_;
    std::span<const QuadReal> weg_;
    SeriesSums sums_;
    FollowedCount final_;  // records final
    std::thread helper_;
};

// Reads the loading pass's requests [from, to) into the arrays, telling the sums
// how far it has come.
void load_rows(recio::UnitConnection& file, std::span<QuadReal> kraft, std::span<QuadReal> weg,
               std::size_t from, std::size_t to, SumsAlongside& sums) {
    for (std::size_t i = from; i < to; i += SumsAlongside::kPublishEvery) {
        const std::size_t rows = std::min(SumsAlongside::kPublishEvery, to - i);
        const recio::ItemColumn columns[] = {{nullptr, 0}, {&kraft[i], 1}, {&weg[i], 1}};
        recio::read_rows(file, columns, rows, recio::EndExit::absent);
        sums.records_done(i + rows);
    }
}

// The loading pass over `count` records into arrays of exactly that size.
MeasurementSeries load_counted(std::string_view cdat, std::int64_t count) {
    MeasurementSeries series;
    series.kraft = recio::allocate_series_array(count);
    series.weg = recio::allocate_series_array(count);
    series.n = static_cast<std::int32_t>(count);

    recio::SeriesPagePreparation pages(series.kraft, series.weg);
    pages.allow(series.weg.size(), true);
    recio::UnitConnection& file = recio::open_file_unit(cdat);
    const auto kraft = series.kraft.elements();
    const auto weg = series.weg.elements();
    SumsAlongside sums(kraft, weg);
    load_rows(file, kraft, weg, 0, weg.size(), sums);
    recio::close_file_unit();
    series.sums = sums.finish(weg.size());
    return series;
}

// What tells whether a file has changed: a write moves its modification and
// status change times, and most writes its size. Systems whose file times move in
// clock ticks could miss a write of the same size in the very tick of an earlier
// write and of the look at the times; newer ones give the first write after a
// look a time of its own.
struct FileIdentity {
    struct stat status {};
    bool regular = false;

    static FileIdentity of(const recio::UnitConnection& file) {
        FileIdentity identity;
        identity.regular =
            ::fstat(file.descriptor, &identity.status) == 0 && S_ISREG(identity.status.st_mode);
        return identity;
    }
    bool operator==(const FileIdentity& other) const {
        const struct stat& a = status;
        const struct stat& b = other.status;
        return regular && other.regular && a.st_dev == b.st_dev && a.st_ino == b.st_ino &&
               a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
               a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
               a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
    }
};

// How many records of plain numbers a regular file can hold: each has at least
// three values, two separators and a line feed.
std::size_t plain_record_capacity(const FileIdentity& file) {
    constexpr std::uint64_t kShortestPlainRecord = 6;  // "1 2 3" and its line feed
    return static_cast<std::size_t>(std::min<std::uint64_t>(
        static_cast<std::uint64_t>(file.status.st_size) / kShortestPlainRecord,
        recio::kMaxSeriesCount));
}

// Loads the records of plain numbers from the start of `file` into the reserved
// arrays, as the loading pass would, and returns how many there are; stops at the
// first record of another kind. The page helper is let 2 MiB ahead, but not
// beyond where the file's size says the series will end, so that it prepares no
// page the series does not need.
std::size_t load_plain_rows(recio::UnitConnection& file, std::span<QuadReal> kraft,
                            std::span<QuadReal> weg, std::uint64_t file_size,
                            recio::SeriesPagePreparation& pages, SumsAlongside& sums) {
    constexpr std::size_t kPagesAhead = (std::size_t{2} << 20) / sizeof(QuadReal);
    const std::size_t capacity = weg.size();
    std::size_t loaded = 0;
    pages.allow(std::min(capacity, kPagesAhead), false);
    while (loaded < capacity) {
        const std::size_t rows = std::min(SumsAlongside::kPublishEvery, capacity - loaded);
        const recio::ItemColumn columns[] = {{nullptr, 0}, {&kraft[loaded], 1}, {&weg[loaded], 1}};
        const std::size_t taken = recio::read_plain_rows(file, columns, rows);
        loaded += taken;
        sums.records_done(loaded);
        const double expected = static_cast<double>(loaded) * static_cast<double>(file_size) /
                                static_cast<double>(recio::input_position(file) | 1);
        pages.allow(std::min({capacity, loaded + kPagesAhead,
                              static_cast<std::size_t>(expected * (63.0 / 64.0))}),
                    false);
        if (taken < rows) {
            break;
        }
    }
    return loaded;
}

}  // namespace

MeasurementSeries load_measurements(std::string_view cdat) {
    recio::UnitConnection& file = recio::open_file_unit(cdat);
    const FileIdentity counted_file = FileIdentity::of(file);
    const std::size_t capacity = counted_file.regular ? plain_record_capacity(counted_file) : 0;
    MeasurementSeries series;
    series.kraft = recio::reserve_series_array(capacity);
    series.weg = recio::reserve_series_array(capacity);
    if (series.kraft.size() == 0 || series.weg.size() == 0) {
        const std::int64_t count = count_records(file);
        recio::close_file_unit();
        series = MeasurementSeries{};
        return load_counted(cdat, count);
    }

    // A regular file is counted and loaded in one pass as far as its records are
    // plain numbers; from the first record of another kind on, the counting pass
    // goes on to the end, and the loading pass takes the rest after it. The
    // loading pass opens the file again all the same, and where the file is no
    // longer the one counted, reads it all again, as two passes would.
    std::int64_t count = 0;
    {
        recio::SeriesPagePreparation pages(series.kraft, series.weg);
        const auto kraft = series.kraft.elements();
        const auto weg = series.weg.elements();
        std::optional<SumsAlongside> sums(std::in_place, kraft, weg);
        const auto file_size = static_cast<std::uint64_t>(counted_file.status.st_size);
        const std::size_t loaded = load_plain_rows(file, kraft, weg, file_size, pages, *sums);
        const std::uint64_t position = recio::input_position(file);
        count = static_cast<std::int64_t>(loaded) + count_records(file);
        recio::close_file_unit();
        recio::check_series_count(count);
        if (static_cast<std::size_t>(count) <= capacity) {
            const auto records = static_cast<std::size_t>(count);
            pages.allow(records, true);
            recio::UnitConnection& again = recio::open_file_unit(cdat);
            std::size_t from = loaded;
            if (!(FileIdentity::of(again) == counted_file)) {
                sums.emplace(kraft, weg);
                from = 0;
            } else if (from < records) {
                recio::seek_file_unit(again, position);
            }
            load_rows(again, kraft, weg, from, records, *sums);
            recio::close_file_unit();
            series.sums = sums->finish(records);
        }
    }
    if (static_cast<std::size_t>(count) > capacity) {
        // More records than the room reserved (short records, or a file that
        // grew): arrays of the counted size, as two passes would allocate them.
        series = MeasurementSeries{};
        return load_counted(cdat, count);
    }
    series.kraft.shrink(static_cast<std::size_t>(count));
    series.weg.shrink(static_cast<std::size_t>(count));
    series.n = static_cast<std::int32_t>(count);
    return series;
}

}  // namespace evaluation

#include "evaluation/measurement_loader.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include "evaluation/helper_thread.hpp"
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
    const recio::ItemColumn first_values[] = {{nullptr, 0}};
    const std::size_t count =
        recio::read_rows(file, first_values, SIZE_MAX, recio::EndExit::present);
    recio::close_file_unit();
    return static_cast<std::int64_t>(count);
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
            publish(weg_.size());
            helper_.join();
        }
    }

    // Records [0, records) are final.
    void records_done(std::size_t records) {
        if (helper_.joinable()) {
            publish(records);
        }
    }

    // How many records the loading pass reads between two reports.
    static constexpr std::size_t kPublishEvery = 4096;

    // The sums of all records, once every record is final.
    SeriesSums finish() {
        if (helper_.joinable()) {
            publish(weg_.size());
            helper_.join();
        } else {
            sums_.add(kraft_, weg_);
        }
        return sums_;
    }

private:
    void publish(std::size_t records) {
        final_.store(records, std::memory_order_release);
        final_.notify_one();
    }

    void follow() {
        std::size_t done = 0;
        while (done < weg_.size()) {
            final_.wait(done, std::memory_order_acquire);
            const std::size_t available = final_.load(std::memory_order_acquire);
            sums_.add(kraft_.subspan(done, available - done), weg_.subspan(done, available - done));
            done = available;
        }
    }

    std::span<const QuadReal> kraft_;
    std::span<const QuadReal> weg_;
    SeriesSums sums_;
    std::atomic<std::size_t> final_{0};
    std::thread helper_;
};

}  // namespace

MeasurementSeries load_measurements(std::string_view cdat) {
    const std::int64_t count = count_records(cdat);
    MeasurementSeries series;
    series.kraft = recio::allocate_series_array(count);
    series.weg = recio::allocate_series_array(count);
    series.n = static_cast<std::int32_t>(count);

    const recio::SeriesPagePreparation pages(series.kraft, series.weg);
    recio::UnitConnection& file = recio::open_file_unit(cdat);
    const auto kraft = series.kraft.elements();
    const auto weg = series.weg.elements();
    SumsAlongside sums(kraft, weg);
    for (std::size_t i = 0; i < kraft.size(); i += SumsAlongside::kPublishEvery) {
        const std::size_t rows = std::min(SumsAlongside::kPublishEvery, kraft.size() - i);
        const recio::ItemColumn columns[] = {{nullptr, 0}, {&kraft[i], 1}, {&weg[i], 1}};
        recio::read_rows(file, columns, rows, recio::EndExit::absent);
        sums.records_done(i + rows);
    }
    recio::close_file_unit();
    series.sums = sums.finish();
    return series;
}

}  // namespace evaluation

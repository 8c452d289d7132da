#include "evaluation/measurement_loader.hpp"

#include <atomic>
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

    // Records [0, i + 1) are final.
    void record_done(std::size_t i) {
        if ((i + 1) % kPublishEvery == 0 && helper_.joinable()) {
            publish(i + 1);
        }
    }

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
    static constexpr std::size_t kPublishEvery = 4096;

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
    QuadReal ignored = numeric::kPositiveZero;
    const auto kraft = series.kraft.elements();
    const auto weg = series.weg.elements();
    SumsAlongside sums(kraft, weg);
    for (std::size_t i = 0; i < kraft.size(); ++i) {
        QuadReal* const items[] = {&ignored, &kraft[i], &weg[i]};
        recio::read_values(file, items, recio::EndExit::absent);
        sums.record_done(i);
    }
    recio::close_file_unit();
    series.sums = sums.finish();
    return series;
}

}  // namespace evaluation

#include "evaluation/plot_writer.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <new>
#include <thread>

#include "edited/edit_format.hpp"
#include "evaluation/helper_thread.hpp"
#include "evaluation/modulus.hpp"
#include "numeric/arithmetic.hpp"
#include "numeric/constants.hpp"
#include "units/units.hpp"

namespace evaluation {
namespace {

using numeric::QuadReal;

void prepare_row(std::span<const QuadReal> weg, QuadReal slope, std::size_t i,
                 recio::PreparedRecord& record) {
    const QuadReal row[] = {weg[i], numeric::multiply(slope, weg[i])};
    recio::prepare_edited_record(recio::edit_formats::kPlotRow, row, record);
}

// The rows of a long plot file are prepared (multiplied and formatted) on the
// second processor while this one hands the finished ones to the operating system,
// one write request each, in order: the writes are the part of the run that
// cannot be made shorter, and the preparation hides under them. A ring of
// prepared records lies between the two; each side tells the other how far it has
// come a batch at a time. With block buffering no write waits for the one before,
// so this processor prepares every other batch itself. The helper has every
// signal blocked, touches nothing but the series and the ring, and a failing
// write ends the process as before. The pipeline, ring and all, lives on the
// heap: the run's stack may be small.
class RowPipeline {
public:
    RowPipeline(std::span<const QuadReal> weg, QuadReal slope, std::size_t rows, bool write_per_row)
        : weg_(weg), slope_(slope), rows_(rows), shared_(!write_per_row) {
        // Without a helper, the rows are prepared as they are written.
        helper_ = start_helper_thread([this, write_per_row] {
            if (write_per_row) {
                leave_descriptor_table();
            }
            prepare_all();
        });
    }
    RowPipeline(const RowPipeline&) = delete;
    RowPipeline& operator=(const RowPipeline&) = delete;
    ~RowPipeline() {
        if (helper_.joinable()) {
            // A writer that left early (an in-process end of the run unwinds
            // through here) frees the whole ring, so the helper never waits for
            // it and finishes its bounded work.
            written_.store(rows_, std::memory_order_release);
            written_.notify_one();
            helper_.join();
        }
    }

    void write_all(recio::UnitConnection& file) {
        std::size_t ready = 0;
        for (std::size_t i = 0; i < rows_; ++i) {
            recio::PreparedRecord& record = ring_[i % kRing];
            if (!helper_.joinable() || ours(i)) {
                prepare_row(weg_, slope_, i, record);
            } else {
                while (ready <= i) {
                    ready = prepared_.load(std::memory_order_acquire);
                    if (ready <= i) {
                        prepared_.wait(ready, std::memory_order_acquire);
                    }
                }
            }
            recio::write_prepared_record(file, record);
            if ((i + 1) % kBatch == 0) {
                written_.store(i + 1, std::memory_order_release);
                written_.notify_one();
            }
        }
    }

private:
    static constexpr std::size_t kRing = 4096;
    static constexpr std::size_t kBatch = 1024;

    // While two threads share one table of file descriptors, every write request
    // of this one takes and drops a reference to the file, and while a second
    // descriptor refers to plot.dat, its position lock too. With one write per
    // row, where that adds up, the helper takes a private copy of the table and
    // closes the files in it, keeping standard input, output and error (should it
    // ever report a fault itself); nothing of the units is pending then. Where the
    // system cannot do that, the writes merely stay a little slower.
    static void leave_descriptor_table() { ::close_range(3, ~0U, CLOSE_RANGE_UNSHARE); }

    // The rows this thread prepares itself: every other batch, when the rows are
    // shared.
    bool ours(std::size_t i) const { return shared_ && (i / kBatch) % 2 == 1; }

    void prepare_all() {
        std::size_t free_up_to = kRing;
        for (std::size_t i = 0; i < rows_; ++i) {
            if (ours(i)) {
                i += kBatch - 1 - i % kBatch;  // on to the next batch
                continue;
            }
            while (i >= free_up_to) {
                const std::size_t written = written_.load(std::memory_order_acquire);
                free_up_to = written + kRing;
                if (i >= free_up_to) {
                    written_.wait(written, std::memory_order_acquire);
                }
            }
            prepare_row(weg_, slope_, i, ring_[i % kRing]);
            if ((i + 1) % kBatch == 0 || i + 1 == rows_) {
                prepared_.store(i + 1, std::memory_order_release);
                prepared_.notify_one();
            }
        }
    }

    std::span<const QuadReal> weg_;
    QuadReal slope_;
    std::size_t rows_;
    bool shared_;
    std::array<recio::PreparedRecord, kRing> ring_{};
    std::atomic<std::size_t> prepared_{0};
    std::atomic<std::size_t> written_{0};
    std::thread helper_;
};

// Below this many rows a helper costs more than it saves.
constexpr std::size_t kPipelinedRows = 4096;

}  // namespace

void write_plot_file(std::span<const QuadReal> weg, QuadReal stiffness_factor, QuadReal modulus,
                     RunPaths paths) {
    recio::UnitConnection& file = recio::open_file_unit("plot.dat");
    const QuadReal origin[] = {numeric::kPositiveZero, numeric::kPositiveZero};
    recio::write_edited(file, recio::edit_formats::kPlotHeader, origin);
    // Every row would compute the same rounded product K * E from the same
    // operands, so it is formed once.
    const QuadReal slope = fitted_slope(ModulusResult{stiffness_factor, modulus});
    // n/2 + 1 rows, but never beyond the series: an empty one has no row to give.
    const std::size_t rows = std::min(weg.size() / 2 + 1, weg.size());
    std::unique_ptr<RowPipeline> pipeline;
    if (paths == RunPaths::fast && rows >= kPipelinedRows) {
        pipeline.reset(new (std::nothrow) RowPipeline(weg, slope, rows, !file.block_buffering));
    }
    if (pipeline) {
        pipeline->write_all(file);
    } else {
        recio::PreparedRecord record;
        for (std::size_t i = 0; i < rows; ++i) {
            prepare_row(weg, slope, i, record);
            recio::write_prepared_record(file, record);
        }
    }
    recio::close_file_unit();
}

}  // namespace evaluation

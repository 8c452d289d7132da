#include "evaluation/plain_pass.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

#include "evaluation/helper_thread.hpp"
#include "evaluation/series_allocation.hpp"
#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"
#include "reader/plain_number.hpp"
#include "units/record_input.hpp"

namespace evaluation {
namespace {

using numeric::QuadReal;
using recio::PlainRowsTaken;

// What a stretch holds at least: a mebibyte is a few hundred hand-overs for a
// file of ten million records, and little memory.
constexpr std::size_t kStretch = std::size_t{1} << 20;
// Below this many bytes of whole records, one thread parses them alone.
constexpr std::size_t kSharedFrom = std::size_t{128} << 10;
// This thread's share of a stretch, in sixteenths: it also reads the file and
// digests it, while the sums take their share of the other processor.
constexpr std::size_t kOwnShare = 10;
// Rows whose pages are prepared at a time, just before they are filled.
constexpr std::size_t kPageRows = 4096;

// The first two columns of a record are read (the first checked, not kept), the
// force and the displacement kept.
struct Columns {
    ForceSlots* forces;
    std::span<QuadReal> weg;

    // Rows of plain numbers in [begin, end) from record `first` on, at most
    // `rows`, each batch's pages prepared before it is filled.
    PlainRowsTaken take(const char* begin, const char* end, std::size_t first,
                        std::size_t rows) const {
        PlainRowsTaken taken{0, begin};
        while (taken.rows < rows) {
            const std::size_t row = first + taken.rows;
            const std::size_t batch =
                std::min({kPageRows, rows - taken.rows, forces->in_a_row(row)});
            if (!forces->ring()) {
                recio::prepare_pages(forces->run(row, batch));
            }
            recio::prepare_pages(weg.subspan(row, batch));
            const recio::ItemColumn columns[] = {
                {nullptr, 0}, {forces->slot(row), 1}, {&weg[row], 1}};
            const PlainRowsTaken more = recio::take_plain_rows(taken.stop, end, columns, 0, batch);
            taken = {taken.rows + more.rows, more.stop};
            if (more.rows < batch) {
                break;
            }
        }
        return taken;
    }

    // Records [first, first + count) back to +0, as far as the arrays go. A ring
    // is left as it is: its slots of records not final are never read.
    void clear(std::size_t first, std::size_t count) const {
        const std::size_t end = std::min(weg.size(), first + count);
        if (first < end) {
            if (!forces->ring()) {
                std::fill_n(forces->slot(first), end - first, numeric::kPositiveZero);
            }
            std::fill(weg.begin() + first, weg.begin() + end, numeric::kPositiveZero);
        }
    }
};

// The helper's half of each stretch, handed over and back through two counts.
// The helper has every signal blocked and touches only its stretch of the
// buffer and its rows of the arrays; when a failure ends the process while it
// parses, it goes with the process.
class SecondParser {
public:
    explicit SecondParser(const Columns& columns) : columns_(columns) {
        helper_ = start_helper_thread([this] { serve(); });
    }
    SecondParser(const SecondParser&) = delete;
    SecondParser& operator=(const SecondParser&) = delete;
    ~SecondParser() {
        if (helper_.joinable()) {
            stopping_ = true;
            handed_over_.fetch_add(1, std::memory_order_release);
            handed_over_.notify_one();
            helper_.join();
        }
    }

    bool running() const { return helper_.joinable(); }

    void hand_over(const char* begin, const char* end, std::size_t first, std::size_t rows) {
        part_ = {begin, end, first, rows};
        handed_over_.fetch_add(1, std::memory_order_release);
        handed_over_.notify_one();
    }

    PlainRowsTaken take_back() {
        const std::uint32_t expected = handed_over_.load(std::memory_order_relaxed);
        for (std::uint32_t done; (done = taken_back_.load(std::memory_order_acquire)) != expected;) {
            taken_back_.wait(done, std::memory_order_acquire);
        }
        return taken_;
    }

private:
    struct Part {
        const char* begin = nullptr;
        const char* end = nullptr;
        std::size_t first = 0;
        std::size_t rows = 0;
    };

    void serve() {
        for (std::uint32_t served = 0;;) {
            handed_over_.wait(served, std::memory_order_acquire);
            served = handed_over_.load(std::memory_order_acquire);
            if (stopping_) {
                return;
            }
            taken_ = columns_.take(part_.begin, part_.end, part_.first, part_.rows);
            taken_back_.store(served, std::memory_order_release);
            taken_back_.notify_one();
        }
    }

    Columns columns_;
    Part part_;               // written before a hand-over, read after it
    PlainRowsTaken taken_{};  // written before a taking back, read after it
    bool stopping_ = false;
    std::atomic<std::uint32_t> handed_over_{0};
    std::atomic<std::uint32_t> taken_back_{0};
    std::thread helper_;
};

// Where the helper's share begins: behind the line feed at or after `at`.
const char* split_at_line_feed(const char* at, const char* end) {
    const void* line_feed = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
    return line_feed == nullptr ? end : static_cast<const char*>(line_feed) + 1;
}

// Behind the `records`-th line feed from `begin`, or `end` where there are fewer.
const char* behind_line_feeds(const char* begin, const char* end, std::size_t records) {
    constexpr std::ptrdiff_t kBlock = 4096;
    for (std::size_t in_block; end - begin > kBlock; begin += kBlock, records -= in_block) {
        in_block = recio::count_line_feeds(begin, begin + kBlock);
        if (in_block >= records) {
            break;
        }
    }
    for (; records > 0; --records) {
        const void* line_feed = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
        if (line_feed == nullptr) {
            return end;
        }
        begin = static_cast<const char*>(line_feed) + 1;
    }
    return begin;
}

}  // namespace

std::size_t load_plain_records(recio::UnitConnection& file, ForceSlots& forces,
                               std::span<QuadReal> weg,
                               const std::function<void(std::size_t)>& records_done) {
    const Columns columns{&forces, weg};
    const std::size_t capacity = weg.size();
    std::optional<SecondParser> second;
    if (capacity >= kSharedFrom / 32) {
        second.emplace(columns);
    }
    recio::InputState& input = file.input;
    std::size_t loaded = 0;
    while (loaded < capacity) {
        // Every record before `loaded` is reported final, so a ring frees up.
        const std::size_t rows = std::min(capacity - loaded, forces.room(loaded));
        recio::read_ahead(file, kStretch);
        const char* const begin = input.bytes.data() + input.consumed;
        const auto held = input.filled - input.consumed;
        const void* last_line_feed = held == 0 ? nullptr : ::memrchr(begin, '\n', held);
        if (last_line_feed == nullptr) {
            // No whole record held: the last one, without a line feed, or one
            // longer than a stretch, which the reader reads on for.
            const recio::ItemColumn one[] = {
                {nullptr, 0}, {forces.slot(loaded), 1}, {&weg[loaded], 1}};
            if (held == 0 || recio::read_plain_rows(file, one, 1) == 0) {
                break;
            }
            records_done(++loaded);
            continue;
        }
        const char* end = static_cast<const char*>(last_line_feed) + 1;
        if (static_cast<std::size_t>(end - begin) / kShortestPlainRecord > rows) {
            // A ring may have room for fewer records than the stretch holds: the
            // stretch then ends behind the last one there is room for, so that
            // both threads still share it.
            end = behind_line_feeds(begin, end, rows);
        }
        const char* split = end;
        std::size_t own_rows = 0;
        if (second && second->running() && static_cast<std::size_t>(end - begin) >= kSharedFrom) {
            split = split_at_line_feed(begin + (end - begin) * kOwnShare / 16, end);
            own_rows = recio::count_line_feeds(begin, split);
        }
        PlainRowsTaken taken{};
        bool stopped = false;  // at a record of another kind
        if (split < end && own_rows < rows) {
            second->hand_over(split, end, loaded + own_rows, rows - own_rows);
            const PlainRowsTaken own = columns.take(begin, split, loaded, own_rows);
            const PlainRowsTaken theirs = second->take_back();
            if (own.rows < own_rows) {
                // The record of another kind lies in this thread's share: nothing
                // of the helper's counts, and the elements it filled are +0 again.
                columns.clear(loaded + own_rows, theirs.rows + 1);
                taken = own;
                stopped = true;
            } else {
                taken = {own_rows + theirs.rows, theirs.stop};
                stopped = theirs.stop != end && theirs.rows < rows - own_rows;
            }
        } else {
            taken = columns.take(begin, end, loaded, rows);
            stopped = taken.stop != end && taken.rows < rows;
        }
        loaded += taken.rows;
        input.consumed = static_cast<std::size_t>(taken.stop - input.bytes.data());
        records_done(loaded);
        if (stopped) {
            break;
        }
    }
    return loaded;
}

}  // namespace evaluation

#pragma once
// The second processor's share of a run: page preparation, the sums during the
// loading pass, the plot rows ahead of their writes.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

namespace evaluation {

// Starts `work` on a helper thread with every signal blocked, so that signals and
// their diagnostics stay with the run's own thread. A helper that cannot be
// started (no memory for its stack, a thread limit) gives an empty thread; the
// caller then does the work itself, as a run without helpers would.
template <typename Work>
std::thread start_helper_thread(Work&& work) {
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    std::thread helper;
    try {
        helper = std::thread(std::forward<Work>(work));
    } catch (const std::system_error&) {
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return helper;
}

// A count that the run's thread raises and a helper follows (records final, pages
// that may be prepared), with a mark on the last one.
class FollowedCount {
public:
    void raise(std::size_t count) { publish(count); }
    void raise_for_the_last_time(std::size_t count) { publish(count | kLast); }
    // The count reached is the last: the follower stops there.
    void stop() {
        value_.fetch_or(kLast, std::memory_order_release);
        value_.notify_one();
    }

    // Calls take(count) for the counts as they are raised (not necessarily every
    // one), until it has taken the last or take returns false.
    template <typename Take>
    void follow(Take&& take) {
        while (true) {
            const std::size_t seen = value_.load(std::memory_order_acquire);
            if (!take(seen & ~kLast) || (seen & kLast) != 0) {
                return;
            }
            value_.wait(seen, std::memory_order_acquire);
        }
    }

private:
    static constexpr std::size_t kLast = ~(SIZE_MAX >> 1);

    void publish(std::size_t value) {
        value_.store(value, std::memory_order_release);
        value_.notify_one();
    }

    std::atomic<std::size_t> value_{0};
};

}  // namespace evaluation

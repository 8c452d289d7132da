#pragma once
// The second processor's share of a run: page preparation, the sums during the
// loading pass, the plot rows ahead of their writes.

#include <pthread.h>
#include <signal.h>

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

}  // namespace evaluation

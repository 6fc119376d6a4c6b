#include "platform/stop_signals.h"

#include <atomic>
#include <csignal>

#include "platform/pending_file.h"

namespace sonivate::platform {
namespace {

// Lock-free atomics may be used from a signal handler.
std::atomic<bool> gStopRequested{false};
std::atomic<int> gSignalsSeen{0};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction gPreviousInt {};
struct sigaction gPreviousTerm {};

void OnStopSignal(int pSignal) {
    gStopRequested.store(true, std::memory_order_relaxed);
    if (gSignalsSeen.fetch_add(1, std::memory_order_relaxed) == 0) return;
    // The second signal: the operator wants out now. Only async-signal-safe
    // calls from here on.
    RemovePendingNamesFromSignalHandler();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(pSignal, &fallback, nullptr);
    // Blocked while this handler runs; delivered, with the default action,
    // as soon as it returns.
    raise(pSignal);
}

}  // namespace

StopOnSignals::StopOnSignals() {
    gStopRequested.store(false);
    gSignalsSeen.store(0);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking call returns EINTR and the caller gives up.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, &gPreviousInt);
    sigaction(SIGTERM, &action, &gPreviousTerm);
}

StopOnSignals::~StopOnSignals() {
    sigaction(SIGINT, &gPreviousInt, nullptr);
    sigaction(SIGTERM, &gPreviousTerm, nullptr);
}

void IgnoreFileSizeLimitSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

bool StopSignalled() { return gStopRequested.load(std::memory_order_relaxed); }

void SetStopSignalledForTesting(bool pStop) { gStopRequested.store(pStop); }

}  // namespace sonivate::platform

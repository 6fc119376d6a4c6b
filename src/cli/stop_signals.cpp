#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace sonivate::cli {
namespace {

// A lock-free atomic may be stored to from a signal handler.
std::atomic<bool> gStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction gPreviousInt {};
struct sigaction gPreviousTerm {};

void RequestStop(int /*pSignal*/) { gStopRequested.store(true, std::memory_order_relaxed); }

}  // namespace

StopOnSignals::StopOnSignals() {
    gStopRequested.store(false);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &gPreviousInt);
    sigaction(SIGTERM, &action, &gPreviousTerm);
}

StopOnSignals::~StopOnSignals() {
    sigaction(SIGINT, &gPreviousInt, nullptr);
    sigaction(SIGTERM, &gPreviousTerm, nullptr);
}

bool StopSignalled() { return gStopRequested.load(std::memory_order_relaxed); }

}  // namespace sonivate::cli

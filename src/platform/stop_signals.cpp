#include "platform/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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
// The notifying kind's pipe: [0] read by the event loop, [1] written by the handler.
int gNotifyPipe[2] = {-1, -1};
std::atomic<bool> gNotify{false};

void OnStopSignal(int pSignal) {
    gStopRequested.store(true, std::memory_order_relaxed);
    if (gNotify.load(std::memory_order_relaxed)) {
        const int saved = errno;
        const auto number = static_cast<unsigned char>(pSignal);
        [[maybe_unused]] const ssize_t written = ::write(gNotifyPipe[1], &number, 1);
        errno = saved;
        return;
    }
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

StopOnSignals::StopOnSignals(StopSignalMode pMode) {
    gStopRequested.store(false);
    gSignalsSeen.store(0);
    const bool notify = pMode == StopSignalMode::Notify && ::pipe2(gNotifyPipe, O_CLOEXEC | O_NONBLOCK) == 0;
    gNotify.store(notify);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART for the command line: a blocking call returns EINTR and
    // the caller gives up. An event loop wants its calls restarted.
    action.sa_flags = notify ? SA_RESTART : 0;
    sigaction(SIGINT, &action, &gPreviousInt);
    sigaction(SIGTERM, &action, &gPreviousTerm);
}

StopOnSignals::~StopOnSignals() {
    sigaction(SIGINT, &gPreviousInt, nullptr);
    sigaction(SIGTERM, &gPreviousTerm, nullptr);
    if (gNotify.exchange(false)) {
        for (int& fd : gNotifyPipe) {
            ::close(fd);
            fd = -1;
        }
    }
}

int StopSignalNotifier() { return gNotify.load() ? gNotifyPipe[0] : -1; }

std::vector<int> TakeStopSignals() {
    std::vector<int> signals;
    if (!gNotify.load()) return signals;
    unsigned char number = 0;
    while (::read(gNotifyPipe[0], &number, 1) == 1) signals.push_back(number);
    return signals;
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

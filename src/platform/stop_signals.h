#pragma once
// SIGINT and SIGTERM as a stop request shared by every face of the tool.
// The first signal only sets a flag: the running job sees it at its next
// progress event, and any blocking call that the signal interrupts (EINTR)
// gives up instead of retrying. A second signal ends the process at once,
// after removing the hidden names of copies that were not yet published, so
// that no partial file stays behind under any name.
//
// An event loop (the window) asks for the notifying kind instead: every
// signal sets the flag and writes its number to a pipe the loop watches
// (StopSignalNotifier); nothing ends the process, the loop decides. This is
// the one signal mechanism of both programs.

#include <vector>

namespace sonivate::platform {

enum class StopSignalMode {
    SecondEnds,  // the command line: a second signal ends the process at once
    Notify,      // an event loop: each signal is reported through the pipe
};

class StopOnSignals {
public:
    // Clears any earlier request and installs the handlers (one object per
    // process at a time).
    explicit StopOnSignals(StopSignalMode pMode = StopSignalMode::SecondEnds);
    // Puts the previous handlers back.
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

// With StopSignalMode::Notify: the descriptor that becomes readable when a
// signal arrived, -1 otherwise.
int StopSignalNotifier();
// The signals (SIGINT, SIGTERM) that arrived since the last call, in order;
// never blocks.
std::vector<int> TakeStopSignals();

// True once a signal asked for a stop. Safe from any thread and from a
// signal handler.
bool StopSignalled();

// Ignores SIGXFSZ for the whole process, so that a write past the file-size
// limit (ulimit -f) fails with EFBIG instead of ending the process: the copy
// fails with its reason and the batch goes on. Called once from main.
void IgnoreFileSizeLimitSignal();

// Test seam: sets or clears the request as a signal would.
void SetStopSignalledForTesting(bool pStop);

}  // namespace sonivate::platform

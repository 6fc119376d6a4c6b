#pragma once
// SIGINT and SIGTERM as a stop request shared by every face of the tool.
// The first signal only sets a flag: the running job sees it at its next
// progress event, and any blocking call that the signal interrupts (EINTR)
// gives up instead of retrying. A second signal ends the process at once,
// after removing the hidden names of copies that were not yet published, so
// that no partial file stays behind under any name.

namespace sonivate::platform {

class StopOnSignals {
public:
    // Clears any earlier request and installs the handlers.
    StopOnSignals();
    // Puts the previous handlers back.
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

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

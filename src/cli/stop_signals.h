#pragma once
// Ctrl-C (SIGINT) and SIGTERM as a stop request: the running job sees it at
// its next progress event, removes what it had half written and ends with
// status 130. A second signal ends the process at once the usual way.

namespace sonivate::cli {

class StopOnSignals {
public:
    // Clears any earlier request and installs the handlers.
    StopOnSignals();
    // Puts the previous handlers back.
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

// True once a signal asked for a stop. Safe from any thread.
bool StopSignalled();

}  // namespace sonivate::cli

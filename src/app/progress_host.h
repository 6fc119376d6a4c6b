#pragma once
// What the batch runs need from whoever shows them: the window (status line,
// progress bar, stop button) or the command line.

#include <cstdint>
#include <string>

#include "platform/event_pump.h"

namespace sonivate {

// Full scale of the progress display.
inline constexpr std::int32_t kProgressScale = 1000;

class ProgressHost {
public:
    virtual ~ProgressHost() = default;
    // One line of status for the operator ("<title> 計測処理…" and the like).
    virtual void ShowStatus(const std::string& pText) = 0;
    // Progress of the current file, 0 to kProgressScale.
    virtual void SetProgress(std::int32_t pValue) = 0;
    // True once the operator asked the run to stop. May be read from any thread.
    virtual bool StopRequested() const = 0;
    // The pump of the thread the run's work runs on: the window's own on its
    // thread, one without events (the default) anywhere else.
    virtual platform::EventPump& RunPump() { return platform::HeadlessPump(); }
};

// The progress handler shared by the meter's and the writer's events: lets
// the window breathe for 5 ms, shows pRate (0..1) on the 0..1000 scale
// (halves to even) and answers pCancel with the stop request.
void HandleProgress(ProgressHost& pHost, float pRate, std::int32_t& pCancel);

}  // namespace sonivate

#pragma once
// Ctrl-C (SIGINT) and SIGTERM as a stop request: the running job sees it at
// its next progress event, removes what it had half written and ends with
// status 130. A second signal ends the process at once, leaving no partial
// file under any name.

#include "platform/stop_signals.h"

namespace sonivate::cli {

using platform::StopOnSignals;
using platform::StopSignalled;

}  // namespace sonivate::cli

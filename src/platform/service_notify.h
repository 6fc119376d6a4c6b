#pragma once
// What a service tells the service manager (systemd) and its journal:
// readiness, the watchdog's keep-alive and a status line through sd_notify,
// and whether standard error is the journal, so that each log line can carry
// a priority journald understands. Outside a unit every call does nothing.

#include <cstdint>
#include <string>

namespace sonivate::platform {

void NotifyReady();
void NotifyStopping();
// The one line "systemctl status" shows.
void NotifyStatus(const std::string& pText);
void NotifyWatchdog();
// The keep-alive interval the unit's WatchdogSec= asks for, ns (half the
// watchdog's time); 0 when there is no watchdog.
std::int64_t WatchdogKeepAliveNs();

// True when pJournalStream (the value of JOURNAL_STREAM, "<device>:<inode>")
// names the file pDevice, pInode.
bool JournalStreamNames(const char* pJournalStream, std::uint64_t pDevice, std::uint64_t pInode);
// True when standard error is the journal's stream (systemd sets
// JOURNAL_STREAM to its device and inode; a redirected stderr no longer
// matches).
bool StderrIsJournal();

// The sd-daemon priority prefixes of a log line.
constexpr const char* kPriorityError = "<3>";
constexpr const char* kPriorityWarning = "<4>";
constexpr const char* kPriorityInfo = "<6>";

}  // namespace sonivate::platform

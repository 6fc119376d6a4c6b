#include "platform/service_notify.h"

#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace sonivate::platform {
namespace {
constexpr std::int64_t kNsPerUs = 1000;
// The keep-alive is sent at this fraction of the watchdog's time.
constexpr std::int64_t kKeepAliveDivisor = 2;
}  // namespace

void NotifyReady() { sd_notify(0, "READY=1"); }

void NotifyStopping() { sd_notify(0, "STOPPING=1"); }

void NotifyStatus(const std::string& pText) {
    std::string line = "STATUS=" + pText;
    for (char& c : line)
        if (c == '\n') c = ' ';
    sd_notify(0, line.c_str());
}

void NotifyWatchdog() { sd_notify(0, "WATCHDOG=1"); }

std::int64_t WatchdogKeepAliveNs() {
    std::uint64_t us = 0;
    if (sd_watchdog_enabled(0, &us) <= 0) return 0;
    return static_cast<std::int64_t>(us) * kNsPerUs / kKeepAliveDivisor;
}

bool JournalStreamNames(const char* pJournalStream, std::uint64_t pDevice, std::uint64_t pInode) {
    if (pJournalStream == nullptr) return false;
    const std::string value = pJournalStream;
    const size_t colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= value.size()) return false;
    const std::string device = value.substr(0, colon), inode = value.substr(colon + 1);
    if (device.find_first_not_of("0123456789") != std::string::npos ||
        inode.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return std::strtoull(device.c_str(), nullptr, 10) == pDevice && std::strtoull(inode.c_str(), nullptr, 10) == pInode;
}

bool StderrIsJournal() {
    struct stat status {};
    if (::fstat(STDERR_FILENO, &status) != 0) return false;
    return JournalStreamNames(std::getenv("JOURNAL_STREAM"), status.st_dev, status.st_ino);
}

}  // namespace sonivate::platform

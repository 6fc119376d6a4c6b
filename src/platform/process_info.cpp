#include "platform/process_info.h"

#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace sonivate::platform {

namespace {
// Room for a host name and its terminating NUL (HOST_NAME_MAX is 64 on Linux).
constexpr size_t kHostNameBytes = 256;
// getpwuid_r's buffer when the system names no size.
constexpr long kPasswordBufferBytes = 16384;
}  // namespace

std::string ExecutableFolder() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
    path.resize(static_cast<size_t>(n));
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash);
}

std::vector<std::string> ProcessArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        args.emplace_back(all.substr(start, end - start));
        start = end + 1;
    }
    if (!args.empty()) args.erase(args.begin());
    return args;
}

std::int64_t ProcessId() { return static_cast<std::int64_t>(::getpid()); }

std::string HostName() {
    char name[kHostNameBytes] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string LoginFullName() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = kPasswordBufferBytes;
    std::vector<char> buffer(static_cast<size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
    // The GECOS field: "Full Name,room,work phone,home phone,other".
    std::string name = found->pw_gecos != nullptr ? found->pw_gecos : "";
    name = name.substr(0, name.find(','));
    if (name.empty() && found->pw_name != nullptr) name = found->pw_name;
    return name;
}

}  // namespace sonivate::platform

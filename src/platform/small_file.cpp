#include "platform/small_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sonivate::platform {
namespace {

constexpr mode_t kNewFileMode = 0666;
// Like mkdir -p: the umask decides what others may do.
constexpr mode_t kNewFolderMode = 0777;

bool WriteAll(int pFd, const std::string& pContent) {
    const char* data = pContent.data();
    std::size_t left = pContent.size();
    while (left > 0) {
        const ssize_t n = ::write(pFd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The path a write must replace: the final target of a symbolic link.
std::string ResolveTarget(const std::string& pPath) {
    char resolved[PATH_MAX];
    struct stat st {};
    if (::lstat(pPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(pPath.c_str(), resolved) != nullptr)
        return resolved;
    return pPath;
}

}  // namespace

ReadResult ReadSmallFile(const std::string& pPath, std::int64_t pMaxBytes, std::string& pContent) {
    pContent.clear();
    const int fd = ::open(pPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    // Read one byte past the limit so that a file that grew since fstat is still caught.
    std::vector<char> buffer(64 * 1024);
    ReadResult result = ReadResult::Ok;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            result = ReadResult::Failed;
            break;
        }
        if (n == 0) break;
        pContent.append(buffer.data(), static_cast<std::size_t>(n));
        if (pMaxBytes >= 0 && static_cast<std::int64_t>(pContent.size()) > pMaxBytes) {
            result = ReadResult::TooLarge;
            break;
        }
    }
    ::close(fd);
    if (result != ReadResult::Ok) pContent.clear();
    return result;
}

bool ReplaceFileAtomically(const std::string& pPath, const std::string& pContent) {
    const std::string target = ResolveTarget(pPath);
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    struct stat st {};
    const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : (kNewFileMode & ~CurrentUmask());
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, pContent) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool MakeFolders(const std::string& pFolder) {
    if (pFolder.empty()) return false;
    struct stat st {};
    for (std::size_t pos = 1; pos <= pFolder.size(); ++pos) {
        if (pos != pFolder.size() && pFolder[pos] != '/') continue;
        const std::string part = pFolder.substr(0, pos);
        if (::stat(part.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return false;
            continue;
        }
        if (::mkdir(part.c_str(), kNewFolderMode) != 0 && errno != EEXIST) return false;
    }
    return ::stat(pFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace sonivate::platform

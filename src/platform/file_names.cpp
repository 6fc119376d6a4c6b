#include "platform/file_names.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace sonivate::platform {

NameKind KindOfName(const std::string& pPath, bool pFollowLinks) {
    struct stat st {};
    const int status = pFollowLinks ? ::stat(pPath.c_str(), &st) : ::lstat(pPath.c_str(), &st);
    if (status != 0) return NameKind::Missing;
    if (S_ISDIR(st.st_mode)) return NameKind::Folder;
    if (S_ISREG(st.st_mode)) return NameKind::Regular;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return NameKind::Device;
    return NameKind::Other;
}

bool RemoveName(const std::string& pPath) { return ::unlink(pPath.c_str()) == 0; }

bool RenameReplacing(const std::string& pFrom, const std::string& pTo) {
    return ::rename(pFrom.c_str(), pTo.c_str()) == 0;
}

bool RenameNoReplace(const std::string& pFrom, const std::string& pTo) {
    if (::renameat2(AT_FDCWD, pFrom.c_str(), AT_FDCWD, pTo.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link refuses an existing target
    // just as atomically; the old name goes once the new one stands.
    if (::link(pFrom.c_str(), pTo.c_str()) != 0) return false;
    ::unlink(pFrom.c_str());
    return true;
}

std::string WorkingFolder() {
    // getcwd refuses (ERANGE, ENAMETOOLONG) a working folder deeper than
    // the buffer, which is PATH_MAX: such a folder cannot be named.
    std::string cwd(PATH_MAX, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return {};
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    if (cwd.empty() || cwd.front() != '/') return {};  // "(unreachable)/..."
    return cwd;
}

std::string ResolvedPath(const std::string& pPath) {
    char* resolved = ::realpath(pPath.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string path(resolved);
    std::free(resolved);
    return path;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int DuplicateDescriptor(int pFd) { return ::fcntl(pFd, F_DUPFD_CLOEXEC, 0); }

bool ChangeWorkingFolder(const std::string& pFolder) { return ::chdir(pFolder.c_str()) == 0; }

}  // namespace sonivate::platform

#include "platform/folder_entries.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace sonivate::platform {

bool FolderEntries(const std::string& pFolder, std::vector<std::string>& pNames) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(pFolder.c_str()), ::closedir);
    if (!dir) return false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) return errno == 0;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        pNames.emplace_back(entry->d_name);
    }
}

}  // namespace sonivate::platform

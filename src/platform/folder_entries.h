#pragma once
// The names in a folder, as the file system lists them.

#include <string>
#include <vector>

namespace sonivate::platform {

// The entry names of pFolder (no "." and ".."), in the order the file
// system returns them. False when the folder cannot be opened or read.
bool FolderEntries(const std::string& pFolder, std::vector<std::string>& pNames);

}  // namespace sonivate::platform

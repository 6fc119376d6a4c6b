#pragma once
// What the path utilities ask of the file system about names: whether and
// what a name is, removing and renaming names, the working folder, and
// whether a stream is a terminal. Results are values; nothing throws.

#include <string>

namespace sonivate::platform {

// What a name refers to. pFollowLinks false examines a link itself.
enum class NameKind { Missing, Folder, Regular, Device, Other };
NameKind KindOfName(const std::string& pPath, bool pFollowLinks);

// Removes the name (never a folder); true when it is gone by this call.
bool RemoveName(const std::string& pPath);
// Gives pFrom the name pTo, replacing whatever file stood there.
bool RenameReplacing(const std::string& pFrom, const std::string& pTo);
// Gives pFrom the name pTo only while pTo is free (no file is ever replaced).
bool RenameNoReplace(const std::string& pFrom, const std::string& pTo);
// The working folder, absolute; "" when it cannot be named (deleted, or
// deeper than PATH_MAX).
std::string WorkingFolder();
// pPath with every link, "." and ".." resolved; "" when it does not exist.
std::string ResolvedPath(const std::string& pPath);
// The standard error stream is a terminal (a person is watching).
bool StandardErrorIsTerminal();
// A second descriptor of the open file pFd (its own close, the same file
// position), or -1 with errno set.
int DuplicateDescriptor(int pFd);
// Changes the working folder; true on success.
bool ChangeWorkingFolder(const std::string& pFolder);

}  // namespace sonivate::platform

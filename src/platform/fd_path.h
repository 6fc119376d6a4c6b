#pragma once
// A name for an open descriptor, for code that can only open files by name
// (the loudness meter) and must read a file that has none yet: a pending
// copy before it is published.

#include <string>

namespace sonivate::platform {

// The path under which the process reaches the file open as pFd
// ("/proc/self/fd/<pFd>" on Linux). Opening it opens that file anew, with
// its own file position, even when the file has no name in any folder.
// Empty for a negative descriptor.
std::string DescriptorPath(int pFd);

}  // namespace sonivate::platform

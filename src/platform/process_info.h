#pragma once

#include <string>
#include <vector>

namespace sonivate::platform {

// Folder of the running executable, without a trailing separator; empty
// when it cannot be determined.
std::string ExecutableFolder();

// The process's arguments after the program name, as the kernel holds them.
std::vector<std::string> ProcessArguments();

// This machine's host name; "" when it cannot be read.
std::string HostName();

}  // namespace sonivate::platform

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonivate::platform {

// Folder of the running executable, without a trailing separator; empty
// when it cannot be determined.
std::string ExecutableFolder();

// The process's arguments after the program name, as the kernel holds them.
std::vector<std::string> ProcessArguments();

// This process's id.
std::int64_t ProcessId();

// This machine's host name; "" when it cannot be read.
std::string HostName();

// The full name of the login running the process (the account's GECOS
// name), else its login name; "" when neither can be read.
std::string LoginFullName();

}  // namespace sonivate::platform

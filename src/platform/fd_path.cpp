#include "platform/fd_path.h"

namespace sonivate::platform {
namespace {

// Where Linux lists the calling process's open descriptors.
constexpr const char* kOwnDescriptors = "/proc/self/fd/";

}  // namespace

std::string DescriptorPath(int pFd) {
    if (pFd < 0) return {};
    return kOwnDescriptors + std::to_string(pFd);
}

}  // namespace sonivate::platform

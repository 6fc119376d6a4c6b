#include "common/paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "common/error_trap.h"
#include "common/formatting.h"
#include "platform/file_names.h"
#include "platform/process_info.h"

namespace sonivate {
namespace {

constexpr int kRenameAttempts = 10;
constexpr std::int32_t kRenameBackoffStepMs = 10;
constexpr const char* kDeviceFolder = "/dev/";

std::string ToCase(std::string pText, std::int32_t pCase) {
    if (pCase == kLowerCase) return AsciiLower(std::move(pText));
    if (pCase == kUpperCase) return AsciiUpper(std::move(pText));
    return pText;
}

bool EqualsIgnoringCase(const std::string& pA, const std::string& pB) {
    return ToCase(pA, kLowerCase) == ToCase(pB, kLowerCase);
}

struct SplitPath {
    std::string folder, base, dot, extension;
};

SplitPath Split(const std::string& pPath) {
    SplitPath parts;
    std::string name = pPath;
    const auto slash = pPath.rfind(kPathSeparator);
    if (slash != std::string::npos) {
        parts.folder = pPath.substr(0, slash);
        name = pPath.substr(slash + 1);
    }
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        parts.base = name;
    } else {
        parts.base = name.substr(0, dot);
        parts.dot = ".";
        parts.extension = name.substr(dot + 1);
    }
    return parts;
}

// A counter written with at least pDigits digits.
std::string Numbered(std::int64_t pValue, std::int32_t pDigits) {
    std::string digits = std::to_string(pValue);
    if (pDigits > 0 && digits.size() < static_cast<size_t>(pDigits))
        digits.insert(0, static_cast<size_t>(pDigits) - digits.size(), '0');
    return digits;
}

}  // namespace

std::int32_t FileExists(const std::string& pPath) {
    return AlwaysTrapped<std::int32_t>(0, [&] {
        const std::string path = TrimSpaces(pPath);
        if (path.empty()) return 0;
        const platform::NameKind kind = platform::KindOfName(path, true);
        return kind != platform::NameKind::Missing && kind != platform::NameKind::Folder ? 1 : 0;
    });
}

std::int32_t FolderExists(const std::string& pPath) {
    return AlwaysTrapped<std::int32_t>(0, [&] {
        if (pPath.empty()) return 0;
        std::string path = SetTrailingSeparator(pPath, 1);
        if (path.empty() && TrimSpaces(pPath) == "/") path = "/";
        return !path.empty() && platform::KindOfName(path, true) == platform::NameKind::Folder ? 1 : 0;
    });
}

std::int32_t IsReservedDeviceName(const std::string& pPath) {
    return AlwaysTrapped<std::int32_t>(0, [&] {
        if (pPath.rfind(kDeviceFolder, 0) == 0) return 1;
        return platform::KindOfName(pPath, false) == platform::NameKind::Device ? 1 : 0;
    });
}

std::int32_t DeleteFileForced(const std::string& pPath) {
    return Trapped<std::int32_t>(0, [&] {
        if (platform::KindOfName(pPath, false) == platform::NameKind::Missing) return 1;
        if (IsReservedDeviceName(pPath) == 1) return 1;
        return platform::RemoveName(pPath) ? 1 : 0;
    });
}

std::int32_t RenameOnce(const std::string& pFrom, const std::string& pTo) {
    return AlwaysTrapped<std::int32_t>(0, [&] { return platform::RenameNoReplace(pFrom, pTo) ? 1 : 0; });
}

std::int32_t RenameFile(const std::string& pFrom, const std::string& pTo, std::int32_t pReplace,
                        platform::EventPump& pPump) {
    return AlwaysTrapped<std::int32_t>(0, [&] {
        if (IsReservedDeviceName(pFrom) == 1 || IsReservedDeviceName(pTo) == 1) return 0;
        for (int attempt = 1; attempt <= kRenameAttempts; ++attempt) {
            const bool done = pReplace != 0 ? platform::RenameReplacing(pFrom, pTo) : RenameOnce(pFrom, pTo) == 1;
            if (done) return 1;
            if (attempt < kRenameAttempts) platform::WaitWithMessages(pPump, attempt * kRenameBackoffStepMs, 0);
        }
        return 0;
    });
}

std::string AbsolutePath(const std::string& pPath) {
    return AlwaysTrapped<std::string>({}, [&]() -> std::string {
        if (!pPath.empty() && pPath.front() == kPathSeparator) return pPath;
        const std::string cwd = platform::WorkingFolder();
        if (cwd.empty()) return {};
        std::string absolute = SetTrailingSeparator(cwd, 0) + pPath;
        if (absolute.size() >= PATH_MAX) return {};
        return absolute;
    });
}

std::string AppFolder() {
    return Trapped<std::string>({}, [] { return SetTrailingSeparator(platform::ExecutableFolder(), 0); });
}

std::string SetTrailingSeparator(const std::string& pPath, std::int32_t pRemove) {
    return Trapped<std::string>({}, [&]() -> std::string {
        if (TrimSpaces(pPath).empty()) return {};
        const bool endsWithSeparator = pPath.back() == kPathSeparator;
        if (pRemove != 0) return endsWithSeparator ? pPath.substr(0, pPath.size() - 1) : pPath;
        return endsWithSeparator ? pPath : pPath + kPathSeparator;
    });
}

std::string AddExtension(const std::string& pPath, const std::string& pExtension) {
    return Trapped<std::string>({}, [&]() -> std::string {
        std::string extension = TrimSpaces(pExtension);
        if (pPath.empty()) return {};
        if (extension.empty()) return pPath;
        if (extension.front() != '.') extension.insert(0, ".");
        if (pPath.size() >= extension.size() &&
            EqualsIgnoringCase(pPath.substr(pPath.size() - extension.size()), extension))
            return pPath;
        return pPath + ToCase(extension, kLowerCase);
    });
}

std::string PathPart(const std::string& pPath, bool pWantFolder, bool pAddSeparator, bool pWantBase, bool pWantDot,
                     bool pWantExtension, std::int32_t pCase) {
    return Trapped<std::string>({}, [&]() -> std::string {
        if (pPath.empty()) return {};
        const SplitPath parts = Split(pPath);
        std::string result;
        if (pWantFolder) result += parts.folder;
        if (pAddSeparator) result += kPathSeparator;
        if (pWantBase) result += parts.base;
        if (pWantDot) result += parts.dot;
        if (pWantExtension) result += parts.extension;
        return ToCase(result, pCase);
    });
}

std::string UniqueFileName(const std::string& pPath, bool pKeepFolder, bool pKeepExtension, std::int32_t pDigits,
                           bool pForce) {
    return Trapped<std::string>({}, [&]() -> std::string {
        if (!pForce && FileExists(pPath) == 0)
            return PathPart(pPath, pKeepFolder, pKeepFolder, true, pKeepExtension, pKeepExtension, kKeepCase);
        const SplitPath parts = Split(pPath);
        const std::string tail = parts.dot + parts.extension;
        std::int64_t n = 1;
        while (FileExists(parts.folder + kPathSeparator + parts.base + Numbered(n, pDigits) + tail) != 0) ++n;
        return (pKeepFolder ? parts.folder + kPathSeparator : std::string()) + parts.base + Numbered(n, pDigits) +
               (pKeepExtension ? tail : std::string());
    });
}

std::int32_t ParseCommandLine(std::vector<std::string>& pList, const std::string& pPrefix,
                              const std::string& pCommandLine) {
    return Trapped<std::int32_t>(0, [&] {
        std::string line = TrimSpaces(pCommandLine);
        if (line.empty()) {
            for (const std::string& arg : platform::ProcessArguments()) {
                if (!line.empty()) line += ' ';
                line += arg.find(' ') != std::string::npos ? '"' + arg + '"' : arg;
            }
            line = TrimSpaces(line);
        }
        std::vector<std::string> tokens(1);
        bool quoted = false;
        for (const char c : line) {
            if (c == '"') {
                if (quoted) tokens.emplace_back();
                quoted = !quoted;
            } else if (c == ' ' && !quoted) {
                tokens.emplace_back();
            } else {
                tokens.back() += c;
            }
        }
        std::int32_t added = 0;
        for (const std::string& token : tokens) {
            if (!pPrefix.empty()) {
                if (token.size() < pPrefix.size()) continue;
                if (token.rfind(pPrefix, 0) == 0) {
                    pList.push_back(token.substr(pPrefix.size()));
                    ++added;
                } else if (token.rfind("/" + pPrefix, 0) == 0) {
                    pList.push_back(token.substr(pPrefix.size() + 1));
                    ++added;
                }
            } else if (!token.empty() && token.front() == kPathSeparator) {
                // An absolute path, unless it is an option written "/Name=value".
                const auto nextSeparator = token.find(kPathSeparator, 1);
                const auto equals = token.find('=');
                if (equals != std::string::npos && equals < nextSeparator) continue;
                pList.push_back(token);
                ++added;
            }
        }
        return added;
    });
}

std::string CanonicalFolder(const std::string& pFolder) {
    const std::string canonical = platform::ResolvedPath(pFolder.empty() ? "." : pFolder);
    return canonical.empty() ? pFolder : canonical;
}

}  // namespace sonivate

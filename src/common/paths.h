#pragma once
// Path and file-system utilities. Paths are UTF-8 text with "/" as the
// separator. Yes/no and success results are 1 or 0.
//
// Windows rules mapped to POSIX:
// - a "reserved device name" is a path that names a device, FIFO or socket,
//   or lies under /dev: such paths are never deleted or renamed;
// - the read-only attribute has no bearing on deleting (the folder decides);
// - a "drive path" on the command line is an absolute path.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_pump.h"

namespace sonivate {

inline constexpr char kPathSeparator = '/';

// PathPart's case argument.
inline constexpr std::int32_t kKeepCase = 0;
inline constexpr std::int32_t kLowerCase = 1;
inline constexpr std::int32_t kUpperCase = 2;

// 1 when pPath names an existing file (not a folder); 0 for folders, missing,
// empty or all-space paths and any error. Never throws.
std::int32_t FileExists(const std::string& pPath);

// 1 when pPath, without a trailing separator, names an existing folder. Never throws.
std::int32_t FolderExists(const std::string& pPath);

// 1 when pPath names a device node, FIFO or socket, or lies under /dev. Never throws.
std::int32_t IsReservedDeviceName(const std::string& pPath);

// 1 when the file is gone afterwards or was never there; 0 when the delete failed.
std::int32_t DeleteFileForced(const std::string& pPath);

// Renames with up to ten attempts, waiting 10, 20, ... 90 ms between them
// (WaitWithMessages on pPump: the thread sleeps or handles events, it never
// spins). With pReplace an existing pTo is replaced atomically: at no moment
// is neither file under that name. 1 on success. Never throws.
std::int32_t RenameFile(const std::string& pFrom, const std::string& pTo, std::int32_t pReplace,
                        platform::EventPump& pPump = platform::HeadlessPump());

// One rename attempt that refuses an existing target. 1 on success. Never throws.
std::int32_t RenameOnce(const std::string& pFrom, const std::string& pTo);

// pPath made absolute against the working folder; "" when the working
// folder cannot be determined or the result would not fit in PATH_MAX (a
// path the system could not open). An absolute pPath is returned as it is.
std::string AbsolutePath(const std::string& pPath);

// The folder of the executable, always ending in "/".
std::string AppFolder();

// pPath with "/" added at its end (pRemove 0) or removed from it (pRemove
// non-zero). Empty or all-space paths give "".
std::string SetTrailingSeparator(const std::string& pPath, std::int32_t pRemove);

// pPath with pExtension (dot optional) appended in lower case, unless the path
// already ends with it in any letter case.
std::string AddExtension(const std::string& pPath, const std::string& pExtension);

// The chosen parts of pPath joined in this order: folder, separator, base
// name, dot, extension; pCase 1 lower-cases, 2 upper-cases. "" on failure.
std::string PathPart(const std::string& pPath, bool pWantFolder, bool pAddSeparator, bool pWantBase, bool pWantDot,
                     bool pWantExtension, std::int32_t pCase);

// The first free numbered variant of pPath: base name + counter (at least
// pDigits digits) + extension, counting from 1. Without pForce an unused
// pPath itself is returned.
std::string UniqueFileName(const std::string& pPath, bool pKeepFolder, bool pKeepExtension, std::int32_t pDigits,
                           bool pForce);

// Splits pCommandLine (or, when empty, the process's own arguments) into
// tokens with double-quote grouping. With pPrefix: the text after the prefix
// of every token that starts with it or with "/" + prefix. Without: every
// absolute path. Entries are appended to pList; returns how many.
std::int32_t ParseCommandLine(std::vector<std::string>& pList, const std::string& pPrefix,
                              const std::string& pCommandLine);

// The folder with every link, "." and ".." resolved; an empty folder means
// the current one. pFolder unchanged when it cannot be resolved (missing).
std::string CanonicalFolder(const std::string& pFolder);

}  // namespace sonivate

#pragma once
// Whole-file reads and crash-safe replacement of small files (settings).

#include <cstdint>
#include <string>

namespace sonivate::platform {

enum class ReadResult { Ok, Missing, TooLarge, Failed };

// Reads the whole regular file pPath into pContent when it holds at most
// pMaxBytes bytes (pMaxBytes < 0: no limit).
ReadResult ReadSmallFile(const std::string& pPath, std::int64_t pMaxBytes, std::string& pContent);

// Replaces pPath with pContent so that a crash leaves either the old or the
// new file, never a part: a temporary file beside it is written, flushed and
// renamed over it. A new file gets 0666 less the umask, a replaced one keeps
// its permission bits. A symbolic link is followed, so its target is replaced.
// false when anything failed (pPath is then unchanged).
bool ReplaceFileAtomically(const std::string& pPath, const std::string& pContent);

// Creates pFolder and its missing parents, the new ones with 0777 less the
// umask (as mkdir -p makes them); existing ones keep their mode.
// true when the folder exists afterwards.
bool MakeFolders(const std::string& pFolder);

}  // namespace sonivate::platform

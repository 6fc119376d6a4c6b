#pragma once
// A reader and writer of "private profile" (ini) files with the semantics the
// settings rely on:
// - "[section]" lines open sections; "key=value" lines inside them hold
//   values; section and key names compare without regard to ASCII case and
//   surrounding blanks; the first section and the first key of a name count;
// - a value is read trimmed of blanks, without one pair of enclosing double
//   quotes, and cut to what a buffer of pBufferSize bytes holds (one byte is
//   the terminator), at a UTF-8 character boundary;
// - writing replaces the value of an existing key line (its key text kept),
//   or adds the key after the section's last line, or adds the section at the
//   end of the file; every other byte of the file stays as it was, and new
//   lines use the file's own line ending;
// - the file is replaced atomically, so a crash never leaves half a file.
// Text is UTF-8 and passed through unchanged.

#include <cstddef>
#include <string>

namespace sonivate {

// The value of pSection/pKey in pFile, or pDefault when the file, the section
// or the key is missing or the file cannot be read.
std::string ReadProfileString(const std::string& pFile, const std::string& pSection, const std::string& pKey,
                              const std::string& pDefault, std::size_t pBufferSize);

// Sets pSection/pKey to pValue, creating the file, the section or the key as
// needed. Refuses (false, nothing written) a line break or NUL in any of the
// three texts, an empty section or key, a "=" in the key or a "]" in the
// section, and any failure to write.
bool WriteProfileString(const std::string& pFile, const std::string& pSection, const std::string& pKey,
                        const std::string& pValue);

}  // namespace sonivate

#pragma once
// Text bytes stored inside WAV files (marker names, media references) were
// written by Windows tools in code page 932. Inside the system all text is
// UTF-8; these convert at the file boundary.

#include <string>
#include <string_view>

namespace sonivate::platform {

// Converts code page 932 bytes to UTF-8. Bytes that do not form a valid
// character each become U+FFFD. Never throws for bad input.
std::string Cp932ToUtf8(std::string_view pBytes);

// Converts UTF-8 text to code page 932. A character that has no code page 932
// form becomes "?"; invalid UTF-8 bytes also become "?".
std::string Utf8ToCp932(std::string_view pText);

}  // namespace sonivate::platform

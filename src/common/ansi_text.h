#pragma once
// Conversions between the system's UTF-8 text and the code page 932 bytes
// that Windows tools store inside WAV files.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_pump.h"

namespace sonivate {

// Stop modes of AnsiBytesToString.
inline constexpr std::int32_t kStopAtNul = 0;
inline constexpr std::int32_t kStopAtCR = 1;

// Trims spaces, encodes pText in code page 932 into pBytes (keeping its size:
// bytes beyond the end are dropped but counted) and zero-fills the rest.
// Returns the number of bytes the text needs. Failure value 0.
std::int32_t StringToAnsiBytes(const std::string& pText, std::vector<std::uint8_t>& pBytes);

// Reads a text field from pBytes starting at pStartIndex up to pLastIndex
// (inclusive, also limited by the buffer), stopping before a NUL (kStopAtNul)
// or a carriage return (kStopAtCR). Double-byte characters are decoded as
// one; a lead byte without its trail ends the text. Failure value "".
// With pPump, a long field lets its message loop run every 500 bytes.
std::string AnsiBytesToString(const std::vector<std::uint8_t>& pBytes, std::int32_t pLastIndex, std::int32_t pStopMode,
                              std::int32_t pStartIndex, platform::EventPump* pPump = nullptr);

}  // namespace sonivate

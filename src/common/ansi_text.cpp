#include "common/ansi_text.h"

#include <algorithm>

#include "common/error_trap.h"
#include "common/formatting.h"
#include "platform/codepage.h"
#include "platform/event_pump.h"

namespace sonivate {
namespace {

constexpr std::uint8_t kNul = 0;
constexpr std::uint8_t kCR = 13;
// A long field lets the message loop run every this many bytes.
constexpr std::int32_t kYieldEvery = 500;

bool IsLeadByte(std::uint8_t pByte) { return (pByte >= 0x81 && pByte <= 0x9F) || pByte >= 0xE0; }

}  // namespace

std::int32_t StringToAnsiBytes(const std::string& pText, std::vector<std::uint8_t>& pBytes) {
    return Trapped<std::int32_t>(0, [&] {
        const std::string encoded = platform::Utf8ToCp932(TrimSpaces(pText));
        const size_t stored = std::min(encoded.size(), pBytes.size());
        std::copy_n(encoded.begin(), stored, pBytes.begin());
        std::fill(pBytes.begin() + static_cast<std::ptrdiff_t>(stored), pBytes.end(), std::uint8_t{0});
        return CheckedNarrow<std::int32_t>(encoded.size());
    });
}

std::string AnsiBytesToString(const std::vector<std::uint8_t>& pBytes, std::int32_t pLastIndex, std::int32_t pStopMode,
                              std::int32_t pStartIndex, platform::EventPump* pPump) {
    std::string text;
    const auto yield = [pPump] {
        if (pPump != nullptr) pPump->ProcessEvents();
    };
    Trap([&] {
        const std::uint8_t terminator = pStopMode == kStopAtCR ? kCR : kNul;
        const std::int64_t last = std::min<std::int64_t>(pLastIndex, static_cast<std::int64_t>(pBytes.size()) - 1);
        std::int64_t i = std::max(pStartIndex, 0);
        while (i <= last) {
            if (i > 0 && i % kYieldEvery == 0) yield();
            const std::uint8_t byte = pBytes[static_cast<size_t>(i)];
            if (byte == terminator) break;
            if (IsLeadByte(byte)) {
                if (i == last || pBytes[static_cast<size_t>(i + 1)] == 0) {
                    text += platform::Cp932ToUtf8(std::string(1, static_cast<char>(byte)));
                    break;
                }
                const char pair[2] = {static_cast<char>(byte), static_cast<char>(pBytes[static_cast<size_t>(i + 1)])};
                const std::string decoded = platform::Cp932ToUtf8(std::string_view(pair, 2));
                // An invalid pair still counts as one character.
                text += decoded.rfind("\xEF\xBF\xBD", 0) == 0 ? std::string("\xEF\xBF\xBD") : decoded;
                // Yield points are the multiples of kYieldEvery that the index passes.
                if ((i + 1) % kYieldEvery == 0) yield();
                i += 2;
            } else {
                text += platform::Cp932ToUtf8(std::string(1, static_cast<char>(byte)));
                i += 1;
            }
        }
    });
    return text;
}

}  // namespace sonivate

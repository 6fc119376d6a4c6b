#include "common/text_order.h"

#include <cmath>
#include <cstdint>

namespace sonivate {
namespace {

constexpr char32_t kReplacementChar = 0xFFFD;

// Simple lower-case mapping of the letters file names in this system meet:
// ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and full-width Latin.
char32_t ToLowerCodePoint(char32_t pChar) {
    if (pChar >= U'A' && pChar <= U'Z') return pChar + 0x20;
    if (pChar < 0xC0) return pChar;
    if (pChar <= 0xDE) return pChar == 0xD7 ? pChar : pChar + 0x20;
    if (pChar >= 0x100 && pChar <= 0x17F) {
        if (pChar == 0x130 || pChar == 0x138 || pChar == 0x149 || pChar == 0x17F) return pChar;
        if (pChar == 0x178) return 0xFF;
        const bool upperIsOdd = (pChar >= 0x139 && pChar <= 0x148) || pChar >= 0x179;
        return (pChar % 2 == 1) == upperIsOdd ? pChar + 1 : pChar;
    }
    if (pChar == 0x386) return 0x3AC;
    if (pChar >= 0x388 && pChar <= 0x38A) return pChar + 37;
    if (pChar == 0x38C) return 0x3CC;
    if (pChar == 0x38E || pChar == 0x38F) return pChar + 63;
    if (pChar >= 0x391 && pChar <= 0x3A9 && pChar != 0x3A2) return pChar + 0x20;
    if (pChar >= 0x400 && pChar <= 0x40F) return pChar + 0x50;
    if (pChar >= 0x410 && pChar <= 0x42F) return pChar + 0x20;
    if (pChar >= 0xFF21 && pChar <= 0xFF3A) return pChar + 0x20;
    return pChar;
}

// Decodes one UTF-8 sequence at pText[pPos], advancing pPos; malformed input
// gives U+FFFD and skips one byte.
char32_t DecodeUtf8(std::string_view pText, std::size_t& pPos) {
    const auto lead = static_cast<unsigned char>(pText[pPos]);
    ++pPos;
    if (lead < 0x80) return lead;
    std::size_t trail = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        trail = 1, value = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        trail = 2, value = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        trail = 3, value = lead & 0x07u, minimum = 0x10000;
    } else {
        return kReplacementChar;
    }
    if (pPos + trail > pText.size()) return kReplacementChar;
    for (std::size_t k = 0; k < trail; ++k) {
        const auto next = static_cast<unsigned char>(pText[pPos + k]);
        if ((next & 0xC0) != 0x80) return kReplacementChar;
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kReplacementChar;
    pPos += trail;
    return value;
}

}  // namespace

std::u16string TextSortKey(std::string_view pText) {
    std::u16string key;
    key.reserve(pText.size());
    std::size_t pos = 0;
    while (pos < pText.size()) {
        const char32_t c = ToLowerCodePoint(DecodeUtf8(pText, pos));
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            key.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            key.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            key.push_back(static_cast<char16_t>(c));
        }
    }
    return key;
}

std::vector<std::size_t> ShellSortOrder(std::size_t pCount,
                                        const std::function<bool(std::size_t, std::size_t)>& pGreater) {
    std::vector<std::size_t> order(pCount);
    for (std::size_t i = 0; i < pCount; ++i) order[i] = i;
    // Gaps 1, 4, 13, 40, ...; the first gap is the first member above
    // pCount - 1, which is never used itself.
    std::int64_t gap = 1;
    while (gap <= static_cast<std::int64_t>(pCount) - 1) gap = 3 * gap + 1;
    for (;;) {
        gap = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(gap) / 3.0));
        if (gap == 0) break;
        const auto h = static_cast<std::size_t>(gap);
        for (std::size_t i = h; i < pCount; ++i) {
            const std::size_t moving = order[i];
            std::size_t j = i;
            while (j >= h && pGreater(order[j - h], moving)) {
                order[j] = order[j - h];
                j -= h;
            }
            order[j] = moving;
        }
    }
    return order;
}

}  // namespace sonivate

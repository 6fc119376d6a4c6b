#include "report/text_cells.h"

#include <cstdint>
#include <cstdio>

namespace sonivate::report {
namespace {

// U+FFFD REPLACEMENT CHARACTER, in UTF-8.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kFirstC1 = 0x80;
constexpr char32_t kLastC1 = 0x9F;

// The length of the valid UTF-8 sequence at pText[pAt] and its code point
// (shortest form only, no surrogates, nothing above U+10FFFF); 0 when the
// byte there does not begin one.
size_t Decode(std::string_view pText, size_t pAt, char32_t& pCode) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(pText[k]); };
    const unsigned lead = byte(pAt);
    if (lead < 0x80) {
        pCode = lead;
        return 1;
    }
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        pCode = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        pCode = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        pCode = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (pAt + length > pText.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned next = byte(pAt + k);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
        pCode = (pCode << 6) | (next & 0x3F);
    }
    return length;
}

// Characters that act rather than show: they break or reorder the line.
bool IsActive(char32_t pCode) {
    return pCode < 0x20 || pCode == kDelete || (pCode >= kFirstC1 && pCode <= kLastC1) || pCode == 0x200E ||
           pCode == 0x200F || (pCode >= 0x2028 && pCode <= 0x202E) || (pCode >= 0x2066 && pCode <= 0x2069);
}

void AppendEscape(std::string& pOut, char32_t pCode) {
    char text[16];
    switch (pCode) {
        case '\t':
            pOut += "\\t";
            return;
        case '\r':
            pOut += "\\r";
            return;
        case '\n':
            pOut += "\\n";
            return;
        default:
            break;
    }
    if (pCode <= kDelete)
        std::snprintf(text, sizeof(text), "\\x%02X", static_cast<unsigned>(pCode));
    else
        std::snprintf(text, sizeof(text), "\\u%04X", static_cast<unsigned>(pCode));
    pOut += text;
}

bool NeedsQuotes(std::string_view pCell) { return pCell.find_first_of(",\"\r\n") != std::string_view::npos; }

bool LooksLikeFormula(std::string_view pCell) {
    return !pCell.empty() && std::string_view("=+-@\t\r").find(pCell.front()) != std::string_view::npos;
}

}  // namespace

std::string ShownText(std::string_view pText, TextUse pUse) {
    std::string out;
    out.reserve(pText.size());
    for (size_t at = 0; at < pText.size();) {
        char32_t code = 0;
        const size_t length = Decode(pText, at, code);
        if (length == 0) {
            if (pUse == TextUse::Csv) {
                char text[8];
                std::snprintf(text, sizeof(text), "\\x%02X", static_cast<unsigned char>(pText[at]));
                out += text;
            } else {
                out += kReplacement;
            }
            ++at;
            continue;
        }
        const bool keptInCsv = pUse == TextUse::Csv && (code == '\t' || code == '\r' || code == '\n');
        if (IsActive(code) && !keptInCsv)
            AppendEscape(out, code);
        else
            out.append(pText.substr(at, length));
        at += length;
    }
    return out;
}

std::string CsvTextCell(std::string_view pText) {
    std::string cell = ShownText(pText, TextUse::Csv);
    if (LooksLikeFormula(cell)) cell.insert(cell.begin(), '\'');
    if (!NeedsQuotes(cell)) return cell;
    std::string out;
    out.reserve(cell.size() + 2);
    out += '"';
    for (const char c : cell) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace sonivate::report

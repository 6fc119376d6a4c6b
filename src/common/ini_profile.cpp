#include "common/ini_profile.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/small_file.h"

namespace sonivate {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr char kCommentMark = ';';

// One line of the file: its text and its line ending, exactly as stored.
struct Line {
    std::string_view Text;
    std::string_view Ending;
};

std::vector<Line> SplitLines(std::string_view pContent) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < pContent.size()) {
        const std::size_t nl = pContent.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back({pContent.substr(pos), {}});
            break;
        }
        std::size_t end = nl;
        if (end > pos && pContent[end - 1] == '\r') --end;
        lines.push_back({pContent.substr(pos, end - pos), pContent.substr(end, nl + 1 - end)});
        pos = nl + 1;
    }
    return lines;
}

std::string_view Trim(std::string_view pText) {
    const std::size_t first = pText.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = pText.find_last_not_of(kBlanks);
    return pText.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view pA, std::string_view pB) {
    if (pA.size() != pB.size()) return false;
    for (std::size_t i = 0; i < pA.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(pA[i]) != lower(pB[i])) return false;
    }
    return true;
}

// The section name of a "[name]" line.
std::optional<std::string_view> SectionName(std::string_view pText) {
    const std::string_view t = Trim(pText);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const std::size_t close = t.find(']');
    return Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// The position of "=" in a key line of the key pKey.
std::optional<std::size_t> KeyLine(std::string_view pText, std::string_view pKey) {
    const std::string_view t = Trim(pText);
    if (t.empty() || t.front() == kCommentMark) return std::nullopt;
    const std::size_t eq = pText.find('=');
    if (eq == std::string_view::npos || !EqualNoCase(Trim(pText.substr(0, eq)), pKey)) return std::nullopt;
    return eq;
}

// Where a section and a key lie in the file.
struct Location {
    std::optional<std::size_t> Section;  // index of the "[section]" line
    std::size_t SectionEnd = 0;          // index after its last non-blank line
    std::optional<std::size_t> Key;      // index of the key line
    std::size_t KeyEquals = 0;
};

Location Find(const std::vector<Line>& pLines, std::string_view pSection, std::string_view pKey) {
    Location at;
    for (std::size_t i = 0; i < pLines.size(); ++i) {
        if (const auto name = SectionName(pLines[i].Text)) {
            if (at.Section) break;
            if (EqualNoCase(*name, pSection)) {
                at.Section = i;
                at.SectionEnd = i + 1;
            }
            continue;
        }
        if (!at.Section) continue;
        if (!Trim(pLines[i].Text).empty()) at.SectionEnd = i + 1;
        if (!at.Key) {
            if (const auto eq = KeyLine(pLines[i].Text, pKey)) {
                at.Key = i;
                at.KeyEquals = *eq;
            }
        }
    }
    return at;
}

std::string_view SkipBom(std::string_view pContent) {
    return pContent.substr(0, kUtf8Bom.size()) == kUtf8Bom ? pContent.substr(kUtf8Bom.size()) : pContent;
}

// The longest start of pText of at most pMax bytes that ends on a character boundary.
std::string CutUtf8(std::string_view pText, std::size_t pMax) {
    if (pText.size() <= pMax) return std::string(pText);
    std::size_t cut = pMax;
    while (cut > 0 && (static_cast<unsigned char>(pText[cut]) & 0xC0) == 0x80) --cut;
    return std::string(pText.substr(0, cut));
}

bool HasLineBreakOrNul(std::string_view pText) {
    return pText.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::string ReadProfileString(const std::string& pFile, const std::string& pSection, const std::string& pKey,
                              const std::string& pDefault, std::size_t pBufferSize) {
    const std::size_t limit = pBufferSize > 0 ? pBufferSize - 1 : 0;
    std::string content;
    if (platform::ReadSmallFile(pFile, -1, content) != platform::ReadResult::Ok) return CutUtf8(pDefault, limit);
    const std::vector<Line> lines = SplitLines(SkipBom(content));
    const Location at = Find(lines, Trim(pSection), Trim(pKey));
    if (!at.Key) return CutUtf8(pDefault, limit);
    std::string_view value = Trim(lines[*at.Key].Text.substr(at.KeyEquals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return CutUtf8(value, limit);
}

bool WriteProfileString(const std::string& pFile, const std::string& pSection, const std::string& pKey,
                        const std::string& pValue) {
    const std::string_view section = Trim(pSection), key = Trim(pKey);
    if (section.empty() || key.empty() || HasLineBreakOrNul(pSection) || HasLineBreakOrNul(pKey) ||
        HasLineBreakOrNul(pValue) || key.find('=') != std::string_view::npos ||
        section.find(']') != std::string_view::npos)
        return false;

    std::string content;
    const platform::ReadResult read = platform::ReadSmallFile(pFile, -1, content);
    if (read != platform::ReadResult::Ok && read != platform::ReadResult::Missing) return false;

    const std::string_view body = SkipBom(content);
    const std::string_view bom = std::string_view(content).substr(0, content.size() - body.size());
    const std::vector<Line> lines = SplitLines(body);
    std::string_view newline = "\n";
    for (const Line& line : lines) {
        if (!line.Ending.empty()) {
            newline = line.Ending;
            break;
        }
    }
    const Location at = Find(lines, section, key);

    std::string out(bom);
    out.reserve(content.size() + pKey.size() + pValue.size() + pSection.size() + 8);
    const auto emit = [&](const Line& line) {
        out += line.Text;
        out += line.Ending;
    };
    const std::string keyLine = std::string(key) + "=" + pValue;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (at.Key && i == *at.Key) {
            out += lines[i].Text.substr(0, at.KeyEquals + 1);
            out += pValue;
            out += lines[i].Ending;
            continue;
        }
        emit(lines[i]);
        if (!at.Key && at.Section && i + 1 == at.SectionEnd) {
            if (lines[i].Ending.empty()) out += newline;
            out += keyLine;
            out += lines[i].Ending.empty() ? std::string_view() : newline;
        }
    }
    if (!at.Section) {
        if (!out.empty() && out.size() > bom.size() && out.back() != '\n') out += newline;
        out += "[";
        out += section;
        out += "]";
        out += newline;
        out += keyLine;
        out += newline;
    }
    return platform::ReplaceFileAtomically(pFile, out);
}

}  // namespace sonivate

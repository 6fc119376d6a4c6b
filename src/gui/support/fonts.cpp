// Provisional bodies so the controls build; the font service replaces them.
#include "gui/support/fonts.h"

#include <vector>

#include <QWidget>

namespace sonivate {
namespace {
std::string g_UIFontName;
std::vector<FontEntry> g_FontTable;
}  // namespace

void RegisterFontSubstitutes() {}
const std::string& UIFontName() { return g_UIFontName; }
void SetUIFontName(const std::string& pFace) { g_UIFontName = pFace; }
void SelectUIFont() { g_UIFontName = "ＭＳ Ｐゴシック"; }

std::int32_t CreateUIFont(float pSize, bool pBold, bool pItalic, const std::string& pFace) {
    FontEntry entry;
    entry.Font = QFont(QString::fromStdString(pFace));
    entry.Font.setPointSizeF(static_cast<double>(pSize));
    entry.Font.setBold(pBold);
    entry.Font.setItalic(pItalic);
    entry.Size = pSize;
    entry.Bold = pBold;
    entry.Italic = pItalic;
    entry.Face = pFace;
    g_FontTable.push_back(entry);
    return 1;
}

std::int32_t ApplyFont(QWidget* pWindow, std::int32_t pIndex, const QWidget* /*pSource*/, float pSize, bool pBold,
                       bool pItalic, const std::string& pFace) {
    if (pIndex < kFontByArguments) return kApplyFontFailed;
    if (pIndex < 0) {
        const std::string face = pFace.empty() ? UIFontName() : pFace;
        const float size = pSize <= 0 ? kDefaultFontSize : pSize;
        pIndex = -1;
        for (std::size_t i = 0; i < g_FontTable.size(); ++i) {
            const FontEntry& e = g_FontTable[i];
            if (e.Face == face && e.Size == size && e.Bold == pBold && e.Italic == pItalic) pIndex = static_cast<std::int32_t>(i);
        }
        if (pIndex < 0) {
            CreateUIFont(size, pBold, pItalic, face);
            pIndex = static_cast<std::int32_t>(g_FontTable.size()) - 1;
        }
    }
    if (pIndex >= static_cast<std::int32_t>(g_FontTable.size())) return kApplyFontFailed;
    if (pWindow != nullptr) pWindow->setFont(g_FontTable[static_cast<std::size_t>(pIndex)].Font);
    return pIndex;
}

const FontEntry* FontAt(std::int32_t pIndex) {
    if (pIndex < 0 || pIndex >= static_cast<std::int32_t>(g_FontTable.size())) return nullptr;
    return &g_FontTable[static_cast<std::size_t>(pIndex)];
}

std::int32_t FontCount() { return static_cast<std::int32_t>(g_FontTable.size()); }
void ReleaseFonts() { g_FontTable.clear(); }

}  // namespace sonivate

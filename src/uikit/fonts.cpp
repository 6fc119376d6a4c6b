#include "uikit/fonts.h"

#include <array>
#include <cmath>
#include <deque>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include "common/error_trap.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

std::string g_UIFontName;
std::string g_JapaneseFace;
bool g_SubstitutesRegistered = false;
// A deque keeps every entry where it is while the table grows, so FontAt's
// pointers stay valid until ReleaseFonts.
std::deque<FontEntry> g_FontTable;

// Installed Japanese faces worth preferring, best first; any other face that
// covers Japanese comes after them.
constexpr std::array<const char*, 7> kJapaneseCandidates = {
    "Noto Sans CJK JP", "Noto Sans JP", "Source Han Sans JP", "IPAPGothic", "IPAGothic", "VL PGothic", "TakaoPGothic"};
constexpr std::array<const char*, 3> kPreferredFaces = {kFaceMeiryo, kFaceUIGothic, kFacePGothic};

// Name of the widget property that remembers the table index a widget was given.
constexpr const char* kFontIndexProperty = "sonivateFontIndex";
// Twips per point.
constexpr double kTwipsPerPoint = 20.0;
constexpr double kBoldWeightAt96Dpi = 700.0;
constexpr int kQtWeightMin = 1;
constexpr int kQtWeightMax = 1000;
// Pixel size at which a face's line height per em is measured.
constexpr int kMetricsProbePixels = 1000;

QString ToQString(const std::string& pText) { return QString::fromStdString(pText); }

std::string FindJapaneseFace() {
    const QStringList installed = QFontDatabase::families();
    for (const char* candidate : kJapaneseCandidates) {
        if (installed.contains(QString::fromUtf8(candidate))) return candidate;
    }
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    return japanese.isEmpty() ? std::string() : japanese.front().toStdString();
}

// (ascent + descent) / em of the face a family name resolves to.
double LineHeightPerEm(const QString& pFamily) {
    QFont probe(pFamily);
    probe.setPixelSize(kMetricsProbePixels);
    const QFontMetricsF metrics(probe);
    const double ratio = (metrics.ascent() + metrics.descent()) / kMetricsProbePixels;
    return ratio > 0 ? ratio : 1.0;
}

std::int32_t FindEntry(const std::string& pFace, float pSize, bool pBold, bool pItalic) {
    for (std::size_t i = 0; i < g_FontTable.size(); ++i) {
        const FontEntry& e = g_FontTable[i];
        if (e.Face == pFace && e.Size == pSize && e.Bold == pBold && e.Italic == pItalic)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

}  // namespace

void RegisterFontSubstitutes() {
    if (g_SubstitutesRegistered) return;
    g_SubstitutesRegistered = true;
    g_JapaneseFace = FindJapaneseFace();
    if (g_JapaneseFace.empty()) return;
    const QStringList installed = QFontDatabase::families();
    for (const char* face : kPreferredFaces) {
        const QString name = QString::fromUtf8(face);
        if (!installed.contains(name)) QFont::insertSubstitution(name, ToQString(g_JapaneseFace));
    }
}

const std::string& JapaneseFaceName() {
    RegisterFontSubstitutes();
    return g_JapaneseFace;
}

const std::string& UIFontName() { return g_UIFontName; }
void SetUIFontName(const std::string& pFace) { g_UIFontName = pFace; }

void SelectUIFont() {
    g_UIFontName = kFacePGothic;
    Trap([] {
        const QStringList installed = QFontDatabase::families();
        for (const char* face : kPreferredFaces) {
            if (installed.contains(QString::fromUtf8(face))) {
                g_UIFontName = face;
                return;
            }
        }
    });
}

std::int32_t CreateUIFont(float pSize, bool pBold, bool pItalic, const std::string& pFace) {
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        if (!std::isfinite(pSize)) return 0;
        RegisterFontSubstitutes();
        const bool meiryo = pFace == kFaceMeiryo;
        const double scale = meiryo ? static_cast<double>(kMeiryoCellScale) : 1.0;
        const auto cell = CheckedNarrow<std::int32_t>(
            std::nearbyint(static_cast<double>(pSize) * kTwipsPerPoint * scale / TwipsPerPixel()));
        if (cell <= 0) return 0;

        FontEntry entry;
        QStringList families{ToQString(pFace)};
        if (pFace != kFaceImpact && !g_JapaneseFace.empty() && pFace != g_JapaneseFace)
            families.append(ToQString(g_JapaneseFace));
        entry.Font.setFamilies(families);
        const double perEm = meiryo ? LineHeightPerEm(families.front()) : 1.0;
        entry.Font.setPixelSize(std::max(1, static_cast<int>(std::nearbyint(cell / perEm))));
        if (pBold) {
            const double weight =
                std::nearbyint(static_cast<double>(kReferenceTwipsPerPixel) / TwipsPerPixel() * kBoldWeightAt96Dpi);
            entry.Font.setWeight(
                static_cast<QFont::Weight>(std::clamp(static_cast<int>(weight), kQtWeightMin, kQtWeightMax)));
        }
        entry.Font.setItalic(pItalic);
        entry.Size = pSize;
        entry.Bold = pBold;
        entry.Italic = pItalic;
        entry.Face = pFace;
        entry.HeightFactor = static_cast<float>(1.0 / scale);
        g_FontTable.push_back(std::move(entry));
        return 1;
    });
}

std::int32_t ApplyFont(QWidget* pWindow, std::int32_t pIndex, const QWidget* pSource, float pSize, bool pBold,
                       bool pItalic, const std::string& pFace) {
    return Trapped<std::int32_t>(kApplyFontFailed, [&]() -> std::int32_t {
        if (pIndex < kFontByArguments) return kApplyFontFailed;
        if (g_UIFontName.empty()) g_UIFontName = kFacePGothic;
        if (g_FontTable.empty() && CreateUIFont(kDefaultFontSize, false, false, g_UIFontName) != 1)
            return kApplyFontFailed;

        std::int32_t index = pIndex;
        if (index < 0) {
            float size = pSize;
            bool bold = pBold;
            bool italic = pItalic;
            std::string face = pFace;
            if (index == kFontFromSource) {
                if (pSource == nullptr) return kApplyFontFailed;
                const QVariant remembered = pSource->property(kFontIndexProperty);
                if (const FontEntry* entry = remembered.isValid() ? FontAt(remembered.toInt()) : nullptr) {
                    size = entry->Size;
                    bold = entry->Bold;
                    italic = entry->Italic;
                    face = entry->Face;
                } else {
                    const QFont& current = pSource->font();
                    size = static_cast<float>(current.pointSizeF());
                    bold = current.bold();
                    italic = current.italic();
                    face = current.family().toStdString();
                }
            }
            if (face.empty()) face = g_UIFontName;
            if (!(size > 0)) size = kDefaultFontSize;
            index = FindEntry(face, size, bold, italic);
            if (index < 0) {
                if (CreateUIFont(size, bold, italic, face) != 1) return kApplyFontFailed;
                index = static_cast<std::int32_t>(g_FontTable.size()) - 1;
            }
        }
        if (index >= static_cast<std::int32_t>(g_FontTable.size())) return kApplyFontFailed;
        if (pWindow != nullptr) {
            pWindow->setFont(g_FontTable[static_cast<std::size_t>(index)].Font);
            pWindow->setProperty(kFontIndexProperty, index);
        }
        return index;
    });
}

const FontEntry* FontAt(std::int32_t pIndex) {
    if (pIndex < 0 || pIndex >= static_cast<std::int32_t>(g_FontTable.size())) return nullptr;
    return &g_FontTable[static_cast<std::size_t>(pIndex)];
}

std::int32_t FontCount() { return static_cast<std::int32_t>(g_FontTable.size()); }

void ReleaseFonts() { g_FontTable.clear(); }

}  // namespace sonivate

#pragma once
// The user-interface font and the process-wide table of created fonts.
// None of the Japanese faces the layout names exists on Linux: at start-up
// RegisterFontSubstitutes maps each of them to the installed Japanese face,
// so every face name renders Japanese with stable metrics.
//
// How a Windows font request maps onto Qt:
// - the face name stays the family name; Qt's substitution table turns the
//   Windows faces into the installed Japanese face;
// - the Shift-JIS character set becomes the Japanese face as the fallback
//   family, so kana and kanji never come from a Chinese variant of the face;
// - the cell height in pixels becomes the pixel size; for "メイリオ", whose
//   cell is taller than its em by design, the pixel size is the cell height
//   divided by the installed face's line height per em;
// - the weight keeps the 100..900 scale (700 bold), which Qt 6 shares.

#include <cstdint>
#include <string>

#include <QFont>

class QWidget;

namespace sonivate {

// Failure value of ApplyFont.
inline constexpr std::int32_t kApplyFontFailed = -3;
// ApplyFont's index: find or create by the arguments / by the source control.
inline constexpr std::int32_t kFontByArguments = -2;
inline constexpr std::int32_t kFontFromSource = -1;
inline constexpr float kDefaultFontSize = 9.0f;

// The preferred faces, in this order, and the one used when none is installed.
inline constexpr const char* kFaceMeiryo = "メイリオ";
inline constexpr const char* kFaceUIGothic = "MS UI Gothic";
inline constexpr const char* kFacePGothic = "ＭＳ Ｐゴシック";
// The one face that is not asked for in the Japanese character set.
inline constexpr const char* kFaceImpact = "Impact";
// Cell height factor of "メイリオ" (its entries keep 1 / this as height factor).
inline constexpr float kMeiryoCellScale = 1.34f;

struct FontEntry {
    QFont Font;
    float Size = 0;  // points
    bool Bold = false;
    bool Italic = false;
    std::string Face;
    float HeightFactor = 1;  // 1 / 1.34 for "メイリオ", else 1
};

// Registers the substitutions of the layout's Japanese faces by the installed
// Japanese face. Idempotent; needs a QGuiApplication.
void RegisterFontSubstitutes();
// The installed Japanese face the layout's faces stand for ("" when no
// Japanese face is installed at all).
const std::string& JapaneseFaceName();

const std::string& UIFontName();
void SetUIFontName(const std::string& pFace);
// Sets UIFontName to the first of "メイリオ", "MS UI Gothic", "ＭＳ Ｐゴシック"
// that is really installed; "ＭＳ Ｐゴシック" when none is (the usual case on
// Linux: it then renders through the substitution).
void SelectUIFont();
// 1 on success (an entry appended), 0 on failure.
std::int32_t CreateUIFont(float pSize, bool pBold, bool pItalic, const std::string& pFace);
// Gives pWindow (may be null: then only found or created) a font of the table
// and returns its index, or kApplyFontFailed.
// pIndex >= 0: that entry. kFontByArguments: the entry with exactly this face
// (case-sensitive; "" = UIFontName), size (<= 0 = 9), bold and italic, created
// when missing. kFontFromSource: the same with the attributes of the font
// pSource was last given through ApplyFont (or of its current font).
std::int32_t ApplyFont(QWidget* pWindow, std::int32_t pIndex, const QWidget* pSource, float pSize, bool pBold,
                       bool pItalic, const std::string& pFace);
// The entry at pIndex, or nullptr. Entries stay where they are until ReleaseFonts.
const FontEntry* FontAt(std::int32_t pIndex);
std::int32_t FontCount();
void ReleaseFonts();

}  // namespace sonivate

#pragma once
// The user-interface font and the process-wide table of created fonts.
// None of the Japanese faces the layout names exists on Linux: at start-up
// RegisterFontSubstitutes maps each of them to the installed Japanese face,
// so every face name renders Japanese with stable metrics.

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

struct FontEntry {
    QFont Font;
    float Size = 0;         // points
    bool Bold = false;
    bool Italic = false;
    std::string Face;
    float HeightFactor = 1;  // 1 / 1.34 for "メイリオ", else 1
};

// Registers the substitutions of the specified faces by the installed
// Japanese face. Idempotent.
void RegisterFontSubstitutes();

const std::string& UIFontName();
void SetUIFontName(const std::string& pFace);
// Chooses UIFontName from the faces installed (after substitution).
void SelectUIFont();
// 1 on success (an entry appended), 0 on failure.
std::int32_t CreateUIFont(float pSize, bool pBold, bool pItalic, const std::string& pFace);
// Table index given to pWindow (may be null: then only found or created), or kApplyFontFailed.
std::int32_t ApplyFont(QWidget* pWindow, std::int32_t pIndex, const QWidget* pSource, float pSize, bool pBold,
                       bool pItalic, const std::string& pFace);
// The entry at pIndex, or nullptr.
const FontEntry* FontAt(std::int32_t pIndex);
std::int32_t FontCount();
void ReleaseFonts();

}  // namespace sonivate

#pragma once
// Where the window's controls sit: the window's size from the layout scale
// (SizeRate), the controls built at their design places, the painted
// surface behind them (background, labels, the frame of the output
// options), and a larger window's placement (the list takes what the
// window gains). Only geometry and the surface; what the controls show
// belongs to the rooms that own them.
//
// Units: design values are twips at layout scale 1; widget geometry is in
// pixels of TwipsPerPixel() twips.

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include <QRect>
#include <QSize>

#include "gui/window_choices.h"
#include "uikit/picture.h"

class QLabel;
class QWidget;

namespace sonivate {

class UC_Bar;
class UC_Buttons;
class UC_ListView;
class UC_TextPicture;

// Every control of the window, as built.
struct WindowControls {
    UC_ListView* LV = nullptr;
    UC_TextPicture* PictureInfo = nullptr;
    UC_Bar* ProgBar = nullptr;
    ChoiceControls Choices;
    UC_Buttons* CtrButtons = nullptr;
    // The active delivery profile and its verdict counts, right of the target.
    QLabel* ProfileLine = nullptr;
};

// The design size of the inner area (twips at SizeRate 1).
inline constexpr std::int32_t kDesignInnerWidthTwips = 9675;
inline constexpr std::int32_t kDesignInnerHeightTwips = 7740;
// The window's font and the controls' fonts, points at layout scale 1.
inline constexpr float kWindowFontPoints = 9.0f;
// Button indices of the button strip.
inline constexpr std::int16_t kButtonIndexStop = 0;
inline constexpr std::int16_t kButtonIndexStart = 1;
// Colour sets of the status line.
inline constexpr std::int32_t kColourSetIdle = 0;
inline constexpr std::int32_t kColourSetRunning = 1;
// The status line's colour sets (0x00BBGGRR): its text over a gradient from
// Dark at the top to Light at the bottom. The text stands out from every
// shade of the gradient by at least the contrast ratio WCAG AA asks of
// normal text (4.5:1).
struct StatusColours {
    std::int32_t Text;
    std::int32_t Dark;
    std::int32_t Light;
};
inline constexpr StatusColours kStatusColoursIdle{0xF0F0F0, 0x000000, 0x606060};
inline constexpr StatusColours kStatusColoursRunning{0xFFF0F0, 0x000000, 0x806060};
inline constexpr double kStatusMinimumContrast = 4.5;

class WindowLayout {
public:
    // pWindow: the window the controls are children of.
    explicit WindowLayout(QWidget& pWindow) : mWindow(pWindow) {}
    WindowLayout(const WindowLayout&) = delete;
    WindowLayout& operator=(const WindowLayout&) = delete;

    // The largest rate not above pRate (and not below pMinimum) at which
    // the window fits pArea (empty: the primary screen's available area).
    static float FitSizeRateToScreen(float pRate, float pMinimum, QSize pArea);

    // The window's font and its design size times pRate (also its minimum).
    void ScaleWindow(float pRate);
    // Builds and places the controls at scale pRate with the stored
    // choices; pSetUpColumns names and sizes the list's columns between
    // the list's Init and its InitTab. Each control is built on its own:
    // one that fails is left null.
    WindowControls Build(float pRate, const StoredChoices& pStored,
                         const std::function<void(UC_ListView&)>& pSetUpColumns);
    // Labels and the frame on the surface, then the design geometry of
    // every control, for Relayout.
    void PrintLabels();
    void RecordLayout();
    // The controls placed for the window's size (after a resize).
    void Relayout();

    // The painted surface (background, labels, frame), logical pixels.
    const Picture& Surface() const { return mSurface; }

private:
    std::int32_t Scaled(std::int32_t pTwips) const;
    void BuildList(const std::function<void(UC_ListView&)>& pSetUpColumns);
    void BuildStatus();
    void BuildChoices(const StoredChoices& pStored);
    void PaintBackground();
    void BuildOutputOptions(const StoredChoices& pStored);
    void BuildButtons();
    void BuildProfileLine();

    QWidget& mWindow;
    float mRate = 1.0f;
    WindowControls mControls;
    Picture mSurface;
    // Geometry of the controls and of the window at the design size, pixels.
    std::vector<std::pair<QWidget*, QRect>> mDesignLayout;
    QSize mDesignSize;
};

}  // namespace sonivate

#pragma once
// Layout in twips over Qt widgets: geometry read and set in twips (one pixel
// = TwipsPerPixel() twips, relative to the parent; for a window, its frame on
// the desktop), scaling by the layout factor, placing next to another control,
// copies of a control in a control array, and the colour schemes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/settings_store.h"
#include "uikit/drawing.h"

class QComboBox;
class QWidget;

namespace sonivate {

// --- Geometry in twips --------------------------------------------------------

TwipsRect TwipsGeometry(const QWidget& pControl);
// Sets the geometry from twips, snapped down to whole pixels.
void SetTwipsGeometry(QWidget& pControl, const TwipsRect& pRect);
void SetTwipsPos(QWidget& pControl, std::int32_t pLeft, std::int32_t pTop);
void SetTwipsSize(QWidget& pControl, std::int32_t pWidth, std::int32_t pHeight);

// A top-level widget as the placement routines see it: frame position and
// size in twips, and the window state.
class WidgetPlacement final : public PlacementWindow {
public:
    explicit WidgetPlacement(QWidget& pWindow) : c_Window(pWindow) {}
    std::int32_t WindowState() const override;
    void SetWindowState(std::int32_t pState) override;
    float Left() const override;
    float Top() const override;
    float Width() const override;
    float Height() const override;
    void SetLeft(float pTwips) override;
    void SetTop(float pTwips) override;
    void SetWidth(float pTwips) override;
    void SetHeight(float pTwips) override;

private:
    QWidget& c_Window;
};

// --- Scaling and placing ------------------------------------------------------

// When pRate is not 1: width (unless pKeepWidth), height (unless
// pKeepHeight) and with pMoveToo left and top become round(value x pRate)
// integer-divided by TwipsPerPixel, times TwipsPerPixel (twips). When
// pFontSize is not 0 the control gets the user-interface font at
// pRate x pFontSize points.
void ScaleControl(float pRate, QWidget& pControl, bool pKeepWidth, bool pKeepHeight, bool pMoveToo, float pFontSize);

// PlaceNextTo sides.
inline constexpr std::int32_t kPlaceBelow = 0;
inline constexpr std::int32_t kPlaceRight = 1;
inline constexpr std::int32_t kPlaceCentredVertically = 2;
inline constexpr std::int32_t kPlaceRightAligned = 3;
// Align modes: copy the reference's other coordinate / set it to pValue.
inline constexpr std::int32_t kAlignCopy = 1;
inline constexpr std::int32_t kAlignValue = 2;
// Gap meaning two pixels.
inline constexpr std::int32_t kDefaultGap = -1;

// Places pControl relative to pReference (twips; see the side constants).
void PlaceNextTo(QWidget& pControl, const QWidget& pReference, std::int32_t pSide, std::int32_t pGap,
                 std::int32_t pAlignMode, std::int32_t pValue);

// Creates element pIndex (>= 1) of a control array with pFactory(parent):
// in the parent of element pIndex - 1, of its size, next in the tab order;
// with pSetFont the default font (for pIndex 1 also given to element 0);
// placed next to element pIndex - 1 when pSide >= 0 (copying its other
// coordinate); shown or hidden. Returns the new element, or nullptr when
// pIndex has no previous element. The array grows as needed (null gaps).
QWidget* LoadControlCopy(std::vector<QWidget*>& pArray, std::size_t pIndex, std::int32_t pSide, std::int32_t pGap,
                         bool pSetFont, bool pVisible, const std::function<QWidget*(QWidget* pParent)>& pFactory);

// Chooses the entry whose text equals pText (the last of several equal
// ones); no equal entry leaves the choice as it was.
void SelectComboText(QComboBox& pCombo, const std::string& pText);

// --- Colours ---------------------------------------------------------------------

// Back and fore colour of a control from the fixed scheme (ColorScheme): the
// widget's window, base and button roles get the back colour, the text roles
// the fore colour; an unknown scheme changes nothing.
void ApplyColorScheme(QWidget& pControl, std::int32_t pScheme, std::int32_t pFore, std::int32_t pBack);
void ApplyColorScheme(Picture& pSurface, std::int32_t pScheme, std::int32_t pFore, std::int32_t pBack);

}  // namespace sonivate

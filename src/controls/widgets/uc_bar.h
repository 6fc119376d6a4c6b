#pragma once
// UC_Bar: a horizontal bar showing a value between 0 and Max as a gradient
// fill inside a sunken frame, with an optional centred text. Unless locked it
// also works as a slider the operator drags.
//
// The host sizes the widget, sets the colours and calls Init (which resets
// Max to 1000). Positions handed to Draw are twips; one pixel is
// TwipsPerPixel() twips. Drawing goes to an offscreen picture that paintEvent
// only shows.
//
// Events are signals with arguments by reference, so that a handler may
// answer through them; the bar passes copies and reads no answer back.
// Connect them directly (not queued).

#include <cstdint>
#include <string>

#include <QWidget>

#include "uikit/picture.h"

namespace sonivate {

class UC_Bar : public QWidget {
    Q_OBJECT

public:
    static constexpr std::int32_t kDefaultMax = 1000;
    // Clicked while the left button is held on the bar.
    static constexpr std::int16_t kHeld = -1;

    explicit UC_Bar(QWidget* pParent = nullptr);

    // Builds the background and fill images from the widget's size and
    // draws the bar empty. Max becomes 1000.
    void Init();
    // Font size (points), boldness, face ("" = the user-interface font) and
    // text colour of TextToDisp.
    void SetStyle(float pSize, bool pBold, const std::string& pName, std::int32_t pForeColor);
    // Draws the bar filled up to pX twips (0 = empty).
    void Draw(std::int32_t pX);

    // 0..Max. Writes while the left button is held on the bar are ignored.
    std::int32_t Value() const { return c_Value; }
    void SetValue(std::int32_t pValue);
    std::int32_t Max() const { return c_Max; }
    void SetMax(std::int32_t pValue) { c_Max = pValue; }
    // A locked bar ignores the mouse.
    bool Locked() const { return c_Locked; }
    void SetLocked(bool pValue) { c_Locked = pValue; }
    // Fill colour (0x00BBGGRR); 0 = the button-shadow system colour. Used by Init.
    void SetBarColor(std::int32_t pColor) { c_BarColor = pColor; }
    // A plain fill instead of a gradient. Used by Init.
    void SetNoGrad(bool pValue) { c_NoGrad = pValue; }
    // Text drawn in the middle of the bar; "" = none. Writing redraws.
    const std::string& TextToDisp() const { return c_TextToDisp; }
    void SetTextToDisp(const std::string& pText);
    // kHeld while the left button is held on the bar, else 0.
    std::int16_t Clicked() const { return c_Clicked; }

    // The widget's inner width less 4 pixels, in twips (set by Init).
    std::int32_t InnerWidth() const { return c_InnerWidth; }
    // The bar as drawn, its fill image and its background image.
    const Picture& BarPicture() const { return c_Bar; }
    const Picture& FillPicture() const { return c_Fill; }
    const Picture& BackgroundPicture() const { return c_Background; }

signals:
    // Left button pressed (true) or released (false) on the bar.
    void MouseUD(bool& IsDown);
    // Dragged with the left button held; Value follows the pointer.
    void Scrolled();
    // Another button released on the bar (always false).
    void RightClicked(bool& IsDown);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    // Draws to the pointer and sets Value from it.
    void FollowPointer(std::int32_t pPixelX);

    std::int32_t c_Value = 0;
    std::int32_t c_Max = kDefaultMax;
    std::int32_t c_InnerWidth = 0;  // twips
    std::int16_t c_Clicked = 0;
    std::string c_TextToDisp;
    bool c_Locked = false;
    std::int32_t c_BarColor = 0;
    bool c_NoGrad = false;
    std::int32_t c_TextColor;

    Picture c_Bar;
    Picture c_Fill;
    Picture c_Background;
    bool c_Initialised = false;
    std::int32_t c_DrawnX = -1;       // twips of the last Draw
    std::int32_t c_LastPointerX = 0;  // pixels
};

}  // namespace sonivate

#pragma once
// UC_Buttons: a horizontal strip of equal-width owner-drawn push buttons with
// gradient faces, optional end caps ("ears"), text captions or 18 x 18 icons,
// enabled/disabled and on/off states.
//
// The host sets DesignType, NumButtons, the font and the captions or icons,
// then calls Init (again after a resize). Sizes inside the strip are logical
// pixels; the widget's own size is set by the host (twips / TwipsPerPixel()).
// The strip is drawn onto an offscreen picture, which paintEvent only shows.
//
// Events are signals with arguments by reference, so that a handler may
// answer through them; the strip passes copies of its own values and reads no
// answer back. Connect them directly (not queued).

#include <cstdint>
#include <string>
#include <vector>

#include <QWidget>

#include "uikit/picture.h"

namespace sonivate {

class UC_Buttons : public QWidget {
    Q_OBJECT

public:
    // Button face designs 0..4; 0 has ears by default.
    static constexpr std::int32_t kDesignEars = 0;
    static constexpr std::int32_t kDesignLast = 4;
    // MimiWidth: -1 picks the design's ear width.
    static constexpr std::int32_t kAutoEarWidth = -1;
    // DrawButton's pType.
    static constexpr std::int32_t kDrawUp = 0;
    static constexpr std::int32_t kDrawPressed = 1;
    static constexpr std::int32_t kDrawHighlighted = 2;
    // The modifier state of ShiftClicked: a sum of these.
    static constexpr std::int16_t kShiftMask = 1;
    static constexpr std::int16_t kCtrlMask = 2;
    static constexpr std::int16_t kAltMask = 4;
    // Size SetOKCancel gives the strip unless told not to, in twips.
    static constexpr std::int32_t kOKCancelWidthTwips = 2400;
    static constexpr std::int32_t kOKCancelHeightTwips = 330;

    explicit UC_Buttons(QWidget* pParent = nullptr);

    // --- Strip settings -------------------------------------------------
    // At least 1 (smaller values become 1). Setting it re-creates every
    // per-button table: captions empty, all flags off, no icons.
    std::int16_t NumButtons() const { return c_NumButtons; }
    void SetNumButtons(std::int16_t pValue);
    // 0..4; picks the face gradient and the automatic ear width; 1 also makes
    // SelectedColor white.
    std::int32_t DesignType() const { return c_DesignType; }
    void SetDesignType(std::int32_t pValue);
    // Ear width in pixels; kAutoEarWidth (default) = 8 for design 0, else 0.
    std::int32_t MimiWidth() const { return c_MimiWidth; }
    void SetMimiWidth(std::int32_t pPixels) { c_MimiWidth = pPixels; }
    // Caption colour of a button that is on, selected or pressed (0x00BBGGRR);
    // default RGB(0, 208, 0). Its engraved shadow is this colour darkened.
    std::int32_t SelectedColor() const { return c_SelectedColor; }
    void SetSelectedColor(std::int32_t pColor);
    // Disabled captions keep their normal colour.
    void SetNoGrayAtDisabled(bool pValue) { c_NoGrayAtDisabled = pValue; }
    // Default true; false draws captions engraved (a shadow print first).
    void SetDisable3D(bool pValue) { c_Disable3D = pValue; }
    // Points (default 9); face "" = the user-interface font.
    void SetFontSize(float pPoints) { c_FontSize = pPoints; }
    void SetFontFace(const std::string& pFace) { c_FontFace = pFace; }
    void SetFontBold(bool pValue) { c_FontBold = pValue; }
    void SetToolTip(const std::string& pText);
    // -1 (default) = none. Writing redraws the old and the new one.
    std::int16_t SelectedButton() const { return c_SelectedButton; }
    void SetSelectedButton(std::int16_t pIndex);
    // The strip's own icon picture (tinted to the button face once icons are used).
    const Picture& PiclibHdc() const { return c_Icons; }
    // The temporary flag when pTemp, else the permanent one; false outside the strip.
    bool GetButtonDisable(std::int16_t pIndex, bool pTemp) const;
    std::string GetButtonChar(std::int16_t pIndex) const;
    bool GetButtonOn(std::int16_t pIndex) const;

    // --- Methods ----------------------------------------------------------
    // Lays out and draws the whole strip; resizes the widget to the width the
    // buttons fill.
    void Init();
    void DrawAll();
    // pType: kDrawUp, kDrawPressed (face one pixel down), kDrawHighlighted.
    void DrawButton(std::int16_t pIndex, std::int32_t pType);
    // Caption, centred on the button; removes both icons of the button.
    void SetButtonChar(std::int16_t pIndex, const std::string& pValue);
    // Captions "1", "2", ... for all buttons.
    void SetButtonCharNum();
    // Normal icon index (0..25, -1 none); clears the caption.
    void SetPicIndexn(std::int16_t pIndex, std::int32_t pValue);
    // Alternate icon, shown while pressed; clears the caption.
    void SetPicIndexa(std::int16_t pIndex, std::int32_t pValue);
    void SetButtonDisable(std::int16_t pIndex, bool pValue, bool pDraw, bool pTemp);
    // Every button; redraws those without an alternate icon.
    void SetButtonDisableAll(bool pValue, bool pTemp);
    void SetButtonState(std::int16_t pIndex, std::int32_t pMode);
    void SetButtonOn(std::int16_t pIndex, bool pValue, bool pDraw);
    // "OK" and "キャンセル" through tr() (button 0 is OK when pOKIsZero), design pType,
    // 2400 x 330 twips unless pNoSize, then Init.
    void SetOKCancel(bool pOKIsZero, bool pNoSize, std::int32_t pType);
    // Ready-made icon layouts (the host calls Init afterwards).
    void SetButtonsMCI();
    void SetButtonsPCXplay();
    void SetButtonsEditorCtrl();
    void SetButtonsEditorPlay();

    // --- Layout read-outs (pixels) ----------------------------------------
    // The button under x: -1 left of the first or right of the last button.
    std::int16_t HitTest(std::int32_t pX) const;
    std::int32_t ButtonWidth() const { return c_ButtonWidth; }
    std::int32_t ButtonHeight() const { return c_ButtonHeight; }
    std::int32_t EarWidth() const { return c_EarWidth; }
    std::int32_t ButtonLeft(std::int16_t pIndex) const;
    bool IsButtonEnabled(std::int16_t pIndex) const;
    // The strip as drawn, and the face picture every button is made from.
    const Picture& StripPicture() const { return c_Strip; }
    const Picture& FacePicture() const { return c_Face; }

signals:
    // Left button released over the enabled button it was pressed on, no modifier.
    void ButtonClicked(std::int16_t& ClickedIndex);
    // Right button released over the enabled button it was pressed on.
    void RightClicked(std::int16_t& ClickedIndex);
    // As ButtonClicked with a modifier held; Shift = kShiftMask | kCtrlMask | kAltMask.
    void ShiftClicked(std::int16_t& ClickedIndex, std::int16_t& Shift);
    // Left button pressed on an enabled button.
    void ButtonDown(std::int16_t& ClickedIndex);
    // The button under the pointer changed (-1 = none).
    void Hover(std::int16_t& pButtonIndex);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    // The keyboard: Tab and Shift+Tab walk the enabled buttons one by one
    // before leaving the strip; Space, Enter or Return press the focused
    // button (ButtonClicked). The focused button shows a dotted frame. A
    // strip with no enabled button takes no focus.
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    bool focusNextPrevChild(bool pNext) override;

public:
    // The button the keyboard is on (-1 before the strip first had the focus).
    std::int16_t FocusButton() const { return c_FocusIndex; }

private:
    // The next enabled button after (pStep 1) or before (-1) pFrom; -1 for none.
    std::int16_t NextEnabled(std::int16_t pFrom, std::int16_t pStep) const;
    struct Button {
        std::string Caption;
        std::int32_t PicIndexN = -1;
        std::int32_t PicIndexA = -1;
        bool AltWhenPressed = false;
        bool Disabled = false;
        bool TempDisabled = false;
        bool On = false;
        std::int32_t Left = 0;  // pixels
        std::int32_t X = 0;     // caption or icon position, pixels
        std::int32_t Y = 0;
    };

    bool ValidIndex(std::int16_t pIndex) const;
    void ApplyFocusPolicy();
    void PlaceContent(Button& pButton) const;
    void TintIcons();
    void PressAt(std::int32_t pX, Qt::MouseButton pButton);
    void ReportHover(std::int16_t pIndex);

    std::int16_t c_NumButtons = 1;
    std::int32_t c_DesignType = 0;
    std::int32_t c_MimiWidth = kAutoEarWidth;
    std::int32_t c_SelectedColor;
    std::int32_t c_SelectedShadow;
    bool c_NoGrayAtDisabled = false;
    bool c_Disable3D = true;
    std::int16_t c_SelectedButton = -1;
    float c_FontSize = 9.0f;
    std::string c_FontFace;
    bool c_FontBold = false;
    std::vector<Button> c_Buttons;

    std::int32_t c_EarWidth = 0;
    std::int32_t c_ButtonWidth = 0;
    std::int32_t c_ButtonHeight = 0;
    bool c_Initialised = false;

    Picture c_Strip;
    Picture c_Face;
    Picture c_Icons;
    bool c_IconsTinted = false;

    std::int32_t c_DownX = 0;
    std::int16_t c_DownIndex = -1;
    std::int16_t c_HoverIndex = -1;
    std::int16_t c_FocusIndex = -1;
};

}  // namespace sonivate

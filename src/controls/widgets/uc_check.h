#pragma once
// UC_Check: a check box or option button with a gradient box, a drawn tick or
// dot and a caption. It sizes itself: one box wide plus the caption, at least
// one box high. Several check boxes may share one box image (Gradhdc), and a
// check box can take its background from a painted parent surface (SetBGPic)
// so that it blends in.
//
// Lengths of the layout are twips; one pixel is TwipsPerPixel() twips.
// Drawing goes to an offscreen picture that paintEvent only shows.

#include <cstdint>
#include <memory>
#include <string>

#include <QWidget>

#include "uikit/picture.h"

namespace sonivate {

class UC_Check : public QWidget {
    Q_OBJECT

public:
    // The box image; shared by the check boxes that borrow it, alive as long
    // as one of them holds it.
    using BoxImage = std::shared_ptr<const Picture>;

    static constexpr float kDefaultFontSize = 9.0f;
    static constexpr float kDefaultSizeRate = 1.0f;
    // Side of the box at SizeRate 1, in twips.
    static constexpr std::int32_t kBoxTwips = 240;

    explicit UC_Check(QWidget* pParent = nullptr);

    // Own enabled state (default true); writing redraws. A disabled check box
    // draws its caption grey and ignores the mouse.
    bool Enabled() const;
    void SetEnabled(bool pValue);
    // Writing lays the control out again (its width follows) and redraws.
    const std::string& Caption() const { return c_Caption; }
    void SetCaption(const std::string& pText);
    // 1 = checked, 0 = unchecked; writing redraws.
    std::int32_t Value() const { return c_Value; }
    void SetValue(std::int32_t pValue);
    // Option behaviour (a click never unchecks) and a dot instead of a tick.
    bool IsOption() const { return c_IsOption; }
    void SetIsOption(bool pValue);
    // Points, and the layout scale; both take effect at the next layout.
    void SetFontSize(float pPoints) { c_FontSize = pPoints; }
    void SetSizeRate(float pRate) { c_SizeRate = pRate; }
    // The box image in use (null before the first layout). Writing a null
    // image is ignored; writing another check box's image borrows it.
    BoxImage Gradhdc() const { return c_Box; }
    void SetGradhdc(BoxImage pImage);
    // Draws the background from pSource at (pX, pY) twips instead of clearing
    // it. The source is kept as a snapshot (cheap: pictures share their
    // pixels until written), so it may change or go away afterwards.
    void SetBGPic(std::int32_t pX, std::int32_t pY, const Picture& pSource);
    // Drops the background source; the control clears its background again.
    void CloseBGObj();
    // Redraws (laying out first when that has not happened yet).
    void Draw();

    // Layout read-outs: box side in twips, box top in pixels, caption top in twips.
    std::int32_t BoxTwips() const { return c_BoxTwips; }
    std::int32_t BoxTop() const { return c_BoxTop; }
    std::int32_t CaptionTop() const { return c_CaptionTop; }
    // The control as drawn.
    const Picture& CheckPicture() const { return c_Picture; }

signals:
    // After every change made by the mouse.
    void Click();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    // Space toggles as a click does; the focused box shows a dotted frame
    // around its caption.
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    void Toggle();
    void Layout();
    void DrawTick();
    void DrawOptionDot();

    std::string c_Caption;
    std::int32_t c_Value = 0;
    bool c_IsOption = false;
    bool c_LaidOut = false;
    bool c_InLayout = false;
    std::int32_t c_BoxTwips = 0;
    std::int32_t c_BoxTop = 0;      // pixels
    std::int32_t c_CaptionTop = 0;  // twips
    float c_FontSize = kDefaultFontSize;
    float c_SizeRate = kDefaultSizeRate;

    BoxImage c_Box;
    BoxImage c_OwnBox;
    bool c_Borrowed = false;

    Picture c_Background;
    std::int32_t c_BackgroundX = 0;  // twips
    std::int32_t c_BackgroundY = 0;
    bool c_HasBackground = false;

    Picture c_Picture;
};

// Configures a check box in the order the window sets them up: shares the
// box image pGradhdc when it is not null, takes the background from
// pBackground (when not null) at the control's own position, then FontSize,
// SizeRate, Caption and Value.
void SetupCheck(UC_Check& pCheck, const std::string& pCaption, std::int32_t pValue, const Picture* pBackground,
                float pFontSize, UC_Check::BoxImage pGradhdc, float pSizeRate);

}  // namespace sonivate

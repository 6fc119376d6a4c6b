#pragma once
// UC_TextPicture: a message panel of "text spaces", each with its own font and
// position, over a plain (design 0, sunken frame unless flat) or colour-set
// background (design 1: one background image per colour set, kept side by
// side in a hidden strip).
//
// Units: text-space left and top are twips from the panel's top-left
// (-1 = centred); pixels are TwipsPerPixel() twips.
// The host adds colour sets and text spaces, calls Init(), then DispMes() as
// messages change.
//
// Events are Qt signals whose arguments are references: connect them with a
// direct connection; OLEDragDrop's handler may change Effect (a drop-effect
// bit set: 1 copy, 2 move, 4 link; 0 refuses the drop), which the control
// hands back to the drag source. Button values: 1 left, 2 right, 4 middle;
// Shift bits: 1 Shift, 2 Ctrl, 4 Alt.

#include <cstdint>
#include <string>
#include <vector>

#include <QWidget>

#include "uikit/picture.h"

class QMimeData;

namespace sonivate {

class UC_TextPicture : public QWidget {
    Q_OBJECT

public:
    // Design types.
    static constexpr std::int16_t kDesignPlain = 0;
    static constexpr std::int16_t kDesignColorSets = 1;
    // Draw's argument for "no text space highlighted"; also the centring value of left and top.
    static constexpr std::int32_t kNoHighlight = -1;
    static constexpr std::int32_t kCentred = -1;
    // Number of the fixed colour sets of AddStdColorSet (0..5).
    static constexpr std::int32_t kStdColorSetCount = 6;

    struct TextSpace {
        std::int32_t FontIndex = -1;   // in the font table
        std::int32_t Left = kCentred;  // twips
        std::int32_t Top = kCentred;   // twips
        std::string Text;
        bool UseClick = false;
    };
    struct ColorSet {
        std::int32_t FontColor = 0;
        std::int32_t Color1 = 0;
        std::int32_t Color2 = 0;
        std::int32_t Color3 = 0;
    };

    explicit UC_TextPicture(QWidget* pParent = nullptr);
    ~UC_TextPicture() override;

    // Re-initialises: builds the colour-set strip and draws.
    void Init();
    // Removes every text space and colour set and returns to design 0.
    void ResetMe();

    // Appends a text space; pSize in points, pFace empty = the UI font,
    // pLeft/pTop twips or -1 (centred).
    void AddTextSpace(float pSize, bool pBold, bool pItalic, const std::string& pFace, std::int32_t pLeft,
                      std::int32_t pTop);
    // Sets the text of a text space; redraws only when it changed and not pDontDraw.
    void DispMes(std::int32_t pIndex, const std::string& pStr, bool pDontDraw = false);
    // The text of a text space ("" outside the range).
    std::string TextMes(std::int32_t pIndex) const;

    // Appends a colour set and switches to design 1 (colours 0x00BBGGRR).
    void AddColorSet(std::int32_t pFontColor, std::int32_t pColor1, std::int32_t pColor2, std::int32_t pColor3);
    // Appends fixed colour set pType (0..5); other values add nothing.
    void AddStdColorSet(std::int32_t pType);
    // Design 0: colour scheme pType; design 1: colour set pType when it exists.
    void SetColor(std::int32_t pType, bool pDraw);
    void SetColorEx(std::int32_t pForeColor, std::int32_t pBackColor, bool pDraw);

    void SetDesignType(std::int16_t pType) { c_DesignType = pType; }
    std::int16_t DesignType() const { return c_DesignType; }
    void SetUseClick(std::int32_t pIndex, bool pOn);
    void SetUseDblClick(bool pOn) { c_UseDblClick = pOn; }
    void SetLocked(bool pOn) { c_Locked = pOn; }
    void SetIsFlat(bool pOn) { c_IsFlat = pOn; }

    // Draws the panel with text space pLite highlighted (-1 = none).
    void Draw(std::int32_t pLite);

    // The text space under a point in twips (0 when none qualifies).
    std::int32_t HitTest(std::int32_t pX, std::int32_t pY) const;

    std::int32_t TextSpaceCount() const { return static_cast<std::int32_t>(c_Spaces.size()); }
    const TextSpace& Space(std::int32_t pIndex) const { return c_Spaces.at(static_cast<std::size_t>(pIndex)); }
    std::int32_t ColorSetCount() const { return static_cast<std::int32_t>(c_Sets.size()); }
    std::int32_t CurrentColorSet() const { return c_CurrentSet; }
    std::int32_t ForeColor() const { return c_ForeColor; }
    std::int32_t BackColor() const { return c_BackColor; }
    // Times the panel was drawn (for callers that batch their updates).
    std::int64_t DrawCount() const { return c_DrawCount; }
    // PicText(0), the visible panel, and PicText(1), the strip of colour-set backgrounds.
    const Picture& Panel() const { return c_Panel; }
    const Picture& Strip() const { return c_Strip; }

    QSize sizeHint() const override;

signals:
    void MouseUD(std::int16_t& Button, bool& IsDown, std::int32_t& pIndex);
    void DblClicked();
    void OLEDragDrop(const QMimeData* Data, std::int32_t& Effect, std::int16_t& Button, std::int16_t& Shift, float& X,
                     float& Y);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dragMoveEvent(QDragMoveEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void BuildStrip();
    void Press(std::int16_t pButton, const QPointF& pPoint);
    void RaiseMouseUD(std::int16_t pButton, bool pIsDown, std::int32_t pIndex);
    qreal PictureRatio() const;
    bool UseClickAt(std::int32_t pIndex) const;

    std::vector<TextSpace> c_Spaces;
    std::vector<ColorSet> c_Sets;
    std::int32_t c_CurrentSet = 0;
    bool c_StripBuilt = false;
    bool c_Locked = false;
    bool c_IsFlat = false;
    bool c_UseDblClick = false;
    std::int16_t c_DesignType = kDesignPlain;
    std::int32_t c_ForeColor;
    std::int32_t c_BackColor;
    std::int32_t c_Lite = kNoHighlight;  // highlighted text space of the last Draw
    bool c_Pressed = false;
    bool c_Initialised = false;
    std::int64_t c_DrawCount = 0;

    Picture c_Panel;  // what paintEvent shows
    Picture c_Strip;  // one background image per colour set, side by side
};

}  // namespace sonivate

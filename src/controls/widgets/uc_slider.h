#pragma once
// UC_Slider: a scroll bar / slider with optional arrow buttons at both ends, a
// thumb whose length can follow a ratio, and arrows that repeat while held.
//
// Units: lengths and positions are twips (TwipsPerPixel() per pixel) along the
// track, counted from the track start (just after the "towards Min" arrow).
// The owner sets IsVertical, NoGrad, the size, Min and Max, then calls Init();
// SetPointerSize() may follow whenever the visible ratio changes.
//
// Events are Qt signals whose arguments are references: connect them with a
// direct connection (the default for widgets on the window thread); a handler
// may change the arguments, and the control reads them back after emitting
// (it does not act on any answer today, as the events are notifications).
// Button values: 1 left, 2 right, 4 middle.

#include <array>
#include <cstdint>

#include <QTimer>
#include <QWidget>

#include "uikit/picture.h"

namespace sonivate {

class UC_Slider : public QWidget {
    Q_OBJECT

public:
    // Defaults of the properties (twips for PointerSize).
    static constexpr std::int32_t kDefaultMax = 1000;
    static constexpr std::int32_t kDefaultMin = 0;
    static constexpr std::int32_t kDefaultPointerSize = 480;
    static constexpr std::int32_t kDefaultSmallChange = 10;
    // The thumb never fills more than this share of the track, nor shrinks below kMinPointerPixels.
    static constexpr double kMaxPointerRate = 0.95;
    static constexpr std::int32_t kMinPointerPixels = 8;
    // Arrow repeat: the first repeat after a longer pause, then steadily (ms).
    static constexpr int kRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 50;
    // Arrow indices.
    static constexpr int kArrowTowardsMin = 0;
    static constexpr int kArrowTowardsMax = 1;
    static constexpr int kNoArrow = -1;
    static constexpr int kTrackPart = 2;
    static constexpr int kNoPart = -1;

    explicit UC_Slider(QWidget* pParent = nullptr);
    ~UC_Slider() override;

    // Lays out track, arrows and thumb from the control's size and draws.
    void Init();
    // Rebuilds the thumb image after a change of size or thumb length and redraws.
    void Init2();

    std::int32_t Value() const { return c_Value; }
    // Nothing while the range is 0; otherwise limited to Min..Max and the thumb follows.
    void SetValue(std::int32_t pValue);
    std::int32_t Max() const { return c_Max; }
    void SetMax(std::int32_t pMax);
    std::int32_t Min() const { return c_Min; }
    void SetMin(std::int32_t pMin);
    std::int32_t SmallChange() const { return c_SmallChange; }
    void SetSmallChange(std::int32_t pValue) { c_SmallChange = pValue; }
    std::int32_t LargeChange() const { return c_LargeChange; }
    void SetLargeChange(std::int32_t pValue) { c_LargeChange = pValue; }

    // Thumb length in twips; the write takes effect on the next Init/Init2.
    std::int32_t PointerSize() const { return c_PointerSize; }
    void SetPointerSizeTwips(std::int32_t pTwips);
    // Thumb length as a share of the track: 1 or more counts as 0.95, at
    // least 8 pixels; then Init2.
    void SetPointerSize(double pRate);

    void SetIsVertical(bool pOn);
    bool IsVertical() const { return c_IsVertical; }
    // Also sets Disabletrim.
    void SetNoArrow(bool pOn);
    bool NoArrow() const { return c_NoArrow; }
    void SetNoGrad(bool pOn);
    void SetDisabletrim(std::int16_t pOn) { c_Disabletrim = pOn; }
    std::int16_t Disabletrim() const { return c_Disabletrim; }
    void SetRefuseInput(std::int16_t pOn) { c_RefuseInput = pOn; }
    std::int16_t RefuseInput() const { return c_RefuseInput; }
    void SetCenterLined(std::int16_t pOn);
    // -1 while a mouse button is held on the control, else 0.
    std::int16_t Clicked() const { return c_Clicked; }

    // Moves the thumb to track position pPos (twips) and sets Value from it.
    void Draw(std::int32_t pPos);

    // Derived geometry, in twips.
    std::int32_t Range() const { return c_Max - c_Min; }
    // Follow the control's current size: length minus the two arrows, and
    // the thickness across.
    std::int32_t TrackLength() const;
    std::int32_t TrackThickness() const;
    std::int32_t Travel() const { return TrackLength() - c_PointerSize; }
    // Thumb start, twips from the track start.
    std::int32_t ThumbPosition() const { return c_ThumbPos; }
    // Track start along the control, in pixels (after the first arrow).
    std::int32_t TrackStartPixels() const;
    bool ArrowPressed(int pIndex) const;

    // What the control shows (logical pixels), for tests and the window's own composition.
    const Picture& Screen() const { return c_Screen; }

    QSize sizeHint() const override;

signals:
    void MouseUD(bool& IsDown, std::int16_t& nButton);
    void Scrolled(std::int16_t& nButton);
    void DblClicked();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

private:
    // Pixels along and across the control, and the arrow button's side.
    std::int32_t LengthPixels() const;
    std::int32_t ThicknessPixels() const;
    std::int32_t ArrowPixels() const;
    // Thumb start for the current Value (twips), limited to the track.
    std::int32_t PositionOfValue() const;
    std::int32_t LimitPosition(std::int32_t pPos) const;
    void BuildBase();
    void BuildThumb();
    void DrawArrow(int pIndex);
    // Composes base, thumb and arrows into c_Screen and schedules a repaint.
    void Compose();
    // Thumb placement without a redraw when nothing moved.
    void PlaceThumb(std::int32_t pPos);
    qreal PictureRatio() const;

    // Pointer position along the control (pixels) and the arrow it is over.
    std::int32_t AlongPixels(const QPointF& pPoint) const;
    int ArrowAt(const QPointF& pPoint) const;
    // Pointer position along the track in twips.
    std::int32_t TrackPosition(const QPointF& pPoint) const;

    void ArrowPress(int pIndex);
    void ArrowStep();
    void TrackPress(const QPointF& pPoint, std::int16_t pButton);
    void RaiseMouseUD(bool pIsDown, std::int16_t pButton);
    void RaiseScrolled(std::int16_t pButton);

    std::int32_t c_Value = 0;
    std::int32_t c_Max = kDefaultMax;
    std::int32_t c_Min = kDefaultMin;
    std::int16_t c_Clicked = 0;
    std::int32_t c_PointerSize = kDefaultPointerSize;
    std::int32_t c_SmallChange = kDefaultSmallChange;
    std::int32_t c_LargeChange = 0;
    std::int16_t c_RefuseInput = 0;
    std::int16_t c_Disabletrim = 0;
    std::int16_t c_CenterLined = 0;
    bool c_NoGrad = false;
    bool c_NoArrow = false;
    bool c_IsVertical = false;

    std::int32_t c_ThumbPos = 0;     // twips from the track start
    double c_GrabOffset = 0;         // twips from the thumb start to the pointer
    std::int32_t c_LastPointer = 0;  // last pointer track position (twips) while dragging
    std::array<bool, 2> c_ArrowDown{};
    int c_HeldArrow = kNoArrow;   // arrow whose repeat is running
    int c_PressedPart = kNoPart;  // where the last press went: an arrow index or kTrackPart
    bool c_TrackHeld = false;     // left button went down on the track: moves drag the thumb
    bool c_Initialised = false;

    Picture c_Base;    // track background over the whole control
    Picture c_Thumb;   // thumb image, thumb length x track thickness
    Picture c_Screen;  // what paintEvent shows
    QTimer c_Repeat;
};

}  // namespace sonivate

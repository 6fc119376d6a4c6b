#pragma once
// An offscreen drawing surface: what the owner-drawn controls paint on before
// they show it in paintEvent. It keeps, as a picture box does, a back colour
// (Cls fills with it), a fore colour (Print and lines default to it) and a
// font. Coordinates are logical pixels; the image itself may be made at a
// device pixel ratio above 1 so that it stays sharp on a high-DPI screen.

#include <cstdint>
#include <string>
#include <string_view>

#include <QFont>
#include <QImage>

namespace sonivate {

class Picture {
public:
    // Raster operations of BitBlt, as the controls use them.
    enum class RasterOp { Copy, And, Or, Xor };

    Picture() = default;
    Picture(std::int32_t pWidth, std::int32_t pHeight, qreal pDevicePixelRatio = 1.0);

    // Re-creates the image at pWidth x pHeight logical pixels (at least 1 x 1)
    // and clears it with the back colour.
    void Resize(std::int32_t pWidth, std::int32_t pHeight, qreal pDevicePixelRatio = 1.0);
    std::int32_t Width() const;   // logical pixels
    std::int32_t Height() const;  // logical pixels
    bool IsNull() const { return c_Image.isNull(); }

    QImage& Image() { return c_Image; }
    const QImage& Image() const { return c_Image; }

    std::int32_t BackColor() const { return c_BackColor; }
    void SetBackColor(std::int32_t pColor) { c_BackColor = pColor; }
    std::int32_t ForeColor() const { return c_ForeColor; }
    void SetForeColor(std::int32_t pColor) { c_ForeColor = pColor; }
    const QFont& Font() const { return c_Font; }
    void SetFont(const QFont& pFont) { c_Font = pFont; }

    // Fills the whole image with the back colour.
    void Cls();
    // Text with its cell's top-left at (pX, pY), in the fore colour or pColor.
    void Print(std::int32_t pX, std::int32_t pY, std::string_view pText);
    void Print(std::int32_t pX, std::int32_t pY, std::string_view pText, std::int32_t pColor);
    // Width and height of a text's cell in the current font (logical pixels).
    std::int32_t TextWidth(std::string_view pText) const;
    std::int32_t TextHeight(std::string_view pText) const;

    // One-pixel line including both end points.
    void Line(std::int32_t pX1, std::int32_t pY1, std::int32_t pX2, std::int32_t pY2, std::int32_t pColor);
    void FillRect(std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight, std::int32_t pColor);
    void SetPixel(std::int32_t pX, std::int32_t pY, std::int32_t pColor);
    // 0x00BBGGRR of a logical pixel (its top-left device pixel); -1 outside.
    std::int32_t GetPixel(std::int32_t pX, std::int32_t pY) const;

    // Copies pWidth x pHeight from pSource at (pSrcX, pSrcY) to (pX, pY) with pOp.
    void BitBlt(std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight, const Picture& pSource,
                std::int32_t pSrcX, std::int32_t pSrcY, RasterOp pOp = RasterOp::Copy);

private:
    QImage c_Image;
    std::int32_t c_BackColor = 0x00FFFFFF;
    std::int32_t c_ForeColor = 0;
    QFont c_Font;
};

}  // namespace sonivate

#include "uikit/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QFontMetrics>
#include <QPainter>

#include "uikit/colors.h"

namespace sonivate {
namespace {

QString ToQString(std::string_view pText) {
    return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size()));
}

QPainter::CompositionMode ModeOf(Picture::RasterOp pOp) {
    switch (pOp) {
        case Picture::RasterOp::And:
            return QPainter::RasterOp_SourceAndDestination;
        case Picture::RasterOp::Or:
            return QPainter::RasterOp_SourceOrDestination;
        case Picture::RasterOp::Xor:
            return QPainter::RasterOp_SourceXorDestination;
        case Picture::RasterOp::Copy:
            break;
    }
    return QPainter::CompositionMode_Source;
}

}  // namespace

Picture::Picture(std::int32_t pWidth, std::int32_t pHeight, qreal pDevicePixelRatio) {
    Resize(pWidth, pHeight, pDevicePixelRatio);
}

void Picture::Resize(std::int32_t pWidth, std::int32_t pHeight, qreal pDevicePixelRatio) {
    const qreal ratio = pDevicePixelRatio > 0 ? pDevicePixelRatio : 1.0;
    const auto device = [ratio](std::int32_t v) {
        return static_cast<int>(std::ceil(std::max<std::int32_t>(v, 1) * ratio));
    };
    c_Image = QImage(device(pWidth), device(pHeight), QImage::Format_RGB32);
    c_Image.setDevicePixelRatio(ratio);
    Cls();
}

std::int32_t Picture::Width() const {
    return c_Image.isNull() ? 0 : static_cast<std::int32_t>(std::lround(c_Image.width() / c_Image.devicePixelRatio()));
}

std::int32_t Picture::Height() const {
    return c_Image.isNull() ? 0 : static_cast<std::int32_t>(std::lround(c_Image.height() / c_Image.devicePixelRatio()));
}

void Picture::Cls() {
    if (!c_Image.isNull()) c_Image.fill(ToQColor(c_BackColor));
}

void Picture::Print(std::int32_t pX, std::int32_t pY, std::string_view pText) { Print(pX, pY, pText, c_ForeColor); }

void Picture::Print(std::int32_t pX, std::int32_t pY, std::string_view pText, std::int32_t pColor) {
    if (c_Image.isNull() || pText.empty()) return;
    QPainter painter(&c_Image);
    painter.setFont(c_Font);
    painter.setPen(ToQColor(pColor));
    const QFontMetrics metrics(c_Font);
    painter.drawText(QPoint(pX, pY + metrics.ascent()), ToQString(pText));
}

std::int32_t Picture::TextWidth(std::string_view pText) const {
    return QFontMetrics(c_Font).horizontalAdvance(ToQString(pText));
}

std::int32_t Picture::TextHeight(std::string_view /*pText*/) const { return QFontMetrics(c_Font).height(); }

void Picture::Line(std::int32_t pX1, std::int32_t pY1, std::int32_t pX2, std::int32_t pY2, std::int32_t pColor) {
    if (c_Image.isNull()) return;
    // Straight lines as one-pixel rectangles, so they stay one logical pixel
    // thick (and gap-free) on an image with a device pixel ratio above 1.
    if (pY1 == pY2 || pX1 == pX2) {
        FillRect(std::min(pX1, pX2), std::min(pY1, pY2), std::abs(pX2 - pX1) + 1, std::abs(pY2 - pY1) + 1, pColor);
        return;
    }
    QPainter painter(&c_Image);
    painter.setPen(QPen(ToQColor(pColor), 1));
    painter.drawLine(pX1, pY1, pX2, pY2);
}

void Picture::FillRect(std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight,
                       std::int32_t pColor) {
    if (c_Image.isNull() || pWidth <= 0 || pHeight <= 0) return;
    QPainter painter(&c_Image);
    painter.fillRect(pX, pY, pWidth, pHeight, ToQColor(pColor));
}

void Picture::SetPixel(std::int32_t pX, std::int32_t pY, std::int32_t pColor) { FillRect(pX, pY, 1, 1, pColor); }

std::int32_t Picture::GetPixel(std::int32_t pX, std::int32_t pY) const {
    const qreal ratio = c_Image.devicePixelRatio();
    const auto x = static_cast<int>(pX * ratio);
    const auto y = static_cast<int>(pY * ratio);
    if (c_Image.isNull() || !c_Image.valid(x, y)) return -1;
    return FromQColor(QColor(c_Image.pixel(x, y)));
}

void Picture::BitBlt(std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight,
                     const Picture& pSource, std::int32_t pSrcX, std::int32_t pSrcY, RasterOp pOp) {
    if (c_Image.isNull() || pSource.c_Image.isNull() || pWidth <= 0 || pHeight <= 0) return;
    QPainter painter(&c_Image);
    painter.setCompositionMode(ModeOf(pOp));
    painter.drawImage(
        QRect(pX, pY, pWidth, pHeight), pSource.c_Image,
        QRectF(pSrcX * pSource.c_Image.devicePixelRatio(), pSrcY * pSource.c_Image.devicePixelRatio(),
               pWidth * pSource.c_Image.devicePixelRatio(), pHeight * pSource.c_Image.devicePixelRatio()));
}

}  // namespace sonivate

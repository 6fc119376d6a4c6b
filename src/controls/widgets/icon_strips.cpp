#include "controls/widgets/icon_strips.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace sonivate {
namespace {

// A pixel of the rendered icon counts as part of it from half coverage on,
// so every pixel of the strip is either icon or fully transparent, as the
// AND/XOR blit needs.
constexpr int kOpaqueFrom = 128;

// Greys of the plain button icons, chosen against a button face of 210.
const QColor kPlainBody(60, 64, 72);
const QColor kPlainEdge(250, 250, 250);
// Lit icons: a bright body over a dark drop edge.
const QColor kLitBody(64, 224, 72);
const QColor kLitEdge(0, 96, 16);
const QColor kRecordBody(168, 40, 40);
const QColor kRecordLitBody(255, 48, 40);
const QColor kRecordLitEdge(112, 0, 0);

using Glyph = std::function<void(QPainter&, const QColor&)>;

QPolygonF Poly(std::initializer_list<QPointF> pPoints) { return QPolygonF(QList<QPointF>(pPoints)); }

void FillPoly(QPainter& pPainter, const QColor& pColor, std::initializer_list<QPointF> pPoints) {
    pPainter.setPen(Qt::NoPen);
    pPainter.setBrush(pColor);
    pPainter.drawPolygon(Poly(pPoints));
}

void FillBox(QPainter& pPainter, const QColor& pColor, qreal pX, qreal pY, qreal pW, qreal pH) {
    pPainter.fillRect(QRectF(pX, pY, pW, pH), pColor);
}

void Stroke(QPainter& pPainter, const QColor& pColor, qreal pWidth, const QPainterPath& pPath) {
    pPainter.setBrush(Qt::NoBrush);
    pPainter.setPen(QPen(pColor, pWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    pPainter.drawPath(pPath);
}

// The glyphs, in the 18 x 18 cell.
void GlyphToStart(QPainter& p, const QColor& c) {
    FillBox(p, c, 4, 4, 2, 10);
    FillPoly(p, c, {{14, 4}, {6.5, 9}, {14, 14}});
}
void GlyphPlay(QPainter& p, const QColor& c) { FillPoly(p, c, {{6, 3.5}, {14, 9}, {6, 14.5}}); }
void GlyphPause(QPainter& p, const QColor& c) {
    FillBox(p, c, 5, 4, 3, 10);
    FillBox(p, c, 10, 4, 3, 10);
}
void GlyphStop(QPainter& p, const QColor& c) { FillBox(p, c, 5, 5, 8, 8); }
void Magnifier(QPainter& p, const QColor& c) {
    QPainterPath ring;
    ring.addEllipse(QPointF(7.5, 7.5), 4.5, 4.5);
    Stroke(p, c, 1.6, ring);
    QPainterPath handle;
    handle.moveTo(10.5, 10.5);
    handle.lineTo(15, 15);
    Stroke(p, c, 2.6, handle);
}
void GlyphZoomIn(QPainter& p, const QColor& c) {
    Magnifier(p, c);
    FillBox(p, c, 5, 7, 5, 1);
    FillBox(p, c, 7, 5, 1, 5);
}
void GlyphZoomOut(QPainter& p, const QColor& c) {
    Magnifier(p, c);
    FillBox(p, c, 5, 7, 5, 1);
}
void GlyphMarkIn(QPainter& p, const QColor& c) {
    FillBox(p, c, 4, 3, 2, 12);
    FillBox(p, c, 6, 3, 2, 2);
    FillBox(p, c, 6, 13, 2, 2);
    FillPoly(p, c, {{9, 5.5}, {14, 9}, {9, 12.5}});
}
void GlyphMarkOut(QPainter& p, const QColor& c) {
    FillBox(p, c, 12, 3, 2, 12);
    FillBox(p, c, 10, 3, 2, 2);
    FillBox(p, c, 10, 13, 2, 2);
    FillPoly(p, c, {{9, 5.5}, {4, 9}, {9, 12.5}});
}
void GlyphRecord(QPainter& p, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(9, 9), 5, 5);
}
void GlyphLoop(QPainter& p, const QColor& c) {
    QPainterPath arc;
    arc.arcMoveTo(QRectF(4, 4, 10, 10), 60);
    arc.arcTo(QRectF(4, 4, 10, 10), 60, 290);
    Stroke(p, c, 2, arc);
    FillPoly(p, c, {{10, 1.5}, {14.5, 4.5}, {10, 7.5}});
}
void GlyphRewind(QPainter& p, const QColor& c) {
    FillPoly(p, c, {{9, 4}, {2.5, 9}, {9, 14}});
    FillPoly(p, c, {{15.5, 4}, {9, 9}, {15.5, 14}});
}
void GlyphForward(QPainter& p, const QColor& c) {
    FillPoly(p, c, {{2.5, 4}, {9, 9}, {2.5, 14}});
    FillPoly(p, c, {{9, 4}, {15.5, 9}, {9, 14}});
}
void GlyphToEnd(QPainter& p, const QColor& c) {
    FillPoly(p, c, {{4, 4}, {11.5, 9}, {4, 14}});
    FillBox(p, c, 12, 4, 2, 10);
}
void Speaker(QPainter& p, const QColor& c) { FillPoly(p, c, {{2, 7}, {5, 7}, {9, 3.5}, {9, 14.5}, {5, 11}, {2, 11}}); }
void GlyphSpeaker(QPainter& p, const QColor& c) {
    Speaker(p, c);
    QPainterPath waves;
    waves.arcMoveTo(QRectF(7, 6, 6, 6), -50);
    waves.arcTo(QRectF(7, 6, 6, 6), -50, 100);
    waves.arcMoveTo(QRectF(6, 3, 10, 12), -50);
    waves.arcTo(QRectF(6, 3, 10, 12), -50, 100);
    Stroke(p, c, 1.4, waves);
}
void GlyphMuted(QPainter& p, const QColor& c) {
    Speaker(p, c);
    QPainterPath cross;
    cross.moveTo(11, 6.5);
    cross.lineTo(16, 11.5);
    cross.moveTo(16, 6.5);
    cross.lineTo(11, 11.5);
    Stroke(p, c, 1.6, cross);
}
void GlyphEject(QPainter& p, const QColor& c) {
    FillPoly(p, c, {{3.5, 10}, {9, 4}, {14.5, 10}});
    FillBox(p, c, 4, 12, 10, 2);
}

struct ButtonIcon {
    Glyph Draw;
    QColor Body;
    QColor Edge;
    bool Lit;
};

// The edge is a copy of the glyph one pixel down and right: a light one looks
// engraved in the face, a dark one makes a lit glyph stand out.
ButtonIcon ButtonIconAt(std::int32_t pIndex) {
    const auto plain = [](Glyph g) { return ButtonIcon{std::move(g), kPlainBody, kPlainEdge, false}; };
    const auto lit = [](Glyph g) { return ButtonIcon{std::move(g), kLitBody, kLitEdge, true}; };
    switch (pIndex) {
        case 0:
            return plain(GlyphToStart);
        case 1:
            return plain(GlyphPlay);
        case 2:
            return plain(GlyphPause);
        case 3:
            return plain(GlyphStop);
        case 4:
            return plain(GlyphZoomIn);
        case 5:
            return plain(GlyphZoomOut);
        case 6:
            return plain(GlyphMarkIn);
        case 7:
            return plain(GlyphMarkOut);
        case 8:
            return lit(GlyphToStart);
        case 9:
            return lit(GlyphPlay);
        case 10:
            return lit(GlyphPause);
        case 11:
            return lit(GlyphStop);
        case 12:
            return ButtonIcon{GlyphRecord, kRecordBody, kPlainEdge, false};
        case 13:
            return ButtonIcon{GlyphRecord, kRecordLitBody, kRecordLitEdge, true};
        case 14:
            return plain(GlyphLoop);
        case 15:
            return plain(GlyphRewind);
        case 16:
            return plain(GlyphForward);
        case 17:
            return plain(GlyphToEnd);
        case 18:
            return lit(GlyphRewind);
        case 19:
            return lit(GlyphForward);
        case 20:
            return lit(GlyphToEnd);
        case 21:
            return plain(GlyphSpeaker);
        case 22:
            return plain(GlyphMuted);
        case 23:
            return lit(GlyphSpeaker);
        case 24:
            return lit(GlyphMuted);
        default:
            return plain(GlyphEject);
    }
}

// Device pixels of a logical length.
int DeviceLength(std::int32_t pLogical, qreal pRatio) { return static_cast<int>(std::ceil(pLogical * pRatio)); }
int DeviceOffset(std::int32_t pLogical, qreal pRatio) { return static_cast<int>(std::floor(pLogical * pRatio)); }

// Renders one icon with antialiasing and writes it into its image and mask
// cells: covered pixels keep their colour in the image and are black in the
// mask; the rest is black in the image and white in the mask.
void PutIcon(Picture& pStrip, std::int32_t pIndex, std::int32_t pSize, qreal pRatio,
             const std::function<void(QPainter&)>& pDraw) {
    const int cell = DeviceLength(pSize, pRatio);
    QImage icon(cell, cell, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(static_cast<qreal>(cell) / pSize, static_cast<qreal>(cell) / pSize);
        pDraw(painter);
    }
    QImage& strip = pStrip.Image();
    const int x0 = DeviceOffset(pIndex * pSize, pRatio);
    const int maskY0 = DeviceOffset(pSize, pRatio);
    for (int y = 0; y < cell; ++y) {
        for (int x = 0; x < cell; ++x) {
            if (!strip.valid(x0 + x, y) || !strip.valid(x0 + x, maskY0 + y)) continue;
            const QRgb px = icon.pixel(x, y);
            const bool covered = qAlpha(px) >= kOpaqueFrom;
            // A covered pixel that happens to be pure black stays black: it
            // blits as black, which is what it is.
            strip.setPixel(x0 + x, y, covered ? qRgb(qRed(px), qGreen(px), qBlue(px)) : qRgb(0, 0, 0));
            strip.setPixel(x0 + x, maskY0 + y, covered ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
}

Picture EmptyStrip(std::int32_t pSize, std::int32_t pCount, qreal pRatio) {
    Picture strip;
    strip.SetBackColor(0);
    strip.Resize(pSize * pCount, pSize * 2, pRatio);
    return strip;
}

// File list icons, in the 16 x 16 cell; outlines sit on pixel centres.
const QColor kPaper(255, 255, 255);
const QColor kPaperFold(208, 212, 220);
const QColor kOutline(72, 76, 88);
const QColor kWaveLine(24, 96, 200);
const QColor kFolderBody(236, 192, 72);
const QColor kFolderTab(208, 160, 48);
const QColor kFolderEdge(136, 96, 16);
const QColor kWarnBody(252, 212, 40);
const QColor kWarnEdge(120, 88, 0);
const QColor kWarnMark(24, 24, 24);

void Page(QPainter& p) {
    p.setPen(QPen(kOutline, 1));
    p.setBrush(kPaper);
    p.drawPolygon(Poly({{2.5, 0.5}, {9.5, 0.5}, {13.5, 4.5}, {13.5, 15.5}, {2.5, 15.5}}));
    p.setBrush(kPaperFold);
    p.drawPolygon(Poly({{9.5, 0.5}, {9.5, 4.5}, {13.5, 4.5}}));
}

void ListDocument(QPainter& p) {
    Page(p);
    for (const qreal y : {7.0, 9.0, 11.0, 13.0}) p.fillRect(QRectF(5, y, 6, 1), kPaperFold);
}

void ListWave(QPainter& p) {
    Page(p);
    QPainterPath wave;
    wave.moveTo(4, 10);
    const qreal peaks[] = {10, 7, 13, 6, 12, 8, 11, 10};
    for (int i = 0; i < 8; ++i) wave.lineTo(5 + i, peaks[i]);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kWaveLine, 1.2));
    p.drawPath(wave);
}

void ListFolder(QPainter& p) {
    p.setPen(QPen(kFolderEdge, 1));
    p.setBrush(kFolderTab);
    p.drawPolygon(Poly({{0.5, 3.5}, {5.5, 3.5}, {7.5, 5.5}, {14.5, 5.5}, {14.5, 13.5}, {0.5, 13.5}}));
    p.setBrush(kFolderBody);
    p.drawPolygon(Poly({{0.5, 13.5}, {2.5, 7.5}, {15.5, 7.5}, {14.5, 13.5}}));
}

void ListWarning(QPainter& p) {
    p.setPen(QPen(kWarnEdge, 1));
    p.setBrush(kWarnBody);
    p.drawPolygon(Poly({{8, 0.5}, {15.5, 14.5}, {0.5, 14.5}}));
    p.fillRect(QRectF(7, 5, 2, 5), kWarnMark);
    p.fillRect(QRectF(7, 11, 2, 2), kWarnMark);
}

}  // namespace

bool IsLitButtonIcon(std::int32_t pIndex) {
    return pIndex >= 0 && pIndex < kButtonIconCount && ButtonIconAt(pIndex).Lit;
}

Picture MakeButtonIconStrip(qreal pDevicePixelRatio) {
    const qreal ratio = pDevicePixelRatio > 0 ? pDevicePixelRatio : 1.0;
    Picture strip = EmptyStrip(kButtonIconSize, kButtonIconCount, ratio);
    for (std::int32_t n = 0; n < kButtonIconCount; ++n) {
        const ButtonIcon icon = ButtonIconAt(n);
        PutIcon(strip, n, kButtonIconSize, ratio, [&icon](QPainter& painter) {
            painter.save();
            painter.translate(1, 1);
            icon.Draw(painter, icon.Edge);
            painter.restore();
            icon.Draw(painter, icon.Body);
        });
    }
    return strip;
}

Picture MakeListIconStrip(qreal pDevicePixelRatio) {
    const qreal ratio = pDevicePixelRatio > 0 ? pDevicePixelRatio : 1.0;
    Picture strip = EmptyStrip(kListIconSize, kListIconCount, ratio);
    const std::function<void(QPainter&)> icons[kListIconCount] = {ListDocument, ListWave, ListFolder, ListWarning};
    for (std::int32_t n = 0; n < kListIconCount; ++n) PutIcon(strip, n, kListIconSize, ratio, icons[n]);
    return strip;
}

}  // namespace sonivate

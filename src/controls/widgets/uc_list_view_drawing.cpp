// The list view drawn: the item area's rows, the header strip, the frame.
#include "controls/widgets/uc_list_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolTip>

#include "common/formatting.h"
#include "common/numeric.h"
#include "controls/widgets/input_codes.h"
#include "controls/widgets/list_icons.h"
#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

#include "controls/widgets/uc_list_view_shared.h"

namespace sonivate {

using namespace list_view_detail;

namespace {

// The classic pen modes 1..16 as raster operations; nullopt for "no operation".
std::optional<QPainter::CompositionMode> PenMode(std::int32_t pMode) {
    switch (pMode) {
        case 1:
            return QPainter::CompositionMode_Clear;
        case 2:
            return QPainter::RasterOp_NotSourceAndNotDestination;
        case 3:
            return QPainter::RasterOp_NotSourceAndDestination;
        case 4:
            return QPainter::RasterOp_NotSource;
        case 5:
            return QPainter::RasterOp_SourceAndNotDestination;
        case 6:
            return QPainter::RasterOp_NotDestination;
        case 7:
            return QPainter::RasterOp_SourceXorDestination;
        case 8:
            return QPainter::RasterOp_NotSourceOrNotDestination;
        case 9:
            return QPainter::RasterOp_SourceAndDestination;
        case 10:
            return QPainter::RasterOp_NotSourceXorDestination;
        case kPenNop:
            return std::nullopt;
        case 12:
            return QPainter::RasterOp_NotSourceOrDestination;
        case 14:
            return QPainter::RasterOp_SourceOrNotDestination;
        case 15:
            return QPainter::RasterOp_SourceOrDestination;
        case 16:
            return QPainter::RasterOp_SetDestination;
        default:
            return QPainter::CompositionMode_Source;
    }
}

}  // namespace

// ---- Drawing -------------------------------------------------------------------------

std::int32_t UC_ListView::RowTopPixels(std::int32_t pVisibleRow) const {
    return TwipsToPixels(std::int64_t{pVisibleRow} * c_Model.OneHeight());
}

std::int32_t UC_ListView::FirstVisibleColumn() const {
    for (std::int32_t p = 0; p < c_Model.NumData(); ++p) {
        const std::int32_t c = c_Model.ColumnAtPosition(p);
        if (c >= 0 && c_Model.TabHidden(c) == 0) return c;
    }
    return -1;
}

void UC_ListView::ScheduleRedraw(std::int32_t pRow) {
    if (!c_Initialised) return;
    const QRect area(0, 0, c_AreaWidth, c_AreaHeight);
    if (pRow < 0) {
        c_DirtyRect = area;
    } else {
        const std::int32_t shown = pRow - c_Model.TopItem();
        if (shown < 0 || shown > c_VisibleRows) return;
        // The row's band, with the selection box that reaches a pixel further.
        c_DirtyRect |= QRect(0, RowTopPixels(shown), c_AreaWidth, TwipsToPixels(c_RowBoxHeight) + 2) & area;
    }
    if (c_RedrawPending) return;
    c_RedrawPending = true;
    QTimer::singleShot(0, this, [this] {
        c_RedrawPending = false;
        const QRect dirty = std::exchange(c_DirtyRect, QRect());
        if (c_Model.ItemCount() != c_LayoutCount) {
            SetVbarParm();
            ReDraw();
            return;
        }
        if (c_Model.OneHeight() < 1) return;
        RenderList();
        PlaceEditorsVertically();
        c_LastDrawnTop = c_Model.TopItem();
        c_ItemArea->update(dirty);
    });
}

void UC_ListView::ReDraw() {
    if (!c_Initialised || c_Model.OneHeight() < 1) return;
    RenderList();
    PlaceEditorsVertically();
    c_LastDrawnTop = c_Model.TopItem();
    c_ItemArea->update();
}

void UC_ListView::RenderList() {
    if (!c_Initialised || c_Model.OneHeight() < 1) return;
    Picture& picture = c_PictureList;
    if (picture.IsNull()) return;
    const ListStyle& style = c_Model.Style();
    picture.SetBackColor(style.BackColor);
    picture.Cls();

    const std::int32_t tpp = Tpp();
    const std::int32_t oneHeight = c_Model.OneHeight();
    const std::int32_t offset = c_Model.HorizontalOffset();
    const std::int32_t top = c_Model.TopItem();
    const std::int32_t count = c_Model.ItemCount();
    const int width = c_AreaWidth, height = c_AreaHeight;
    // Rows whose top lies inside the area, partly shown ones included.
    std::int32_t rows = 0;
    while (top + rows < count && RowTopPixels(rows) < height) ++rows;
    const auto rowTop = [&](std::int32_t pRow) { return RowTopPixels(pRow - top); };
    const auto rowBottom = [&](std::int32_t pRow) { return RowTopPixels(pRow - top + 1); };

    QPainter painter(&picture.Image());
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    if (c_UseMadara != 0) {
        for (std::int32_t row = top; row < top + rows; ++row)
            if (row % 2 == 1)
                painter.fillRect(0, rowTop(row) + 1, width, rowBottom(row) - rowTop(row) - 1, ToQColor(kMadaraColor));
    }

    if (c_Model.IconDisabled() == 0 && offset < kListIconSize * tpp && !c_PictureIcons.IsNull()) {
        const QImage& strip = c_PictureIcons.Image();
        const qreal ratio = strip.devicePixelRatio();
        const int x = kIconLeftPixels - TwipsToPixels(offset);
        for (std::int32_t row = top; row < top + rows; ++row) {
            const std::int32_t icon = c_Model.IconType(row);
            if (icon < 0 || icon >= kListIconCount) continue;
            const int y = rowTop(row) + RoundHalfEven((TwipsToPixels(oneHeight) - kListIconSize) / 2.0);
            const QRect target(x, y, kListIconSize, kListIconSize);
            const auto cell = [&](int pRowY) {
                return QRectF(icon * kListIconSize * ratio, pRowY * ratio, kListIconSize * ratio,
                              kListIconSize * ratio);
            };
            painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
            painter.drawImage(target, strip, cell(kListIconSize));
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.drawImage(target, strip, cell(0));
        }
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }

    // The selection box's horizontal extent.
    int boxLeft = 0, boxWidth = width;
    if (c_InvertSelectedData == 1) {
        const std::int32_t column = c_Model.SelectedData();
        const std::int32_t from = column > 0 ? c_Model.TabRight(column - 1) : 0;
        boxLeft = TwipsToPixels(from - offset);
        boxWidth = TwipsToPixels(c_Model.TabRight(column) - offset) - kInvertBoxInsetPixels - boxLeft;
    }
    const int boxHeight = TwipsToPixels(c_RowBoxHeight);
    const auto box = [&](std::int32_t pRow, std::int32_t pColor) {
        const std::optional<QPainter::CompositionMode> mode = PenMode(c_SelectedColorMode);
        if (!mode) return;
        painter.setCompositionMode(*mode);
        painter.fillRect(boxLeft, rowTop(pRow) + 1, boxWidth, boxHeight, ToQColor(pColor));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    };
    for (std::int32_t row = top; row < top + rows; ++row)
        if (c_Model.IsSelected(row) == 1) box(row, c_SelectedColor);

    for (std::int32_t row = top; row < top + rows; ++row) {
        const std::int32_t line = c_Model.HLine(row);
        if (line != 0) painter.fillRect(0, rowTop(row), width, 1, ToQColor(line));
    }

    if (c_BorderIfBlank > 0) {
        for (std::int32_t row = top; row < top + rows; ++row) {
            const CellValue cell = c_Model.Value(row, c_BorderIfBlank - 1);
            if (cell.AsText().empty()) box(row, kBlankBoxColor);
        }
    }

    // Cells.
    const QFont font = SlotFont(0);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const auto measure = [&](std::string_view pText) { return metrics.horizontalAdvance(Q(pText)); };
    const std::int32_t first = FirstVisibleColumn();
    const int textTop = TwipsToPixels(c_TextOffset);
    for (std::int32_t p = 0; p < c_Model.NumData(); ++p) {
        const std::int32_t c = c_Model.ColumnAtPosition(p);
        if (c < 0 || c_Model.TabHidden(c) != 0) continue;
        const std::int32_t left = c_Model.TabLeft(c), right = c_Model.TabRight(c);
        if (TwipsToPixels(right - offset) < 0 || TwipsToPixels(left - offset) > width) continue;
        const std::int32_t margin = c == first ? c_Model.IconMargin() : kCellMarginPixels * tpp;
        const int room = TwipsToPixels(c_Model.TabWidth(c) - margin);
        const bool rightAligned = c_Model.TabAlign(c) == kAlignRight;
        for (std::int32_t row = top; row < top + rows; ++row) {
            const std::string text = FitTextToWidth(c_Model.Value(row, c).AsText(), measure, room, rightAligned);
            if (text.empty()) continue;
            const int x = rightAligned ? TwipsToPixels(right - kCellMarginPixels * tpp - offset) - measure(text)
                                       : TwipsToPixels(left + margin - offset);
            painter.setPen(ToQColor(c_Model.DispColor(row)));
            painter.drawText(QPoint(x, rowTop(row) + textTop + metrics.ascent()), Q(text));
        }
    }

    // Column separators.
    for (std::int32_t p = 0; p < c_Model.NumData(); ++p) {
        const std::int32_t c = c_Model.ColumnAtPosition(p);
        if (c < 0 || c_Model.TabHidden(c) != 0) continue;
        const int x = TwipsToPixels(c_Model.TabRight(c) - offset) - 1;
        painter.fillRect(x, 0, 1, height, ToQColor(c_VLineColor));
    }
}

void UC_ListView::ReDrawTab(std::int32_t pPushedData) {
    if (!c_Initialised) return;
    c_PushedData = pPushedData;
    RenderHeader(pPushedData);
    PlaceEditorsHorizontally();
    c_Header->update();
}

void UC_ListView::RenderHeader(std::int32_t pPushedData) {
    Picture& picture = c_PictureTab;
    if (picture.IsNull() || c_TabDisabled != 0) return;
    picture.SetBackColor(kColorButtonFace);
    picture.Cls();
    const std::int32_t offset = c_Model.HorizontalOffset();
    const std::int32_t headerTwips = HeaderHeightTwips();
    const int headerHeight = TwipsToPixels(headerTwips);
    const QFont font = SlotFont(1);
    const QFontMetrics metrics(font);
    const auto measure = [&](std::string_view pText) { return metrics.horizontalAdvance(Q(pText)); };
    std::vector<std::int32_t> shown;
    {
        QPainter painter(&picture.Image());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.setFont(font);
        painter.setPen(ToQColor(kColorButtonText));
        for (std::int32_t pos = 0; pos < c_Model.NumData(); ++pos) {
            const std::int32_t c = c_Model.ColumnAtPosition(pos);
            if (c < 0 || c_Model.TabHidden(c) != 0) continue;
            shown.push_back(c);
            const int p = c == pPushedData ? 1 : 0;
            const int x = TwipsToPixels(c_Model.TabLeft(c) - offset);
            const int w = TwipsToPixels(c_Model.TabWidth(c));
            painter.drawImage(QRect(x, 0, w, headerHeight), c_PictureTabGrad.Image());
            const std::int32_t align = c_Model.TabAlign(c);
            const std::string caption =
                FitTextToWidth(c_Model.TabName(c), measure, w - kCaptionMarginPixels, align != 0);
            const int cx =
                align == kAlignRight && c_NoAlign4Tab == 0
                    ? TwipsToPixels(c_Model.TabRight(c) - offset) - measure(caption) - (kCaptionMarginPixels + p)
                    : x + kCaptionMarginPixels + p;
            painter.drawText(QPoint(cx, kHeaderTextTopPixels + p + metrics.ascent()), Q(caption));
        }
    }
    for (const std::int32_t c : shown)
        DrawCellEdge(picture, c_Model.TabLeft(c) - offset, 0, c_Model.TabWidth(c), headerTwips, c == pPushedData);
}

void UC_ListView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(kColorButtonFace));
    // A sunken frame around everything: shadow and highlight outside, dark
    // shadow and light inside.
    const int right = width() - kRightGapPixels - 1, bottom = height() - 1;
    const auto line = [&](int x1, int y1, int x2, int y2, std::int32_t color) {
        painter.fillRect(QRect(QPoint(x1, y1), QPoint(x2, y2)), ToQColor(color));
    };
    line(0, 0, right, 0, kColorButtonShadow);
    line(0, 0, 0, bottom, kColorButtonShadow);
    line(0, bottom, right, bottom, kColorButtonHighlight);
    line(right, 0, right, bottom, kColorButtonHighlight);
    line(1, 1, right - 1, 1, kColorButtonDarkShadow);
    line(1, 1, 1, bottom - 1, kColorButtonDarkShadow);
    line(1, bottom - 1, right - 1, bottom - 1, kColorButtonLight);
    line(right - 1, 1, right - 1, bottom - 1, kColorButtonLight);
    if (hasFocus()) {
        // The keyboard is here: the inner ring in the highlight colour.
        const QColor focus = palette().color(QPalette::Highlight);
        painter.fillRect(QRect(QPoint(1, 1), QPoint(right - 1, 1)), focus);
        painter.fillRect(QRect(QPoint(1, 1), QPoint(1, bottom - 1)), focus);
        painter.fillRect(QRect(QPoint(1, bottom - 1), QPoint(right - 1, bottom - 1)), focus);
        painter.fillRect(QRect(QPoint(right - 1, 1), QPoint(right - 1, bottom - 1)), focus);
    }
}

}  // namespace sonivate

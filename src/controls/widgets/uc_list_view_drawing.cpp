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
#include <QPolygonF>
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
        // A sort made through the model (or its end) moves the header's arrow too.
        if (c_DrawnSort != std::make_pair(c_Model.OrderData(), c_Model.OrderInverted())) ReDrawTab(c_PushedData);
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

    // The selection box's horizontal extent.
    int boxLeft = 0, boxWidth = width;
    if (c_InvertSelectedData == 1) {
        const std::int32_t column = c_Model.SelectedData();
        const std::int32_t from = column > 0 ? c_Model.TabRight(column - 1) : 0;
        boxLeft = TwipsToPixels(from - offset);
        boxWidth = TwipsToPixels(c_Model.TabRight(column) - offset) - ScaledPixels(kInvertBoxInsetPixels) - boxLeft;
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

    // The icons come after the selection box, so that they and their badges
    // keep their own colours on a selected row.
    const int iconSize = IconPixels();
    const int iconLeft = ScaledPixels(kIconLeftPixels);
    if (c_Model.IconDisabled() == 0 && offset < (iconLeft + iconSize) * tpp && !c_PictureIcons.IsNull()) {
        const QImage& strip = c_PictureIcons.Image();
        const qreal ratio = strip.devicePixelRatio();
        const int x = iconLeft - TwipsToPixels(offset);
        for (std::int32_t row = top; row < top + rows; ++row) {
            const std::int32_t icon = c_Model.IconType(row);
            if (icon < 0 || icon >= kListIconCount) continue;
            const int y = rowTop(row) + RoundHalfEven((TwipsToPixels(oneHeight) - iconSize) / 2.0);
            const QRect target(x, y, iconSize, iconSize);
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
        const std::int32_t cellMargin = ScaledPixels(kCellMarginPixels) * tpp;
        const std::int32_t margin = c == first ? c_Model.IconMargin() : cellMargin;
        const int room = TwipsToPixels(c_Model.TabWidth(c) - margin);
        const bool rightAligned = c_Model.TabAlign(c) == kAlignRight;
        for (std::int32_t row = top; row < top + rows; ++row) {
            const std::string text = FitTextToWidth(c_Model.Value(row, c).AsText(), measure, room, rightAligned);
            if (text.empty()) continue;
            const int x = rightAligned ? TwipsToPixels(right - cellMargin - offset) - measure(text)
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

QRect UC_ListView::HeaderCellRect(std::int32_t pData) const {
    return {TwipsToPixels(c_Model.TabLeft(pData) - c_Model.HorizontalOffset()), 0,
            TwipsToPixels(c_Model.TabWidth(pData)), TwipsToPixels(HeaderHeightTwips())};
}

// The arrow sits at the cell's right end, centred on the header's height.
QRect UC_ListView::SortArrowIn(const QRect& pCell) const {
    const int width = ScaledPixels(kSortArrowWidthPixels), height = ScaledPixels(kSortArrowHeightPixels);
    return {pCell.right() + 1 - ScaledPixels(kCaptionMarginPixels) - width, pCell.top() + (pCell.height() - height) / 2,
            width, height};
}

QRect UC_ListView::SortArrowRect() const {
    const std::int32_t column = c_Model.OrderData();
    if (!c_Initialised || c_TabDisabled != 0 || column < 0 || column >= c_Model.NumData() ||
        c_Model.TabHidden(column) != 0)
        return {};
    return SortArrowIn(HeaderCellRect(column));
}

void UC_ListView::RenderHeader(std::int32_t pPushedData) {
    Picture& picture = c_PictureTab;
    if (picture.IsNull() || c_TabDisabled != 0) return;
    picture.SetBackColor(kColorButtonFace);
    picture.Cls();
    c_DrawnSort = {c_Model.OrderData(), c_Model.OrderInverted()};
    const std::int32_t offset = c_Model.HorizontalOffset();
    const std::int32_t headerTwips = HeaderHeightTwips();
    const int headerHeight = TwipsToPixels(headerTwips);
    const int captionMargin = ScaledPixels(kCaptionMarginPixels);
    const int textTop = ScaledPixels(kHeaderTextTopPixels);
    const QRect arrow = SortArrowRect();
    const int arrowRoom = arrow.width() + ScaledPixels(kSortArrowGapPixels);
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
            const QRect cell = HeaderCellRect(c);
            painter.drawImage(QRect(cell.x(), 0, cell.width(), headerHeight), c_PictureTabGrad.Image());
            // The sorted column's caption makes room for the arrow at its right end.
            const int room = c == c_DrawnSort.first && !arrow.isEmpty() ? arrowRoom : 0;
            const std::int32_t align = c_Model.TabAlign(c);
            const std::string caption =
                FitTextToWidth(c_Model.TabName(c), measure, cell.width() - captionMargin - room, align != 0);
            const int cx = align == kAlignRight && c_NoAlign4Tab == 0
                               ? cell.right() + 1 - measure(caption) - (captionMargin + p) - room
                               : cell.x() + captionMargin + p;
            painter.drawText(QPoint(cx, textTop + p + metrics.ascent()), Q(caption));
        }
        if (!arrow.isEmpty()) {
            const QRectF a = QRectF(arrow).translated(pPushedData == c_DrawnSort.first ? 1 : 0, 0);
            QPolygonF triangle;
            if (c_DrawnSort.second == 0)
                triangle << QPointF(a.left(), a.bottom()) << QPointF(a.right(), a.bottom())
                         << QPointF(a.center().x(), a.top());
            else
                triangle << QPointF(a.left(), a.top()) << QPointF(a.right(), a.top())
                         << QPointF(a.center().x(), a.bottom());
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(Qt::NoPen);
            painter.setBrush(ToQColor(kColorButtonText));
            painter.drawPolygon(triangle);
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

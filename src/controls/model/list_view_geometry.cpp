// Where things are in the list model, in twips: the columns' places, the
// horizontal offset, the top row, and which column or row a point hits.
#include "controls/model/list_view_model.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "common/error_trap.h"
#include "controls/model/list_view_model_shared.h"

namespace sonivate {

using namespace list_view_model_detail;

void ListViewModel::LayoutColumns() {
    Trap([&] {
        std::int64_t edge = 0;
        for (const std::int32_t c : c_ColumnAtPosition) {
            ColumnRecord& column = c_Columns[static_cast<std::size_t>(c)];
            column.Left = CheckedNarrow<std::int32_t>(edge);
            if (column.TabHidden == 0) edge += column.TabWidth;
            column.Right = CheckedNarrow<std::int32_t>(edge);
        }
    });
}

std::int32_t ListViewModel::TabLeft(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->Left : 0;
}

std::int32_t ListViewModel::TabRight(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->Right : 0;
}

std::int32_t ListViewModel::ContentRight() const {
    if (c_ColumnAtPosition.empty()) return 0;
    return c_Columns[static_cast<std::size_t>(c_ColumnAtPosition.back())].Right;
}

std::int32_t ListViewModel::HorizontalOffset() const { return c_HorizontalOffset; }

void ListViewModel::SetHorizontalOffset(std::int32_t pValue) { c_HorizontalOffset = pValue; }

std::int32_t ListViewModel::ColumnAtX(double pX) const {
    return Trapped(std::int32_t{0}, [&]() -> std::int32_t {
        if (c_ColumnAtPosition.empty()) return 0;
        const double xx = pX + c_HorizontalOffset;
        const auto visible = [&](std::int32_t pColumn) {
            return c_Columns[static_cast<std::size_t>(pColumn)].TabHidden == 0;
        };
        if (xx > ContentRight()) {
            const auto last = std::find_if(c_ColumnAtPosition.rbegin(), c_ColumnAtPosition.rend(), visible);
            return last != c_ColumnAtPosition.rend() ? *last : 0;
        }
        if (xx < c_Columns[static_cast<std::size_t>(c_ColumnAtPosition.front())].Right) {
            const auto first = std::find_if(c_ColumnAtPosition.begin(), c_ColumnAtPosition.end(), visible);
            return first != c_ColumnAtPosition.end() ? *first : 0;
        }
        for (std::size_t p = 1; p < c_ColumnAtPosition.size(); ++p) {
            const ColumnRecord& column = c_Columns[static_cast<std::size_t>(c_ColumnAtPosition[p])];
            if (column.TabHidden == 0 && column.Left < xx && xx < column.Right) return c_ColumnAtPosition[p];
        }
        return 0;
    });
}

std::int32_t ListViewModel::ColumnEdgeAtX(double pX) const {
    return Trapped(std::int32_t{-1}, [&] {
        const double xx = pX + c_HorizontalOffset;
        const double reach = static_cast<double>(kEdgeHitPixels) * c_TwipsPerPixel;
        std::int32_t found = -1;
        for (const std::int32_t c : c_ColumnAtPosition) {
            const ColumnRecord& column = c_Columns[static_cast<std::size_t>(c)];
            if (column.TabHidden == 0 && column.Right - reach < xx && xx < column.Right + reach) found = c;
        }
        return found;
    });
}

std::int32_t ListViewModel::TopItem() const { return c_TopItem; }

void ListViewModel::StoreTopItem(std::int32_t pValue) { c_TopItem = std::max(pValue, 0); }

std::int32_t ListViewModel::YsItem(double pY) const {
    return Trapped(std::int32_t{0}, [&] {
        if (c_OneHeight < 1) return std::int32_t{0};
        const std::int64_t row = std::int64_t{RoundToInt32(pY) / c_OneHeight} + c_TopItem;
        return Limit(row, 0, c_ItemCount);
    });
}

std::int32_t ListViewModel::ClickRow(double pY) const {
    const double y = pY - static_cast<double>(kClickRowOffsetPixels) * c_TwipsPerPixel;
    const std::int64_t row = std::int64_t{RoundToInt32(y) / c_OneHeight} + c_TopItem;
    return Limit(row, 0, c_ItemCount - 1);
}

}  // namespace sonivate

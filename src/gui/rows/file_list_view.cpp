#include "gui/rows/file_list_view.h"

#include <atomic>
#include <cmath>

#include "app/measurement_run.h"
#include "common/error_trap.h"

namespace sonivate {
namespace {

// Ids are unique in the process, whichever list or adapter gave them.
std::atomic<RowId> gLastRowId{kNoRowId};

RowId NewRowId() { return ++gLastRowId; }

}  // namespace

void ConfigureFileList(ListViewModel& pList, double pSizeRate) {
    pList.SetNumData(kFileListColumns);
    pList.SetNumAux(kFileListAux);
    pList.Init();
    for (std::int32_t c = 0; c < kFileListColumns; ++c) {
        pList.SetTabName(c, kFileListColumnSetup[c].Caption);
        pList.SetTabWidth(c, static_cast<std::int32_t>(std::nearbyint(kFileListColumnSetup[c].WidthTwips * pSizeRate)));
    }
    for (const std::int32_t c : {kColumnLKFS, kColumnPeak, kColumnGain}) pList.SetColumnSortNumeric(c, true);
    pList.SetStyle(static_cast<float>(kFileListFontPoints * pSizeRate), 0, "", kColorWindowText, kColorWindow);
    pList.LayoutColumns();
}

BatchRow ListViewRows::Row(std::int32_t pIndex) const {
    BatchRow row;
    row.Path = mList.AuxID(pIndex, kAuxPath).AsText();
    row.Start = static_cast<std::int64_t>(std::nearbyint(mList.AuxID(pIndex, kAuxStart).AsNumber()));
    row.End = static_cast<std::int64_t>(std::nearbyint(mList.AuxID(pIndex, kAuxEnd).AsNumber()));
    row.Title = mList.Value(pIndex, kColumnTitle).AsText();
    row.LengthText = mList.Value(pIndex, kColumnLength).AsText();
    row.LKFSText = mList.Value(pIndex, kColumnLKFS).AsText();
    row.PeakText = mList.Value(pIndex, kColumnPeak).AsText();
    row.GainText = mList.Value(pIndex, kColumnGain).AsText();
    row.Clip = mList.DispColor(pIndex) == kClipColor;
    return row;
}

RowId ListViewRows::IdAt(std::int32_t pIndex) const {
    const CellValue cell = mList.AuxID(pIndex, kAuxRowId);
    if (cell.IsNumber()) return static_cast<RowId>(cell.AsNumber());
    const RowId id = NewRowId();
    mList.SetAuxID(pIndex, kAuxRowId, CellValue(static_cast<double>(id)));
    return id;
}

std::int32_t ListViewRows::IndexOf(RowId pId) const {
    if (pId == kNoRowId) return -1;
    for (std::int32_t row = 0; row < mList.ItemCount(); ++row) {
        const CellValue cell = mList.AuxID(row, kAuxRowId);
        if (cell.IsNumber() && static_cast<RowId>(cell.AsNumber()) == pId) return row;
    }
    return -1;
}

void ListViewRows::Insert(std::int32_t pIndex, const BatchRow& pRow) {
    std::int32_t index = pIndex;
    // Each cell on its own, as the list's own steps are: with errors
    // trapped, a value that does not fit leaves its cell empty.
    Trap([&] {
        if (index < 0 || index >= mList.ItemCount()) index = kLastItem;
        if (index == kLastItem)
            mList.AddItem(1);
        else
            mList.InsertItem(index, 1);
        if (index == kLastItem) index = mList.ItemCount() - 1;
    });
    Trap([&] {
        mList.SetIconType(index, kFileIcon);
        mList.SetAuxID(index, kAuxPath, CellValue(pRow.Path));
        mList.SetAuxID(index, kAuxStart, CellValue(CheckedNarrow<std::int32_t>(pRow.Start)));
        mList.SetAuxID(index, kAuxEnd, CellValue(CheckedNarrow<std::int32_t>(pRow.End)));
        mList.SetAuxID(index, kAuxRowId, CellValue(static_cast<double>(NewRowId())));
        mList.SetValue(index, kColumnTitle, CellValue(pRow.Title));
        if (!pRow.LengthText.empty()) mList.SetValue(index, kColumnLength, CellValue(pRow.LengthText));
    });
}

void ListViewRows::SortByTitle() { mList.ReOrder(kColumnTitle, 1); }

void ListViewRows::ApplyMeasurement(const RowResult& pResult) {
    const std::int32_t row = IndexOf(pResult.Id);
    if (!pResult.Measured || row < 0) return;
    mList.SetValue(row, kColumnLKFS, CellValue(pResult.LKFSText));
    mList.SetValue(row, kColumnPeak, CellValue(pResult.PeakText));
    mList.SetValue(row, kColumnGain, CellValue(pResult.GainText));
    // The mark stays once set: a later run does not clear it.
    if (pResult.Clip) mList.SetDispColor(row, kClipColor);
}

void ListViewRows::ShowCurrent(std::int32_t pIndex) {
    mList.UnSelectAll();
    mList.SetSelectedItem(pIndex);
    mList.SetIsSelected(pIndex, 1);
}

void ListViewRows::SetLocked(bool pLocked) { mList.SetClickDisabled(pLocked ? 1 : 0); }

std::vector<std::string> ListViewRows::SelectedPaths() const {
    std::vector<std::string> paths;
    for (std::int32_t row = 0; row < mList.ItemCount(); ++row)
        if (mList.IsSelected(row) != 0) paths.push_back(mList.AuxID(row, kAuxPath).AsText());
    return paths;
}

void ListViewRows::RemoveSelected() { mList.DeleteSelected(); }

}  // namespace sonivate

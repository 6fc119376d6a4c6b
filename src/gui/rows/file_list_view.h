#pragma once
// The window's file list: the batch's rows kept in the list control's
// model, one row per file, as the operator sees and edits them.
//
// A row: IconType 1; hidden values kAuxPath (the path as given), kAuxStart
// and kAuxEnd (the measurement range in sample frames, fixed when the row is
// made), kAuxRowId (its id, which moves with it when the list is sorted or
// dragged); columns title, length of the range, LKFS, peak and gain. The core
// reads a row from these cells and writes its figures back into them.

#include <cstdint>

#include "app/batch_rows.h"
#include "controls/model/list_view_model.h"

namespace sonivate {

// Columns and hidden values of a row.
inline constexpr std::int32_t kColumnTitle = 0;
inline constexpr std::int32_t kColumnLength = 1;
inline constexpr std::int32_t kColumnLKFS = 2;
inline constexpr std::int32_t kColumnPeak = 3;
inline constexpr std::int32_t kColumnGain = 4;
inline constexpr std::int32_t kFileListColumns = 5;
inline constexpr std::int32_t kAuxPath = 0;
inline constexpr std::int32_t kAuxStart = 1;
inline constexpr std::int32_t kAuxEnd = 2;
// The row's id (BatchRows::IdAt), given when the row is listed.
inline constexpr std::int32_t kAuxRowId = 3;
inline constexpr std::int32_t kFileListAux = 4;
inline constexpr std::int32_t kFileIcon = 1;

// Captions and widths of the columns (twips at layout scale 1), and the
// list's font size (points at layout scale 1).
struct FileListColumn {
    const char* Caption;
    std::int32_t WidthTwips;
};
inline constexpr FileListColumn kFileListColumnSetup[kFileListColumns] = {
    {"タイトル", 3900}, {"長さ", 1390}, {"LKFS", 1240}, {"ピークdBFS", 1240}, {"加減値dB", 1240}};
inline constexpr float kFileListFontPoints = 10.0F;

// DispColor of a row whose gain would clip: pure red (0x00BBGGRR).
inline constexpr std::int32_t kClipColor = 255;

// Configures the list for files: five columns with their captions and
// widths (twips, times pSizeRate), three hidden values, an empty list.
void ConfigureFileList(ListViewModel& pList, double pSizeRate = 1.0);

// The batch's rows as the list model holds them. The model must outlive it.
class ListViewRows final : public BatchRows {
public:
    explicit ListViewRows(ListViewModel& pList) : mList(pList) {}
    std::int32_t Count() const override { return mList.ItemCount(); }
    BatchRow Row(std::int32_t pIndex) const override;
    // A row listed by other means than Insert gets its id when first asked.
    RowId IdAt(std::int32_t pIndex) const override;
    std::int32_t IndexOf(RowId pId) const override;
    void Insert(std::int32_t pIndex, const BatchRow& pRow) override;
    void SortByTitle() override;
    void ApplyMeasurement(const RowResult& pResult) override;
    void ShowCurrent(std::int32_t pIndex) override;
    void SetLocked(bool pLocked) override;
    std::vector<std::string> SelectedPaths() const override;
    void RemoveSelected() override;

private:
    ListViewModel& mList;
};

}  // namespace sonivate

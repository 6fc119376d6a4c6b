#pragma once
// The window's list beyond the file list's five columns: the optional
// figures (true peak, loudness range, max short-term, the surround
// downmix's true peak) and the verdict
// under the delivery profile, computed from the rows when shown and offered
// in the list's own header menu, and the profile itself (chosen from the
// list's menu, stored with the columns shown).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/delivery_profile.h"
#include "app/measurement_run.h"

class QLabel;
class QWidget;

namespace sonivate {

class CellValue;
class UC_ListView;
class WindowChoices;
class WindowRows;

// Columns of the window's list after the file list's five: off by default,
// turned on from the header's menu.
inline constexpr std::int32_t kColumnTruePeak = 5;      // dBTP
inline constexpr std::int32_t kColumnLRA = 6;           // LU
inline constexpr std::int32_t kColumnMaxShortTerm = 7;  // LKFS
// The BS.775 stereo downmix's true peak of a 5.1 or 7.1 file (dBTP; empty
// for other layouts).
inline constexpr std::int32_t kColumnDownmixTruePeak = 8;
inline constexpr std::int32_t kColumnVerdict = 9;  // the copy's verdict under the profile
inline constexpr std::int32_t kWindowColumns = 10;
// The profile setting of no profile.
inline constexpr const char* kProfileNone = "none";

class ListColumns {
public:
    // pRunning answers whether a run is in progress; pOwner: the window
    // the menus and message boxes belong to.
    ListColumns(UC_ListView& pList, WindowRows& pRows, WindowChoices& pChoices, std::function<bool()> pRunning,
                QWidget* pOwner);
    ~ListColumns();
    ListColumns(const ListColumns&) = delete;
    ListColumns& operator=(const ListColumns&) = delete;

    // The list's columns and hidden values, between its Init and its
    // InitTab: the file list's five and the optional ones, hidden.
    static void SetUp(UC_ListView& pList, float pSizeRate);

    // The profile the rows are judged against (empty: none), and the
    // setting it came from ("none", a built-in name or a file's path).
    const std::optional<DeliveryProfile>& Profile() const { return mProfile; }
    const std::string& ProfileSetting() const { return mProfileSetting; }
    // "none", a built-in name or a profile file's path: the rows are judged
    // again, and a profile sets the target box (not during a run). A file
    // that cannot be used is told and changes nothing (false).
    bool ChooseProfile(const std::string& pSetting);

    void ShowColumn(std::int32_t pColumn, bool pShown);
    bool ColumnShown(std::int32_t pColumn) const;
    // Row pRow has its measurement pResult: kept for the row, its optional
    // columns shown from it.
    void ShowFigures(std::int32_t pRow, const RowResult& pResult);
    // The optional column pColumn of row pRow, computed from what the row
    // keeps whenever the list reads it: figures and verdict are never
    // stored in the list's cells.
    CellValue Cell(std::int32_t pRow, std::int32_t pColumn) const;
    // The verdict's summary for the verdict column's tooltip ("" none).
    std::string VerdictToolTip(std::int32_t pRow) const;

    // The line that always shows the active profile and, once rows are
    // judged, how many of the listed rows' copies pass ("ARIB TR-B32: 28/30
    // 合格"); the label it is shown in, kept up to date from then on.
    std::string ProfileLineText() const;
    void SetProfileLine(QLabel* pLine);
    void UpdateProfileLine();

    // The columns shown and the profile from the settings; the status text
    // when the stored profile cannot be used ("" otherwise).
    std::string Load();
    void Store() const;

private:
    void JudgeRows();

    UC_ListView& mList;
    WindowRows& mRows;
    WindowChoices& mChoices;
    std::function<bool()> mRunning;
    QWidget* mOwner;
    std::optional<DeliveryProfile> mProfile;
    std::string mProfileSetting;
    QLabel* mProfileLine = nullptr;
};

}  // namespace sonivate

#include "gui/list_columns.h"

#include <cmath>
#include <string_view>
#include <utility>

#include <QLabel>

#include "app/run_report.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/settings_store.h"
#include "controls/model/cell_value.h"
#include "controls/widgets/uc_list_view.h"
#include "gui/details/verdict_texts.h"
#include "gui/guarded.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_choices.h"
#include "gui/window_rows.h"
#include "uikit/message_box.h"
#include "uikit/ui_language.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// The delivery profile ("none", a built-in name or a profile file's path)
// and the optional columns shown (their names, comma-separated).
constexpr const char* kKeyProfile = "Profile";
constexpr const char* kKeyColumns = "Columns";

// The optional columns: their setting names, captions and widths (twips at
// layout scale 1), and the decimals of their figures.
struct OptionalColumn {
    std::int32_t Column;
    const char* Name;
    const char* Caption;
    const char* MenuText;
    std::int32_t WidthTwips;
};
constexpr const char* kTr = "ListColumns";
constexpr OptionalColumn kOptionalColumns[] = {
    {kColumnTruePeak, "true_peak", "TPdBTP", QT_TRANSLATE_NOOP("ListColumns", "トゥルーピーク (dBTP)"), 1240},
    {kColumnLRA, "lra", "LRA", QT_TRANSLATE_NOOP("ListColumns", "ラウドネスレンジ (LU)"), 900},
    {kColumnMaxShortTerm, "max_short_term", QT_TRANSLATE_NOOP("ListColumns", "ST最大LKFS"),
     QT_TRANSLATE_NOOP("ListColumns", "最大ショートターム (LKFS)"), 1390},
    {kColumnDownmixTruePeak, "downmix_true_peak", QT_TRANSLATE_NOOP("ListColumns", "ダウンミックスTP"),
     QT_TRANSLATE_NOOP("ListColumns", "ダウンミックスのトゥルーピーク (dBTP)"), 1700},
    {kColumnVerdict, "verdict", QT_TRANSLATE_NOOP("ListColumns", "判定"),
     QT_TRANSLATE_NOOP("ListColumns", "判定（配信基準）"), 900},
};
// The captions of the file list's own columns (kFileListColumnSetup, which
// is Qt-free), as the translations know them.
constexpr const char* kFileListCaptions[kFileListColumns] = {
    QT_TRANSLATE_NOOP("ListColumns", "タイトル"), QT_TRANSLATE_NOOP("ListColumns", "長さ"), "LKFS",
    QT_TRANSLATE_NOOP("ListColumns", "ピークdBFS"), QT_TRANSLATE_NOOP("ListColumns", "加減値dB")};
constexpr bool CaptionsAgree() {
    for (std::int32_t c = 0; c < kFileListColumns; ++c)
        if (std::string_view(kFileListCaptions[c]) != kFileListColumnSetup[c].Caption) return false;
    return true;
}
static_assert(CaptionsAgree(), "the translated captions are the file list's own");
constexpr std::int32_t kFigureDecimals = 2;
constexpr std::int32_t kRangeDecimals = 1;

// The verdict cell of a row without a copy.
constexpr const char* kNoCopyVerdict = "—";
// The verdict's tooltip in a run that wrote nothing: the copy it judges is
// only the one that would be written.
constexpr const char* kTipProjected = QT_TRANSLATE_NOOP("ListColumns", "書き出した場合の判定 ");
constexpr const char* kMessageProfileFile = QT_TRANSLATE_NOOP("ListColumns", "配信基準ファイルを使えません。");
constexpr const char* kStatusProfileMissing =
    QT_TRANSLATE_NOOP("ListColumns", "配信基準ファイルを読めないため、配信基準なしで始めます: ");

// The profile line: no profile; a profile before any row is judged (%1: its
// name); the copies that pass among the rows listed (%2 of %3).
constexpr const char* kLineProfileNone = QT_TRANSLATE_NOOP("ListColumns", "配信基準: なし");
constexpr const char* kLineProfile = QT_TRANSLATE_NOOP("ListColumns", "配信基準: %1");
constexpr const char* kLineProfileCounts = QT_TRANSLATE_NOOP("ListColumns", "%1: %2/%3 合格");

// The profile a setting names: none, a built-in one, or a profile file.
// False with pError set when the file cannot be used.
bool ProfileOfSetting(const std::string& pSetting, std::optional<DeliveryProfile>& pProfile, std::string& pError) {
    pProfile.reset();
    if (pSetting.empty() || pSetting == kProfileNone) return true;
    if (std::optional<DeliveryProfile> builtIn = BuiltInProfile(pSetting)) {
        pProfile = std::move(builtIn);
        return true;
    }
    pProfile = LoadProfileFile(pSetting, pError);
    return pProfile.has_value();
}

const OptionalColumn* OptionalColumnOf(std::int32_t pColumn) {
    for (const OptionalColumn& column : kOptionalColumns)
        if (column.Column == pColumn) return &column;
    return nullptr;
}

std::string FigureText(const std::optional<double>& pValue, std::int32_t pDecimals) {
    return pValue && std::isfinite(*pValue) ? FormatFixed(*pValue, pDecimals) : std::string();
}

}  // namespace

ListColumns::ListColumns(UC_ListView& pList, WindowRows& pRows, WindowChoices& pChoices, std::function<bool()> pRunning,
                         QWidget* pOwner)
    : mList(pList), mRows(pRows), mChoices(pChoices), mRunning(std::move(pRunning)), mOwner(pOwner) {
    std::vector<std::int32_t> computed;
    std::vector<UC_ListView::HideableColumn> hideable;
    for (const OptionalColumn& column : kOptionalColumns) {
        computed.push_back(column.Column);
        hideable.push_back({column.Column, TrQ(kTr, column.MenuText), QString::fromUtf8(column.Name)});
    }
    mList.SetHideableColumns(std::move(hideable));
    mList.Model().SetComputedColumns(std::move(computed),
                                     [this](std::int32_t pRow, std::int32_t pColumn) { return Cell(pRow, pColumn); });
}

ListColumns::~ListColumns() { mList.Model().SetComputedColumns({}, nullptr); }

CellValue ListColumns::Cell(std::int32_t pRow, std::int32_t pColumn) const {
    const RowResult* kept = mRows.Measurement(pRow);
    if (kept == nullptr) return CellValue();
    if (pColumn == kColumnVerdict) {
        // Drawn often: the kept result itself unless an earlier run made it
        // (then as the last run left it, without that run's copy).
        std::optional<RowResult> earlier;
        if (!mRows.MeasuredInLastRun(pRow)) earlier = mRows.LastRunResult(pRow);
        const std::optional<FileVerdicts> verdicts =
            RowVerdicts(earlier ? &*earlier : kept, mProfile ? &*mProfile : nullptr);
        // A row with no copy has no copy to judge.
        return CellValue(verdicts && !verdicts->HasOutput ? std::string(kNoCopyVerdict)
                                                          : VerdictWord(ReportVerdict(verdicts, true).Kind));
    }
    if (!kept->Broadcast) return CellValue(std::string());
    const BroadcastFigures& figures = *kept->Broadcast;
    switch (pColumn) {
        case kColumnTruePeak:
            return CellValue(FigureText(figures.TruePeak, kFigureDecimals));
        case kColumnLRA:
            return CellValue(FigureText(figures.LoudnessRange, kRangeDecimals));
        case kColumnMaxShortTerm:
            return CellValue(FigureText(figures.MaxShortTerm, kFigureDecimals));
        case kColumnDownmixTruePeak:
            return CellValue(FigureText(figures.DownmixTruePeak, kFigureDecimals));
        default:
            return CellValue();
    }
}

void ListColumns::SetUp(UC_ListView& pList, float pSizeRate) {
    pList.SetNumData(kWindowColumns);
    pList.SetNumAux(kFileListAux);
    pList.SetUseUCBar(1);
    pList.SetShowToolTip(1);
    pList.Init();
    for (std::int32_t c = 0; c < kFileListColumns; ++c) {
        pList.SetTabName(c, TrText(kTr, kFileListCaptions[c]));
        pList.SetTabWidth(c, ScaledTwips(kFileListColumnSetup[c].WidthTwips, pSizeRate));
    }
    // The optional columns come after the five and stay hidden until chosen.
    for (const OptionalColumn& column : kOptionalColumns) {
        pList.SetTabName(column.Column, TrText(kTr, column.Caption));
        pList.SetTabWidth(column.Column, ScaledTwips(column.WidthTwips, pSizeRate));
        pList.SetTabHidden(column.Column, 1);
    }
    // The figures sort as numbers, the title and the length as text.
    for (const std::int32_t c : {kColumnLKFS, kColumnPeak, kColumnGain, kColumnTruePeak, kColumnLRA,
                                 kColumnMaxShortTerm, kColumnDownmixTruePeak})
        pList.SetColumnSortNumeric(c, true);
}

bool ListColumns::ChooseProfile(const std::string& pSetting) {
    std::optional<DeliveryProfile> profile;
    std::string error;
    if (!ProfileOfSetting(pSetting, profile, error)) {
        OwnerMessageBox(TrText(kTr, kMessageProfileFile) + kLineBreak + error, kMbOk | kMbIconExclamation, "", mOwner);
        return false;
    }
    mProfile = std::move(profile);
    mProfileSetting = mProfile ? pSetting : std::string(kProfileNone);
    // A delivery standard names its target; the operator may still change it.
    if (mProfile && !mRunning()) mChoices.SetTarget(mProfile->target);
    JudgeRows();
    UpdateProfileLine();
    return true;
}

bool ListColumns::ColumnShown(std::int32_t pColumn) const {
    return OptionalColumnOf(pColumn) != nullptr && mList.TabHidden(pColumn) == 0;
}

void ListColumns::ShowColumn(std::int32_t pColumn, bool pShown) {
    if (OptionalColumnOf(pColumn) != nullptr) mList.ShowColumn(pColumn, pShown);
}

void ListColumns::ShowFigures(std::int32_t pRow, const RowResult& pResult) {
    mRows.Keep(pRow, pResult);
    mList.Model().CellsChanged(pRow);
}

std::string ListColumns::ProfileLineText() const {
    if (!mProfile) return TrText(kTr, kLineProfileNone);
    const QString name = Q(ProfileDisplayName(mProfile->name));
    std::int32_t judged = 0;
    std::int32_t passed = 0;
    for (std::int32_t row = 0; row < mRows.Count(); ++row) {
        const std::optional<RowResult> result = mRows.LastRunResult(row);
        if (!result) continue;
        const std::optional<FileVerdicts> verdicts = RowVerdicts(&*result, &*mProfile);
        if (!verdicts || !verdicts->HasOutput) continue;
        ++judged;
        if (verdicts->output.pass) ++passed;
    }
    if (judged == 0) return TrQ(kTr, kLineProfile).arg(name).toStdString();
    // Out of every row listed: a row without a copy is one not delivered.
    return TrQ(kTr, kLineProfileCounts).arg(name).arg(passed).arg(mRows.Count()).toStdString();
}

void ListColumns::SetProfileLine(QLabel* pLine) {
    mProfileLine = pLine;
    UpdateProfileLine();
}

void ListColumns::UpdateProfileLine() {
    if (mProfileLine != nullptr) mProfileLine->setText(Q(ProfileLineText()));
}

// The verdicts follow the profile: a new choice judges every measured row again.
void ListColumns::JudgeRows() {
    mList.Model().CellsChanged(-1);
    mList.ReDraw();
}

std::string ListColumns::VerdictToolTip(std::int32_t pRow) const {
    const std::optional<RowResult> result = mRows.LastRunResult(pRow);
    if (!mProfile || !result) return {};
    const std::optional<FileVerdicts> verdicts = RowVerdicts(&*result, &*mProfile);
    if (!verdicts || !verdicts->HasOutput) return {};
    const std::string projected = result->Copy == CopyState::Projected ? TrText(kTr, kTipProjected) : std::string();
    return projected + ProfileDisplayName(mProfile->name) + ": " +
           VerdictSummary(ReportVerdict(verdicts, true), ReportBand(*mProfile), verdicts->output.notes);
}

std::string ListColumns::Load() {
    std::string columns;
    Trap([&] { columns = LoadSetting(kKeyColumns, ""); });
    for (const OptionalColumn& column : kOptionalColumns) {
        const std::string name = std::string(",") + column.Name + ",";
        if (("," + columns + ",").find(name) != std::string::npos) mList.SetTabHidden(column.Column, 0);
    }
    std::string setting = kProfileNone;
    Trap([&] { setting = LoadSetting(kKeyProfile, kProfileNone); });
    std::string error;
    if (ProfileOfSetting(setting, mProfile, error)) {
        mProfileSetting = mProfile ? setting : std::string(kProfileNone);
        UpdateProfileLine();
        return {};
    }
    // A profile file gone since the last start: the window starts without one and says so.
    mProfileSetting = kProfileNone;
    UpdateProfileLine();
    return TrText(kTr, kStatusProfileMissing) + setting;
}

void ListColumns::Store() const {
    std::string columns;
    for (const OptionalColumn& column : kOptionalColumns)
        if (ColumnShown(column.Column)) columns += (columns.empty() ? "" : ",") + std::string(column.Name);
    Trap([&] { StoreSetting(kKeyColumns, columns); });
    Trap([&] { StoreSetting(kKeyProfile, mProfileSetting); });
}

}  // namespace sonivate

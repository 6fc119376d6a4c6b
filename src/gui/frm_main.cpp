#include "gui/frm_main.h"

#include "gui/details/frm_details.h"
#include "gui/details/verdict_texts.h"
#include "gui/second_start.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <utility>

#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QApplication>
#include <QDataStream>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QActionGroup>
#include <QMenu>
#include <QResizeEvent>
#include <QMetaObject>
#include <QScreen>
#include <QShortcut>
#include <QMimeData>
#include <QPainter>
#include <QTimer>

#include "app/run_report.h"
#include "common/decimal_text.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/numeric.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "controls/model/cell_value.h"
#include "controls/widgets/list_icons.h"
#include "controls/widgets/uc_bar.h"
#include "controls/widgets/uc_buttons.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_list_view.h"
#include "controls/widgets/uc_path_text.h"
#include "controls/widgets/uc_text_picture.h"
#include "uikit/dialogs.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/layout.h"
#include "uikit/message_box.h"
#include "uikit/monitors.h"
#include "uikit/ui_metrics.h"
#include "platform/small_file.h"
#include "platform/file_names.h"

namespace sonivate {
namespace {

// Settings keys and their first-start defaults.
constexpr const char* kKeySizeRate = "SizeRate";
constexpr const char* kKeyMesureFrom = "MesureFrom";
constexpr const char* kKeyMesureTo = "MesureTo";
constexpr const char* kKeyTargetLKFS = "TargetLKFS";
constexpr const char* kKeyWavOutput = "WavOutput";
constexpr const char* kKeySoundPath = "SoundPath";
constexpr const char* kKeyNoClip = "NoClip";
// Beyond the list's own choices: the delivery profile ("none", a built-in
// name or a profile file's path), the optional columns shown (their names,
// comma-separated), the copies' bext loudness fields (keep, update,
// upgrade) and the inner size of a window made larger (twips; the design
// size when absent).
constexpr const char* kKeyProfile = "Profile";
constexpr const char* kKeyColumns = "Columns";
constexpr const char* kKeyBextLoudness = "BextLoudness";
constexpr const char* kKeyInnerWidth = "InnerWidth";
constexpr const char* kKeyInnerHeight = "InnerHeight";
constexpr const char* kProfileNone = "none";
constexpr const char* kDefaultTarget = "-24.0";
constexpr std::int32_t kDefaultWavOutput = 0;
constexpr std::int32_t kDefaultNoClip = 1;
constexpr double kDefaultSizeRate = 1.0;

// Start-up options (also written with a leading "/").
constexpr const char* kOptionAltFont = "AltFont=";
constexpr const char* kOptionSizeRate = "SizeRate=";
// AltFont=1 asks for this face.
constexpr std::int32_t kAltFontMeiryo = 1;

// The window's font and the controls' fonts, points at layout scale 1.
constexpr float kWindowFontPoints = 9.0f;

// Design geometry, twips at layout scale 1 (left, top, width, height).
constexpr TwipsRect kDesignLV{120, 180, 9405, 4200};
constexpr TwipsRect kDesignPictureInfo{165, 4575, 9405, 315};
constexpr TwipsRect kDesignProgBar{150, 4935, 9405, 255};
constexpr TwipsRect kDesignComboFrom{1380, 5340, 1725, 300};
constexpr TwipsRect kDesignComboTo{5385, 5295, 1725, 300};
constexpr TwipsRect kDesignTextTarget{1380, 6120, 945, 270};
constexpr TwipsRect kDesignCheckWavOutput{495, 6630, 330, 270};
constexpr TwipsRect kDesignTextSoundPath{1380, 6975, 4590, 300};
constexpr TwipsRect kDesignCheckNoClip{1395, 7365, 330, 270};
constexpr TwipsRect kDesignCtrButtons{7140, 7215, 2370, 375};

// Gaps and positions of the placement, twips at layout scale 1.
constexpr std::int32_t kGapBelowList = 90;
constexpr std::int32_t kGapBelowStatus = 30;
constexpr std::int32_t kGapBelowBar = 90;
constexpr std::int32_t kGapBetweenRanges = 360;
constexpr std::int32_t kGapBelowRange = 90;
constexpr std::int32_t kGapBelowTarget = 360;
constexpr std::int32_t kGapBelowSoundPath = 90;
constexpr std::int32_t kGapBelowWavOutput =
    kDesignTextSoundPath.Top - (kDesignCheckWavOutput.Top + kDesignCheckWavOutput.Height);
constexpr std::int32_t kChoicesLeft = 1200;
constexpr std::int32_t kCheckWavOutputLeft = 450;
constexpr std::int32_t kStatusTextLeft = 120;
constexpr std::int32_t kSoundPathTextHeight = 330;
// The frame around the output options: its left edge, how far it reaches
// past the folder box, and above and below the check boxes.
constexpr std::int32_t kFrameLeft = 300;
constexpr std::int32_t kFrameRightMargin = 300;
constexpr std::int32_t kFrameVerticalMargin = 120;

// The window background's gradient design.
constexpr std::int32_t kBackgroundDesign = 14;
// PrintLabelAt positions: left of the control, right of it (both centred vertically).
constexpr std::int32_t kLabelLeft = 6;
constexpr std::int32_t kLabelRight = 7;
// Colour sets of the status line.
constexpr std::int32_t kColourSetIdle = 0;
constexpr std::int32_t kColourSetRunning = 1;
// The button strip's design.
constexpr std::int32_t kButtonDesign = 1;
constexpr std::int16_t kButtonCount = 2;
constexpr const char* kCaptionStop = "中止";
constexpr const char* kCaptionStart = "開始";
constexpr const char* kCaptionWavOutput = "wav出力";
constexpr const char* kCaptionNoClip = "クリップ回避";
constexpr const char* kLabelTarget = "ターゲット値";
constexpr const char* kLabelLKFS = "LKFS";
constexpr const char* kLabelRange = "対象範囲";
constexpr const char* kLabelRangeTo = "～";
constexpr const char* kLabelOutput = "出力先";

// Hidden values of a row kept by the window only, after the three of the
// file list: what the last run made of the row (a RowOutcome and its text),
// and the markers it lacks. They move with the row through sorts and removals.
constexpr std::int32_t kAuxOutcome = kFileListAux;
constexpr std::int32_t kAuxOutcomeText = kFileListAux + 1;
constexpr std::int32_t kAuxMarkerNote = kFileListAux + 2;
// The key of the row's last measurement in the window's results.
constexpr std::int32_t kAuxResultKey = kFileListAux + 3;
constexpr std::int32_t kWindowAux = kFileListAux + 4;

// The optional columns: their setting names, captions and widths (twips at
// layout scale 1), and the decimals of their figures.
struct OptionalColumn {
    std::int32_t Column;
    const char* Name;
    const char* Caption;
    const char* MenuText;
    std::int32_t WidthTwips;
};
constexpr OptionalColumn kOptionalColumns[] = {
    {kColumnTruePeak, "true_peak", "TPdBTP", "トゥルーピーク (dBTP)", 1240},
    {kColumnLRA, "lra", "LRA", "ラウドネスレンジ (LU)", 900},
    {kColumnMaxShortTerm, "max_short_term", "ST最大LKFS", "最大ショートターム (LKFS)", 1390},
    {kColumnVerdict, "verdict", "判定", "判定（配信基準）", 900},
};
constexpr std::int32_t kFigureDecimals = 2;
constexpr std::int32_t kRangeDecimals = 1;

// The context menu of the list and its profile choices.
constexpr const char* kMenuDetails = "詳細を表示...";
constexpr const char* kMenuRemove = "選択した行を削除";
constexpr const char* kMenuClear = "リストをクリア";
constexpr const char* kMenuRelist = "選択したファイルを現在の範囲で読み直す";
constexpr const char* kMenuProfile = "配信基準";
constexpr const char* kMenuProfileNone = "なし";
constexpr const char* kMenuProfileFile = "ファイルから...";
constexpr const char* kMenuSaveReport = "レポートを保存...";
constexpr const char* kMenuBext = "出力のBWFラウドネス値";
struct BextChoice {
    BextLoudnessMode Mode;
    const char* Text;
};
constexpr BextChoice kBextChoices[] = {
    {BextLoudnessMode::Update, "出力に合わせて書き換える（バージョン2以降）"},
    {BextLoudnessMode::Upgrade, "バージョン2にして書き込む"},
    {BextLoudnessMode::Keep, "元ファイルのまま"},
};
constexpr const char* kProfileFileFilter = "配信基準ファイル|*.ini;*.json;*.txt|すべて|*";
constexpr const char* kReportFilter = "PDF|*.pdf|HTML|*.html|CSV|*.csv";
constexpr const char* kReportFileName = "sonivate-report.pdf";
constexpr const char* kReportDefaultExtension = ".pdf";
constexpr const char* kMessageProfileFile = "配信基準ファイルを使えません。";
constexpr const char* kMessageReportFailed = "レポートを保存できませんでした。";
constexpr const char* kStatusReportSaved = "レポートを保存しました: ";
constexpr const char* kStatusProfileMissing = "配信基準ファイルを読めないため、配信基準なしで始めます: ";

// Messages of the window.
// A target no programme can sensibly be brought to (outside -60 to 0 LKFS).
constexpr const char* kMessageTargetOutOfRange = "ターゲット値は -60 から 0 LKFS の範囲で入力してください";
constexpr const char* kMessageTargetNotNumber =
    "ターゲット値が数値ではありません。半角の数字で入力してください（例: -24.0）。";
constexpr const char* kMessageFolderMissing = "出力先のフォルダがありません。作成しますか？";
constexpr const char* kMessageFolderNotMade = "出力先のフォルダを作成できませんでした。";
constexpr const char* kMessageBusy = "処理中のため、ファイルを追加できません。終了してから追加してください。";
constexpr const char* kLineBreak = "\r\n";

// Outcome texts of a row (the reasons themselves come from ReasonText).
constexpr const char* kOutcomeWritten = "書き出しました";
constexpr const char* kOutcomeWrittenClipping = "書き出しました（ピークが0dBFSを超えます）";
constexpr const char* kOutcomeMeasuredOnly = "計測しました（wav出力はオフです）";
constexpr const char* kOutcomeNotReached = "この実行では計測していません";
// The verdict cell of a row without a copy.
constexpr const char* kNoCopyVerdict = "—";
constexpr const char* kNoteStartMissing = "のマーカーがないため、ファイル先頭から計測します";
constexpr const char* kNoteEndMissing = "のマーカーがないため、ファイル終端まで計測します";

// Status texts of a run.
constexpr const char* kStatusTimeLeft = " 残り約";
constexpr const char* kStatusWritten = " 書き出し ";
constexpr const char* kStatusMeasuredOnly = "・計測のみ ";
constexpr const char* kStatusSkipped = "・スキップ ";
constexpr const char* kStatusFailed = "・失敗 ";
constexpr const char* kStatusCountUnit = "件";
constexpr const char* kStatusStopped = "（中止）";

// Room a desktop's frame takes around the inner area, logical pixels, and
// the step by which a SizeRate too large for the screen comes down.
constexpr int kFrameAllowanceWidth = 16;
constexpr int kFrameAllowanceHeight = 48;
constexpr float kSizeRateStep = 0.05f;

constexpr std::int32_t kSecondsPerMinute = 60;
constexpr std::int32_t kSecondsPerHour = 3600;

double SteadyClockSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// "m:ss" or "h:mm:ss".
std::string ClockText(double pSeconds) {
    const auto total = static_cast<std::int64_t>(std::ceil(std::max(0.0, pSeconds)));
    const std::int64_t hours = total / kSecondsPerHour;
    const std::int64_t minutes = (total % kSecondsPerHour) / kSecondsPerMinute;
    const std::int64_t seconds = total % kSecondsPerMinute;
    const auto two = [](std::int64_t pValue) { return (pValue < 10 ? "0" : "") + std::to_string(pValue); };
    if (hours > 0) return std::to_string(hours) + ":" + two(minutes) + ":" + two(seconds);
    return std::to_string(minutes) + ":" + two(seconds);
}

RowOutcome OutcomeOf(const RowResult& pResult) {
    if (!pResult.SourceFound) return RowOutcome::Failed;
    if (pResult.Written) return RowOutcome::Written;
    switch (pResult.Reason) {
        case RowReason::None:
            return pResult.Measured && !pResult.WriteAttempted ? RowOutcome::MeasuredOnly : RowOutcome::Failed;
        case RowReason::Stopped:
            return RowOutcome::Stopped;
        case RowReason::WouldClip:
        case RowReason::TooQuiet:
        case RowReason::SurroundNotWritten:
        case RowReason::OtherFileHasName:
        case RowReason::NameUsedInRun:
        case RowReason::HardLinked:
        case RowReason::Locked:
        case RowReason::SourceInUse:
        case RowReason::SourceOfRun:
        case RowReason::TargetExists:
            return RowOutcome::Skipped;
        default:
            return RowOutcome::Failed;
    }
}

// A reason in the window's language, with the cause of a failed write.
std::string WindowReasonText(RowReason pReason, int pError) {
    if (pReason == RowReason::None) return {};
    std::string text = ReasonText(pReason, MessageLanguage::Japanese);
    if (pReason == RowReason::WriteFailed && pError != 0) text += std::string("（") + std::strerror(pError) + "）";
    return text;
}

std::string OutcomeText(const RowResult& pResult) {
    if (!pResult.SourceFound) return ReasonText(RowReason::Missing, MessageLanguage::Japanese);
    if (pResult.Written) return std::string(pResult.Clip ? kOutcomeWrittenClipping : kOutcomeWritten);
    if (pResult.Reason == RowReason::None) {
        return pResult.Measured ? kOutcomeMeasuredOnly : ReasonText(RowReason::NotMeasured, MessageLanguage::Japanese);
    }
    return WindowReasonText(pResult.Reason, pResult.WriteError);
}

std::int32_t IconOf(RowOutcome pOutcome) {
    switch (pOutcome) {
        case RowOutcome::Written:
        case RowOutcome::MeasuredOnly:
            return kListIconDone;
        case RowOutcome::Skipped:
            return kListIconSkipped;
        case RowOutcome::Failed:
            return kListIconFailed;
        case RowOutcome::Stopped:
            return kListIconStopped;
        default:
            return kFileIcon;
    }
}

// Outcomes kept in a row's hidden value as their number.
RowOutcome OutcomeFromNumber(double pNumber) {
    const auto value = static_cast<int>(pNumber);
    if (value < static_cast<int>(RowOutcome::None) || value > static_cast<int>(RowOutcome::NotReached))
        return RowOutcome::None;
    return static_cast<RowOutcome>(value);
}

// The text after pPrefix (also written "/" + pPrefix) when pArgument starts with it.
bool OptionText(const std::string& pArgument, const std::string& pPrefix, std::string& pValue) {
    for (const std::string& lead : {pPrefix, "/" + pPrefix}) {
        if (pArgument.compare(0, lead.size(), lead) == 0) {
            pValue = pArgument.substr(lead.size());
            return true;
        }
    }
    return false;
}

// The value of the first argument that is the option pPrefix.
bool OptionValue(const std::vector<std::string>& pArguments, const std::string& pPrefix, std::string& pValue) {
    for (const std::string& argument : pArguments) {
        if (OptionText(argument, pPrefix, pValue)) return true;
    }
    return false;
}

bool IsOption(const std::string& pArgument) {
    std::string value;
    return OptionText(pArgument, kOptionAltFont, value) || OptionText(pArgument, kOptionSizeRate, value);
}

// The path arguments in their order. Absolute paths are taken as they are; a
// relative one is taken when it names something in the folder the program was
// started from (a shell's "sonivate *.wav"), made absolute before the
// application folder becomes the current folder.
// pWorkingFolder: the folder relative paths start from ("" = the current one).
std::vector<std::string> PathArguments(const std::vector<std::string>& pArguments,
                                       const std::string& pWorkingFolder = "") {
    std::vector<std::string> paths;
    for (const std::string& argument : pArguments) {
        if (argument.empty() || IsOption(argument)) continue;
        if (argument.front() == '/') {
            paths.push_back(argument);
        } else if (!pWorkingFolder.empty()) {
            const std::string joined = SetTrailingSeparator(pWorkingFolder, 0) + argument;
            if (platform::KindOfName(joined, true) != platform::NameKind::Missing) paths.push_back(joined);
        } else if (platform::KindOfName(argument, true) != platform::NameKind::Missing) {
            const std::string absolute = AbsolutePath(argument);
            if (!absolute.empty()) paths.push_back(absolute);
        }
    }
    return paths;
}

std::int32_t ToInt(const std::string& pText) {
    const std::optional<std::int32_t> value = CellValue(pText).AsInt32();
    return value.value_or(0);
}

QString Q(const std::string& pText) { return QString::fromStdString(pText); }

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

// The report's file name with a known extension (a PDF when none was given).
std::string ReportPathWithExtension(const std::string& pPath) {
    const std::string lower = AsciiLower(pPath);
    for (const char* extension : {".pdf", ".html", ".htm", ".csv"}) {
        const std::string ending(extension);
        if (lower.size() > ending.size() && lower.compare(lower.size() - ending.size(), ending.size(), ending) == 0)
            return pPath;
    }
    return pPath + kReportDefaultExtension;
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------

FrmMain::FrmMain(FrmMainStartup pStartup, QWidget* pParent) : QWidget(pParent) {
    c_Arguments = pStartup.Arguments;
    c_Clock = pStartup.Clock ? pStartup.Clock : SteadyClockSeconds;
    // Before the current folder changes: relative paths name files of the
    // folder the program was started from.
    c_Paths = PathArguments(c_Arguments);
    DecideProcessSettings(pStartup);
    Trap([&] { ReadOptions(); });
    Trap([&] {
        if (c_AltFont == 0) SelectUIFont();
    });
    Trap([&] {
        if (c_SizeRate == 0.0f) {
            c_SizeRate = static_cast<float>(CellValue(LoadSetting(kKeySizeRate, kDefaultSizeRate)).AsNumber());
        }
    });
    // Not at least the minimum includes a value that is no number (NaN).
    if (!(c_SizeRate >= kMinSizeRate)) c_SizeRate = kMinSizeRate;
    if (c_SizeRate > kMaxSizeRate) c_SizeRate = kMaxSizeRate;
    Trap([&] { FitSizeRateToScreen(pStartup.ScreenArea); });
    Trap([&] { ScaleWindow(); });
    BuildControls();
    Trap([&] { PrintLabels(); });
    Trap([&] { RecordLayout(); });
    Trap([&] { LoadQcSettings(); });

    c_Executor = std::make_unique<ThreadExecutor>([this](std::function<void()> pTask) {
        // Queued to the window's thread; a task that arrives after the window
        // is gone is dropped with it.
        QMetaObject::invokeMethod(this, std::move(pTask), Qt::QueuedConnection);
    });
    c_Rows = std::make_unique<ListViewRows>(c_LV->Model());
    c_Controller = std::make_unique<BatchController>(*c_Rows, static_cast<RunHost&>(*this), *c_Executor);
    ConnectEvents();
}

FrmMain::~FrmMain() {
    // A window destroyed during a run (not closed) still lets the file in
    // progress end cleanly: its copy is removed, then the worker is joined.
    if (c_Controller) c_Controller->Stop();
    c_Controller.reset();
    c_Executor.reset();
}

void FrmMain::DecideProcessSettings(const FrmMainStartup& pStartup) {
    SetTwipsPerPixel(ScreenTwipsPerPixel());
    c_AppFolder = SetTrailingSeparator(pStartup.AppFolder.empty() ? AppFolder() : pStartup.AppFolder, 0);
    Trap([&] {
        if (pStartup.ChangeCurrentFolder && !platform::ChangeWorkingFolder(c_AppFolder)) {
            // The current folder is only a convenience; nothing depends on it.
        }
    });
    SetAppTitle(kAppTitle);
    SetSettingsFolder(c_AppFolder);
    DecideIniFilePath();
    setWindowTitle(Q(AppTitle()));
    Trap([&] { SetErrorCatch(DecideErrorCatch(ErrorCatchSetting(), c_AppFolder)); });
}

void FrmMain::ReadOptions() {
    if (c_Arguments.empty()) return;
    std::string value;
    if (OptionValue(c_Arguments, kOptionAltFont, value)) {
        const CellValue number(value);
        if (!value.empty() && number.ReadsAsNumber()) {
            c_AltFont = static_cast<std::int32_t>(number.AsNumber());
            if (c_AltFont == kAltFontMeiryo) SetUIFontName(kFaceMeiryo);
        }
    }
    if (OptionValue(c_Arguments, kOptionSizeRate, value)) {
        const CellValue number(value);
        if (!value.empty() && number.ReadsAsNumber() && number.AsNumber() != 0.0) {
            c_SizeRate = static_cast<float>(number.AsNumber());
        }
    }
}

void FrmMain::FitSizeRateToScreen(QSize pArea) {
    if (pArea.isEmpty()) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return;
        pArea = screen->availableGeometry().size();
    }
    const auto fits = [&](float pRate) {
        const int width = static_cast<int>(static_cast<double>(kInnerWidthTwips) * pRate) / TwipsPerPixel();
        const int height = static_cast<int>(static_cast<double>(kInnerHeightTwips) * pRate) / TwipsPerPixel();
        return width + kFrameAllowanceWidth <= pArea.width() && height + kFrameAllowanceHeight <= pArea.height();
    };
    while (c_SizeRate > kMinSizeRate && !fits(c_SizeRate))
        c_SizeRate = std::max(kMinSizeRate, c_SizeRate - kSizeRateStep);
}

std::int32_t FrmMain::Scaled(std::int32_t pTwips) const {
    return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(pTwips) * c_SizeRate));
}

void FrmMain::ScaleWindow() {
    ApplyFont(this, kFontByArguments, nullptr, kWindowFontPoints * c_SizeRate, false, false, "");
    // The inner area keeps its design size times the layout scale, on whole pixels.
    const int width = static_cast<int>(static_cast<double>(kInnerWidthTwips) * c_SizeRate) / TwipsPerPixel();
    const int height = static_cast<int>(static_cast<double>(kInnerHeightTwips) * c_SizeRate) / TwipsPerPixel();
    // The design size is the smallest; a larger window grows the list.
    setMinimumSize(width, height);
    resize(width, height);
}

void FrmMain::BuildControls() {
    Trap([&] { BuildList(); });
    Trap([&] { BuildStatus(); });
    Trap([&] { BuildChoices(); });
    Trap([&] { PaintBackground(); });
    Trap([&] { BuildOutputOptions(); });
    Trap([&] { BuildButtons(); });
}

void FrmMain::BuildList() {
    c_LV = new UC_ListView(this);
    SetTwipsGeometry(*c_LV, kDesignLV);
    ScaleControl(c_SizeRate, *c_LV, false, false, true, 0);
    c_LV->SetNumData(kWindowColumns);
    c_LV->SetNumAux(kWindowAux);
    c_LV->SetUseUCBar(1);
    c_LV->SetShowToolTip(1);
    c_LV->SetToolTipSource([this](std::int32_t pRow, std::int32_t pColumn) { return RowToolTip(pRow, pColumn); });
    c_LV->Init();
    for (std::int32_t c = 0; c < kFileListColumns; ++c) {
        c_LV->SetTabName(c, kFileListColumnSetup[c].Caption);
        c_LV->SetTabWidth(c, Scaled(kFileListColumnSetup[c].WidthTwips));
    }
    // The optional columns come after the five and stay hidden until chosen.
    for (const OptionalColumn& column : kOptionalColumns) {
        c_LV->SetTabName(column.Column, column.Caption);
        c_LV->SetTabWidth(column.Column, Scaled(column.WidthTwips));
        c_LV->SetTabHidden(column.Column, 1);
    }
    c_LV->SetStyle(kFileListFontPoints * c_SizeRate, 0, "", kColorWindowText, kColorWindow);
    c_LV->InitTab();
    c_LV->ReDrawTab(-1);
    c_LV->UserControl_Resize();
}

void FrmMain::BuildStatus() {
    c_PictureInfo = new UC_TextPicture(this);
    SetTwipsGeometry(*c_PictureInfo, kDesignPictureInfo);
    ScaleControl(c_SizeRate, *c_PictureInfo, false, false, true, 0);
    c_PictureInfo->AddStdColorSet(kColourSetIdle);
    c_PictureInfo->AddStdColorSet(kColourSetRunning);
    c_PictureInfo->AddTextSpace(kWindowFontPoints * c_SizeRate, false, false, "", kStatusTextLeft,
                                UC_TextPicture::kCentred);
    c_PictureInfo->Init();
    PlaceNextTo(*c_PictureInfo, *c_LV, kPlaceBelow, Scaled(kGapBelowList), kAlignCopy, 0);

    c_ProgBar = new UC_Bar(this);
    SetTwipsGeometry(*c_ProgBar, kDesignProgBar);
    ScaleControl(c_SizeRate, *c_ProgBar, false, false, true, 0);
    c_ProgBar->Init();
    PlaceNextTo(*c_ProgBar, *c_PictureInfo, kPlaceBelow, Scaled(kGapBelowStatus), kAlignCopy, 0);
}

void FrmMain::BuildChoices() {
    const TwipsRect designs[2] = {kDesignComboFrom, kDesignComboTo};
    for (std::size_t k = 0; k < c_ComboFromTo.size(); ++k) {
        auto* combo = new QComboBox(this);
        combo->setEditable(false);
        SetTwipsGeometry(*combo, designs[k]);
        ScaleControl(c_SizeRate, *combo, false, true, false, kWindowFontPoints);
        // A drop-down list is as tall as its font needs, as on the desktop.
        combo->resize(combo->width(), std::max(combo->height(), combo->sizeHint().height()));
        c_ComboFromTo[k] = combo;
    }
    for (const char* entry : kRangeStartEntries) c_ComboFromTo[0]->addItem(Q(entry));
    for (const char* entry : kRangeEndEntries) c_ComboFromTo[1]->addItem(Q(entry));
    for (QComboBox* combo : c_ComboFromTo) combo->setCurrentIndex(-1);
    Trap([&] { SelectComboText(*c_ComboFromTo[0], LoadSetting(kKeyMesureFrom, kRangeStartEntries[0])); });
    PlaceNextTo(*c_ComboFromTo[0], *c_ProgBar, kPlaceBelow, Scaled(kGapBelowBar), kAlignValue, Scaled(kChoicesLeft));
    Trap([&] { SelectComboText(*c_ComboFromTo[1], LoadSetting(kKeyMesureTo, kRangeEndEntries[0])); });
    PlaceNextTo(*c_ComboFromTo[1], *c_ComboFromTo[0], kPlaceRight, Scaled(kGapBetweenRanges), kAlignCopy, 0);

    c_TextTargetLKFS = new QLineEdit(this);
    SetTwipsGeometry(*c_TextTargetLKFS, kDesignTextTarget);
    ScaleControl(c_SizeRate, *c_TextTargetLKFS, false, false, false, kWindowFontPoints);
    Trap([&] { c_TextTargetLKFS->setText(Q(LoadSetting(kKeyTargetLKFS, kDefaultTarget))); });
    PlaceNextTo(*c_TextTargetLKFS, *c_ComboFromTo[0], kPlaceBelow, Scaled(kGapBelowRange), kAlignValue,
                Scaled(kChoicesLeft));
}

void FrmMain::PaintBackground() {
    c_Surface.Resize(width(), height(), devicePixelRatioF());
    c_Surface.SetFont(font());
    c_Surface.SetForeColor(kColorButtonText);
    GradientPaint(c_Surface, kBackgroundDesign);
}

void FrmMain::BuildOutputOptions() {
    const float fontSize = kWindowFontPoints * c_SizeRate;
    c_CheckWavOutput = new UC_Check(this);
    SetTwipsGeometry(*c_CheckWavOutput, kDesignCheckWavOutput);
    PlaceNextTo(*c_CheckWavOutput, *c_TextTargetLKFS, kPlaceBelow, Scaled(kGapBelowTarget), kAlignValue,
                Scaled(kCheckWavOutputLeft));
    std::int32_t wavOutput = kDefaultWavOutput;
    Trap([&] { wavOutput = ToInt(LoadSetting(kKeyWavOutput, kDefaultWavOutput)); });
    SetupCheck(*c_CheckWavOutput, kCaptionWavOutput, wavOutput, &c_Surface, fontSize, nullptr, c_SizeRate);

    c_TextSoundPath = new UC_PathText(this);
    SetTwipsGeometry(*c_TextSoundPath, kDesignTextSoundPath);
    ScaleControl(c_SizeRate, *c_TextSoundPath, false, true, false, 0);
    c_TextSoundPath->SetFontSize(static_cast<std::int32_t>(std::nearbyint(fontSize)));
    c_TextSoundPath->SetTextHeight(kSoundPathTextHeight * static_cast<double>(c_SizeRate));
    c_TextSoundPath->Init();
    Trap([&] { c_TextSoundPath->SetText(LoadSetting(kKeySoundPath, "")); });
    // On its own row under the output switch, as the design has it: on the
    // switch's row the box would cover the switch's caption and its own label.
    PlaceNextTo(*c_TextSoundPath, *c_CheckWavOutput, kPlaceBelow, Scaled(kGapBelowWavOutput), kAlignValue,
                TwipsGeometry(*c_TextTargetLKFS).Left);

    c_CheckNoClip = new UC_Check(this);
    SetTwipsGeometry(*c_CheckNoClip, kDesignCheckNoClip);
    PlaceNextTo(*c_CheckNoClip, *c_TextSoundPath, kPlaceBelow, Scaled(kGapBelowSoundPath), kAlignCopy, 0);
    std::int32_t noClip = kDefaultNoClip;
    Trap([&] { noClip = ToInt(LoadSetting(kKeyNoClip, kDefaultNoClip)); });
    SetupCheck(*c_CheckNoClip, kCaptionNoClip, noClip, &c_Surface, fontSize, c_CheckWavOutput->Gradhdc(), c_SizeRate);
}

void FrmMain::BuildButtons() {
    c_CtrButtons = new UC_Buttons(this);
    SetTwipsGeometry(*c_CtrButtons, kDesignCtrButtons);
    ScaleControl(c_SizeRate, *c_CtrButtons, false, false, true, 0);
    c_CtrButtons->SetDesignType(kButtonDesign);
    c_CtrButtons->SetNumButtons(kButtonCount);
    c_CtrButtons->SetFontSize(kWindowFontPoints * c_SizeRate);
    c_CtrButtons->SetButtonChar(kButtonStop, kCaptionStop);
    c_CtrButtons->SetButtonChar(kButtonStart, kCaptionStart);
    c_CtrButtons->Init();
}

void FrmMain::PrintLabels() {
    if (c_Surface.IsNull()) return;
    const TwipsRect target = TwipsGeometry(*c_TextTargetLKFS);
    PrintLabelAt(c_Surface, target, kLabelTarget, kLabelLeft, 0, 0);
    PrintLabelAt(c_Surface, target, kLabelLKFS, kLabelRight, 0, 0);
    PrintLabelAt(c_Surface, TwipsGeometry(*c_ComboFromTo[0]), kLabelRange, kLabelLeft, 0, 0);
    PrintLabelAt(c_Surface, TwipsGeometry(*c_ComboFromTo[1]), kLabelRangeTo, kLabelLeft, 0, 0);
    const TwipsRect soundPath = TwipsGeometry(*c_TextSoundPath);
    PrintLabelAt(c_Surface, soundPath, kLabelOutput, kLabelLeft, 0, 0);

    const TwipsRect wavOutput = TwipsGeometry(*c_CheckWavOutput);
    const TwipsRect noClip = TwipsGeometry(*c_CheckNoClip);
    DrawGroupFrame(c_Surface, Scaled(kFrameLeft), wavOutput.Top - Scaled(kFrameVerticalMargin),
                   soundPath.Left + soundPath.Width + Scaled(kFrameRightMargin),
                   noClip.Top + noClip.Height + Scaled(kFrameVerticalMargin), "");
    update();
}

void FrmMain::ConnectEvents() {
    connect(c_CtrButtons, &UC_Buttons::ButtonClicked, this,
            [this](std::int16_t& pIndex) { Guarded([&] { ButtonClicked(pIndex); }); });
    connect(c_CheckWavOutput, &UC_Check::Click, this, [this] {
        Guarded([&] {
            if (c_Loaded) UpdateOutputControls();
        });
    });
    connect(c_LV, &UC_ListView::DblClicked, this, [this] { Guarded([&] { ListDoubleClicked(); }); });
    connect(c_LV, &UC_ListView::OLEStartDrag, this, [this](DragData& pData, std::int32_t& pAllowedEffects) {
        Guarded([&] { ListStartDrag(pData, pAllowedEffects); });
    });
    connect(c_LV, &UC_ListView::OLEDragDrop, this,
            [this](DragData& pData, std::int32_t& pEffect, std::int32_t&, std::int32_t&, double&, double& pY) {
                Guarded([&] { ListDrop(pData, pEffect, pY); });
            });
    connect(c_LV, &UC_ListView::OLEDragOver, this, [this] { Guarded([&] { BringToFront(); }); });
    connect(c_LV, &UC_ListView::DeletePressed, this, [this] { Guarded([&] { ListDoubleClicked(); }); });
    connect(c_LV, &UC_ListView::RightClicked, this, [this](double&, double& pY) {
        Guarded([&] {
            // The row under the pointer becomes the selection unless it is part of it.
            const std::int32_t row = c_LV->YsItem(pY);
            if (row >= 0 && row < c_LV->ItemCount() && c_LV->IsSelected(row) == 0) {
                c_LV->UnSelectAll();
                c_LV->SetSelectedItem(row);
                c_LV->SetIsSelected(row, 1);
                c_LV->ReDraw();
            }
            OpenListMenu(QCursor::pos(), row);
        });
    });
    connect(c_LV, &UC_ListView::TabRightClicked, this,
            [this](std::int32_t&, QPoint& pGlobal) { Guarded([&] { OpenHeaderMenu(pGlobal); }); });
    // The keyboard's menu key and Shift+F10 open the list's menu on the current row.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, c_LV);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            Guarded([&] {
                if (c_Controller->Running()) return;
                const QRect area = c_LV->ItemAreaRect();
                OpenListMenu(c_LV->mapToGlobal(area.topLeft() + QPoint(area.width() / 4, area.height() / 4)),
                             c_LV->SelectedItem());
            });
        });
    }
    setAcceptDrops(true);

    // Esc stops a run, wherever the keyboard is in the window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        Guarded([&] {
            if (c_Controller->Running()) c_Controller->Stop();
        });
    });
    // Tab walks the controls in the order they are laid out, top to bottom.
    QWidget* const order[] = {c_LV,
                              c_ComboFromTo[0],
                              c_ComboFromTo[1],
                              c_TextTargetLKFS,
                              c_CheckWavOutput,
                              c_TextSoundPath->TextPath(),
                              c_TextSoundPath,
                              c_CheckNoClip,
                              c_CtrButtons};
    for (std::size_t k = 1; k < std::size(order); ++k) QWidget::setTabOrder(order[k - 1], order[k]);
}

void FrmMain::Load() {
    Guarded([&] {
        Trap([&] {
            WidgetPlacement placement(*this);
            RestoreWindowPlacement(placement, "", true, false, false, DesktopExtentTwips());
        });
        Trap([&] {
            // A window made larger keeps its size; smaller than the design never.
            const std::int32_t tpp = TwipsPerPixel();
            const double widthTwips = CellValue(LoadSetting(kKeyInnerWidth, 0)).AsNumber();
            const double heightTwips = CellValue(LoadSetting(kKeyInnerHeight, 0)).AsNumber();
            if (widthTwips > 0 && heightTwips > 0 && std::isfinite(widthTwips) && std::isfinite(heightTwips))
                resize(std::max(minimumWidth(), static_cast<int>(widthTwips / tpp)),
                       std::max(minimumHeight(), static_cast<int>(heightTwips / tpp)));
        });
        show();
        ListPaths(c_Paths);
        c_Loaded = true;
        UpdateOutputControls();
        c_LV->setFocus(Qt::OtherFocusReason);
    });
}

void FrmMain::ListPaths(const std::vector<std::string>& pPaths) {
    Trap([&] {
        AddCommandLinePaths(*c_Rows, static_cast<IntakeHost&>(*this), pPaths);
        NoteNewRows();
        if (c_LV->ItemCount() > 0) c_LV->Refresh();
    });
}

void FrmMain::UpdateOutputControls() {
    const bool on = c_CheckWavOutput->Value() == 1;
    c_TextSoundPath->SetEnabled(on);
    c_CheckNoClip->SetEnabled(on);
}

bool FrmMain::Running() const { return c_Controller->Running(); }

// ---- Shutdown ---------------------------------------------------------------------------

void FrmMain::closeEvent(QCloseEvent* pEvent) {
    bool closeNow = true;
    Guarded([&] { closeNow = c_Controller->RequestClose(); });
    if (!closeNow) {
        // The run stops at the file in progress; CloseReady closes the window then.
        pEvent->ignore();
        return;
    }
    Unload();
    pEvent->accept();
}

void FrmMain::Unload() {
    if (c_Unloaded) return;
    c_Unloaded = true;
    Guarded([&] {
        Trap([&] {
            const WidgetPlacement placement(*this);
            SaveWindowPlacement(placement, "", true, false);
        });
        Trap([&] { StoreQcSettings(); });
        Trap([&] { StoreSetting(kKeySoundPath, c_TextSoundPath->Text()); });
        Trap([&] { StoreSetting(kKeyMesureFrom, c_ComboFromTo[0]->currentText().toStdString()); });
        Trap([&] { StoreSetting(kKeyMesureTo, c_ComboFromTo[1]->currentText().toStdString()); });
        Trap([&] {
            // A target that is no number keeps the stored one.
            const std::string target = TrimSpaces(AsciiNumberText(c_TextTargetLKFS->text().toStdString()));
            if (!target.empty() && CellValue(target).ReadsAsNumber()) StoreSetting(kKeyTargetLKFS, target);
        });
        Trap([&] { StoreSetting(kKeyWavOutput, c_CheckWavOutput->Value()); });
        Trap([&] { StoreSetting(kKeyNoClip, c_CheckNoClip->Value()); });
        Trap([&] {
            if (FontCount() > 0) ReleaseFonts();
        });
    });
    emit Unloaded();
}

void FrmMain::CloseReady() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

// ---- Events -----------------------------------------------------------------------------

void FrmMain::ButtonClicked(std::int16_t pIndex) {
    if (pIndex == kButtonStop) {
        c_Controller->Stop();
    } else if (pIndex == kButtonStart) {
        StartPressed();
    }
}

void FrmMain::StartPressed() {
    // A second press during a run and a press on an empty list do nothing.
    if (c_Controller->Running() || c_LV->ItemCount() < 1) return;
    if (!TargetReady() || !OutputFolderReady()) return;
    c_Controller->Start();
}

bool FrmMain::TargetReady() {
    const std::string typed = c_TextTargetLKFS->text().toStdString();
    const std::string ascii = TrimSpaces(AsciiNumberText(typed));
    const bool number = !ascii.empty() && CellValue(ascii).ReadsAsNumber();
    if (number && TargetLKFSAllowed(ParseDecimal(ascii).value_or(kHighestTargetLKFS + 1.0))) {
        // Full-width digits stand as what they say, in the box and the store.
        if (ascii != typed) c_TextTargetLKFS->setText(Q(ascii));
        return true;
    }
    OwnerMessageBox(std::string(number ? kMessageTargetOutOfRange : kMessageTargetNotNumber) + kLineBreak + typed,
                    kMbOk | kMbIconExclamation, "", this);
    c_TextTargetLKFS->setFocus(Qt::OtherFocusReason);
    c_TextTargetLKFS->selectAll();
    return false;
}

bool FrmMain::OutputFolderReady() {
    if (c_CheckWavOutput->Value() == 0) return true;
    // An empty box keeps the copies beside their sources.
    const std::string folder = c_TextSoundPath->Text();
    if (folder.empty() || FolderExists(folder) == 1) return true;
    const std::int32_t answer =
        OwnerMessageBox(std::string(kMessageFolderMissing) + kLineBreak + folder, kMbYesNo | kMbIconQuestion, "", this);
    if (answer != kIdYes) return false;
    if (platform::MakeFolders(folder) && FolderExists(folder) == 1) return true;
    OwnerMessageBox(std::string(kMessageFolderNotMade) + kLineBreak + folder, kMbOk | kMbIconStop, "", this);
    return false;
}

void FrmMain::LockOptions(bool pLocked) {
    for (QComboBox* combo : c_ComboFromTo) combo->setEnabled(!pLocked);
    c_TextTargetLKFS->setEnabled(!pLocked);
    c_CheckWavOutput->SetEnabled(!pLocked);
    c_TextSoundPath->setEnabled(!pLocked);
    c_TextSoundPath->SetButtonDisabled(pLocked ? 1 : 0);
    if (pLocked) {
        c_CheckNoClip->SetEnabled(false);
    } else {
        UpdateOutputControls();
    }
}

// ---- Row outcomes -----------------------------------------------------------------------

RowOutcome FrmMain::Outcome(std::int32_t pRow) const {
    const CellValue value = c_LV->AuxID(pRow, kAuxOutcome);
    return value.IsNumber() ? OutcomeFromNumber(value.AsNumber()) : RowOutcome::None;
}

void FrmMain::SetOutcome(std::int32_t pRow, RowOutcome pOutcome, const std::string& pText) {
    c_LV->SetAuxID(pRow, kAuxOutcome, CellValue(static_cast<double>(static_cast<int>(pOutcome))));
    c_LV->SetAuxID(pRow, kAuxOutcomeText, CellValue(pText));
    const bool markerMissing = !c_LV->AuxID(pRow, kAuxMarkerNote).AsText().empty();
    const bool plain = pOutcome == RowOutcome::None || pOutcome == RowOutcome::NotReached;
    c_LV->SetIconType(pRow, plain ? (markerMissing ? kListIconMarkerMissing : kFileIcon) : IconOf(pOutcome));
}

void FrmMain::ResetOutcomes() {
    for (std::int32_t row = 0; row < c_LV->ItemCount(); ++row) SetOutcome(row, RowOutcome::None, "");
}

std::string FrmMain::RowToolTip(std::int32_t pRow, std::int32_t pColumn) const {
    std::vector<std::string> lines;
    const std::string outcome = c_LV->AuxID(pRow, kAuxOutcomeText).AsText();
    if (!outcome.empty()) lines.push_back(outcome);
    const std::string note = c_LV->AuxID(pRow, kAuxMarkerNote).AsText();
    if (!note.empty()) lines.push_back(note);
    if (pColumn == kColumnVerdict) {
        const std::string verdict = VerdictToolTip(pRow);
        if (!verdict.empty()) lines.push_back(verdict);
    }
    if (pColumn == kColumnTitle) {
        // The whole name and where it is, however narrow the column.
        const std::string path = c_LV->AuxID(pRow, kAuxPath).AsText();
        lines.push_back(PathPart(path, false, false, true, true, true, kKeepCase));
        lines.push_back(path);
    }
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

void FrmMain::NoteNewRows() {
    // A new row's note is still empty (never written); a row that was
    // looked at holds a text, "" when nothing is missing.
    for (std::int32_t row = 0; row < c_LV->ItemCount(); ++row) {
        if (!c_LV->AuxID(row, kAuxMarkerNote).IsEmpty()) continue;
        const auto note = c_PendingNotes.find(c_LV->AuxID(row, kAuxPath).AsText());
        c_LV->SetAuxID(row, kAuxMarkerNote, CellValue(note == c_PendingNotes.end() ? std::string() : note->second));
        if (note != c_PendingNotes.end() && !note->second.empty()) c_LV->SetIconType(row, kListIconMarkerMissing);
    }
    c_PendingNotes.clear();
}

void FrmMain::ListDoubleClicked() {
    if (c_Controller->RemoveSelected()) {
        ForgetRemovedResults();
        c_LV->Refresh();
    }
}

void FrmMain::ListStartDrag(DragData& pData, std::int32_t& pAllowedEffects) {
    pData.Clear();
    std::vector<std::string> files;
    if (!c_Controller->StartDrag(files)) {
        pAllowedEffects = kDropEffectNone;
        return;
    }
    pAllowedEffects = kDropEffectCopy;
    pData.Format = DragData::kFormatFileList;
    pData.Files = std::move(files);
    c_LV->Model().UnSelectAll();
    c_LV->ReDraw();
    c_LV->SetVbarParm();
}

void FrmMain::ListDrop(DragData& pData, std::int32_t& pEffect, double pY) {
    if (!c_Controller->IntakeAllowed()) {
        pEffect = kDropEffectNone;
        return;
    }
    // The drop is answered at once; the files are checked right after it,
    // once the source of the drag has been let go, so that the message boxes
    // of rejected files never hold a file manager's drag.
    const std::int32_t row = c_LV->YsItem(pY);
    QTimer::singleShot(
        0, this, [this, files = pData.Files, row]() mutable { Guarded([&] { AddDropped(std::move(files), row); }); });
}

void FrmMain::AddDropped(std::vector<std::string> pFiles, std::int32_t pRow) {
    setCursor(Qt::WaitCursor);
    c_Controller->DropFiles(static_cast<IntakeHost&>(*this), pFiles, pRow);
    NoteNewRows();
    c_LV->ReDraw();
    c_LV->SetVbarParm();
    unsetCursor();
}

void FrmMain::BringToFront() {
    if (isActiveWindow()) return;
    raise();
    activateWindow();
}

void FrmMain::dragEnterEvent(QDragEnterEvent* pEvent) {
    Guarded([&] { BringToFront(); });
    // Accepted only to hear the moves; a drop on the window itself does nothing.
    pEvent->acceptProposedAction();
}

void FrmMain::dragMoveEvent(QDragMoveEvent* pEvent) {
    Guarded([&] { BringToFront(); });
    pEvent->ignore();
}

void FrmMain::dropEvent(QDropEvent* pEvent) { pEvent->ignore(); }

void FrmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!c_Surface.IsNull()) painter.drawImage(0, 0, c_Surface.Image());
}

// ---- Errors -------------------------------------------------------------------------------

template <class Body>
void FrmMain::Guarded(Body&& pBody) noexcept {
    try {
        pBody();
    } catch (...) {
        if (ErrorCatch() == 0) return;
        const std::string text = ErrorText(std::current_exception());
        try {
            ReportError(text);
        } catch (...) {
        }
    }
}

void FrmMain::ReportError(const std::string& pText) { OwnerMessageBox(pText, kMbOk | kMbIconStop, "", this); }

// ---- RunHost ---------------------------------------------------------------------------------

void FrmMain::ShowStatus(const std::string& pText) {
    std::string shown = pText;
    if (c_Controller && c_Controller->Running()) {
        shown = RunPosition() + pText;
        if (c_RowsDone > 0) {
            // The files done so far set the pace for the ones still to come.
            const double perRow = (c_RowStart - c_RunStart) / c_RowsDone;
            const double left = perRow * (c_RunRows - c_RowsDone) - (c_Clock() - c_RowStart);
            shown += kStatusTimeLeft + ClockText(left);
        }
    }
    c_Status = shown;
    c_PictureInfo->DispMes(0, shown);
    emit StatusShown(Q(shown));
}

// "[3/60] ": the row in progress and the rows of the run.
std::string FrmMain::RunPosition() const {
    if (c_RunRow < 0 || c_RunRows <= 0) return {};
    return "[" + std::to_string(c_RunRow + 1) + "/" + std::to_string(c_RunRows) + "] ";
}

void FrmMain::SetProgress(std::int32_t pValue) {
    c_ProgBar->SetValue(pValue);
    emit ProgressShown(pValue);
}

std::string FrmMain::TargetLKFSText() const { return AsciiNumberText(c_TextTargetLKFS->text().toStdString()); }
bool FrmMain::WavOutput() const { return c_CheckWavOutput->Value() != 0; }
std::string FrmMain::SoundPath() const { return c_TextSoundPath->Text(); }
bool FrmMain::NoClip() const { return c_CheckNoClip->Value() == 1; }

void FrmMain::RunStarting() {
    ++c_RunNumber;
    setCursor(Qt::WaitCursor);
    LockOptions(true);
    ResetOutcomes();
    c_RunRows = c_LV->ItemCount();
    c_RunRow = -1;
    // The controller reads the target once, as the run starts.
    c_RunTarget = ParseDecimal(TrimSpaces(TargetLKFSText())).value_or(0.0);
    c_RowsDone = 0;
    c_Counts.clear();
    c_RunStart = c_Clock();
    c_RowStart = c_RunStart;
}

void FrmMain::RunColours(bool pRunning) {
    c_PictureInfo->SetColor(pRunning ? kColourSetRunning : kColourSetIdle, true);
}

// The list repaints itself from the model's change notices, once per pass of
// the event loop however many rows changed.
void FrmMain::ListChanged() {}

void FrmMain::RunFinished() {
    // Rows the run did not come to say so.
    for (std::int32_t row = c_RunRow + 1; row < c_RunRows && row < c_LV->ItemCount(); ++row)
        SetOutcome(row, RowOutcome::NotReached, kOutcomeNotReached);
    const auto count = [&](RowOutcome pOutcome) {
        const auto found = c_Counts.find(pOutcome);
        return std::to_string(found == c_Counts.end() ? 0 : found->second) + kStatusCountUnit;
    };
    std::string text = kStatusFinished;
    if (c_RowsDone > 0 || c_RunRows > 0) {
        text += std::string(kStatusWritten) + count(RowOutcome::Written);
        if (c_Counts.count(RowOutcome::MeasuredOnly) != 0)
            text += kStatusMeasuredOnly + count(RowOutcome::MeasuredOnly);
        text += kStatusSkipped + count(RowOutcome::Skipped);
        text += kStatusFailed + count(RowOutcome::Failed);
        if (c_Controller->StopRequested() || c_Controller->ClosePending() || c_Counts.count(RowOutcome::Stopped) != 0)
            text += kStatusStopped;
    }
    c_RunRow = -1;
    c_Status = text;
    c_PictureInfo->DispMes(0, text, true);
    emit StatusShown(Q(text));
    LockOptions(false);
    unsetCursor();
    // After the controller's remaining end-of-run steps.
    QMetaObject::invokeMethod(this, &FrmMain::RunEnded, Qt::QueuedConnection);
}

void FrmMain::RowApplied(const RowResult& pResult) {
    const RowOutcome outcome = OutcomeOf(pResult);
    ++c_Counts[outcome];
    ++c_RowsDone;
    if (pResult.Row >= 0 && pResult.Row < c_LV->ItemCount()) {
        SetOutcome(pResult.Row, outcome, OutcomeText(pResult));
        // A row not measured this time keeps its last figures, as its cells do.
        if (pResult.Measured) ShowExtraFigures(pResult.Row, pResult);
        // Open details follow their row through a new run.
        if (c_Details != nullptr && c_Details->isVisible() &&
            c_Details->Details().File.Path == c_LV->AuxID(pResult.Row, kAuxPath).AsText())
            c_Details->Replace(DetailsOf(pResult.Row));
    }
}

void FrmMain::RowSelected(std::int32_t pRow) {
    c_RunRow = pRow;
    c_RowStart = c_Clock();
    // Scrolled only when the row is out of view: scrolling redraws the whole list.
    const std::int32_t top = c_LV->TopItem();
    if (pRow < top || pRow >= top + c_LV->VisibleRows()) c_LV->ShowSelected(1);
}

void FrmMain::RunError(const std::string& pText) { ReportError(pText); }

// ---- IntakeHost ------------------------------------------------------------------------------

std::int32_t FrmMain::RangeStartChoice() const { return c_ComboFromTo[0]->currentIndex(); }
std::int32_t FrmMain::RangeEndChoice() const { return c_ComboFromTo[1]->currentIndex(); }

void FrmMain::Rejected(const std::string& pPath, RowReason pReason) {
    c_RejectedPath = pPath;
    c_RejectedReason = pReason;
}

void FrmMain::ShowRejection(const std::string& pText) {
    // Ending on a signal: no further box holds the process.
    if (c_Ending) return;
    std::string text = pText;
    // A folder dropped on the list is refused as a file that is no WAV file.
    if (c_RejectedReason == RowReason::NotRegular && FolderExists(c_RejectedPath) == 1)
        text = std::string(kMessageNotWav) + kLineBreak + c_RejectedPath;
    c_RejectedReason = RowReason::None;
    OwnerMessageBox(text, kMbOk | kMbIconStop, "", this);
}

void FrmMain::MarkersResolved(const std::string& pPath, const RangeMarkers& pMarkers) {
    std::string note;
    if (pMarkers.StartChosen && !pMarkers.StartFound)
        note = c_ComboFromTo[0]->currentText().toStdString() + kNoteStartMissing;
    if (pMarkers.EndChosen && !pMarkers.EndFound)
        note += (note.empty() ? "" : "\n") + c_ComboFromTo[1]->currentText().toStdString() + kNoteEndMissing;
    c_PendingNotes[pPath] = note;
}

// ---- A second start ----------------------------------------------------------------------

bool FrmMain::ListenForSecondStarts(const std::string& pSocketPath) {
    // No private folder for the socket: second starts are not taken.
    if (pSocketPath.empty()) return false;
    if (c_Server == nullptr) {
        c_Server = new QLocalServer(this);
        // Only this user may hand files over.
        c_Server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(c_Server, &QLocalServer::newConnection, this, [this] { Guarded([&] { TakeConnection(); }); });
    }
    // The single-instance lock is held: a socket left by a crashed first
    // instance is stale.
    QLocalServer::removeServer(Q(pSocketPath));
    return c_Server->listen(Q(pSocketPath));
}

void FrmMain::TakeConnection() {
    while (QLocalSocket* socket = c_Server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The whole message arrives before the sender closes its end.
        connect(socket, &QLocalSocket::readChannelFinished, this, [this, socket] {
            Guarded([&] {
                std::string folder;
                std::vector<std::string> arguments;
                if (ReadHandOver(socket->readAll().toStdString(), folder, arguments))
                    TakeSecondStart(arguments, folder);
            });
        });
    }
}

void FrmMain::TakeSecondStart(const std::vector<std::string>& pArguments, const std::string& pWorkingFolder) {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    const std::vector<std::string> paths = PathArguments(pArguments, pWorkingFolder);
    if (paths.empty()) return;
    if (!c_Controller->IntakeAllowed()) {
        OwnerMessageBox(kMessageBusy, kMbOk | kMbIconExclamation, "", this);
        return;
    }
    ListPaths(paths);
}

void FrmMain::EndBySignal() {
    c_Ending = true;
    // A box of the start-up (a rejected file) is closed as its OK would close it.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (!modal->close()) break;
    }
    close();
}

// ---- Figures beyond the list's own ----------------------------------------------------------

const RowResult* FrmMain::RowMeasurement(std::int32_t pRow) const {
    if (pRow < 0 || pRow >= c_LV->ItemCount()) return nullptr;
    const CellValue key = c_LV->AuxID(pRow, kAuxResultKey);
    if (!key.IsNumber()) return nullptr;
    const auto found = c_Results.find(static_cast<std::int64_t>(key.AsNumber()));
    return found == c_Results.end() ? nullptr : &found->second.Result;
}

void FrmMain::ShowExtraFigures(std::int32_t pRow, const RowResult& pResult) {
    const CellValue key = c_LV->AuxID(pRow, kAuxResultKey);
    std::int64_t id = 0;
    if (key.IsNumber()) {
        id = static_cast<std::int64_t>(key.AsNumber());
    } else {
        id = ++c_NextResultKey;
        c_LV->SetAuxID(pRow, kAuxResultKey, CellValue(static_cast<double>(id)));
    }
    KeptMeasurement& measurement = c_Results[id];
    if (&measurement.Result != &pResult) {
        measurement.Result = pResult;
        measurement.TargetLKFS = c_RunTarget;
        measurement.Run = c_RunNumber;
    }
    const RowResult& kept = measurement.Result;
    std::optional<double> truePeak, lra, shortTerm;
    if (pResult.Broadcast) {
        truePeak = pResult.Broadcast->TruePeak;
        lra = pResult.Broadcast->LoudnessRange;
        shortTerm = pResult.Broadcast->MaxShortTerm;
    }
    c_LV->SetValue(pRow, kColumnTruePeak, CellValue(FigureText(truePeak, kFigureDecimals)));
    c_LV->SetValue(pRow, kColumnLRA, CellValue(FigureText(lra, kRangeDecimals)));
    c_LV->SetValue(pRow, kColumnMaxShortTerm, CellValue(FigureText(shortTerm, kFigureDecimals)));
    const std::optional<RowResult> last = LastRunResult(pRow);
    const std::optional<FileVerdicts> verdicts = RowVerdicts(last ? &*last : &kept, c_Profile ? &*c_Profile : nullptr);
    // A row with no copy has no copy to judge.
    c_LV->SetValue(pRow, kColumnVerdict,
                   CellValue(verdicts && !verdicts->HasOutput ? std::string(kNoCopyVerdict)
                                                              : VerdictWord(ReportVerdict(verdicts, true).Kind)));
}

// The verdicts follow the profile: a new choice judges every measured row again.
void FrmMain::JudgeRows() {
    for (std::int32_t row = 0; row < c_LV->ItemCount(); ++row) {
        if (const RowResult* result = RowMeasurement(row)) ShowExtraFigures(row, *result);
    }
    c_LV->ReDraw();
}

std::optional<RowResult> FrmMain::LastRunResult(std::int32_t pRow) const {
    const RowResult* kept = RowMeasurement(pRow);
    if (kept == nullptr) return std::nullopt;
    RowResult result = *kept;
    const CellValue key = c_LV->AuxID(pRow, kAuxResultKey);
    if (c_Results.at(static_cast<std::int64_t>(key.AsNumber())).Run == c_RunNumber) return result;
    // Measured by an earlier run: that run's copy is not this run's doing.
    const RowOutcome outcome = Outcome(pRow);
    result.Written = false;
    result.WriteAttempted = false;
    result.OutputPath.clear();
    result.Copy = CopyState::None;
    result.CopyMeasured.reset();
    result.Reason = outcome == RowOutcome::Stopped ? RowReason::Stopped : RowReason::NotReached;
    return result;
}

void FrmMain::ForgetRemovedResults() {
    std::map<std::int64_t, KeptMeasurement> kept;
    for (std::int32_t row = 0; row < c_LV->ItemCount(); ++row) {
        const CellValue key = c_LV->AuxID(row, kAuxResultKey);
        if (!key.IsNumber()) continue;
        const auto found = c_Results.find(static_cast<std::int64_t>(key.AsNumber()));
        if (found != c_Results.end()) kept.insert(c_Results.extract(found));
    }
    c_Results = std::move(kept);
}

std::string FrmMain::VerdictToolTip(std::int32_t pRow) const {
    const std::optional<RowResult> result = LastRunResult(pRow);
    if (!c_Profile || !result) return {};
    const std::optional<FileVerdicts> verdicts = RowVerdicts(&*result, &*c_Profile);
    if (!verdicts || !verdicts->HasOutput) return {};
    return c_Profile->name + ": " + VerdictSummary(ReportVerdict(verdicts, true), ReportBand(*c_Profile));
}

bool FrmMain::ColumnShown(std::int32_t pColumn) const {
    return OptionalColumnOf(pColumn) != nullptr && c_LV->TabHidden(pColumn) == 0;
}

void FrmMain::ShowColumn(std::int32_t pColumn, bool pShown) {
    if (OptionalColumnOf(pColumn) == nullptr) return;
    c_LV->SetTabHidden(pColumn, pShown ? 0 : 1);
    c_LV->SetVbarParm();
    c_LV->ReDrawTab(-1);
    c_LV->ReDraw();
}

bool FrmMain::ChooseProfile(const std::string& pSetting) {
    std::optional<DeliveryProfile> profile;
    std::string error;
    if (!ProfileOfSetting(pSetting, profile, error)) {
        OwnerMessageBox(std::string(kMessageProfileFile) + kLineBreak + error, kMbOk | kMbIconExclamation, "", this);
        return false;
    }
    c_Profile = std::move(profile);
    c_ProfileSetting = c_Profile ? pSetting : std::string(kProfileNone);
    // A delivery standard names its target; the operator may still change it.
    if (c_Profile && !c_Controller->Running()) c_TextTargetLKFS->setText(Q(FormatFixed(c_Profile->target, 1)));
    JudgeRows();
    return true;
}

void FrmMain::LoadQcSettings() {
    std::string columns;
    Trap([&] { columns = LoadSetting(kKeyColumns, ""); });
    for (const OptionalColumn& column : kOptionalColumns) {
        const std::string name = std::string(",") + column.Name + ",";
        if (("," + columns + ",").find(name) != std::string::npos) c_LV->SetTabHidden(column.Column, 0);
    }
    Trap([&] {
        c_BextLoudness =
            BextLoudnessModeOf(LoadSetting(kKeyBextLoudness, BextLoudnessModeName(kDefaultBextLoudnessMode)))
                .value_or(kDefaultBextLoudnessMode);
    });
    std::string setting = kProfileNone;
    Trap([&] { setting = LoadSetting(kKeyProfile, kProfileNone); });
    std::string error;
    if (ProfileOfSetting(setting, c_Profile, error)) {
        c_ProfileSetting = c_Profile ? setting : std::string(kProfileNone);
    } else {
        // A profile file gone since the last start: the window starts without one and says so.
        c_ProfileSetting = kProfileNone;
        c_Status = kStatusProfileMissing + setting;
        c_PictureInfo->DispMes(0, c_Status);
    }
}

void FrmMain::StoreQcSettings() {
    std::string columns;
    for (const OptionalColumn& column : kOptionalColumns)
        if (ColumnShown(column.Column)) columns += (columns.empty() ? "" : ",") + std::string(column.Name);
    Trap([&] { StoreSetting(kKeyColumns, columns); });
    Trap([&] { StoreSetting(kKeyProfile, c_ProfileSetting); });
    Trap([&] { StoreSetting(kKeyBextLoudness, BextLoudnessModeName(c_BextLoudness)); });
    Trap([&] {
        const std::int32_t tpp = TwipsPerPixel();
        StoreSetting(kKeyInnerWidth, static_cast<std::int32_t>(width() * tpp));
        StoreSetting(kKeyInnerHeight, static_cast<std::int32_t>(height() * tpp));
    });
}

// ---- Menus -----------------------------------------------------------------------------------

void FrmMain::OpenListMenu(QPoint pGlobal, std::int32_t pRow) {
    if (c_Controller->Running()) return;
    if (c_ListMenu == nullptr) {
        c_ListMenu = new QMenu(this);
        c_ListMenu->setObjectName("ListMenu");
    }
    c_ListMenu->clear();
    const bool rows = c_LV->ItemCount() > 0;
    const bool selected = c_LV->NumSelectedItems() > 0;
    const auto add = [&](const char* pText, const char* pName, bool pEnabled, auto pAction) {
        QAction* action = c_ListMenu->addAction(Q(pText));
        action->setObjectName(pName);
        action->setEnabled(pEnabled);
        connect(action, &QAction::triggered, this, [this, pAction] { Guarded([&] { pAction(); }); });
        return action;
    };
    const std::int32_t row = pRow >= 0 && pRow < c_LV->ItemCount() ? pRow : -1;
    add(kMenuDetails, "details", row >= 0, [this, row] { ShowDetails(row); });
    c_ListMenu->addSeparator();
    add(kMenuRemove, "remove", selected, [this] { ListDoubleClicked(); });
    add(kMenuClear, "clear", rows, [this] { ClearList(); });
    add(kMenuRelist, "relist", selected, [this] { RelistSelected(); });
    c_ListMenu->addSeparator();
    QMenu* profiles = c_ListMenu->addMenu(Q(kMenuProfile));
    profiles->setObjectName("profiles");
    auto* group = new QActionGroup(profiles);
    const auto choice = [&](const std::string& pText, const std::string& pSetting, bool pChecked) {
        QAction* action = profiles->addAction(Q(pText));
        action->setObjectName(Q("profile:" + pSetting));
        action->setCheckable(true);
        action->setChecked(pChecked);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, pSetting] { Guarded([&] { ChooseProfile(pSetting); }); });
    };
    choice(kMenuProfileNone, kProfileNone, !c_Profile);
    for (const std::string& name : BuiltInProfileNames()) choice(name, name, c_ProfileSetting == name);
    if (c_Profile && !BuiltInProfile(c_ProfileSetting))
        choice(PathPart(c_ProfileSetting, false, false, true, true, false, kKeepCase), c_ProfileSetting, true);
    profiles->addSeparator();
    QAction* fromFile = profiles->addAction(Q(kMenuProfileFile));
    fromFile->setObjectName("profile-file");
    connect(fromFile, &QAction::triggered, this, [this] {
        Guarded([&] {
            const std::string path = FileDialog(this, false, kProfileFileFilter, "", "", kFileDialogDefaultFlags);
            if (!path.empty()) ChooseProfile(path);
        });
    });
    QMenu* bext = c_ListMenu->addMenu(Q(kMenuBext));
    bext->setObjectName("bext");
    auto* bextGroup = new QActionGroup(bext);
    for (const BextChoice& entry : kBextChoices) {
        QAction* action = bext->addAction(Q(entry.Text));
        action->setObjectName(Q(std::string("bext:") + BextLoudnessModeName(entry.Mode)));
        action->setCheckable(true);
        action->setChecked(c_BextLoudness == entry.Mode);
        bextGroup->addAction(action);
        const BextLoudnessMode mode = entry.Mode;
        connect(action, &QAction::triggered, this, [this, mode] { c_BextLoudness = mode; });
    }
    c_ListMenu->addSeparator();
    add(kMenuSaveReport, "save-report", rows && !c_ReportPending, [this] { SaveReport(); });
    c_ListMenu->popup(pGlobal);
}

void FrmMain::OpenHeaderMenu(QPoint pGlobal) {
    if (c_HeaderMenu == nullptr) {
        c_HeaderMenu = new QMenu(this);
        c_HeaderMenu->setObjectName("HeaderMenu");
    }
    c_HeaderMenu->clear();
    for (const OptionalColumn& column : kOptionalColumns) {
        QAction* action = c_HeaderMenu->addAction(Q(column.MenuText));
        action->setObjectName(column.Name);
        action->setCheckable(true);
        action->setChecked(ColumnShown(column.Column));
        const std::int32_t number = column.Column;
        connect(action, &QAction::toggled, this,
                [this, number](bool pOn) { Guarded([&] { ShowColumn(number, pOn); }); });
    }
    c_HeaderMenu->popup(pGlobal);
}

void FrmMain::ClearList() {
    if (!c_Controller->IntakeAllowed()) return;
    c_LV->SelectAll();
    ListDoubleClicked();
}

void FrmMain::RelistSelected() {
    if (!c_Controller->IntakeAllowed()) return;
    // From the bottom up, so that the rows above keep their numbers; each
    // file comes back where it was, its range taken from the choices as they
    // are now and its figures cleared.
    std::vector<std::pair<std::int32_t, std::string>> rows;
    for (std::int32_t row = 0; row < c_LV->ItemCount(); ++row)
        if (c_LV->IsSelected(row) != 0) rows.emplace_back(row, c_LV->AuxID(row, kAuxPath).AsText());
    setCursor(Qt::WaitCursor);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        c_LV->UnSelectAll();
        c_LV->SetIsSelected(it->first, 1);
        if (!c_Controller->RemoveSelected()) break;
        c_Controller->DropFiles(static_cast<IntakeHost&>(*this), {it->second}, it->first);
    }
    ForgetRemovedResults();
    NoteNewRows();
    c_LV->UnSelectAll();
    c_LV->ReDraw();
    c_LV->SetVbarParm();
    unsetCursor();
}

void FrmMain::ShowDetails(std::int32_t pRow) {
    if (pRow < 0 || pRow >= c_LV->ItemCount()) return;
    if (c_Details == nullptr) c_Details = new FrmDetails(this);
    c_Details->Show(DetailsOf(pRow));
}

RowDetails FrmMain::DetailsOf(std::int32_t pRow) const {
    const std::optional<RowResult> last = LastRunResult(pRow);
    const RowResult* result = last ? &*last : nullptr;
    RowDetails details;
    details.File = ReportRow(c_Rows->Row(pRow), result, c_Profile ? &*c_Profile : nullptr, RowReason::NotMeasured,
                             WindowReasonText);
    details.File.ReasonText = c_LV->AuxID(pRow, kAuxOutcomeText).AsText();
    details.TargetLKFS = ParseDecimal(TargetLKFSText()).value_or(ParseDecimal(kDefaultTarget).value_or(0.0));
    if (result != nullptr) {
        // The target the row's gain was found for.
        const CellValue key = c_LV->AuxID(pRow, kAuxResultKey);
        details.TargetLKFS = c_Results.at(static_cast<std::int64_t>(key.AsNumber())).TargetLKFS;
    }
    details.ProfileName = c_Profile ? c_Profile->name : std::string();
    details.OutcomeText = c_LV->AuxID(pRow, kAuxOutcomeText).AsText();
    return details;
}

// ---- The report ------------------------------------------------------------------------------

report::BatchReport FrmMain::BuildReport() const {
    report::BatchReport batch;
    const DeliveryProfile* profile = c_Profile ? &*c_Profile : nullptr;
    // The target the figures were found for, once a run has measured rows.
    const double target = c_Results.empty() ? ParseDecimal(TargetLKFSText()).value_or(0.0) : c_RunTarget;
    batch.Header = ReportHeader(
        SONIVATE_VERSION, profile, target,
        c_ComboFromTo[0]->currentText().toStdString() + " - " + c_ComboFromTo[1]->currentText().toStdString());
    for (std::int32_t row = 0; row < c_LV->ItemCount(); ++row) {
        const std::optional<RowResult> result = LastRunResult(row);
        report::FileRow file =
            ReportRow(c_Rows->Row(row), result ? &*result : nullptr, profile,
                      c_RunNumber > 0 ? RowReason::NotReached : RowReason::NotMeasured, WindowReasonText);
        // The outcome is the last run's, which may not have measured the row.
        const std::string outcome = c_LV->AuxID(row, kAuxOutcomeText).AsText();
        if (!outcome.empty()) file.ReasonText = outcome;
        batch.Rows.push_back(std::move(file));
    }
    return batch;
}

void FrmMain::SaveReport() {
    if (c_Controller->Running() || c_ReportPending || c_LV->ItemCount() < 1) return;
    const std::string folder = c_TextSoundPath->Text();
    const std::string path = FileDialog(this, true, kReportFilter, folder, kReportFileName, kFileDialogDefaultFlags);
    if (path.empty()) return;
    SaveReportTo(ReportPathWithExtension(path));
}

bool FrmMain::SaveReportTo(const std::string& pPath) {
    if (c_Controller->Running() || c_ReportPending || c_LV->ItemCount() < 1) return false;
    c_ReportPending = true;
    // Drawn and written on the worker: a report of many files takes a while.
    // The rows go as values, so the list may change meanwhile.
    auto batch = std::make_shared<report::BatchReport>(BuildReport());
    c_Executor->Execute([this, batch, pPath] {
        report::ReportResult written;
        try {
            written = report::WriteReport(*batch, pPath);
        } catch (...) {
            written.Status = report::ReportStatus::WriteFailed;
        }
        c_Executor->Post(
            [this, pPath, written] { Guarded([&] { ReportWritten(pPath, written.ok(), written.Errno); }); });
    });
    return true;
}

void FrmMain::ReportWritten(const std::string& pPath, bool pOk, int pErrno) {
    c_ReportPending = false;
    if (pOk) {
        ShowStatus(kStatusReportSaved + pPath);
    } else {
        std::string text = std::string(kMessageReportFailed) + kLineBreak + pPath;
        if (pErrno != 0) text += std::string(kLineBreak) + std::strerror(pErrno);
        OwnerMessageBox(text, kMbOk | kMbIconStop, "", this);
    }
    emit ReportSaved(pOk, Q(pPath));
}

// ---- A larger window ---------------------------------------------------------------------------

void FrmMain::RecordLayout() {
    c_DesignSize = size();
    c_DesignLayout.clear();
    for (QWidget* control : std::initializer_list<QWidget*>{c_LV, c_PictureInfo, c_ProgBar, c_ComboFromTo[0],
                                                            c_ComboFromTo[1], c_TextTargetLKFS, c_CheckWavOutput,
                                                            c_TextSoundPath, c_CheckNoClip, c_CtrButtons})
        if (control != nullptr) c_DesignLayout.emplace_back(control, control->geometry());
}

// The list takes what the window gains; the status line and the bar keep
// to its width; the choices and output options keep their place to the
// bottom-left corner, the buttons to the bottom-right one.
void FrmMain::Relayout() {
    if (c_DesignLayout.empty() || !c_DesignSize.isValid()) return;
    const int dx = std::max(0, width() - c_DesignSize.width());
    const int dy = std::max(0, height() - c_DesignSize.height());
    for (const auto& [control, design] : c_DesignLayout) {
        QRect placed = design;
        if (control == c_LV) {
            placed.setSize(design.size() + QSize(dx, dy));
        } else if (control == c_PictureInfo || control == c_ProgBar) {
            placed = QRect(design.topLeft() + QPoint(0, dy), design.size() + QSize(dx, 0));
        } else if (control == c_CtrButtons) {
            placed.translate(dx, dy);
        } else {
            placed.translate(0, dy);
        }
        if (control->geometry() == placed) continue;
        const bool resized = control->size() != placed.size();
        control->setGeometry(placed);
        if (resized && control == c_ProgBar) {
            // The bar's images are made for its width.
            const std::int32_t value = c_ProgBar->Value();
            c_ProgBar->Init();
            c_ProgBar->SetValue(value);
        }
    }
    PaintBackground();
    for (UC_Check* check : {c_CheckWavOutput, c_CheckNoClip}) {
        check->SetBGPic(PixelsToTwips(check->x()), PixelsToTwips(check->y()), c_Surface);
        check->Draw();
    }
    PrintLabels();
}

void FrmMain::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    Guarded([&] { Relayout(); });
}

}  // namespace sonivate

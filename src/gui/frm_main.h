#pragma once
// The application's only window: the file list, the status line and progress
// bar, the range choices, the target, the output options and the two buttons.
//
// Start-up runs in two halves so that a host (the program, a test) can set up
// its services between them:
// - the constructor decides the process-wide settings (twips per pixel, the
//   application folder and title, the settings back end, the error switch,
//   the start-up options, the font and the layout scale) and builds, scales
//   and places every control on the painted window surface;
// - Load() restores the window's position, shows it, hands the paths of the
//   command line to the intake and marks the window loaded.
// The single-instance check comes before both, in the program's main.
//
// Shutdown is the close event, however the window is closed (the title bar,
// the desktop, SIGTERM or SIGINT through the program): while a run is in
// progress the close is refused, the run is stopped (its partial copy is
// removed) and the window closes by itself once the file in progress has
// ended. Then the position and the choices are stored and the fonts released.
//
// The run: BatchController on one worker thread, one file at a time in list
// order. Its results come back as values and are applied here, on the
// window's thread; no file work ever runs on this thread, and no exception
// leaves a handler of this class.
//
// Units: layout values are twips (1/1440 inch) scaled by SizeRate; widget
// geometry is in pixels of TwipsPerPixel() twips.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include "app/batch_controller.h"
#include "app/delivery_profile.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "gui/details/frm_details.h"
#include "gui/rows/file_list_view.h"
#include "report/batch_report.h"
#include "uikit/picture.h"

class QComboBox;
class QLineEdit;
class QLocalServer;
class QMenu;

namespace sonivate {

class UC_Bar;
class UC_Buttons;
class UC_Check;
class UC_ListView;
class UC_PathText;
class UC_TextPicture;

// What the window starts from.
struct FrmMainStartup {
    // The application folder ("" = the executable's folder): the ini file and
    // "ec.txt" are looked for here, and it becomes the current folder.
    std::string AppFolder;
    // The command line after the program's name: options and paths.
    std::vector<std::string> Arguments;
    // Make AppFolder the current folder (tests that share a process turn it off).
    bool ChangeCurrentFolder = true;
    // Seconds of a steady clock, for the time left of a run (null: the
    // system's steady clock).
    std::function<double()> Clock;
    // The room the window may take, logical pixels (empty: the available
    // area of the primary screen). A SizeRate that makes the window larger
    // is reduced until it fits.
    QSize ScreenArea;
};

// What a row's last run made of it, for its icon, its tooltip and the counts.
enum class RowOutcome { None, Written, MeasuredOnly, Skipped, Failed, Stopped, NotReached };

// Columns of the window's list after the file list's five: off by default,
// turned on from the header's menu.
inline constexpr std::int32_t kColumnTruePeak = 5;      // dBTP
inline constexpr std::int32_t kColumnLRA = 6;           // LU
inline constexpr std::int32_t kColumnMaxShortTerm = 7;  // LKFS
inline constexpr std::int32_t kColumnVerdict = 8;       // the copy's verdict under the profile
inline constexpr std::int32_t kWindowColumns = 9;

class FrmMain : public QWidget, private RunHost, private IntakeHost {
    Q_OBJECT

public:
    // The window's caption and the settings' title.
    static constexpr const char* kAppTitle = "sonivate";
    // The design size of the inner area (twips at SizeRate 1).
    static constexpr std::int32_t kInnerWidthTwips = 9675;
    static constexpr std::int32_t kInnerHeightTwips = 7740;
    // Layout scale limits.
    static constexpr float kMinSizeRate = 0.7f;
    static constexpr float kMaxSizeRate = 3.0f;
    // Button indices of CtrButtons.
    static constexpr std::int16_t kButtonStop = 0;
    static constexpr std::int16_t kButtonStart = 1;

    explicit FrmMain(FrmMainStartup pStartup, QWidget* pParent = nullptr);
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    // Steps after building: placement restored, window shown, command-line
    // paths listed (rejections shown in message boxes), loaded.
    void Load();

    // The output folder box and clip avoidance follow the output switch.
    void UpdateOutputControls();

    // ---- A second start of the program ------------------------------------------
    // Listens on pSocketPath (a local socket, any stale one replaced) for the
    // arguments of later starts. False when the socket cannot be made.
    bool ListenForSecondStarts(const std::string& pSocketPath);
    // The arguments of a later start (pWorkingFolder: its current folder, for
    // relative paths): their paths are listed as the command line would list
    // them, or refused with a message during a run; options are ignored. The
    // window comes to the front either way.
    void TakeSecondStart(const std::vector<std::string>& pArguments, const std::string& pWorkingFolder);

    // SIGTERM or SIGINT: ends as a user closing the window would, also while
    // a message box of the start-up is shown (the box is closed and no later
    // one is shown).
    void EndBySignal();
    bool Ending() const { return c_Ending; }

    // ---- State, for the program and for tests -------------------------------
    float SizeRate() const { return c_SizeRate; }
    std::int32_t AltFontMode() const { return c_AltFont; }
    bool Loaded() const { return c_Loaded; }
    bool Running() const;
    const BatchController& Controller() const { return *c_Controller; }
    // The painted window surface (background, labels, frame), logical pixels.
    const Picture& Surface() const { return c_Surface; }
    // The last status text shown.
    const std::string& StatusText() const { return c_Status; }
    // What the last run made of row pRow (None before any run), and the
    // text its tooltip gives (outcome, a missing marker, name and path).
    RowOutcome Outcome(std::int32_t pRow) const;
    std::string RowToolTip(std::int32_t pRow, std::int32_t pColumn) const;

    // ---- Beyond the list's own columns ------------------------------------------
    // The delivery profile the rows are judged against (empty: none), and
    // the setting it came from ("none", a built-in name or a file's path).
    const std::optional<DeliveryProfile>& Profile() const { return c_Profile; }
    const std::string& ProfileSetting() const { return c_ProfileSetting; }
    // Chooses the profile as the menu does: "none", a built-in name, or a
    // profile file's path (a file that cannot be used is told and changes
    // nothing). A profile sets the target box to its target. False when refused.
    bool ChooseProfile(const std::string& pSetting);
    // Shows or hides an optional column (kColumnTruePeak..kColumnVerdict).
    void ShowColumn(std::int32_t pColumn, bool pShown);
    bool ColumnShown(std::int32_t pColumn) const;
    // What the last run measured of row pRow (null when nothing).
    const RowResult* RowMeasurement(std::int32_t pRow) const;
    // The menus, opened as a right click opens them (pGlobal: screen pixels;
    // pRow: the row under the pointer, -1 none); each is shown without
    // blocking and rebuilt on every opening.
    void OpenListMenu(QPoint pGlobal, std::int32_t pRow = -1);
    void OpenHeaderMenu(QPoint pGlobal);
    QMenu* ListMenu() const { return c_ListMenu; }
    QMenu* HeaderMenu() const { return c_HeaderMenu; }
    // The details of row pRow in their own window; the window (null before).
    void ShowDetails(std::int32_t pRow);
    FrmDetails* Details() const { return c_Details; }
    // Lists the selected rows' files again where they are, with the range
    // choices as they are now.
    void RelistSelected();
    // Removes every row.
    void ClearList();
    // Asks for a file name (the dialog service) and writes the report of
    // the list there, off the window's thread; ReportSaved follows.
    void SaveReport();
    // The same without asking; false when refused (a run, an empty list).
    bool SaveReportTo(const std::string& pPath);

    UC_ListView* LV() const { return c_LV; }
    UC_TextPicture* PictureInfo() const { return c_PictureInfo; }
    UC_Bar* ProgBar() const { return c_ProgBar; }
    QComboBox* ComboFromTo(int pIndex) const { return c_ComboFromTo.at(static_cast<std::size_t>(pIndex)); }
    QLineEdit* TextTargetLKFS() const { return c_TextTargetLKFS; }
    UC_Check* CheckWavOutput() const { return c_CheckWavOutput; }
    UC_PathText* TextSoundPath() const { return c_TextSoundPath; }
    UC_Check* CheckNoClip() const { return c_CheckNoClip; }
    UC_Buttons* CtrButtons() const { return c_CtrButtons; }

    // ---- RunHost: what the run reads and shows -------------------------------
    void ShowStatus(const std::string& pText) override;

signals:
    // Every status text as it is shown.
    void StatusShown(const QString& pText);
    // Every progress value (0 to kProgressScale) as the bar shows it.
    void ProgressShown(int pValue);
    // A run has ended (after its end-of-run steps); for tests and the program.
    void RunEnded();
    // The window has stored its settings and is about to close.
    void Unloaded();
    // A report was written (pOk) or failed; pPath is its name.
    void ReportSaved(bool pOk, const QString& pPath);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dragMoveEvent(QDragMoveEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    // ---- Start-up ---------------------------------------------------------------
    void DecideProcessSettings(const FrmMainStartup& pStartup);
    void ReadOptions();
    void ScaleWindow();
    void BuildControls();
    void BuildList();
    void BuildStatus();
    void BuildChoices();
    void PaintBackground();
    void BuildOutputOptions();
    void BuildButtons();
    void PrintLabels();
    void ConnectEvents();
    void Unload();
    // Records where every control sits at the design size, so that a larger
    // window can grow the list and keep the rest at its corner.
    void RecordLayout();
    void Relayout();
    void LoadQcSettings();
    void StoreQcSettings();

    // ---- Events -------------------------------------------------------------------
    void ButtonClicked(std::int16_t pIndex);
    void StartPressed();
    // The target as a number, or a message and false.
    bool TargetReady();
    // The output folder named exists (or is made), or a message and false.
    bool OutputFolderReady();
    void LockOptions(bool pLocked);
    void FitSizeRateToScreen(QSize pArea);
    void ListPaths(const std::vector<std::string>& pPaths);
    // Rows new since the last call get the notes of the markers their files lack.
    void NoteNewRows();
    void ResetOutcomes();
    void SetOutcome(std::int32_t pRow, RowOutcome pOutcome, const std::string& pText);
    std::string RunPosition() const;
    void TakeConnection();
    void ListDoubleClicked();
    void ListStartDrag(DragData& pData, std::int32_t& pAllowedEffects);
    void ListDrop(DragData& pData, std::int32_t& pEffect, double pY);
    void AddDropped(std::vector<std::string> pFiles, std::int32_t pRow);
    void BringToFront();
    // ---- Figures beyond the list's own -------------------------------------------
    void ShowExtraFigures(std::int32_t pRow, const RowResult& pResult);
    void JudgeRows();
    void ForgetRemovedResults();
    std::string VerdictToolTip(std::int32_t pRow) const;
    RowDetails DetailsOf(std::int32_t pRow) const;
    report::BatchReport BuildReport() const;
    void ReportWritten(const std::string& pPath, bool pOk, int pErrno);

    // Runs pBody; an exception is shown (ErrorCatch() != 0) or dropped, never
    // passed to the event loop.
    template <class Body>
    void Guarded(Body&& pBody) noexcept;
    void ReportError(const std::string& pText);

    // Twips scaled by SizeRate, rounded to the nearest integer (halves to even).
    std::int32_t Scaled(std::int32_t pTwips) const;

    // ---- RunHost --------------------------------------------------------------------
    std::string TargetLKFSText() const override;
    bool WavOutput() const override;
    std::string SoundPath() const override;
    bool NoClip() const override;
    void ClearStopRequest() override {}
    // The true peak counts in the clip test, and the details and the
    // report draw the loudness over time: the window always takes both.
    bool BroadcastExtras() const override { return true; }
    bool KeepSeries() const override { return true; }
    BextLoudnessMode BextLoudness() const override { return c_BextLoudness; }
    void SetProgress(std::int32_t pValue) override;
    bool StopRequested() const override { return false; }  // the controller keeps the stop button's request
    void RunStarting() override;
    void RunColours(bool pRunning) override;
    void ListChanged() override;
    void RunFinished() override;
    void RowSelected(std::int32_t pRow) override;
    void RowApplied(const RowResult& pResult) override;
    void RunError(const std::string& pText) override;
    void CloseReady() override;

    // ---- IntakeHost -------------------------------------------------------------------
    std::int32_t RangeStartChoice() const override;
    std::int32_t RangeEndChoice() const override;
    void ShowRejection(const std::string& pText) override;
    void Rejected(const std::string& pPath, RowReason pReason) override;
    void MarkersResolved(const std::string& pPath, const RangeMarkers& pMarkers) override;

    std::string c_AppFolder;
    std::vector<std::string> c_Arguments;
    std::vector<std::string> c_Paths;  // command-line paths, absolute
    float c_SizeRate = 0.0f;
    std::int32_t c_AltFont = 0;
    bool c_Loaded = false;
    bool c_Unloaded = false;
    std::string c_Status;
    Picture c_Surface;
    std::function<double()> c_Clock;
    bool c_Ending = false;
    // The run's counts and times (clock seconds).
    std::int32_t c_RunRows = 0;
    std::int32_t c_RunRow = -1;
    std::int32_t c_RowsDone = 0;
    double c_RunStart = 0.0;
    double c_RowStart = 0.0;
    std::map<RowOutcome, std::int32_t> c_Counts;
    // Notes of missing markers by path, waiting for their rows.
    std::map<std::string, std::string> c_PendingNotes;
    // The last rejection the intake reported (its text is adjusted for folders).
    std::string c_RejectedPath;
    RowReason c_RejectedReason = RowReason::None;
    QLocalServer* c_Server = nullptr;
    // The delivery profile and its setting; the copies' bext loudness choice.
    std::optional<DeliveryProfile> c_Profile;
    std::string c_ProfileSetting;
    BextLoudnessMode c_BextLoudness = kDefaultBextLoudnessMode;
    // What the last run to measure a row made of it, and the target it was
    // measured for, by the key the row keeps in its hidden values.
    struct KeptMeasurement {
        RowResult Result;
        double TargetLKFS = 0.0;
        std::int64_t Run = 0;  // the run that measured it (c_RunNumber then)
    };
    std::map<std::int64_t, KeptMeasurement> c_Results;
    // Runs started so far: a kept measurement of an earlier run still gives
    // its figures, but no outcome of the last run (no copy, no copy verdict).
    std::int64_t c_RunNumber = 0;
    // The row's measurement as the last run left it: an earlier run's
    // figures with this run's outcome of the row.
    std::optional<RowResult> LastRunResult(std::int32_t pRow) const;
    double c_RunTarget = 0.0;
    std::int64_t c_NextResultKey = 0;
    bool c_ReportPending = false;
    // Geometry of the controls and of the window at the design size, pixels.
    std::vector<std::pair<QWidget*, QRect>> c_DesignLayout;
    QSize c_DesignSize;
    QMenu* c_ListMenu = nullptr;
    QMenu* c_HeaderMenu = nullptr;
    FrmDetails* c_Details = nullptr;

    UC_ListView* c_LV = nullptr;
    UC_TextPicture* c_PictureInfo = nullptr;
    UC_Bar* c_ProgBar = nullptr;
    std::array<QComboBox*, 2> c_ComboFromTo{};
    QLineEdit* c_TextTargetLKFS = nullptr;
    UC_Check* c_CheckWavOutput = nullptr;
    UC_PathText* c_TextSoundPath = nullptr;
    UC_Check* c_CheckNoClip = nullptr;
    UC_Buttons* c_CtrButtons = nullptr;

    // Declared in this order so that the controller goes before the worker.
    std::unique_ptr<ThreadExecutor> c_Executor;
    std::unique_ptr<ListViewRows> c_Rows;  // the batch's rows, kept in the list
    std::unique_ptr<BatchController> c_Controller;
};

}  // namespace sonivate

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
// The window is an assembly of rooms, each in its own file with one concern,
// that talk through their own small interfaces, never through another's
// controls: WindowLayout (where the controls sit, the painted surface, a
// larger window), WindowChoices (range, target, output options), WindowRows
// (what the window knows of each row beyond the file list), WindowRun (the
// run's host: status, progress, outcomes, tooltips), WindowIntake (files
// from the command line, a later start and drops; removals), ListColumns
// (the optional columns, the verdicts and the profile), ListMenus (the
// list's context menu), DetailsOpener and ReportSaver. FrmMain builds them,
// wires the controls' events to them and keeps the public API below.
//
// Units: layout values are twips (1/1440 inch) scaled by SizeRate; widget
// geometry is in pixels of TwipsPerPixel() twips.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPoint>
#include <QSize>
#include <QWidget>

#include "app/batch_controller.h"
#include "app/delivery_profile.h"
#include "gui/list_columns.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_layout.h"
#include "gui/window_rows.h"
#include "gui/window_run.h"
#include "uikit/picture.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;

namespace sonivate {

class DetailsOpener;
class FrmDetails;
class ListMenus;
class ReportSaver;
class UC_Bar;
class UC_Buttons;
class UC_Check;
class UC_ListView;
class UC_PathText;
class UC_TextPicture;
class WindowChoices;
class WindowIntake;

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

class FrmMain : public QWidget, private RunWatcher {
    Q_OBJECT

public:
    // The window's caption and the settings' title.
    static constexpr const char* kAppTitle = "sonivate";
    // The design size of the inner area (twips at SizeRate 1).
    static constexpr std::int32_t kInnerWidthTwips = kDesignInnerWidthTwips;
    static constexpr std::int32_t kInnerHeightTwips = kDesignInnerHeightTwips;
    // Layout scale limits.
    static constexpr float kMinSizeRate = 0.7f;
    static constexpr float kMaxSizeRate = 3.0f;
    // Button indices of CtrButtons.
    static constexpr std::int16_t kButtonStop = kButtonIndexStop;
    static constexpr std::int16_t kButtonStart = kButtonIndexStart;

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
    const Picture& Surface() const;
    // The last status text shown.
    const std::string& StatusText() const;
    // What the last run made of row pRow (None before any run), and the
    // text its tooltip gives (outcome, a missing marker, name and path).
    RowOutcome Outcome(std::int32_t pRow) const;
    std::string RowToolTip(std::int32_t pRow, std::int32_t pColumn) const;

    // ---- Beyond the list's own columns ------------------------------------------
    // The delivery profile the rows are judged against (empty: none), and
    // the setting it came from ("none", a built-in name or a file's path).
    const std::optional<DeliveryProfile>& Profile() const;
    const std::string& ProfileSetting() const;
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
    QMenu* ListMenu() const;
    QMenu* HeaderMenu() const;
    // The details of row pRow in their own window; the window (null before).
    void ShowDetails(std::int32_t pRow);
    FrmDetails* Details() const;
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
    QLabel* ProfileLine() const { return c_ProfileLine; }

    // A status text, shown as the run shows its own.
    void ShowStatus(const std::string& pText);

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
    void DecideSizeRate(QSize pScreenArea);
    // The rooms over the controls the layout built.
    void BuildRooms(const FrmMainStartup& pStartup, const ChoiceControls& pChoices, const StoredChoices& pStored);
    void ConnectEvents();
    void Unload();
    void StoreWindowSize();
    void ButtonClicked(std::int16_t pIndex);

    // ---- RunWatcher -----------------------------------------------------------------
    void StatusTold(const std::string& pText) override;
    void ProgressTold(std::int32_t pValue) override;
    void RowDone(std::int32_t pRow, const RowResult& pResult) override;
    void RunOver() override;
    void CloseReady() override;

    std::string c_AppFolder;
    std::vector<std::string> c_Arguments;
    std::vector<std::string> c_Paths;  // command-line paths, absolute
    float c_SizeRate = 0.0f;
    std::int32_t c_AltFont = 0;
    bool c_Loaded = false;
    bool c_Unloaded = false;
    bool c_Ending = false;

    UC_ListView* c_LV = nullptr;
    UC_TextPicture* c_PictureInfo = nullptr;
    UC_Bar* c_ProgBar = nullptr;
    std::array<QComboBox*, 2> c_ComboFromTo{};
    QLineEdit* c_TextTargetLKFS = nullptr;
    UC_Check* c_CheckWavOutput = nullptr;
    UC_PathText* c_TextSoundPath = nullptr;
    UC_Check* c_CheckNoClip = nullptr;
    UC_Buttons* c_CtrButtons = nullptr;
    QLabel* c_ProfileLine = nullptr;

    // The rooms; each has its own concern and its own controls. Declared so
    // that a room goes after the rooms it holds, and the controller before
    // the worker, which goes before every room its tasks reach.
    std::unique_ptr<WindowLayout> c_Layout;
    std::unique_ptr<WindowChoices> c_Choices;
    std::unique_ptr<WindowRows> c_Rows;  // the batch's rows: the list's cells and their state by id
    std::unique_ptr<ListColumns> c_Columns;
    std::unique_ptr<WindowRun> c_Run;
    std::unique_ptr<WindowIntake> c_Intake;
    std::unique_ptr<DetailsOpener> c_DetailsOpener;
    std::unique_ptr<ReportSaver> c_Report;
    std::unique_ptr<ListMenus> c_Menus;
    std::unique_ptr<ThreadExecutor> c_Executor;
    std::unique_ptr<BatchController> c_Controller;
};

}  // namespace sonivate

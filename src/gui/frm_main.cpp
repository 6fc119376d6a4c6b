#include "gui/frm_main.h"

#include <chrono>
#include <cmath>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>
#include <QShortcut>

#include "common/error_trap.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "controls/model/cell_value.h"
#include "controls/widgets/uc_bar.h"
#include "controls/widgets/uc_buttons.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_list_view.h"
#include "controls/widgets/uc_path_text.h"
#include "controls/widgets/uc_text_picture.h"
#include "gui/details_opener.h"
#include "gui/guarded.h"
#include "gui/list_menus.h"
#include "gui/report_saver.h"
#include "gui/rows/file_list_view.h"
#include "gui/start_options.h"
#include "gui/window_choices.h"
#include "gui/window_intake.h"
#include "uikit/fonts.h"
#include "uikit/layout.h"
#include "uikit/monitors.h"
#include "uikit/ui_metrics.h"
#include "platform/file_names.h"

namespace sonivate {
namespace {

// The layout scale, and the inner size of a window made larger (twips; the
// design size when absent).
constexpr const char* kKeySizeRate = "SizeRate";
constexpr const char* kKeyInnerWidth = "InnerWidth";
constexpr const char* kKeyInnerHeight = "InnerHeight";
constexpr double kDefaultSizeRate = 1.0;
// AltFont=1 asks for this face.
constexpr std::int32_t kAltFontMeiryo = 1;

double SteadyClockSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------

FrmMain::FrmMain(FrmMainStartup pStartup, QWidget* pParent) : QWidget(pParent) {
    c_Arguments = pStartup.Arguments;
    // Before the current folder changes: relative paths name files of the
    // folder the program was started from.
    c_Paths = PathArguments(c_Arguments);
    DecideProcessSettings(pStartup);
    Trap([&] { ReadOptions(); });
    Trap([&] {
        if (c_AltFont == 0) SelectUIFont();
    });
    DecideSizeRate(pStartup.ScreenArea);
    c_Layout = std::make_unique<WindowLayout>(*this);
    Trap([&] { c_Layout->ScaleWindow(c_SizeRate); });
    const StoredChoices stored = StoredChoices::Load();
    const WindowControls controls =
        c_Layout->Build(c_SizeRate, stored, [&](UC_ListView& pList) { ListColumns::SetUp(pList, c_SizeRate); });
    c_LV = controls.LV;
    c_PictureInfo = controls.PictureInfo;
    c_ProgBar = controls.ProgBar;
    c_ComboFromTo = controls.Choices.ComboFromTo;
    c_TextTargetLKFS = controls.Choices.TextTargetLKFS;
    c_CheckWavOutput = controls.Choices.CheckWavOutput;
    c_TextSoundPath = controls.Choices.TextSoundPath;
    c_CheckNoClip = controls.Choices.CheckNoClip;
    c_CtrButtons = controls.CtrButtons;
    c_ProfileLine = controls.ProfileLine;
    Trap([&] { c_Layout->PrintLabels(); });
    Trap([&] { c_Layout->RecordLayout(); });
    BuildRooms(pStartup, controls.Choices, stored);
    Trap([&] {
        const std::string missing = c_Columns->Load();
        if (!missing.empty()) c_Run->ShowQuietStatus(missing);
    });
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

void FrmMain::DecideSizeRate(QSize pScreenArea) {
    Trap([&] {
        if (c_SizeRate == 0.0f) {
            c_SizeRate = static_cast<float>(CellValue(LoadSetting(kKeySizeRate, kDefaultSizeRate)).AsNumber());
        }
    });
    // Not at least the minimum includes a value that is no number (NaN).
    if (!(c_SizeRate >= kMinSizeRate)) c_SizeRate = kMinSizeRate;
    if (c_SizeRate > kMaxSizeRate) c_SizeRate = kMaxSizeRate;
    Trap([&] { c_SizeRate = WindowLayout::FitSizeRateToScreen(c_SizeRate, kMinSizeRate, pScreenArea); });
}

void FrmMain::BuildRooms(const FrmMainStartup& pStartup, const ChoiceControls& pChoices, const StoredChoices& pStored) {
    const auto running = [this] { return c_Controller != nullptr && c_Controller->Running(); };
    c_Choices = std::make_unique<WindowChoices>(pChoices, pStored, this);
    c_Rows = std::make_unique<WindowRows>(*c_LV);
    c_Columns = std::make_unique<ListColumns>(*c_LV, *c_Rows, *c_Choices, running, this);
    c_Columns->SetProfileLine(c_ProfileLine);
    c_Run = std::make_unique<WindowRun>(*c_PictureInfo, *c_ProgBar, *c_LV, *c_Rows, *c_Choices, *c_Columns,
                                        static_cast<RunWatcher&>(*this),
                                        pStartup.Clock ? pStartup.Clock : SteadyClockSeconds, this);
    c_Intake = std::make_unique<WindowIntake>(
        *c_LV, *c_Rows, *c_Choices, [this] { return c_Ending; }, this);
    c_Executor = std::make_unique<ThreadExecutor>([this](std::function<void()> pTask) {
        // Queued to the window's thread; a task that arrives after the window
        // is gone is dropped with it.
        QMetaObject::invokeMethod(this, std::move(pTask), Qt::QueuedConnection);
    });
    c_Report = std::make_unique<ReportSaver>(
        *c_Rows, *c_Columns, *c_Choices, *c_Executor, running,
        [this](const std::string& pText) { c_Run->ShowStatus(pText); },
        [this](bool pOk, const std::string& pPath) { emit ReportSaved(pOk, Q(pPath)); }, this);
    c_DetailsOpener = std::make_unique<DetailsOpener>(*c_Rows, *c_Columns, *c_Choices, this);
    ListMenuActions actions;
    actions.Running = running;
    actions.ShowDetails = [this](std::int32_t pRow) { c_DetailsOpener->Show(pRow); };
    actions.ReportPending = [this] { return c_Report->Pending(); };
    actions.SaveReport = [this] { c_Report->Save(); };
    actions.EditReportFields = [this] { c_Report->EditFields(); };
    actions.ShowStatus = [this](const std::string& pText) { c_Run->ShowStatus(pText); };
    actions.AnyUnmeasured = [this] {
        for (std::int32_t row = 0; row < c_Rows->Count(); ++row)
            if (c_Rows->Measurement(row) == nullptr) return true;
        return false;
    };
    // Runs of some rows: the selected ones, or those no run of this session
    // has measured (one late spot does not re-run the other 29).
    const auto runRows = [this](const std::function<bool(std::int32_t)>& pTaken) {
        std::vector<std::int32_t> rows;
        std::vector<RowId> ids;
        for (std::int32_t row = 0; row < c_Rows->Count(); ++row) {
            if (!pTaken(row)) continue;
            rows.push_back(row);
            ids.push_back(c_Rows->IdAt(row));
        }
        c_Run->StartOnly(rows, ids);
    };
    actions.RunSelected = [this, runRows] {
        runRows([this](std::int32_t pRow) { return c_LV->IsSelected(pRow) != 0; });
    };
    actions.RunUnmeasured = [this, runRows] {
        runRows([this](std::int32_t pRow) { return c_Rows->Measurement(pRow) == nullptr; });
    };
    c_Menus = std::make_unique<ListMenus>(*c_LV, *c_Intake, *c_Columns, *c_Choices, std::move(actions), this);
    c_Controller = std::make_unique<BatchController>(*c_Rows, static_cast<RunHost&>(*c_Run), *c_Executor);
    c_Run->Attach(*c_Controller);
    c_Intake->Attach(*c_Controller);
    c_LV->SetToolTipSource([this](std::int32_t pRow, std::int32_t pColumn) { return RowToolTip(pRow, pColumn); });
}

void FrmMain::ConnectEvents() {
    connect(c_CtrButtons, &UC_Buttons::ButtonClicked, this,
            [this](std::int16_t& pIndex) { Guarded(this, [&] { ButtonClicked(pIndex); }); });
    connect(c_CheckWavOutput, &UC_Check::Click, this, [this] {
        Guarded(this, [&] {
            if (c_Loaded) UpdateOutputControls();
        });
    });
    const auto removeSelected = [this] {
        Guarded(this, [&] {
            c_Intake->RemoveSelected();
            c_Columns->UpdateProfileLine();
        });
    };
    connect(c_LV, &UC_ListView::DblClicked, this, removeSelected);
    connect(c_LV, &UC_ListView::OLEStartDrag, this, [this](DragData& pData, std::int32_t& pAllowedEffects) {
        Guarded(this, [&] {
            c_Intake->StartDrag(pData, pAllowedEffects);
            c_Columns->UpdateProfileLine();
        });
    });
    connect(c_LV, &UC_ListView::OLEDragDrop, this,
            [this](DragData& pData, std::int32_t& pEffect, std::int32_t&, std::int32_t&, double&, double& pY) {
                Guarded(this, [&] { c_Intake->Drop(pData, pEffect, pY); });
            });
    connect(c_LV, &UC_ListView::OLEDragOver, this, [this] { Guarded(this, [&] { c_Intake->BringToFront(); }); });
    connect(c_LV, &UC_ListView::DeletePressed, this, removeSelected);
    c_Menus->Connect();
    setAcceptDrops(true);

    // Esc stops a run, wherever the keyboard is in the window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        Guarded(this, [&] {
            if (Running()) c_Run->Stop();
        });
    });
    // Ctrl+O adds a file through the dialog service, as the list's menu does.
    auto* open = new QShortcut(QKeySequence(QKeySequence::Open), this);
    connect(open, &QShortcut::activated, this, [this] {
        Guarded(this, [&] {
            c_Intake->AddChosen(false);
            c_Columns->UpdateProfileLine();
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
    Guarded(this, [&] {
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
        c_Intake->ListPaths(c_Paths);
        c_Loaded = true;
        UpdateOutputControls();
        c_LV->setFocus(Qt::OtherFocusReason);
    });
}

void FrmMain::UpdateOutputControls() { c_Choices->UpdateOutputControls(); }

bool FrmMain::Running() const { return c_Controller->Running(); }

// ---- Shutdown ---------------------------------------------------------------------------

void FrmMain::closeEvent(QCloseEvent* pEvent) {
    bool closeNow = true;
    Guarded(this, [&] { closeNow = c_Controller->RequestClose(); });
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
    Guarded(this, [&] {
        Trap([&] {
            const WidgetPlacement placement(*this);
            SaveWindowPlacement(placement, "", true, false);
        });
        c_Columns->Store();
        c_Choices->StoreMenuChoices();
        StoreWindowSize();
        c_Choices->Store();
        Trap([&] {
            if (FontCount() > 0) ReleaseFonts();
        });
    });
    emit Unloaded();
}

void FrmMain::StoreWindowSize() {
    Trap([&] {
        const std::int32_t tpp = TwipsPerPixel();
        StoreSetting(kKeyInnerWidth, static_cast<std::int32_t>(width() * tpp));
        StoreSetting(kKeyInnerHeight, static_cast<std::int32_t>(height() * tpp));
    });
}

void FrmMain::EndBySignal() {
    c_Ending = true;
    // A box of the start-up (a rejected file) is closed as its OK would close it.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (!modal->close()) break;
    }
    close();
}

// ---- Events -----------------------------------------------------------------------------

void FrmMain::ButtonClicked(std::int16_t pIndex) {
    if (pIndex == kButtonStop) {
        c_Run->Stop();
    } else if (pIndex == kButtonStart) {
        c_Run->Start();
    }
}

void FrmMain::dragEnterEvent(QDragEnterEvent* pEvent) {
    Guarded(this, [&] { c_Intake->BringToFront(); });
    // Accepted only to hear the moves; a drop on the window itself does nothing.
    pEvent->acceptProposedAction();
}

void FrmMain::dragMoveEvent(QDragMoveEvent* pEvent) {
    Guarded(this, [&] { c_Intake->BringToFront(); });
    pEvent->ignore();
}

void FrmMain::dropEvent(QDropEvent* pEvent) { pEvent->ignore(); }

void FrmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Picture& surface = c_Layout->Surface();
    if (!surface.IsNull()) painter.drawImage(0, 0, surface.Image());
}

void FrmMain::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    Guarded(this, [&] {
        if (c_Layout) c_Layout->Relayout();
    });
}

// ---- RunWatcher -------------------------------------------------------------------------

void FrmMain::StatusTold(const std::string& pText) { emit StatusShown(Q(pText)); }
void FrmMain::ProgressTold(std::int32_t pValue) { emit ProgressShown(pValue); }

void FrmMain::RowDone(std::int32_t pRow, const RowResult& pResult) {
    // A row not measured this time keeps its last figures, as its cells do.
    if (pResult.Measured) c_Columns->ShowFigures(pRow, pResult);
    // Open details follow their row through a new run.
    c_DetailsOpener->Follow(pRow);
}

// After the controller's remaining end-of-run steps.
void FrmMain::RunOver() {
    c_Columns->UpdateProfileLine();
    QMetaObject::invokeMethod(this, &FrmMain::RunEnded, Qt::QueuedConnection);
}

void FrmMain::CloseReady() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

// ---- The rooms' API, for the program and for tests ------------------------------------------

const Picture& FrmMain::Surface() const { return c_Layout->Surface(); }
const std::string& FrmMain::StatusText() const { return c_Run->StatusText(); }
void FrmMain::ShowStatus(const std::string& pText) { c_Run->ShowStatus(pText); }
RowOutcome FrmMain::Outcome(std::int32_t pRow) const { return c_Rows->Outcome(pRow); }
std::string FrmMain::RowToolTip(std::int32_t pRow, std::int32_t pColumn) const {
    return c_Run->RowToolTip(pRow, pColumn);
}
const RowResult* FrmMain::RowMeasurement(std::int32_t pRow) const { return c_Rows->Measurement(pRow); }

const std::optional<DeliveryProfile>& FrmMain::Profile() const { return c_Columns->Profile(); }
const std::string& FrmMain::ProfileSetting() const { return c_Columns->ProfileSetting(); }
bool FrmMain::ChooseProfile(const std::string& pSetting) { return c_Columns->ChooseProfile(pSetting); }
void FrmMain::ShowColumn(std::int32_t pColumn, bool pShown) { c_Columns->ShowColumn(pColumn, pShown); }
bool FrmMain::ColumnShown(std::int32_t pColumn) const { return c_Columns->ColumnShown(pColumn); }

void FrmMain::OpenListMenu(QPoint pGlobal, std::int32_t pRow) { c_Menus->Open(pGlobal, pRow); }
void FrmMain::OpenHeaderMenu(QPoint pGlobal) { c_LV->OpenColumnMenu(pGlobal); }
QMenu* FrmMain::ListMenu() const { return c_Menus->Menu(); }
QMenu* FrmMain::HeaderMenu() const { return c_LV->ColumnMenu(); }

void FrmMain::ShowDetails(std::int32_t pRow) { c_DetailsOpener->Show(pRow); }
FrmDetails* FrmMain::Details() const { return c_DetailsOpener->Details(); }

void FrmMain::RelistSelected() { c_Intake->RelistSelected(); }
void FrmMain::ClearList() { c_Intake->ClearList(); }
void FrmMain::SaveReport() { c_Report->Save(); }
bool FrmMain::SaveReportTo(const std::string& pPath) { return c_Report->SaveTo(pPath); }

bool FrmMain::ListenForSecondStarts(const std::string& pSocketPath) {
    return c_Intake->ListenForSecondStarts(pSocketPath);
}
void FrmMain::TakeSecondStart(const std::vector<std::string>& pArguments, const std::string& pWorkingFolder) {
    c_Intake->TakeSecondStart(pArguments, pWorkingFolder);
}

}  // namespace sonivate

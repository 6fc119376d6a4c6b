#include "gui/window_intake.h"

#include <utility>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include "app/batch_controller.h"
#include "common/error_trap.h"
#include "common/paths.h"
#include "controls/widgets/uc_list_view.h"
#include "gui/guarded.h"
#include "gui/rows/file_list_view.h"
#include "gui/second_start.h"
#include "gui/start_options.h"
#include "gui/window_choices.h"
#include "gui/window_language.h"
#include "gui/window_rows.h"
#include "uikit/dialogs.h"
#include "uikit/message_box.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

constexpr const char* kTr = "WindowIntake";
constexpr const char* kMessageBusy =
    QT_TRANSLATE_NOOP("WindowIntake", "処理中のため、ファイルを追加できません。終了してから追加してください。");
// %1: the marker chosen.
constexpr const char* kNoteStartMissing =
    QT_TRANSLATE_NOOP("WindowIntake", "%1のマーカーがないため、ファイル先頭から計測します");
constexpr const char* kNoteEndMissing =
    QT_TRANSLATE_NOOP("WindowIntake", "%1のマーカーがないため、ファイル終端まで計測します");

// The dialogs of the list's "add" entries.
constexpr const char* kFileFilter = QT_TRANSLATE_NOOP("WindowIntake", "WAVファイル|*.wav;*.WAV|すべて|*");
constexpr const char* kFolderTitle = QT_TRANSLATE_NOOP("WindowIntake", "追加するフォルダを選択してください");

}  // namespace

WindowIntake::WindowIntake(UC_ListView& pList, WindowRows& pRows, const WindowChoices& pChoices,
                           std::function<bool()> pEnding, QWidget* pOwner)
    : mList(pList), mRows(pRows), mChoices(pChoices), mEnding(std::move(pEnding)), mOwner(pOwner) {}

void WindowIntake::ListPaths(const std::vector<std::string>& pPaths) {
    Trap([&] {
        AddCommandLinePaths(mRows, *this, pPaths);
        mRows.NoteNewRows();
        if (mList.ItemCount() > 0) mList.Refresh();
    });
}

void WindowIntake::AddChosen(bool pFolder) {
    // The dialog starts where the last listed file is.
    const std::string start =
        mList.ItemCount() > 0 ? PathPart(mRows.Path(mList.ItemCount() - 1), true, false, false, false, false, kKeepCase)
                              : std::string();
    // Files: as many at once as the operator selects (a delivery of thirty spots).
    std::vector<std::string> paths;
    if (pFolder) {
        if (std::string folder = BrowseForFolder(start, TrText(kTr, kFolderTitle), mOwner); !folder.empty())
            paths.push_back(std::move(folder));
    } else {
        paths = FilesDialog(mOwner, TrText(kTr, kFileFilter), start);
    }
    if (paths.empty()) return;
    if (!mController->IntakeAllowed()) {
        OwnerMessageBox(TrText(kTr, kMessageBusy), kMbOk | kMbIconExclamation, "", mOwner);
        return;
    }
    ListPaths(paths);
}

// ---- A later start -------------------------------------------------------------------------

bool WindowIntake::ListenForSecondStarts(const std::string& pSocketPath) {
    // No private folder for the socket: second starts are not taken.
    if (pSocketPath.empty()) return false;
    if (mServer == nullptr) {
        mServer = new QLocalServer(mOwner);
        // Only this user may hand files over.
        mServer->setSocketOptions(QLocalServer::UserAccessOption);
        QObject::connect(mServer, &QLocalServer::newConnection, mOwner,
                         [this] { Guarded(mOwner, [&] { TakeConnection(); }); });
    }
    // The single-instance lock is held: a socket left by a crashed first
    // instance is stale.
    QLocalServer::removeServer(Q(pSocketPath));
    return mServer->listen(Q(pSocketPath));
}

void WindowIntake::TakeConnection() {
    while (QLocalSocket* socket = mServer->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The whole message arrives before the sender closes its end.
        QObject::connect(socket, &QLocalSocket::readChannelFinished, mOwner, [this, socket] {
            Guarded(mOwner, [&] {
                std::string folder;
                std::vector<std::string> arguments;
                if (ReadHandOver(socket->readAll().toStdString(), folder, arguments))
                    TakeSecondStart(arguments, folder);
            });
        });
    }
}

void WindowIntake::TakeSecondStart(const std::vector<std::string>& pArguments, const std::string& pWorkingFolder) {
    if (mOwner->isMinimized()) mOwner->showNormal();
    mOwner->raise();
    mOwner->activateWindow();
    const std::vector<std::string> paths = PathArguments(pArguments, pWorkingFolder);
    if (paths.empty()) return;
    if (!mController->IntakeAllowed()) {
        OwnerMessageBox(TrText(kTr, kMessageBusy), kMbOk | kMbIconExclamation, "", mOwner);
        return;
    }
    ListPaths(paths);
}

// ---- Drags, drops and removals ---------------------------------------------------------------

void WindowIntake::StartDrag(DragData& pData, std::int32_t& pAllowedEffects) {
    pData.Clear();
    std::vector<std::string> files;
    if (!mController->StartDrag(files)) {
        pAllowedEffects = kDropEffectNone;
        return;
    }
    pAllowedEffects = kDropEffectCopy;
    pData.Format = DragData::kFormatFileList;
    pData.Files = std::move(files);
    mList.Model().UnSelectAll();
    mList.ReDraw();
    mList.SetVbarParm();
}

void WindowIntake::Drop(const DragData& pData, std::int32_t& pEffect, double pY) {
    if (!mController->IntakeAllowed()) {
        pEffect = kDropEffectNone;
        return;
    }
    // The drop is answered at once; the files are checked right after it,
    // once the source of the drag has been let go, so that the message boxes
    // of rejected files never hold a file manager's drag.
    const std::int32_t row = mList.YsItem(pY);
    QTimer::singleShot(0, mOwner, [this, files = pData.Files, row]() mutable {
        Guarded(mOwner, [&] { AddDropped(std::move(files), row); });
    });
}

void WindowIntake::AddDropped(std::vector<std::string> pFiles, std::int32_t pRow) {
    mOwner->setCursor(Qt::WaitCursor);
    mController->DropFiles(*this, pFiles, pRow);
    mRows.NoteNewRows();
    mList.ReDraw();
    mList.SetVbarParm();
    mOwner->unsetCursor();
}

void WindowIntake::BringToFront() {
    if (mOwner->isActiveWindow()) return;
    mOwner->raise();
    mOwner->activateWindow();
}

void WindowIntake::RemoveSelected() {
    if (mController->RemoveSelected()) {
        mRows.ForgetRemoved();
        mList.Refresh();
    }
}

void WindowIntake::ClearList() {
    if (!mController->IntakeAllowed()) return;
    mList.SelectAll();
    RemoveSelected();
}

void WindowIntake::RelistSelected() {
    if (!mController->IntakeAllowed()) return;
    // From the bottom up, so that the rows above keep their numbers; each
    // file comes back where it was, its range taken from the choices as they
    // are now and its figures cleared.
    std::vector<std::pair<std::int32_t, std::string>> rows;
    for (std::int32_t row = 0; row < mList.ItemCount(); ++row)
        if (mList.IsSelected(row) != 0) rows.emplace_back(row, mRows.Path(row));
    mOwner->setCursor(Qt::WaitCursor);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        mList.UnSelectAll();
        mList.SetIsSelected(it->first, 1);
        if (!mController->RemoveSelected()) break;
        mController->DropFiles(*this, {it->second}, it->first);
    }
    mRows.ForgetRemoved();
    mRows.NoteNewRows();
    mList.UnSelectAll();
    mList.ReDraw();
    mList.SetVbarParm();
    mOwner->unsetCursor();
}

// ---- IntakeHost ------------------------------------------------------------------------------

std::int32_t WindowIntake::RangeStartChoice() const { return mChoices.RangeStartChoice(); }
std::int32_t WindowIntake::RangeEndChoice() const { return mChoices.RangeEndChoice(); }

void WindowIntake::Rejected(const std::string& pPath, RowReason pReason) {
    mRejectedPath = pPath;
    mRejectedReason = pReason;
}

void WindowIntake::ShowRejection(const std::string& pText) {
    // Ending on a signal: no further box holds the process.
    if (mEnding()) return;
    std::string text = pText;
    // A folder dropped on the list is refused as a file that is no WAV file.
    if (mRejectedReason == RowReason::NotRegular && FolderExists(mRejectedPath) == 1)
        text = std::string(kMessageNotWav) + kLineBreak + mRejectedPath;
    // The core words its rejections in Japanese; in English the reason's
    // own text stands for them.
    if (WindowMessageLanguage() == MessageLanguage::English && mRejectedReason != RowReason::None) {
        const RowReason reason = text.compare(0, std::string(kMessageNotWav).size(), kMessageNotWav) == 0
                                     ? RowReason::NotPcm
                                     : mRejectedReason;
        text = std::string(ReasonText(reason, MessageLanguage::English)) + kLineBreak + mRejectedPath;
    }
    mRejectedReason = RowReason::None;
    OwnerMessageBox(text, kMbOk | kMbIconStop, "", mOwner);
}

void WindowIntake::MarkersResolved(const std::string& pPath, const RangeMarkers& pMarkers) {
    std::string note;
    if (pMarkers.StartChosen && !pMarkers.StartFound)
        note = TrQ(kTr, kNoteStartMissing).arg(Q(mChoices.RangeStartText())).toStdString();
    if (pMarkers.EndChosen && !pMarkers.EndFound)
        note += (note.empty() ? "" : "\n") + TrQ(kTr, kNoteEndMissing).arg(Q(mChoices.RangeEndText())).toStdString();
    mRows.NotePending(pPath, note);
}

}  // namespace sonivate

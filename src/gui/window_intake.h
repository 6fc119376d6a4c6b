#pragma once
// How files come into the window's list and leave it: the paths of the
// command line and of a later start (handed over on a local socket), files
// dropped on the list, the list's rows dragged out as files, and rows
// removed, cleared or listed again. Rejections are told in message boxes;
// notes of missing range markers go to the rows.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "controls/model/list_view_model.h"

class QLocalServer;
class QWidget;

namespace sonivate {

class BatchController;
class UC_ListView;
class WindowChoices;
class WindowRows;

class WindowIntake final : public IntakeHost {
public:
    // pEnding answers whether the window ends on a signal (no more boxes);
    // pOwner: the window (raised on a drop, its pointer, the boxes).
    WindowIntake(UC_ListView& pList, WindowRows& pRows, const WindowChoices& pChoices, std::function<bool()> pEnding,
                 QWidget* pOwner);
    WindowIntake(const WindowIntake&) = delete;
    WindowIntake& operator=(const WindowIntake&) = delete;

    void Attach(BatchController& pController) { mController = &pController; }

    // Lists pPaths as the command line lists them.
    void ListPaths(const std::vector<std::string>& pPaths);

    // Asks for a WAV file (pFolder: a folder) through the dialog service
    // and lists it as the command line would (a folder's files, the list
    // then sorted by title); during a run the operator is told to wait.
    void AddChosen(bool pFolder);

    // ---- A later start ---------------------------------------------------------------
    bool ListenForSecondStarts(const std::string& pSocketPath);
    void TakeSecondStart(const std::vector<std::string>& pArguments, const std::string& pWorkingFolder);

    // ---- The list's drags, drops and removals ------------------------------------------
    void StartDrag(DragData& pData, std::int32_t& pAllowedEffects);
    void Drop(const DragData& pData, std::int32_t& pEffect, double pY);
    // The window comes to the front (something is dragged over it).
    void BringToFront();
    // Removes the selected rows; every row; lists the selected rows' files
    // again where they are, with the range choices as they are now.
    void RemoveSelected();
    void ClearList();
    void RelistSelected();

    // ---- IntakeHost ---------------------------------------------------------------------
    std::int32_t RangeStartChoice() const override;
    std::int32_t RangeEndChoice() const override;
    void ShowRejection(const std::string& pText) override;
    void Rejected(const std::string& pPath, RowReason pReason) override;
    void MarkersResolved(const std::string& pPath, const RangeMarkers& pMarkers) override;

private:
    void TakeConnection();
    void AddDropped(std::vector<std::string> pFiles, std::int32_t pRow);

    UC_ListView& mList;
    WindowRows& mRows;
    const WindowChoices& mChoices;
    std::function<bool()> mEnding;
    QWidget* mOwner;
    BatchController* mController = nullptr;
    QLocalServer* mServer = nullptr;
    // The last rejection the intake reported (its text is adjusted for folders).
    std::string mRejectedPath;
    RowReason mRejectedReason = RowReason::None;
};

}  // namespace sonivate

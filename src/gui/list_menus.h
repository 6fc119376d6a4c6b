#pragma once
// The list's context menu (files and folders added, details, remove,
// clear, list again, runs of some rows, the delivery profile, how clip
// avoidance avoids clipping, the tolerance around the target, the copies'
// bext loudness, the window's language, the report and its station's
// fields) and how it opens: a right click (the row under the pointer
// becomes the selection unless it is part of it), the menu key or
// Shift+F10 (on the current row).
// Rebuilt on every opening; every entry acts through the room that owns
// what it changes.

#include <cstdint>
#include <functional>
#include <string>

#include <QPoint>

class QMenu;
class QWidget;

namespace sonivate {

class ListColumns;
class UC_ListView;
class WindowChoices;
class WindowIntake;

// What the menu's entries do beyond the columns and the choices.
struct ListMenuActions {
    std::function<bool()> Running;
    std::function<void(std::int32_t pRow)> ShowDetails;
    std::function<bool()> ReportPending;
    std::function<void()> SaveReport;
    // The report's station fields edited in a form.
    std::function<void()> EditReportFields;
    std::function<void(const std::string& pText)> ShowStatus;
    // A run of only the selected rows, or of the rows no run of this
    // session has measured; null while the run cannot be limited to some
    // rows (the entries are shown greyed).
    std::function<void()> RunSelected;
    std::function<void()> RunUnmeasured;
    // Whether any listed row is not measured yet in this session.
    std::function<bool()> AnyUnmeasured;
};

class ListMenus {
public:
    ListMenus(UC_ListView& pList, WindowIntake& pIntake, ListColumns& pColumns, WindowChoices& pChoices,
              ListMenuActions pActions, QWidget* pOwner);
    ListMenus(const ListMenus&) = delete;
    ListMenus& operator=(const ListMenus&) = delete;

    // Right clicks and the menu keys open the menu from now on.
    void Connect();
    // The menu at pGlobal (screen pixels) for row pRow (-1 none); nothing
    // during a run.
    void Open(QPoint pGlobal, std::int32_t pRow);
    QMenu* Menu() const { return mMenu; }

private:
    void RightClicked(double pY);

    UC_ListView& mList;
    WindowIntake& mIntake;
    ListColumns& mColumns;
    WindowChoices& mChoices;
    ListMenuActions mActions;
    QWidget* mOwner;
    QMenu* mMenu = nullptr;
};

}  // namespace sonivate

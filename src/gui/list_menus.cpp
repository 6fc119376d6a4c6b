#include "gui/list_menus.h"

#include <string>
#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include "app/delivery_profile.h"
#include "common/paths.h"
#include "controls/widgets/uc_list_view.h"
#include "gui/guarded.h"
#include "gui/list_columns.h"
#include "gui/window_choices.h"
#include "gui/window_intake.h"
#include "uikit/dialogs.h"

namespace sonivate {
namespace {

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

// Where the menu keys open the menu: a quarter into the item area.
constexpr int kMenuKeyFraction = 4;

}  // namespace

ListMenus::ListMenus(UC_ListView& pList, WindowIntake& pIntake, ListColumns& pColumns, WindowChoices& pChoices,
                     ListMenuActions pActions, QWidget* pOwner)
    : mList(pList),
      mIntake(pIntake),
      mColumns(pColumns),
      mChoices(pChoices),
      mActions(std::move(pActions)),
      mOwner(pOwner) {}

void ListMenus::Connect() {
    QObject::connect(&mList, &UC_ListView::RightClicked, mOwner,
                     [this](double&, double& pY) { Guarded(mOwner, [&] { RightClicked(pY); }); });
    // The keyboard's menu key and Shift+F10 open the list's menu on the current row.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, &mList);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(shortcut, &QShortcut::activated, mOwner, [this] {
            Guarded(mOwner, [&] {
                if (mActions.Running()) return;
                const QRect area = mList.ItemAreaRect();
                Open(mList.mapToGlobal(area.topLeft() +
                                       QPoint(area.width() / kMenuKeyFraction, area.height() / kMenuKeyFraction)),
                     mList.SelectedItem());
            });
        });
    }
}

void ListMenus::RightClicked(double pY) {
    // The row under the pointer becomes the selection unless it is part of it.
    const std::int32_t row = mList.YsItem(pY);
    if (row >= 0 && row < mList.ItemCount() && mList.IsSelected(row) == 0) {
        mList.UnSelectAll();
        mList.SetSelectedItem(row);
        mList.SetIsSelected(row, 1);
        mList.ReDraw();
    }
    Open(QCursor::pos(), row);
}

void ListMenus::Open(QPoint pGlobal, std::int32_t pRow) {
    if (mActions.Running()) return;
    if (mMenu == nullptr) {
        mMenu = new QMenu(mOwner);
        mMenu->setObjectName("ListMenu");
    }
    mMenu->clear();
    const bool rows = mList.ItemCount() > 0;
    const bool selected = mList.NumSelectedItems() > 0;
    const auto add = [&](const char* pText, const char* pName, bool pEnabled, auto pAction) {
        QAction* action = mMenu->addAction(Q(pText));
        action->setObjectName(pName);
        action->setEnabled(pEnabled);
        QObject::connect(action, &QAction::triggered, mOwner, [this, pAction] { Guarded(mOwner, [&] { pAction(); }); });
        return action;
    };
    const std::int32_t row = pRow >= 0 && pRow < mList.ItemCount() ? pRow : -1;
    add(kMenuDetails, "details", row >= 0, [this, row] { mActions.ShowDetails(row); });
    mMenu->addSeparator();
    add(kMenuRemove, "remove", selected, [this] { mIntake.RemoveSelected(); });
    add(kMenuClear, "clear", rows, [this] { mIntake.ClearList(); });
    add(kMenuRelist, "relist", selected, [this] { mIntake.RelistSelected(); });
    mMenu->addSeparator();
    QMenu* profiles = mMenu->addMenu(Q(kMenuProfile));
    profiles->setObjectName("profiles");
    auto* group = new QActionGroup(profiles);
    const auto choice = [&](const std::string& pText, const std::string& pSetting, bool pChecked) {
        QAction* action = profiles->addAction(Q(pText));
        action->setObjectName(Q("profile:" + pSetting));
        action->setCheckable(true);
        action->setChecked(pChecked);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, mOwner,
                         [this, pSetting] { Guarded(mOwner, [&] { mColumns.ChooseProfile(pSetting); }); });
    };
    const bool profiled = mColumns.Profile().has_value();
    const std::string& setting = mColumns.ProfileSetting();
    choice(kMenuProfileNone, kProfileNone, !profiled);
    for (const std::string& name : BuiltInProfileNames()) choice(name, name, setting == name);
    if (profiled && !BuiltInProfile(setting))
        choice(PathPart(setting, false, false, true, true, false, kKeepCase), setting, true);
    profiles->addSeparator();
    QAction* fromFile = profiles->addAction(Q(kMenuProfileFile));
    fromFile->setObjectName("profile-file");
    QObject::connect(fromFile, &QAction::triggered, mOwner, [this] {
        Guarded(mOwner, [&] {
            const std::string path = FileDialog(mOwner, false, kProfileFileFilter, "", "", kFileDialogDefaultFlags);
            if (!path.empty()) mColumns.ChooseProfile(path);
        });
    });
    QMenu* bext = mMenu->addMenu(Q(kMenuBext));
    bext->setObjectName("bext");
    auto* bextGroup = new QActionGroup(bext);
    for (const BextChoice& entry : kBextChoices) {
        QAction* action = bext->addAction(Q(entry.Text));
        action->setObjectName(Q(std::string("bext:") + BextLoudnessModeName(entry.Mode)));
        action->setCheckable(true);
        action->setChecked(mChoices.BextLoudness() == entry.Mode);
        bextGroup->addAction(action);
        const BextLoudnessMode mode = entry.Mode;
        QObject::connect(action, &QAction::triggered, mOwner, [this, mode] { mChoices.SetBextLoudness(mode); });
    }
    mMenu->addSeparator();
    add(kMenuSaveReport, "save-report", rows && !mActions.ReportPending(), [this] { mActions.SaveReport(); });
    mMenu->popup(pGlobal);
}

}  // namespace sonivate

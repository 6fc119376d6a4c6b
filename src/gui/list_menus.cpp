#include "gui/list_menus.h"

#include <functional>
#include <string>
#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include "app/clip_action.h"
#include "app/delivery_profile.h"
#include "common/paths.h"
#include "controls/widgets/uc_list_view.h"
#include "gui/guarded.h"
#include "gui/list_columns.h"
#include "gui/window_choices.h"
#include "gui/window_intake.h"
#include "gui/window_language.h"
#include "uikit/dialogs.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

constexpr const char* kTr = "ListMenus";
constexpr const char* kMenuAddFiles = QT_TRANSLATE_NOOP("ListMenus", "ファイルを追加...");
constexpr const char* kMenuAddFolder = QT_TRANSLATE_NOOP("ListMenus", "フォルダを追加...");
constexpr const char* kMenuRunSelected = QT_TRANSLATE_NOOP("ListMenus", "選択した行だけ実行");
constexpr const char* kMenuRunUnmeasured = QT_TRANSLATE_NOOP("ListMenus", "未計測の行だけ実行");
constexpr const char* kMenuDetails = QT_TRANSLATE_NOOP("ListMenus", "詳細を表示...");
constexpr const char* kMenuRemove = QT_TRANSLATE_NOOP("ListMenus", "選択した行を削除");
constexpr const char* kMenuClear = QT_TRANSLATE_NOOP("ListMenus", "リストをクリア");
constexpr const char* kMenuRelist = QT_TRANSLATE_NOOP("ListMenus", "選択したファイルを現在の範囲で読み直す");
constexpr const char* kMenuProfile = QT_TRANSLATE_NOOP("ListMenus", "配信基準");
constexpr const char* kMenuProfileNone = QT_TRANSLATE_NOOP("ListMenus", "なし");
constexpr const char* kMenuProfileFile = QT_TRANSLATE_NOOP("ListMenus", "ファイルから...");
constexpr const char* kMenuSaveReport = QT_TRANSLATE_NOOP("ListMenus", "レポートを保存...");
constexpr const char* kMenuReportFields = QT_TRANSLATE_NOOP("ListMenus", "レポートの項目...");
constexpr const char* kMenuBext = QT_TRANSLATE_NOOP("ListMenus", "出力のBWFラウドネス値");
// An entry of a submenu of choices: the value it chooses and its text.
template <typename Value>
struct MenuChoice {
    Value Chosen;
    const char* Text;
};
constexpr MenuChoice<BextLoudnessMode> kBextChoices[] = {
    {BextLoudnessMode::Update, QT_TRANSLATE_NOOP("ListMenus", "出力に合わせて書き換える（バージョン2以降）")},
    {BextLoudnessMode::Upgrade, QT_TRANSLATE_NOOP("ListMenus", "バージョン2にして書き込む")},
    {BextLoudnessMode::Keep, QT_TRANSLATE_NOOP("ListMenus", "元ファイルのまま")},
};
// How clip avoidance avoids clipping; only while it is on.
constexpr const char* kMenuClip = QT_TRANSLATE_NOOP("ListMenus", "クリップ回避の方法");
constexpr MenuChoice<ClipAction> kClipChoices[] = {
    {ClipAction::Skip, QT_TRANSLATE_NOOP("ListMenus", "書き出さない")},
    {ClipAction::Lower, QT_TRANSLATE_NOOP("ListMenus", "ゲインを下げる")},
    {ClipAction::Limit, QT_TRANSLATE_NOOP("ListMenus", "リミッター")},
};
// The tolerance around the target within which a file is left as it is
// (LU; 0: off). %1: the tolerance.
constexpr const char* kMenuTolerance = QT_TRANSLATE_NOOP("ListMenus", "目標値の許容範囲");
constexpr const char* kMenuToleranceOff = QT_TRANSLATE_NOOP("ListMenus", "オフ（常にゲインを適用）");
constexpr const char* kMenuToleranceLU = QT_TRANSLATE_NOOP("ListMenus", "±%1 LU 以内は元のまま");
constexpr double kToleranceChoices[] = {0.1, 0.2, 0.5};
constexpr const char* kProfileFileFilter =
    QT_TRANSLATE_NOOP("ListMenus", "配信基準ファイル|*.ini;*.json;*.txt|すべて|*");
// The window's language: the setting's values and their entries, and the
// note that a change waits for the next start.
constexpr const char* kMenuLanguage = QT_TRANSLATE_NOOP("ListMenus", "言語 (Language)");
constexpr MenuChoice<const char*> kLanguageChoices[] = {
    {kLanguageAuto, QT_TRANSLATE_NOOP("ListMenus", "自動（システムの言語）")},
    {kLanguageJapanese, QT_TRANSLATE_NOOP("ListMenus", "日本語")},
    {kLanguageEnglish, QT_TRANSLATE_NOOP("ListMenus", "English")},
};
constexpr const char* kLanguageNote = QT_TRANSLATE_NOOP("ListMenus", "次回の起動から有効になります");
constexpr const char* kStatusLanguage = QT_TRANSLATE_NOOP("ListMenus", "言語の変更は次回の起動から有効になります: %1");

// Where the menu keys open the menu: a quarter into the item area.
constexpr int kMenuKeyFraction = 4;

// One entry of a submenu of choices: checkable, one of pGroup's, named
// pName for the tests; pChosen runs, guarded, when it is picked.
void AddChoice(QMenu* pMenu, QActionGroup* pGroup, const QString& pText, const QString& pName, bool pChecked,
               QWidget* pOwner, std::function<void()> pChosen) {
    QAction* action = pMenu->addAction(pText);
    action->setObjectName(pName);
    action->setCheckable(true);
    action->setChecked(pChecked);
    pGroup->addAction(action);
    QObject::connect(action, &QAction::triggered, pOwner,
                     [pOwner, chosen = std::move(pChosen)] { Guarded(pOwner, [&] { chosen(); }); });
}

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
    // The submenus of the last opening go with their entries.
    for (QMenu* submenu : mMenu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) delete submenu;
    const bool rows = mList.ItemCount() > 0;
    const bool selected = mList.NumSelectedItems() > 0;
    const auto add = [&](const char* pText, const char* pName, bool pEnabled, auto pAction) {
        QAction* action = mMenu->addAction(TrQ(kTr, pText));
        action->setObjectName(pName);
        action->setEnabled(pEnabled);
        QObject::connect(action, &QAction::triggered, mOwner, [this, pAction] { Guarded(mOwner, [&] { pAction(); }); });
        return action;
    };
    const std::int32_t row = pRow >= 0 && pRow < mList.ItemCount() ? pRow : -1;
    QAction* addFiles = add(kMenuAddFiles, "add-files", true, [this] { mIntake.AddChosen(false); });
    // The window's shortcut, shown beside the entry.
    addFiles->setText(addFiles->text() + "\t" + QKeySequence(QKeySequence::Open).toString(QKeySequence::NativeText));
    add(kMenuAddFolder, "add-folder", true, [this] { mIntake.AddChosen(true); });
    add(kMenuDetails, "details", row >= 0, [this, row] { mActions.ShowDetails(row); });
    mMenu->addSeparator();
    add(kMenuRunSelected, "run-selected", selected && mActions.RunSelected != nullptr, [this] {
        if (mActions.RunSelected) mActions.RunSelected();
    });
    add(kMenuRunUnmeasured, "run-unmeasured",
        mActions.RunUnmeasured != nullptr && mActions.AnyUnmeasured && mActions.AnyUnmeasured(), [this] {
            if (mActions.RunUnmeasured) mActions.RunUnmeasured();
        });
    mMenu->addSeparator();
    add(kMenuRemove, "remove", selected, [this] {
        mIntake.RemoveSelected();
        mColumns.UpdateProfileLine();
    });
    add(kMenuClear, "clear", rows, [this] {
        mIntake.ClearList();
        mColumns.UpdateProfileLine();
    });
    add(kMenuRelist, "relist", selected, [this] {
        mIntake.RelistSelected();
        mColumns.UpdateProfileLine();
    });
    mMenu->addSeparator();
    QMenu* profiles = mMenu->addMenu(TrQ(kTr, kMenuProfile));
    profiles->setObjectName("profiles");
    auto* group = new QActionGroup(profiles);
    const auto choice = [&](const std::string& pText, const std::string& pSetting, bool pChecked) {
        AddChoice(profiles, group, Q(pText), Q("profile:" + pSetting), pChecked, mOwner,
                  [this, pSetting] { mColumns.ChooseProfile(pSetting); });
    };
    const bool profiled = mColumns.Profile().has_value();
    const std::string& setting = mColumns.ProfileSetting();
    choice(TrText(kTr, kMenuProfileNone), kProfileNone, !profiled);
    for (const std::string& name : BuiltInProfileNames()) choice(ProfileDisplayName(name), name, setting == name);
    if (profiled && !BuiltInProfile(setting))
        choice(PathPart(setting, false, false, true, true, false, kKeepCase), setting, true);
    profiles->addSeparator();
    QAction* fromFile = profiles->addAction(TrQ(kTr, kMenuProfileFile));
    fromFile->setObjectName("profile-file");
    QObject::connect(fromFile, &QAction::triggered, mOwner, [this] {
        Guarded(mOwner, [&] {
            const std::string path =
                FileDialog(mOwner, false, TrText(kTr, kProfileFileFilter), "", "", kFileDialogDefaultFlags);
            if (!path.empty()) mColumns.ChooseProfile(path);
        });
    });
    QMenu* clip = mMenu->addMenu(TrQ(kTr, kMenuClip));
    clip->setObjectName("clip");
    clip->menuAction()->setEnabled(mChoices.NoClip());
    auto* clipGroup = new QActionGroup(clip);
    for (const auto& entry : kClipChoices) {
        const ClipAction chosen = entry.Chosen;
        AddChoice(clip, clipGroup, TrQ(kTr, entry.Text), Q(std::string("clip:") + ClipActionCode(chosen)),
                  mChoices.AvoidClip() == chosen, mOwner, [this, chosen] { mChoices.SetAvoidClip(chosen); });
    }
    QMenu* tolerance = mMenu->addMenu(TrQ(kTr, kMenuTolerance));
    tolerance->setObjectName("tolerance");
    auto* toleranceGroup = new QActionGroup(tolerance);
    const auto toleranceChoice = [&](double pLU) {
        const std::string value = ToleranceText(pLU);
        AddChoice(tolerance, toleranceGroup,
                  pLU > 0.0 ? TrQ(kTr, kMenuToleranceLU).arg(Q(value)) : TrQ(kTr, kMenuToleranceOff),
                  Q("tolerance:" + value), ToleranceText(mChoices.ToleranceLU()) == value, mOwner,
                  [this, pLU] { mChoices.SetToleranceLU(pLU); });
    };
    toleranceChoice(0.0);
    bool listed = mChoices.ToleranceLU() <= 0.0;
    for (const double lu : kToleranceChoices) {
        toleranceChoice(lu);
        listed = listed || ToleranceText(lu) == ToleranceText(mChoices.ToleranceLU());
    }
    // A tolerance set in the settings file is offered as it is.
    if (!listed) toleranceChoice(mChoices.ToleranceLU());
    QMenu* bext = mMenu->addMenu(TrQ(kTr, kMenuBext));
    bext->setObjectName("bext");
    auto* bextGroup = new QActionGroup(bext);
    for (const auto& entry : kBextChoices) {
        const BextLoudnessMode mode = entry.Chosen;
        AddChoice(bext, bextGroup, TrQ(kTr, entry.Text), Q(std::string("bext:") + BextLoudnessModeName(mode)),
                  mChoices.BextLoudness() == mode, mOwner, [this, mode] { mChoices.SetBextLoudness(mode); });
    }
    QMenu* language = mMenu->addMenu(TrQ(kTr, kMenuLanguage));
    language->setObjectName("language");
    auto* languageGroup = new QActionGroup(language);
    const std::string languageSetting = LanguageSetting();
    for (const auto& entry : kLanguageChoices) {
        const std::string chosen = entry.Chosen;
        const std::string shown = TrText(kTr, entry.Text);
        AddChoice(language, languageGroup, Q(shown), Q("language:" + chosen), languageSetting == chosen, mOwner,
                  [this, chosen, shown] {
                      StoreLanguageSetting(chosen);
                      mActions.ShowStatus(TrQ(kTr, kStatusLanguage).arg(Q(shown)).toStdString());
                  });
    }
    language->addSeparator();
    language->addAction(TrQ(kTr, kLanguageNote))->setEnabled(false);
    mMenu->addSeparator();
    add(kMenuSaveReport, "save-report", rows && !mActions.ReportPending(), [this] { mActions.SaveReport(); });
    add(kMenuReportFields, "report-fields", mActions.EditReportFields != nullptr, [this] {
        if (mActions.EditReportFields) mActions.EditReportFields();
    });
    mMenu->popup(pGlobal);
}

}  // namespace sonivate

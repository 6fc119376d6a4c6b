#include "gui/window_choices.h"

#include <cmath>

#include <QComboBox>
#include <QLineEdit>

#include "app/delivery_profile.h"
#include "app/file_list.h"
#include "common/decimal_text.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/numeric.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "controls/model/cell_value.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_path_text.h"
#include "gui/guarded.h"
#include "platform/small_file.h"
#include "uikit/message_box.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

// Settings keys and their first-start defaults.
constexpr const char* kKeyMesureFrom = "MesureFrom";
constexpr const char* kKeyMesureTo = "MesureTo";
constexpr const char* kKeyTargetLKFS = "TargetLKFS";
constexpr const char* kKeyWavOutput = "WavOutput";
constexpr const char* kKeySoundPath = "SoundPath";
constexpr const char* kKeyNoClip = "NoClip";
// The copies' bext loudness fields (keep, update, upgrade).
constexpr const char* kKeyBextLoudness = "BextLoudness";
// How clip avoidance avoids clipping (skip, lower, limit), and the
// tolerance around the target (LU, 0 off).
constexpr const char* kKeyClipAction = "ClipAction";
constexpr const char* kKeyTolerance = "Tolerance";
constexpr std::int32_t kDefaultWavOutput = 0;
constexpr std::int32_t kDefaultNoClip = 1;

// A target no programme can sensibly be brought to (outside -60 to 0 LKFS).
constexpr const char* kTr = "WindowChoices";
constexpr const char* kMessageTargetOutOfRange =
    QT_TRANSLATE_NOOP("WindowChoices", "ターゲット値は -60 から 0 LKFS の範囲で入力してください");
constexpr const char* kMessageTargetNotNumber =
    QT_TRANSLATE_NOOP("WindowChoices", "ターゲット値が数値ではありません。半角の数字で入力してください（例: -24.0）。");
constexpr const char* kMessageFolderMissing =
    QT_TRANSLATE_NOOP("WindowChoices", "出力先のフォルダがありません。作成しますか？");
constexpr const char* kMessageFolderNotMade =
    QT_TRANSLATE_NOOP("WindowChoices", "出力先のフォルダを作成できませんでした。");

// The decimals a tolerance is stored and shown with (LU).
constexpr std::int32_t kToleranceDecimals = 2;
// The decimals of a profile's target in the box.
constexpr std::int32_t kTargetDecimals = 1;

// The actions clip avoidance may take: a clipped copy is what it avoids.
bool AvoidsClipping(ClipAction pAction) {
    return pAction == ClipAction::Skip || pAction == ClipAction::Lower || pAction == ClipAction::Limit;
}

// A stored tolerance (LU): a number above 0, else off.
double ToleranceOf(const std::string& pText) {
    const double value = ParseDecimal(TrimSpaces(pText)).value_or(0.0);
    return value > 0.0 && std::isfinite(value) ? value : 0.0;
}

std::int32_t ToInt(const std::string& pText) {
    const std::optional<std::int32_t> value = CellValue(pText).AsInt32();
    return value.value_or(0);
}

// The text a range choice is stored as: its entry's own text, or what the
// drop-down shows when no entry is chosen.
std::string StoredEntry(const char* const (&pEntries)[3], std::int32_t pChoice, const std::string& pShown) {
    if (pChoice < 0 || pChoice >= static_cast<std::int32_t>(std::size(pEntries))) return pShown;
    return pEntries[pChoice];
}

}  // namespace

std::string ToleranceText(double pLU) {
    std::string text = FormatFixed(pLU, kToleranceDecimals);
    while (text.size() > 1 && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

StoredChoices StoredChoices::Load() {
    StoredChoices stored;
    Trap([&] { stored.RangeFrom = LoadSetting(kKeyMesureFrom, kRangeStartEntries[0]); });
    Trap([&] { stored.RangeTo = LoadSetting(kKeyMesureTo, kRangeEndEntries[0]); });
    Trap([&] { stored.Target = LoadSetting(kKeyTargetLKFS, kDefaultTarget); });
    Trap([&] { stored.WavOutput = ToInt(LoadSetting(kKeyWavOutput, kDefaultWavOutput)); });
    Trap([&] { stored.SoundPath = LoadSetting(kKeySoundPath, ""); });
    Trap([&] { stored.NoClip = ToInt(LoadSetting(kKeyNoClip, kDefaultNoClip)); });
    Trap([&] {
        stored.BextLoudness =
            BextLoudnessModeOf(LoadSetting(kKeyBextLoudness, BextLoudnessModeName(kDefaultBextLoudnessMode)))
                .value_or(kDefaultBextLoudnessMode);
    });
    Trap([&] {
        const std::optional<ClipAction> action =
            ClipActionOfCode(LoadSetting(kKeyClipAction, ClipActionCode(ClipAction::Skip)));
        if (action && AvoidsClipping(*action)) stored.AvoidClip = *action;
    });
    Trap([&] { stored.ToleranceLU = ToleranceOf(LoadSetting(kKeyTolerance, "0")); });
    return stored;
}

WindowChoices::WindowChoices(const ChoiceControls& pControls, const StoredChoices& pStored, QWidget* pOwner)
    : mControls(pControls),
      mBextLoudness(pStored.BextLoudness),
      mAvoidClip(pStored.AvoidClip),
      mToleranceLU(pStored.ToleranceLU),
      mOwner(pOwner) {}

void WindowChoices::SetAvoidClip(ClipAction pAction) {
    if (AvoidsClipping(pAction)) mAvoidClip = pAction;
}

void WindowChoices::SetToleranceLU(double pLU) { mToleranceLU = pLU > 0.0 && std::isfinite(pLU) ? pLU : 0.0; }

std::int32_t WindowChoices::RangeStartChoice() const { return mControls.ComboFromTo[0]->currentIndex(); }
std::int32_t WindowChoices::RangeEndChoice() const { return mControls.ComboFromTo[1]->currentIndex(); }
std::string WindowChoices::RangeStartText() const { return mControls.ComboFromTo[0]->currentText().toStdString(); }
std::string WindowChoices::RangeEndText() const { return mControls.ComboFromTo[1]->currentText().toStdString(); }

std::string WindowChoices::TargetLKFSText() const {
    return AsciiNumberText(mControls.TextTargetLKFS->text().toStdString());
}

void WindowChoices::SetTarget(double pTargetLKFS) {
    mControls.TextTargetLKFS->setText(Q(FormatFixed(pTargetLKFS, kTargetDecimals)));
}

bool WindowChoices::WavOutput() const { return mControls.CheckWavOutput->Value() != 0; }
std::string WindowChoices::SoundPath() const { return mControls.TextSoundPath->Text(); }
bool WindowChoices::NoClip() const { return mControls.CheckNoClip->Value() == 1; }

bool WindowChoices::TargetReady() {
    QLineEdit& box = *mControls.TextTargetLKFS;
    const std::string typed = box.text().toStdString();
    const std::string ascii = TrimSpaces(AsciiNumberText(typed));
    const bool number = !ascii.empty() && CellValue(ascii).ReadsAsNumber();
    if (number && TargetLKFSAllowed(ParseDecimal(ascii).value_or(kHighestTargetLKFS + 1.0))) {
        // Full-width digits stand as what they say, in the box and the store.
        if (ascii != typed) box.setText(Q(ascii));
        return true;
    }
    OwnerMessageBox(TrText(kTr, number ? kMessageTargetOutOfRange : kMessageTargetNotNumber) + kLineBreak + typed,
                    kMbOk | kMbIconExclamation, "", mOwner);
    box.setFocus(Qt::OtherFocusReason);
    box.selectAll();
    return false;
}

bool WindowChoices::OutputFolderReady() {
    if (mControls.CheckWavOutput->Value() == 0) return true;
    // An empty box keeps the copies beside their sources.
    const std::string folder = mControls.TextSoundPath->Text();
    if (folder.empty() || FolderExists(folder) == 1) return true;
    const std::int32_t answer = OwnerMessageBox(TrText(kTr, kMessageFolderMissing) + kLineBreak + folder,
                                                kMbYesNo | kMbIconQuestion, "", mOwner);
    if (answer != kIdYes) return false;
    if (platform::MakeFolders(folder) && FolderExists(folder) == 1) return true;
    OwnerMessageBox(TrText(kTr, kMessageFolderNotMade) + kLineBreak + folder, kMbOk | kMbIconStop, "", mOwner);
    return false;
}

void WindowChoices::Lock(bool pLocked) {
    for (QComboBox* combo : mControls.ComboFromTo) combo->setEnabled(!pLocked);
    mControls.TextTargetLKFS->setEnabled(!pLocked);
    mControls.CheckWavOutput->SetEnabled(!pLocked);
    mControls.TextSoundPath->setEnabled(!pLocked);
    mControls.TextSoundPath->SetButtonDisabled(pLocked ? 1 : 0);
    if (pLocked) {
        mControls.CheckNoClip->SetEnabled(false);
    } else {
        UpdateOutputControls();
    }
}

void WindowChoices::UpdateOutputControls() {
    const bool on = mControls.CheckWavOutput->Value() == 1;
    mControls.TextSoundPath->SetEnabled(on);
    mControls.CheckNoClip->SetEnabled(on);
}

void WindowChoices::Store() const {
    Trap([&] { StoreSetting(kKeySoundPath, mControls.TextSoundPath->Text()); });
    // The entries' own texts, so that a start in another language finds them.
    Trap([&] { StoreSetting(kKeyMesureFrom, StoredEntry(kRangeStartEntries, RangeStartChoice(), RangeStartText())); });
    Trap([&] { StoreSetting(kKeyMesureTo, StoredEntry(kRangeEndEntries, RangeEndChoice(), RangeEndText())); });
    Trap([&] {
        // A target that is no number keeps the stored one.
        const std::string target = TrimSpaces(AsciiNumberText(mControls.TextTargetLKFS->text().toStdString()));
        if (!target.empty() && CellValue(target).ReadsAsNumber()) StoreSetting(kKeyTargetLKFS, target);
    });
    Trap([&] { StoreSetting(kKeyWavOutput, mControls.CheckWavOutput->Value()); });
    Trap([&] { StoreSetting(kKeyNoClip, mControls.CheckNoClip->Value()); });
}

void WindowChoices::StoreBextLoudness() const {
    Trap([&] { StoreSetting(kKeyBextLoudness, BextLoudnessModeName(mBextLoudness)); });
}

void WindowChoices::StoreMenuChoices() const {
    StoreBextLoudness();
    Trap([&] { StoreSetting(kKeyClipAction, ClipActionCode(mAvoidClip)); });
    Trap([&] { StoreSetting(kKeyTolerance, ToleranceText(mToleranceLU)); });
}

}  // namespace sonivate

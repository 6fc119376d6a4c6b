#include "gui/window_layout.h"

#include <algorithm>
#include <cmath>

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

#include "app/file_list.h"
#include "common/color_value.h"
#include "common/error_trap.h"
#include "controls/widgets/uc_bar.h"
#include "controls/widgets/uc_buttons.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_list_view.h"
#include "controls/widgets/uc_path_text.h"
#include "controls/widgets/uc_text_picture.h"
#include "gui/guarded.h"
#include "gui/rows/file_list_view.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/layout.h"
#include "uikit/ui_language.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

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

// The profile line: from its left edge to the list's right edge, on the
// target's row (twips at layout scale 1).
constexpr std::int32_t kProfileLineLeft = 3300;
constexpr std::int32_t kProfileLineRight = kDesignLV.Left + kDesignLV.Width;

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
// The button strip's design.
constexpr std::int32_t kButtonDesign = 1;
constexpr std::int16_t kButtonCount = 2;
// The context of the window's captions and labels in the translations.
constexpr const char* kTr = "WindowLayout";
constexpr const char* kCaptionStop = QT_TRANSLATE_NOOP("WindowLayout", "中止");
constexpr const char* kCaptionStart = QT_TRANSLATE_NOOP("WindowLayout", "開始");
constexpr const char* kCaptionWavOutput = QT_TRANSLATE_NOOP("WindowLayout", "wav出力");
constexpr const char* kCaptionNoClip = QT_TRANSLATE_NOOP("WindowLayout", "クリップ回避");
constexpr const char* kLabelTarget = QT_TRANSLATE_NOOP("WindowLayout", "ターゲット値");
constexpr const char* kLabelLKFS = "LKFS";
constexpr const char* kLabelRange = QT_TRANSLATE_NOOP("WindowLayout", "対象範囲");
constexpr const char* kLabelRangeTo = QT_TRANSLATE_NOOP("WindowLayout", "～");
constexpr const char* kLabelOutput = QT_TRANSLATE_NOOP("WindowLayout", "出力先");
// The range entries without a marker (kRangeStartEntries[0],
// kRangeEndEntries[0]), translated where the drop-downs show them; the
// marker names are the same in every language.
[[maybe_unused]] constexpr const char* kRangeEntryTexts[] = {QT_TRANSLATE_NOOP("WindowLayout", "ファイル先頭"),
                                                             QT_TRANSLATE_NOOP("WindowLayout", "ファイル終端")};

// Room a desktop's frame takes around the inner area, logical pixels, and
// the step by which a SizeRate too large for the screen comes down.
constexpr int kFrameAllowanceWidth = 16;
constexpr int kFrameAllowanceHeight = 48;
constexpr float kSizeRateStep = 0.05f;

// The inner area at scale pRate, on whole pixels.
QSize InnerSize(float pRate) {
    return {static_cast<int>(static_cast<double>(kDesignInnerWidthTwips) * pRate) / TwipsPerPixel(),
            static_cast<int>(static_cast<double>(kDesignInnerHeightTwips) * pRate) / TwipsPerPixel()};
}

}  // namespace

float WindowLayout::FitSizeRateToScreen(float pRate, float pMinimum, QSize pArea) {
    if (pArea.isEmpty()) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return pRate;
        pArea = screen->availableGeometry().size();
    }
    const auto fits = [&](float pCandidate) {
        const QSize inner = InnerSize(pCandidate);
        return inner.width() + kFrameAllowanceWidth <= pArea.width() &&
               inner.height() + kFrameAllowanceHeight <= pArea.height();
    };
    float rate = pRate;
    while (rate > pMinimum && !fits(rate)) rate = std::max(pMinimum, rate - kSizeRateStep);
    return rate;
}

std::int32_t WindowLayout::Scaled(std::int32_t pTwips) const { return ScaledTwips(pTwips, mRate); }

void WindowLayout::ScaleWindow(float pRate) {
    mRate = pRate;
    ApplyFont(&mWindow, kFontByArguments, nullptr, kWindowFontPoints * mRate, false, false, "");
    // The design size is the smallest; a larger window grows the list.
    const QSize inner = InnerSize(mRate);
    mWindow.setMinimumSize(inner);
    mWindow.resize(inner);
}

WindowControls WindowLayout::Build(float pRate, const StoredChoices& pStored,
                                   const std::function<void(UC_ListView&)>& pSetUpColumns) {
    mRate = pRate;
    Trap([&] { BuildList(pSetUpColumns); });
    Trap([&] { BuildStatus(); });
    Trap([&] { BuildChoices(pStored); });
    Trap([&] { PaintBackground(); });
    Trap([&] { BuildOutputOptions(pStored); });
    Trap([&] { BuildButtons(); });
    Trap([&] { BuildProfileLine(); });
    return mControls;
}

void WindowLayout::BuildList(const std::function<void(UC_ListView&)>& pSetUpColumns) {
    auto* list = new UC_ListView(&mWindow);
    // Before the columns and the style are set: the header, rows and icons
    // all scale with it.
    list->SetSizeRate(mRate);
    mControls.LV = list;
    SetTwipsGeometry(*list, kDesignLV);
    ScaleControl(mRate, *list, false, false, true, 0);
    pSetUpColumns(*list);
    list->SetStyle(kFileListFontPoints * mRate, 0, "", kColorWindowText, kColorWindow);
    list->InitTab();
    list->ReDrawTab(-1);
    list->UserControl_Resize();
}

void WindowLayout::BuildStatus() {
    auto* status = new UC_TextPicture(&mWindow);
    mControls.PictureInfo = status;
    SetTwipsGeometry(*status, kDesignPictureInfo);
    ScaleControl(mRate, *status, false, false, true, 0);
    // In the order of kColourSetIdle and kColourSetRunning.
    for (const StatusColours& colours : {kStatusColoursIdle, kStatusColoursRunning})
        status->AddColorSet(colours.Text, colours.Dark, colours.Light, 0);
    status->AddTextSpace(kWindowFontPoints * mRate, false, false, "", kStatusTextLeft, UC_TextPicture::kCentred);
    status->Init();
    PlaceNextTo(*status, *mControls.LV, kPlaceBelow, Scaled(kGapBelowList), kAlignCopy, 0);

    auto* bar = new UC_Bar(&mWindow);
    mControls.ProgBar = bar;
    SetTwipsGeometry(*bar, kDesignProgBar);
    ScaleControl(mRate, *bar, false, false, true, 0);
    bar->Init();
    PlaceNextTo(*bar, *status, kPlaceBelow, Scaled(kGapBelowStatus), kAlignCopy, 0);
}

void WindowLayout::BuildChoices(const StoredChoices& pStored) {
    std::array<QComboBox*, 2>& combos = mControls.Choices.ComboFromTo;
    const TwipsRect designs[2] = {kDesignComboFrom, kDesignComboTo};
    for (std::size_t k = 0; k < combos.size(); ++k) {
        auto* combo = new QComboBox(&mWindow);
        combo->setEditable(false);
        SetTwipsGeometry(*combo, designs[k]);
        ScaleControl(mRate, *combo, false, true, false, kWindowFontPoints);
        // A drop-down list is as tall as its font needs, as on the desktop.
        combo->resize(combo->width(), std::max(combo->height(), combo->sizeHint().height()));
        combos[k] = combo;
    }
    for (const char* entry : kRangeStartEntries) combos[0]->addItem(TrQ(kTr, entry));
    for (const char* entry : kRangeEndEntries) combos[1]->addItem(TrQ(kTr, entry));
    for (QComboBox* combo : combos) combo->setCurrentIndex(-1);
    // The store keeps the entries' own (Japanese) texts, whatever the language.
    if (pStored.RangeFrom) SelectComboText(*combos[0], TrText(kTr, pStored.RangeFrom->c_str()));
    PlaceNextTo(*combos[0], *mControls.ProgBar, kPlaceBelow, Scaled(kGapBelowBar), kAlignValue, Scaled(kChoicesLeft));
    if (pStored.RangeTo) SelectComboText(*combos[1], TrText(kTr, pStored.RangeTo->c_str()));
    PlaceNextTo(*combos[1], *combos[0], kPlaceRight, Scaled(kGapBetweenRanges), kAlignCopy, 0);

    auto* target = new QLineEdit(&mWindow);
    mControls.Choices.TextTargetLKFS = target;
    SetTwipsGeometry(*target, kDesignTextTarget);
    ScaleControl(mRate, *target, false, false, false, kWindowFontPoints);
    if (pStored.Target) target->setText(Q(*pStored.Target));
    PlaceNextTo(*target, *combos[0], kPlaceBelow, Scaled(kGapBelowRange), kAlignValue, Scaled(kChoicesLeft));
}

void WindowLayout::PaintBackground() {
    mSurface.Resize(mWindow.width(), mWindow.height(), mWindow.devicePixelRatioF());
    mSurface.SetFont(mWindow.font());
    mSurface.SetForeColor(kColorButtonText);
    GradientPaint(mSurface, kBackgroundDesign);
}

void WindowLayout::BuildOutputOptions(const StoredChoices& pStored) {
    ChoiceControls& choices = mControls.Choices;
    const float fontSize = kWindowFontPoints * mRate;
    auto* wavOutput = new UC_Check(&mWindow);
    choices.CheckWavOutput = wavOutput;
    SetTwipsGeometry(*wavOutput, kDesignCheckWavOutput);
    PlaceNextTo(*wavOutput, *choices.TextTargetLKFS, kPlaceBelow, Scaled(kGapBelowTarget), kAlignValue,
                Scaled(kCheckWavOutputLeft));
    SetupCheck(*wavOutput, TrText(kTr, kCaptionWavOutput), pStored.WavOutput, &mSurface, fontSize, nullptr, mRate);

    auto* soundPath = new UC_PathText(&mWindow);
    choices.TextSoundPath = soundPath;
    SetTwipsGeometry(*soundPath, kDesignTextSoundPath);
    ScaleControl(mRate, *soundPath, false, true, false, 0);
    soundPath->SetFontSize(static_cast<std::int32_t>(std::nearbyint(fontSize)));
    soundPath->SetTextHeight(kSoundPathTextHeight * static_cast<double>(mRate));
    soundPath->Init();
    if (pStored.SoundPath) soundPath->SetText(*pStored.SoundPath);
    // On its own row under the output switch, as the design has it: on the
    // switch's row the box would cover the switch's caption and its own label.
    PlaceNextTo(*soundPath, *wavOutput, kPlaceBelow, Scaled(kGapBelowWavOutput), kAlignValue,
                TwipsGeometry(*choices.TextTargetLKFS).Left);

    auto* noClip = new UC_Check(&mWindow);
    choices.CheckNoClip = noClip;
    SetTwipsGeometry(*noClip, kDesignCheckNoClip);
    PlaceNextTo(*noClip, *soundPath, kPlaceBelow, Scaled(kGapBelowSoundPath), kAlignCopy, 0);
    SetupCheck(*noClip, TrText(kTr, kCaptionNoClip), pStored.NoClip, &mSurface, fontSize, wavOutput->Gradhdc(), mRate);
}

void WindowLayout::BuildButtons() {
    auto* buttons = new UC_Buttons(&mWindow);
    mControls.CtrButtons = buttons;
    SetTwipsGeometry(*buttons, kDesignCtrButtons);
    ScaleControl(mRate, *buttons, false, false, true, 0);
    buttons->SetDesignType(kButtonDesign);
    buttons->SetNumButtons(kButtonCount);
    buttons->SetFontSize(kWindowFontPoints * mRate);
    buttons->SetButtonChar(kButtonIndexStop, TrText(kTr, kCaptionStop));
    buttons->SetButtonChar(kButtonIndexStart, TrText(kTr, kCaptionStart));
    buttons->Init();
}

void WindowLayout::BuildProfileLine() {
    auto* line = new QLabel(&mWindow);
    line->setObjectName("ProfileLine");
    mControls.ProfileLine = line;
    const TwipsRect target = TwipsGeometry(*mControls.Choices.TextTargetLKFS);
    SetTwipsGeometry(*line, TwipsRect{Scaled(kProfileLineLeft), target.Top,
                                      Scaled(kProfileLineRight - kProfileLineLeft), target.Height});
    line->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    line->show();
}

void WindowLayout::PrintLabels() {
    if (mSurface.IsNull()) return;
    const ChoiceControls& choices = mControls.Choices;
    const TwipsRect target = TwipsGeometry(*choices.TextTargetLKFS);
    PrintLabelAt(mSurface, target, TrText(kTr, kLabelTarget), kLabelLeft, 0, 0);
    PrintLabelAt(mSurface, target, kLabelLKFS, kLabelRight, 0, 0);
    PrintLabelAt(mSurface, TwipsGeometry(*choices.ComboFromTo[0]), TrText(kTr, kLabelRange), kLabelLeft, 0, 0);
    PrintLabelAt(mSurface, TwipsGeometry(*choices.ComboFromTo[1]), TrText(kTr, kLabelRangeTo), kLabelLeft, 0, 0);
    const TwipsRect soundPath = TwipsGeometry(*choices.TextSoundPath);
    PrintLabelAt(mSurface, soundPath, TrText(kTr, kLabelOutput), kLabelLeft, 0, 0);

    const TwipsRect wavOutput = TwipsGeometry(*choices.CheckWavOutput);
    const TwipsRect noClip = TwipsGeometry(*choices.CheckNoClip);
    DrawGroupFrame(mSurface, Scaled(kFrameLeft), wavOutput.Top - Scaled(kFrameVerticalMargin),
                   soundPath.Left + soundPath.Width + Scaled(kFrameRightMargin),
                   noClip.Top + noClip.Height + Scaled(kFrameVerticalMargin), "");
    mWindow.update();
}

void WindowLayout::RecordLayout() {
    const ChoiceControls& choices = mControls.Choices;
    mDesignSize = mWindow.size();
    mDesignLayout.clear();
    for (QWidget* control : std::initializer_list<QWidget*>{
             mControls.LV, mControls.PictureInfo, mControls.ProgBar, choices.ComboFromTo[0], choices.ComboFromTo[1],
             choices.TextTargetLKFS, choices.CheckWavOutput, choices.TextSoundPath, choices.CheckNoClip,
             mControls.CtrButtons, mControls.ProfileLine})
        if (control != nullptr) mDesignLayout.emplace_back(control, control->geometry());
}

// The list takes what the window gains; the status line and the bar keep
// to its width; the choices and output options keep their place to the
// bottom-left corner, the buttons to the bottom-right one.
void WindowLayout::Relayout() {
    if (mDesignLayout.empty() || !mDesignSize.isValid()) return;
    const int dx = std::max(0, mWindow.width() - mDesignSize.width());
    const int dy = std::max(0, mWindow.height() - mDesignSize.height());
    for (const auto& [control, design] : mDesignLayout) {
        QRect placed = design;
        if (control == mControls.LV) {
            placed.setSize(design.size() + QSize(dx, dy));
        } else if (control == mControls.PictureInfo || control == mControls.ProgBar) {
            placed = QRect(design.topLeft() + QPoint(0, dy), design.size() + QSize(dx, 0));
        } else if (control == mControls.CtrButtons) {
            placed.translate(dx, dy);
        } else {
            placed.translate(0, dy);
        }
        if (control->geometry() == placed) continue;
        const bool resized = control->size() != placed.size();
        control->setGeometry(placed);
        if (resized && control == mControls.ProgBar) {
            // The bar's images are made for its width.
            const std::int32_t value = mControls.ProgBar->Value();
            mControls.ProgBar->Init();
            mControls.ProgBar->SetValue(value);
        }
    }
    PaintBackground();
    for (UC_Check* check : {mControls.Choices.CheckWavOutput, mControls.Choices.CheckNoClip}) {
        check->SetBGPic(PixelsToTwips(check->x()), PixelsToTwips(check->y()), mSurface);
        check->Draw();
    }
    PrintLabels();
}

}  // namespace sonivate

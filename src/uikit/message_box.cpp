#include "uikit/message_box.h"

#include <algorithm>
#include <array>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include "common/error_trap.h"
#include "common/settings_store.h"
#include "uikit/monitors.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

constexpr std::int32_t kButtonGroupMask = 0xF;
constexpr std::int32_t kIconMask = 0xF0;
constexpr std::int32_t kDefaultButtonMask = 0xF00;
constexpr const char* kResultProperty = "sonivateResult";
// The context of the buttons' translations.
constexpr const char* kTrContext = "MessageBox";

struct ButtonChoice {
    std::int32_t Result;
    const char* Text;  // the Japanese desktop's own button texts, translated when shown
    QMessageBox::ButtonRole Role;
};
constexpr ButtonChoice kOk{kIdOk, QT_TRANSLATE_NOOP("MessageBox", "OK"), QMessageBox::AcceptRole};
constexpr ButtonChoice kCancel{kIdCancel, QT_TRANSLATE_NOOP("MessageBox", "キャンセル"), QMessageBox::RejectRole};
constexpr ButtonChoice kAbort{kIdAbort, QT_TRANSLATE_NOOP("MessageBox", "中止(&A)"), QMessageBox::RejectRole};
constexpr ButtonChoice kRetry{kIdRetry, QT_TRANSLATE_NOOP("MessageBox", "再試行(&R)"), QMessageBox::AcceptRole};
constexpr ButtonChoice kIgnore{kIdIgnore, QT_TRANSLATE_NOOP("MessageBox", "無視(&I)"), QMessageBox::AcceptRole};
constexpr ButtonChoice kYes{kIdYes, QT_TRANSLATE_NOOP("MessageBox", "はい(&Y)"), QMessageBox::YesRole};
constexpr ButtonChoice kNo{kIdNo, QT_TRANSLATE_NOOP("MessageBox", "いいえ(&N)"), QMessageBox::NoRole};

std::vector<ButtonChoice> ButtonsOf(std::int32_t pType) {
    switch (pType & kButtonGroupMask) {
        case kMbOkCancel:
            return {kOk, kCancel};
        case kMbAbortRetryIgnore:
            return {kAbort, kRetry, kIgnore};
        case kMbYesNoCancel:
            return {kYes, kNo, kCancel};
        case kMbYesNo:
            return {kYes, kNo};
        case kMbRetryCancel:
            return {kRetry, kCancel};
        default:
            return {kOk};
    }
}

QMessageBox::Icon IconOf(std::int32_t pType) {
    switch (pType & kIconMask) {
        case kMbIconStop:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconExclamation:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

class ModalRunner final : public MessageBoxRunner {
public:
    std::int32_t Run(QMessageBox& pBox) override {
        pBox.exec();
        return MessageBoxResult(pBox, pBox.clickedButton());
    }
};

ModalRunner g_ModalRunner;
MessageBoxRunner* g_Runner = &g_ModalRunner;

}  // namespace

MessageBoxRunner& MessageBoxes() { return *g_Runner; }
void SetMessageBoxRunner(MessageBoxRunner* pRunner) { g_Runner = pRunner != nullptr ? pRunner : &g_ModalRunner; }

std::int32_t MessageBoxResult(const QMessageBox& /*pBox*/, const QObject* pButton) {
    if (pButton == nullptr) return kIdCancel;
    const QVariant result = pButton->property(kResultProperty);
    return result.isValid() ? result.toInt() : kIdCancel;
}

std::int32_t OwnerMessageBox(const std::string& pText, std::int32_t pType, const std::string& pCaption,
                             QWidget* pOwner) {
    return Trapped<std::int32_t>(kIdCancel, [&] {
        QWidget* ownerWindow = pOwner != nullptr ? pOwner->window() : nullptr;
        QMessageBox box(IconOf(pType), QString::fromStdString(pCaption.empty() ? AppTitle() : pCaption),
                        QString::fromStdString(pText), QMessageBox::NoButton, ownerWindow);
        const std::vector<ButtonChoice> buttons = ButtonsOf(pType);
        std::vector<QPushButton*> made;
        for (const ButtonChoice& choice : buttons) {
            QPushButton* button = box.addButton(TrQ(kTrContext, choice.Text), choice.Role);
            button->setProperty(kResultProperty, choice.Result);
            made.push_back(button);
        }
        const std::size_t defaultIndex = static_cast<std::size_t>((pType & kDefaultButtonMask) >> 8);
        box.setDefaultButton(made[std::min(defaultIndex, made.size() - 1)]);
        // Escape answers as the box's cancelling button; a box without one answers OK.
        for (QPushButton* button : made) {
            const std::int32_t result = button->property(kResultProperty).toInt();
            if (result == kIdCancel || (made.size() == 1)) box.setEscapeButton(button);
        }
        if (buttons.size() == 2 && buttons[1].Result == kIdNo) box.setEscapeButton(nullptr);

        if (ownerWindow != nullptr && !ownerWindow->isMinimized()) {
            const QRect owner = ownerWindow->frameGeometry();
            const QPoint anchor(owner.x() + owner.width() / 2, owner.y() + owner.height() / 2);
            box.adjustSize();
            const QSize size = box.frameGeometry().size();
            int x = anchor.x() - size.width() / 2;
            int y = anchor.y() - size.height() / 2;
            const int right = MonitorExtent(kExtentRight, true);
            const int bottom = MonitorExtent(kExtentBottom, true);
            if (x + size.width() > right) x = right - size.width();
            if (y + size.height() > bottom) y = bottom - size.height();
            box.move(std::max(x, 0), std::max(y, 0));
        }
        return MessageBoxes().Run(box);
    });
}

}  // namespace sonivate

#include "controls/widgets/input_codes.h"

namespace sonivate {

std::int32_t ButtonCode(Qt::MouseButton pButton) {
    switch (pButton) {
        case Qt::LeftButton:
            return kButtonCodeLeft;
        case Qt::RightButton:
            return kButtonCodeRight;
        case Qt::MiddleButton:
            return kButtonCodeMiddle;
        default:
            return 0;
    }
}

std::int32_t ButtonMask(Qt::MouseButtons pButtons) {
    std::int32_t mask = 0;
    if (pButtons & Qt::LeftButton) mask |= kButtonCodeLeft;
    if (pButtons & Qt::RightButton) mask |= kButtonCodeRight;
    if (pButtons & Qt::MiddleButton) mask |= kButtonCodeMiddle;
    return mask;
}

std::int32_t ShiftMask(Qt::KeyboardModifiers pModifiers) {
    std::int32_t mask = 0;
    if (pModifiers & Qt::ShiftModifier) mask |= kShiftCodeShift;
    if (pModifiers & Qt::ControlModifier) mask |= kShiftCodeCtrl;
    if (pModifiers & Qt::AltModifier) mask |= kShiftCodeAlt;
    return mask;
}

std::int32_t DropEffects(Qt::DropActions pActions) {
    std::int32_t effects = 0;
    if (pActions & Qt::CopyAction) effects |= kDropCodeCopy;
    if (pActions & Qt::MoveAction) effects |= kDropCodeMove;
    if (pActions & Qt::LinkAction) effects |= kDropCodeLink;
    return effects;
}

Qt::DropAction DropActionOf(std::int32_t pEffect) {
    if (pEffect & kDropCodeCopy) return Qt::CopyAction;
    if (pEffect & kDropCodeMove) return Qt::MoveAction;
    if (pEffect & kDropCodeLink) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

}  // namespace sonivate

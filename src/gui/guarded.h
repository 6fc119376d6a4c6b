#pragma once
// No exception leaves a handler of the window's rooms: Guarded runs a
// handler's body and shows what it threw in a box over the window
// (ErrorCatch() != 0, for diagnosis) or drops it (the default).

#include <exception>
#include <string>

#include <QString>

#include "app/batch_controller.h"
#include "common/error_trap.h"
#include "uikit/message_box.h"

class QWidget;

namespace sonivate {

// A stop box with pText over pOwner.
inline void ShowHandlerError(QWidget* pOwner, const std::string& pText) {
    OwnerMessageBox(pText, kMbOk | kMbIconStop, "", pOwner);
}

template <class Body>
void Guarded(QWidget* pOwner, Body&& pBody) noexcept {
    try {
        pBody();
    } catch (...) {
        if (ErrorCatch() == 0) return;
        const std::string text = ErrorText(std::current_exception());
        try {
            ShowHandlerError(pOwner, text);
        } catch (...) {
        }
    }
}

inline QString Q(const std::string& pText) { return QString::fromStdString(pText); }

// The separator of the lines of a message box's text.
inline constexpr const char* kLineBreak = "\r\n";

}  // namespace sonivate

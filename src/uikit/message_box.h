#pragma once
// Message boxes centred over their owner window and kept on the desktop.
// The box is a QMessageBox built from the classic style flags; showing it
// goes through a replaceable runner, so tests check the box and its place
// without ever blocking.

#include <cstdint>
#include <string>

class QMessageBox;
class QObject;
class QWidget;

namespace sonivate {

// Style flags (combine one of each group).
inline constexpr std::int32_t kMbOk = 0x0;
inline constexpr std::int32_t kMbOkCancel = 0x1;
inline constexpr std::int32_t kMbAbortRetryIgnore = 0x2;
inline constexpr std::int32_t kMbYesNoCancel = 0x3;
inline constexpr std::int32_t kMbYesNo = 0x4;
inline constexpr std::int32_t kMbRetryCancel = 0x5;
inline constexpr std::int32_t kMbIconStop = 0x10;
inline constexpr std::int32_t kMbIconQuestion = 0x20;
inline constexpr std::int32_t kMbIconExclamation = 0x30;
inline constexpr std::int32_t kMbIconInformation = 0x40;
inline constexpr std::int32_t kMbDefaultButton2 = 0x100;
inline constexpr std::int32_t kMbDefaultButton3 = 0x200;

// Results.
inline constexpr std::int32_t kIdOk = 1;
inline constexpr std::int32_t kIdCancel = 2;
inline constexpr std::int32_t kIdAbort = 3;
inline constexpr std::int32_t kIdRetry = 4;
inline constexpr std::int32_t kIdIgnore = 5;
inline constexpr std::int32_t kIdYes = 6;
inline constexpr std::int32_t kIdNo = 7;

// Shows a prepared box modally and returns the result value of the button
// chosen (the box's buttons carry it, see MessageBoxResult).
class MessageBoxRunner {
public:
    virtual ~MessageBoxRunner() = default;
    virtual std::int32_t Run(QMessageBox& pBox) = 0;
};
MessageBoxRunner& MessageBoxes();
// Installs pRunner (not owned), or with nullptr the modal Qt runner.
void SetMessageBoxRunner(MessageBoxRunner* pRunner);

// The result value a button of a box made by OwnerMessageBox stands for
// (kIdCancel for none).
std::int32_t MessageBoxResult(const QMessageBox& pBox, const QObject* pButton);

// Shows pText with the style pType and the title pCaption ("" = the
// application's title). Unless pOwner's window is minimised, the box is
// centred over it and then moved back inside the desktop: its right and
// bottom edges no further than the monitors' largest right and bottom edges,
// its left and top not below 0. A minimised or missing owner leaves the box
// where Qt puts it. Returns the result value; kIdCancel when the box could
// not be shown.
std::int32_t OwnerMessageBox(const std::string& pText, std::int32_t pType, const std::string& pCaption,
                             QWidget* pOwner);

}  // namespace sonivate

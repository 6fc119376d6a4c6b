#pragma once
// The controls' event arguments in their classic codes, from Qt's input
// state: mouse buttons (1 left, 2 right, 4 middle), the shift state
// (1 Shift, 2 Ctrl, 4 Alt) and drop effects (1 copy, 2 move, 4 link).

#include <cstdint>

#include <Qt>

namespace sonivate {

inline constexpr std::int32_t kButtonCodeLeft = 1;
inline constexpr std::int32_t kButtonCodeRight = 2;
inline constexpr std::int32_t kButtonCodeMiddle = 4;
inline constexpr std::int32_t kShiftCodeShift = 1;
inline constexpr std::int32_t kShiftCodeCtrl = 2;
inline constexpr std::int32_t kShiftCodeAlt = 4;
inline constexpr std::int32_t kDropCodeCopy = 1;
inline constexpr std::int32_t kDropCodeMove = 2;
inline constexpr std::int32_t kDropCodeLink = 4;

// The code of one button; 0 for any other.
std::int32_t ButtonCode(Qt::MouseButton pButton);
// The codes of every button held, added up.
std::int32_t ButtonMask(Qt::MouseButtons pButtons);
std::int32_t ShiftMask(Qt::KeyboardModifiers pModifiers);
// The codes of every drop action offered, added up.
std::int32_t DropEffects(Qt::DropActions pActions);
// The action a drop answer stands for: copy before move before link; none.
Qt::DropAction DropActionOf(std::int32_t pEffect);

}  // namespace sonivate

#pragma once
// Mouse buttons, shift states and key codes as the calendar's input handlers take them. A
// host (or a test) calls the handlers directly; no window system is needed.

#include "platform/types.h"

namespace vx {

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateFlag : unsigned {
  ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64
};
using TShiftState = unsigned;

constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_PRIOR = 0x21;  // Page Up
constexpr WORD VK_NEXT = 0x22;   // Page Down
constexpr WORD VK_END = 0x23;
constexpr WORD VK_HOME = 0x24;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;

}  // namespace vx

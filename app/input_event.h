// The input event: every key, pointer and wheel action reaches the game as
// one of these; demo files store them as they are (six little-endian words).
#pragma once

#include <cstdint>

struct InputEvent {
    uint32_t message = 0; // Windows message number (kMsg*)
    uint32_t wparam = 0;  // keys: scan code; wheel: delta in the high 16 bits
    uint32_t lparam = 0;  // pointer: x | y << 16 in display-mode pixels
    int32_t wheelDelta = 0;
    uint32_t scanCode = 0;
    uint32_t flags = 0;   // kFlag* modifier and button word

    bool operator==(const InputEvent&) const = default;
};
static_assert(sizeof(InputEvent) == 24, "demo files store 24-byte events");

inline constexpr uint32_t kMsgKeyDown = 256;
inline constexpr uint32_t kMsgKeyUp = 257;
inline constexpr uint32_t kMsgNcMouseMove = 160;
inline constexpr uint32_t kMsgMouseMove = 512;
inline constexpr uint32_t kMsgLeftDown = 513;
inline constexpr uint32_t kMsgLeftUp = 514;
inline constexpr uint32_t kMsgLeftDoubleClick = 515;
inline constexpr uint32_t kMsgRightDown = 516;
inline constexpr uint32_t kMsgRightUp = 517;
inline constexpr uint32_t kMsgMiddleDown = 519;
inline constexpr uint32_t kMsgMiddleUp = 520;
inline constexpr uint32_t kMsgWheel = 522;

inline constexpr uint32_t kFlagShift = 0x1;
inline constexpr uint32_t kFlagCtrl = 0x2;
inline constexpr uint32_t kFlagLeftButton = 0x100;
inline constexpr uint32_t kFlagRightButton = 0x200;
inline constexpr uint32_t kFlagMiddleButton = 0x400;
inline constexpr uint32_t kFlagDoublePress = 0x800;

// DirectInput scan codes the shell itself tests.
inline constexpr uint32_t kKeyEscape = 1;
inline constexpr uint32_t kKeyEnter = 28;
inline constexpr uint32_t kKeySpace = 57;

// The game window's procedure (see window_proc.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include <cstdint>

namespace platform {
class Window;
}

int64_t WindowProc(platform::Window& window, uint32_t message, uint64_t wparam, int64_t lparam);

// The program's 32 x 32 icon (ARGB, rows top first): a light diamond on a
// dark square, what the desktop shows for the minimised window.
inline constexpr int kProgramIconSize = 32;
std::vector<uint32_t> ProgramIcon();

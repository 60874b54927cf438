// The game window's procedure (see window_proc.cpp).
#pragma once

#include <cstdint>

namespace platform {
class Window;
}

int64_t WindowProc(platform::Window& window, uint32_t message, uint64_t wparam, int64_t lparam);

// The application's side of display modes: setting and changing the mode
// through the device layer with the fall-backs and exit codes start-up relies
// on, and the screen rectangle with the factors that map the 640 x 480
// virtual screen of the interface onto the real mode. The device layer (and
// tests) plug in through DisplayModeHooks, so this sits below the 3-D engine.
#pragma once

#include <cstdint>
#include <functional>

// The one record of the mode the game draws in: the shell, the pointer
// mapping and the display device all read and write App::CurrentMode().
struct DisplayModeSettings {
    int width = 640, height = 480, depth = 16;
    uint32_t flags = 0;  // kModeWindowed, kModeTripleBuffer, kModeReference
    bool operator==(const DisplayModeSettings&) const = default;
};

inline constexpr uint32_t kModeWindowed = 0x1;
// Set by the device itself when it managed a third buffer.
inline constexpr uint32_t kModeTripleBuffer = 0x2;
// "-r": passed unchanged to the device layer with every mode change.
inline constexpr uint32_t kModeReference = 0x80000000u;

// Exit codes of the display-mode set-up.
inline constexpr int kExitDisplayModeFailed = -33;
inline constexpr int kExitDeviceCannotOpen = -41;

inline constexpr const char* kModeErrorText = "Couldn't set requested mode";

struct ScreenMapping {
    int left = 0, top = 0, right = 640, bottom = 480;
    int width = 640, height = 480;  // each at least 1
    float factorX = 1.0f, factorY = 1.0f;  // width / 640, height / 480
};

struct ClipRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// What the display-mode code needs of the device layer, the window and the
// rest of the engine. Unset hooks are skipped (or count as success).
struct DisplayModeHooks {
    std::function<int(int, int, int, uint32_t)> setMode;  // 1, 2 set; 0 old mode back; -1 nothing works
    std::function<bool()> openDevice;
    std::function<void()> shutdown;
    std::function<void()> releaseDeviceObjects, restoreDeviceObjects;
    std::function<bool()> canRenderWindowed;
    std::function<void()> releaseAnimatedTextures, restoreAnimatedTextures;
    std::function<void()> restoreFogOfWar, updateTextureLoadFlags, resetParticles;
    std::function<bool(int, int)> resizeWindow;  // the client area of the window
    std::function<void(const ClipRect&)> clipCursor;
    std::function<ClipRect()> desktopRect;
    std::function<void(const char*)> showError;  // the message box
    std::function<void(int)> exitProgram;  // must not return
};

namespace App {

DisplayModeHooks& ModeHooks();
DisplayModeSettings& CurrentMode();
DisplayModeSettings& PreviousMode();
// The device layer's preference that a failing device open first gives up.
bool& PreferredVariant();
int& DeviceRetries();
const ScreenMapping& Screen();

int SetDisplayMode(int width, int height, int depth, uint32_t flags);
int RestorePreviousMode();
bool SetInitialMode();
void OnResize(int width, int height);

// The start state: 640 x 480 x 16, two device retries, hooks kept.
void ResetDisplayMode();

} // namespace App

#include "app/display_mode.h"

#include <cstdlib>

#include "app/fatal.h"

namespace {

struct ModeState {
    DisplayModeHooks hooks;
    DisplayModeSettings current, previous;
    bool preferredVariant = false;
    int deviceRetries = 2;
    ScreenMapping screen;
};

ModeState& S()
{
    static ModeState state;
    return state;
}

void Run(const std::function<void()>& f)
{
    if (f)
        f();
}

[[noreturn]] void Exit(int code)
{
    if (S().hooks.exitProgram)
        S().hooks.exitProgram(code);
    FatalExit(code);
}

} // namespace

namespace App {

DisplayModeHooks& ModeHooks() { return S().hooks; }
DisplayModeSettings& CurrentMode() { return S().current; }
DisplayModeSettings& PreviousMode() { return S().previous; }
bool& PreferredVariant() { return S().preferredVariant; }
int& DeviceRetries() { return S().deviceRetries; }
const ScreenMapping& Screen() { return S().screen; }

void ResetDisplayMode()
{
    ModeState& s = S();
    s.current = {};
    s.previous = {};
    s.preferredVariant = false;
    s.deviceRetries = 2;
    s.screen = {};
}

int SetDisplayMode(int width, int height, int depth, uint32_t flags)
{
    ModeState& s = S();
    s.previous = s.current;
    const bool resized = width != s.current.width || height != s.current.height;
    Run(s.hooks.releaseAnimatedTextures);
    Run(s.hooks.releaseDeviceObjects);
    // A display that cannot draw into a window runs full screen, for good.
    if ((flags & kModeWindowed) && s.hooks.canRenderWindowed && !s.hooks.canRenderWindowed()) {
        flags &= ~kModeWindowed;
        s.current.flags &= ~kModeWindowed;
    }
    const int rc = s.hooks.setMode ? s.hooks.setMode(width, height, depth, flags) : 1;
    if (rc == -1)
        Exit(kExitDisplayModeFailed);
    if (rc > 0)
        s.current = {width, height, depth, (flags & ~kModeTripleBuffer) | (s.current.flags & kModeTripleBuffer)};
    Run(s.hooks.restoreDeviceObjects);
    Run(s.hooks.restoreFogOfWar);
    Run(s.hooks.updateTextureLoadFlags);
    Run(s.hooks.restoreAnimatedTextures);
    Run(s.hooks.resetParticles);
    if (resized && rc > 0) {
        if (flags & kModeWindowed) {
            if (s.hooks.resizeWindow && !s.hooks.resizeWindow(width, height))
                return 0;
        } else {
            OnResize(width, height);
        }
    }
    return rc;
}

int RestorePreviousMode()
{
    const DisplayModeSettings p = S().previous;
    return SetDisplayMode(p.width, p.height, p.depth, p.flags);
}

bool SetInitialMode()
{
    ModeState& s = S();
    const DisplayModeSettings wanted = s.current;
    if (SetDisplayMode(wanted.width, wanted.height, wanted.depth, wanted.flags) == 0) {
        if (s.hooks.showError)
            s.hooks.showError(kModeErrorText);
        const uint32_t keep = s.current.flags & (kModeWindowed | kModeReference);
        if (SetDisplayMode(640, 480, 16, keep) <= 0) {
            if (s.hooks.showError)
                s.hooks.showError(kModeErrorText);
            Run(s.hooks.shutdown);
            return false;
        }
    }
    const bool opened = s.hooks.openDevice ? s.hooks.openDevice() : true;
    if (!opened) {
        if (s.preferredVariant) {
            s.preferredVariant = false;
            const bool ok = SetInitialMode();
            s.preferredVariant = true;
            return ok;
        }
        if (s.deviceRetries <= 0)
            Exit(kExitDeviceCannotOpen);
        --s.deviceRetries;
        return SetInitialMode();
    }
    return true;
}

void OnResize(int width, int height)
{
    ModeState& s = S();
    ClipRect clip;
    if ((s.current.flags & kModeWindowed) && s.hooks.desktopRect)
        clip = s.hooks.desktopRect();
    else
        clip = {0, 0, width, height};
    if (s.hooks.clipCursor)
        s.hooks.clipCursor(clip);
    ScreenMapping& m = s.screen;
    m.width = width > 0 ? width : 1;
    m.height = height > 0 ? height : 1;
    m.right = m.left + m.width;
    m.bottom = m.top + m.height;
    m.factorX = float(m.width) / 640.0f;
    m.factorY = float(m.height) / 480.0f;
}

} // namespace App

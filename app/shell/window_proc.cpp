// The window procedure: activation, moves and sizes, close. Keys and the
// mouse (wheel included) come from the input devices, not from here.
#include "app/shell/window_proc.h"

#include "app/shell/application.h"
#include "app/shell/input.h"
#include "app/shell/render_placeholders.h"
#include "app/shell/screen.h"
#include "app/shell/trace.h"
#include "app/display_mode.h"
#include "media/media_placeholders.h"
#include "platform/window.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <cstdlib>

using namespace platform;

int64_t WindowProc(Window& window, uint32_t message, uint64_t wparam, int64_t lparam)
{
    switch (message) {
    case kWmDestroy:
        Trace("window: WM_DESTROY");
        PostQuitMessage(0);
        return 0;
    case kWmMove:
    case kWmSize: {
        int left = 0, top = 0, width = 0, height = 0;
        window.ClientRect(left, top, width, height);
        Screen::OnClientArea(left, top, width, height);
        if (message == kWmSize && (App::CurrentMode().flags & kModeWindowed))
            RenderPlaceholders::OnResize(width, height);
        return 0;
    }
    case kWmPaint:
        // Nothing to paint: frames draw themselves, and while the window is
        // minimised the desktop shows its icon (given at creation).
        return 0;
    case kWmClose:
        Trace("window: WM_CLOSE");
        RenderPlaceholders::RestoreDisplayMode();
        return DefWindowProc(window, message, wparam, lparam);
    case kWmActivateApp:
        if (wparam && !Application::IsActive()) {
            Application::SetActive(true);
            RenderPlaceholders::RestoreDeviceObjects();
            if (FogOfWar::Global())
                FogOfWar::Restore(FogOfWar::Global());
            window.ShowSystemCursor(false);
            Input::AcquireMouse();
            Input::AcquireKeyboard();
            RenderPlaceholders::UpdateTextureLoadFlags();
            AnimatedTextures::RestoreAll();
            Trace("window: active");
        } else if (!wparam && Application::IsActive()) {
            Application::SetActive(false);
            AnimatedTextures::ReleaseAll();
            RenderPlaceholders::ReleaseDeviceObjects();
            Input::UnacquireMouse();
            Trace("window: inactive");
        }
        return 0;
    case kWmSetCursor:
        window.ShowSystemCursor(false);
        return 0;
    case kWmSysKeyDown:
        if (wparam == kVkReturn)
            return 0; // Alt+Enter does not switch modes
        return DefWindowProc(window, message, wparam, lparam);
    case kWmSysCommand:
        if ((wparam == kScKeyMenu || wparam == kScMouseMenu) && !window.IsMinimised())
            return 0;
        return DefWindowProc(window, message, wparam, lparam);
    case kWmDeviceChange:
        if (CdPlayer* cd = CdPlayer::Global()) {
            if (wparam == kDbtDeviceRemoveComplete) {
                cd->RefreshState();
            } else if (wparam == kDbtDeviceArrival && cd->IsWaitingForDisc()) {
                cd->RefreshState();
                if (cd->IsStopped())
                    CdPlayer::Poll(cd);
            }
        }
        return DefWindowProc(window, message, wparam, lparam);
    case kMmMciNotify:
        if (CdPlayer* cd = CdPlayer::Global())
            cd->Notify(wparam, lparam);
        return DefWindowProc(window, message, wparam, lparam);
    default:
        return DefWindowProc(window, message, wparam, lparam);
    }
}

std::vector<uint32_t> ProgramIcon()
{
    constexpr int n = kProgramIconSize;
    std::vector<uint32_t> pixels(size_t(n) * n, 0xFF202830u);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int d = std::abs(2 * x + 1 - n) + std::abs(2 * y + 1 - n);
            if (d < n - 4)
                pixels[size_t(y) * n + size_t(x)] = d < n / 3 ? 0xFFF0C040u : 0xFFB0B8C0u;
        }
    return pixels;
}

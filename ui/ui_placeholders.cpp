#include "ui/ui_placeholders.h"

#include "app/app_state.h"
#include "app/app_time.h"

#include <array>

bool FreeCameraFlag = true;
uint32_t WidescreenBorderFlags = 0;
bool StatusWindowFlag = false;
bool CameraLockingEnabled = true;

namespace HiscoreScreen {
void Draw() {}
void Leave() {}
} // namespace HiscoreScreen

namespace FrontEnd {
int64_t& IdleDeadline()
{
    static int64_t deadline = 0;
    return deadline;
}
void Enter()
{
    SetAppState(AppState::MainMenu);
    ResetIdleTimer();
}
void Frame() {}
void CheckLobbyStart() {}
void BuildScreens() {}
void Shutdown() {}
void OnEscape() { ExitProgram(kExitOnEscape); }
void OnKey(uint32_t, uint32_t) {}
bool IsCapturingKey() { return false; }
void Choose() {}
void HighlightPrevious() {}
void HighlightNext() {}
void OnUpKey() {}
void OnDownKey() {}
void ResetIdleTimer() { IdleDeadline() = AppTime::RealNow() + 15 * AppTime::TicksPerSecond(); }
} // namespace FrontEnd

namespace Game {
bool IsBattleUnderway() { return false; }
}

namespace InterfaceLayer {
void BeginFrame() {}
void DrawOverlays(int64_t) {}
void Draw() {}
} // namespace InterfaceLayer







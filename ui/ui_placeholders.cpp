#include "ui/ui_placeholders.h"

#include "app/app_state.h"
#include "app/app_time.h"

#include <array>

namespace {

bool EnterScreen(AppState state, int seconds)
{
    SetAppState(state);
    Screens::Deadline() = AppTime::RealNow() + int64_t(seconds) * AppTime::TicksPerSecond();
    return true; // no image to load yet
}

bool g_upgradeOpen = false;
bool g_tracking = false;

} // namespace

bool FreeCameraFlag = false;
uint32_t WidescreenBorderFlags = 0;
bool StatusWindowFlag = false;
bool CameraLockingEnabled = true;

namespace Screens {
int64_t& Deadline()
{
    static int64_t deadline = 0;
    return deadline;
}
} // namespace Screens

namespace LogoScreen {
bool Enter() { return EnterScreen(AppState::Logo, 5); }
void Draw() {}
void Leave() {}
} // namespace LogoScreen
namespace SplashScreen {
bool Enter() { return EnterScreen(AppState::Splash, 10); }
void Draw() {}
void Leave() {}
} // namespace SplashScreen
namespace TitleScreen {
bool Enter() { return EnterScreen(AppState::Title, 10); }
void Draw() {}
void Leave() {}
} // namespace TitleScreen
namespace TrainingReminder {
bool Enter() { return EnterScreen(AppState::PleaseTrain, 10); }
void Draw() {}
void Leave() {}
} // namespace TrainingReminder
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

namespace Briefing {
std::string& ScriptName()
{
    static std::string name;
    return name;
}
bool& GameOver()
{
    static bool over = false;
    return over;
}
void Enter(bool) { SetAppState(AppState::Briefing); }
void Draw() {}
void Leave(bool) {}
bool IsFadeDone() { return false; }
} // namespace Briefing

namespace Game {
bool IsBattleUnderway() { return false; }
}

namespace GameCursor {
void Load() {}
void Update() {}
void Release() {}
} // namespace GameCursor

namespace Hud {
void DrawUnitInfoAndOrders() {}
}
namespace StatusWindow {
void Draw() {}
}
namespace HudViewports {
void SetUp() {}
}
namespace InterfaceLayer {
void BeginFrame() {}
void DrawOverlays(int64_t) {}
void Draw() {}
} // namespace InterfaceLayer

namespace CameraController {
void SetEdgeScroll(int, int, bool) {}
void MoveRelative(float, float) {}
void LockOnSelection() { g_tracking = true; }
void StopTracking() { g_tracking = false; }
bool IsTracking() { return g_tracking; }
void Update() {}
void UpdateEdgeScroll(int, int) {}
} // namespace CameraController
namespace NormalView {
void Update() {}
}

namespace InGameScreens {
void Shutdown() {}
} // namespace InGameScreens

namespace MenuScreen {
bool OnLoadKey() { return false; }
bool OnSaveKey() { return false; }
} // namespace MenuScreen

namespace Mouse {
namespace {
int g_x = 0, g_y = 0;
void Keep(int x, int y)
{
    g_x = x;
    g_y = y;
}
} // namespace
void OnMove(int x, int y, uint32_t) { Keep(x, y); }
void OnLeftDown(int x, int y, uint32_t) { Keep(x, y); }
void OnLeftUp(int x, int y, uint32_t) { Keep(x, y); }
void OnLeftDoubleClick(int x, int y, uint32_t) { Keep(x, y); }
void OnRightDown(int x, int y, uint32_t) { Keep(x, y); }
void OnRightUp(int x, int y, uint32_t) { Keep(x, y); }
void OnMiddleDown(int x, int y, uint32_t) { Keep(x, y); }
void OnMiddleUp(int x, int y, uint32_t) { Keep(x, y); }
void OnWheel(int) {}
void LastPoint(int& x, int& y)
{
    x = g_x;
    y = g_y;
}
} // namespace Mouse

namespace PlayerInput {
void UpdateFrame() {}
}

namespace Selection {
Unit* SelectOnly(int) { return nullptr; }
Unit* SelectAllSquad() { return nullptr; }
Unit* SelectNext() { return nullptr; }
Unit* SelectPrevious() { return nullptr; }
Unit* SelectNextSquadMember(bool) { return nullptr; }
void ClearOrders() {}
void UndoLastOrder() {}
void SetCrouch(uint32_t) {}
void ItemHotkey(int, int) {}
void ReadyWeaponAttack(int) {}
void HandleEscape() {}
} // namespace Selection

namespace UpgradeScreen {
bool IsOpen() { return g_upgradeOpen; }
void Toggle() { g_upgradeOpen = !g_upgradeOpen; }
void UpdateAndDraw() {}
} // namespace UpgradeScreen

namespace CommandWheel {
bool IsOpen() { return false; }
}

// Placeholders for the interface services the shell calls. The start
// screens keep their states, deadlines and order but show no image yet; the
// main menu only answers Escape (quit, exit code 4) and keeps its idle time.
#pragma once

#include <cstdint>
#include <string>

struct InputEvent;
class Unit;

namespace Screens {
// The shared screen deadline (real-time ticks), set by each Enter.
int64_t& Deadline();
} // namespace Screens

namespace LogoScreen {
bool Enter(); // state 4, deadline now + 5 s; true when its image loaded
void Draw();
void Leave();
} // namespace LogoScreen
namespace SplashScreen {
bool Enter(); // state 2, now + 10 s
void Draw();
void Leave();
} // namespace SplashScreen
namespace TitleScreen {
bool Enter(); // state 1, now + 10 s
void Draw();
void Leave();
} // namespace TitleScreen
namespace TrainingReminder {
bool Enter(); // state 3, now + 10 s
void Draw();
void Leave();
} // namespace TrainingReminder
namespace HiscoreScreen {
void Draw();
void Leave();
} // namespace HiscoreScreen

namespace FrontEnd {
inline constexpr int kExitOnEscape = 4;
void Enter();              // state 8, idle deadline restarted
void Frame();
void CheckLobbyStart();
void BuildScreens();
void Shutdown();
void OnEscape();           // at the top menu: the program ends with 4
void OnKey(uint32_t scanCode, uint32_t flags);
bool IsCapturingKey();
void Choose();
void HighlightPrevious();
void HighlightNext();
void OnUpKey();
void OnDownKey();
void ResetIdleTimer();     // idle deadline = real time now + 15 s
int64_t& IdleDeadline();
} // namespace FrontEnd

namespace InGameScreens {
void Shutdown(); // the in-game screens go at exit
} // namespace InGameScreens

namespace Briefing {
std::string& ScriptName();
bool& GameOver();
void Enter(bool next);     // state 11
void Draw();
void Leave(bool stopMusic);
bool IsFadeDone();
} // namespace Briefing

namespace Game {
bool IsBattleUnderway();
}

namespace GameCursor {
void Load();
void Update();
void Release();
} // namespace GameCursor

namespace Hud {
void DrawUnitInfoAndOrders();
}
namespace StatusWindow {
void Draw();
}
namespace HudViewports {
void SetUp();
}
namespace InterfaceLayer {
void BeginFrame();
void DrawOverlays(int64_t realTime);
void Draw();
} // namespace InterfaceLayer

// Camera keys and per-frame camera control.
namespace CameraController {
void SetEdgeScroll(int slot, int value, bool on);
void MoveRelative(float dx, float dz);
void LockOnSelection();
void StopTracking();
bool IsTracking();
void Update();
void UpdateEdgeScroll(int x, int y);
} // namespace CameraController
namespace NormalView {
void Update();
}

extern bool FreeCameraFlag;
extern uint32_t WidescreenBorderFlags; // both bits set: no console, no overlays
extern bool StatusWindowFlag;
extern bool CameraLockingEnabled;

namespace MenuScreen {
bool OnLoadKey();
bool OnSaveKey();
} // namespace MenuScreen

namespace Mouse {
void OnMove(int x, int y, uint32_t flags);
void OnLeftDown(int x, int y, uint32_t flags);
void OnLeftUp(int x, int y, uint32_t flags);
void OnLeftDoubleClick(int x, int y, uint32_t flags);
void OnRightDown(int x, int y, uint32_t flags);
void OnRightUp(int x, int y, uint32_t flags);
void OnMiddleDown(int x, int y, uint32_t flags);
void OnMiddleUp(int x, int y, uint32_t flags);
void OnWheel(int delta);
// Where the last pointer handler was told the pointer is (mode pixels).
void LastPoint(int& x, int& y);
} // namespace Mouse

namespace PlayerInput {
void UpdateFrame();
}

namespace Selection {
Unit* SelectOnly(int n);
Unit* SelectAllSquad();
Unit* SelectNext();
Unit* SelectPrevious();
Unit* SelectNextSquadMember(bool previous); // Tab: also focuses the camera
void ClearOrders();
void UndoLastOrder();
void SetCrouch(uint32_t flags);
void ItemHotkey(int unit, int slot);
void ReadyWeaponAttack(int mode);
void HandleEscape();
} // namespace Selection

namespace UpgradeScreen {
bool IsOpen();
void Toggle();
void UpdateAndDraw();
} // namespace UpgradeScreen

namespace CommandWheel {
bool IsOpen();
}

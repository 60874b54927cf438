// Placeholders for the interface services the shell calls. The main menu
// only answers Escape (quit, exit code 4) and keeps its idle time.
#pragma once

#include <cstdint>
#include <string>

#include "ui/briefing.h"
#include "ui/camera_controller.h"
#include "ui/game_cursor.h"
#include "ui/hud_viewports.h"
#include "ui/mouse.h"
#include "ui/player_input.h"
#include "ui/selection.h"
#include "ui/hud.h"
#include "ui/menu_screen.h"
#include "ui/recon_view.h"
#include "ui/status_window.h"
#include "ui/still_screens.h"
#include "ui/unit_keys.h"
#include "ui/upgrade_screen.h"
#include "ui/wheel.h"

struct InputEvent;

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

namespace Game {
bool IsBattleUnderway();
}

namespace InterfaceLayer {
void BeginFrame();
void DrawOverlays(int64_t realTime);
void Draw();
} // namespace InterfaceLayer


extern bool FreeCameraFlag; // the normal view: the camera controller drives the camera
extern uint32_t WidescreenBorderFlags; // both bits set: no console, no overlays
extern bool StatusWindowFlag;
extern bool CameraLockingEnabled;





// Placeholders for the interface services the shell calls that are not
// built yet.
#pragma once

#include <cstdint>
#include <string>

#include "ui/briefing.h"
#include "ui/camera_controller.h"
#include "ui/front_end.h"
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

namespace InGameScreens {
void Shutdown(); // the in-game screens go at exit
} // namespace InGameScreens

namespace Game {
inline constexpr int kEnemyTeam = 2;
// True while a live, active object of the enemy team attacks.
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





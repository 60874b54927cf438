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



namespace InterfaceLayer {
void BeginFrame() {}
void DrawOverlays(int64_t) {}
void Draw() {}
} // namespace InterfaceLayer







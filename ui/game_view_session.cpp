#include "ui/camera_commands.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/mouse.h"
#include "ui/scene_lighting.h"
#include "ui/selection.h"
#include "session/session_placeholders.h"

namespace GameView {

void StartSession(bool swapCameraButtons)
{
    MouseActionMap::Build(swapCameraButtons);
    CameraController::Reset();
    SceneLighting::SetGame();
}

void EndSession()
{
    CameraCommands::ClearEnvironmentalSounds();
    MouseMode::Set(MouseMode::kStandard);
    Mouse::DropAll();
    Selection::ReleaseCommandUnit();
    Selection::SetViewUnit(nullptr);
    Selection::RemoveAll();
    CameraController::StopTracking();
    SceneLighting::Clear();
}

void InstallSessionHooks(std::function<bool()> swapCameraButtons)
{
    SessionObservers::Set([swap = std::move(swapCameraButtons)] { StartSession(swap && swap()); }, EndSession);
}

} // namespace GameView

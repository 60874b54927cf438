#include "ui/camera_commands.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/hud_viewports.h"
#include "ui/mouse.h"
#include "ui/player_input.h"
#include "ui/recon_view.h"
#include "ui/selection.h"
#include "ui/wheel.h"
#include "session/session_placeholders.h"

namespace GameView {
namespace {
// The camera the command wheel's parts are drawn with.
Camera* g_wheelCamera = nullptr;
} // namespace

void StartSession(bool swapCameraButtons)
{
    MouseActionMap::Build(swapCameraButtons);
    CameraController::Reset();
    g_wheelCamera = &HudViewports::HudOverlay();
    CommandWheel::Release();
    CommandWheel::Build(CommandWheel::ModelShapes(&g_wheelCamera));
}

void EndSession()
{
    CameraCommands::ClearEnvironmentalSounds();
    MouseMode::Set(MouseMode::kStandard);
    Mouse::DropAll();
    ReconView::Toggle(false);
    Selection::ReleaseCommandUnit();
    Selection::SetViewUnit(nullptr);
    Selection::RemoveAll();
    CameraController::StopTracking();
    CommandWheel::Release();
    PlayerInput::Clear();
}

void InstallSessionHooks(std::function<bool()> swapCameraButtons)
{
    SessionObservers::Set([swap = std::move(swapCameraButtons)] { StartSession(swap && swap()); }, EndSession);
    Session::Hooks().cameraLimits = [](const CameraLimits& limits) { CameraController::ApplyLimits(limits); };
}

} // namespace GameView

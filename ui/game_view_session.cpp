#include "ui/camera_commands.h"
#include "effects/frame_pass.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/hud_viewports.h"
#include "ui/mouse.h"
#include "ui/move_marker.h"
#include "ui/player_input.h"
#include "ui/recon_view.h"
#include "ui/scene_lighting.h"
#include "ui/selection.h"
#include "ui/server_notices.h"
#include "ui/upgrade_screen.h"
#include "ui/wait_for_world.h"
#include "ui/wheel.h"
#include "ui/ui_placeholders.h"
#include "objects/teams.h"
#include "objects/world_object.h"
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
    MoveMarker::Load();  // a missing marker leaves the session without one
    SceneLighting::SetGame();
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
    MoveMarker::Release();
    SceneLighting::Clear();
    CommandWheel::Release();
    // A wheel choice still waiting for its click (attack a place, open the
    // upgrade screen) must not carry over into the next session's cursor.
    CommandWheel::ClearPendingAction();
    PlayerInput::Clear();
}

// A networked client looks first at its own side: the first of its
// characters that shows.
void FocusOnOwnSide()
{
    for (const WorldObject* object : WorldObjectTable::Snapshot())
        if (object->Side() == TeamTable::OwnSide() && object->GetCharacter() && !object->IsHidden()) {
            const Vec3& at = object->Position();
            CameraController::SetFocus(at.x, at.y, at.z);
            return;
        }
}

void LevelStarted()
{
    CameraController::State& camera = CameraController::Get();
    camera.viewWidth = CameraController::kPlayViewWidth;
    camera.viewHeight = CameraController::kPlayViewHeight;
    if (Network::IsActive())
        FocusOnOwnSide();
    CameraController::ResetEdgeScroll();
    CameraController::PlaceCamera();
}

void LevelStopping()
{
    // A press held across the stop would keep its object.
    MouseMode::Set(MouseMode::kStandard);
    Mouse::DropAll();
    Selection::RemoveAll();
    ServerNotices::ReleaseUnitPanels();
    UpgradeScreen::Release();
    CameraController::StopTracking();
    CameraCommands::GetBorders() = {};
}

void InstallSessionHooks(std::function<bool()> swapCameraButtons)
{
    SessionObservers::Set([swap = std::move(swapCameraButtons)] { StartSession(swap && swap()); }, EndSession);
    SessionHooks& hooks = Session::Hooks();
    hooks.interfaceLoading = UpgradeScreen::Build;
    UpgradeScreen::InstallHooks();
    hooks.cameraStarted = LevelStarted;
    hooks.interfaceStopped = LevelStopping;
    InstallWaitForWorld();
    ServerNotices::Install();
    hooks.cameraLimits = [](const CameraLimits& limits) { CameraController::ApplyLimits(limits); };
    // The frame pass shows the overlays only in the recon view.
    Effects::SetNormalViewSource([] { return FreeCameraFlag; });
}

} // namespace GameView

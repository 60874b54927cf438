#include "ui/saved_camera.h"

#include "session/saved_game.h"
#include "ui/camera_controller.h"

namespace SavedCamera {
namespace {

void Save(SavedGame::World& world)
{
    const CameraController::State& state = CameraController::Get();
    world.camera.angles = {state.heading, state.pitch, state.roll};
    world.camera.target = state.focus;
    world.camera.distance = state.zoom;
}

// The file's values are finite (the reader refuses others).
bool Load(const SavedGame::World& world)
{
    CameraController::State& state = CameraController::Get();
    const SavedGame::Camera& saved = world.camera;
    CameraController::SetHeading(saved.angles[0]);
    CameraController::SetPitch(saved.angles[1]);
    CameraController::SetRoll(saved.angles[2]);
    state.requiredHeading = saved.angles[0];
    state.requiredPitch = saved.angles[1];
    state.requiredRoll = saved.angles[2];
    state.focus = saved.target;
    state.zoom = state.requiredZoom = saved.distance;
    CameraController::PlaceCamera();
    return true;
}

} // namespace

void Install() { SavedGame::AddSection({Save, Load, nullptr}); }

} // namespace SavedCamera

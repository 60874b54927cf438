#include "ui/recon_view.h"

#include "Veapi/camera.h"
#include "app/app_time.h"
#include "objects/moving_object.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/hud_view.h"
#include "ui/selection.h"
#include "ui/unit_keys.h"
#include "ui/upgrade_screen.h"

#include <algorithm>
#include <cmath>

namespace ReconView {
namespace {
constexpr int kCursorRecon = 5;
bool g_active = false;
float g_heading = 0, g_pitch = 0;
// Held by a reference: the view lets go of it even after it left the world.
WorldObjectRef g_controlled;

WorldObject* Lead()
{
    const auto selected = HudView::Current().Selected();
    return selected.empty() ? nullptr : selected[0];
}

void TakeControl(WorldObject& unit)
{
    unit.SetHighlight(true);
    unit.SetDirectControl(true);
}

constexpr float kCameraDistance = 20.0f;
constexpr float kReportInterval = 0.8f; // seconds of game time between motion reports
float g_lastReport = 0;
constexpr float kHeadHeight = 1.5f; // y grows downward: the target sits above the feet

// The main camera's view: wide and short-sighted behind the unit, or the
// free camera's play view.
void UseReconView(bool on)
{
    MainCamera& camera = MainCamera::Get();
    HudView& view = HudView::Current();
    if (on) {
        camera.requestedWidth_ = 1.0f;
        camera.requestedHeight_ = view.ScreenWidth() > 0 ? view.ScreenHeight() / view.ScreenWidth() : 0.75f;
        camera.SetDepthRangeAndRefresh(0.5f, 100.0f);
    } else {
        camera.requestedWidth_ = CameraController::kPlayViewWidth;
        camera.requestedHeight_ = CameraController::kPlayViewHeight;
        camera.SetDepthRangeAndRefresh(1.0f, 200.0f);
    }
}

// The camera 20 behind the unit's head along the view's heading and pitch.
void PlaceBehind(const WorldObject& unit)
{
    MainCamera& camera = MainCamera::Get();
    const Vec3 target = unit.Position() - Vec3{0, kHeadHeight, 0};
    if (!(camera.focus_ == target))
        camera.focus_ = target;
    camera.distance_ = kCameraDistance;
    // The camera's angles turn the other way: its heading looks along
    // (-sin, cos) and its positive pitch looks down.
    camera.SetHeadingSteps(-g_heading);
    camera.SetPitchSteps(-g_pitch);
    camera.Place();
}
} // namespace

bool Follows(const WorldObject* unit) { return g_active && unit && g_controlled.Get() == unit; }

bool IsActive() { return g_active; }
float Heading() { return g_heading; }
float Pitch() { return g_pitch; }

void SetAngles(float heading, float pitch)
{
    g_heading = heading;
    g_pitch = pitch;
}

void Turn(float dx, float dy, float sensitivity)
{
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    g_pitch = std::clamp(g_pitch + dy * sensitivity, kPitchDown, kPitchUp);
    g_heading = std::fmod(g_heading + dx, 4096.0f);
    if (g_heading < 0)
        g_heading += 4096.0f;
}

void Toggle(bool on)
{
    HudView& view = HudView::Current();
    if (on) {
        WorldObject* lead = Lead();
        if (!lead || g_active)
            return;
        Selection::EndQuickWeapon();
        view.SetCursorMode(kCursorRecon);
        g_controlled = WorldObjectRef(lead);
        TakeControl(*lead);
        SetAngles(0, 0);
        Turn(HeadingOf(lead->Orientation()), 0, 0);
        CameraController::ResetEdgeScroll();
        UseReconView(true);
        g_lastReport = AppTime::GameSeconds();
        // The pointer turns the view from where it stands: what it moved
        // before does not count.
        float dx = 0, dy = 0;
        view.PointerMotion(dx, dy);
        if (GameView::GetHooks().relativePointer)
            GameView::GetHooks().relativePointer(true);
        g_active = true;
        return;
    }
    if (!g_active)
        return;
    if (g_controlled && !g_controlled->IsDestroyed())
        g_controlled->ReleaseControl();
    g_controlled.Reset();
    if (GameView::GetHooks().relativePointer)
        GameView::GetHooks().relativePointer(false);
    view.SetCursorMode(0);
    // The free camera's own angles were left alone: it takes them back.
    const CameraController::State& free = CameraController::Get();
    UseReconView(false);
    CameraController::SetHeading(free.heading);
    CameraController::SetPitch(free.pitch);
    CameraController::PlaceCamera();
    g_active = false;
}

void Update()
{
    if (!g_active)
        return;
    HudView& view = HudView::Current();
    WorldObject* lead = Lead();
    if (!lead) {
        Toggle(false);
        return;
    }
    TakeControl(*lead);
    float dx = 0, dy = 0;
    view.PointerMotion(dx, dy);
    Turn(dx, dy, view.PitchSensitivity());
    lead->SetOrientation(YawOrientation(g_heading));
    PlaceBehind(*lead);
    SkyBackdrop::Draw();
    // A walking unit under direct control reports where it is now and then.
    MovingObject* walker = lead->IsMobile() ? static_cast<MovingObject*>(lead) : nullptr;
    const float now = AppTime::GameSeconds();
    if (walker && walker->IsWalking() && now - g_lastReport > kReportInterval) {
        walker->SendMotionState(true);
        g_lastReport = now;
    }
}
} // namespace ReconView

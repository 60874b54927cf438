#include "ui/camera_controller.h"

#include "Veapi/camera.h"
#include "app/app_time.h"
#include "app/display_mode.h"
#include "app/math_tables.h"
#include "console/text_console.h"
#include "media/cutscene.h"
#include "objects/moving_object.h"
#include "session/session_placeholders.h"
#include "ui/camera_track.h"
#include "ui/game_cursor.h"
#include "ui/game_view.h"
#include "ui/mouse.h"
#include "ui/selection.h"
#include "ui/upgrade_screen.h"
#include "world/level.h"
#include "world/map_build.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

CameraController::State g_state;
CameraMove g_move;
int g_speedOption = 1;
void (*g_panelPulse)(float level) = Hud::DrawPanelPulse;

double Seconds(int64_t ticks) { return double(ticks) / double(GameView::TicksPerSecond()); }

bool Finite(float v) { return std::isfinite(v); }
bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

float BaseSpeed(int option) { return option <= 0 ? 0.5f : option == 1 ? 1.0f : 2.0f; }

MainCamera& Main() { return MainCamera::Get(); }

} // namespace

// ---- CameraAxis ----

float CameraAxis::GetVelocity(int64_t t) const
{
    if ((flags & kAccelerating) && t < endTime)
        return startVelocity + static_cast<float>(Seconds(t - startTime)) * acceleration;
    if (flags & kActive)
        return (flags & kPositive) ? baseSpeed : -baseSpeed;
    return 0.0f;
}

float CameraAxis::Advance(int64_t t)
{
    if ((flags & kAccelerating) && endTime < t) {
        const float v = GetVelocity(endTime);
        accumulated += (v + lastVelocity) * 0.5f * static_cast<float>(Seconds(endTime - lastTime));
        lastTime = endTime;
        lastVelocity = v;
        flags = static_cast<uint8_t>(flags & ~kAccelerating);
    }
    const float v = GetVelocity(t);
    const float distance = accumulated + (v + lastVelocity) * 0.5f * static_cast<float>(Seconds(t - lastTime));
    lastTime = t;
    lastVelocity = v;
    accumulated = 0;
    return distance;
}

void CameraAxis::Reset(int64_t now)
{
    flags = 0;
    startTime = endTime = lastTime = now;
    startVelocity = acceleration = accumulated = lastVelocity = 0;
}

void CameraAxis::Set(bool positive, bool on, int64_t now)
{
    const bool active = flags & kActive;
    const bool runningPositive = flags & kPositive;
    const float ramp = 10.0f * baseSpeed;
    if (on && (!active || runningPositive != positive)) {
        accumulated = Advance(now);
        startVelocity = lastVelocity;
        startTime = now;
        const float target = positive ? baseSpeed : -baseSpeed;
        acceleration = positive ? ramp : -ramp;
        endTime = now + static_cast<int64_t>(std::llround((target - startVelocity) / acceleration *
                                                          double(GameView::TicksPerSecond())));
        flags = static_cast<uint8_t>((positive ? kPositive : 0) | kActive | kAccelerating);
    } else if (!on && active && runningPositive == positive) {
        accumulated = Advance(now);
        startVelocity = lastVelocity;
        startTime = now;
        acceleration = startVelocity > 0 ? -ramp : ramp;
        endTime = now + static_cast<int64_t>(
                            std::llround(std::fabs(startVelocity) / ramp * double(GameView::TicksPerSecond())));
        flags = static_cast<uint8_t>((flags & ~kActive) | kAccelerating);
    }
}

// ---- CameraMove ----

CameraMove& CameraMove::Get() { return g_move; }

void CameraMove::SetPlacement(const Vec3 points[4])
{
    static constexpr float kBasis[4][4] = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}};
    for (int row = 0; row < 4; ++row) {
        for (int axis = 0; axis < 3; ++axis) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) {
                const float p = axis == 0 ? points[k].x : axis == 1 ? points[k].y : points[k].z;
                sum += kBasis[row][k] * p;
            }
            coefficients_[row][axis] = sum;
        }
    }
    active_ = true;
}

Vec3 CameraMove::Evaluate(float u) const
{
    float out[3];
    for (int axis = 0; axis < 3; ++axis)
        out[axis] = ((coefficients_[0][axis] * u + coefficients_[1][axis]) * u + coefficients_[2][axis]) * u +
                    coefficients_[3][axis];
    return {out[0], out[1], out[2]};
}

void CameraMove::Start(int64_t time)
{
    active_ = true;
    cutscene_ = false;
    startTime_ = time;
}

namespace {
void UseCutsceneView(bool cutscene)
{
    CameraController::State& s = g_state;
    s.viewWidth = cutscene ? CameraController::kCutsceneViewWidth : CameraController::kPlayViewWidth;
    s.viewHeight = cutscene ? CameraController::kCutsceneViewHeight : CameraController::kPlayViewHeight;
    Main().requestedWidth_ = s.viewWidth;
    Main().requestedHeight_ = s.viewHeight;
    if (cutscene)
        Main().SetDepthRangeAndRefresh(0.1f, 100.0f);
    else
        Main().SetDepthRangeAndRefresh(1.0f, 200.0f);
}
} // namespace

void CameraMove::StartCutscene(int64_t time)
{
    active_ = true;
    cutscene_ = true;
    startTime_ = time;
    UseCutsceneView(true);
    GameView::SetCutscenePlaying(true);
}

void CameraMove::End()
{
    active_ = cutscene_ = skippable_ = false;
    GameView::SetCutscenePlaying(false);
    UseCutsceneView(false);
    MouseMode::Reset();
    CameraController::SetScriptMode(false);
}

void CameraMove::SkipCutscene()
{
    if (!g_move.active_ || !g_move.cutscene_)
        return;
    // In a network game the other players' cut-scene runs on; only the view returns.
    if (!Network::IsActive())
        trevok::CutScene::StopCurrent();
    g_move.End();
}

// ---- CameraController ----

namespace CameraController {

State& Get() { return g_state; }

float Reduce(float angle)
{
    if (!std::isfinite(angle))
        return 0.0f;
    float r = std::fmod(angle, 4096.0f);
    if (r < 0)
        r += 4096.0f;
    return r >= 4096.0f ? 0.0f : r;
}

int32_t HalfAngleIndex(float angle) { return HalfAngleTableIndex(angle); }

int32_t AngleIndex(float angle) { return static_cast<int32_t>(std::floor(Reduce(angle) + 0.5f)) & 0xFFF; }

void Reset()
{
    for (WorldObject* u : g_state.locked)
        u->Release();
    const bool invert = g_state.invertMouse;
    g_state = State{};
    g_state.invertMouse = invert;
    const int64_t now = GameView::RealNow();
    for (CameraAxis& axis : g_state.axes) {
        axis.baseSpeed = BaseSpeed(g_speedOption);
        axis.Reset(now);
    }
    g_move = CameraMove{};
    SetHeading(g_state.heading);
    SetPitch(g_state.pitch);
    SetRoll(g_state.roll);
}

void SetSpeedOption(int option)
{
    g_speedOption = std::clamp(option, 0, 2);
    for (CameraAxis& axis : g_state.axes)
        axis.baseSpeed = BaseSpeed(g_speedOption);
}

void SetInvertOption(bool on) { g_state.invertMouse = on; }

void TakeOptions(const KeyConfig::Options& options)
{
    SetSpeedOption(options.option277);
    SetInvertOption(options.option6090 != 0);
}

void ApplyLimits(const CameraLimits& limits)
{
    if (limits.maxDistance > kMinZoom && std::isfinite(limits.maxDistance))
        g_state.maxZoom = limits.maxDistance;
    // y grows downward: the highest focus is the smaller y.
    if (limits.highestFocus && std::isfinite(*limits.highestFocus))
        g_state.focusLow = *limits.highestFocus;
    if (limits.lowestFocus && std::isfinite(*limits.lowestFocus))
        g_state.focusHigh = *limits.lowestFocus;
    if (g_state.focusLow > g_state.focusHigh)
        std::swap(g_state.focusLow, g_state.focusHigh);
}

void PlaceCamera()
{
    MainCamera& camera = Main();
    camera.focus_ = g_state.focus;
    camera.distance_ = g_state.zoom;
    camera.requestedWidth_ = g_state.viewWidth;
    camera.requestedHeight_ = g_state.viewHeight;
    const Vec3 wanted = g_state.focus - camera.GetViewDirection() * g_state.zoom;
    if (!(wanted == camera.Position())) {
        camera.SetPosition(wanted);
        g_state.moved = true;
    }
}

bool SetFocus(float x, float y, float z)
{
    if (!Finite(x) || !Finite(y) || !Finite(z))
        return false;
    if (const Level* level = Level::Current()) {
        if (level->cameraMinX_ <= level->cameraMaxX_)
            x = std::clamp(x, level->cameraMinX_, level->cameraMaxX_);
        if (level->cameraMinZ_ <= level->cameraMaxZ_)
            z = std::clamp(z, level->cameraMinZ_, level->cameraMaxZ_);
    }
    y = std::clamp(y, g_state.focusLow, g_state.focusHigh);
    g_state.focus = {x, y, z};
    PlaceCamera();
    return true;
}

void MoveRelative(float dx, float dz)
{
    if ((dx == 0 && dz == 0) || !Finite(dx) || !Finite(dz))
        return;
    const int32_t h = AngleIndex(g_state.heading);
    const float c = CosineOf(h), s = SineOf(h);
    const float g = 2.0f * g_state.zoom * g_state.viewWidth;
    SetFocus(g_state.focus.x + (c * dx + s * dz) * g, g_state.focus.y, g_state.focus.z + (s * dx - c * dz) * g);
}

void SetHeading(float heading)
{
    g_state.heading = heading;
    Main().SetHeadingSteps(heading);
}

void SetPitch(float pitch)
{
    g_state.pitch = pitch;
    Main().SetPitchSteps(pitch);
}

void SetRoll(float roll)
{
    g_state.roll = roll;
    Main().SetRollSteps(roll);
}

void TurnBy(float dHeading, float dPitch)
{
    if (!Finite(dHeading) || !Finite(dPitch))
        return;
    SetHeading(Reduce(g_state.heading + dHeading));
    SetPitch(std::clamp(g_state.pitch + dPitch, kMinPitch, kMaxPitch));
    PlaceCamera();
}

bool SetRequiredOrientation(float heading, float pitch, float roll, float rate)
{
    if (!Finite(heading) || !Finite(pitch) || !Finite(roll) || !Finite(rate))
        return false;
    g_state.requiredHeading = heading;
    g_state.requiredPitch = pitch;
    g_state.requiredRoll = roll;
    g_state.angleRate = rate;
    return true;
}

bool SetRequiredZoom(float zoom)
{
    if (!Finite(zoom))
        return false;
    g_state.requiredZoom = std::clamp(zoom, kMinZoom, g_state.maxZoom);
    return true;
}

void OnWheel(int delta)
{
    g_state.requiredZoom = g_state.zoom * std::pow(1.5f, -float(delta) / 120.0f);
}

void SetEdgeScroll(int axis, int direction, bool on)
{
    if (axis < 0 || axis >= kAxisCount)
        return;
    g_state.axes[axis].Set(direction != 0, on, GameView::RealNow());
}

namespace {
constexpr struct {
    int axis;
    bool positive;
} kEdgeAxes[4] = {{kPanSideways, false}, {kPanSideways, true}, {kPanForwards, false}, {kPanForwards, true}};

void DriveEdge(int edge, bool on)
{
    if (g_state.edges[edge] == uint8_t(on))
        return;
    g_state.edges[edge] = on;
    g_state.axes[kEdgeAxes[edge].axis].Set(kEdgeAxes[edge].positive, on, GameView::RealNow());
}
} // namespace

void UpdateEdgeScroll(int x, int y)
{
    if (!g_state.edgeScroll || GameView::WheelOpen())
        return;
    const DisplayModeSettings& mode = App::CurrentMode();
    DriveEdge(0, x <= 0);
    DriveEdge(1, x >= mode.width - 1);
    DriveEdge(2, y <= 0);
    DriveEdge(3, y >= mode.height - 1);
}

void ResetEdgeScroll()
{
    const int64_t now = GameView::RealNow();
    for (CameraAxis& axis : g_state.axes)
        axis.Reset(now);
    for (uint8_t& edge : g_state.edges)
        edge = 0;
}

void SetEdgeScrollEnabled(bool on)
{
    g_state.edgeScroll = on;
    // Edges that were scrolling stop with the switch: a drag or a screen
    // must not leave the view sliding underneath it.
    if (!on)
        for (int edge = 0; edge < 4; ++edge)
            DriveEdge(edge, false);
    if (GameView::GetHooks().confinePointer)
        GameView::GetHooks().confinePointer(on);
}

void SaveEdgeScroll() { g_state.savedEdgeScroll = g_state.edgeScroll; }
void RestoreEdgeScroll() { SetEdgeScrollEnabled(g_state.savedEdgeScroll); }
bool EdgeScrollEnabled() { return g_state.edgeScroll; }

void Track(WorldObject* unit)
{
    if (!unit || IsTracked(unit))
        return;
    unit->AddRef();
    g_state.locked.push_back(unit);
}

void Untrack(WorldObject* unit)
{
    auto it = std::find(g_state.locked.begin(), g_state.locked.end(), unit);
    if (it == g_state.locked.end())
        return;
    g_state.locked.erase(it);
    unit->Release();
}

bool IsTracked(const WorldObject* unit)
{
    return std::find(g_state.locked.begin(), g_state.locked.end(), unit) != g_state.locked.end();
}

bool IsTracking() { return !g_state.locked.empty(); }

void StopTracking()
{
    for (WorldObject* unit : g_state.locked)
        unit->Release();
    g_state.locked.clear();
    ResetEdgeScroll();
}

void LockOnSelection()
{
    StopTracking();
    const std::vector<WorldObject*> members = Selection::Members();
    if (members.empty())
        return;
    Vec3 sum{0, 0, 0};
    for (WorldObject* unit : members) {
        Track(unit);
        sum += unit->Position();
    }
    const Vec3 mean = sum * (1.0f / float(members.size()));
    SetFocus(mean.x, mean.y, mean.z);
    GameCursor::ShowOnce(GameCursor::kCameraLock, 1);
}

void SetScriptMode(bool on)
{
    if (on && !g_state.scriptMode) {
        g_state.savedPosition = Main().Position();
        g_state.rotationSpeed = g_state.elevationSpeed = 0;
        g_state.moving = false;
        g_state.focusHold = false;
    }
    g_state.scriptMode = on;
}

void HoldScriptMode(int64_t until) { g_state.holdUntil = until; }

bool PlayCutscene(std::string_view name)
{
    // The cut-scene takes the whole screen: an open console goes.
    if (TextConsole::IsOpen())
        TextConsole::Toggle();
    const int64_t now = GameView::RealNow();
    trevok::CutScene::PlayByName(name, Seconds(now), 0);
    SetScriptMode(true);
    g_move.skippable_ = true;
    g_move.StartCutscene(now);
    PlaceCamera();
    return true;
}

namespace {

// Each of heading, pitch and roll steps towards its required value by the
// angle rate, the short way round; the rate ends once all three arrived.
void StepAngles()
{
    State& s = g_state;
    if (!(s.angleRate > 0))
        return;
    float* current[3] = {&s.pitch, &s.roll, &s.heading};
    const float required[3] = {s.requiredPitch, s.requiredRoll, s.requiredHeading};
    int arrived = 0;
    for (int i = 0; i < 3; ++i) {
        const float t = Reduce(required[i]);
        const float d = Reduce(*current[i] - t);
        if (d <= s.angleRate || d >= 4096.0f - s.angleRate)
            *current[i] = t;
        else if (d < 2048.0f)
            *current[i] -= s.angleRate;
        else
            *current[i] += s.angleRate;
        *current[i] = Reduce(*current[i]);
        if (*current[i] == t)
            ++arrived;
    }
    SetPitch(s.pitch);
    SetRoll(s.roll);
    SetHeading(s.heading);
    if (arrived == 3)
        s.angleRate = 0;
}

void StepPendingMove(int64_t now)
{
    State& s = g_state;
    if (!s.moving)
        return;
    Vec3 d = s.moveTarget - s.focus;
    if (d.Length() > 1.0f) {
        d = d.Normalised();
        s.holdUntil = now + 1;
    } else {
        s.moving = false;
        s.holdUntil = now - 1;
    }
    const Vec3 to = s.focus + d * (s.moveSpeed * 0.004f * s.zoom);
    SetFocus(to.x, to.y, to.z);
}

} // namespace

void LookFrom(const Vec3& eye, const Vec3& target)
{
    State& s = g_state;
    const Vec3 line = target - eye;
    const float length = line.Length();
    if (Finite(eye) && Finite(target) && length > 1e-6f) {
        const Vec3 dir = line * (1.0f / length);
        SetHeading(static_cast<float>(std::atan2(-dir.x, dir.z) * kStepsPerRadian));
        SetPitch(static_cast<float>(std::atan2(dir.y, std::sqrt(dir.x * dir.x + dir.z * dir.z)) * kStepsPerRadian));
        s.zoom = length;
    }
    if (Finite(eye) && !(eye == Main().Position()))
        Main().SetPosition(eye);
    if (Finite(target))
        s.focus = target;
    Main().requestedWidth_ = s.viewWidth;
    Main().requestedHeight_ = s.viewHeight;
    PlaceCamera();
    s.requiredZoom = s.zoom;
    if (Level* level = Level::Current())
        level->probeRequested_ = false;
}

namespace {

void StepCameraMove(int64_t now)
{
    State& s = g_state;
    CameraMove& move = g_move;
    if (!move.active_)
        return;
    if (move.cutscene_) {
        // A cut-scene without a camera or target user leaves these as they are.
        Vec3 eye = Main().Position(), target = s.focus;
        float width = 0;
        const bool running = trevok::CutScene::AdvanceCurrent(Seconds(now), 0, eye, target, width);
        if (running) {
            // A camera track draws the cast it loaded for the scene.
            if (auto* track = dynamic_cast<CameraTrack*>(trevok::CutScene::Current()))
                track->DrawSceneObjects(uint64_t(AppTime::GameNow()));
            s.holdUntil = now + 1;
            if (Finite(width) && width > 0) {
                s.viewWidth = width;
                s.viewHeight = 0.75f * width;
            }
        } else {
            move.active_ = move.cutscene_ = false;
            GameView::SetCutscenePlaying(false);
            trevok::CutScene::StopCurrent();
            UseCutsceneView(false);
            MouseMode::Reset();
            s.scriptMode = false;
        }
        LookFrom(eye, target);
        // The cut-scene's bands at full height.
        g_panelPulse(1.0f);
        return;
    }
    // A curve move without speed would never end: it ends at once.
    float u = move.speed_ > 0 ? static_cast<float>(Seconds(now - move.startTime_) * move.speed_) : 1.0f;
    if (!(u < 1.0f)) {
        u = 1.0f;
        move.active_ = false;
    }
    const Vec3 p = move.Evaluate(u);
    SetFocus(p.x, p.y, p.z);
    s.holdUntil = now + 1;
}

void ScriptFrame(int64_t now)
{
    State& s = g_state;
    // Endless turning stays in one turn, so the angle keeps its precision.
    SetHeading(Reduce(s.heading + s.rotationSpeed * 1638.4f));
    SetPitch(Reduce(s.pitch + s.elevationSpeed * 1024.0f));
    StepPendingMove(now);
    if (s.focusHold) {
        s.focus = s.focusHoldTarget;
        if (Level* level = Level::Current())
            level->probeRequested_ = false;
        s.holdUntil = now + 1;
    }
    StepCameraMove(now);
    if (now > s.holdUntil)
        s.scriptMode = false;
}

void TurnAndTilt(float turn, float tilt)
{
    State& s = g_state;
    Level* level = Level::Current();
    if (!level)
        return;
    if (turn == 0 && tilt == 0) {
        s.pivotDone = false;
        level->probeRequested_ = false;
        return;
    }
    if (!s.pivotDone && level->probeRequested_) {
        if (s.locked.empty() && level->probeValid_) {
            const Vec3 p = Main().Position();
            const Vec3 f = s.focus;
            const float h = std::clamp(level->probePoint_.y, s.focusLow, s.focusHigh);
            const float span = f.y - p.y;
            // A level view line has no point at another height: no pivot.
            if (std::fabs(span) > 1e-4f) {
                const float k = (h - p.y) / span;
                if (std::isfinite(k) && k > 0) {
                    s.focus = p + (f - p) * k;
                    s.zoom *= k;
                    s.requiredZoom = s.zoom;
                }
            }
        }
        s.pivotDone = true;
        level->probeRequested_ = false;
    } else if (!s.pivotDone) {
        level->probeRequested_ = true;
    }
    SetHeading(Reduce(s.heading + turn * 1638.4f));
    SetPitch(std::clamp(s.pitch + tilt * 1024.0f, kMinPitch, kMaxPitch));
}

void StepZoom(int64_t now)
{
    State& s = g_state;
    const float z = s.zoom;
    if (s.requiredZoom != z) {
        const bool close = std::fabs(s.requiredZoom - z) < 3.0f * kZoomEasing * z;
        if (s.requiredZoom > z)
            s.zoom = std::min(z * (close ? 1.0f + 1.5f * kZoomEasing : 1.0f + kZoomEasing), s.requiredZoom);
        else
            s.zoom = std::max(z * (close ? 1.0f - 1.5f * kZoomEasing : 1.0f - kZoomEasing), s.requiredZoom);
    } else {
        const float d = s.axes[kZoom].Advance(now);
        s.zoom = s.requiredZoom = z * std::pow(2.75f, d);
    }
    s.zoom = std::clamp(s.zoom, kMinZoom, s.maxZoom);
    s.requiredZoom = std::clamp(s.requiredZoom, kMinZoom, s.maxZoom);
}

void FollowOrPan(int64_t now, float sideways, float forwards)
{
    State& s = g_state;
    if (!s.locked.empty()) {
        Vec3 sum{0, 0, 0};
        for (const WorldObject* u : s.locked)
            sum += u->Position();
        const Vec3 mean = sum * (1.0f / float(s.locked.size()));
        SetFocus(mean.x, mean.y, mean.z);
        return;
    }
    const float d = s.axes[kFocusHeight].Advance(now);
    if (d != 0)
        s.focus.y = std::clamp(s.focus.y - s.zoom * d, s.focusLow, s.focusHigh);
    MoveRelative(sideways, forwards);
}

void DropDeadLocks()
{
    auto& list = g_state.locked;
    for (auto it = list.begin(); it != list.end();) {
        if (!(*it)->IsAlive()) {
            (*it)->Release();
            it = list.erase(it);
        } else {
            ++it;
        }
    }
}

void StepPanel()
{
    State& s = g_state;
    if (!s.panelEasing)
        return;
    if (s.panelLevel < s.requiredPanelLevel)
        s.panelLevel = std::min(s.panelLevel + s.panelStep, s.requiredPanelLevel);
    else if (s.panelLevel > s.requiredPanelLevel)
        s.panelLevel = std::max(s.panelLevel - s.panelStep, s.requiredPanelLevel);
    g_panelPulse(s.panelLevel);
}

} // namespace

void UpdateAt(int64_t now)
{
    State& s = g_state;
    DropDeadLocks();
    StepPanel();
    if (s.scriptMode) {
        ScriptFrame(now);
        return;
    }
    const float turn = s.axes[kTurn].Advance(now);
    const float tilt = s.axes[kTilt].Advance(now);
    const float sideways = s.axes[kPanSideways].Advance(now);
    const float forwards = s.axes[kPanForwards].Advance(now);
    TurnAndTilt(turn, tilt);
    StepAngles();
    StepPendingMove(now);
    StepZoom(now);
    FollowOrPan(now, sideways, forwards);
    PlaceCamera();
}

void SetPanelPulse(void (*draw)(float level)) { g_panelPulse = draw ? draw : Hud::DrawPanelPulse; }

void Update() { UpdateAt(GameView::RealNow()); }

} // namespace CameraController

// The tactical camera of the game view: a focus point on the landscape, a
// heading, pitch and zoom distance eased towards required values each frame,
// moved by keys, screen edges, drags and the wheel, following locked units,
// and handed to scripted moves and cut-scenes. It places the main camera.
// Angles are floats in 4096ths of a turn; times are real-time ticks.
#pragma once

#include "ui/key_config.h"
#include "app/maths.h"

#include <cstdint>
#include <string_view>
#include <vector>

class WorldObject;
struct CameraLimits;

// One ramped motion: keys and screen edges start and stop it, and it
// accelerates at ten times its base speed per second to full speed or rest.
struct CameraAxis {
    static constexpr uint8_t kPositive = 1, kActive = 2, kAccelerating = 4;

    uint8_t flags = 0;
    int64_t startTime = 0, endTime = 0, lastTime = 0;
    float startVelocity = 0, acceleration = 0, accumulated = 0, lastVelocity = 0;
    float baseSpeed = 1.0f;

    float GetVelocity(int64_t t) const;
    // The distance covered since the last call (exact for the ramps).
    float Advance(int64_t t);
    void Reset(int64_t now);
    void Set(bool positive, bool on, int64_t now);
};

// A scripted curve move or a cut-scene's camera.
struct CameraMove {
    bool active_ = false;
    bool cutscene_ = false;
    bool skippable_ = false;
    int64_t startTime_ = 0;
    float speed_ = 0;             // curve parameter per second
    float coefficients_[4][3] = {}; // cubic Bezier in power form, u^3 first

    static CameraMove& Get();
    void SetPlacement(const Vec3 points[4]);
    Vec3 Evaluate(float u) const;
    void Start(int64_t time);
    void StartCutscene(int64_t time);
    void End();
    static void SkipCutscene();
};

namespace CameraController {

inline constexpr float kMinZoom = 2.0f, kStartMaxZoom = 80.0f;
inline constexpr float kStartLowFocus = 0.0f, kStartHighFocus = 100.0f;
inline constexpr float kZoomEasing = 0.07f;
inline constexpr float kMinPitch = 1024.0f / 3.0f, kMaxPitch = 1024.0f;
inline constexpr float kPlayViewWidth = 0.4f, kPlayViewHeight = 0.3f;
inline constexpr float kCutsceneViewWidth = 2.0f, kCutsceneViewHeight = 1.5f;
enum Axis { kPanSideways, kPanForwards, kFocusHeight, kTilt, kTurn, kZoom, kAxisCount };

struct State {
    Vec3 focus{0, 0, 0};
    float heading = 0, pitch = 512, roll = 0;
    float requiredHeading = 0, requiredPitch = 0, requiredRoll = 0, angleRate = 0;
    float zoom = 20, requiredZoom = 20;
    float maxZoom = kStartMaxZoom;
    float focusLow = kStartLowFocus, focusHigh = kStartHighFocus; // y limits of the focus
    float panelLevel = 1, requiredPanelLevel = 1, panelStep = 0;
    bool panelEasing = false;
    float viewWidth = kPlayViewWidth, viewHeight = kPlayViewHeight;
    bool scriptMode = false;
    int64_t holdUntil = 0;
    float rotationSpeed = 0, elevationSpeed = 0;
    bool moving = false;
    Vec3 moveTarget{0, 0, 0};
    float moveSpeed = 0;
    bool focusHold = false;
    Vec3 focusHoldTarget{0, 0, 0};
    Vec3 savedPosition{0, 0, 0};
    std::vector<WorldObject*> locked; // one reference each
    CameraAxis axes[kAxisCount];
    uint8_t edges[4] = {}; // left, right, top, bottom: driving its axis
    bool edgeScroll = true, savedEdgeScroll = true;
    bool pivotDone = false;
    bool moved = false; // the camera's position changed since the flag was cleared
    bool invertMouse = false;
};

State& Get();
// Start-up and level start: limits, zoom and axes to their first values.
void Reset();
// Option 277 (0, 1, 2: base speed 0.5, 1, 2) and option 6090 (invert the
// mouse's pitch).
void SetSpeedOption(int option);
void SetInvertOption(bool on);
// The stored game options the camera reads: 277 the speed, 6090 the
// mouse inversion.
void TakeOptions(const KeyConfig::Options& options);
// The map's limits: the maximum zoom and the focus heights it names.
void ApplyLimits(const CameraLimits& limits);

// False, and nothing changed, for a non-finite point.
bool SetFocus(float x, float y, float z);
void MoveRelative(float dx, float dz);
void SetHeading(float heading);
void SetPitch(float pitch);
void SetRoll(float roll);
// The rotation the drags give: heading and pitch by pixels, pitch clamped.
void TurnBy(float dHeading, float dPitch);
// False for non-finite values.
bool SetRequiredOrientation(float heading, float pitch, float roll, float rate);
bool SetRequiredZoom(float zoom);
void OnWheel(int delta);

void SetEdgeScroll(int axis, int direction, bool on);
void UpdateEdgeScroll(int x, int y);
void ResetEdgeScroll();
void SetEdgeScrollEnabled(bool on);
void SaveEdgeScroll();
void RestoreEdgeScroll();
bool EdgeScrollEnabled();

void Track(WorldObject* unit);
void Untrack(WorldObject* unit);
bool IsTracked(const WorldObject* unit);
bool IsTracking();
void StopTracking();
void LockOnSelection();

void SetScriptMode(bool on);
void HoldScriptMode(int64_t until);
bool PlayCutscene(std::string_view name);

// A cut-scene's view: the camera at `eye` looking at `target`, the zoom
// their distance. An eye on its target keeps the last direction.
void LookFrom(const Vec3& eye, const Vec3& target);

// What draws the panel bands each frame of easing and of a cut-scene; the
// HUD's by default (null puts it back).
void SetPanelPulse(void (*draw)(float level));

void Update();
void UpdateAt(int64_t now);
// Places the main camera behind the focus at the zoom distance.
void PlaceCamera();

// An angle brought into 0 .. 4096 (4096 excluded), whatever its size.
float Reduce(float angle);
// The sine-table index of half the angle, rounded; safe for any float.
int32_t HalfAngleIndex(float angle);
// The whole angle rounded and masked, as the pan directions take it.
int32_t AngleIndex(float angle);

} // namespace CameraController

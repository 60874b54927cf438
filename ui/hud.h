// What the game view draws over the 3-D scene each frame: the countdowns of
// timed objects, the blinking pause banner, the recon view's targeting
// overlay and panel, the order list of a lone selected character and the
// vision-cone sweeps. The main loop calls DrawUnitInfoAndOrders; the pieces
// are reachable on their own for the upgrade screen and for tests.
#pragma once

#include "ui/client_objects.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct Vec3;
class WorldObject;

namespace Hud {

// One line of HUD text at screen fractions.
struct Line {
    std::string text;
    float x = 0, y = 0;
    uint32_t colour = 0;
    bool panelFont = false; // the recon panel's third font, else the small one
};

inline constexpr uint32_t kGreen = 0xFF00C700u;     // boxes, brackets
inline constexpr uint32_t kListGreen = 0xFF00FF00u; // the order-list notice
inline constexpr uint32_t kWhite = 0xFFFFFFFFu;
inline constexpr const char* kPauseText = "Active Pause";
inline constexpr const char* kOneCharacterOnly = "Order list available only when one character selected";

// "nn - ss : hh"; a time below 0 (or NaN) shows as 0, never a negative field.
std::string CountdownText(int number, float seconds);
// Green at 10 s and above, red at 0 s and below, opaque.
uint32_t CountdownColour(float seconds);
// The countdown lines of `team`'s live timed objects, from the bottom of
// the screen upward, stopping before the upper half.
std::vector<Line> CountdownLines(std::span<WorldObject* const> objects, int team, float lineHeight);

// Flips once a second while the game is paused. Times are real-time ticks.
class PauseBanner {
public:
    bool Update(int64_t now, int64_t ticksPerSecond);
    bool Visible() const { return visible_; }

private:
    bool visible_ = false;
    int64_t nextSwitch_ = INT64_MIN;
};

// The order list's text for one order; none for kinds the list skips.
// Names from data are only ever copied, never used as formats.
std::optional<std::string> OrderText(const UnitOrder& order);
// The order list while Ctrl is held (empty otherwise).
std::vector<Line> OrderListLines(std::span<WorldObject* const> selected, uint32_t modifiers, float lineHeight);

// The nearest object of another team within 170 steps (of 4096 a turn) of
// the view's heading and pitch, seen from `viewer`; null when none.
WorldObject* ChooseTarget(const WorldObject& viewer, float heading, float pitch, std::span<WorldObject* const> objects);
// The information panel's lines for the target.
std::vector<std::string> TargetPanel(const WorldObject& target);
// The panel's own lines for the viewer: role, heading, pitch, position.
std::vector<std::string> ViewerPanel(const WorldObject& viewer, float heading, float pitch);

// A scanning object's sweep: the beam goes out to +limit and back to
// -limit at 0.8 radian a second. Times are seconds of the game clock, kept
// in double so long games do not lose the frame step.
struct SweepBeam {
    float angle = 0;
    double delay = 0, time = 0;
};
class VisionSweep {
public:
    static constexpr float kStepsPerSecond = 521.5189f;
    // A limit of 0 or less has nothing to sweep: the sweep ends at once.
    void Start(float limit, double time);
    // The beams to draw this frame (0, 1 or 2), in order.
    int Step(double now, SweepBeam (&beams)[2]);
    void End() { active_ = false; }
    bool Active() const { return active_; }
    float Angle() const { return angle_; }
    int State() const { return state_; }

private:
    float limit_ = 0, angle_ = 0;
    int state_ = 0;
    double last_ = 0;
    bool active_ = false;
};

// A vision cone's colour (red, green, blue, alpha) by alert state; an object
// whose record lacks the cone flag is purple.
struct ConeColour {
    float r, g, b, a;
};
ConeColour VisionConeColour(int alertState, bool hasConeFlag);

// "[n]" at each waypoint's screen position for the order list's waypoint
// orders; waypoints the projection cannot place are left out.
using Projector = bool (*)(const Vec3& world, float& x, float& y, void* context);
std::vector<Line> WaypointLabels(std::span<const UnitOrder> orders, Projector project, void* context);

// The sweeps of scanning objects by object id. Start is called by the
// client's message handling; each normal-view frame steps every sweep at
// the game clock and hands the beams to the drawer (the effects' fading
// triangles), skipping objects that are gone.
using SweepDrawer = void (*)(WorldObject& object, const SweepBeam& beam, void* context);
void SetSweepDrawer(SweepDrawer drawer, void* context);
void StartVisionSweep(const WorldObject& object, float limit, double time);
// Steps the sweeps at `now` (game seconds); returns the beams handed out.
int StepVisionSweeps(double now);
bool IsSweeping(uint32_t objectId);

// The frame's HUD text as the player sees it, for `now` (real-time ticks):
// rows `lineHeight` apart, the recon panel's `panelLineHeight` apart.
std::vector<Line> BuildFrame(int64_t now, float lineHeight, float panelLineHeight);

void DrawUnitInfoAndOrders();
void DrawActivePauseBanner(int64_t now);
void DrawCountdowns(int team);
// Forgets the banner's phase (a new level).
void Reset();

} // namespace Hud

#include "ui/picking.h"

#include "Veapi/camera.h"
#include "Veapi/hit_probe.h"
#include "objects/world_object.h"
#include "ui/client_objects.h"
#include "world/line_of_sight.h"
#include "world/level.h"

#include <cmath>

namespace Picking {
namespace {

std::function<UiElement*(int, int)> g_elements;
std::function<PickResult(int, int)> g_override;
std::function<bool(const WorldObject&, ScreenRect&)> g_rects;

// A unit stands about this tall and wide in world units (y grows downward).
constexpr float kUnitHeight = 2.0f;
constexpr float kUnitHalfWidthShare = 0.3f;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The client object whose shape gave the default probe its nearest hit,
// when the probe was drawn on this pixel; the level or a shape of no
// client object gives none.
WorldObject* ObjectUnderProbe(int x, int y)
{
    const HitProbe& probe = HitProbe::Default();
    if (!probe.hitObject_ || std::floor(probe.screenX_) != float(x) || std::floor(probe.screenY_) != float(y))
        return nullptr;
    for (WorldObject* object : ClientObjects::All())
        if (object->Shape() == probe.hitObject_)
            return object;
    return nullptr;
}

} // namespace

void SetElementLookup(std::function<UiElement*(int x, int y)> lookup) { g_elements = std::move(lookup); }
void SetOverride(std::function<PickResult(int x, int y)> pick) { g_override = std::move(pick); }
void SetRectOverride(std::function<bool(const WorldObject& unit, ScreenRect& out)> rects) { g_rects = std::move(rects); }

bool ScreenRectOf(const WorldObject& unit, ScreenRect& out)
{
    if (g_rects)
        return g_rects(unit, out);
    MainCamera& camera = MainCamera::Get();
    Vec3 foot, head;
    const Vec3 top = unit.Position() - Vec3{0, kUnitHeight, 0};
    if (!camera.Project(unit.Position(), foot) || !camera.Project(top, head))
        return false;
    // The box around the unit's upright line as the screen shows it (a
    // tilted view leans it), widened by a share of its length.
    const float length = std::hypot(foot.x - head.x, foot.y - head.y);
    const float half = std::max(length * kUnitHalfWidthShare, 2.0f);
    out.left = std::min(foot.x, head.x) - half;
    out.right = std::max(foot.x, head.x) + half;
    out.top = std::min(foot.y, head.y) - half;
    out.bottom = std::max(foot.y, head.y) + half;
    return std::isfinite(out.left) && std::isfinite(out.top) && std::isfinite(out.right) && std::isfinite(out.bottom);
}

bool PointerRay(int x, int y, Vec3& nearPoint, Vec3& farPoint)
{
    MainCamera& camera = MainCamera::Get();
    camera.Update();
    if (!(camera.HalfWidth() > 0) || !(camera.HalfHeight() > 0))
        return false;
    const float nx = (float(x) + 0.5f - camera.CentreX()) / camera.HalfWidth();
    const float ny = (camera.CentreY() - (float(y) + 0.5f)) / camera.HalfHeight();
    float a[4], b[4];
    TransformPoint4(camera.InverseCombined(), {nx, ny, 0.0f}, a);
    TransformPoint4(camera.InverseCombined(), {nx, ny, 1.0f}, b);
    if (a[3] == 0 || b[3] == 0)
        return false;
    nearPoint = {a[0] / a[3], a[1] / a[3], a[2] / a[3]};
    farPoint = {b[0] / b[3], b[1] / b[3], b[2] / b[3]};
    return Finite(nearPoint) && Finite(farPoint);
}

PickResult At(int x, int y)
{
    if (g_override)
        return g_override(x, y);
    PickResult result;
    if (g_elements)
        result.element = g_elements(x, y);
    result.object = ObjectUnderProbe(x, y);
    Vec3 nearPoint, farPoint;
    const bool ray = PointerRay(x, y, nearPoint, farPoint);
    if (ray && Level::Current()) {
        Vec3 hit;
        if (!LineOfSight(nearPoint, farPoint, &hit) && Finite(hit)) {
            result.hasGround = true;
            result.ground = hit;
        }
    }
    return result;
}

void AimProbe(int x, int y)
{
    HitProbe& probe = HitProbe::Default();
    probe.SetScreenPoint(float(x) + 0.5f, float(y) + 0.5f);
    probe.Reset();
    HitProbe::Enabled() = true;
}

} // namespace Picking

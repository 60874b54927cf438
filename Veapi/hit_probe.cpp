#include "Veapi/hit_probe.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/ve3d.h"

namespace {

// Never destroyed: the program's exit handlers unregister probes after the
// static destructors of objects made later than their registration ran.
std::vector<HitProbe*>& AllProbes()
{
    static auto* list = new std::vector<HitProbe*>;
    return *list;
}
std::vector<HitProbe*>& ActiveProbes()
{
    static auto* list = new std::vector<HitProbe*>;
    return *list;
}

HitProbe g_default;
bool g_enabled = false;
const float* g_drawMatrix = nullptr;
const Vec3* g_centroid = nullptr;
const VeObject* g_drawnObject = nullptr;

// The edge test: the point lies on the inner side of a -> b, or on it.
bool InsideEdge(float x, float y, const ScreenPoint& a, const ScreenPoint& b)
{
    return (y - a.y) * (b.x - a.x) >= (x - a.x) * (b.y - a.y);
}

// Depth of the plane through a, b, c at (x, y); NaN when the triangle is edge-on.
float PlaneDepthAt(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, float x, float y)
{
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    if (nz == 0.0f)
        return NAN;
    return a.z - (nx * (x - a.x) + ny * (y - a.y)) / nz;
}

float CameraNearZ()
{
    Camera* c = Camera::Current();
    return c ? c->DeviceViewport().minZ : 0.0f;
}
float CameraFarZ()
{
    Camera* c = Camera::Current();
    return c ? c->DeviceViewport().maxZ : 1.0f;
}

// Smallest depth among the points beyond the near z; the far z when none is.
float NearestDepth(const ScreenPoint* points, int count)
{
    const float nearZ = CameraNearZ();
    float depth = CameraFarZ();
    for (int i = 0; i < count; ++i)
        if (points[i].z > nearZ && points[i].z < depth)
            depth = points[i].z;
    return depth;
}

} // namespace

void HitProbe::UpdateScreenPosition()
{
    screenX_ = float(Display::Width()) * fractionX_;
    screenY_ = float(Display::Height()) * fractionY_;
}

void HitProbe::SetScreenPoint(float x, float y)
{
    screenX_ = x;
    screenY_ = y;
    const float w = float(Display::Width()), h = float(Display::Height());
    fractionX_ = w > 0 ? x / w : 0.5f;
    fractionY_ = h > 0 ? y / h : 0.5f;
}

void HitProbe::Reset()
{
    hit_ = false;
    bestDepth_ = kFarthest;
    hitObject_ = nullptr;
}

bool HitProbe::IsNearer(const Vec3& world) const
{
    Camera* c = Camera::Current();
    if (!c)
        return false;
    float v[4];
    TransformPoint4(c->View(), world, v);
    return (v[2] - c->DepthOffset()) * c->DepthScale() < bestDepth_;
}

bool HitProbe::TestPolygon(const ScreenPoint* points, float depth, int count)
{
    if (count < 3)
        return false;
    const float x = screenX_, y = screenY_;
    if (!InsideEdge(x, y, points[count - 1], points[0]))
        return false;
    for (int i = 0; i + 1 < count; ++i)
        if (!InsideEdge(x, y, points[i], points[i + 1]))
            return false;
    if (!exactDepth_) {
        if (hook_)
            hook_->OnHit(*this);
        bestDepth_ = depth;
        hitObject_ = g_drawnObject;
        return true;
    }
    for (int i = 1; i + 1 < count; ++i) {
        const float z = PlaneDepthAt(points[0], points[i], points[i + 1], x, y);
        if (std::isfinite(z) && z < bestDepth_) {
            bestDepth_ = z;
            if (g_drawMatrix && g_centroid) {
                const float(*m)[4] = reinterpret_cast<const float(*)[4]>(g_drawMatrix);
                hitPoint_ = Matrix44::TransformPoint(m, *g_centroid);
            }
            hit_ = true;
            hitObject_ = g_drawnObject;
            if (hook_)
                hook_->OnHit(*this);
            break;
        }
    }
    return true;
}

bool HitProbe::InsideBox(const ScreenPoint c[8]) const
{
    static constexpr int kFaces[6][4] = {{0, 1, 2, 3}, {2, 1, 6, 5}, {4, 3, 2, 5},
                                         {5, 6, 7, 4}, {7, 0, 3, 4}, {0, 7, 6, 1}};
    for (const auto& f : kFaces) {
        bool allFail = true;
        for (int e = 0; e < 4 && allFail; ++e) {
            const ScreenPoint& a = c[f[e]];
            const ScreenPoint& b = c[f[(e + 1) & 3]];
            allFail = !InsideEdge(screenX_, screenY_, a, b);
        }
        if (allFail)
            return true;
    }
    return false;
}

void HitProbe::Register(HitProbe* probe)
{
    auto& all = AllProbes();
    if (std::find(all.begin(), all.end(), probe) == all.end())
        all.push_back(probe);
    probe->active_ = true;
}

void HitProbe::Unregister(HitProbe* probe)
{
    auto& all = AllProbes();
    all.erase(std::remove(all.begin(), all.end(), probe), all.end());
    auto& act = ActiveProbes();
    act.erase(std::remove(act.begin(), act.end(), probe), act.end());
    probe->active_ = false;
}

void HitProbe::CreateGlobals()
{
    g_default = HitProbe{};
    AllProbes().clear();
    ActiveProbes().clear();
    Register(&g_default);
    g_default.UpdateScreenPosition();
}

void HitProbe::DestroyGlobals()
{
    Unregister(&g_default);
    AllProbes().clear();
    ActiveProbes().clear();
}

HitProbe& HitProbe::Default()
{
    return g_default;
}

void HitProbe::UpdateAllScreenPositions()
{
    for (HitProbe* p : AllProbes())
        p->UpdateScreenPosition();
}

void HitProbe::ResetAll()
{
    for (HitProbe* p : AllProbes())
        p->Reset();
}

bool& HitProbe::Enabled()
{
    return g_enabled;
}

bool HitProbe::TestQuad(const ScreenPoint points[4])
{
    const float depth = NearestDepth(points, 4);
    bool any = false;
    for (HitProbe* p : AllProbes())
        if (!(p->bestDepth_ < depth))
            any = p->TestPolygon(points, depth, 4) || any;
    return any;
}

bool HitProbe::TestTriangle(const ScreenPoint points[3])
{
    const float depth = NearestDepth(points, 3);
    bool any = false;
    for (HitProbe* p : ActiveProbes())
        if (!(p->bestDepth_ < depth))
            any = p->TestPolygon(points, depth, 3) || any;
    return any;
}

bool HitProbe::TestBoxForShape(BoundingBox& box)
{
    auto& active = ActiveProbes();
    active.clear();
    if (!g_enabled)
        return false;
    float t[8][4];
    if (!box.TransformCorners(t))
        return false;
    Camera* cam = Camera::Current();
    const float nearLimit = cam && cam->NearPlane() > 0 ? 1.0f / cam->NearPlane() : kFarthest;
    ScreenPoint corners[8];
    bool reachesNear = false;
    for (int i = 0; i < 8; ++i) {
        corners[i] = {t[i][0], t[i][1], t[i][2], t[i][3]};
        // A corner behind the eye projects nowhere useful either.
        reachesNear = reachesNear || t[i][3] > nearLimit || !(t[i][3] > 0.0f);
    }
    for (HitProbe* p : AllProbes())
        if (reachesNear || p->InsideBox(corners))
            active.push_back(p);
    return !active.empty();
}

bool HitProbe::AnyActive()
{
    return !ActiveProbes().empty();
}

void HitProbe::SetCurrentTriangle(const float* world4x4, const Vec3* centroid)
{
    g_drawMatrix = world4x4;
    g_centroid = centroid;
}

const VeObject* HitProbe::CurrentObject()
{
    return g_drawnObject;
}

void HitProbe::SetCurrentObject(const VeObject* object)
{
    g_drawnObject = object;
}

void HitProbe::ForgetObject(const VeObject* object)
{
    if (g_drawnObject == object)
        g_drawnObject = nullptr;
    if (g_default.hitObject_ == object)
        g_default.hitObject_ = nullptr;
    for (HitProbe* p : AllProbes())
        if (p->hitObject_ == object)
            p->hitObject_ = nullptr;
}

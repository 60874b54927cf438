// Electric bolts, lightning, laser fences and the screen-space line traces.
#include <algorithm>
#include <cmath>
#include <utility>

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/screen_draw.h"
#include "Veapi/ve_object.h"
#include "effects/draw_hooks.h"
#include "effects/effect_builders.h"
#include "effects/effect_kinds.h"
#include "effects/effect_list.h"
#include "effects/effect_maths.h"
#include "effects/effect_object.h"
#include "effects/effect_shapes.h"
#include "effects/particle_presets.h"

namespace {

constexpr int kBoltPoints = 7;      // drawn points 0..6, base line 7..13
constexpr float kTraceU0 = 0.029296875f, kTraceU1 = 0.0390625f, kTraceV1 = 0.3623047f;

Colour Rgba(float r, float g, float b, float a)
{
    Colour c;
    c.Set(r, g, b, a);
    return c;
}

float RandomProduct() { return EffectRandom() * EffectRandom(); }

Vec3 RandomIn(const Vec3& extent)
{
    return {RandomProduct() * extent.x, RandomProduct() * extent.y, RandomProduct() * extent.z};
}

void SetBaseLine(EffectRecord& r, const Vec3& start, const Vec3& end)
{
    for (int i = 0; i < kBoltPoints; ++i) {
        const Vec3 p = start + (end - start) * (float(i) / 6.0f);
        r.points[size_t(kBoltPoints + i)] = p;
        r.points[size_t(i)] = p;
    }
}

void MoveBoltLights(EffectRecord& r)
{
    int k = 0;
    for (Light* light : r.lights)
        light->SetPosition(r.points[size_t(k++ == 0 ? 1 : 3)]);
}

// A new strike somewhere in the weather area, set onto the surface below.
void Strike(EffectRecord& r)
{
    const EffectEnvironment& world = EffectWorld();
    const Vec3 start = world.weatherPosition + RandomIn(world.weatherExtent);
    const Vec3 end = world.snapToSurface(start + RandomIn(world.weatherExtent) * r.size);
    SetBaseLine(r, start, end);
    MoveBoltLights(r);
}

ScreenVertex Vertex(const Vec3& screen, uint32_t colour, float u, float v)
{
    ScreenVertex out;
    out.x = screen.x;
    out.y = screen.y;
    out.z = screen.z;
    out.diffuse = colour;
    out.u = u;
    out.v = v;
    return out;
}

uint32_t WithAlpha(const Colour& c, float scale)
{
    Colour out = c;
    out.Set(c.red, c.green, c.blue, std::clamp(c.alpha * scale, 0.0f, 1.0f));
    return out.Packed();
}

// Screen triangles are culled by their winding, so each one is handed over
// turning the same way whichever way its trace runs across the screen.
void DrawTriangle(ScreenVertex a, ScreenVertex b, ScreenVertex c)
{
    const float turn = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (turn < 0.0f)
        std::swap(b, c);
    const ScreenVertex t[3] = {a, b, c};
    ScreenDraw::ClipPolygon(t);
}

void DrawBeamTrace(const EffectRecord& r, float f)
{
    Camera* camera = Effects::GameCamera();
    const Vec3 head = r.points[0] + (r.points[1] - r.points[0]) * f;
    Vec3 a, b;
    if (!camera || !camera->Project(head, a) || !camera->Project(r.points[1], b))
        return;
    const float w = r.size;
    const uint32_t colour = r.colourA.Packed();
    const ScreenVertex h0 = Vertex({a.x + w, a.y + w, a.z}, colour, kTraceU0, 0);
    const ScreenVertex h1 = Vertex({a.x - w, a.y - w, a.z}, colour, kTraceU0, kTraceV1);
    const ScreenVertex e0 = Vertex({b.x + w, b.y + w, b.z}, colour, kTraceU1, 0);
    const ScreenVertex e1 = Vertex({b.x - w, b.y - w, b.z}, colour, kTraceU1, kTraceV1);
    ScreenDraw::SetMaterial(EffectShapes::TraceTexture());
    // Split along the diagonal that keeps the strip from folding.
    if (std::fabs(b.y - a.y) <= std::fabs(b.x - a.x)) {
        DrawTriangle(h0, e0, h1);
        DrawTriangle(h1, e0, e1);
    } else {
        DrawTriangle(h0, h1, e0);
        DrawTriangle(e0, h1, e1);
    }
    ScreenDraw::Flush();
}

void DrawCursorTrace(const EffectRecord& r, float fFirst, float fRest)
{
    Camera* camera = Effects::GameCamera();
    Vec3 s[3];
    for (int i = 0; i < 3; ++i)
        if (!camera || !camera->Project(r.points[size_t(i)], s[i]))
            return;
    ScreenDraw::SetMaterial(EffectShapes::TraceTexture());
    DrawTriangle(Vertex(s[0], WithAlpha(r.colourA, 1.0f - fFirst), kTraceU0, 0),
                 Vertex(s[1], WithAlpha(r.colourA, 1.0f - fRest), kTraceU1, kTraceV1),
                 Vertex(s[2], WithAlpha(r.colourA, 1.0f - fRest), kTraceU1, kTraceV1));
    ScreenDraw::Flush();
}

} // namespace

namespace Effects {

void AddElectricity(int64_t now, const Vec3& start, const ElectricityRequest& request)
{
    auto* r = new EffectRecord(EffectKind::Electricity);
    r->points.assign(2 * kBoltPoints, Vec3{0, 0, 0});
    SetBaseLine(*r, start, request.end);
    const uint64_t t = ClockTicks(now);
    r->timeA = t + uint64_t(SecondsToTicks(0.05));
    r->timeB = t + uint64_t(SecondsToTicks(0.25));
    r->flag = request.withLights ? 1 : 0;
    r->size = std::isfinite(request.amplitude) ? request.amplitude : 0.0f;
    r->Attach(request.object);
    if (request.withLights) {
        if (LightSet* global = GlobalLights()) {
            for (int i : {1, 3})
                r->KeepLight(global->AddPointLight(Rgba(100, 60, 90, 1), Rgba(4, 4, 4, 1), r->points[size_t(i)], 5.5f));
        }
    }
    Insert(WorldList(), r);
}

void AddLightning(int64_t now)
{
    const EffectEnvironment& world = EffectWorld();
    const Vec3 start = world.weatherPosition + RandomIn(world.weatherExtent);
    const Vec3 end = world.snapToSurface(start + RandomIn(world.weatherExtent) * 20.0f);
    AddElectricity(now, start, {end, true, 40.0f, nullptr});
}

void RemoveAllElectricity()
{
    EffectList::Iterator it(WorldList());
    while (!it.AtEnd()) {
        if ((*it.Get())->kind == EffectKind::Electricity)
            Remove(it);
        else
            it.Next();
    }
}

bool DeactivateElectricity(const Vec3& point)
{
    for (EffectList* list : {&WorldList(), &LateList()}) {
        for (EffectList::Iterator it(*list); !it.AtEnd(); it.Next()) {
            const EffectRecord& r = **it.Get();
            bool match = false;
            if (r.kind == EffectKind::Electricity && r.points.size() == 2 * kBoltPoints)
                match = EffectMaths::Near(r.points[7], point) || EffectMaths::Near(r.points[13], point);
            else if (r.kind == EffectKind::LaserFence && r.points.size() >= 2)
                match = EffectMaths::Near(r.points[0], point) || EffectMaths::Near(r.points[1], point);
            if (match) {
                Remove(it);
                return true;
            }
        }
    }
    return false;
}

bool AddLaserFence(const Vec3& start, const Vec3& end)
{
    if (!EffectMaths::Finite(start) || !EffectMaths::Finite(end))
        return false;
    auto* r = new EffectRecord(EffectKind::LaserFence);
    r->points = {start, end};
    r->instance = EffectShapes::NewInstance(EffectShapes::LaserStrip, true);
    if (r->instance) {
        r->instance->placement_.SetPosition((start + end) * 0.5f);
        r->instance->placement_.SetScale({(end - start).Length(), 1, 1});
        r->instance->placement_.SetOrientation(EffectMaths::FenceOrientation(start, end));
    }
    r->lightSet = new LightSet;
    r->lightSet->SetEmissive(Rgba(1, 1, 1, 1));
    Insert(LateList(), r);
    return true;
}

void AddBeamTrace(int64_t now, const Vec3& start, const Vec3& end, const Colour& colour, float width)
{
    auto* r = new EffectRecord(EffectKind::BeamTrace);
    r->points = {start, end};
    r->timeB = ClockTicks(now);
    r->timeA = r->timeB + uint64_t(SecondsToTicks(0.25));
    const float scaled = width * float(EffectWorld().screenWidth()) / 1024.0f;
    r->size = std::isfinite(scaled) ? std::max(scaled, 1.0f) : 1.0f;
    r->colourA = colour;
    Insert(LateList(), r);
}

void AddCursorTrace(int64_t delay, int64_t now, const Vec3& first, const Vec3& second, const Vec3& third,
                    const Colour& colour)
{
    auto* r = new EffectRecord(EffectKind::CursorTrace);
    r->points = {first, second, third};
    r->hold = std::clamp<int64_t>(delay, 0, SecondsToTicks(86400.0));
    r->timeB = ClockTicks(now);
    r->timeA = r->timeB + uint64_t(SecondsToTicks(0.375));
    r->size = 5.0f;
    r->colourA = colour;
    Insert(LateList(), r);
}

} // namespace Effects

namespace EffectRules {

bool Electricity(EffectRecord& r, uint64_t now)
{
    if (r.points.size() != 2 * kBoltPoints)
        return true;
    if (r.object) {
        if (VeObject* instance = r.object->Instance()) {
            Vec3 part{0, 0, 0};
            if (instance->FindPartPosition(part, r.object->BoltPartName(), now))
                part = instance->placement_.Matrix().TransformPoint(part);
            else
                part = instance->placement_.Position();
            r.points[0] = r.points[7] = part;
        }
    }
    if (r.timeA < now) {
        Camera* camera = Effects::GameCamera();
        const Vec3 across = EffectMaths::Perpendicular(r.points[13] - r.points[7],
                                                       camera ? camera->Position() : Vec3{0, 0, 1});
        r.timeA += uint64_t(std::max<int64_t>(Effects::SecondsToTicks(0.05), 1));
        if (r.timeA < now)
            r.timeA = now;
        for (int i = 1; i <= 5; ++i)
            r.points[size_t(i)] = r.points[size_t(kBoltPoints + i)] + across * (RandomProduct() * r.size);
    }
    for (int i = 1; i < kBoltPoints; ++i) {
        ParticleEmitterDesc d;
        d.group = 3;
        d.mode = 2;
        d.durationOrCount = 4;
        d.rate = 12.0f;
        d.emitterVelocity = (r.points[size_t(i)] - r.points[size_t(i - 1)]) * 0.66f;
        d.colour1 = Rgba(0.5f, 0.5f, 0.7f, 0.5f);
        d.colour2 = Rgba(0, 0, 0, 0);
        d.spawner = true;
        d.scale1 = 0.1f;
        d.scale2 = 0.0f;
        d.spin = 10000.0f;
        ParticleEffects::Request(d, r.points[size_t(i)]);
    }
    if (r.flag && now >= r.timeB)
        Strike(r);
    return false;
}

bool LaserFence(EffectRecord& r, uint64_t now)
{
    gfx::Matrix m;
    if (r.flag) {
        m(1, 1) = -1.0f;
        m(2, 1) = 0.5058594f;
    }
    r.flag ^= 1;
    auto* hook = new TextureScrollHook(m);
    if (r.instance)
        r.instance->QueueDraw(now, Effects::GameCamera(), r.lightSet,
                              DefaultMaterial::Get(DefaultMaterial::BlendedNoZWrite), 0, 0x4000000, nullptr, hook,
                              nullptr);
    hook->Release();
    return false;
}

bool LineTrace(EffectRecord& r, uint64_t now)
{
    const uint64_t delay = uint64_t(std::max<int64_t>(r.hold, 0));
    if (r.kind == EffectKind::BeamTrace) {
        const float f = Effects::Fraction(now, r.timeB, r.timeA);
        if (f >= 1.0f)
            return true;
        DrawBeamTrace(r, f);
        return false;
    }
    const float fFirst = Effects::Fraction(now, r.timeB + delay, r.timeA + delay);
    if (fFirst >= 1.0f)
        return true;
    const float fRest = Effects::Fraction(now, r.timeB, r.timeA + delay);
    if (r.points.size() == 3)
        DrawCursorTrace(r, fFirst, fRest);
    return false;
}

} // namespace EffectRules

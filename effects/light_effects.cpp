// Flashes, light rays, spotlights, shield shells and pulsing lights.
#include <algorithm>
#include <cmath>

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/particles.h"
#include "Veapi/ve_object.h"
#include "effects/draw_hooks.h"
#include "effects/effect_builders.h"
#include "effects/effect_kinds.h"
#include "effects/effect_list.h"
#include "effects/effect_maths.h"
#include "effects/effect_object.h"
#include "effects/effect_shapes.h"
#include "world/level.h"

namespace {

EffectEnvironment g_environment;

constexpr uint32_t kQueueFlags = 0x4000000;
constexpr float kPointLightRange = 5.5f;
constexpr int32_t kMaxSpotlights = 64;

Colour Rgba(float r, float g, float b, float a)
{
    Colour c;
    c.Set(r, g, b, a);
    return c;
}

Colour Scaled(const Colour& c, float s) { return Rgba(c.red * s, c.green * s, c.blue * s, c.alpha); }

LightSet* NewLightSet(const Colour& emissive, float alpha)
{
    auto* set = new LightSet;
    set->SetEmissive(emissive);
    set->SetAlpha(alpha);
    return set;
}

void Queue(EffectRecord& r, RenderMaterial* material, uint32_t flags, DrawHooks* hooks = nullptr)
{
    if (r.instance)
        r.instance->QueueDraw(r.timeA, Effects::GameCamera(), r.lightSet, material, 0, flags, nullptr, hooks,
                              nullptr);
}

// The game camera's orientation: the rotation its view matrix undoes.
Quaternion CameraOrientation()
{
    Camera* camera = Effects::GameCamera();
    if (!camera)
        return Quaternion::Identity();
    float m44[4][4];
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            m44[row][col] = camera->View()(row, col);
    Matrix34 rotation = Matrix34::FromMatrix44(m44).RigidInverse();
    rotation.SetTranslation({0, 0, 0});
    return Quaternion::FromMatrix(rotation);
}

float SkyHeight() { return g_environment.weatherPosition.y; }

void LightsChanged() { LightSet::LightsChanged(); }

// A spot light from source to target with the spotlight's colours.
Light* AddSpot(const Vec3& source, const Vec3& target)
{
    LightSet* global = Effects::GlobalLights();
    if (!global)
        return nullptr;
    const Vec3 direction = target - source;
    return global->AddSpotLight(Rgba(2, 2, 2, 1), Rgba(1, 1, 1, 1), source, direction, direction.Length() + 1.0f);
}

Light* AddPoint(const Colour& colour, const Colour& specular, const Vec3& at)
{
    LightSet* global = Effects::GlobalLights();
    return global ? global->AddPointLight(colour, specular, at, kPointLightRange) : nullptr;
}

} // namespace

EffectEnvironment& EffectWorld() { return g_environment; }

float EffectRandom()
{
    LockGuard guard(Particles::Lock(), true);
    return Particles::Random().NextSigned();
}

namespace Effects {

namespace {
void AddFlashFor(const Vec3& position, int64_t now, float seconds, int32_t kind,
                 EffectShapes::Which shape = EffectShapes::FlashSprite, float size = 30.0f)
{
    auto* r = new EffectRecord(kind);
    r->instance = EffectShapes::NewInstance(shape, false);
    if (r->instance) {
        r->instance->placement_.SetPosition({position.x, position.y - 1.2f, position.z});
        r->instance->placement_.SetOrientation(Quaternion::Identity());
        r->instance->placement_.SetScale({0, 0, 0});
    }
    r->size = std::isfinite(size) ? std::max(size, 0.0f) : 0.0f;
    r->timeA = ClockTicks(now);
    r->timeB = r->timeA + uint64_t(SecondsToTicks(seconds));
    r->lightSet = NewLightSet(Rgba(1, 1, 1, 1), 1.0f);
    Insert(WorldList(), r);
}
} // namespace

void AddFlash(const Vec3& position, int64_t now) { AddFlashFor(position, now, 2.0f, EffectKind::Flash); }

void AddConeFlash(const Vec3& position, int64_t now, float size)
{
    AddFlashFor(position, now, 1.0f, EffectKind::Flash, EffectShapes::Cone, size);
}

void AddFacingFlash(const Vec3& position, int64_t now, float seconds)
{
    AddFlashFor(position, now, seconds, EffectKind::FacingFlash);
}

void AddLightRay(int64_t now, const Vec3& position, const Colour& colour)
{
    auto* r = new EffectRecord(EffectKind::LightRay);
    const float sky = SkyHeight();
    const float top = sky - 50.0f;
    const float length = std::max(position.y - top, 0.0f);
    r->instance = EffectShapes::NewInstance(EffectShapes::RayBox, true);
    if (r->instance) {
        // The box spans 0 to 1 on each axis: half a metre back centres it.
        r->instance->placement_.SetScale({1, length, 1});
        r->instance->placement_.SetPosition({position.x - 0.5f, top, position.z - 0.5f});
    }
    r->param = 1.0f;
    r->timeA = ClockTicks(now) + uint64_t(SecondsToTicks(0.03));
    r->lightSet = NewLightSet(colour, 0.5f);
    r->points = {position};
    for (int i = 0; i < 5; ++i)
        r->KeepLight(AddPoint(colour, Scaled(colour, 0.5f), position - Vec3{0, length * float(i) / 5.0f, 0}));
    ParticleEmitterDesc d;
    d.group = 5;
    d.mode = 0;
    d.durationOrCount = 200;
    d.rate = 10.0f;
    d.particleVelocity = {0, -18, 0};
    d.emitterVelocity = {0, -3, 0};
    d.colour1 = Rgba(0.8f, 0.8f, 0.8f, 0.5f);
    d.colour2 = Rgba(0, 0, 0, 0);
    d.spawner = true;
    r->emitter = Particles::CreateEmitter(d, position);
    Insert(WorldList(), r);
}

void SetRayColour(const Colour& colour)
{
    for (EffectRecord* r : WorldList()) {
        if (r->kind != EffectKind::LightRay)
            continue;
        if (r->lightSet)
            r->lightSet->SetEmissive(colour);
        for (Light* light : r->lights) {
            gfx::Light& d = light->Description();
            d.diffuse = {colour.red, colour.green, colour.blue, colour.alpha};
            d.specular = {colour.red * 0.5f, colour.green * 0.5f, colour.blue * 0.5f, colour.alpha};
        }
    }
    LightsChanged();
}

void AddSpotlight(const Vec3& position, int64_t now)
{
    // Each spotlight makes its light anew every frame; past this many a
    // script or a stream of messages would only slow every frame down, as
    // the light set has long been full.
    if (CountKind(WorldList(), EffectKind::Spotlight) >= kMaxSpotlights)
        return;
    Vec3 offset{0, 0, 0};
    {
        // One hold of the generator's lock for the six draws.
        LockGuard guard(Particles::Lock(), true);
        ParticleRandom& random = Particles::Random();
        for (float* axis : {&offset.x, &offset.y, &offset.z})
            *axis = random.NextSigned() * random.NextSigned() * 10.0f;
    }
    Vec3 source = position + offset;
    const Level* level = Level::Current();
    source.y = level ? level->minimum_.y : -30.0f;
    source += g_environment.weatherPosition;
    auto* r = new EffectRecord(EffectKind::Spotlight);
    r->points = {source, position, Vec3{0, 0, 0}};
    r->timeA = ClockTicks(now);
    r->timeB = r->timeA + uint64_t(SecondsToTicks(1.0));
    r->KeepLight(AddSpot(source, position));
    Insert(WorldList(), r);
}

void AddShieldShell(EffectObject* object, int64_t now)
{
    if (!object || !object->Instance())
        return;
    const uint64_t t = ClockTicks(now);
    for (EffectRecord* r : WorldList()) {
        if (r->kind == EffectKind::ShieldShell && r->object == object) {
            r->timeA = t;
            r->timeB = t + uint64_t(SecondsToTicks(2.0));
            return;
        }
    }
    auto* r = new EffectRecord(EffectKind::ShieldShell);
    r->Attach(object);
    r->instance = object->Instance();
    r->instance->AddRef();
    const Vec3& lo = r->instance->minimum_;
    const Vec3& hi = r->instance->maximum_;
    r->size = 0.1f * (hi.y - lo.y);
    r->timeA = t;
    r->timeB = t + uint64_t(SecondsToTicks(2.0));
    r->lightSet = new LightSet;
    Insert(WorldList(), r);
}

void AddPulsingLight(bool active, const Vec3& position, const PulseColours& colours)
{
    auto* r = new EffectRecord(EffectKind::PulsingLight);
    // A period at or below nothing switches every frame.
    r->timeA = uint64_t(std::max<int64_t>(SecondsToTicks(colours.periodSeconds), 1));
    r->timeB = 0;
    r->flag = active ? 1 : 0;
    r->colourA = colours.second;
    r->KeepLight(AddPoint(colours.first, colours.first, position));
    Insert(WorldList(), r);
}

} // namespace Effects

namespace EffectRules {

bool Flash(EffectRecord& r, uint64_t now)
{
    const float f = Effects::Fraction(now, r.timeA, r.timeB);
    if (now >= r.timeB)
        return true;
    if (r.lightSet)
        r.lightSet->SetAlpha(1.0f - f);
    if (r.instance) {
        const float s = f * r.size;
        r.instance->placement_.SetScale({s, s, s});
        if (r.kind == EffectKind::FacingFlash)
            r.instance->placement_.SetOrientation(CameraOrientation());
    }
    Queue(r, DefaultMaterial::Get(DefaultMaterial::Additive), kQueueFlags);
    return false;
}

bool LightRay(EffectRecord& r, uint64_t now)
{
    if (r.timeA < now) {
        r.timeA += uint64_t(std::max<int64_t>(Effects::SecondsToTicks(0.03), 1));
        const float lowest = r.points.empty() ? 0.0f : r.points[0].y;
        for (Light* light : r.lights) {
            const gfx::Vector3 p = light->Description().position;
            const float y = p.y - 1.0f < SkyHeight() ? lowest : p.y - 1.0f;
            light->SetPosition(p.x, y, p.z);
        }
        LightsChanged();
    }
    Queue(r, DefaultMaterial::Get(DefaultMaterial::Additive), kQueueFlags);
    return false;
}

bool Spotlight(EffectRecord& r, uint64_t now)
{
    const double elapsed = Effects::TicksToSeconds(int64_t(Effects::Elapsed(now, r.timeA)));
    r.timeA = now;
    Vec3& source = r.points[0];
    Vec3& target = r.points[1];
    const std::vector<Vec3> squad = g_environment.squadPositions();
    const Vec3* nearest = nullptr;
    float best = 0;
    for (const Vec3& p : squad) {
        const float d = (p - target).LengthSquared();
        if (!nearest || d < best) {
            nearest = &p;
            best = d;
        }
    }
    if (nearest) {
        const Vec3 step = (*nearest - target).Normalised() * float(2.0 * elapsed);
        target += (step.LengthSquared() > best) ? (*nearest - target) : step;
    }
    LightSet* global = Effects::GlobalLights();
    for (Light* light : r.lights)
        if (global)
            global->RemoveLight(light);
    r.lights.Clear();
    r.KeepLight(AddSpot(source, target));
    return false;
}

bool ShieldShell(EffectRecord& r, uint64_t now)
{
    if (!r.object || !r.object->Exists() || now > r.timeB)
        return true;
    if (!r.object->ShapeLoaded() || !r.instance)
        return false;
    const float f = Effects::Fraction(now, r.timeA, r.timeB);
    const float alpha = EffectMaths::ShellAlpha(r.object->FogVisibility(), f);
    const Colour c = EffectMaths::ShieldColour(r.object->ShieldValue());
    if (r.lightSet)
        r.lightSet->SetEmissive(c);
    const Vec3 position = r.instance->placement_.Position() + Vec3{0, r.size, 0};
    const Vec3 scale = r.instance->placement_.Scale() * 1.2f;
    auto* hook = new PlacementOverrideHook(position, scale, alpha);
    r.instance->QueueDraw(now, Effects::GameCamera(), r.lightSet, DefaultMaterial::Get(DefaultMaterial::BlendedNoZWrite),
                          0, 0x4000023u, nullptr, hook, nullptr);
    hook->Release();
    return false;
}

bool PulsingLight(EffectRecord& r, uint64_t now)
{
    if (!r.flag || now < r.timeB)
        return false;
    if (Light* light = r.lights.IsEmpty() ? nullptr : *r.lights.At(0)) {
        gfx::Light& d = light->Description();
        Colour previous;
        previous.Set(d.diffuse.r, d.diffuse.g, d.diffuse.b, d.diffuse.a);
        d.diffuse = {r.colourA.red, r.colourA.green, r.colourA.blue, r.colourA.alpha};
        r.colourA = previous;
        LightsChanged();
    }
    r.timeB = now + r.timeA;
    return false;
}

} // namespace EffectRules

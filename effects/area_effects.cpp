// Rings, basins, screen fades, dissolves, explosion areas, texture
// animations, ground crackles, and the reflections drawn sphere-mapped.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "Veapi/VertBuff.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/math_tables.h"
#include "effects/draw_hooks.h"
#include "effects/effect_builders.h"
#include "effects/effect_kinds.h"
#include "effects/effect_list.h"
#include "effects/effect_maths.h"
#include "effects/effect_object.h"
#include "effects/effect_shapes.h"
#include "effects/frame_pass.h"
#include "effects/particle_presets.h"
#include "world/fog_of_war.h"
#include "world/level.h"

namespace {

constexpr uint32_t kQueueFlags = 0x4000000;
constexpr int32_t kMinSides = 3;
constexpr int32_t kMaxSides = 1024;

Colour Rgba(float r, float g, float b, float a)
{
    Colour c;
    c.Set(r, g, b, a);
    return c;
}

LightSet* Emissive(const Colour& c, float alpha)
{
    auto* set = new LightSet;
    set->SetEmissive(c);
    set->SetAlpha(alpha);
    return set;
}

// A quarter turn about x: shapes built in the x-y plane lie flat.
Quaternion LieFlat()
{
    const float h = -float(M_PI) / 4.0f;
    return {std::sin(h), 0, 0, std::cos(h)};
}

VeObject* PrimitiveInstance(int32_t kind, int32_t p1, int32_t p2, int32_t p3)
{
    PrimitiveDesc desc;
    desc.kind = kind;
    desc.p1 = p1;
    desc.p2 = p2;
    desc.p3 = p3;
    desc.texture = Display::NullTexture();
    VeShape* shape = VeShape::FromPrimitive(desc);
    VeObject* object = VeObject::FromShape(shape, true);
    shape->Release();
    return object;
}

bool EqualsNoCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

int32_t Sides(int32_t sides) { return std::clamp(sides, kMinSides, kMaxSides); }

// Radii in whole centimetres for the primitive's integer sizes.
constexpr float kMetresPerCentimetre = 0.01f;
int32_t Centimetres(float metres)
{
    if (!std::isfinite(metres))
        return 0;
    return int32_t(std::clamp(metres * 100.0f, 0.0f, 1e6f));
}

void QueueInstance(EffectRecord& r, uint64_t now, RenderMaterial* material, Camera* camera, DrawHooks* hooks = nullptr)
{
    if (r.instance)
        r.instance->QueueDraw(now, camera, r.lightSet, material, 0, kQueueFlags, nullptr, hooks, nullptr);
}

} // namespace

namespace Effects {

void AddRing(int64_t now, const Vec3& position, const RingParams& params)
{
    auto* r = new EffectRecord(EffectKind::Ring);
    float minimum = std::isfinite(params.minimumRadius) ? params.minimumRadius : 0.0f;
    const float maximum = std::isfinite(params.maximumRadius) ? params.maximumRadius : minimum;
    minimum = std::min(minimum, maximum);
    r->instance = PrimitiveInstance(9, Sides(params.sides), 0, 0);
    r->instance->placement_.SetPosition(position);
    r->instance->placement_.SetOrientation(LieFlat());
    r->instance->placement_.SetScale({minimum, minimum, 1});
    r->param = minimum;
    r->size = maximum;
    r->timeA = ClockTicks(now);
    r->timeB = r->timeA + uint64_t(SecondsToTicks(0.5));
    r->lightSet = Emissive(Rgba(0.8f, 0.2f, 0.2f, 1), 0.5f);
    Insert(WorldList(), r);
}

void AddBasin(int64_t now, const Vec3& position, const BasinParams& params)
{
    auto* r = new EffectRecord(EffectKind::Basin);
    r->instance = PrimitiveInstance(10, Sides(params.sides), Centimetres(params.lowerRadius),
                                    Centimetres(params.upperRadius));
    r->instance->placement_.SetPosition(position);
    r->instance->placement_.SetOrientation(LieFlat());
    // The shape is built in centimetres across (its sizes are whole
    // numbers); its height stays one metre.
    r->instance->placement_.SetScale({kMetresPerCentimetre, kMetresPerCentimetre, 1});
    r->timeA = ClockTicks(now);
    r->timeB = r->timeA + uint64_t(SecondsToTicks(1.0));
    r->lightSet = Emissive(Rgba(0.8f, 0.2f, 0.2f, 1), 0.5f);
    Insert(WorldList(), r);
}

void AddScreenFade(float seconds, const FadeParams& params)
{
    auto* r = new EffectRecord(EffectKind::ScreenFade);
    r->instance = PrimitiveInstance(1, 1024, 1024, 0);
    r->instance->placement_.SetPosition({0, 0, 0});
    r->instance->placement_.SetScale({1, 1, 1});
    const uint64_t now = ClockTicks(Now());
    r->timeA = now;
    r->timeB = now + uint64_t(SecondsToTicks(std::floor(std::isfinite(seconds) ? seconds : 0.0f)));
    r->hold = SecondsToTicks(params.holdSeconds);
    r->colourA = params.start;
    r->colourB = params.end;
    r->lightSet = Emissive(params.start, params.start.alpha);
    Insert(LateList(), r);
}

void AddDestructionEffect(EffectObject* object, int64_t now)
{
    if (!object)
        return;
    if (object->flags_ & EffectObject::kCaster)
        ShadowHooks().removeCaster(object);
    auto* r = new EffectRecord(EffectKind::Dissolve);
    r->Attach(object);
    r->timeA = ClockTicks(now);
    r->timeB = r->timeA + uint64_t(SecondsToTicks(6.0));
    Insert(WorldList(), r);
    Vec3 at{0, 0, 0};
    if (VeObject* instance = object->Instance())
        at = instance->placement_.Position();
    ParticleEmitterDesc smoke;
    smoke.group = 0;
    smoke.mode = 1;
    smoke.durationOrCount = uint32_t(SecondsToTicks(6.0));
    smoke.rate = 20.0f;
    smoke.particleVelocity = {0, -4, 0};
    smoke.colour1 = Rgba(0.6f, 0.3f, 0.25f, 0.4f);
    smoke.colour2 = Rgba(0, 0, 0, 0);
    smoke.addLight = smoke.flicker = true;
    smoke.lightColour = Rgba(1, 0.3f, 0.5f, 1);
    smoke.lightSpecular = Rgba(0, 0, 0, 0);
    smoke.scale1 = 2.0f;
    smoke.scale2 = 1.0f;
    ParticleEffects::Request(smoke, at + Vec3{0, -1.5f, 0});
}

void AddExplosionArea(const Vec3& first, const Vec3& second)
{
    auto* r = new EffectRecord(EffectKind::ExplosionArea);
    r->points = {first, second};
    r->timeA = ClockTicks(Now()) + uint64_t(SecondsToTicks(1.0));
    Insert(WorldList(), r);
}

void AddTextureAnimation(EffectObject* object, int32_t count, const float* offsets)
{
    if (!object || count <= 0 || !offsets)
        return;
    auto* r = new EffectRecord(EffectKind::TextureAnimation);
    r->Attach(object);
    object->flags_ |= EffectObject::kAnimatedTexture;
    r->timeA = 0;
    r->timeB = uint64_t(count);
    r->points.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i)
        r->points.push_back({offsets[2 * i], offsets[2 * i + 1], 0});
    Insert(WorldList(), r);
}

void AddGroundCrackle(int64_t now, const Vec3& position)
{
    if (!EffectWorld().polygonBelow(position))
        return;
    auto* r = new EffectRecord(EffectKind::GroundCrackle);
    for (int i = 0; i < 5; ++i)
        r->points.push_back(position + Vec3{EffectRandom(), 0, EffectRandom()});
    r->timeB = ClockTicks(now);
    r->timeA = r->timeB + uint64_t(SecondsToTicks(1.0));
    Insert(WorldList(), r);
}

namespace {
// The shiny texture's node in the instance's list; End() without one.
List<TextureEntry*>::Node* FindShiny(List<TextureEntry*>& textures)
{
    for (List<TextureEntry*>::Node* n = textures.First(); n != textures.End(); n = n->next) {
        TextureEntry* t = *List<TextureEntry*>::NodeValue(n);
        if (t && EqualsNoCase(t->Name(), EffectShapes::kShinyTexture))
            return n;
    }
    return textures.End();
}

// The level's reflection: its shiny surfaces stay in its list and become its
// reflection texture. A level that has one already gets no second record,
// which would draw the same surfaces twice over.
void AddSphereMapToLevel()
{
    Level* level = Level::Current();
    VeObject* instance = level ? level->DrawObject() : nullptr;
    if (!instance || level->ReflectionTexture())
        return;
    List<TextureEntry*>& textures = instance->Textures();
    List<TextureEntry*>::Node* n = FindShiny(textures);
    if (n == textures.End())
        return;
    level->SetReflectionTexture(*List<TextureEntry*>::NodeValue(n));
    auto* r = new EffectRecord(EffectKind::SphereMap);
    r->colourA = Rgba(1, 1, 1, 1);
    Insert(WorldList(), r);
    SphereMap::LoadTexture();
}
} // namespace

void AddSphereMapToActor(EffectObject* object)
{
    if (DeviceLimits::HardwareLevel() < 2)
        return;
    if (!object) {
        AddSphereMapToLevel();
        return;
    }
    VeObject* instance = object->Instance();
    if (!instance || (object->flagByte_ & EffectObject::kNoReflections))
        return;
    List<TextureEntry*>& textures = instance->Textures();
    List<TextureEntry*>::Node* n = FindShiny(textures);
    if (n == textures.End())
        return;
    textures.RemoveNode(n);
    auto* r = new EffectRecord(EffectKind::SphereMap);
    r->Attach(object);
    r->colourA = Rgba(1, 1, 1, 1);
    Insert(WorldList(), r);
    SphereMap::LoadTexture();
}

} // namespace Effects

namespace EffectRules {

bool Ring(EffectRecord& r, uint64_t now)
{
    QueueInstance(r, now, DefaultMaterial::Get(DefaultMaterial::Additive), Effects::GameCamera());
    bool restart = false;
    // Unclamped: the cycle restarts once the radius has passed the maximum.
    const double span = double(std::max<uint64_t>(r.timeB - r.timeA, 1));
    const float f = float(double(Effects::Elapsed(now, r.timeA)) / span);
    const float radius = EffectMaths::RingRadius(r.param, r.size, f, restart);
    if (restart) {
        r.timeA = now;
        r.timeB = now + uint64_t(Effects::SecondsToTicks(0.5));
    }
    if (r.instance)
        r.instance->placement_.SetScale({radius, radius, radius * 0.5f});
    return false;
}

bool Basin(EffectRecord& r, uint64_t now)
{
    // Unlike the other fractions this one keeps growing past 1.
    const double span = double(std::max<uint64_t>(r.timeB - r.timeA, 1));
    const int32_t k = EffectMaths::BasinTurnSteps(float(double(Effects::Elapsed(now, r.timeA)) / span));
    if (r.instance && k != 0) {
        const Quaternion turn{0, 0, SineOf(k), CosineOf(k)};
        r.instance->placement_.SetOrientation((r.instance->placement_.Orientation() * turn).Normalised());
    }
    QueueInstance(r, now, DefaultMaterial::Get(DefaultMaterial::Additive), Effects::GameCamera());
    return false;
}

bool ScreenFade(EffectRecord& r, uint64_t now)
{
    const uint64_t hold = uint64_t(std::max<int64_t>(r.hold, 0));
    if (now >= r.timeB + hold)
        return true;
    const Colour c = now < r.timeB ? EffectMaths::Blend(r.colourA, r.colourB, Effects::Fraction(now, r.timeA, r.timeB))
                                   : r.colourB;
    if (r.lightSet) {
        r.lightSet->SetEmissive(c);
        r.lightSet->SetAlpha(c.alpha);
    }
    QueueInstance(r, now, DefaultMaterial::Get(DefaultMaterial::BlendedNoZWrite), EffectShapes::OverlayCamera());
    return false;
}

bool Dissolve(EffectRecord& r, uint64_t now)
{
    if (now > r.timeB || !r.object)
        return true;
    VeObject* instance = r.object->Instance();
    if (!instance)
        return false;
    const float f = Effects::Fraction(now, r.timeA, r.timeB);
    const uint32_t planes = DeviceLimits::ClipPlanes();
    if (planes == 0) {
        instance->placement_.SetScale({1, 1 - f, 1});
        return false;
    }
    const float top = instance->minimum_.y, bottom = instance->maximum_.y;
    const float h = f * (bottom - top) + top;
    auto* below = new ClipPlaneHook(h, 0, false);
    instance->QueueDraw(now, Effects::GameCamera(), LightSet::Global(0), DefaultMaterial::Get(DefaultMaterial::Opaque),
                        0, kQueueFlags, nullptr, below, nullptr);
    below->Release();
    if (planes >= 2) {
        auto* band = new ClipPlaneHook(h, h - 0.1f, true);
        instance->QueueDraw(now, Effects::GameCamera(), LightSet::Global(0),
                            DefaultMaterial::Get(DefaultMaterial::Additive), 0, kQueueFlags, nullptr, band, nullptr);
        band->Release();
    }
    return false;
}

bool ExplosionArea(EffectRecord& r, uint64_t now)
{
    if (now < r.timeA || r.points.size() < 2)
        return false;
    r.timeA = now + uint64_t(Effects::SecondsToTicks(1.0));
    const Vec3& a = r.points[0];
    const Vec3& b = r.points[1];
    const float r1 = std::fabs(EffectRandom() * EffectRandom());
    const float r2 = std::fabs(EffectRandom() * EffectRandom());
    const Vec3 at{a.x + r1 * (b.x - a.x), a.y, a.z + r2 * (b.z - a.z)};
    ParticleEffects::SpawnExplosionWithSmoke(at);
    Effects::AddFlash(at, int64_t(now));
    return false;
}

bool TextureAnimation(EffectRecord& r, uint64_t now)
{
    if (r.timeB == 0 || r.points.empty() || !r.object)
        return false;
    if (r.timeA >= r.points.size())
        r.timeA = 0;
    const Vec3 offset = r.points[size_t(r.timeA)];
    if (++r.timeA >= r.timeB)
        r.timeA = 0;
    VeObject* instance = r.object->Instance();
    if (!instance)
        return false;
    const FogOfWar* fog = FogOfWar::Global();
    RenderMaterial* material =
        fog && fog->EffectMaterial() ? fog->EffectMaterial() : DefaultMaterial::Get(DefaultMaterial::Blended);
    auto* hook = new TextureScrollHook(TextureScrollHook::Scroll(offset.x, offset.y));
    instance->QueueDraw(now, Effects::GameCamera(), Effects::GlobalLights(), material, 0, kQueueFlags, nullptr, hook,
                        nullptr);
    hook->Release();
    return false;
}

bool GroundCrackle(EffectRecord& r, uint64_t now) { return now >= r.timeA; }

bool SphereMap(EffectRecord& r, uint64_t now)
{
    if (!r.object) {
        // Drawn by the level's own draw, right after the level itself.
        if (Level* level = Level::Current())
            level->RequestReflection(EffectShapes::LevelSphereMapMaterial(), Effects::GameCamera(),
                                     Effects::GlobalLights());
        return false;
    }
    if (!r.object->Exists())
        return true;
    VeObject* instance = r.object->Instance();
    if (!instance || !r.object->ShapeLoaded())
        return false;
    auto* hook = new SphereMapHook(EffectShapes::kShinyTexture);
    instance->QueueDraw(now, Effects::GameCamera(), Effects::GlobalLights(), EffectShapes::SphereMapMaterial(), 0,
                        0x4000003, nullptr, hook, nullptr);
    hook->Release();
    return false;
}

} // namespace EffectRules

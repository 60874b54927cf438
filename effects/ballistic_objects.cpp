#include "effects/ballistic_objects.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "Veapi/particles.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/math_tables.h"
#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/effect_maths.h"
#include "effects/effect_object.h"
#include "effects/particle_presets.h"
#include "script/records.h"

namespace {

// Namespace scope, so the exit handlers can still empty them.
List<BallisticObject*> g_records;
uint64_t g_lastUpdate = 0;
bool g_firstCall = true;
float g_gravity = 2.0f * BallisticObjects::kBaseGravity;
float g_spinRate = BallisticObjects::kSpinRate;
std::unique_ptr<script::Role> g_debrisRole;

constexpr float kBounceSpeed = 0.2f;

uint64_t Lifetime() { return uint64_t(Effects::SecondsToTicks(5.0)); }

float UnitRandomProduct() { return EffectRandom() * EffectRandom(); }

void Free(BallisticObject* record)
{
    if (ParticleEmitter* e = record->emitter) {
        record->emitter = nullptr;
        e->Stop();
    }
    if (EffectObject* o = record->owner) {
        record->owner = nullptr;
        o->Release();
    }
    delete record;
}

BallisticObject* NewRecord(EffectObject* object, ShapeInstance* node, bool movesOwner)
{
    auto* r = new BallisticObject;
    r->node = node;
    object->AddRef();
    r->owner = object;
    r->movesOwner = movesOwner;
    r->lifetime = Lifetime();
    r->floorHeight = object->FloorHeight();
    return r;
}

// The trail of a piece that has an exhaust dummy; null where fogged or off
// screen.
ParticleEmitter* ExhaustSmoke(VeObject& instance, ShapeInstance& node, bool part)
{
    Vec3 local{0, 0, 0};
    if (!node.FindPartPosition(local, BallisticObjects::kExhaustDummy, 0))
        return nullptr;
    const Vec3 at = instance.placement_.Matrix().TransformPoint(local);
    const uint32_t fog = Effects::FogAt(at);
    if (fog >= 254)
        return nullptr;
    ParticleEmitterDesc d;
    d.group = 0;
    d.kind = 5;
    d.mode = 0;
    d.rate = 30.0f;
    d.particleVelocity = {0, -1, 0};
    // 0.3 x (254 - v) as the smoke's alpha, held within 0..1.
    d.colour1.Set(0.11f, 0.10f, 0.12f, EffectMaths::FogAlpha(fog));
    d.colour2.Set(0, 0, 0, 0);
    d.durationOrCount = 254 - fog;
    if (part)
        d.lightColour.Set(1, 1, 1, 1);
    return ParticleEffects::Request(d, at);
}

// Lowest point of the node's shape below its origin (y grows downwards).
float LowestExtent(const ShapeInstance& node)
{
    float lowest = 0;
    for (VeShape* shape : node.slots_)
        if (shape)
            lowest = std::max(lowest, shape->max_.y);
    return lowest;
}

ShapeInstance* FirstPart(ShapeInstance& node)
{
    for (ShapeInstance* child : node.children_)
        return child;
    return nullptr;
}

void UpdatePart(BallisticObject& r, float dt)
{
    ShapeInstance& node = *r.node;
    const int32_t angle = int32_t(std::lround(std::fmod(double(r.spinAngle), 4096.0)));
    const float s = SineOf(angle), c = CosineOf(angle);
    const Quaternion q{r.spinAxis.x * s, r.spinAxis.y * s, r.spinAxis.z * s, c};
    const Quaternion turned = q * r.offset * q.Conjugate();
    const Vec3 newOffset{turned.x, turned.y, turned.z};
    node.local_.SetOrientation(q.Normalised());
    r.spinAngle = float(std::fmod(double(r.spinAngle) + double(dt) * g_spinRate, 4096.0));
    const Vec3 displacement = r.velocity * dt - (newOffset - r.turnedOffset);
    r.turnedOffset = newOffset;
    Vec3 position = node.local_.Position() + displacement;

    // The floor under the owner, in the owner's frame.
    float ownerY = 0;
    if (r.owner)
        if (VeObject* instance = r.owner->Instance())
            ownerY = instance->placement_.Position().y;
    const float limit = r.floorHeight - ownerY - LowestExtent(node);
    if (position.y > limit && r.velocity.y >= 0) {
        if (r.velocity.y > kBounceSpeed) {
            r.velocity.y = -0.5f * r.velocity.y;
            position.y = limit;
        } else {
            ParticleEffects::SpawnBigExplosion(position + Vec3{0, ownerY, 0}, Effects::Now());
            r.lifetime = 0;
            if (r.owner)
                r.owner->flags_ |= EffectObject::kAnimatedTexture;
        }
    }
    if (r.emitter)
        r.emitter->Move(position - node.local_.Position());
    node.local_.SetPosition(position);
}

} // namespace

namespace BallisticObjects {

void ResetForLevel()
{
    g_gravity = 2.0f * kBaseGravity;
    g_spinRate = kSpinRate;
    g_debrisRole = std::make_unique<script::Role>();
    g_debrisRole->flags = uint8_t((g_debrisRole->flags | 0x01 | 0x10) & ~(0x02 | 0x04));
    g_debrisRole->aiType = 4;
}

void Add(EffectObject* object, float speed, const Vec3& direction)
{
    if (!object || !object->Instance() || !EffectMaths::Finite(direction) || !std::isfinite(speed))
        return;
    BallisticObject* r = NewRecord(object, object->Instance()->Root(), true);
    r->spinAxis = direction;
    r->velocity = direction * speed;
    r->velocity.y *= 3.0f;
    g_records.PushBack(r);
}

void BreakUp(EffectObject* object, float speed, bool radial)
{
    if (!object || !object->Instance() || !std::isfinite(speed))
        return;
    VeObject& instance = *object->Instance();
    object->brokenUp_ = true;
    ShapeInstance* root = instance.Root();
    BallisticObject* body = NewRecord(object, root, true);
    if (root)
        body->emitter = ExhaustSmoke(instance, *root, false);
    g_records.PushBack(body);
    if (!root)
        return;

    // Level by level, while the first part of the level reached has parts.
    for (ShapeInstance* level = root; level && !level->children_.IsEmpty(); level = FirstPart(*level)) {
        const int32_t parts = level->children_.Count();
        const float step = 4096.0f / float(parts);
        float a = 0;
        for (ShapeInstance* part : level->children_) {
            BallisticObject* r = NewRecord(object, part, false);
            r->restOffset = part->local_.Position();
            r->offset = {r->restOffset.x, r->restOffset.y, r->restOffset.z, 0};
            const Vec3 direction{UnitRandomProduct(), UnitRandomProduct(), UnitRandomProduct()};
            Vec3 launch;
            if (!radial) {
                r->spinAxis = direction.Normalised();
                launch = r->spinAxis;
                launch.y = -2.0f * std::fabs(launch.y);
            } else {
                r->spinAxis = direction;
                launch = {CosineOf(int32_t(a)), -3.0f, SineOf(int32_t(a))};
                int32_t jitter;
                {
                    LockGuard guard(Particles::Lock(), true);
                    jitter = int32_t(Particles::Random().Next() % 200u);
                }
                a += step + float(jitter);
            }
            r->velocity = launch * speed;
            r->emitter = ExhaustSmoke(instance, *part, true);
            g_records.PushBack(r);
        }
    }
}

void UpdateAll(int64_t now)
{
    const uint64_t clock = Effects::ClockTicks(now);
    if (g_firstCall) {
        g_firstCall = false;
        g_lastUpdate = clock;
        return;
    }
    const uint64_t elapsed = Effects::Elapsed(clock, g_lastUpdate);
    const float dt = float(Effects::TicksToSeconds(int64_t(elapsed)));
    g_lastUpdate = clock;
    List<BallisticObject*>::Iterator it(g_records);
    while (BallisticObject** slot = it.Get()) {
        BallisticObject& r = **slot;
        r.velocity.y += dt * g_gravity;
        if (r.movesOwner) {
            if (VeObject* instance = r.owner ? r.owner->Instance() : nullptr) {
                Transform& placement = instance->placement_;
                const Vec3 before = placement.Position();
                placement.SetPosition(before + r.velocity * dt);
                if (r.emitter)
                    r.emitter->Move(placement.Position() - before);
            }
        } else if (r.node) {
            UpdatePart(r, dt);
        }
        if (r.lifetime <= elapsed) {
            it.Erase();
            Free(&r);
        } else {
            r.lifetime -= elapsed;
            it.Next();
        }
    }
}

void Clear()
{
    for (BallisticObject* r : g_records)
        Free(r);
    g_records.Clear();
    g_firstCall = true;
    if (g_debrisRole)
        g_debrisRole->inventory.reset();
}

List<BallisticObject*>& Records() { return g_records; }
float GravityFactor() { return g_gravity; }
script::Role* DebrisRole() { return g_debrisRole.get(); }

} // namespace BallisticObjects

#include "effects/client_effect_hooks.h"

#include "Veapi/ve_object.h"
#include "console/world_commands.h"
#include "effects/ballistic_objects.h"
#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/effect_object.h"
#include "effects/effect_shapes.h"
#include "effects/particle_presets.h"
#include "objects/client_effects.h"
#include "objects/world_object.h"
#include "session/client_hooks.h"

namespace Effects {
namespace {

// A replica as the effects see an object; the record keeps its own use.
class ReplicaEffectObject final : public EffectObject {
public:
    explicit ReplicaEffectObject(WorldObject& object) : object_(&object) {}
    bool Exists() const override { return object_->IsRegistered() && !object_->IsDestroyed(); }
    VeObject* Instance() const override { return object_->Shape(); }
    uint32_t FogVisibility() const override { return object_->FogVisibility(); }
    // No level query from here: the surface counts as absent.
    float FloorHeight() const override { return object_->Position().y + 1000.0f; }

private:
    ~ReplicaEffectObject() override = default;
    WorldObjectRef object_;
};

// Smoke billowing from a replica for as long as it lasts; made even off
// screen, since it keeps rising once the camera comes round.
void StartSmoke(WorldObject& object)
{
    ParticleEmitterDesc smoke;
    smoke.group = 0;
    smoke.kind = 5;
    smoke.mode = 0;
    smoke.rate = 20.0f;
    smoke.spin = -1.0f;
    smoke.particleVelocity = {0, -1, 0};
    smoke.colour1.Set(0.11f, 0.10f, 0.12f, 0.6f);
    smoke.colour2.Set(0, 0, 0, 0);
    object.KeepEmitter(Particles::CreateEmitter(smoke, object.Position()));
}

// A piece cut off a replica flies as debris does.
void ThrowPiece(WorldObject& piece, const Vec3& direction)
{
    constexpr float kPieceSpeed = 2.0f;
    RefPtr<ReplicaEffectObject> effect = RefPtr<ReplicaEffectObject>::Adopt(new ReplicaEffectObject(piece));
    BallisticObjects::Add(effect.Get(), kPieceSpeed, direction);
}

void BreakUp(WorldObject& debris, float speed, bool radial)
{
    // The flight moves the debris' shape; the replica follows it.
    debris.SetThrown();
    RefPtr<ReplicaEffectObject> effect = RefPtr<ReplicaEffectObject>::Adopt(new ReplicaEffectObject(debris));
    BallisticObjects::BreakUp(effect.Get(), speed, radial);
}

bool AddShapeEffect(WorldObject&, VeObject* (&sprites)[2])
{
    sprites[0] = EffectShapes::NewInstance(EffectShapes::SecondSprite, false);
    sprites[1] = EffectShapes::NewInstance(EffectShapes::ThirdSprite, false);
    if (sprites[0] && sprites[1])
        return true;
    for (VeObject*& sprite : sprites) {
        if (sprite)
            sprite->Release();
        sprite = nullptr;
    }
    return false;
}

// One shell an object: a later hit finds the shell of the earlier one
// (through the shape it shows) and starts it afresh.
void ShieldHit(WorldObject& object)
{
    if (!object.Shape())
        return;
    for (EffectRecord* r : WorldList()) {
        if (r->kind == EffectKind::ShieldShell && r->object && r->object->Instance() == object.Shape() &&
            r->object->Exists()) {
            AddShieldShell(r->object, Now());
            return;
        }
    }
    RefPtr<ReplicaEffectObject> effect = RefPtr<ReplicaEffectObject>::Adopt(new ReplicaEffectObject(object));
    AddShieldShell(effect.Get(), Now());
}

void AddShadow(WorldObject& object)
{
    if (ClientEffects().addCaster)
        ClientEffects().addCaster(object);
}

// A beam shot's trace, pale blue, three pixels wide on a 1024 screen.
void Beam(const Vec3& from, const Vec3& to)
{
    constexpr float kBeamWidth = 3.0f;
    Colour colour;
    colour.Set(0.2f, 0.7f, 0.9f, 0.8f);
    AddBeamTrace(Now(), from, to, colour, kBeamWidth);
}

void Electricity(const Vec3& from, const Vec3& to, float amplitude)
{
    ElectricityRequest request;
    request.end = to;
    request.amplitude = amplitude;
    AddElectricity(Now(), from, request);
}

void DestructionEffect(WorldObject& object)
{
    RefPtr<ReplicaEffectObject> effect = RefPtr<ReplicaEffectObject>::Adopt(new ReplicaEffectObject(object));
    AddDestructionEffect(effect.Get(), Now());
}

} // namespace

void InstallClientHooks()
{
    ClientHooks& hooks = ClientHooks::Get();
    hooks.bigExplosion = [](const Vec3& point, int64_t now) { ParticleEffects::SpawnBigExplosion(point, now); };
    hooks.spotlight = [](const Vec3& point, int64_t now) { AddSpotlight(point, now); };
    hooks.explosionArea = [](const Vec3& first, const Vec3& second) { AddExplosionArea(first, second); };
    hooks.pulsingLight = [](bool blinking, const Vec3& point, const Colour& first, const Colour& second,
                            float period) { AddPulsingLight(blinking, point, PulseColours{first, second, period}); };
    hooks.textureAnimation = [](WorldObject& object, int32_t count, const float* pairs) {
        RefPtr<ReplicaEffectObject> effect = RefPtr<ReplicaEffectObject>::Adopt(new ReplicaEffectObject(object));
        AddTextureAnimation(effect.Get(), count, pairs);
    };
    hooks.smoke = StartSmoke;
    hooks.addShadow = AddShadow;
    hooks.launchBurst = ParticleEffects::SpawnGroup8Burst;
    hooks.groundHit = ParticleEffects::SpawnGroundBlast;
    hooks.shotFire = ParticleEffects::SpawnFire;
    hooks.bigBurst = ParticleEffects::SpawnBigBurst;
    hooks.spray = ParticleEffects::SpawnDirectional;
    hooks.destructionEffect = DestructionEffect;
    ClientEffectHooks& replicas = ClientEffects();
    replicas.throwPiece = ThrowPiece;
    replicas.breakUp = BreakUp;
    replicas.addShapeEffect = AddShapeEffect;
    replicas.shieldHit = ShieldHit;
    replicas.electricity = Electricity;
    replicas.whiteBurst = ParticleEffects::SpawnGroup8Burst;
    replicas.explosion = ParticleEffects::SpawnExplosion;
    replicas.beam = Beam;
    // REFLECT: the object under the cursor takes the sphere map.
    WorldCommands::Client().addSphereMap = [](int32_t id) {
        WorldObject* object = WorldObjectTable::FindById(uint32_t(id));
        if (!object)
            return;
        RefPtr<ReplicaEffectObject> effect = RefPtr<ReplicaEffectObject>::Adopt(new ReplicaEffectObject(*object));
        AddSphereMapToActor(effect.Get());
    };
}

} // namespace Effects

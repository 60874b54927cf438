#include "effects/client_effect_hooks.h"

#include "effects/effect_builders.h"
#include "effects/effect_object.h"
#include "effects/particle_presets.h"
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
}

} // namespace Effects

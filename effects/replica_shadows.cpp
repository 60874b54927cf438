#include "effects/replica_shadows.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_time.h"
#include "effects/particle_presets.h"
#include "objects/client_effects.h"
#include "objects/moving_object.h"

#include <memory>
#include <unordered_map>

namespace {

class ReplicaCaster : public ShadowCaster {
public:
    explicit ReplicaCaster(WorldObject& object) : object_(object) {}
    ~ReplicaCaster() override { Shadows::RemoveCaster(this); }

    ShapeInstance* ShapeRoot() override { return object_.Shape() ? object_.Shape()->Root() : nullptr; }

    // The character names the shadow model by its root shape: a one-node
    // tree of it is what the edge builder walks.
    Hierarchy* ShadowHierarchy() override
    {
        if (!hierarchy_) {
            VeShape* shape = object_.ShadowShape();
            if (!shape)
                return nullptr;
            auto* tree = new Hierarchy;
            shape->AddRef();
            tree->shapes_[0] = shape;
            hierarchy_.reset(tree);
        }
        return hierarchy_.get();
    }

    bool Visible() const override { return object_.IsVisible(); }
    bool HasRole() const override { return object_.GetRole() != nullptr; }
    Vec3 Position() const override { return object_.Position(); }
    float Heading() const override { return HeadingOf(object_.Orientation()); }
    float FloorHeight() const override { return object_.GetGroundHeight(); }
    CollisionPolygon* CurrentPolygon() const override { return object_.GetPolygon(); }

    gfx::Matrix ObjectMatrix() const override
    {
        const Quaternion& q = object_.Orientation();
        const Vec3 rows[3] = {q.Rotate({1, 0, 0}), q.Rotate({0, 1, 0}), q.Rotate({0, 0, 1})};
        gfx::Matrix m;
        for (int r = 0; r < 3; ++r) {
            m(r, 0) = rows[r].x;
            m(r, 1) = rows[r].y;
            m(r, 2) = rows[r].z;
        }
        const Vec3& p = object_.Position();
        m(3, 0) = p.x;
        m(3, 1) = p.y;
        m(3, 2) = p.z;
        return m;
    }

private:
    WorldObject& object_;
    HierarchyPtr hierarchy_;
};

// At namespace scope: the effects' shut-down empties it before the display goes.
std::unordered_map<const WorldObject*, std::unique_ptr<ReplicaCaster>> g_casters;

void AddCaster(WorldObject& object)
{
    if (g_casters.count(&object))
        return;
    auto caster = std::make_unique<ReplicaCaster>(object);
    Shadows::AddCaster(caster.get());
    // The mode in force may give it no shadow: nothing is kept then.
    if (caster->flags_ & kCasterFlag)
        g_casters.emplace(&object, std::move(caster));
}

void RemoveCaster(WorldObject& object) { g_casters.erase(&object); }

ParticleEmitter* CreateCorona(const Vec3& position, const Colour& colour)
{
    return ParticleEffects::CreateCorona(position, colour);
}

void BigExplosion(const Vec3& position) { ParticleEffects::SpawnBigExplosion(position, AppTime::GameNow()); }

} // namespace

namespace ReplicaShadows {

void Install()
{
    ClientEffectHooks& hooks = ClientEffects();
    hooks.addCaster = AddCaster;
    hooks.removeCaster = RemoveCaster;
    hooks.createCorona = CreateCorona;
    hooks.shotImpact = ParticleEffects::SpawnShotImpact;
    hooks.debrisExplosion = ParticleEffects::SpawnDebrisExplosion;
    hooks.bigExplosion = BigExplosion;
}

ShadowCaster* CasterOf(const WorldObject& object)
{
    auto it = g_casters.find(&object);
    return it == g_casters.end() ? nullptr : it->second.get();
}

void Clear() { g_casters.clear(); }

} // namespace ReplicaShadows

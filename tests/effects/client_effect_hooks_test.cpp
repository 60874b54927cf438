// The effects' answers to the server's SMOKE and SHADOW messages: smoke
// that stays with its replica, and a shadow listed for a replica that lost
// its own.
#include "effects/client_effect_hooks.h"
#include "effects/ballistic_objects.h"
#include "effects/effect_list.h"
#include "effects/effect_object.h"
#include "effects/replica_shadows.h"
#include "effect_support.h"

#include "Veapi/particles.h"
#include "Veapi/ve_shape.h"
#include "objects/client_effects.h"
#include "objects/moving_object.h"
#include "script/records.h"
#include "session/client_hooks.h"
#include "shadow_test_shapes.h"

#include <gtest/gtest.h>

namespace {

script::ShapeRef Held(VeShape* shape)
{
    script::ShapeRef ref;
    ref.shape = std::shared_ptr<void>(shape, [](void* s) { static_cast<VeShape*>(s)->Release(); });
    return ref;
}

class ClientEffectHooksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WorldObjectTable::DestroyAll();
        Particles::Startup();
        ReplicaShadows::Install();
        Effects::InstallClientHooks();
        role.aiType = 2;
        role.shape = Held(shadowtest::ShapeOf(shadowtest::Box({-0.5f, -2, -0.5f}, {0.5f, 0, 0.5f}), gfx::kFvfVertex));
        role.character.emplace();
        role.character->walkingSpeed = 65536;
        role.character->shadowShape = Held(shadowtest::ShapeOf(shadowtest::Cube(), gfx::kFvfVertex));
    }
    void TearDown() override
    {
        WorldObjectTable::DestroyAll();
        Shadows::Shutdown();
        Particles::Shutdown();
        ClientEffects() = ClientEffectHooks{};
        ClientHooks::Get() = ClientHooks{};
        ShadowMode = 0;
    }

    script::Role role;
};

TEST_F(ClientEffectHooksTest, SmokeRisesWhereTheReplicaGoesAndStopsWithIt)
{
    WorldObject* walker = WorldObject::CreateByRole(1, &role, {4, 0, 2}, Quaternion::Identity());
    const size_t before = walker->PartEmitters().size();
    ASSERT_TRUE(ClientHooks::Get().smoke);
    ClientHooks::Get().smoke(*walker);
    const std::vector<ParticleEmitter*> emitters = walker->PartEmitters();
    ASSERT_EQ(emitters.size(), before + 1);
    ParticleEmitter* smoke = emitters.back();
    EXPECT_EQ(smoke->Position().x, 4.0f);
    walker->SetPosition({9, 0, 1});
    WorldObjectTable::DrawAll();
    EXPECT_EQ(smoke->Position().x, 9.0f);
    EXPECT_EQ(smoke->Position().z, 1.0f);
    walker->Remove();
    WorldObjectTable::DestroyAll();
    for (ParticleEmitter* e = Particles::Group(0).emitters; e; e = e->Next())
        EXPECT_TRUE(e != smoke || e->Mode() == ParticleEmitter::Dying);
}

TEST_F(ClientEffectHooksTest, AShadowComesBackForAReplicaThatLostIt)
{
    ShadowMode = 2;
    Shadows::Startup();
    WorldObject* walker = WorldObject::CreateByRole(1, &role, {4, 0, 2}, Quaternion::Identity());
    ClientEffects().removeCaster(*walker);
    ASSERT_EQ(ReplicaShadows::CasterOf(*walker), nullptr);
    ASSERT_TRUE(ClientHooks::Get().addShadow);
    ClientHooks::Get().addShadow(*walker);
    ShadowCaster* shadow = ReplicaShadows::CasterOf(*walker);
    ASSERT_NE(shadow, nullptr);
    ClientHooks::Get().addShadow(*walker);  // a second SHADOW lists nothing more
    EXPECT_EQ(Shadows::Casters(), std::vector<ShadowCaster*>{shadow});
}


// A destroyed object's debris breaks up where it stands, its body record
// moving the debris' own shape.
TEST_F(ClientEffectHooksTest, TheDebrisOfADestroyedObjectBreaksUp)
{
    BallisticObjects::Clear();
    script::Role debrisRole;
    debrisRole.aiType = 5;
    debrisRole.shape = Held(shadowtest::ShapeOf(shadowtest::Box({-1, -1, -1}, {1, 0, 1}), gfx::kFvfVertex));
    script::Role wreckRole;
    wreckRole.aiType = 5;
    wreckRole.shape = role.shape;
    wreckRole.destruction.emplace();
    wreckRole.destruction->type = 3;
    wreckRole.destruction->role = &debrisRole;
    wreckRole.destruction->scale = 2;
    WorldObject* wreck = WorldObject::CreateByRole(2, &wreckRole, {4, 0, 2}, Quaternion::Identity());
    wreck->OnDestroyed(0);
    WorldObject* debris = nullptr;
    for (WorldObject* o : WorldObjectTable::Snapshot())
        if (o->GetRole() == &debrisRole)
            debris = o;
    ASSERT_NE(debris, nullptr);
    ASSERT_EQ(BallisticObjects::Records().Count(), 1);
    const BallisticObject* body = *BallisticObjects::Records().begin();
    EXPECT_TRUE(body->movesOwner);
    ASSERT_NE(body->owner, nullptr);
    EXPECT_EQ(body->owner->Instance(), debris->Shape());
    EXPECT_TRUE(body->owner->brokenUp_);

    // The debris flies and falls: each frame draws it where the flight took
    // it, and the replica stands there too, its smoke going along.
    const Vec3 start = debris->Shape()->placement_.Position();
    BallisticObjects::UpdateAll(effecttest::WrapStart());
    for (int frame = 1; frame <= 10; ++frame) {
        BallisticObjects::UpdateAll(effecttest::WrapStart() + effecttest::Ticks(0.05 * frame));
        WorldObjectTable::DrawAll();
    }
    const Vec3 flown = debris->Shape()->placement_.Position();
    EXPECT_GT(flown.y - start.y, 0.05f);  // fallen (y grows downwards)
    EXPECT_EQ(debris->Position().y, flown.y);
    BallisticObjects::Clear();
}


// A replica has one shield shell: a second hit starts the first afresh.
TEST_F(ClientEffectHooksTest, AShieldHitReusesTheReplicasShell)
{
    WorldObject* walker = WorldObject::CreateByRole(1, &role, {4, 0, 2}, Quaternion::Identity());
    WorldObject* other = WorldObject::CreateByRole(1, &role, {8, 0, 2}, Quaternion::Identity());
    ASSERT_TRUE(ClientEffects().shieldHit);
    const auto shells = [] {
        int n = 0;
        for (const EffectRecord* r : Effects::WorldList())
            n += r->kind == EffectKind::ShieldShell;
        return n;
    };
    const int before = shells();
    ClientEffects().shieldHit(*walker);
    ClientEffects().shieldHit(*walker);
    EXPECT_EQ(shells(), before + 1);
    ClientEffects().shieldHit(*other);
    EXPECT_EQ(shells(), before + 2);
    Effects::ClearAll();
}

} // namespace

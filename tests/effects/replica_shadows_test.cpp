// Replicas as shadow casters: a replica whose character names a shadow
// model is listed with the shadow data of the mode in force, follows its
// object's place, and leaves the list when the object goes.
#include "effects/replica_shadows.h"

#include "Veapi/ve_shape.h"
#include "objects/client_effects.h"
#include "objects/moving_object.h"
#include "script/records.h"
#include "shadow_test_shapes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

script::ShapeRef Held(VeShape* shape)
{
    script::ShapeRef ref;
    ref.shape = std::shared_ptr<void>(shape, [](void* s) { static_cast<VeShape*>(s)->Release(); });
    return ref;
}

class ReplicaCasters : public ::testing::Test {
protected:
    void SetUp() override
    {
        WorldObjectTable::DestroyAll();
        ReplicaShadows::Install();
        role.aiType = 2;
        role.shape = Held(shadowtest::ShapeOf(shadowtest::Box({-0.5f, -2, -0.5f}, {0.5f, 0, 0.5f}), gfx::kFvfVertex));
        role.character.emplace();
        role.character->walkingSpeed = 65536;
        plain = role;
        plain.character.emplace(*role.character);
        role.character->shadowShape = Held(shadowtest::ShapeOf(shadowtest::Cube(), gfx::kFvfVertex));
    }
    void TearDown() override
    {
        WorldObjectTable::DestroyAll();
        Shadows::Shutdown();
        ClientEffects() = ClientEffectHooks{};
        ShadowMode = 0;
    }

    script::Role role, plain;
};

TEST_F(ReplicaCasters, TheModeInForceDecidesWhatAReplicaCasts)
{
    const struct {
        uint32_t mode;
        bool listed;
        size_t blobs, edgeLists;
    } rows[] = {{0, false, 0, 0}, {2, true, 1, 0}, {3, true, 0, 1}, {4, true, 0, 1}};
    for (const auto& row : rows) {
        ShadowMode = row.mode;
        Shadows::Startup();
        const Quaternion quarter = YawOrientation(1024);
        WorldObject* caster = WorldObject::CreateByRole(3, &role, {4, 0, 2}, quarter);
        WorldObject* without = WorldObject::CreateByRole(3, &plain, {6, 0, 2}, quarter);
        ShadowCaster* shadow = ReplicaShadows::CasterOf(*caster);
        EXPECT_EQ(ReplicaShadows::CasterOf(*without), nullptr) << row.mode;  // no shadow model, no shadow
        ASSERT_EQ(shadow != nullptr, row.listed) << row.mode;
        if (shadow) {
            EXPECT_EQ(Shadows::Casters(), std::vector<ShadowCaster*>{shadow}) << row.mode;
            EXPECT_EQ(shadow->blobs_.size(), row.blobs) << row.mode;
            EXPECT_EQ(shadow->edgeLists_.size(), row.edgeLists) << row.mode;
            EXPECT_EQ(shadow->ShapeRoot(), caster->Shape()->Root());
            // The caster's matrix carries object space to where the replica stands.
            const gfx::Matrix m = shadow->ObjectMatrix();
            const Vec3 ahead{m(2, 0) + m(3, 0), m(2, 1) + m(3, 1), m(2, 2) + m(3, 2)};
            EXPECT_NEAR(ahead.x, 5.0f, 1e-4f);  // facing +x
            EXPECT_NEAR(ahead.z, 2.0f, 1e-4f);
            EXPECT_NEAR(shadow->Heading(), 1024.0f, 0.5f);
        }
        caster->Remove();
        WorldObjectTable::DestroyAll();
        EXPECT_TRUE(Shadows::Casters().empty()) << row.mode;
        Shadows::Shutdown();
    }
}

} // namespace

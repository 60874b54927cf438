// Particle presets as one table, their fog rule, and the debris: throws,
// break-ups, bounces and explosions on the floor, and the references held.
#include <gtest/gtest.h>

#include <cmath>

#include "Veapi/ve_object.h"
#include "effect_support.h"
#include "effects/effect_maths.h"
#include "script/records.h"
#include "Veapi/hierarchy.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"

#include <filesystem>

using namespace effecttest;
using ParticleEffects::Preset;

namespace {

TEST(PresetTest, EachPresetFillsItsRow)
{
    struct Row {
        Preset preset;
        int32_t group, mode;
        uint32_t count;
        float rate, alphaAtFog0, alphaAtFog127, scale1, scale2;
    };
    const Row rows[] = {
        {Preset::Fire, 3, 2, 1, 50.0f, 1.0f, 1.0f, 0.1f, 0.0f},
        {Preset::Sparks, 12, 2, 100, 20.0f, 0.6f, 0.6f, 1.0f, 1.0f},
        {Preset::Explosion, 5, 2, 10, 25.0f, 0.5f, 0.5f, 0.3f, 0.3f},
        {Preset::GroundBlast, 6, 2, 2, 50.0f, 0.3f, 0.15f, 0.2f, 0.2f},
        {Preset::BigBurst, 6, 2, 10, 20.0f, 1.0f, 1.0f, 1.0f, 1.0f},
        {Preset::Corona, 7, 0, 0, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f},
        {Preset::ShotImpact, 4, 2, 5, 5.0f, 0.3f, 0.15f, 1.0f, 1.0f},
        {Preset::Group8Burst, 8, 2, 1, 10.0f, 0.8f, 0.8f, 0.1f, 1.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.preset));
        const ParticleEmitterDesc d = ParticleEffects::Describe(row.preset, {0, 0, 0}, 0);
        EXPECT_EQ(d.group, row.group);
        EXPECT_EQ(d.kind, 5);
        EXPECT_EQ(d.mode, row.mode);
        if (row.mode == 2) {
            EXPECT_EQ(d.durationOrCount, row.count);
        }
        EXPECT_FLOAT_EQ(d.rate, row.rate);
        EXPECT_NEAR(d.colour1.alpha, row.alphaAtFog0, 1e-5f);
        EXPECT_NEAR(ParticleEffects::Describe(row.preset, {0, 0, 0}, 127).colour1.alpha, row.alphaAtFog127, 1e-5f);
        EXPECT_FLOAT_EQ(d.scale1, row.scale1);
        EXPECT_FLOAT_EQ(d.scale2, row.scale2);
    }
}

class PresetSpawnTest : public EffectTest {};

TEST_F(PresetSpawnTest, FogAbove253StartsNothingExceptTheBurstAndCorona)
{
    static uint32_t fog = 0;
    Effects::SetFogReader([](const Vec3&) { return fog; });
    struct Row {
        uint32_t fog;
        size_t requests;
    };
    const Row rows[] = {{0, 7}, {253, 7}, {254, 1}, {1000, 1}};
    for (const Row& row : rows) {
        fog = row.fog;
        Requests().clear();
        const Vec3 p{0, 0, 0};
        ParticleEffects::SpawnFire(p);
        ParticleEffects::SpawnSparks(p);
        ParticleEffects::SpawnExplosion(p);
        ParticleEffects::SpawnGroundBlast(p);
        ParticleEffects::SpawnBigBurst(p);
        ParticleEffects::SpawnShotImpact(p);
        ParticleEffects::SpawnGroup8Burst(p);
        EXPECT_EQ(Requests().size(), row.requests) << row.fog;
    }
    EXPECT_TRUE(ParticleEffects::Fogged(Preset::Fire, 254));
    EXPECT_FALSE(ParticleEffects::Fogged(Preset::Fire, 253));
    EXPECT_FALSE(ParticleEffects::Fogged(Preset::Corona, 254));
}

class DebrisTest : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        BallisticObjects::ResetForLevel();
        BallisticObjects::UpdateAll(At(0));  // the first call only notes the time
    }
};

TEST_F(DebrisTest, ResetMakesTheDebrisRole)
{
    script::Role* role = BallisticObjects::DebrisRole();
    ASSERT_NE(role, nullptr);
    EXPECT_EQ(role->flags & 0x17, 0x11);
    EXPECT_EQ(role->aiType, 4);
    EXPECT_FLOAT_EQ(BallisticObjects::GravityFactor(), 19.62f);
}

TEST_F(DebrisTest, AThrownObjectFallsAsTheClosedFormSumAndIgnoresTheFloor)
{
    FakeObject* o = FakeObject::Make();
    o->floor_ = 0.5f;
    BallisticObjects::Add(o, 2.0f, {1, -1, 0});
    const double dt = 0.02;
    const double g = 19.62;
    const double vx = 2.0, vy0 = -6.0;
    const int frames = 100;
    for (int n = 1; n <= frames; ++n)
        BallisticObjects::UpdateAll(At(n * dt));
    // Each frame adds g dt to the speed, then moves by the new speed.
    const double dtTicks = double(Ticks(dt)) / double(Effects::TicksPerSecond());
    const double y = vy0 * frames * dtTicks + g * dtTicks * dtTicks * frames * (frames + 1) / 2.0;
    const Vec3 p = o->instance_->placement_.Position();
    EXPECT_NEAR(p.x, vx * frames * dtTicks, 1e-3);
    EXPECT_NEAR(p.y, y, 1e-2);
    EXPECT_GT(p.y, 0.5f);  // through the floor
    EXPECT_EQ(BallisticObjects::Records().Count(), 1);
    BallisticObjects::UpdateAll(At(5.0));
    EXPECT_EQ(BallisticObjects::Records().Count(), 0);
    EXPECT_EQ(o->RefCount(), 1);
    o->Release();
}

TEST_F(DebrisTest, PartsBounceAboveAFifthAndExplodeAtOrBelowIt)
{
    struct Row {
        float downSpeed;
        bool bounces;
    };
    const Row rows[] = {{0.3f, true}, {1.0f, true}, {0.2f, false}, {0.0f, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.downSpeed);
        FakeObject* o = FakeObject::Make(1);
        o->floor_ = 0.0f;
        BallisticObjects::BreakUp(o, 0.0f, false);
        ASSERT_EQ(BallisticObjects::Records().Count(), 2);
        BallisticObject* part = *BallisticObjects::Records().At(1);
        part->node->local_.SetPosition({0, -0.6f, 0});  // just above the box's lowest point
        part->velocity = {0, row.downSpeed, 0};
        part->spinAxis = {0, 1, 0};
        const int64_t t = FakeNow() + Ticks(0.01);
        // No gravity this frame, so the speed on reaching the floor is the row's.
        const float dt = float(Effects::TicksToSeconds(Ticks(0.01)));
        part->velocity.y -= dt * BallisticObjects::GravityFactor();
        BallisticObjects::UpdateAll(t);
        FakeNow() = t;
        if (row.bounces) {
            ASSERT_EQ(BallisticObjects::Records().Count(), 2);
            EXPECT_NEAR(part->velocity.y, -0.5f * row.downSpeed, 1e-4f);
            EXPECT_FALSE(o->flags_ & EffectObject::kAnimatedTexture);
        } else {
            // Exploded and freed in the same update.
            EXPECT_EQ(BallisticObjects::Records().Count(), 1);
            EXPECT_TRUE(o->flags_ & EffectObject::kAnimatedTexture);
        }
        BallisticObjects::Clear();
        BallisticObjects::UpdateAll(FakeNow());
        EXPECT_EQ(o->RefCount(), 1);
        o->Release();
    }
}

TEST_F(DebrisTest, BreakUpMakesABodyAndOneRecordPerPartLevelByLevel)
{
    struct Row {
        int parts, subParts;
        bool exhaust;
        int records;
        size_t smoke;
    };
    // The dummies are nodes of the shape and fly too; each piece with a
    // dummy at or below it trails smoke (body, first part, the two dummies).
    const Row rows[] = {{0, 0, false, 1, 0}, {3, 0, false, 4, 0}, {2, 2, false, 5, 0}, {2, 0, true, 5, 4}};
    static uint32_t fog = 0;
    Effects::SetFogReader([](const Vec3&) { return fog; });
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.parts << " parts, " << row.subParts << " sub-parts");
        Requests().clear();
        FakeObject* o = FakeObject::Make(row.parts, row.subParts, row.exhaust);
        BallisticObjects::BreakUp(o, 2.0f, false);
        EXPECT_TRUE(o->brokenUp_);
        EXPECT_EQ(BallisticObjects::Records().Count(), row.records);
        EXPECT_EQ(Requests().size(), row.smoke);
        EXPECT_EQ(o->RefCount(), 1 + row.records);
        for (const ParticleEmitterDesc& d : Requests())
            EXPECT_FLOAT_EQ(d.colour1.alpha, 1.0f);  // 0.3 x 254, clamped
        BallisticObjects::Clear();
        EXPECT_EQ(o->RefCount(), 1);
        o->Release();
    }
}

// The sample wreck breaks up as the same tree built by hand: the same
// pieces fly and the same pieces trail smoke.
TEST_F(DebrisTest, SampleWreckBreaksUpLikeItsTree)
{
    static uint32_t fog = 0;
    Effects::SetFogReader([](const Vec3&) { return fog; });
    const std::filesystem::path path = std::filesystem::path(TREVOK_SAMPLE_DATA_DIR) / "rifs" / "wreck_hierarchy.rif";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no sample data at " << path;
    std::string error;
    trevok::EnvironmentRecordPtr file = trevok::LoadEnvironmentFile(path, &error);
    ASSERT_TRUE(file) << error;
    HierarchyPtr wreck = trevok::LoadHierarchyFromChunks("Wreck", *file);
    ASSERT_TRUE(wreck);
    struct Count {
        int records;
        size_t smoke;
    };
    auto breakUp = [this](FakeObject* o) {
        Requests().clear();
        BallisticObjects::BreakUp(o, 2.0f, false);
        const Count c{BallisticObjects::Records().Count(), Requests().size()};
        BallisticObjects::Clear();
        o->Release();
        return c;
    };
    FakeObject* sample = FakeObject::Make();
    sample->instance_->Release();
    sample->instance_ = VeObject::FromHierarchy(wreck.get(), true);
    const Count fromSample = breakUp(sample);
    const Count byHand = breakUp(FakeObject::Make(2, 1, true));
    EXPECT_EQ(fromSample.records, byHand.records);
    EXPECT_EQ(fromSample.smoke, byHand.smoke);
    EXPECT_GT(fromSample.records, 3);
    EXPECT_GT(fromSample.smoke, 1u);
}

TEST_F(DebrisTest, RadialPartsLeaveEvenlyRoundTheVertical)
{
    FakeObject* o = FakeObject::Make(8);
    BallisticObjects::BreakUp(o, 1.0f, true);
    ASSERT_EQ(BallisticObjects::Records().Count(), 9);
    float previous = -1;
    for (int i = 1; i < 9; ++i) {
        const BallisticObject& r = **BallisticObjects::Records().At(i);
        EXPECT_FLOAT_EQ(r.velocity.y, -3.0f);
        float angle = std::atan2(r.velocity.z, r.velocity.x) * 4096.0f / float(2 * M_PI);
        if (angle < 0)
            angle += 4096;
        if (i > 1) {
            const float step = std::fmod(angle - previous + 4096.0f, 4096.0f);
            EXPECT_GE(step, 512.0f - 2.0f);
            EXPECT_LE(step, 512.0f + 200.0f);
        }
        previous = angle;
    }
    BallisticObjects::Clear();
    o->Release();
}

TEST_F(DebrisTest, AThousandPartsRunOutAfterFiveSeconds)
{
    FakeObject* o = FakeObject::Make(999);
    BallisticObjects::BreakUp(o, 2.0f, false);
    EXPECT_EQ(BallisticObjects::Records().Count(), 1000);
    for (int n = 1; n <= 50; ++n)
        BallisticObjects::UpdateAll(At(n * 0.1));
    EXPECT_EQ(BallisticObjects::Records().Count(), 0);
    EXPECT_EQ(o->RefCount(), 1);
    o->Release();
}

} // namespace

// The effect lists on a fake game clock that crosses 2^32 ticks: insertion
// order, removal frames, colours and sizes of each kind.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "effect_support.h"
#include "effects/effect_kinds.h"
#include "effects/effect_shapes.h"
#include "effects/frame_pass.h"

using namespace effecttest;

namespace {

std::vector<int32_t> Kinds(const EffectList& list)
{
    std::vector<int32_t> kinds;
    for (EffectRecord* r : list)
        kinds.push_back(r->kind);
    return kinds;
}

class EffectListTest : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        EffectShapes::Build();
    }
    void TearDown() override
    {
        EffectTest::TearDown();
        EffectShapes::Release();
    }
};

TEST_F(EffectListTest, ARecordJoinsTheHeadOfItsKindElseTheTail)
{
    struct Step {
        int32_t kind;
        int tag;
    };
    const Step steps[] = {{3, 1}, {5, 2}, {3, 3}, {9, 4}, {5, 5}, {3, 6}};
    EffectList list;
    for (const Step& s : steps) {
        auto* r = new EffectRecord(s.kind);
        r->columns = s.tag;
        Effects::Insert(list, r);
    }
    std::vector<int> tags;
    for (EffectRecord* r : list)
        tags.push_back(r->columns);
    EXPECT_EQ(tags, (std::vector<int>{6, 3, 1, 5, 2, 4}));
    EXPECT_EQ(Kinds(list), (std::vector<int32_t>{3, 3, 3, 5, 5, 9}));
    for (EffectRecord* r : list)
        delete r;
}

TEST_F(EffectListTest, ClearAllEmptiesBothListsAndIsHarmlessWhenEmpty)
{
    Effects::ClearAll();
    EXPECT_EQ(Effects::WorldList().Count(), 0);
    Effects::AddFlash({0, 0, 0}, At(0));
    Effects::AddScreenFade(1.0f, {});
    Effects::AddBeamTrace(At(0), {0, 0, 0}, {1, 0, 0}, Colour{}, 2);
    EXPECT_EQ(Effects::WorldList().Count(), 1);
    EXPECT_EQ(Effects::LateList().Count(), 2);
    Effects::ClearAll();
    EXPECT_EQ(Effects::WorldList().Count(), 0);
    EXPECT_EQ(Effects::LateList().Count(), 0);
}

TEST_F(EffectListTest, EachKindGoesToItsList)
{
    for (int32_t kind = 0; kind < EffectKind::Count; ++kind) {
        const bool late = kind == 4 || kind == 13 || kind == 14 || kind == 18;
        EXPECT_EQ(&Effects::ListFor(kind), late ? &Effects::LateList() : &Effects::WorldList()) << kind;
        EXPECT_NE(EffectRules::ForKind(kind), nullptr) << kind;
    }
}

TEST_F(EffectListTest, FlashGrowsAndFadesAcrossTheWrap)
{
    struct Row {
        double seconds;
        bool present;
        float scale, alpha;
    };
    const Row rows[] = {{0.0, true, 0.0f, 1.0f}, {0.5, true, 7.5f, 0.75f}, {1.0, true, 15.0f, 0.5f},
                        {1.99, true, 29.85f, 0.005f}, {2.0, false, 0, 0}};
    Effects::AddFlash({0, 5, 0}, At(0));
    for (const Row& row : rows) {
        Frame(row.seconds);
        SCOPED_TRACE(row.seconds);
        ASSERT_EQ(Effects::WorldList().Count(), row.present ? 1 : 0);
        if (!row.present)
            continue;
        EffectRecord* r = *Effects::WorldList().At(0);
        ASSERT_NE(r->instance, nullptr);
        EXPECT_NEAR(r->instance->placement_.Scale().x, row.scale, 0.05f);
        EXPECT_NEAR(r->lightSet->Material().diffuse.a, row.alpha, 0.002f);
        EXPECT_FLOAT_EQ(r->instance->placement_.Position().y, 5 - 1.2f);
    }
}

// The cone variant of the flash: the round cone shape, one second long,
// growing to the size it is given; a size that is no size makes no growth.
TEST_F(EffectListTest, ConeFlashGrowsToItsSizeInOneSecond)
{
    struct Row {
        float size;
        double seconds;
        bool present;
        float scale, alpha;
    };
    const Row rows[] = {{4, 0.0, true, 0.0f, 1.0f}, {4, 0.25, true, 1.0f, 0.75f}, {4, 0.99, true, 3.96f, 0.01f},
                        {4, 1.0, false, 0, 0},        {-3, 0.5, true, 0.0f, 0.5f},
                        {std::numeric_limits<float>::quiet_NaN(), 0.5, true, 0.0f, 0.5f}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.size << " at " << row.seconds);
        Effects::AddConeFlash({0, 5, 0}, At(0), row.size);
        ASSERT_EQ(Effects::WorldList().Count(), 1);
        EffectRecord* made = *Effects::WorldList().At(0);
        EXPECT_EQ(made->kind, EffectKind::Flash);
        ASSERT_NE(made->instance, nullptr);
        EXPECT_EQ(made->instance->Root()->slots_[0], EffectShapes::Get(EffectShapes::Cone));
        Frame(row.seconds);
        ASSERT_EQ(Effects::WorldList().Count(), row.present ? 1 : 0);
        if (row.present) {
            EffectRecord* r = *Effects::WorldList().At(0);
            EXPECT_NEAR(r->instance->placement_.Scale().x, row.scale, 0.01f);
            EXPECT_NEAR(r->lightSet->Material().diffuse.a, row.alpha, 0.002f);
        }
        Effects::ClearAll();
    }
}

TEST_F(EffectListTest, ScreenFadeBlendsThenHoldsItsEndColour)
{
    struct Row {
        float duration, hold;
        double seconds;
        bool present;
        float red;  // start red 1, end red 0
    };
    const Row rows[] = {
        {2, 1, 0.0, true, 1.0f}, {2, 1, 1.0, true, 0.5f}, {2, 1, 2.0, true, 0.0f},
        {2, 1, 2.9, true, 0.0f}, {2, 1, 3.0, false, 0},
        // A 0 s fade shows its end colour at once, for the hold time.
        {0, 1, 0.0, true, 0.0f}, {0, 1, 0.5, true, 0.0f}, {0, 1, 1.0, false, 0},
        // Nothing to hold and nothing to fade: gone in the first frame.
        {0, 0, 0.0, false, 0},
        // A negative hold counts as none.
        {1, -5, 1.0, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.duration << " s, hold " << row.hold << ", at " << row.seconds);
        Effects::ClearAll();
        FakeNow() = At(0);
        Effects::FadeParams p;
        p.start.Set(1, 1, 1, 1);
        p.end.Set(0, 0, 0, 1);
        p.holdSeconds = row.hold;
        Effects::AddScreenFade(row.duration, p);
        Frame(row.seconds);
        ASSERT_EQ(Effects::LateList().Count(), row.present ? 1 : 0);
        if (row.present) {
            EXPECT_NEAR((*Effects::LateList().At(0))->lightSet->Material().emissive.r, row.red, 0.01f);
        }
    }
}

TEST_F(EffectListTest, RingExpandsAndRestartsAtItsMinimum)
{
    struct Row {
        double seconds;
        float radius;
    };
    const Row rows[] = {{0.0, 1.0f}, {0.25, 2.0f}, {0.4, 2.6f}, {0.51, 1.0f}, {0.76, 2.0f}};
    Effects::AddRing(At(0), {0, 0, 0}, {16, 1.0f, 3.0f});
    for (const Row& row : rows) {
        Frame(row.seconds);
        EffectRecord* r = *Effects::WorldList().At(0);
        EXPECT_NEAR(r->instance->placement_.Scale().x, row.radius, 0.02f) << row.seconds;
        EXPECT_NEAR(r->instance->placement_.Scale().z, row.radius * 0.5f, 0.01f) << row.seconds;
    }
}

TEST_F(EffectListTest, RingWithMinimumAboveMaximumStaysAtTheMaximum)
{
    Effects::AddRing(At(0), {0, 0, 0}, {2, 5.0f, 3.0f});
    for (double s : {0.0, 0.2, 0.6}) {
        Frame(s);
        EffectRecord* r = *Effects::WorldList().At(0);
        EXPECT_FLOAT_EQ(r->instance->placement_.Scale().x, 3.0f);
    }
}

TEST_F(EffectListTest, BasinStandsStillForTwoSecondsThenTurns)
{
    Effects::AddBasin(At(0), {0, 0, 0}, {8, 1.0f, 2.0f});
    EffectRecord* r = *Effects::WorldList().At(0);
    const Quaternion start = r->instance->placement_.Orientation();
    for (double s : {0.0, 0.5, 1.0, 1.5, 1.99}) {
        Frame(s);
        EXPECT_EQ(r->instance->placement_.Orientation(), start) << s;
    }
    Frame(2.0);
    EXPECT_NE(r->instance->placement_.Orientation(), start);
}

TEST_F(EffectListTest, TextureAnimationCyclesItsOffsets)
{
    FakeObject* o = FakeObject::Make();
    const float offsets[] = {0.1f, 0.0f, 0.2f, 0.0f, 0.3f, 0.0f};
    Effects::AddTextureAnimation(o, 3, offsets);
    EXPECT_TRUE(o->flags_ & EffectObject::kAnimatedTexture);
    EffectRecord* r = *Effects::WorldList().At(0);
    std::vector<uint64_t> shown;
    for (int frame = 0; frame < 5; ++frame) {
        shown.push_back(r->timeA);
        Frame(frame * 0.01);
    }
    EXPECT_EQ(shown, (std::vector<uint64_t>{0, 1, 2, 0, 1}));
    Effects::AddTextureAnimation(o, 0, offsets);
    EXPECT_EQ(Effects::WorldList().Count(), 1);
    o->Release();
}

TEST_F(EffectListTest, OneShellForTwoHitsLastingTwoSecondsFromTheSecond)
{
    FakeObject* o = FakeObject::Make();
    Effects::AddShieldShell(o, At(0));
    Frame(0.5);
    Effects::AddShieldShell(o, At(1.0));
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::ShieldShell), 1);
    Frame(2.5);
    EXPECT_EQ(Effects::WorldList().Count(), 1);
    Frame(3.0);
    EXPECT_EQ(Effects::WorldList().Count(), 1);
    Frame(3.01);
    EXPECT_EQ(Effects::WorldList().Count(), 0);
    EXPECT_EQ(o->RefCount(), 1);
    o->Release();
}

TEST_F(EffectListTest, ShellColourFollowsTheShieldClamped)
{
    struct Row {
        float shield, red, green;
    };
    const Row rows[] = {{0, 1, 0}, {100, 0.5f, 0.5f}, {200, 0, 1}, {-50, 1, 0}, {900, 0, 1}};
    for (const Row& row : rows) {
        FakeObject* o = FakeObject::Make();
        o->shield_ = row.shield;
        Effects::AddShieldShell(o, At(0));
        Frame(0.1);
        const gfx::ColourF e = (*Effects::WorldList().At(0))->lightSet->Material().emissive;
        EXPECT_NEAR(e.r, row.red, 1e-5f) << row.shield;
        EXPECT_NEAR(e.g, row.green, 1e-5f) << row.shield;
        Effects::ClearAll();
        o->Release();
    }
}

TEST_F(EffectListTest, ShellGoesWithItsObjectAndAnObjectWithoutShapeGetsNone)
{
    FakeObject* o = FakeObject::Make();
    Effects::AddShieldShell(o, At(0));
    o->exists_ = false;
    Frame(0.1);
    EXPECT_EQ(Effects::WorldList().Count(), 0);
    o->instance_->Release();
    o->instance_ = nullptr;
    Effects::AddShieldShell(o, At(0));
    EXPECT_EQ(Effects::WorldList().Count(), 0);
    o->Release();
}

TEST_F(EffectListTest, DeactivationFindsTheFirstBoltOrFenceWithinASixteenth)
{
    struct Row {
        Vec3 point;
        bool removed;
    };
    const Row rows[] = {{{10.05f, 0, 0}, true}, {{10.07f, 0, 0}, false}, {{0, 0.05f, 0}, true},
                        {{5, 0, 0}, false}};
    for (const Row& row : rows) {
        Effects::AddElectricity(At(0), {0, 0, 0}, {{10, 0, 0}, false, 1.0f, nullptr});
        EXPECT_EQ(Effects::DeactivateElectricity(row.point), row.removed) << row.point.x;
        EXPECT_EQ(Effects::WorldList().Count(), row.removed ? 0 : 1);
        Effects::ClearAll();
    }
    // Two matches: only the first in list order goes.
    Effects::AddElectricity(At(0), {0, 0, 0}, {{10, 0, 0}, false, 1.0f, nullptr});
    Effects::AddElectricity(At(0), {0, 0, 0}, {{20, 0, 0}, false, 2.0f, nullptr});
    EXPECT_TRUE(Effects::DeactivateElectricity({0, 0, 0}));
    ASSERT_EQ(Effects::WorldList().Count(), 1);
    EXPECT_FLOAT_EQ((*Effects::WorldList().At(0))->size, 1.0f);
    // Fences in the late list answer too.
    ASSERT_TRUE(Effects::AddLaserFence({3, 0, 0}, {3, 0, 4}));
    EXPECT_TRUE(Effects::DeactivateElectricity({3, 0, 4}));
    EXPECT_EQ(Effects::LateList().Count(), 0);
}

TEST_F(EffectListTest, BoltEndsStayOnTheBaseLine)
{
    Effects::AddElectricity(At(0), {0, 0, 0}, {{12, 0, 0}, false, 3.0f, nullptr});
    EffectRecord* r = *Effects::WorldList().At(0);
    bool moved = false;
    for (int frame = 1; frame < 20; ++frame) {
        Frame(frame * 0.06);
        EXPECT_EQ(r->points[0], r->points[7]);
        EXPECT_EQ(r->points[6], r->points[13]);
        moved = moved || !(r->points[3] == r->points[10]);
    }
    EXPECT_TRUE(moved);
    // One emitter request a segment a frame.
    EXPECT_EQ(Requests().size(), 19u * 6u);
}

TEST_F(EffectListTest, FenceRefusesPointsThatAreNotFinite)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(Effects::AddLaserFence({nan, 0, 0}, {1, 0, 0}));
    EXPECT_FALSE(Effects::AddLaserFence({0, 0, 0}, {1, inf, 0}));
    EXPECT_EQ(Effects::LateList().Count(), 0);
    ASSERT_TRUE(Effects::AddLaserFence({0, 0, 0}, {0, 0, 0}));
    Frame(0);
    Frame(0.01);
    EXPECT_EQ(Effects::LateList().Count(), 1);
}

TEST_F(EffectListTest, TracesLastTheirSpanAndBeamsAreAtLeastOnePixelWide)
{
    Effects::AddBeamTrace(At(0), {0, 0, 0}, {1, 0, 0}, Colour{}, 0.2f);
    Effects::AddCursorTrace(Ticks(0.1), At(0), {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, Colour{});
    EXPECT_FLOAT_EQ(Effects::FindFirst(Effects::LateList(), EffectKind::BeamTrace)->size, 1.0f);
    struct Row {
        double seconds;
        int beams, cursors;
    };
    const Row rows[] = {{0.0, 1, 1}, {0.24, 1, 1}, {0.25, 0, 1}, {0.47, 0, 1}, {0.475, 0, 0}};
    for (const Row& row : rows) {
        Frame(row.seconds);
        EXPECT_EQ(Effects::CountKind(Effects::LateList(), EffectKind::BeamTrace), row.beams) << row.seconds;
        EXPECT_EQ(Effects::CountKind(Effects::LateList(), EffectKind::CursorTrace), row.cursors) << row.seconds;
    }
}

TEST_F(EffectListTest, DissolveLastsSixSecondsAndTakesOneReference)
{
    FakeObject* o = FakeObject::Make();
    Effects::AddDestructionEffect(o, At(0));
    EXPECT_EQ(o->RefCount(), 2);
    EXPECT_EQ(Requests().size(), 1u);
    Frame(3.0);
    // No clip planes without a device: the object shrinks from the top.
    EXPECT_NEAR(o->instance_->placement_.Scale().y, 0.5f, 0.01f);
    Frame(6.0);
    EXPECT_EQ(Effects::WorldList().Count(), 1);
    Frame(6.01);
    EXPECT_EQ(Effects::WorldList().Count(), 0);
    EXPECT_EQ(o->RefCount(), 1);
    o->Release();
}

TEST_F(EffectListTest, ExplosionAreaGoesOffOnceASecondInsideItsRectangle)
{
    Effects::AddExplosionArea({0, 4, 0}, {10, 4, 10});
    Frame(0.99);
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::Flash), 0);
    Frame(1.0);
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::Flash), 1);
    Frame(1.5);
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::Flash), 1);
    Frame(2.0);
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::Flash), 2);
    for (EffectRecord* r : Effects::WorldList()) {
        if (r->kind != EffectKind::Flash)
            continue;
        const Vec3 p = r->instance->placement_.Position();
        EXPECT_GE(p.x, 0);
        EXPECT_LE(p.x, 10);
        EXPECT_GE(p.z, 0);
        EXPECT_LE(p.z, 10);
    }
}

TEST_F(EffectListTest, ThereIsAFramePassUntilTheShadowsReplaceIt)
{
    Effects::Startup();
    EXPECT_NE(Effects::FramePass(), nullptr) << "the shadows' pass, installed by the start-up";
    // Put back before the shut-down, so the shadows the start-up made go with it.
    const ShadowHookTable installed = ShadowHooks();
    ShadowHooks() = ShadowHookTable{};
    EXPECT_EQ(Effects::FramePass(), &FramePassStandIn::Run);
    Effects::AddScreenFade(1.0f, {});
    FramePassStandIn::Run();
    EXPECT_EQ(Effects::LateList().Count(), 1);
    ShadowHooks().framePass = [] {};
    EXPECT_NE(Effects::FramePass(), &FramePassStandIn::Run);
    ShadowHooks() = installed;
    Effects::Shutdown();
    ShadowHooks() = ShadowHookTable{};
    EXPECT_EQ(Effects::FramePass(), nullptr);
    EXPECT_EQ(Effects::LateList().Count(), 0);
}

// The upgrade screen's item lists go in after the late list in either pass,
// once a frame; with nothing installed a frame draws none.
int gItemListFrames = 0;

TEST_F(EffectListTest, BothFramePassesDrawTheItemListsOnce)
{
    Effects::Startup();
    const ShadowHookTable installed = ShadowHooks();
    const struct {
        const char* pass;
        void (*run)();
    } passes[] = {
        {"the shadows' pass", [] { Effects::FramePass()(); }},
        {"the stand-in", FramePassStandIn::Run},
    };
    for (const auto& p : passes) {
        gItemListFrames = 0;
        Effects::SetItemListsHook(nullptr);
        p.run();
        Effects::SetItemListsHook([] { ++gItemListFrames; });
        p.run();
        p.run();
        EXPECT_EQ(gItemListFrames, 2) << p.pass;
    }
    Effects::SetItemListsHook(nullptr);
    ShadowHooks() = installed;
    Effects::Shutdown();
    ShadowHooks() = ShadowHookTable{};
}

} // namespace

// Light-giving effects and liquids: lights kept and removed with their
// records, the spotlight's drift, pulsing colours, liquid sizes, levels,
// speeds and ripples.
#include <gtest/gtest.h>

#include <cmath>

#include "Veapi/light_set.h"
#include "Veapi/ve_shape.h"
#include "effect_support.h"
#include "effects/effect_maths.h"
#include "effects/effect_shapes.h"

using namespace effecttest;

namespace {

class LightEffectTest : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        LightSet::CreateGlobals(new LightSet);
        EffectShapes::Build();
    }
    void TearDown() override
    {
        EffectTest::TearDown();
        EffectShapes::Release();
        LightSet::DestroyGlobals();
    }
    static int32_t GlobalLightCount() { return LightSet::Global(0)->LightCount(); }
};

TEST_F(LightEffectTest, LightsPastTheSetsLimitAreSkippedAndAllGoWithTheirRecords)
{
    Colour c;
    c.Set(1, 0.5f, 0.25f, 1);
    Effects::AddLightRay(At(0), {0, 0, 0}, c);
    Effects::AddLightRay(At(0), {5, 0, 0}, c);
    EXPECT_EQ(GlobalLightCount(), 8);
    int kept = 0;
    for (EffectRecord* r : Effects::WorldList())
        for (Light* light : r->lights)
            kept += light != nullptr;
    EXPECT_EQ(kept, 8);
    // A spotlight now finds the set full: it keeps no handle, and frames go on.
    Effects::AddSpotlight({0, 0, 0}, At(0));
    Frame(0.1);
    Frame(0.2);
    EXPECT_EQ(GlobalLightCount(), 8);
    Effects::ClearAll();
    EXPECT_EQ(GlobalLightCount(), 0);
}

// Spotlights stop being added at 64 records; the ones there keep working.
TEST_F(LightEffectTest, SpotlightRecordsStopAtTheirCap)
{
    for (int i = 0; i < 100; ++i)
        Effects::AddSpotlight({float(i), 0, 0}, At(0));
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::Spotlight), 64);
    Frame(0.1);
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::Spotlight), 64);
    EXPECT_LE(GlobalLightCount(), 8);
    Effects::ClearAll();
    Effects::AddSpotlight({0, 0, 0}, At(0));
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::Spotlight), 1);
}

TEST_F(LightEffectTest, RayColourRecoloursEveryRayAndIgnoresAnEmptyList)
{
    Colour red, blue;
    red.Set(1, 0, 0, 1);
    blue.Set(0, 0, 1, 1);
    Effects::SetRayColour(blue);
    Effects::AddLightRay(At(0), {0, 0, 0}, red);
    Effects::SetRayColour(blue);
    EffectRecord* r = *Effects::WorldList().At(0);
    EXPECT_FLOAT_EQ(r->lightSet->Material().emissive.b, 1.0f);
    for (Light* light : r->lights) {
        EXPECT_FLOAT_EQ(light->Description().diffuse.b, 1.0f);
        EXPECT_FLOAT_EQ(light->Description().specular.b, 0.5f);
    }
}

TEST_F(LightEffectTest, RayLightsClimbAndWrapToTheBottom)
{
    EffectWorld().weatherPosition = {0, -10, 0};
    Colour c;
    Effects::AddLightRay(At(0), {0, 0, 0}, c);
    EffectRecord* r = *Effects::WorldList().At(0);
    const float start = (*r->lights.At(0))->Description().position.y;
    EXPECT_FLOAT_EQ(start, 0.0f);
    for (int frame = 1; frame <= 11; ++frame)
        Frame(frame * 0.031);
    // Ten steps up reach the sky at -10; the eleventh goes back to the point.
    EXPECT_FLOAT_EQ((*r->lights.At(0))->Description().position.y, 0.0f);
}

TEST_F(LightEffectTest, SpotlightDriftsTowardsTheNearestCharacterAtTwoMetresASecond)
{
    static std::vector<Vec3> squad;
    squad.clear();
    EffectWorld().squadPositions = [] { return squad; };
    Effects::AddSpotlight({0, 0, 0}, At(0));
    EffectRecord* r = *Effects::WorldList().At(0);
    Frame(1.0);
    EXPECT_EQ(r->points[1], (Vec3{0, 0, 0}));  // empty squad: stays
    EXPECT_EQ(GlobalLightCount(), 1);         // its light re-made each frame
    squad = {{0, 0, 20}, {10, 0, 0}, {-10, 0, 0}};
    Frame(1.5);
    EXPECT_NEAR(r->points[1].x, 1.0f, 0.01f);  // the first of two equals wins
    EXPECT_NEAR(r->points[1].z, 0.0f, 1e-5f);
    Frame(2.5);
    EXPECT_NEAR(r->points[1].x, 3.0f, 0.01f);
    EXPECT_EQ(GlobalLightCount(), 1);
    Frame(10.0);
    EXPECT_NEAR(r->points[1].x, 10.0f, 1e-4f);  // never overshoots
}

TEST_F(LightEffectTest, PulsingLightSwapsColoursEachPeriodOnlyWhileActive)
{
    struct Row {
        bool active;
        float period;
        std::vector<float> reds;  // after frames at 0, 0.5, 1.0, 1.5, 2.0 s
    };
    const Row rows[] = {
        {true, 1.0f, {0, 0, 1, 1, 0}},
        {false, 1.0f, {1, 1, 1, 1, 1}},
        // A period at or below zero switches every frame.
        {true, 0.0f, {0, 1, 0, 1, 0}},
        {true, -3.0f, {0, 1, 0, 1, 0}},
    };
    for (const Row& row : rows) {
        Effects::PulseColours colours;
        colours.first.Set(1, 0, 0, 1);
        colours.second.Set(0, 1, 0, 1);
        colours.periodSeconds = row.period;
        FakeNow() = At(0);
        Effects::AddPulsingLight(row.active, {0, 0, 0}, colours);
        EffectRecord* r = *Effects::WorldList().At(0);
        std::vector<float> reds;
        for (double s : {0.0, 0.5, 1.0, 1.5, 2.0}) {
            Frame(s);
            reds.push_back((*r->lights.At(0))->Description().diffuse.r);
        }
        EXPECT_EQ(reds, row.reds) << row.active << " " << row.period;
        Effects::ClearAll();
    }
}

class LiquidTest : public EffectTest {
protected:
    static EffectRecord& Add(float width, int32_t detail, bool ripples, float height = 1.0f)
    {
        Effects::LiquidParams p;
        p.first = {0, 4, 0};
        p.second = {width, 4, 5};
        p.ripples = ripples;
        p.rippleHeight = height;
        p.texture = "bitmaps\\water.rim";
        Effects::AddLiquid(At(0), detail, p);
        return **Effects::WorldList().At(0);
    }
    // The flat grid's four corners, as drawn, span the rectangle between
    // `a` and `b` at their mean height.
    static void ExpectCovers(EffectRecord& r, const Vec3& a, const Vec3& b)
    {
        const Matrix34& m = r.instance->placement_.ScaledMatrix();
        Vec3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
        for (const Vec3& corner : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{1, 1, 0}}) {
            const Vec3 w = m.TransformPoint(corner);
            lo = {std::min(lo.x, w.x), std::min(lo.y, w.y), std::min(lo.z, w.z)};
            hi = {std::max(hi.x, w.x), std::max(hi.y, w.y), std::max(hi.z, w.z)};
        }
        EXPECT_NEAR(lo.x, std::min(a.x, b.x), 1e-4f);
        EXPECT_NEAR(hi.x, std::max(a.x, b.x), 1e-4f);
        EXPECT_NEAR(lo.z, std::min(a.z, b.z), 1e-4f);
        EXPECT_NEAR(hi.z, std::max(a.z, b.z), 1e-4f);
        EXPECT_NEAR(lo.y, (a.y + b.y) / 2, 1e-4f);
        EXPECT_NEAR(hi.y, (a.y + b.y) / 2, 1e-4f);
    }
};

TEST_F(LiquidTest, DetailDefaultsBySizeAndSidesAreAtLeastOneMetre)
{
    struct Row {
        float width;
        int32_t detail, columns;
    };
    const Row rows[] = {{10, 0, 4}, {20, 0, 4}, {24, 0, 4}, {16, 4, 5}, {0.2f, 0, 2}, {10, -3, 4}};
    for (const Row& row : rows) {
        EffectRecord& r = Add(row.width, row.detail, true);
        EXPECT_EQ(r.columns, row.columns) << row.width << " " << row.detail;
        EXPECT_GE(r.instance->placement_.Scale().x, 1.0f);
        Effects::ClearAll();
    }
    // Corners given the wrong way round describe the same area.
    Effects::LiquidParams p;
    p.first = {10, 0, 8};
    p.second = {0, 0, 0};
    Effects::AddLiquid(At(0), 0, p);
    EffectRecord& r = **Effects::WorldList().At(0);
    EXPECT_EQ(r.columns, -1);
    ExpectCovers(r, {0, 0, 0}, {10, 0, 8});
}

TEST_F(LiquidTest, TheSurfaceCoversTheAreaBetweenItsCorners)
{
    // The grid's corners, where its drawing matrix puts them: flat at the
    // given height over the rectangle, and a ripple of 1 rises 1 metre.
    struct Row {
        Vec3 first, second;
    };
    const Row rows[] = {{{0, -0.5f, 0}, {10, -0.5f, 10}}, {{2, 3, 5}, {4, 3, 20}}, {{-6, 0, -1}, {6, 0, -4}}};
    for (const Row& row : rows) {
        Effects::LiquidParams p;
        p.first = row.first;
        p.second = row.second;
        p.rippleHeight = 1;
        p.ripples = true;
        Effects::AddLiquid(At(0), 0, p);
        ExpectCovers(**Effects::WorldList().At(0), row.first, row.second);
        const Matrix34& m = (**Effects::WorldList().At(0)).instance->placement_.ScaledMatrix();
        const Vec3 base = m.TransformPoint({0.5f, 0.5f, 0}), raised = m.TransformPoint({0.5f, 0.5f, 1});
        EXPECT_NEAR((raised - base).Length(), 1.0f, 1e-4f) << "a ripple keeps its height";
        Effects::ClearAll();
    }
}

TEST_F(LiquidTest, RaisingByTwoPointNineMovesForTwoSecondsThenSnaps)
{
    EffectRecord& r = Add(10, 0, false);
    Frame(0);
    LiquidEffect::ChangeLevel(r, 2.9f, At(0));
    EXPECT_EQ(r.timeB, uint64_t(At(0) + Ticks(2.0)));
    struct Row {
        double seconds;
        float height;
    };
    // y grows downwards: the target lies 2.9 below, approached a metre a second.
    const Row rows[] = {{0.5, 5.4f}, {1.0, 5.9f}, {1.5, 6.4f}, {2.0, 6.9f}};
    for (const Row& row : rows) {
        Frame(row.seconds);
        EXPECT_NEAR(r.instance->placement_.Position().y, row.height, 0.01f) << row.seconds;
    }
    EXPECT_EQ(r.timeB, 0u);
}

TEST_F(LiquidTest, LevelChangesRefuseNonFiniteAmounts)
{
    EffectRecord& r = Add(10, 0, false);
    LiquidEffect::ChangeLevel(r, std::numeric_limits<float>::quiet_NaN(), At(0));
    LiquidEffect::ChangeLevel(r, std::numeric_limits<float>::infinity(), At(0));
    EXPECT_FLOAT_EQ(r.param, 4.0f);
    EXPECT_EQ(r.timeB, 0u);
}

TEST_F(LiquidTest, SpeedZeroStopsScrollingAndRippling)
{
    EffectRecord& r = Add(10, 4, true, 1.0f);
    LiquidEffect::SetSpeed(r, 0.0f);
    auto snapshot = [&r] {
        std::vector<float> v;
        ShapeInstance* root = r.instance->Root();
        std::vector<ShapeInstance*> stack{root};
        while (!stack.empty()) {
            ShapeInstance* n = stack.back();
            stack.pop_back();
            for (VeShape* s : n->slots_)
                if (s)
                    for (SubMesh* m : s->SubMeshes())
                        for (uint32_t i = 0; i < m->vertexCount; ++i)
                            v.insert(v.end(), m->Vertex(i) + 2, m->Vertex(i) + 8);
            for (ShapeInstance* c : n->children_)
                stack.push_back(c);
        }
        return v;
    };
    Frame(0.5);
    const auto first = snapshot();
    Frame(3.0);
    EXPECT_EQ(snapshot(), first);
    LiquidEffect::SetSpeed(r, 1.0f);
    Frame(3.5);
    EXPECT_NE(snapshot(), first);
}

TEST_F(LiquidTest, NearestSurfaceOfTwoAtEqualDistanceIsTheFirstFound)
{
    Effects::LiquidParams p;
    p.first = {-10, 0, 0};
    p.second = {-5, 0, 5};
    Effects::AddLiquid(At(0), 0, p);
    EffectRecord* left = *Effects::WorldList().At(0);
    p.first = {10, 0, 0};
    p.second = {15, 0, 5};
    Effects::AddLiquid(At(0), 0, p);
    EffectRecord* head = *Effects::WorldList().At(0);
    EXPECT_NE(head, left);
    EXPECT_EQ(Effects::FindNearestLiquid({0, 0, 0}), head);
    EXPECT_EQ(Effects::FindNearestLiquid({-9, 0, 0}), left);
    Effects::ClearAll();
    EXPECT_EQ(Effects::FindNearestLiquid({0, 0, 0}), nullptr);
}

TEST_F(LiquidTest, RippleStaysRightAfterTwentyFourMinutes)
{
    EffectRecord& r = Add(10, 4, true, 2.0f);
    // 25 minutes on: the phase comes from the elapsed 64-bit time.
    Frame(25 * 60.0);
    ShapeInstance* root = r.instance->Root();
    ASSERT_NE(root, nullptr);
    bool any = false;
    std::vector<ShapeInstance*> stack{root};
    while (!stack.empty()) {
        ShapeInstance* n = stack.back();
        stack.pop_back();
        for (VeShape* s : n->slots_)
            if (s)
                for (SubMesh* m : s->SubMeshes())
                    for (uint32_t i = 0; i < m->vertexCount; ++i) {
                        const float* v = m->Vertex(i);
                        ASSERT_TRUE(std::isfinite(v[2]) && std::isfinite(v[6]) && std::isfinite(v[7]));
                        EXPECT_LE(std::fabs(v[2]), 2.0f * 0.15f + 1e-5f);
                        any = true;
                    }
        for (ShapeInstance* c : n->children_)
            stack.push_back(c);
    }
    EXPECT_TRUE(any);
}

} // namespace

// The arithmetic of the rules against closed forms: table sines against
// std::sin, sphere-map coordinates against the sphere, fence orientations
// against their direction, and the guards against degenerate input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "effect_support.h"
#include "effects/draw_hooks.h"
#include "effects/effect_maths.h"

using namespace EffectMaths;

namespace {

constexpr double kTurn = 4096.0;
constexpr double kStep = 2.0 * M_PI / kTurn;  // what one table step moves a sine by at most

double Sin(double steps) { return std::sin(steps * 2.0 * M_PI / kTurn); }

TEST(RippleTest, VerticesFollowTheSineWithinOneTableStep)
{
    const Vec3 direction{0.3f, -0.7f, 0};
    const RippleTerm terms[] = {{2, 0, 1, 3072}, {1, 3072, 2, 2048}, {1, 1024, 2, 0}, {2, 2048, 1, 1024}};
    for (double phase : {0.0, 17.25, 1000.5, 4095.9}) {
        for (const RippleTerm& t : terms) {
            for (float x : {0.0f, 0.25f, 0.8f}) {
                for (bool clear : {false, true}) {
                    const float y = 1.0f - x;
                    const double a = direction.x * 4096.0 * x + direction.y * 4096.0 * y + phase;
                    const double k = clear ? 0.006 : 0.001;
                    const RippleResult r = Ripple(x, y, phase, t, 2.0f, direction, clear);
                    // Each term reads the table at most one step off; 0.15 a and
                    // 0.125 a are floored separately.
                    EXPECT_NEAR(r.height, Sin(a) * 2.0 * 0.15, 2.0 * 0.15 * kStep * 1.01);
                    EXPECT_NEAR(r.u, x + k * Sin(t.m * phase + t.offU) + 0.02 * Sin(0.15 * a), (k + 0.02) * kStep * 1.01);
                    EXPECT_NEAR(r.v, y + k * Sin(t.m2 * phase + t.offV) + 0.02 * Sin(0.125 * a), (k + 0.02) * kStep * 1.01);
                    const RippleResult flat = Ripple(x, y, phase, t, 0.0f, direction, clear);
                    EXPECT_EQ(flat.height, 0.0f);
                    EXPECT_NEAR(flat.u, x + 0.003 * Sin(t.m * phase + t.offU), 0.003 * kStep * 1.01);
                }
            }
        }
    }
}

TEST(RippleTest, PatternAlternatesAlongARowAndFlipsPastTheColumns)
{
    RipplePattern p(3);
    const int expected[][4] = {{2, 0, 1, 3072}, {1, 3072, 2, 2048}, {2, 0, 1, 3072}, {1, 1024, 2, 0},
                               {2, 2048, 1, 1024}, {1, 1024, 2, 0}, {2, 2048, 1, 1024}, {2, 0, 1, 3072}};
    for (const auto& e : expected) {
        const RippleTerm t = p.Next();
        EXPECT_EQ((std::array<int, 4>{t.m, t.offU, t.m2, t.offV}), (std::array<int, 4>{e[0], e[1], e[2], e[3]}));
    }
}

TEST(RippleTest, HugeAndBrokenPhasesStillReadInsideTheTable)
{
    for (double angle : {1e30, -1e30, -5.5, 4096.0 * 1e9 + 0.5, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
        const float s = TableSine(angle);
        EXPECT_TRUE(std::isfinite(s));
        EXPECT_LE(std::fabs(s), 1.0f);
    }
    EXPECT_NEAR(TableSine(-1024.0), -1.0f, 1e-6f);
    EXPECT_TRUE(std::isfinite(RipplePhase(1e12, 1e30f)));
    EXPECT_LT(RipplePhase(1e12, 0.5f), 4096.0);
}

TEST(SphereMapTest, CoordinatesLieOnTheSphereAndBackFacesAreLeftAlone)
{
    for (float theta = 0.05f; theta < 3.1f; theta += 0.3f) {
        for (float phi = 0.0f; phi < 6.2f; phi += 0.5f) {
            const Vec3 n{std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
            float u = -1, v = -1;
            const bool facing = SphereMapHook::Coordinates(n, u, v);
            EXPECT_EQ(facing, n.z <= 0.0f);
            if (!facing)
                continue;
            // The disc of radius 1/2 about (1/2, 1/2), with the rim at grazing normals.
            const float du = u - 0.5f, dv = v - 0.5f;
            EXPECT_NEAR(du * du + dv * dv, 0.25f * (1 - n.z * n.z), 1e-5f);
            EXPECT_NEAR(du, 0.5f * n.x, 1e-6f);
            EXPECT_NEAR(dv, -0.5f * n.y, 1e-6f);
        }
    }
}

TEST(SphereMapTest, HookRewritesFacingVerticesOnceDetachedAndRestoresTheTextures)
{
    VeShape* shape = effecttest::BoxShape();
    VeObject* box = VeObject::FromShape(shape, false);
    shape->Release();
    const int32_t texturesBefore = box->Textures().Count();
    auto* hook = new SphereMapHook("ground\\shiny.rim");
    hook->BeforeDraw(*box);
    EXPECT_EQ(box->Textures().Count(), 1);
    for (SubMesh* m : box->Root()->slots_[0]->SubMeshes()) {
        EXPECT_EQ(m->shared, nullptr);
        for (uint32_t i = 0; i < m->vertexCount; ++i) {
            const float* v = m->Vertex(i);
            float u = 0, w = 0;
            if (SphereMapHook::Coordinates({v[3], v[4], v[5]}, u, w)) {
                EXPECT_FLOAT_EQ(v[6], u);
                EXPECT_FLOAT_EQ(v[7], w);
            }
        }
    }
    hook->AfterDraw(*box);
    EXPECT_EQ(box->Textures().Count(), texturesBefore);
    hook->BeforeDraw(*box);  // a second draw finds the meshes already detached
    hook->AfterDraw(*box);
    hook->Release();
    box->Release();
}

TEST(PlacementHookTest, PutsThePlacementBackEvenWhenItsDrawIsDropped)
{
    VeShape* shape = effecttest::BoxShape();
    VeObject* box = VeObject::FromShape(shape, false);
    shape->Release();
    box->placement_.SetPosition({1, 2, 3});
    auto* hook = new PlacementOverrideHook({9, 9, 9}, {2, 2, 2}, 0.5f);
    hook->BeforeDraw(*box);
    EXPECT_EQ(box->placement_.Position(), (Vec3{9, 9, 9}));
    hook->Release();  // dropped before its AfterDraw
    EXPECT_EQ(box->placement_.Position(), (Vec3{1, 2, 3}));
    EXPECT_EQ(box->RefCount(), 1);
    box->Release();
}

TEST(BoltTest, PerpendicularIsAUnitVectorAtRightAnglesEvenWhenParallel)
{
    const Vec3 cases[][2] = {{{1, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {3, 0, 0}}, {{0, 0, 2}, {0, 0, 0}},
                             {{0, 0, 0}, {0, 0, 0}}, {{1, 1, 1}, {-2, -2, -2}}};
    for (const auto& c : cases) {
        const Vec3 p = Perpendicular(c[0], c[1]);
        EXPECT_NEAR(p.Length(), 1.0f, 1e-5f);
        EXPECT_NEAR(p.Dot(c[0]), 0.0f, 1e-5f);
    }
}

TEST(FenceTest, OrientationTurnsTheStripAlongItsSegment)
{
    const Vec3 directions[] = {{1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 0, -3}, {1, 1, 0}, {2, -1, 2}, {0.2f, 5, -1}};
    for (const Vec3& d : directions) {
        const Quaternion q = FenceOrientation({1, 1, 1}, Vec3{1, 1, 1} + d);
        const Vec3 along = q.Rotate({1, 0, 0});
        const Vec3 want = d.Normalised();
        // Half angles read from the table: a few steps of slack.
        EXPECT_NEAR(along.x, want.x, 0.005f) << d.x << " " << d.y << " " << d.z;
        EXPECT_NEAR(along.y, want.y, 0.005f);
        EXPECT_NEAR(along.z, want.z, 0.005f);
    }
}

TEST(FogAlphaTest, SmokeAlphaIsClampedAndPresetAlphaIsScaled)
{
    struct Row {
        uint32_t fog;
        float smoke, preset;
    };
    const Row rows[] = {{0, 1.0f, 0.3f}, {127, 1.0f, 0.15f}, {251, 0.9f, 0.3f * 3 / 254},
                        {254, 0.0f, 0.0f}, {9999, 0.0f, 0.0f}};
    for (const Row& row : rows) {
        EXPECT_NEAR(FogAlpha(row.fog), row.smoke, 1e-5f) << row.fog;
        EXPECT_NEAR(FogAlphaScaled(row.fog), row.preset, 1e-5f) << row.fog;
    }
}

// A unit in plain view shows its shell fading out; fog hides it as it hides
// the unit, never the other way round.
TEST(FogAlphaTest, ShellShowsOverAUnitInViewAndFadesWithTheFog)
{
    struct Row {
        uint32_t fog;
        float f, alpha;
    };
    const Row rows[] = {{0, 0.0f, 1.0f},   {0, 0.25f, 0.75f}, {0, 1.0f, 0.0f},  {127, 0.0f, 0.5f},
                        {127, 0.75f, 0.25f}, {254, 0.0f, 0.0f}, {9999, 0.0f, 0.0f}, {0, 1.5f, 0.0f}};
    for (const Row& row : rows)
        EXPECT_NEAR(ShellAlpha(row.fog, row.f), row.alpha, 1e-5f) << row.fog << " at " << row.f;
}

} // namespace

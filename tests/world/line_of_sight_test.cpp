#include "world/line_of_sight.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "sample_level_fixture.h"
#include "world/collision_query.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

struct SightCase {
    const char* name;
    Vec3 from, to;
    bool clear;
    Vec3 blockedAt;
};

void ExpectNear(const Vec3& got, const Vec3& want, const std::string& what)
{
    EXPECT_NEAR(got.x, want.x, 1e-3) << what;
    EXPECT_NEAR(got.y, want.y, 1e-3) << what;
    EXPECT_NEAR(got.z, want.z, 1e-3) << what;
}

// The sample level: a floor at y = 0 (up is negative y), walls 3 m high
// along x = 0 and z = 0, a ramp from x = 20 rising 2 m to a platform.
TEST(LineOfSight, SampleLevelLinesBlockWhereTheGeometryIs)
{
    leveltest::SampleLevel sample;
    if (!sample.Load())
        GTEST_SKIP() << "no sample data";
    Level::Current() = sample.level.get();
    const Vec3 none{0, 0, 0};
    const SightCase cases[] = {
        {"across the floor", {5, -1, 5}, {15, -1, 15}, true, none},
        {"through the wall at z = 0", {5, -1, 5}, {5, -1, -5}, false, {5, -1, 0}},
        {"down through the floor", {5, -1, 5}, {5, 1, 5}, false, {5, 0, 5}},
        {"into the ramp", {18, -0.5f, 2.5f}, {28, -0.5f, 2.5f}, false, {21.25f, -0.5f, 2.5f}},
        {"over the top of the wall", {5, -4, 5}, {5, -4, -5}, true, none},
        {"ending on the floor", {5, -1, 5}, {5, 0, 5}, false, {5, 0, 5}},
        {"edge-on along the floor", {1, 0, 1}, {4, 0, 4}, true, none},
    };
    for (const SightCase& c : cases) {
        Vec3 out{99, 99, 99};
        EXPECT_EQ(LineOfSight(c.from, c.to, &out), c.clear) << c.name;
        if (c.clear) {
            EXPECT_EQ(out, Vec3(99, 99, 99)) << c.name;
        } else {
            ExpectNear(out, c.blockedAt, c.name);
        }
        EXPECT_EQ(LineOfSight(c.from, c.to, nullptr), c.clear) << c.name << " without a point";
    }
    Level::Current() = nullptr;
    EXPECT_TRUE(LineOfSight({5, -1, 5}, {5, -1, -5}, nullptr)) << "no level: nothing blocks";
}

// Cutting the level into boxed pieces changes no answer: every line gives
// the same first hit as one query over the whole uncut shape.
TEST(LineOfSight, QueryTreeAnswersAsTheWholeShape)
{
    leveltest::SampleLevel sample;
    if (!sample.Load())
        GTEST_SKIP() << "no sample data";
    for (uint32_t limit : {8u, 64u, 100000u}) {
        std::unique_ptr<ShapeInstance> tree = BuildQueryTree(*sample.levelShape, limit);
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> x(-2, 36), y(-5, 4), z(-2, 22);
        for (int i = 0; i < 400; ++i) {
            const Vec3 from{x(rng), y(rng), z(rng)}, to{x(rng), y(rng), z(rng)};
            CollisionHit whole, cut;
            const bool a = CollideSegmentWithMesh(whole, sample.levelShape, from, to - from);
            const bool b = CollideSegmentWithShapeTree(cut, *tree, from, to - from);
            ASSERT_EQ(a, b) << "limit " << limit << " line " << i;
            EXPECT_FLOAT_EQ(whole.fraction, cut.fraction) << "limit " << limit << " line " << i;
        }
    }
    // The level's own shape keeps its collision geometry.
    EXPECT_NE(sample.levelShape->geometry_, nullptr);
}

} // namespace

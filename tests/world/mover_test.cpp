#include "level_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace leveltest;

constexpr uint32_t kStart = 1000;
constexpr uint32_t kStep = 100000; // fine time units, as clock ticks are
constexpr float kRadius = 0.25f;

// A floor of 2 x 2 squares over 0..10, a ramp rising 2 over x 10..14, a
// barrier square (flag 0x40000) beyond z = 0 and slow ground (0x1000)
// beyond x = 0; the floor's far z edge at 10 leads nowhere.
CollisionSource MoverLevel()
{
    CollisionSource s;
    AddFloor(s, 0, 0, 0, 5, 2);
    AddPolygon(s, {{10, 0, 0}, {14, -2, 0}, {14, -2, 2}, {10, 0, 2}});
    AddPolygon(s, {{0, 0, -2}, {2, 0, -2}, {2, 0, 0}, {0, 0, 0}}, 0x40000);
    AddPolygon(s, {{-2, 0, 0}, {0, 0, 0}, {0, 0, 2}, {-2, 0, 2}}, 0x1000);
    return s;
}

std::unique_ptr<MoverBody> Body(float height = 1.8f, float radius = kRadius)
{
    return std::make_unique<MoverBody>(height, radius);
}

TEST(Mover, SlidesOverThePolygonsAndStopsWhereItMayNotGo)
{
    const CollisionSource source = MoverLevel();
    auto level = MakeLevel(source, 8, 2, 8);
    const struct {
        const char* name;
        float startX, startZ;
        float targetX, targetZ;
        int32_t elapsed;
        bool moved; // false: stopped at an edge
        Vec3 end;
        float tolerance;
    } cases[] = {
        {"inside one polygon", 5, 5, 5.5f, 5.8f, kStep, true, {5.5f, 0, 5.8f}, 1e-5f},
        {"across several polygons", 1, 1, 9, 9, kStep, true, {9, 0, 9}, 1e-3f},
        // The velocity is projected onto the ramp's plane: a quarter of the
        // time on the floor, the rest at 0.8 of the horizontal speed.
        {"up the ramp on its plane", 9, 1, 13, 1, kStep, true, {12.4f, -1.2f, 1}, 1e-3f},
        {"an edge that leads nowhere", 5, 9, 5, 12, kStep, false, {5, 0, 10 - kRadius}, 1e-3f},
        {"a barrier polygon", 1, 1, 1, -1, kStep, false, {1, 0, kRadius}, 1e-3f},
        {"slow ground: half the way", -1, 1, -1, 1.8f, kStep, true, {-1, 0, 1.4f}, 1e-4f},
        {"a time set back moves nothing", 5, 5, 7, 7, -50, true, {5, 0, 5}, 0},
        {"the same time moves nothing", 5, 5, 7, 7, 0, true, {5, 0, 5}, 0},
        {"no ground under it", 50, 50, 51, 51, kStep, true, {50, -1, 50}, 0},
        {"a target that is not a number", 5, 5, std::nanf(""), 7, kStep, true, {5, 0, 5}, 0},
        {"an infinite target", 5, 5, 7, -INFINITY, kStep, true, {5, 0, 5}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Vec3 at{c.startX, -1, c.startZ};
        Mover* mover = level->AddMover(at, Body(), kStart);
        const uint32_t time = kStart + static_cast<uint32_t>(c.elapsed);
        Vec3 target{c.targetX, 0, c.targetZ};
        EXPECT_EQ(level->AdvanceMover(target, *mover, time), c.moved);
        EXPECT_NEAR(target.x, c.end.x, c.tolerance);
        EXPECT_NEAR(target.y, c.end.y, c.tolerance);
        EXPECT_NEAR(target.z, c.end.z, c.tolerance);
        EXPECT_EQ(target, mover->position);
        EXPECT_EQ(mover->time, time);
        level->RemoveMover(mover);
    }
    EXPECT_TRUE(level->Movers().IsEmpty());
}

TEST(Mover, PlacedOnTheCentreOfTheGroundWithItsBodyClass)
{
    const CollisionSource source = MoverLevel();
    auto level = MakeLevel(source, 8, 2, 8);
    const struct {
        float height, radius;
        uint32_t flags;
    } cases[] = {
        {1.5f, 0.6f, 0x40140},
        {1.51f, 0.61f, 0x40140 | 0x200 | 0x80},
        {2, 1.2f, 0x40140 | 0x200 | 0x80 | 0x400},
    };
    for (const auto& c : cases) {
        Vec3 at{4.5f, -3, 6.5f};
        Mover* mover = level->AddMover(at, Body(c.height, c.radius), 7);
        EXPECT_EQ(at, Vec3(5, 0, 7));
        EXPECT_EQ(mover->position, at);
        EXPECT_NE(mover->surface, nullptr);
        EXPECT_EQ(mover->bodyClassFlags, c.flags);
        EXPECT_FLOAT_EQ(mover->reach, 0.4f * c.height);
    }
}

// A trapdoor high above the floor is taken away from under the mover: it
// falls under gravity, and lands on the floor once the fall reaches it.
TEST(Mover, FallsWhenItsGroundIsRemovedAndLands)
{
    CollisionSource floor, trapdoor;
    AddFloor(floor, 0, 0, 0, 2, 5);
    AddFloor(trapdoor, 0, 0, -1000, 1, 10);
    auto level = MakeLevel(floor, 4, 4, 4);
    int tag = 0;
    level->AddMesh(Owner(tag), {{&trapdoor, Matrix34::kIdentity}}, Matrix34::kIdentity);
    Vec3 at{5, -999, 5};
    Mover* mover = level->AddMover(at, Body(), 0);
    ASSERT_EQ(at.y, -1000);
    ASSERT_TRUE(level->RemoveMesh(Owner(tag)));
    EXPECT_EQ(mover->surface, nullptr);

    Vec3 target{5, 0, 5};
    EXPECT_TRUE(level->AdvanceMover(target, *mover, 5));
    EXPECT_NEAR(target.y, -1000 + 0.5f * 9.81f * 25, 1e-2f);
    EXPECT_EQ(mover->surface, nullptr);

    target = {5, 0, 5};
    EXPECT_TRUE(level->AdvanceMover(target, *mover, 40)); // lands after about 14.3
    EXPECT_NE(mover->surface, nullptr);
    EXPECT_NEAR(target.y, 0, 1e-3f);
    EXPECT_EQ(mover->time, 40u);
}

// Hundreds of slivers in a row: one call crosses a bounded number of them
// and stops the mover where it got to, instead of running on.
TEST(Mover, StopsAfterABoundedNumberOfCrossings)
{
    CollisionSource s;
    const int slivers = Level::kMaxCrossings * 2;
    const float width = 0.05f; // wider than the 0.01 push past an edge
    for (int i = 0; i < slivers; ++i) {
        const float x0 = static_cast<float>(i) * width;
        const float x1 = static_cast<float>(i + 1) * width; // the neighbour's corner, bit for bit
        AddPolygon(s, {{x0, 0, 0}, {x1, 0, 0}, {x1, 0, 1}, {x0, 0, 1}});
    }
    auto level = MakeLevel(s, 16, 1, 2);
    Vec3 at{0.025f, -1, 0.5f};
    Mover* mover = level->AddMover(at, Body(1, 0), 0);
    Vec3 target{static_cast<float>(slivers) * width - 0.025f, 0, 0.5f};
    EXPECT_FALSE(level->AdvanceMover(target, *mover, 10000000));
    EXPECT_GT(target.x, 5.0f);
    EXPECT_LT(target.x, static_cast<float>(slivers) * width);
    EXPECT_EQ(mover->time, 10000000u);

    // A shorter run crosses all its slivers; each crossing steps 0.01 past
    // the edge it leaves by, so it may end a little beyond the target.
    Vec3 near{2.0f, 0, 0.5f};
    at = {0.025f, -1, 0.5f};
    Mover* second = level->AddMover(at, Body(1, 0), 0);
    EXPECT_TRUE(level->AdvanceMover(near, *second, 10000000));
    EXPECT_GE(near.x, 2.0f - 1e-3f);
    EXPECT_LE(near.x, 2.0f + 40 * 0.0101f);
}

} // namespace

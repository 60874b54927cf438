// A body walking the generated sample level: up the ramp, stopped at the
// drop, the barrier and the closed door, through the open door.
#include "sample_level_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace leveltest;

TEST(SampleLevel, BodiesWalkItAsItWasBuilt)
{
    SampleLevel s;
    if (!s.Load())
        GTEST_SKIP() << "no sample data";
    Level& level = *s.level;
    EXPECT_NEAR(level.minimum_.y, -3, 1e-5f); // the walls' tops
    EXPECT_NEAR(level.maximum_.x, 35, 1e-5f);
    EXPECT_NEAR(level.floorHeight_, 3, 1e-5f); // the pit

    const struct {
        const char* name;
        bool doorOpen;
        Vec3 start;
        Vec3 target;
        bool moved;
        Vec3 end;
        float tolerance; // each crossing steps a centimetre on; the ramp's slope shortens the way
    } cases[] = {
        {"across the floor", false, {2.5f, 0, 2.5f}, {12, 0, 7}, true, {12, 0, 7}, 0.05f},
        {"up the ramp onto the platform", false, {17.5f, 0, 2.5f}, {29, 0, 2.5f}, true, {27.5f, -2, 2.5f}, 1.5f},
        {"stopped at the drop", false, {27.5f, -2, 2.5f}, {33, 0, 2.5f}, false, {29.75f, -2, 2.5f}, 1e-3f},
        {"stopped at the barrier", false, {12.5f, 0, 17.5f}, {18, 0, 17.5f}, false, {14.75f, 0, 17.5f}, 1e-3f},
        {"stopped at the closed door", false, {17.5f, 0, 12.5f}, {27, 0, 12.5f}, false, {19.75f, 0, 12.5f}, 1e-3f},
        {"through the open door", true, {17.5f, 0, 12.5f}, {27, 0, 12.5f}, true, {27, 0, 12.5f}, 0.05f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.doorOpen)
            s.OpenDoor();
        else
            s.CloseDoor();
        Vec3 at = c.start;
        at.y -= 0.5f;
        Mover* mover = level.AddMover(at, std::make_unique<MoverBody>(1.8f, 0.25f), 0);
        ASSERT_NE(mover->surface, nullptr);
        Vec3 target = c.target;
        EXPECT_EQ(level.AdvanceMover(target, *mover, 200000), c.moved);
        EXPECT_NEAR(target.x, c.end.x, c.tolerance);
        EXPECT_NEAR(target.y, c.end.y, 1e-3f);
        EXPECT_NEAR(target.z, c.end.z, c.tolerance);
        level.RemoveMover(mover);
    }
}

} // namespace

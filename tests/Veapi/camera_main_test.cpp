#include <gtest/gtest.h>

#include <cmath>

#include "Veapi/camera.h"

namespace {

TEST(MainCameraFollow, StandsBehindTheFocusAlongItsViewDirection)
{
    struct Case {
        float yaw;
        Vec3 focus;
        float distance;
        Vec3 expected;
    };
    const float quarter = 1.5707964f;
    const Case cases[] = {
        {0.0f, {0, 0, 0}, 10.0f, {0, 0, -10}},
        {0.0f, {3, 4, 5}, 2.0f, {3, 4, 3}},
        // A quarter turn of yaw looks along x one way or the other; the
        // camera stays the distance away on the far side of the focus.
        {quarter, {0, 0, 0}, 10.0f, {0, 0, 0}},
    };
    for (const Case& k : cases) {
        MainCamera c;
        c.SetYaw(k.yaw);
        c.focus_ = k.focus;
        c.distance_ = k.distance;
        c.FollowFocus();
        const Vec3 dir = c.GetViewDirection();
        const Vec3 expected = k.yaw == 0.0f ? k.expected : k.focus - dir * k.distance;
        EXPECT_NEAR(c.Position().x, expected.x, 1e-4f);
        EXPECT_NEAR(c.Position().y, expected.y, 1e-4f);
        EXPECT_NEAR(c.Position().z, expected.z, 1e-4f);
        EXPECT_NEAR((k.focus - c.Position()).Length(), k.distance, 1e-4f);
        // The focus is straight ahead: it projects to the viewport's centre.
        Vec3 s;
        ASSERT_TRUE(c.Project(k.focus, s));
        EXPECT_NEAR(s.x, c.CentreX(), 1e-3f);
        EXPECT_NEAR(s.y, c.CentreY(), 1e-3f);
        if (k.yaw != 0.0f) {
            EXPECT_NEAR(std::fabs(dir.x), 1.0f, 1e-4f);
        }
    }
}

TEST(MainCameraFollow, UnchangedFrameLeavesTheMatricesClean)
{
    MainCamera c;
    c.focus_ = {1, 2, 3};
    c.distance_ = 10.0f;
    c.requestedWidth_ = 2.0f;
    c.requestedHeight_ = 1.5f;
    c.FollowFocus();
    c.Place();
    const uint32_t built = c.Rebuilds();
    EXPECT_FALSE(c.IsDirty());

    struct Step {
        const char* what;
        void (*change)(MainCamera&);
        bool rebuilds;
    };
    const Step steps[] = {
        {"nothing", [](MainCamera&) {}, false},
        {"nothing again", [](MainCamera&) {}, false},
        {"focus", [](MainCamera& m) { m.focus_.x += 1.0f; }, true},
        {"distance", [](MainCamera& m) { m.distance_ = 12.0f; }, true},
        {"view size", [](MainCamera& m) { m.requestedWidth_ = 3.0f; }, true},
        {"yaw", [](MainCamera& m) { m.SetYaw(0.5f); }, true},
        {"nothing after changes", [](MainCamera&) {}, false},
    };
    uint32_t before = built;
    for (const Step& s : steps) {
        s.change(c);
        c.FollowFocus();
        c.Place();
        EXPECT_EQ(c.Rebuilds() != before, s.rebuilds) << s.what;
        EXPECT_FALSE(c.IsDirty()) << s.what;
        before = c.Rebuilds();
    }
}

TEST(MainCameraFollow, ViewSizeSetsTheProjectionScale)
{
    MainCamera c;
    c.requestedWidth_ = 4.0f;
    c.requestedHeight_ = 3.0f;
    c.FollowFocus();
    EXPECT_FLOAT_EQ(c.Projection()(0, 0), 0.5f);
    EXPECT_FLOAT_EQ(c.Projection()(1, 1), -2.0f / 3.0f);
    EXPECT_TRUE(c.Perspective());
}

} // namespace

// The listener stands at the camera's focus and hears the screen's right on
// its right.
#include <gtest/gtest.h>

#include "Veapi/camera.h"
#include "media/sound_system.h"

namespace {

TEST(Listener, StandsAtTheFocusAndHearsTheScreensRightOnItsRight)
{
    for (float yaw : {0.0f, 0.7f, 2.5f, -1.2f}) {
        MainCamera camera;
        camera.SetYaw(yaw);
        camera.SetPitch(0.3f);
        camera.focus_ = {3, -2, 7};
        camera.distance_ = 12.0f;
        camera.FollowFocus();
        const ListenerPlacement l = SoundSystem::ListenerAt(camera);
        EXPECT_NEAR((l.position - camera.focus_).Length(), 0.0f, 1e-3f) << yaw;
        EXPECT_NEAR(l.front.Dot(l.top), 0.0f, 1e-4f) << yaw;
        // OpenAL's right-handed rule: right = front x top.
        const Vec3 right = l.front.Cross(l.top);
        Vec3 screen;
        ASSERT_TRUE(camera.Project(l.position + right, screen));
        EXPECT_GT(screen.x, camera.CentreX() + 1.0f) << "yaw " << yaw;
        EXPECT_NEAR(screen.y, camera.CentreY(), 1.0f) << "yaw " << yaw;
    }
}

} // namespace

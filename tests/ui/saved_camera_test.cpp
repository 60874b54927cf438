// The camera's part of a full saved game: angles, focus and distance go
// through the file and are back at once, without easing from where the
// camera stood before the load.
#include "ui_fixture.h"

#include "session/saved_game.h"
#include "ui/saved_camera.h"

namespace {

class SavedCameraTest : public uitest::GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        SavedGame::GetHooks() = {};
        SavedCamera::Install();
        CameraController::Reset();
    }
    void TearDown() override
    {
        SavedGame::GetHooks() = {};
        CameraController::Reset();
        GameViewTest::TearDown();
    }
};

TEST_F(SavedCameraTest, TheViewComesBackAsSaved)
{
    const struct {
        float heading, pitch, roll;
        Vec3 focus;
        float zoom;
    } views[] = {
        {100, 600, 0, {10, 2, -5}, 30},
        {4000, 1024, 12, {-3, 0, 7}, 2},
    };
    for (const auto& v : views) {
        CameraController::SetHeading(v.heading);
        CameraController::SetPitch(v.pitch);
        CameraController::SetRoll(v.roll);
        ASSERT_TRUE(CameraController::SetFocus(v.focus.x, v.focus.y, v.focus.z));
        CameraController::Get().zoom = v.zoom;
        SavedGame::File file;
        file.levelScript = "l.tvs";
        file.companion = "l.tcs";
        file.levelStart = false;
        file.world.emplace();
        for (const auto& section : SavedGame::GetHooks().sections)
            section.save(*file.world);
        SavedGame::File back;
        std::string error;
        ASSERT_TRUE(SavedGame::Parse(SavedGame::Write(file), back, &error)) << error;

        CameraController::Reset();
        CameraController::SetHeading(2048);
        for (const auto& section : SavedGame::GetHooks().sections)
            ASSERT_TRUE(section.load(*back.world));
        for (int frame = 0; frame < 3; ++frame) {
            view_.now += kTicksPerSecond / 10;
            CameraController::UpdateAt(view_.now);
        }
        const CameraController::State& s = CameraController::Get();
        EXPECT_FLOAT_EQ(s.heading, v.heading);
        EXPECT_FLOAT_EQ(s.pitch, v.pitch);
        EXPECT_FLOAT_EQ(s.roll, v.roll);
        EXPECT_EQ(s.focus, v.focus);
        EXPECT_FLOAT_EQ(s.zoom, v.zoom);
    }
}

} // namespace

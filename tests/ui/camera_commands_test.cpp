// The camera and presentation commands through the console's dispatcher:
// what they leave in the camera controller and the bytes of the camera
// messages.
#include "ui_fixture.h"

#include "app/app_state.h"
#include "console/console.h"
#include "console/script_messages.h"
#include "session/message_sizes.h"
#include "ui/camera_commands.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"

#include <bit>
#include <cstring>

namespace {

using uitest::GameViewTest;

std::vector<std::vector<uint8_t>>& Sent()
{
    static std::vector<std::vector<uint8_t>> sent;
    return sent;
}

class CameraCommandsTest : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        Sent().clear();
        ScriptMessages::SetSink([](std::span<const uint8_t> block, bool) {
            Sent().emplace_back(block.begin(), block.end());
            return true;
        });
        ScriptMessages::SetRunsServer([] { return true; });
        CameraCommands::Install();
        TextConsole::Create();
        SetAppState(AppState::Playing);
    }
    void TearDown() override
    {
        TextConsole::Shutdown();
        SetAppState(AppState::None);
        ScriptMessages::SetSink(nullptr);
        ScriptMessages::SetRunsServer(nullptr);
        GameViewTest::TearDown();
    }
    static void Run(const char* line) { TextConsole::ExecuteAtFullAccess(line); }
    static std::vector<std::string> Lines()
    {
        std::vector<std::string> out;
        for (const auto& l : TextConsole::Get().lines)
            out.push_back(l.text);
        for (const auto& l : TextConsole::Get().pending)
            out.push_back(l.text);
        return out;
    }
    CameraController::State& S() { return CameraController::Get(); }
};

float F32At(const std::vector<uint8_t>& b, size_t at)
{
    float v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

TEST_F(CameraCommandsTest, PlacementLinesSetTheController)
{
    Run("SET CAMERA ORI 0 512 1024");
    EXPECT_FLOAT_EQ(S().roll, 0.0f);
    EXPECT_FLOAT_EQ(S().pitch, 512.0f);
    EXPECT_FLOAT_EQ(S().heading, 1024.0f);

    Run("SET CAMERA POS 1 2 3");
    EXPECT_FLOAT_EQ(S().focus.z, 3.0f);
    Run("SET DISTANCE 40");
    EXPECT_FLOAT_EQ(S().zoom, 40.0f);
    EXPECT_FLOAT_EQ(S().requiredZoom, 40.0f);

    Run("SET REQUIRED ORI 10 20");
    EXPECT_FLOAT_EQ(S().requiredPitch, 20.0f);
    EXPECT_FLOAT_EQ(S().requiredHeading, 0.0f);
    EXPECT_FLOAT_EQ(S().angleRate, 0.0f);

    SetAppState(AppState::MainMenu);
    TextConsole::Get().lines.clear();
    Run("SET CAMERA POS 9 9 9");
    EXPECT_FLOAT_EQ(S().focus.z, 3.0f);
    EXPECT_EQ(Lines().back(), TextConsole::Text(6056));
}

TEST_F(CameraCommandsTest, GetThenRestoreBringsBackTheFocusGetSaw)
{
    Run("SET CAMERA ORI 0 600 100");
    Run("SET DISTANCE 30");
    Run("SAVE CAMERA");
    Run("SET CAMERA ORI 0 700 200");
    Run("SET CAMERA POS 5.7 -1.2 8");
    TextConsole::Get().lines.clear();
    Run("GET CAMERA");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "(5,-2,8)");
    EXPECT_EQ(lines[1], "(0,700,200)");
    Run("SET CAMERA POS 0 0 0");
    Run("SET DISTANCE 50");
    Run("RESTORE CAMERA");
    EXPECT_FLOAT_EQ(S().focus.x, 5.7f);
    EXPECT_FLOAT_EQ(S().pitch, 600.0f);
    EXPECT_FLOAT_EQ(S().zoom, 30.0f);
}

TEST_F(CameraCommandsTest, CameraMessages)
{
    Run("CAMERA TRACK 0 0 0 1 0 0 2 0 0 3 0 0 0.5");
    ASSERT_EQ(Sent().size(), 1u);
    const auto& track = Sent()[0];
    EXPECT_EQ(track.size(), 56u);
    EXPECT_TRUE(MessageSizes::Fits(MessageSizes::Direction::kToClient, track));
    EXPECT_FLOAT_EQ(F32At(track, 40), 3.0f);
    EXPECT_FLOAT_EQ(F32At(track, 52), 0.5f);

    Sent().clear();
    Run("CAMERA TRACK 0 0 0 1 0 0 nosuchdummy 3 0 0"); // an unread point: nothing sent
    Run("TRACK");
    Run("TRACK -4");
    EXPECT_TRUE(Sent().empty());
    Run("TRACK 7");
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Sent()[0], (std::vector<uint8_t>{113, 0, 0, 0, 7, 0, 0, 0}));
}

TEST_F(CameraCommandsTest, ScreenSwitches)
{
    Run("BORDERS 0.1");
    EXPECT_TRUE(CameraCommands::GetBorders().on);
    EXPECT_FLOAT_EQ(CameraCommands::GetBorders().requiredWidth, 0.1f);
    EXPECT_FLOAT_EQ(CameraCommands::GetBorders().speed, 0.0f);
    Run("BORDERS OFF");
    EXPECT_FALSE(CameraCommands::GetBorders().on);

    struct Case {
        const char* line;
        bool vision;
    } const cases[] = {{"VISION", true}, {"VISION OFF", false}, {"VISION on", true}, {"VISION FALSE", false}};
    for (const Case& c : cases) {
        Run(c.line);
        EXPECT_EQ(CameraCommands::visionCones, c.vision) << c.line;
    }
    Run("DISABLE EPW");
    EXPECT_FALSE(CameraCommands::epwEnabled);
    Run("ENABLE EPW");
    EXPECT_TRUE(CameraCommands::epwEnabled);
}

TEST_F(CameraCommandsTest, RotateHoldsForClampedSeconds)
{
    Run("ROTATE CAMERA 5 2");
    EXPECT_TRUE(S().scriptMode);
    EXPECT_FLOAT_EQ(S().rotationSpeed, 5.0f);
    const int64_t two = S().holdUntil;
    Run("ELEVATE CAMERA 1 2147483647");
    EXPECT_FLOAT_EQ(S().elevationSpeed, 1.0f);
    EXPECT_GT(S().holdUntil, two); // no overflow into the past
    Run("FREE CAMERA FOCUS");
    EXPECT_FALSE(S().scriptMode);
}

TEST_F(CameraCommandsTest, EnvironmentalSoundsGoWithTheLevel)
{
    Run("PLAY ENVIRONMENTAL SOUND");
    EXPECT_TRUE(CameraCommands::EnvironmentalSounds().empty());
    Run("PLAY ENVIRONMENTAL SOUND 12");
    ASSERT_EQ(CameraCommands::EnvironmentalSounds().size(), 1u);
    const auto& record = CameraCommands::EnvironmentalSounds().front();
    EXPECT_EQ(record.id, 12u);
    EXPECT_EQ(record.block[3], 100);
    EXPECT_EQ(std::bit_cast<float>(record.block[1]), 5.0f);
    GameView::EndSession();
    EXPECT_TRUE(CameraCommands::EnvironmentalSounds().empty());
}

} // namespace

// The display-device screen on the real display: choosing a device closes
// the display and opens it again with a working 3-D device; a device that
// cannot be made (injected through the display layer's faults) ends the
// program with its own exit code.
#include "ui/front_end.h"
#include "ui/key_config.h"

#include "Veapi/ve3d.h"
#include "app/display_mode.h"
#include "app/string_table.h"
#include "Veapi/display_fixture.h"
#include "platform/gfx.h"
#include "support/string_texts.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FrontEndDevice : public displaytest::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        App::ModeHooks() = DisplayModeHooks{};
        App::ResetDisplayMode();
        LoadGlobalStringTable({{254, "Devices"}});
        ASSERT_TRUE(Display::Startup(nullptr));
        ASSERT_TRUE(Display::SetInitialMode());
        ASSERT_TRUE(Display::DeviceReady());
        FrontEnd::ResetServices();
        FrontEnd::Services& s = FrontEnd::GetServices();
        // The display's own services stay real; nothing else of the program runs.
        s.playSound = nullptr;
        s.enterResources = s.leaveResources = nullptr;
        s.writeKeyFile = nullptr;
        s.exitProgram = [this](int code) { exits.push_back(code); };
        FrontEnd::Enter();
        FrontEnd::GoToScreen(FrontEnd::kDisplayDevices, true);
        ASSERT_GT(FrontEnd::ScreenAt(FrontEnd::kDisplayDevices).items.Count(), 0) << "the display lists its device";
    }
    void TearDown() override
    {
        FrontEnd::Shutdown();
        FrontEnd::ResetServices();
        DisplayTest::TearDown();
        App::ModeHooks() = DisplayModeHooks{};
        App::ResetDisplayMode();
        StringTable::Global().Free();
    }
    static void ChooseFirstDevice()
    {
        FrontEnd::CurrentState().highlight = 0;
        FrontEnd::Choose();
    }
    std::vector<int> exits;
};

TEST_F(FrontEndDevice, ChoosingTheDeviceOpensTheDisplayAgainReadyToDraw)
{
    KeyConfig::DeviceInUse() = 1;  // what a key file of another device held
    ChooseFirstDevice();
    EXPECT_TRUE(exits.empty());
    EXPECT_EQ(KeyConfig::DeviceInUse(), Display::DeviceId()) << "the key file names the device in use";
    EXPECT_TRUE(Display::DeviceReady());
    EXPECT_NE(Display::Device(), nullptr) << "the 3-D device is made again, not only the screen";
    EXPECT_EQ(FrontEnd::CurrentState().screen, FrontEnd::kDisplayDevices);
}

TEST_F(FrontEndDevice, ADeviceThatCannotBeMadeEndsTheProgram)
{
    gfx::CurrentFaults().failDeviceCreations = 1000;
    ChooseFirstDevice();
    EXPECT_EQ(exits, std::vector<int>{FrontEnd::kExitDeviceFailed});
}

} // namespace

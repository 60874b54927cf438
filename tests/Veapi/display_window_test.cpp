// The display on the game's own window, as start-up opens it: the first mode
// at 640 x 480 x 16, then 32 bits, a cleared frame with a test quad, and the
// screenshot of it decoded by ImageMagick.
#include <cstdio>

#include "Veapi/screenshot.h"
#include "app/display_mode.h"
#include "display_fixture.h"
#include "platform/window.h"

namespace {

using displaytest::DisplayTest;
using displaytest::TempDir;

std::vector<std::vector<uint32_t>> DecodeWithImageMagick(const std::filesystem::path& file)
{
    return displaytest::DecodePpmFrom("convert '" + file.string() + "' ppm:- 2>/dev/null");
}

class DisplayOnGameWindow : public DisplayTest {
protected:
    void TearDown() override
    {
        DisplayTest::TearDown();
        window_.reset();
        App::ModeHooks() = DisplayModeHooks{};
        App::ResetDisplayMode();
    }
    std::unique_ptr<platform::Window> window_;
};

TEST_F(DisplayOnGameWindow, FirstModesFrameAndScreenshot)
{
    platform::WindowDesc desc;
    desc.title = "Trevok";
    desc.fullScreen = true;
    desc.openGl = true;
    window_ = platform::Window::Create(desc, platform::DefWindowProc);
    ASSERT_FALSE(window_->IsHeadless());
    ASSERT_TRUE(Display::Startup(window_->NativeHandle()));
    App::CurrentMode() = {640, 480, 16, 0};
    ASSERT_TRUE(Display::SetInitialMode());
    EXPECT_EQ(Display::Depth(), 16);
    ASSERT_EQ(App::SetDisplayMode(640, 480, 32, 0), 2);
    ASSERT_EQ(Display::Depth(), 32);
    ASSERT_TRUE(Display::DeviceReady());

    struct V {
        float x, y, z, rhw;
        uint32_t diffuse, specular;
        float u, v;
    };
    const V quad[] = {{320, 240, 0.5f, 1, 0xFFFFFF00, 0, 0, 0}, {400, 240, 0.5f, 1, 0xFFFFFF00, 0, 0, 0},
                      {400, 300, 0.5f, 1, 0xFFFFFF00, 0, 0, 0}, {320, 300, 0.5f, 1, 0xFFFFFF00, 0, 0, 0}};
    ASSERT_TRUE(Display::BeginScene());
    Display::ClearColour() = 0xFF2040C0;
    Display::Clear();
    ASSERT_TRUE(Display::Device()->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfTLVertex, quad, 4));
    Display::EndFrame(nullptr, nullptr);

    TempDir dir;
    const auto file = Screenshot::Save(dir.Path());
    ASSERT_EQ(file.filename(), "Screen.bmp");
    const auto rows = DecodeWithImageMagick(file);
    ASSERT_EQ(rows.size(), 480u);
    ASSERT_EQ(rows[0].size(), 640u);
    EXPECT_EQ(rows[0][0], 0x2040C0u);
    EXPECT_EQ(rows[479][639], 0x2040C0u);
    EXPECT_EQ(rows[240][320], 0xFFFF00u);
    EXPECT_EQ(rows[299][399], 0xFFFF00u);
    EXPECT_EQ(rows[239][320], 0x2040C0u);
    EXPECT_EQ(rows[300][399], 0x2040C0u);
    EXPECT_EQ(rows[270][400], 0x2040C0u);
}

} // namespace

namespace {

TEST_F(DisplayOnGameWindow, ShutdownAfterTheWindowIsGone)
{
    platform::WindowDesc desc;
    desc.openGl = true;
    window_ = platform::Window::Create(desc, platform::DefWindowProc);
    ASSERT_FALSE(window_->IsHeadless());
    ASSERT_TRUE(Display::Startup(window_->NativeHandle()));
    ASSERT_TRUE(Display::SetInitialMode());
    TextureEntry* t = TextureManager::Find(" kept");
    t->SetSurface(gfx::Texture::Create(8, 8, gfx::Argb8888(), 1));
    // At exit the window closes before the display shuts down.
    window_->Destroy();
    window_.reset();
    Display::Shutdown();
    EXPECT_FALSE(gfx::IsOpen());
    EXPECT_TRUE(t->Surface()->IsLost());
}

TEST_F(DisplayOnGameWindow, WindowWithoutGlIsRefused)
{
    platform::WindowDesc desc;
    window_ = platform::Window::Create(desc, platform::DefWindowProc);
    ASSERT_FALSE(window_->IsHeadless());
    EXPECT_FALSE(Display::Startup(window_->NativeHandle()));
}

} // namespace

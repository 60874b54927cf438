// The display and its 3-D device on the graphics layer: modes and their
// fall-backs, the z-depth fall-back, device choice, default states with the
// device quirks, validation logging, frames, and device loss.
#include <bit>
#include <fstream>
#include <sstream>

#include "display_fixture.h"

namespace {

using displaytest::DisplayTest;

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct TlVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u, v;
};

void DrawQuad(float x0, float y0, float x1, float y1, uint32_t colour)
{
    const TlVertex v[] = {{x0, y0, 0.5f, 1, colour, 0, 0, 0}, {x1, y0, 0.5f, 1, colour, 0, 1, 0},
                          {x1, y1, 0.5f, 1, colour, 0, 1, 1}, {x0, y1, 0.5f, 1, colour, 0, 0, 1}};
    ASSERT_TRUE(Display::Device()->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfTLVertex, v, 4));
}

TEST_F(DisplayTest, StartsAndSwitchesBetweenSixteenAndThirtyTwoBits)
{
    Start(640, 480, 16);
    EXPECT_EQ(Display::Width(), 640);
    EXPECT_EQ(Display::Height(), 480);
    EXPECT_EQ(Display::Depth(), 16);
    EXPECT_EQ(Display::Pitch(), 1280);
    EXPECT_EQ(Display::OpenState(), kOpenDirectDraw | kOpenTimer | kOpenDirect3D);
    for (int depth : {16, 32}) {
        SCOPED_TRACE(depth);
        Display::ReleaseDeviceObjects();
        ASSERT_EQ(Display::SetMode(640, 480, depth, 0), 2);  // double-buffered
        Display::RestoreDeviceObjects();
        EXPECT_EQ(Display::Depth(), depth);
        Display::ClearColour() = 0xFF20C040;
        ASSERT_TRUE(Display::BeginScene());
        Display::Clear();
        EXPECT_TRUE(Display::ScreenCleared());
        Display::EndFrame(nullptr, nullptr);
        EXPECT_EQ(ScreenPixel(0, 0), 0x20C040u);  // exact in 5-6-5 too
        EXPECT_EQ(ScreenPixel(639, 479), 0x20C040u);
    }
}

TEST_F(DisplayTest, TripleBufferingWhenAllowed)
{
    Display::Options().allowTripleBuffering = true;
    Start();
    EXPECT_EQ(Display::SetMode(800, 600, 32, 0), 1);
    EXPECT_TRUE(Display::Flags() & kModeTripleBuffer);
    Display::Options().allowTripleBuffering = false;
    EXPECT_EQ(Display::SetMode(640, 480, 32, 0), 2);
    EXPECT_FALSE(Display::Flags() & kModeTripleBuffer);
}

TEST_F(DisplayTest, ModeFallBacks)
{
    // A display without 32-bit modes.
    gfx::CurrentFaults().maxDisplayDepth = 16;
    Start(640, 480, 16);
    // Not a mode of the display: the previous mode comes back.
    EXPECT_EQ(Display::SetMode(1000, 700, 16, 0), 0);
    EXPECT_EQ(Display::Width(), 640);
    EXPECT_EQ(Display::Height(), 480);
    // 32 bits cannot be set, 24 is not listed either, 16 is taken.
    EXPECT_EQ(Display::SetMode(640, 480, 32, 0), 2);
    EXPECT_EQ(Display::Depth(), 16);
    EXPECT_FALSE(Display::IsModeSupported(640, 480, 32, 0));
}

TEST_F(DisplayTest, WindowedModesTakeTheDesktopDepth)
{
    Start(640, 480, 16);
    Display::ReleaseDeviceObjects();
    ASSERT_EQ(Display::SetMode(800, 600, 16, kModeWindowed), 1);
    Display::RestoreDeviceObjects();
    EXPECT_TRUE(Display::Flags() & kModeWindowed);
    EXPECT_EQ(Display::Width(), 800);
    EXPECT_EQ(Display::Depth(), gfx::DesktopMode().depth);
    EXPECT_TRUE(Display::DeviceReady());
    // Back to full screen.
    Display::ReleaseDeviceObjects();
    ASSERT_EQ(Display::SetMode(640, 480, 16, 0), 2);
    Display::RestoreDeviceObjects();
    EXPECT_FALSE(Display::Flags() & kModeWindowed);
    EXPECT_EQ(Display::Depth(), 16);
    // Leaving the application keeps the device usable.
    Display::RestoreDisplayMode();
    ASSERT_TRUE(Display::BeginScene());
    Display::Clear();
    Display::EndFrame(nullptr, nullptr);
    EXPECT_EQ(ScreenPixel(0, 0), 0u);
}

TEST_F(DisplayTest, ModeSupportRules)
{
    ASSERT_TRUE(Display::Startup(nullptr));
    struct Case {
        int width, height, depth;
        uint32_t flags;
        bool supported;
    };
    const Case cases[] = {
        {640, 480, 16, 0, true},  {640, 480, 32, 0, true},  {640, 480, 24, 0, false},
        {641, 480, 16, 0, false}, {640, 480, 32, kModeWindowed, true},
        {640, 480, 16, kModeWindowed, false},  // a window has the desktop's depth
    };
    for (const Case& c : cases)
        EXPECT_EQ(Display::IsModeSupported(c.width, c.height, c.depth, c.flags), c.supported)
            << c.width << "x" << c.height << "x" << c.depth << " " << c.flags;
    Display::Options().largestDepthIndex = 0;  // depths up to 16 only
    EXPECT_FALSE(Display::IsModeSupported(640, 480, 32, 0));
}

TEST_F(DisplayTest, ZDepthFallsBackToWhatTheMachineHas)
{
    struct Case {
        int machineBits;
        bool opens;
        uint32_t zDepth;
        int limitAfter;
    };
    const Case cases[] = {
        {32, true, 32, 32},
        {24, true, 24, 24},   // 32 fails, 24 is made
        {16, true, 16, 16},   // 32, 24 fail
        {8, false, 0, 32},    // nothing below 17: fails, the limit is kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.machineBits);
        SetUp();
        gfx::CurrentFaults().maxZBits = c.machineBits;
        ASSERT_TRUE(Display::Startup(nullptr));
        ASSERT_GT(Display::SetMode(640, 480, 16, 0), 0);
        EXPECT_EQ(Display::OpenDevice(), c.opens);
        if (c.opens) {
            EXPECT_EQ(Display::Caps().zBufferDepth, c.zDepth);
        }
        EXPECT_EQ(Display::Options().maxZDepth, c.limitAfter);
        TearDown();
    }
}

TEST_F(DisplayTest, DeviceChoiceAndVertexBufferPlacement)
{
    struct Case {
        bool hideTnl, hideHal, reference;
        bool opens;
        uint32_t vbFlags;
    };
    const Case cases[] = {
        {false, false, false, true, 0},
        {true, false, false, true, gfx::kVbSystemMemory},
        {false, false, true, true, 0},
        {true, true, false, false, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        gfx::CurrentFaults().hideTnlDevice = c.hideTnl;
        gfx::CurrentFaults().hideHalDevice = c.hideHal;
        Display::Flags() = c.reference ? kModeReference : 0;
        ASSERT_TRUE(Display::Startup(nullptr));
        ASSERT_GT(Display::SetMode(640, 480, 16, Display::Flags() & kModeWindowed), 0);
        EXPECT_EQ(Display::OpenDevice(), c.opens);
        if (c.opens) {
            EXPECT_EQ(Display::Caps().vertexBufferFlags, c.vbFlags);
            EXPECT_EQ(Display::Device()->Desc().name,
                      c.reference ? gfx::kReferenceDeviceName : c.hideTnl ? gfx::kHalDeviceName : gfx::kTnlDeviceName);
        }
        TearDown();
    }
}

TEST_F(DisplayTest, DefaultStatesFollowTheDeviceIdentifier)
{
    struct Case {
        uint32_t vendor, device;
        uint32_t specular;
        float lodBias;
    };
    const Case cases[] = {
        {0, 0, 1, 0.0f}, {0x10D9, 5, 0, 0.0f}, {0x1142, 5, 0, 0.0f}, {0x121A, 5, 0, 0.0f},
        {0x1142, 6, 1, 0.0f}, {0x10DE, 0x5246, 1, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vendor);
        SetUp();
        gfx::CurrentFaults().vendorId = c.vendor;
        gfx::CurrentFaults().deviceId = c.device;
        Start();
        gfx::Device* dev = Display::Device();
        EXPECT_EQ(dev->GetRenderState(gfx::RenderState::SpecularEnable), c.specular);
        for (uint32_t stage : {0u, 7u})
            EXPECT_EQ(std::bit_cast<float>(dev->GetTextureStageState(stage, gfx::StageState::MipMapLodBias)), c.lodBias);
        EXPECT_EQ(dev->GetRenderState(gfx::RenderState::AlphaRef), 31u);
        EXPECT_EQ(dev->GetRenderState(gfx::RenderState::CullMode), uint32_t(gfx::cull::CounterClockwise));
        EXPECT_EQ(dev->GetTextureStageState(0, gfx::StageState::ColorOp), uint32_t(gfx::texop::Modulate));
        EXPECT_EQ(dev->GetTextureStageState(1, gfx::StageState::ColorOp), uint32_t(gfx::texop::Disable));
        EXPECT_EQ(dev->GetTextureStageState(5, gfx::StageState::TexCoordIndex), 5u);
        TearDown();
    }
}

TEST_F(DisplayTest, FiltersFallBackToWhatTheDeviceTakes)
{
    struct Case {
        bool allowAnisotropic, rejectAnisotropic, rejectLinearMip, rejectPointMip;
        uint32_t mag, min, mip;
    };
    const Case cases[] = {
        {false, false, false, false, gfx::filter::MagLinear, gfx::filter::MinLinear, gfx::filter::MipLinear},
        {true, true, false, false, gfx::filter::MagLinear, gfx::filter::MinLinear, gfx::filter::MipLinear},
        {false, false, true, false, gfx::filter::MagLinear, gfx::filter::MinLinear, gfx::filter::MipPoint},
        {false, false, true, true, gfx::filter::MagLinear, gfx::filter::MinLinear, gfx::filter::MipNone},
    };
    for (const Case& c : cases) {
        SetUp();
        Display::Options().allowAnisotropic = c.allowAnisotropic;
        gfx::CurrentFaults().rejectAnisotropic = c.rejectAnisotropic;
        gfx::CurrentFaults().rejectLinearMip = c.rejectLinearMip;
        gfx::CurrentFaults().rejectPointMip = c.rejectPointMip;
        Start();
        EXPECT_EQ(Display::Caps().magFilter, c.mag);
        EXPECT_EQ(Display::Caps().minFilter, c.min);
        EXPECT_EQ(Display::Caps().mipFilter, c.mip);
        EXPECT_EQ(Display::Device()->GetTextureStageState(3, gfx::StageState::MipFilter), c.mip);
        TearDown();
    }
    // A device with anisotropy keeps it when allowed.
    SetUp();
    Display::Options().allowAnisotropic = true;
    Start();
    if (Display::Caps().maxAnisotropy > 1) {
        EXPECT_EQ(Display::Caps().magFilter, uint32_t(gfx::filter::MagAnisotropic));
        EXPECT_EQ(Display::Caps().minFilter, uint32_t(gfx::filter::MinAnisotropic));
    }
}

TEST_F(DisplayTest, FailedValidationAppendsTheLineToTheLog)
{
    displaytest::TempDir dir;
    std::ofstream(dir.Path() / "LOGFILE.TXT") << "left from the last run\n";
    LogFile::Reset();
    gfx::CurrentFaults().failValidation = true;
    Start();
    // A second device set-up (a mode change) validates again and appends.
    Display::ReleaseDeviceObjects();
    ASSERT_GT(Display::SetMode(800, 600, 16, 0), 0);
    Display::RestoreDeviceObjects();
    const std::string line = "Error: Validate Device failed on line 912 in file Veapi\\ve3d.cpp.\n";
    EXPECT_EQ(ReadFile(dir.Path() / "LOGFILE.TXT"), line + line);
}

TEST_F(DisplayTest, ValidDevicesWriteNoLog)
{
    displaytest::TempDir dir;
    LogFile::Reset();
    Start();
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "LOGFILE.TXT"));
}

TEST_F(DisplayTest, FrameDeltaNeverZero)
{
    static uint64_t now = 1000;
    Display::SetFrameClock([] { return now; });
    Start();
    Display::UpdateFrameTime();
    const uint32_t frames = Display::FrameCount();
    Display::EndFrame(nullptr, nullptr);
    EXPECT_EQ(Display::FrameDelta(), 1u);
    now += 250;
    Display::EndFrame(nullptr, nullptr);
    EXPECT_EQ(Display::FrameDelta(), 250u);
    EXPECT_EQ(Display::FrameCount(), frames + 2);
    Display::SetFrameClock(nullptr);
}

TEST_F(DisplayTest, EndFrameRunsTheOverlayAndPresents)
{
    Start(640, 480, 32);
    static int overlays = 0;
    overlays = 0;
    ASSERT_TRUE(Display::BeginScene());
    Display::ClearColour() = 0xFF000080;
    Display::Clear();
    Display::EndFrame(nullptr, [] {
        ++overlays;
        DrawQuad(100, 100, 200, 150, 0xFFFFFF00);
    });
    EXPECT_EQ(overlays, 1);
    EXPECT_FALSE(Display::InScene());
    EXPECT_EQ(ScreenPixel(150, 120), 0xFFFF00u);
    EXPECT_EQ(ScreenPixel(50, 50), 0x000080u);
    // A device that is not ready only keeps time.
    Display::ReleaseDeviceObjects();
    Display::EndFrame(nullptr, [] { ++overlays; });
    EXPECT_EQ(overlays, 1);
}

TEST_F(DisplayTest, ReleaseAndRestoreRunOnceEach)
{
    int releases = 0, restores = 0;
    Display::Hooks().releaseVertexBuffers = [&] { ++releases; };
    Display::Hooks().restoreVertexBuffers = [&] { ++restores; };
    Start();
    EXPECT_EQ(restores, 1);
    Display::RestoreDeviceObjects();
    EXPECT_EQ(restores, 1);
    Display::ReleaseDeviceObjects();
    Display::ReleaseDeviceObjects();
    EXPECT_EQ(releases, 1);
    EXPECT_FALSE(Display::DeviceReady());
    Display::RestoreDeviceObjects();
    EXPECT_EQ(restores, 2);
    EXPECT_TRUE(Display::DeviceReady());
}

TEST_F(DisplayTest, NamedTexturesSurviveSurfaceLoss)
{
    displaytest::TempDir dir;
    for (const char* name : {"ff0000.bmp", "00ff00.bmp", "0000ff.bmp"})
        std::ofstream(dir.Path() / name) << "x";
    displaytest::ColourLoader loader;
    TextureManager::SetLoader(loader.Loader());
    TextureManager::SetGraphicsDirectory(dir.Path());
    Start(640, 480, 32);
    TextureEntry* textures[] = {TextureManager::Find("FF0000.BMP"), TextureManager::Find("00ff00.bmp"),
                                TextureManager::Find("0000ff.bmp")};
    TextureManager::LoadPending();
    EXPECT_EQ(loader.loads, 3);

    auto drawAll = [&] {
        ASSERT_TRUE(Display::BeginScene());
        Display::Clear();
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(Display::SetStageTexture(textures[i], 0));
            DrawQuad(float(i * 100), 0, float(i * 100 + 100), 100, 0xFFFFFFFF);
        }
        Display::EndFrame(nullptr, nullptr);
    };
    drawAll();
    EXPECT_EQ(ScreenPixel(50, 50), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(150, 50), 0x00FF00u);
    EXPECT_EQ(ScreenPixel(250, 50), 0x0000FFu);

    // The platform takes the surfaces away; the window procedure releases and
    // restores around it.
    Display::ReleaseDeviceObjects();
    gfx::SimulateSurfaceLoss();
    Display::RestoreDeviceObjects();
    EXPECT_EQ(loader.rebuilds, 3);
    for (TextureEntry* t : textures) {
        ASSERT_NE(t->Surface(), nullptr);
        EXPECT_FALSE(t->Surface()->IsLost());
    }
    drawAll();
    EXPECT_EQ(ScreenPixel(50, 50), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(150, 50), 0x00FF00u);
    EXPECT_EQ(ScreenPixel(250, 50), 0x0000FFu);
    ASSERT_NE(Display::NullTexture()->Surface(), nullptr);

    // Loss without a release first: lost surfaces are restored and reloaded in place.
    gfx::SimulateSurfaceLoss();
    Display::RestoreLostSurfaces();
    EXPECT_EQ(loader.reloads, 3);
    drawAll();
    EXPECT_EQ(ScreenPixel(150, 50), 0x00FF00u);
}

TEST_F(DisplayTest, StageTexturesAreCached)
{
    Start();
    auto surface = gfx::Texture::Create(8, 8, gfx::Argb8888(), 1);
    TextureEntry* a = TextureManager::Find("a");
    TextureEntry* b = TextureManager::Find("b");
    a->SetSurface(gfx::Texture::Create(8, 8, gfx::Argb8888(), 1));
    b->SetSurface(gfx::Texture::Create(8, 8, gfx::Argb8888(), 1));
    ASSERT_TRUE(Display::SetStageTexture(a, 0));
    // Lost surfaces cannot be bound: only a call that reaches the device fails.
    gfx::SimulateSurfaceLoss();
    EXPECT_TRUE(Display::SetStageTexture(a, 0));
    EXPECT_FALSE(Display::SetStageTexture(b, 0));
    EXPECT_TRUE(Display::SetStageTexture(a, 0));
    ASSERT_TRUE(b->Surface()->Restore());
    EXPECT_TRUE(Display::SetStageTexture(b, 0));
    EXPECT_EQ(Display::Device()->GetTexture(0), b->Surface());
}

TEST_F(DisplayTest, ZFunctionCacheReturnsThePrevious)
{
    Start();
    EXPECT_EQ(Display::SetZFunc(gfx::cmp::Less), uint32_t(gfx::cmp::LessEqual));
    EXPECT_EQ(Display::Device()->GetRenderState(gfx::RenderState::ZFunc), uint32_t(gfx::cmp::Less));
    EXPECT_EQ(Display::SetZFunc(gfx::cmp::Always), uint32_t(gfx::cmp::Less));
    EXPECT_TRUE(Display::SetZWrite(false));
    EXPECT_EQ(Display::Device()->GetRenderState(gfx::RenderState::ZWriteEnable), 0u);
}

TEST_F(DisplayTest, VideoMemoryReportClampsInsteadOfWrapping)
{
    gfx::CurrentFaults().videoMemory = 6ull << 30;
    Start();
    EXPECT_EQ(Display::QueryVideoMemory().videoTotal, 6ull << 30);
    const std::string report = Display::ReportVideoMemory();
    EXPECT_EQ(report.rfind("Total VRAM = 4294967295 Free VRAM = 4294967295", 0), 0u) << report;
    EXPECT_EQ(Display::Caps().textureMemory.total, 6ull << 30);
    EXPECT_EQ(Display::ChooseTextureDetail(), 0x100000u);
    EXPECT_EQ(Display::TextureReductionLevel(), 0u);
}

TEST_F(DisplayTest, DeviceFormatsAndCapabilities)
{
    Start();
    const DeviceCaps& caps = Display::Caps();
    EXPECT_TRUE(caps.flags & kCapsStencilZ);
    EXPECT_TRUE(caps.flags & kCaps32BitTexture);
    EXPECT_TRUE(caps.flags & kCapsDxt);
    EXPECT_TRUE(caps.flags & kCapsGdi);
    EXPECT_TRUE(caps.flags & kCapsSharedMemory);
    EXPECT_EQ(caps.maxTextureSize, 2048u);
    EXPECT_EQ(caps.maxActiveLights, 8u);
    EXPECT_TRUE(Display::TextureFormats().found);
    gfx::CurrentFaults().noDesktopSharing = true;
    Display::CloseDirectDraw();
    ASSERT_TRUE(Display::OpenDirectDraw(false));
    EXPECT_FALSE(Display::Caps().flags & kCapsGdi);
}

} // namespace

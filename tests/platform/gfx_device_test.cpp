// The graphics layer's lists, capabilities, clip status and the faults tests
// inject to reach the device code's rare paths.
#include <algorithm>

#include "gfx_test_screen.h"

namespace {

class GfxDevice : public gfxtest::Screen {};

TEST_F(GfxDevice, DeviceListNamesTheDevicesTheChoiceLooksFor)
{
    Open(16, 16, 32);
    auto names = [] {
        std::vector<std::string> n;
        for (auto& d : gfx::Enumerate3DDevices())
            n.push_back(d.name);
        return n;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{gfx::kHalDeviceName, gfx::kTnlDeviceName,
                                                 gfx::kReferenceDeviceName}));
    gfx::CurrentFaults().hideTnlDevice = true;
    EXPECT_EQ(names(), (std::vector<std::string>{gfx::kHalDeviceName, gfx::kReferenceDeviceName}));
    EXPECT_EQ(gfx::CreateDevice(gfx::kTnlDeviceName), nullptr);
    EXPECT_EQ(gfx::CreateDevice("no such device"), nullptr);
    gfx::CurrentFaults().failDeviceCreations = 2;
    EXPECT_EQ(gfx::CreateDevice(gfx::kHalDeviceName), nullptr);
    EXPECT_EQ(gfx::CreateDevice(gfx::kHalDeviceName), nullptr);
    EXPECT_NE(gfx::CreateDevice(gfx::kHalDeviceName), nullptr);
}

TEST_F(GfxDevice, ZBuffersDeeperThanTheMachineAllowsCannotBeCreated)
{
    Open(16, 16, 32, false);
    gfx::CurrentFaults().maxZBits = 16;
    for (const gfx::FormatDesc& f : gfx::EnumerateZFormats()) {
        EXPECT_EQ(gfx::CreateZBuffer(f), f.bits <= 16) << f.bits;
        EXPECT_EQ(gfx::HasZBuffer(), f.bits <= 16);
        gfx::ReleaseZBuffer();
    }
}

TEST_F(GfxDevice, StencilWorksOnlyWithAStencilFormat)
{
    Open(16, 16, 32, false);
    const auto formats = gfx::EnumerateZFormats();
    const auto stencil = std::find_if(formats.begin(), formats.end(),
                                      [](const gfx::FormatDesc& f) { return f.stencilBits != 0; });
    ASSERT_NE(stencil, formats.end());
    ASSERT_TRUE(gfx::CreateZBuffer(formats.front()));
    EXPECT_FALSE(device_->Clear({}, gfx::kClearStencil, 0, 1, 0));
    ASSERT_TRUE(gfx::CreateZBuffer(*stencil));
    ASSERT_TRUE(device_->BeginScene());
    ASSERT_TRUE(device_->Clear({}, gfx::kClearTarget | gfx::kClearZBuffer | gfx::kClearStencil, 0xFF000000, 1, 0));
    // Mark the left half in the stencil, then draw only where it is marked.
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::StencilEnable, 1));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::StencilPass, gfx::stencilop::Replace));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::StencilRef, 1));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::ZWriteEnable, 0));
    Draw(gfxtest::ScreenQuad(0, 0, 8, 16, 0xFF000000));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::StencilPass, gfx::stencilop::Keep));
    ASSERT_TRUE(device_->SetRenderState(gfx::RenderState::StencilFunc, gfx::cmp::Equal));
    Draw(gfxtest::ScreenQuad(0, 0, 16, 16, 0xFFFFFFFF));
    EXPECT_EQ(Pixel(4, 8), 0xFFFFFFu);
    EXPECT_EQ(Pixel(12, 8), 0u);
}

TEST_F(GfxDevice, FilterValuesTheDeviceRefusesAreRejected)
{
    Open(16, 16, 32);
    using gfx::StageState;
    struct Case {
        bool gfx::Faults::*fault;
        StageState state;
        uint32_t value;
    };
    const Case cases[] = {
        {&gfx::Faults::rejectAnisotropic, StageState::MagFilter, gfx::filter::MagAnisotropic},
        {&gfx::Faults::rejectAnisotropic, StageState::MinFilter, gfx::filter::MinAnisotropic},
        {&gfx::Faults::rejectLinearMip, StageState::MipFilter, gfx::filter::MipLinear},
        {&gfx::Faults::rejectPointMip, StageState::MipFilter, gfx::filter::MipPoint},
    };
    for (const Case& c : cases) {
        gfx::ResetFaults();
        const bool anisotropic = c.value == gfx::filter::MagAnisotropic && c.state == StageState::MagFilter;
        if (!anisotropic || device_->Desc().maxAnisotropy > 1) {
            EXPECT_TRUE(device_->SetTextureStageState(1, c.state, c.value));
        }
        gfx::CurrentFaults().*c.fault = true;
        EXPECT_FALSE(device_->SetTextureStageState(1, c.state, c.value));
        EXPECT_TRUE(device_->SetTextureStageState(1, c.state, 1));  // point / none always work
    }
}

TEST_F(GfxDevice, ValidationFailsOnInjectionAndOnImpossibleStages)
{
    Open(16, 16, 32);
    uint32_t passes = 0;
    EXPECT_TRUE(device_->ValidateDevice(passes));
    EXPECT_EQ(passes, 1u);
    gfx::CurrentFaults().failValidation = true;
    EXPECT_FALSE(device_->ValidateDevice(passes));
    gfx::ResetFaults();
    ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::AlphaOp, gfx::texop::DotProduct3));
    EXPECT_FALSE(device_->ValidateDevice(passes));
}

TEST_F(GfxDevice, ProcessVerticesTransformsAndGathersClipCodes)
{
    Open(64, 64, 32);
    ASSERT_TRUE(device_->SetViewport({0, 0, 64, 64, 0, 1}));
    gfx::VertexBuffer in(gfx::kFvfXyz, 3, gfx::kVbSystemMemory), out(gfx::kFvfXyzRhw, 3, gfx::kVbSystemMemory);
    struct Case {
        float points[3][3];
        uint32_t intersection;  // planes all three lie beyond
        uint32_t unionCodes;
    };
    const Case cases[] = {
        {{{0, 0, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}}, 0, 0},
        {{{-2, 0, 0.5f}, {-3, 0.5f, 0.5f}, {-1.5f, 2, 0.5f}}, gfx::kClipLeft, gfx::kClipLeft | gfx::kClipTop},
        {{{0, 0, 2}, {0, 0, 3}, {0, 0, -1}}, 0, gfx::kClipBack | gfx::kClipFront},
        {{{0, 0, 2}, {0, 0, 3}, {2, 0, 1.5f}}, gfx::kClipBack, gfx::kClipBack | gfx::kClipRight},
    };
    for (const Case& c : cases) {
        float* p = reinterpret_cast<float*>(in.Lock());
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k)
                p[i * 3 + k] = c.points[i][k];
        in.Unlock();
        gfx::ClipStatus status;
        status.flags = gfx::kClipStatusStatus;
        status.status = 0xFFF000;
        ASSERT_TRUE(device_->SetClipStatus(status));
        ASSERT_TRUE(device_->ProcessVertices(gfx::kProcessTransform | gfx::kProcessClip, out, 0, 3, in, 0));
        const uint32_t s = device_->GetClipStatus().status;
        EXPECT_EQ((s >> gfx::kClipIntersectionShift) & 0xFFF, c.intersection);
        EXPECT_EQ(s & 0xFFF, c.unionCodes);
    }
    // The first point of the first case lands on the screen centre.
    float* p = reinterpret_cast<float*>(in.Lock());
    p[0] = p[1] = 0;
    p[2] = 0.25f;
    in.Unlock();
    ASSERT_TRUE(device_->ProcessVertices(gfx::kProcessTransform, out, 0, 1, in, 0));
    const float* o = reinterpret_cast<const float*>(out.Data());
    EXPECT_FLOAT_EQ(o[0], 32.0f);
    EXPECT_FLOAT_EQ(o[1], 32.0f);
    EXPECT_FLOAT_EQ(o[2], 0.25f);
    EXPECT_FLOAT_EQ(o[3], 1.0f);
    EXPECT_FALSE(device_->ProcessVertices(gfx::kProcessTransform, out, 2, 2, in, 0));
}

TEST_F(GfxDevice, ModesFitTheDesktopAndHonourInjectedLimits)
{
    Open(16, 16, 32);
    const gfx::DisplayMode desk = gfx::DesktopMode();
    auto has = [](int w, int h, int d) {
        for (auto& m : gfx::EnumerateDisplayModes())
            if (m.width == w && m.height == h && m.depth == d)
                return true;
        return false;
    };
    EXPECT_TRUE(has(640, 480, 16));
    EXPECT_TRUE(has(640, 480, 32));
    for (auto& m : gfx::EnumerateDisplayModes())
        EXPECT_TRUE((m.width <= desk.width && m.height <= desk.height) || (m.width == 640 && m.height == 480));
    gfx::CurrentFaults().maxDisplayDepth = 16;
    gfx::CurrentFaults().missingModes = {{800, 600}};
    EXPECT_FALSE(has(640, 480, 32));
    EXPECT_FALSE(has(800, 600, 16));
    EXPECT_TRUE(has(640, 480, 16));
}

TEST_F(GfxDevice, IdentifierCarriesInjectedIds)
{
    Open(16, 16, 32);
    EXPECT_EQ(gfx::Identifier().vendorId, 0u);
    gfx::CurrentFaults().vendorId = 0x1142;
    gfx::CurrentFaults().deviceId = 5;
    EXPECT_EQ(gfx::Identifier().vendorId, 0x1142u);
    EXPECT_EQ(gfx::Identifier().deviceId, 5u);
}

TEST_F(GfxDevice, StableIdentifierTellsCardsApart)
{
    Open(16, 16, 32);
    const uint32_t first = gfx::Identifier().stableId;
    EXPECT_NE(first, 0u);
    EXPECT_EQ(gfx::Identifier().stableId, first) << "the same card gives the same identifier";
    gfx::CurrentFaults().vendorId = 0x1142;
    EXPECT_NE(gfx::Identifier().stableId, first) << "another card";
}

} // namespace

namespace {

TEST(GfxHeadless, DrawsOffScreenWithoutAWindowSystem)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("SDL_VIDEODRIVER");
            bool ok = gfx::Open(nullptr) && gfx::CreateScreen(8, 8, 32, true, 2) &&
                      gfx::ColourFillScreen(0xFF00FF00, false);
            std::vector<uint8_t> px;
            int pitch = 0;
            ok = ok && gfx::ReadScreen(false, px, pitch) && px[1] == 0xFF && px[0] == 0 && px[2] == 0;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace

namespace {

TEST(GfxVideoMemory, FigureFromTheEnvironmentText)
{
    struct Case {
        const char* text;
        uint64_t bytes;
    };
    const Case cases[] = {
        {nullptr, gfx::kDefaultVideoMemory}, {"", gfx::kDefaultVideoMemory},
        {"64", 64ull << 20},                 {"1", 1ull << 20},
        {"65536", 65536ull << 20},           {"0", gfx::kDefaultVideoMemory},
        {"65537", gfx::kDefaultVideoMemory}, {"-8", gfx::kDefaultVideoMemory},
        {"12MB", gfx::kDefaultVideoMemory},  {"99999999999999999999999", gfx::kDefaultVideoMemory},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gfx::VideoMemoryFromText(c.text), c.bytes) << (c.text ? c.text : "(unset)");
}

} // namespace

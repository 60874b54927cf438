// The command wheel on a real display, as the game view draws it: the
// sample model's segments fanned about the point the wheel opened on,
// through the HUD overlay camera.
#include "ui/wheel.h"

#include "Veapi/camera.h"
#include "../Veapi/camera_fixture.h"
#include "Veapi/hit_probe.h"
#include "Veapi/render_queue.h"
#include "effects/frame_pass.h"
#include "fake_view.h"
#include "golden_frame.h"
#include "objects/shape_cache.h"
#include "ui/hud.h"
#include "ui/hud_viewports.h"
#include "ui/status_window.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <cmath>

namespace ui_test {
namespace {

// What a pixel shows: the background, or a segment's plate lit by one of
// the interface light sets.
bool Lit(uint32_t rgb) { return ((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF) > 60; }

class WheelDraw : public scenetest::SceneTest {
protected:
    static constexpr int kWidth = 320, kHeight = 240;

    void SetUp() override
    {
        SceneTest::SetUp();
        // The scene's own camera is made current first: the overlay camera
        // outlives the display, and a camera that was current on the last
        // device would not be applied to this one.
        StartScene(kWidth, kHeight);
        const char* data = std::getenv("TREVOK_SAMPLE_DATA");
        ASSERT_NE(data, nullptr);
        const std::filesystem::path rifs = std::filesystem::path(data) / "rifs";
        ChunkFileCache::SetFolderSource([rifs] { return std::optional<std::filesystem::path>(rifs); });
        StatusWindow::Setup();
        HudViewports::SetUp();
        overlay_ = &HudViewports::HudOverlay();
        CommandWheel::Build(CommandWheel::ModelShapes(&overlay_));
        ChunkFileCache::SetFolderSource({});
        unit_ = world_.MakeUnit(1, 1, "trevok");
        view_.selected = {unit_};
        view_.now = 1000;
    }
    void TearDown() override
    {
        CommandWheel::Release();
        StatusWindow::Release();
        RenderQueue::Clear();
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
        SceneTest::TearDown();
    }
    void Frame(int64_t ms)
    {
        view_.now += ms;
        ASSERT_TRUE(Display::BeginScene());
        Display::ClearColour() = 0xFF000000;
        Display::Clear();
        Hud::DrawUnitInfoAndOrders();
        Display::EndFrame(nullptr, FramePassStandIn::Run);
    }
    // Frames until the fan has had time to open fully.
    void Settle()
    {
        for (int i = 0; i < 6; ++i)
            Frame(100);
    }
    // The child the probe at the pixel hovers after one frame; -1 none.
    int HoveredAt(float x, float y)
    {
        HitProbe::Default().SetScreenPoint(x, y);
        Frame(10);
        Wheel* wheel = CommandWheel::Get();
        for (int i = 0; i < wheel->ChildCount(); ++i)
            if (wheel->Child(i)->Hovered())
                return i;
        return -1;
    }
    // The bounding box of the lit pixels.
    void LitBox(int& x0, int& y0, int& x1, int& y1)
    {
        x0 = kWidth;
        y0 = kHeight;
        x1 = y1 = -1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (Lit(ScreenPixel(x, y))) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
    }
    uitest::SmallFrame Small()
    {
        return uitest::Shrink([this](int x, int y) { return ScreenPixel(x, y); }, 0, 0, kWidth, kHeight, 8);
    }

    Camera* overlay_ = nullptr;
    FakeView view_;
    ReplicaWorld world_;
    Unit* unit_ = nullptr;
};

// The wheel opens on the point the player clicked: its placement is a
// fraction of the screen's width and of three quarters of its height, so
// the ring's middle lies on that pixel whatever the overlay camera is.
TEST_F(WheelDraw, TheRingCentresOnThePointItOpenedOn)
{
    const struct {
        float x, y; // placement
    } rows[] = {{0.5f, 0.375f}, {0.25f, 0.5f}, {0.8f, 0.2f}};
    for (const auto& r : rows) {
        CommandWheel::Get()->Close(uint64_t(view_.now), true);
        Settle();
        CommandWheel::OpenAt(r.x, r.y, uint64_t(view_.now));
        Settle();
        int x0, y0, x1, y1;
        LitBox(x0, y0, x1, y1);
        const float cx = r.x * kWidth, cy = r.y * 4 / 3 * kHeight;
        EXPECT_NEAR((x0 + x1) / 2.0f, cx, 5.0f) << r.x << "," << r.y;
        EXPECT_NEAR((y0 + y1) / 2.0f, cy, 5.0f) << r.x << "," << r.y;
        // A ring: its middle shows the background.
        EXPECT_FALSE(Lit(ScreenPixel(int(cx), int(cy)))) << r.x << "," << r.y;
        EXPECT_GT(x1 - x0, 30) << "the ring's width";
    }
}

// The pointer picks the segment it shows over, through the same camera:
// six directions about the middle, six different segments, "main a" (the
// first) straight up; the hole in the middle and the space around pick
// nothing.
TEST_F(WheelDraw, ThePointerPicksTheSegmentUnderIt)
{
    CommandWheel::OpenAt(0.5f, 0.375f, uint64_t(view_.now));
    Settle();
    std::set<int> seen;
    for (int k = 0; k < 6; ++k) {
        const float a = float(k) * 3.14159265f / 3;
        const int child = HoveredAt(160 + 16 * std::sin(a), 120 - 16 * std::cos(a));
        EXPECT_GE(child, 0) << "direction " << k;
        seen.insert(child);
        if (k == 0) {
            EXPECT_EQ(child, 0) << "up";
        }
    }
    EXPECT_EQ(seen.size(), 6u);
    EXPECT_EQ(HoveredAt(160, 120), -1) << "the middle";
    EXPECT_EQ(HoveredAt(20, 20), -1) << "far off";
}

// The golden frames: the main wheel open on a unit, and the standing-orders
// sub-wheel opened from it with the unit's standing order lit.
TEST_F(WheelDraw, MainWheelAndStandingOrders)
{
    unit_->SendStandingOrder(5);
    CommandWheel::SetCommandUnit(unit_);
    CommandWheel::OpenAt(0.5f, 0.375f, uint64_t(view_.now));
    Settle();
    uitest::KeepFrame("command_wheel");
    EXPECT_TRUE(uitest::MatchesGolden(Small(), "command_wheel", 40, 4));
    // "main b" holds the standing orders.
    Wheel* wheel = CommandWheel::Get();
    int standing = -1;
    for (int i = 0; i < wheel->ChildCount(); ++i)
        if (wheel->Child(i)->IsStandingOrders())
            standing = i;
    ASSERT_GE(standing, 0);
    // The pointer rests on it; the click opens it once the others closed.
    wheel->Child(standing)->SetHovered();
    EXPECT_EQ(wheel->Click(uint64_t(view_.now)) & kClickTaken, kClickTaken);
    for (int i = 0; i < 12; ++i)
        Frame(100);
    uitest::KeepFrame("standing_orders_wheel");
    EXPECT_TRUE(uitest::MatchesGolden(Small(), "standing_orders_wheel", 40, 4));
    CommandWheel::SetCommandUnit(nullptr);
}

} // namespace
} // namespace ui_test

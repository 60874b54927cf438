// The object screens of worn gadgets and the particle tester stand on a
// render target of their own: the quad shows what the target holds, the
// drawing state in use before a fill is in use after it, the target comes
// back after a lost device and goes with its screen.
#include "ui/object_screen.h"

#include "../Veapi/camera_fixture.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "ui/hud_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

struct SmallScreen : HudView {
    float ScreenWidth() override { return 320; }
    float ScreenHeight() override { return 240; }
};

class BackdropScene : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(320, 240);
        HudView::Install(&view_);
    }
    void TearDown() override
    {
        HudView::Install(nullptr);
        SceneTest::TearDown();
    }
    void Frame(uint32_t clear = kGrey)
    {
        BeginFrame(clear);
        MenuScreen::DrawAll(0);
        RenderQueue::Flush();
        EndFrame();
    }
    // The texel at the middle of a target, read back.
    static uint32_t MiddleTexel(gfx::Texture& target)
    {
        uint32_t pitch = 0, texel = 0;
        const uint8_t* texels = target.Lock(0, pitch);
        if (!texels)
            return 0;
        std::memcpy(&texel, texels + size_t(target.Height() / 2) * pitch + size_t(target.Width() / 2) * 4, 4);
        target.Unlock(0);
        return texel;
    }
    static constexpr uint32_t kGrey = 0xFF808080u;
    SmallScreen view_;
};

TEST_F(BackdropScene, AFillLeavesTheTargetAndViewportItFound)
{
    gfx::Device* dev = Display::Device();
    ASSERT_NE(dev, nullptr);
    std::unique_ptr<gfx::Texture> other = gfx::Texture::CreateRenderTarget(64, 32);
    ASSERT_NE(other, nullptr);
    const struct {
        const char* what;
        gfx::Texture* target;
        gfx::Viewport viewport;
    } rows[] = {
        {"back buffer, whole", nullptr, {0, 0, 320, 240, 0, 1}},
        {"back buffer, a corner", nullptr, {10, 20, 100, 50, 0.25f, 0.75f}},
        {"another target", other.get(), {4, 2, 30, 20, 0, 1}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(dev->SetRenderTarget(r.target));
        ASSERT_TRUE(dev->SetViewport(r.viewport));
        BackdropTarget backdrop;
        ASSERT_TRUE(backdrop.Fill(40, 30, 0xFF00FF00u));
        EXPECT_EQ(dev->GetRenderTarget(), r.target);
        EXPECT_EQ(dev->GetViewport(), r.viewport);
        ASSERT_NE(backdrop.Entry(), nullptr);
        EXPECT_EQ(MiddleTexel(*backdrop.Entry()->Surface()), 0xFF00FF00u);
    }
    ASSERT_TRUE(dev->SetRenderTarget(nullptr));
    BackdropTarget backdrop;
    for (const auto& size : {std::pair{0, 30}, std::pair{40, 0}, std::pair{-1, 30}})
        EXPECT_FALSE(backdrop.Fill(size.first, size.second, 0xFF00FF00u)) << size.first << "x" << size.second;
}

// Each fill is what the quad shows next, and a new size makes a new target.
TEST_F(BackdropScene, TheQuadShowsWhatTheTargetHolds)
{
    BackdropTarget backdrop;
    const struct {
        uint32_t colour;
        int w, h;
    } rows[] = {{0xFFFF0000u, 40, 30}, {0xFF0000FFu, 40, 30}, {0xFFFFFF00u, 64, 16}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.colour);
        BeginFrame(kGrey);
        ASSERT_TRUE(backdrop.Fill(r.w, r.h, r.colour));
        backdrop.Draw(100, 100, 100 + r.w, 100 + r.h);
        RenderQueue::Flush();
        EndFrame();
        EXPECT_EQ(backdrop.Entry()->Surface()->Width(), uint32_t(r.w));
        EXPECT_EQ(backdrop.Entry()->Surface()->Height(), uint32_t(r.h));
        const auto inside = Pixel(100 + r.w / 2, 100 + r.h / 2), beside = Pixel(90, 100 + r.h / 2);
        EXPECT_EQ(inside.r, (r.colour >> 16) & 0xFF);
        EXPECT_EQ(inside.g, (r.colour >> 8) & 0xFF);
        EXPECT_EQ(inside.b, r.colour & 0xFF);
        EXPECT_EQ(beside.r, 0x80);
        EXPECT_EQ(beside.b, 0x80);
    }
}

// Kinds 12 and 13 open together: each shows a target of its own on its
// quad (five times the size asked for) and the game view through it.
TEST_F(BackdropScene, ObjectScreensShowTheirOwnTargetsOnTheirQuads)
{
    const struct {
        int kind;
        float x, y;
        int x0, y0, x1, y1; // the quad in pixels
    } rows[] = {{MenuScreen::kObjectScreen, 0, 0, 0, 0, 96, 72},
                {MenuScreen::kObjectScreen2, 0.9f, 0.6f, 224, 144, 320, 216}}; // kept wholly on screen
    ObjectScreen* screens[2] = {};
    for (int i = 0; i < 2; ++i) {
        screens[i] = new ObjectScreen(rows[i].kind, 0.06f);
        screens[i]->SetPosition(rows[i].x, rows[i].y);
    }
    Frame();
    ASSERT_NE(screens[0]->Background(), nullptr);
    ASSERT_NE(screens[1]->Background(), nullptr);
    EXPECT_NE(screens[0]->Background(), screens[1]->Background());
    for (int i = 0; i < 2; ++i) {
        const auto& r = rows[i];
        SCOPED_TRACE(r.kind);
        gfx::Texture* target = screens[i]->Background()->Surface();
        ASSERT_NE(target, nullptr);
        EXPECT_TRUE(target->IsRenderTarget());
        EXPECT_EQ(target->Width(), uint32_t(r.x1 - r.x0));
        EXPECT_EQ(target->Height(), uint32_t(r.y1 - r.y0));
        EXPECT_EQ(MiddleTexel(*target), ObjectScreen::kBackground);
        const auto inside = Pixel((r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
        EXPECT_GT(inside.r, 0x30) << "the game view shows through";
        EXPECT_LT(inside.r, 0x70) << "darkened by the background";
    }
    EXPECT_EQ(Pixel(160, 110).r, 0x80) << "between the quads the view is untouched";
    for (ObjectScreen* s : screens)
        s->Release();
}

TEST_F(BackdropScene, AnObjectScreensTargetComesBackAfterALostDeviceAndGoesWithIt)
{
    ObjectScreen* screen = new ObjectScreen(MenuScreen::kObjectScreen, 0.06f);
    Frame();
    TextureEntry* entry = screen->Background();
    ASSERT_NE(entry, nullptr);
    Display::ReleaseDeviceObjects();
    gfx::SimulateSurfaceLoss();
    Display::RestoreDeviceObjects();
    Frame();
    ASSERT_EQ(screen->Background(), entry);
    ASSERT_NE(entry->Surface(), nullptr);
    EXPECT_FALSE(entry->Surface()->IsLost());
    EXPECT_EQ(MiddleTexel(*entry->Surface()), ObjectScreen::kBackground);
    EXPECT_LT(Pixel(48, 36).r, 0x70) << "the quad shows the target again";
    screen->Release();
    EXPECT_EQ(entry->Surface(), nullptr) << "the target goes with its screen";
    EXPECT_EQ(entry->UseCount(), 0);
    Frame();
    EXPECT_EQ(Pixel(48, 36).r, 0x80);
}

} // namespace

// What the sprite batch puts on the screen, drawn by the real device under
// Xvfb (or off-screen): clipped quads where they belong, and varying depths
// shaded with perspective.
#include "ui/sprite_batch.h"

#include "Veapi/display_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ui_test {
namespace {

using displaytest::DisplayTest;

uint32_t Red(uint32_t rgb) { return (rgb >> 16) & 0xFF; }

TEST_F(DisplayTest, SpriteBatchQuadsLandClipped)
{
    Start(640, 480, 32);
    ASSERT_TRUE(Display::BeginScene());
    Display::ClearColour() = 0xFF000000;
    Display::Clear();
    Display::EndFrame(nullptr, [] {
        SpriteBatch batch(SpriteBatch::DeviceSink());
        batch.SetScreen(640, 480);
        batch.DrawQuad({-50, 100, 100, 150}, {}, 0xFFFFFF00u, 0.5f);   // left part off-screen
        batch.DrawQuad({600, 700, 300, 340}, {}, 0xFF00FFFFu, 0.5f);   // right part off-screen
        batch.DrawQuad({-40, -20, 200, 220}, {}, 0xFFFF0000u, 0.5f);   // wholly off-screen
        batch.Flush();
    });
    EXPECT_EQ(ScreenPixel(0, 120), 0xFFFF00u);
    EXPECT_EQ(ScreenPixel(95, 145), 0xFFFF00u);
    EXPECT_EQ(ScreenPixel(110, 120), 0u);
    EXPECT_EQ(ScreenPixel(630, 320), 0x00FFFFu);
    EXPECT_EQ(ScreenPixel(590, 320), 0u);
    EXPECT_EQ(ScreenPixel(5, 210), 0u);
}

TEST_F(DisplayTest, VaryingDepthShadesWithPerspective)
{
    Start(640, 480, 32);
    ASSERT_TRUE(Display::BeginScene());
    Display::ClearColour() = 0xFF000000;
    Display::Clear();
    // Near edge black at depth 1, far edge red at depth 4.
    Display::EndFrame(nullptr, [] {
        const ScreenVertex v[] = {{100, 200, 0.25f, 1.0f, 0xFF000000u, 0, 0, 0},
                                  {300, 200, 0.5f, 0.25f, 0xFFFF0000u, 0, 0, 0},
                                  {300, 260, 0.5f, 0.25f, 0xFFFF0000u, 0, 0, 0},
                                  {100, 260, 0.25f, 1.0f, 0xFF000000u, 0, 0, 0}};
        ASSERT_TRUE(Display::Device()->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfTLVertex, v, 4));
    });
    for (int x : {120, 150, 200, 250, 290}) {
        const double s = (x + 0.5 - 100) / 200.0;
        const double expected = 255.0 * s * 0.25 / ((1 - s) * 1.0 + s * 0.25);
        EXPECT_NEAR(double(Red(ScreenPixel(x, 230))), expected, 4.0) << x;
    }
}

} // namespace
} // namespace ui_test

// Textures of the graphics layer: what each pixel format shows once drawn,
// and what device loss does to them.
#include <cmath>

#include "gfx_test_screen.h"

namespace {

using gfxtest::ScreenQuad;

// Quadrant colours of the 4 x 4 test texture: top-left, top-right, bottom-left, bottom-right.
constexpr uint32_t kQuads[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};

uint32_t QuadColour(int x, int y)
{
    return kQuads[(y >= 2 ? 2 : 0) + (x >= 2 ? 1 : 0)];
}

void Put(uint8_t* p, uint32_t v, uint32_t bytes)
{
    for (uint32_t b = 0; b < bytes; ++b)
        p[b] = uint8_t(v >> (8 * b));
}

uint32_t Pack(uint32_t argb, const gfx::FormatDesc& f)
{
    auto ch = [](uint32_t v8, uint32_t mask) -> uint32_t {
        if (!mask)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        int bits = 0;
        while (shift + bits < 32 && ((mask >> (shift + bits)) & 1))
            ++bits;
        return (v8 >> (8 - bits)) << shift;
    };
    return ch(argb >> 24, f.alphaMask) | ch((argb >> 16) & 0xFF, f.redMask) |
           ch((argb >> 8) & 0xFF, f.greenMask) | ch(argb & 0xFF, f.blueMask);
}

class GfxTexture : public gfxtest::Screen {
protected:
    // Draws the texture over the whole 32 x 32 screen with point sampling.
    void DrawTexture(gfx::Texture* t)
    {
        ASSERT_TRUE(device_->BeginScene());
        ClearTo(0xFF000000);
        ASSERT_TRUE(device_->SetTexture(0, t));
        ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::ColorOp, gfx::texop::SelectArg1));
        Draw(ScreenQuad(0, 0, 32, 32, 0xFFFFFFFF));
        ASSERT_TRUE(device_->EndScene());
    }
};

TEST_F(GfxTexture, EveryFormatShowsItsColours)
{
    Open(32, 32, 32);
    const gfx::FormatDesc rgbFormats[] = {gfx::Rgb565(), gfx::Argb1555(), gfx::Argb4444(),
                                          gfx::Argb8888(), gfx::Xrgb8888()};
    for (const gfx::FormatDesc& f : rgbFormats) {
        SCOPED_TRACE(f.bits * 1000 + f.alphaMask);
        auto t = gfx::Texture::Create(4, 4, f, 1);
        ASSERT_NE(t, nullptr);
        uint32_t pitch = 0;
        uint8_t* p = t->Lock(0, pitch);
        ASSERT_NE(p, nullptr);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                Put(p + y * pitch + x * (f.bits / 8), Pack(QuadColour(x, y), f), f.bits / 8);
        ASSERT_TRUE(t->Unlock(0));
        DrawTexture(t.get());
        EXPECT_EQ(Pixel(4, 4), 0xFF0000u);
        EXPECT_EQ(Pixel(28, 4), 0x00FF00u);
        EXPECT_EQ(Pixel(4, 28), 0x0000FFu);
        EXPECT_EQ(Pixel(28, 28), 0xFFFFFFu);
    }
}

TEST_F(GfxTexture, PalettisedTexturesAreExpandedThroughTheirPalette)
{
    Open(32, 32, 32);
    auto t = gfx::Texture::Create(4, 4, gfx::Palette8(), 1);
    ASSERT_NE(t, nullptr);
    uint32_t pitch = 0;
    uint8_t* p = t->Lock(0, pitch);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            p[y * pitch + x] = uint8_t(200 + (y >= 2 ? 2 : 0) + (x >= 2 ? 1 : 0));
    ASSERT_TRUE(t->Unlock(0));
    std::vector<uint32_t> palette(256, 0xFF808080);
    for (int i = 0; i < 4; ++i)
        palette[size_t(200 + i)] = kQuads[i];
    t->SetPalette(palette);
    DrawTexture(t.get());
    EXPECT_EQ(Pixel(4, 4), 0xFF0000u);
    EXPECT_EQ(Pixel(28, 4), 0x00FF00u);
    EXPECT_EQ(Pixel(4, 28), 0x0000FFu);
    EXPECT_EQ(Pixel(28, 28), 0xFFFFFFu);
}

TEST_F(GfxTexture, CompressedBlocksDecodeOnTheDevice)
{
    Open(32, 32, 32);
    // One 4 x 4 block: colour 0 red, colour 1 blue; index 0 on the left half,
    // index 1 on the right half. DXT3 adds explicit 4-bit alpha first.
    const uint8_t colourBlock[8] = {0x00, 0xF8, 0x1F, 0x00, 0x50, 0x50, 0x50, 0x50};
    for (uint32_t fourCC : {gfx::kDxt1, gfx::kDxt3}) {
        SCOPED_TRACE(fourCC);
        auto t = gfx::Texture::Create(4, 4, gfx::Dxt(fourCC), 1);
        ASSERT_NE(t, nullptr);
        uint32_t pitch = 0;
        uint8_t* p = t->Lock(0, pitch);
        ASSERT_NE(p, nullptr);
        if (fourCC == gfx::kDxt3) {
            std::fill(p, p + 8, uint8_t(0xFF));
            std::copy(colourBlock, colourBlock + 8, p + 8);
        } else {
            std::copy(colourBlock, colourBlock + 8, p);
        }
        ASSERT_TRUE(t->Unlock(0));
        DrawTexture(t.get());
        EXPECT_EQ(Pixel(4, 16), 0xFF0000u);
        EXPECT_EQ(Pixel(28, 16), 0x0000FFu);
    }
}

TEST_F(GfxTexture, ModulateMixesTextureAndVertexColour)
{
    Open(32, 32, 32);
    auto t = gfx::Texture::Create(2, 2, gfx::Argb8888(), 1);
    ASSERT_TRUE(t->ColourFill(0xFF80FF40));
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->SetTexture(0, t.get()));
    Draw(ScreenQuad(0, 0, 32, 32, 0xFF00FFFF));  // default stage 0: texture x diffuse
    const uint32_t px = Pixel(16, 16);
    EXPECT_EQ(px >> 16, 0u);
    EXPECT_NEAR(double((px >> 8) & 0xFF), 255.0, 1.0);
    EXPECT_NEAR(double(px & 0xFF), 64.0, 1.0);
    // An empty stage reads as white: the vertex colour shows.
    ASSERT_TRUE(device_->SetTexture(0, nullptr));
    Draw(ScreenQuad(0, 0, 32, 32, 0xFF00FFFF));
    EXPECT_EQ(Pixel(16, 16), 0x00FFFFu);
}

TEST_F(GfxTexture, LossEmptiesTexturesUntilTheyAreRestoredAndRewritten)
{
    Open(32, 32, 32);
    auto t = gfx::Texture::Create(4, 4, gfx::Argb8888(), 1);
    ASSERT_TRUE(t->ColourFill(0xFFFFFF00));
    gfx::SimulateSurfaceLoss();
    EXPECT_TRUE(t->IsLost());
    EXPECT_TRUE(gfx::IsScreenLost());
    uint32_t pitch = 0;
    EXPECT_EQ(t->Lock(0, pitch), nullptr);
    EXPECT_FALSE(device_->SetTexture(0, t.get()));
    EXPECT_FALSE(device_->Clear({}, gfx::kClearTarget, 0, 1, 0));
    ASSERT_TRUE(gfx::RestoreScreen());
    ASSERT_TRUE(t->Restore());
    // Restored storage holds nothing of the old picture.
    DrawTexture(t.get());
    EXPECT_EQ(Pixel(16, 16), 0x000000u);
    ASSERT_TRUE(t->ColourFill(0xFFFFFF00));
    DrawTexture(t.get());
    EXPECT_EQ(Pixel(16, 16), 0xFFFF00u);
}

TEST_F(GfxTexture, SmallerMipLevelsAreSampledForSmallerQuads)
{
    Open(32, 32, 32);
    auto t = gfx::Texture::Create(16, 16, gfx::Argb8888(), 3);
    ASSERT_NE(t, nullptr);
    const uint32_t colours[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    for (uint32_t level = 0; level < 3; ++level) {
        uint32_t pitch = 0;
        uint8_t* p = t->Lock(level, pitch);
        const uint32_t size = 16u >> level;
        for (uint32_t y = 0; y < size; ++y)
            for (uint32_t x = 0; x < size; ++x)
                Put(p + y * pitch + x * 4, colours[level], 4);
        ASSERT_TRUE(t->Unlock(level));
    }
    ASSERT_TRUE(device_->BeginScene());
    ClearTo(0xFF000000);
    ASSERT_TRUE(device_->SetTexture(0, t.get()));
    ASSERT_TRUE(device_->SetTextureStageState(0, gfx::StageState::MipFilter, gfx::filter::MipPoint));
    Draw(ScreenQuad(0, 0, 16, 16, 0xFFFFFFFF));  // one texel per pixel: level 0
    Draw(ScreenQuad(16, 16, 20, 20, 0xFFFFFFFF));  // four texels per pixel: level 2
    EXPECT_EQ(Pixel(8, 8), 0xFF0000u);
    EXPECT_EQ(Pixel(18, 18), 0x0000FFu);
}

TEST_F(GfxTexture, VideoMemoryShrinksByWhatTexturesTake)
{
    Open(16, 16, 32);
    gfx::CurrentFaults().videoMemory = 1 << 20;
    const uint64_t before = gfx::QueryVideoMemory(0x1000).free;
    {
        auto t = gfx::Texture::Create(256, 256, gfx::Rgb565(), 1);
        EXPECT_EQ(before - gfx::QueryVideoMemory(0x1000).free, 256u * 256u * 2u);
    }
    EXPECT_EQ(gfx::QueryVideoMemory(0x1000).free, before);
    // More memory than 32 bits can count is reported whole.
    gfx::CurrentFaults().videoMemory = 6ull << 30;
    EXPECT_EQ(gfx::QueryVideoMemory(0x1000).total, 6ull << 30);
}

} // namespace

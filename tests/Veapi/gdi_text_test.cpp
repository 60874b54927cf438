// Text written straight into a surface's pixels with a bitmap font: the
// glyphs' covered texels, the background, the clip rectangle, and nothing
// ever written outside the surface.
#include "Veapi/font.h"
#include "Veapi/gdi_text.h"
#include "Veapi/texture_loader.h"
#include "camera_fixture.h"
#include "platform/gfx_surface.h"
#include "platform/ref_counted.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <utility>
#include <vector>

namespace {

constexpr int32_t kWidth = 64, kHeight = 48;
constexpr uint16_t kBlank = 0x1234;  // what the surface holds before the text
constexpr uint32_t kText = 0xFFFF0000u, kBack = 0xFF0000FFu;
constexpr uint16_t kText565 = 0xF800, kBack565 = 0x001F;

// A font of 6-pixel advances and 10-pixel lines whose glyph texels are all
// clear but for the ones a test sets.
class GdiText : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        std::ofstream(dir_.Path() / "font.bmp") << "x";
        TextureManager::SetGraphicsDirectory(dir_.Path());
        TextureManager::SetLoader(scenetest::FilledTextureLoader(0));
        StartScene(320, 240);
        texture_ = TextureManager::Find("font.bmp");
        TextureManager::LoadPending();
        ASSERT_NE(texture_->Surface(), nullptr);
        std::vector<int32_t> widths(256, 6);
        std::vector<uint8_t> rows(FontGlyphs::kGlyphs);
        for (int i = 0; i < FontGlyphs::kGlyphs; ++i)
            rows[size_t(i)] = uint8_t(i / 20);
        std::string error;
        font_ = Font::Load(texture_, 10, widths, rows, error);
        texture_->Unuse();
        ASSERT_NE(font_, nullptr) << error;
        surface_ = RefPtr<gfx::Surface>::Adopt(
            new gfx::Surface(kWidth, kHeight, gfx::RgbFormat(16, 0xF800, 0x07E0, 0x001F), 0, 0));
    }
    void TearDown() override
    {
        SetGdiTextStyle(nullptr, 0, kGdiTransparent);
        if (font_)
            font_->Unload();
        SceneTest::TearDown();
    }
    // Sets the texel (du, dv) of the character's glyph cell.
    void CoverTexel(char ch, int du, int dv)
    {
        uint32_t pitch = 0;
        uint8_t* bits = texture_->Surface()->Lock(0, pitch);
        const int g = GlyphIndexOf(ch);
        const int u = int(font_->Glyphs().left[g] * 256.0f + 0.5f) + du;
        const int v = int(font_->Glyphs().top[g] * 256.0f + 0.5f) + dv;
        for (int i = 0; i < 4; ++i)
            bits[size_t(v) * pitch + size_t(u) * 4 + size_t(i)] = 0xFF;
    }
    void CoverWholeGlyph(char ch)
    {
        for (int v = 0; v < 9; ++v)
            for (int u = 0; u < 7; ++u)
                CoverTexel(ch, u, v);
    }
    void Blank()
    {
        auto& p = surface_->Pixels();
        for (size_t i = 0; i + 1 < p.size(); i += 2) {
            p[i] = uint8_t(kBlank & 0xFF);
            p[i + 1] = uint8_t(kBlank >> 8);
        }
    }
    uint16_t At(int x, int y) const
    {
        const auto& p = surface_->Pixels();
        const size_t i = size_t(y) * surface_->Pitch() + size_t(x) * 2;
        return uint16_t(p[i] | p[i + 1] << 8);
    }
    // Pixels that are not blank.
    int Written() const
    {
        int n = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                n += At(x, y) != kBlank;
        return n;
    }

    TextureEntry* texture_ = nullptr;
    Font* font_ = nullptr;
    RefPtr<gfx::Surface> surface_;
    displaytest::TempDir dir_;
};

TEST_F(GdiText, OnlyCoveredTexelsTakeTheTextColour)
{
    CoverTexel('A', 2, 3);
    CoverTexel('B', 0, 0);
    SetGdiTextStyle(font_, kText, kGdiTransparent);
    Blank();
    ASSERT_TRUE(DrawGdiText("AB", *surface_, 5, 7));
    EXPECT_EQ(At(7, 10), kText565) << "A's texel";
    EXPECT_EQ(At(11, 7), kText565) << "B's texel one advance on";
    EXPECT_EQ(Written(), 2);
}

TEST_F(GdiText, BackgroundClipAndSurfaceEdges)
{
    CoverWholeGlyph('I');
    struct Case {
        const char* what;
        uint32_t background;
        int32_t x, y;
        bool clipped;
        GdiRect clip;
        int written;
        std::vector<std::pair<int, int>> text, back, blank;
    } cases[] = {
        {"transparent: the glyph's 7 x 9 texels", kGdiTransparent, 10, 10, false, {}, 63, {{10, 10}, {16, 18}},
         {}, {{17, 10}, {10, 19}}},
        {"opaque: the 6 x 10 cell too", kBack, 10, 10, false, {}, 69, {{16, 18}}, {{10, 19}, {15, 19}},
         {{17, 10}, {9, 10}}},
        {"a rectangle cuts the glyph", kGdiTransparent, 10, 10, true, {12, 12, 14, 40}, 14, {{12, 12}, {13, 18}},
         {}, {{11, 12}, {14, 12}, {12, 11}}},
        {"an opaque rectangle is filled", kBack, 10, 10, true, {0, 0, 20, 30}, 600, {{10, 10}},
         {{0, 0}, {19, 29}}, {{20, 0}, {0, 30}}},
        {"past the left and top edges", kGdiTransparent, -4, -5, false, {}, 3 * 4, {{0, 0}, {2, 3}}, {},
         {{3, 0}, {0, 4}}},
        {"past the right and bottom edges", kBack, kWidth - 2, kHeight - 3, false, {}, 2 * 3,
         {{kWidth - 1, kHeight - 1}}, {}, {{kWidth - 3, kHeight - 1}}},
        {"far away", kBack, INT_MAX - 3, INT_MIN + 1, false, {}, 0, {}, {}, {{0, 0}}},
        {"a rectangle wider than the surface", kBack, 0, 0, true, {-100, -100, 1000, 1000}, kWidth * kHeight,
         {{0, 0}}, {{kWidth - 1, kHeight - 1}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetGdiTextStyle(font_, kText, c.background);
        Blank();
        ASSERT_TRUE(DrawGdiText("I", *surface_, c.x, c.y, c.clipped ? &c.clip : nullptr));
        EXPECT_EQ(Written(), c.written);
        for (const auto& [x, y] : c.text)
            EXPECT_EQ(At(x, y), kText565) << x << "," << y;
        for (const auto& [x, y] : c.back)
            EXPECT_EQ(At(x, y), kBack565) << x << "," << y;
        for (const auto& [x, y] : c.blank)
            EXPECT_EQ(At(x, y), kBlank) << x << "," << y;
    }
}

TEST_F(GdiText, MeasuresInTheStyleFontAndRefusesWhatItCannotDraw)
{
    int32_t w = -1, h = -1;
    SetGdiTextStyle(nullptr, kText, kBack);
    EXPECT_FALSE(MeasureGdiText("AB", w, h));
    EXPECT_FALSE(DrawGdiText("AB", *surface_, 0, 0));
    SetGdiTextStyle(font_, kText, kBack);
    ASSERT_TRUE(MeasureGdiText("AB", w, h));
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 10);
    ASSERT_TRUE(MeasureGdiText("", w, h));
    EXPECT_EQ(w, 0);

    RefPtr<gfx::Surface> palette =
        RefPtr<gfx::Surface>::Adopt(new gfx::Surface(8, 8, gfx::PaletteFormat(8), 0, 0));
    EXPECT_FALSE(DrawGdiText("AB", *palette, 0, 0)) << "a palette surface";
    EXPECT_TRUE(std::all_of(palette->Pixels().begin(), palette->Pixels().end(), [](uint8_t b) { return b == 0; }));
}

} // namespace

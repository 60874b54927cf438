// Screenshots: the BMP encoder byte for byte, the file names, and a real
// screenshot decoded by an independent reader (netpbm).
#include <array>
#include <cstdio>
#include <fstream>

#include "Veapi/screenshot.h"
#include "display_fixture.h"

namespace {

using displaytest::DisplayTest;
using displaytest::TempDir;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

const ColourPacking k565{{3, 11}, {2, 5}, {3, 0}};
const ColourPacking k555{{3, 10}, {3, 5}, {3, 0}};
const ColourPacking k8888{{0, 16}, {0, 8}, {0, 0}};

TEST(ScreenshotEncoder, PixelFormats)
{
    // Two rows of two pixels each: the top row comes last in the file.
    struct Case {
        const char* what;
        int bits;
        ColourPacking packing;
        std::vector<uint8_t> pixels;  // top row first, rows of `pitch` bytes
        int pitch;
        std::array<uint8_t, 6> fileTopRow, fileBottomRow;  // blue, green, red per pixel
    };
    const Case cases[] = {
        {"565 red, green / blue, white", 16, k565,
         {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF}, 4,
         {0, 0, 248, 0, 252, 0}, {248, 0, 0, 248, 252, 248}},
        {"555", 16, k555,
         {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F}, 4,
         {0, 0, 248, 0, 248, 0}, {248, 0, 0, 248, 248, 248}},
        {"24-bit copied", 24, k8888,
         {1, 2, 3, 4, 5, 6, 0xAA, 7, 8, 9, 10, 11, 12, 0xAA}, 7,
         {1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}},
        {"32-bit drops the fourth byte", 32, k8888,
         {1, 2, 3, 0xEE, 4, 5, 6, 0xEE, 7, 8, 9, 0xEE, 10, 11, 12, 0xEE}, 8,
         {1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto bmp = EncodeScreenBmp(c.pixels.data(), c.pitch, 2, 2, c.bits, c.packing);
        ASSERT_EQ(bmp.size(), 54u + 2 * 8);
        // Row bytes 6, padded to 8. File row 0 is the bottom screen row.
        EXPECT_TRUE(std::equal(c.fileBottomRow.begin(), c.fileBottomRow.end(), bmp.begin() + 54));
        EXPECT_TRUE(std::equal(c.fileTopRow.begin(), c.fileTopRow.end(), bmp.begin() + 62));
        EXPECT_EQ(bmp[60], 0);
        EXPECT_EQ(bmp[61], 0);
    }
}

TEST(ScreenshotEncoder, HeaderFields)
{
    const std::vector<uint8_t> pixels(3 * 5 * 4, 0);
    const auto bmp = EncodeScreenBmp(pixels.data(), 12, 3, 5, 32, k8888);
    const uint32_t row = 12;  // 3 x 3 = 9 rounded up to 12
    ASSERT_EQ(bmp.size(), 54 + row * 5);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    const std::pair<size_t, uint32_t> fields[] = {
        {2, 54 + row * 5}, {6, 0}, {10, 54}, {14, 40}, {18, 3}, {22, 5}, {30, 0}, {34, row * 5}, {38, 0}, {46, 0}};
    for (const auto& [at, value] : fields)
        EXPECT_EQ(Le32(bmp, at), value) << at;
    EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);   // planes
    EXPECT_EQ(bmp[28] | bmp[29] << 8, 24);  // bits
}

TEST(ScreenshotEncoder, RejectsWhatItCannotEncode)
{
    const std::vector<uint8_t> pixels(64, 0);
    EXPECT_TRUE(EncodeScreenBmp(pixels.data(), 4, 2, 2, 8, k565).empty());
    EXPECT_TRUE(EncodeScreenBmp(pixels.data(), 2, 2, 2, 16, k565).empty());  // pitch below a row
    EXPECT_TRUE(EncodeScreenBmp(nullptr, 4, 2, 2, 16, k565).empty());
    EXPECT_TRUE(EncodeScreenBmp(pixels.data(), 4, 0, 2, 16, k565).empty());
}

TEST(ScreenshotNames, TakeTheFirstFreeNumber)
{
    TempDir dir;
    EXPECT_EQ(Screenshot::NextName(dir.Path()).filename(), "Screen.bmp");
    std::ofstream(dir.Path() / "Screen.bmp") << "x";
    std::ofstream(dir.Path() / "Screen1.bmp") << "x";
    EXPECT_EQ(Screenshot::NextName(dir.Path()).filename(), "Screen2.bmp");
    std::ofstream(dir.Path() / "Screen3.bmp") << "x";
    EXPECT_EQ(Screenshot::NextName(dir.Path()).filename(), "Screen2.bmp");
}

// Decodes a BMP with netpbm into rows of 0xRRGGBB, top row first.
std::vector<std::vector<uint32_t>> DecodeWithNetpbm(const std::filesystem::path& bmp)
{
    return displaytest::DecodePpmFrom("bmptopnm '" + bmp.string() + "' 2>/dev/null");
}

class ScreenshotTest : public DisplayTest {};

TEST_F(ScreenshotTest, ScreenBmpHoldsWhatThePlayerSees)
{
    struct TlVertex {
        float x, y, z, rhw;
        uint32_t diffuse, specular;
        float u, v;
    };
    for (int depth : {16, 32}) {
        SCOPED_TRACE(depth);
        SetUp();
        TempDir dir;
        Start(640, 480, depth);
        ASSERT_TRUE(Display::BeginScene());
        Display::ClearColour() = 0xFF3060A0;
        Display::Clear();
        const TlVertex quad[] = {{100, 50, 0.5f, 1, 0xFFFF0000, 0, 0, 0}, {300, 50, 0.5f, 1, 0xFFFF0000, 0, 0, 0},
                                 {300, 150, 0.5f, 1, 0xFFFF0000, 0, 0, 0}, {100, 150, 0.5f, 1, 0xFFFF0000, 0, 0, 0}};
        ASSERT_TRUE(Display::Device()->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfTLVertex, quad, 4));
        Display::EndFrame(nullptr, nullptr);
        const std::filesystem::path file = Screenshot::Save(dir.Path());
        ASSERT_EQ(file.filename(), "Screen.bmp");
        const auto rows = DecodeWithNetpbm(file);
        ASSERT_EQ(rows.size(), 480u);
        ASSERT_EQ(rows[0].size(), 640u);
        // 16 bits keep the top 5, 6 and 5 bits of each channel.
        const uint32_t background = 0x3060A0u;  // exact in 5-6-5 too
        EXPECT_EQ(rows[0][0], background);
        EXPECT_EQ(rows[479][639], background);
        EXPECT_EQ(rows[49][200], background);
        EXPECT_EQ(rows[50][100], depth == 16 ? 0xF80000u : 0xFF0000u);
        EXPECT_EQ(rows[149][299], depth == 16 ? 0xF80000u : 0xFF0000u);
        EXPECT_EQ(rows[150][200], background);
        EXPECT_EQ(rows[100][300], background);
        TearDown();
    }
}

TEST_F(ScreenshotTest, NoScreenOrLostScreenWritesNoFile)
{
    TempDir dir;
    EXPECT_TRUE(Screenshot::Save(dir.Path()).empty());
    Start();
    gfx::SimulateSurfaceLoss();
    EXPECT_TRUE(Screenshot::Save(dir.Path()).empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    Display::ReleaseDeviceObjects();
    Display::RestoreDeviceObjects();
    EXPECT_EQ(Screenshot::Save(dir.Path()).filename(), "Screen.bmp");
}

} // namespace

#include "Veapi/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

namespace {

using namespace FontGlyphs;

struct Tables {
    std::vector<int32_t> widths = std::vector<int32_t>(256, 10);
    std::vector<uint8_t> rows = std::vector<uint8_t>(kGlyphs, 0);
};

TEST(FontGlyphTable, GlyphsFillRowsAndWrapToTheNextRow)
{
    Tables t;
    for (int i = 0; i < kGlyphs; ++i)
        t.rows[size_t(i)] = uint8_t(i / 10);  // ten glyphs a row
    t.widths[32] = 4;   // the space
    t.widths[33] = 7;
    GlyphTable g;
    std::string error;
    ASSERT_TRUE(BuildGlyphTable(16, t.widths, t.rows, g, error)) << error;
    struct Expect {
        int glyph;
        int left, right, top, bottom;  // texels
    } cases[] = {
        {0, 1, 6, 1, 16},       // x from 1, right edge one texel past the width
        {1, 8, 16, 1, 16},      // 1 + 4 + 3
        {2, 18, 29, 1, 16},     // 8 + 7 + 3
        {9, 18 + 7 * 13, 18 + 7 * 13 + 11, 1, 16},
        {10, 1, 12, 17, 32},    // next row: back to x = 1, down one line
        {99, 1 + 9 * 13, 1 + 9 * 13 + 11, 145, 160},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.glyph);
        EXPECT_FLOAT_EQ(g.left[e.glyph], float(e.left) / 256.0f);
        EXPECT_FLOAT_EQ(g.right[e.glyph], float(e.right) / 256.0f);
        EXPECT_FLOAT_EQ(g.top[e.glyph], float(e.top) / 256.0f);
        EXPECT_FLOAT_EQ(g.bottom[e.glyph], float(e.bottom) / 256.0f);
    }
}

TEST(FontGlyphTable, RefusesTablesThatDoNotFit)
{
    struct Case {
        const char* name;
        size_t widthCodes, rowGlyphs;
        int32_t lineHeight;
        int wideCode;  // code given width 300, or 0
        const char* says;
    } cases[] = {
        {"short width table", 131, 100, 16, 0, "width table holds 131"},
        {"short row table", 256, 99, 16, 0, "row table holds 99"},
        {"no line height", 256, 100, 0, 0, "line height 0"},
        {"a glyph wider than the texture", 256, 100, 16, 40, "glyph 8 (code 40"},
        {"rows past the bottom", 256, 100, 3, 0, "glyph 85 (code 117"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tables t;
        t.widths.resize(c.widthCodes);
        t.rows.resize(c.rowGlyphs);
        for (size_t i = 0; i < t.rows.size(); ++i)
            t.rows[i] = uint8_t(i);  // one glyph a row
        if (c.wideCode)
            t.widths[size_t(c.wideCode)] = 300;
        GlyphTable g;
        std::string error;
        EXPECT_FALSE(BuildGlyphTable(c.lineHeight, t.widths, t.rows, g, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

} // namespace

namespace {

TEST(FontLayout, LinesWrapAtWordsAndAtTheEdge)
{
    std::vector<int32_t> widths(256, 10);
    widths[' '] = 5;
    struct Case {
        const char* text;
        int32_t width;
        bool oneLine;
        int lines;
    } cases[] = {
        {"", 100, false, 0},
        {"abc", 100, false, 1},
        {"abc\ndef", 100, false, 2},
        {"abc\n", 100, false, 2},
        {"abcd fghij", 100, false, 1},         // 40 + 5 + 50 fits
        {"abcde fghij", 100, false, 2},        // 50 + 5 + 50 passes: the space ends the line
        {"abcdefghijkl", 100, false, 2},       // the 11th character passes the edge
        {"abcdefghijklmnopqrstu", 100, false, 3},
        {"abcde fghijk", 100, true, 1},        // one line: no wrapping
        {"ab\ncd", 10, true, 2},               // newlines still count
        {"a", 0, false, 1},                    // a first character always fits somewhere
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CountTextLines(widths, c.text, c.width, c.oneLine), c.lines);
    }
}

} // namespace

namespace {

TEST(FontGlyphs, CodesWithoutAGlyphDrawAndMeasureTheFallback)
{
    std::vector<int32_t> widths(256, 6);
    widths['?'] = 9;
    widths[200] = 50;  // a width the table holds but no glyph draws
    const struct {
        char ch;
        int glyph;
        int32_t advance;
    } cases[] = {
        {' ', 0, 6}, {'A', 'A' - 32, 6}, {char(131), 99, 6}, {char(132), '?' - 32, 9},
        {char(200), '?' - 32, 9}, {'\t', '?' - 32, 9}, {char(0), '?' - 32, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(uint8_t(c.ch)));
        EXPECT_EQ(GlyphIndexOf(c.ch), c.glyph);
        EXPECT_EQ(GlyphAdvance(widths, c.ch), c.advance);
    }
    // A short table gives nothing past its end instead of reading on.
    std::vector<int32_t> shortTable(40, 6);
    EXPECT_EQ(GlyphAdvance(shortTable, 'z'), 0);
}

FontFile SampleFont()
{
    FontFile f;
    f.lineHeight = 12;
    f.texture = "bitmaps\\Small Font.RIM";
    f.widths.assign(132, 7);
    f.rows.assign(100, 0);
    for (int i = 0; i < 100; ++i)
        f.rows[size_t(i)] = uint8_t(i / 20);
    return f;
}

TEST(FontFiles, WrittenFilesReadBackAndMatchTheirLayout)
{
    const FontFile f = SampleFont();
    const std::vector<uint8_t> bytes = WriteFontFile(f);
    // Laid out by hand: magic, version, line height, name, count, widths, rows.
    ASSERT_EQ(bytes.size(), 4 + 4 + 4 + 2 + f.texture.size() + 4 + 132 * 4 + 100);
    const uint8_t head[] = {'T', 'V', 'F', 'N', 1, 0, 0, 0, 12, 0, 0, 0, uint8_t(f.texture.size()), 0, 'b'};
    EXPECT_TRUE(std::equal(std::begin(head), std::end(head), bytes.begin()));
    FontFile back;
    std::string error;
    ASSERT_TRUE(ReadFontFile(bytes, back, error)) << error;
    EXPECT_EQ(back.lineHeight, 12);
    EXPECT_EQ(back.texture, f.texture);
    EXPECT_EQ(back.widths, f.widths);
    EXPECT_EQ(back.rows, f.rows);
}

TEST(FontFiles, HandBuiltFileReadsAndWritesBackUnchanged)
{
    std::ifstream in(std::string(TREVOK_FIXTURES_DIR) + "/Veapi/fonts/hand_built.fnt", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.size(), 667u);
    FontFile f;
    std::string error;
    ASSERT_TRUE(ReadFontFile(bytes, f, error)) << error;
    EXPECT_EQ(f.lineHeight, 10);
    EXPECT_EQ(f.texture, "bitmaps\\Hand Font.rim");
    ASSERT_EQ(f.widths.size(), 132u);
    EXPECT_EQ(f.widths[0], 3);
    EXPECT_EQ(f.widths[131], 6);
    EXPECT_EQ(f.rows[99], 4);
    EXPECT_EQ(WriteFontFile(f), bytes);
}

TEST(FontFiles, DamagedFilesAreRefusedWithWhereAndWhy)
{
    const std::vector<uint8_t> good = WriteFontFile(SampleFont());
    constexpr size_t kAll = SIZE_MAX;
    struct Case {
        const char* name;
        size_t at;    // byte changed, or kAll for none
        uint8_t value;
        size_t keep;  // bytes kept
        const char* says;
    } cases[] = {
        {"empty", kAll, 0, 0, "not a font file"},
        {"wrong magic", 0, 'X', kAll, "not a font file"},
        {"version 2", 4, 2, kAll, "version 2"},
        {"no texture name", 12, 0, kAll, "texture name of 0 bytes"},
        {"name past the end", 12, 0xFF, 40, "ends inside the texture name"},
        {"too few codes", 14 + 22, 100, kAll, "width table of 100 codes"},
        {"cut inside the rows", kAll, 0, good.size() - 1, "ends inside the tables"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = good;
        if (c.at != kAll)
            bytes[c.at] = c.value;
        bytes.resize(std::min(c.keep, bytes.size()));
        FontFile f;
        std::string error;
        EXPECT_FALSE(ReadFontFile(bytes, f, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find("at byte"), std::string::npos) << error;
    }
}

TEST(FontFiles, AFileNamingAMissingTextureFailsItsLoad)
{
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "trevok-font-missing";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "fonts");
    std::filesystem::create_directories(root / "graphics");
    const std::vector<uint8_t> bytes = WriteFontFile(SampleFont());
    std::ofstream(root / "fonts" / "small.fnt", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::string error;
    EXPECT_EQ(Font::LoadFile(root / "fonts", "SMALL.FNT", root / "graphics", error), nullptr);
    EXPECT_NE(error.find("small.fnt"), std::string::npos) << error;
    EXPECT_NE(error.find("texture \"bitmaps\\Small Font.RIM\" not found"), std::string::npos) << error;
    EXPECT_EQ(Font::All().Count(), 0);
    EXPECT_EQ(Font::LoadFile(root / "fonts", "large.fnt", root / "graphics", error), nullptr);
    EXPECT_NE(error.find("large.fnt: font file not found"), std::string::npos) << error;
    std::filesystem::remove_all(root);
}

} // namespace

// ---- On the screen -------------------------------------------------------------

#include "Veapi/texture_loader.h"
#include "camera_fixture.h"

namespace {

constexpr uint32_t kBlue = 0x000080, kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000;

// Every glyph cell of the texture is solid white: a glyph draws as a box
// (width + 1) x (line height - 1) pixels at its pen position.
class TextScene : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        std::ofstream(dir_.Path() / "font.bmp") << "x";
        TextureManager::SetGraphicsDirectory(dir_.Path());
        TextureManager::SetLoader(scenetest::FilledTextureLoader(0xFFFFFFFFu));
        Display::Hooks().flushText = [] { Font::FlushAll(); };
    }
    void TearDown() override
    {
        if (font_)
            font_->Unload();
        SceneTest::TearDown();
    }
    void Open()
    {
        StartScene(320, 240);
        TextureEntry* texture = TextureManager::Find("font.bmp");
        TextureManager::LoadPending();
        ASSERT_NE(texture->Surface(), nullptr);
        std::vector<int32_t> widths(256, 6);
        widths[' '] = 4;
        widths['?'] = 9;
        std::vector<uint8_t> rows(kGlyphs);
        for (int i = 0; i < kGlyphs; ++i)
            rows[size_t(i)] = uint8_t(i / 20);
        std::string error;
        font_ = Font::Load(texture, 10, widths, rows, error);
        texture->Unuse();
        ASSERT_NE(font_, nullptr) << error;
    }
    bool Is(int x, int y, uint32_t rgb)
    {
        const scenetest::Rgb a = Pixel(x, y), b = scenetest::Split(rgb);
        return std::abs(a.r - b.r) <= 8 && std::abs(a.g - b.g) <= 8 && std::abs(a.b - b.b) <= 8;
    }
    Font* font_ = nullptr;
    displaytest::TempDir dir_;
};

struct Probe {
    int x, y;
    uint32_t rgb;
};

struct TextCase {
    const char* name;
    const char* text;
    float left, top, right, bottom;
    uint32_t flags;
    int32_t cursor, maxLength;
    int lines;
    std::vector<Probe> probes;
    float scale = 1.0f;
};

TEST_F(TextScene, QueuedTextLandsWhereItsFlagsPutIt)
{
    Open();
    // Rectangle from (32, 24); glyphs advance 6 pixels and cover 7 x 9.
    const TextCase cases[] = {
        {"plain", "AB", 0.1f, 0.1f, 0.9f, 0.9f, 0, 0, -1, 1,
         {{33, 25, kWhite}, {44, 32, kWhite}, {46, 25, kBlue}, {33, 34, kBlue}, {31, 25, kBlue}}},
        {"centred", "AB", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kCentre, 0, -1, 1,
         {{155, 25, kWhite}, {166, 25, kWhite}, {33, 25, kBlue}}},
        {"cursor after the text", "AB", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kCursor, 2, -1, 1,
         {{49, 25, kWhite}, {52, 25, kBlue}}},
        {"cursor on the first character", "AB", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kCursor, 0, -1, 1,
         {{33, 25, kWhite}, {49, 25, kBlue}}},
        {"cursor on an empty line", "", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kCursor, 0, -1, 0,
         {{33, 25, kWhite}, {40, 25, kBlue}}},
        {"outline", "A", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kOutline, 0, -1, 1,
         {{31, 25, kBlack}, {39, 25, kBlack}, {33, 33, kBlack}, {35, 28, kWhite}, {30, 25, kBlue}}},
        {"second colour on the newest character", "AB", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kSecondColour, 0, -1,
         1, {{34, 25, kWhite}, {43, 25, kRed}}},
        {"wrapped", "AB CD EF", 0.1f, 0.1f, 0.1625f, 0.2f, 0, 0, -1, 3,
         {{33, 25, kWhite}, {33, 35, kWhite}, {33, 45, kWhite}}},
        {"cut at the bottom", "AB CD EF", 0.1f, 0.1f, 0.1625f, 0.2f, TextFlags::kCutAtBottom, 0, -1, 3,
         {{33, 25, kWhite}, {33, 35, kWhite}, {33, 45, kBlue}}},
        {"maximum length", "ABCD", 0.1f, 0.1f, 0.9f, 0.9f, 0, 0, 2, 1, {{44, 25, kWhite}, {50, 25, kBlue}}},
        {"upward", "AB\nCD", 0.1f, 0.5f, 0.9f, 0.9f, TextFlags::kUpward, 0, -1, 2,
         {{33, 111, kWhite}, {33, 121, kWhite}, {33, 131, kBlue}}},
        {"upward past the top of the screen", "AB\nCD\nEF", 0.1f, 0.02f, 0.9f, 0.9f, TextFlags::kUpward, 0, -1, 3,
         {{33, 0, kWhite}, {33, 3, kWhite}, {33, 6, kWhite}, {33, 14, kBlue}}},
        {"code without a glyph", "\xE9", 0.1f, 0.1f, 0.9f, 0.9f, 0, 0, -1, 1, {{41, 25, kWhite}, {43, 25, kBlue}}},
        {"measure only", "AB", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kMeasure, 0, -1, 1, {{33, 25, kBlue}}},
        // Half size: advances of 3, glyphs 3.5 x 4.5, lines 5 apart; the
        // 20-pixel box holds 40 of the font's pixels, so "AB CD" shares a line.
        {"half scale wraps later", "AB CD EF", 0.1f, 0.1f, 0.1625f, 0.2f, 0, 0, -1, 2,
         {{33, 25, kWhite}, {44, 25, kWhite}, {33, 30, kWhite}, {33, 35, kBlue}, {49, 25, kBlue}},
         0.5f},
        {"double scale", "A", 0.1f, 0.1f, 0.9f, 0.9f, 0, 0, -1, 1,
         {{33, 25, kWhite}, {44, 40, kWhite}, {47, 25, kBlue}, {33, 43, kBlue}}, 2.0f},
        {"centred at half scale", "AB", 0.1f, 0.1f, 0.9f, 0.9f, TextFlags::kCentre, 0, -1, 1,
         {{158, 25, kWhite}, {161, 25, kWhite}, {155, 25, kBlue}, {164, 25, kBlue}}, 0.5f},
        {"a scale that is no number draws at 1", "AB", 0.1f, 0.1f, 0.9f, 0.9f, 0, 0, -1, 1,
         {{33, 25, kWhite}, {44, 32, kWhite}, {46, 25, kBlue}}, std::numeric_limits<float>::quiet_NaN()},
        {"a negative scale draws at 1", "AB", 0.1f, 0.1f, 0.9f, 0.9f, 0, 0, -1, 1,
         {{33, 25, kWhite}, {44, 32, kWhite}, {46, 25, kBlue}}, -2.0f},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        BeginFrame(kBlue);
        const int lines = font_->DrawString(c.left, c.top, c.right, c.bottom, c.text, 0.0f, 0xFFFFFFFFu,
                                            c.maxLength, c.flags, c.cursor, 0xFFFF0000u, 0, c.scale);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(font_->QueuedCount(), (c.flags & TextFlags::kMeasure) ? 0 : 1);
        EndFrame();
        EXPECT_EQ(font_->QueuedCount(), 0) << "the end of the frame empties the queue";
        for (const Probe& p : c.probes)
            EXPECT_TRUE(Is(p.x, p.y, p.rgb)) << "at " << p.x << "," << p.y;
    }
}

TEST_F(TextScene, MeasuringFollowsTheWidthTable)
{
    Open();
    // 320 pixels wide: fractions of 1/320 are whole pixels.
    const struct {
        const char* text;
        int32_t width;  // pixels
        int32_t firstLine;
        int lines;
    } cases[] = {
        {"AB CD EF", 100, 0, 1},
        {"AB CD EF", 28, 0, 2},   // "AB CD" is 6 + 6 + 4 + 6 + 6 = 28
        {"AB CD EF", 27, 0, 3},
        {"ABCDEFGHIJ", 30, 0, 2},  // the sixth letter passes 30
        {"AB CD EF", 20, 1, 2},    // lines from the second on
        {"AB CD EF", 20, 3, 0},    // a first line beyond the text
        {"", 100, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.width));
        EXPECT_EQ(font_->DrawString(0.0f, 0.0f, float(c.width) / 320.0f, 1.0f, c.text, 0, 0xFFFFFFFFu, -1,
                                    TextFlags::kMeasure, 0, 0, c.firstLine),
                  c.lines);
        if (c.firstLine == 0) {
            EXPECT_EQ(CountTextLines(font_->Widths(), c.text, c.width, false), c.lines);
        }
    }
    EXPECT_FLOAT_EQ(font_->LineHeight(), 10.0f / 240.0f);
    EXPECT_EQ(font_->QueuedCount(), 0);
}

TEST_F(TextScene, TextStillDrawsAfterTheDeviceLostItsObjects)
{
    Open();
    Display::ReleaseDeviceObjects();
    Display::RestoreDeviceObjects();
    BeginFrame(kBlue);
    font_->DrawString(0.1f, 0.1f, 0.9f, 0.9f, "AB", 0.0f, 0xFFFFFFFFu, -1, 0, 0, 0);
    EndFrame();
    EXPECT_TRUE(Is(33, 25, kWhite));
    EXPECT_TRUE(Is(46, 25, kBlue));
}

TEST_F(TextScene, MoreGlyphsThanOneBufferAreDrawnInBatches)
{
    Open();
    BeginFrame(kBlue);
    // 600 glyphs: 2400 vertices, past the 2048 one buffer holds.
    const std::string page(600, 'M');
    EXPECT_EQ(font_->DrawString(0.0f, 0.0f, 318.0f / 320.0f, 1.0f, page, 0, 0xFFFFFFFFu, -1, 0, 0, 0), 12);
    EndFrame();
    EXPECT_TRUE(Is(1, 1, kWhite)) << "first glyph";
    EXPECT_TRUE(Is(1, 111, kWhite)) << "first glyph of the last line";
    EXPECT_TRUE(Is(1, 125, kBlue));
}

} // namespace

namespace {

const char* SampleRoot()
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    return root ? root : "sample-data";
}

class SampleFontScene : public scenetest::SceneTest {
protected:
    void TearDown() override
    {
        while (!Font::All().IsEmpty())
            (*Font::All().begin())->Unload();
        SceneTest::TearDown();
    }
};

TEST_F(SampleFontScene, TheGameFontsLoadAndDrawTheirLetters)
{
    const std::filesystem::path root = SampleRoot();
    if (!std::filesystem::exists(root / "fonts"))
        GTEST_SKIP() << "the sample data set is not built";
    // The glyph shapes are an 8-bit alpha plane: keep it whole.
    Display::Options().prefer32BitTextures = true;
    StartScene(320, 240);
    TextureManager::SetGraphicsDirectory(root / "graphics");
    Display::Hooks().flushText = [] { Font::FlushAll(); };
    Font* small = nullptr;
    for (const char* name : {"SMALL FONT.FNT", "large font.fnt", "Small Font 2.fnt"}) {
        std::string error;
        Font* f = Font::LoadFile(root / "fonts", name, root / "graphics", error);
        ASSERT_NE(f, nullptr) << name << ": " << error;
        small = small ? small : f;
    }
    TextureManager::LoadPending();
    ASSERT_NE(small->Texture()->Surface(), nullptr) << ve::TextureLoader::LastError() << " " << small->Texture()->Name() << " uses " << small->Texture()->UseCount();
    BeginFrame(0);
    // "I" has its middle column lit and its outer columns dark.
    small->DrawString(0.0f, 0.0f, 1.0f, 1.0f, "I", 0.0f, 0xFFFFFFFFu, -1, 0, 0, 0);
    EndFrame();
    auto grey = [&](int x, int y) {
        const scenetest::Rgb p = Pixel(x, y);
        return (p.r + p.g + p.b) / 3;
    };
    EXPECT_GT(grey(3, 4), 200);
    EXPECT_LT(grey(1, 4), 60);
    EXPECT_GT(grey(2, 1), 200) << "the serif";
    EXPECT_LT(grey(3, 9), 60) << "below the letter";
}

} // namespace

// The open console on a real display: its backdrop and rows land where the
// player sees them.
#include "../Veapi/camera_fixture.h"

#include "Veapi/font.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_loader.h"
#include "console/console.h"
#include "console/console_draw.h"
#include "console/screen_message.h"

#include <fstream>
#include <utility>

namespace {

int64_t g_now = 0;

constexpr uint32_t kBlue = 0x000080, kRed = 0xFF0000, kGreen = 0x00FF00;

// Three fonts whose glyph cells are solid white: a glyph draws as a box
// 7 x 9 pixels at its pen position (widths 6, line height 10).
class ConsoleScene : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        g_now = 0;
        TextConsole::SetClocks({[] { return g_now; }, [] { return g_now; }, [] { return int64_t(1000); }});
        const auto fonts = dir_.Path() / "fonts", graphics = dir_.Path() / "graphics";
        std::filesystem::create_directories(fonts);
        std::filesystem::create_directories(graphics);
        std::ofstream(graphics / "font.bmp") << "x";
        FontFile file;
        file.lineHeight = 10;
        file.texture = "font.bmp";
        file.widths.assign(FontGlyphs::kWidthCodes, 6);
        for (int i = 0; i < FontGlyphs::kGlyphs; ++i)
            file.rows.push_back(uint8_t(i / 20));
        const std::vector<uint8_t> bytes = WriteFontFile(file);
        for (const char* name : ConsoleFonts::kFiles)
            std::ofstream(fonts / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                std::streamsize(bytes.size()));
        TextureManager::SetGraphicsDirectory(graphics);
        TextureManager::SetLoader(scenetest::FilledTextureLoader(0xFFFFFFFFu));
        Display::Hooks().flushText = [] { Font::FlushAll(); };
        StartScene(320, 240);
        std::string error;
        ASSERT_TRUE(TextConsole::Init(fonts, graphics, error)) << error;
        TextureManager::LoadPending();
        TextConsole::Get().lines.clear();
    }
    void TearDown() override
    {
        TextConsole::Shutdown();
        TextConsole::SetClocks({});
        SceneTest::TearDown();
    }
    void Frame()
    {
        BeginFrame(kBlue);
        TextConsole::Draw(g_now);
        EndFrame();
    }
    bool Is(int x, int y, uint32_t rgb)
    {
        const scenetest::Rgb a = Pixel(x, y), b = scenetest::Split(rgb);
        return std::abs(a.r - b.r) <= 8 && std::abs(a.g - b.g) <= 8 && std::abs(a.b - b.b) <= 8;
    }
    displaytest::TempDir dir_;
};

TEST_F(ConsoleScene, TheOpenConsoleDrawsItsRowsOverItsBackdrop)
{
    TextConsole::State& s = TextConsole::Get();
    s.instant = true;
    TextConsole::Toggle();
    // 30 pixels: two output rows above the edit line.
    TextConsole::ExecuteAtFullAccess("LINES 3", {LineSource::Typed, {}, 0});
    TextConsole::Draw(g_now);
    s.textColour = 0xFFFF0000u;
    TextConsole::Print("I");
    TextConsole::ExecuteAtFullAccess("CURSOR COLOUR 0 1 0", {LineSource::Typed, {}, 0});
    ASSERT_EQ(s.cursorColour, 0xFF00FF00u);
    ASSERT_FLOAT_EQ(s.rowHeight, 8.5f / 240.0f) << "the console measures with the small font at 0.85";
    Frame();
    struct Probe {
        const char* what;
        int x, y;
        uint32_t rgb;
    } probes[] = {
        {"the output line, one row above the edit line", 24, 14, kRed},
        {"the edit line's cursor on the bottom row", 24, 21, kGreen},
        {"below the console", 300, 100, kBlue},
        {"just below its lower edge", 300, 31, kBlue},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.what);
        EXPECT_TRUE(Is(p.x, p.y, p.rgb)) << std::hex << Pixel(p.x, p.y).r << " " << Pixel(p.x, p.y).g << " "
                                         << Pixel(p.x, p.y).b;
    }
    // The backdrop darkens the screen behind the console, text and all.
    for (const auto& [x, y] : {std::pair{10, 14}, std::pair{300, 5}, std::pair{300, 22}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        EXPECT_LT(Pixel(x, y).b, 0x60);
        EXPECT_EQ(Pixel(x, y).r, 0);
    }

    // Closed, nothing of it is left.
    TextConsole::Toggle();
    Frame();
    for (const auto& [x, y] : {std::pair{24, 14}, std::pair{24, 24}, std::pair{300, 5}})
        EXPECT_TRUE(Is(x, y, kBlue)) << x << "," << y;
}

TEST_F(ConsoleScene, ScreenMessagesAreRevealedThroughTheSmallFont)
{
    TextConsole::Get().textColour = 0xFFFF0000u;
    ScreenMessage::Create(0.5f, 0.5f, "IIII", 1, 0.4f);
    // Two characters shown after 0.08 s at 25 a second.
    g_now = 80;
    Frame();
    const int y = int(0.5f * 240.0f) + 4, x = int(0.5f * 320.0f) + 1;
    EXPECT_FALSE(Is(x, y, kBlue)) << "the first character";
    EXPECT_TRUE(Is(x + 2 * 6 + 2, y, kBlue)) << "the third is not shown yet";
}

} // namespace

namespace {

TEST_F(ConsoleScene, RightAlignedTextEndsAtItsPosition)
{
    BeginFrame(kBlue);
    Text::DrawRightAligned("II", 0.5f, 0.5f, 0xFFFF0000u);  // 12 pixels ending at 160
    EndFrame();
    EXPECT_TRUE(Is(150, 124, kRed));
    EXPECT_TRUE(Is(145, 124, kBlue));
    EXPECT_TRUE(Is(163, 124, kBlue));
}

TEST_F(ConsoleScene, EachHelperDrawsAtItsOwnScale)
{
    // Ten glyphs advancing 6 pixels each end 60 x scale pixels from the start.
    const std::string_view ten = "IIIIIIIIII";
    struct Case {
        const char* name;
        void (*draw)(std::string_view);
        int left, top;
        float scale;
    } cases[] = {
        {"small", [](std::string_view t) { Text::DrawSmall(t, 0.5f, 0.5f, 0xFFFF0000u); }, 160, 120, 0.95f},
        {"small 2", [](std::string_view t) { Text::DrawSmall2(t, 0.5f, 0.5f, 0xFFFF0000u); }, 160, 120, 0.95f},
        {"small clipped",
         [](std::string_view t) { Text::DrawSmallClipped(t, 10, 0.5f, 0.5f, 0xFFFF0000u, false); }, 160, 120, 0.95f},
        {"small scaled",
         [](std::string_view t) { Text::DrawSmallScaled(t, 10, 0.5f, 0.5f, 0.5f, 0xFFFF0000u); }, 160, 120, 0.5f},
        {"small or large",
         [](std::string_view t) { Text::DrawSmallOrLarge(t, true, 0.5f, 0.5f, 0xFFFF0000u); }, 160, 120, 1.0f},
        {"clipped", [](std::string_view t) { Text::DrawClipped(t, 10, false, 0.5f, 0.5f, 0xFFFF0000u); }, 160, 120,
         1.0f},
        {"small reduced", [](std::string_view t) { Text::DrawSmallReduced(t, 0.5f, 0.5f, 0xFFFF0000u); }, 160, 120,
         0.9f},
        {"wrapped box", [](std::string_view t) { Text::DrawWrappedBox(t, 10, 0xFFFF0000u); }, 32, 186, 0.8f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BeginFrame(kBlue);
        c.draw(ten);
        EndFrame();
        const int end = c.left + int(60.0f * c.scale), y = c.top + 2;
        EXPECT_TRUE(Is(end - 3, y, kRed)) << "the last glyph";
        EXPECT_TRUE(Is(end + 3, y, kBlue)) << "nothing past the scaled end";
        EXPECT_TRUE(Is(c.left + 2, c.top + int(9.0f * c.scale) + 2, kBlue)) << "nothing below the scaled height";
    }
}

TEST_F(ConsoleScene, AMissingFontLeavesTheConsoleRunningWithoutDrawing)
{
    std::filesystem::remove(dir_.Path() / "fonts" / ConsoleFonts::kFiles[2]);
    std::string error;
    EXPECT_FALSE(TextConsole::Init(dir_.Path() / "fonts", dir_.Path() / "graphics", error));
    EXPECT_NE(error.find("small font 2"), std::string::npos) << error;
    EXPECT_EQ(ConsoleFonts::Get(ConsoleFonts::kSmall), nullptr) << "all three fonts or none";
    TextConsole::Print("still printing");
    EXPECT_EQ(TextConsole::Get().lines.back().text, "still printing");
    TextConsole::Get().instant = true;
    EXPECT_NO_FATAL_FAILURE(Frame());
}

TEST_F(ConsoleScene, TheBackdropSlidesDownWithTheConsole)
{
    TextConsole::Toggle();
    TextConsole::ExecuteAtFullAccess("LINES 3", {LineSource::Typed, {}, 0});
    // Three rows of 8.5 pixels end at 25.5; the console comes 0.09 of the
    // screen (21.6 pixels) a frame.
    struct Step {
        const char* what;
        int darkTo, blueFrom;
    } steps[] = {{"first frame", 20, 23}, {"at its target", 24, 27}, {"and there it stays", 24, 27}};
    for (const Step& st : steps) {
        SCOPED_TRACE(st.what);
        Frame();
        EXPECT_LT(Pixel(300, st.darkTo).b, 0x60);
        EXPECT_TRUE(Is(300, st.blueFrom, kBlue));
    }
}

int g_statusSetups = 0;

TEST_F(ConsoleScene, InitBuildsTheLitBackdropAndSetsUpTheStatusWindowOnce)
{
    const VeObject* backdrop = ConsoleBackdrop::Object();
    ASSERT_NE(backdrop, nullptr);
    ASSERT_NE(ConsoleBackdrop::Lights(), nullptr);
    const gfx::Material& m = ConsoleBackdrop::Lights()->Material();
    EXPECT_EQ(ConsoleBackdrop::Lights()->LightCount(), 0);
    EXPECT_FLOAT_EQ(m.emissive.r + m.emissive.g + m.emissive.b, 0.0f) << "black";
    EXPECT_FLOAT_EQ(m.diffuse.a, ConsoleBackdrop::kAlpha);

    g_statusSetups = 0;
    TextConsole::SetStatusWindowSetup([] { ++g_statusSetups; });
    std::string error;
    ASSERT_TRUE(TextConsole::Init(dir_.Path() / "fonts", dir_.Path() / "graphics", error)) << error;
    EXPECT_EQ(g_statusSetups, 1);
    std::filesystem::remove(dir_.Path() / "fonts" / ConsoleFonts::kFiles[0]);
    EXPECT_FALSE(TextConsole::Init(dir_.Path() / "fonts", dir_.Path() / "graphics", error));
    EXPECT_EQ(g_statusSetups, 1) << "no window over a console without fonts";
    TextConsole::SetStatusWindowSetup(nullptr);

    TextConsole::Shutdown();
    EXPECT_EQ(ConsoleBackdrop::Object(), nullptr) << "released with the console";
}

} // namespace

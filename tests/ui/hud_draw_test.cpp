// The HUD on a real display: countdown lines and the order-list notice in
// the colours and places the player sees them. The fonts' glyph cells are
// solid, so each character draws as a box of the text colour.
#include "../Veapi/camera_fixture.h"

#include "console/console.h"
#include "console/console_draw.h"
#include "fake_view.h"
#include "golden_frame.h"
#include "ui/hud.h"
#include "ui/mouse.h"
#include "ui/recon_view.h"
#include "Veapi/camera.h"
#include "Veapi/font.h"
#include "Veapi/texture_loader.h"

#include <fstream>

namespace ui_test {
namespace {

constexpr uint32_t kBlue = 0x000080;
constexpr int kGlyph = 6, kThirdFontGlyph = 9; // font pixels

class HudScene : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        const auto fonts = dir_.Path() / "fonts", graphics = dir_.Path() / "graphics";
        std::filesystem::create_directories(fonts);
        std::filesystem::create_directories(graphics);
        std::ofstream(graphics / "font.bmp") << "x";
        FontFile file;
        file.lineHeight = 10;
        file.texture = "font.bmp";
        for (int i = 0; i < FontGlyphs::kGlyphs; ++i)
            file.rows.push_back(uint8_t(i / 20));
        // The third font's glyphs are wider, so text in it shows by its width.
        for (int which = 0; which < ConsoleFonts::kCount; ++which) {
            file.widths.assign(FontGlyphs::kWidthCodes, which == ConsoleFonts::kSmall2 ? kThirdFontGlyph : kGlyph);
            const std::vector<uint8_t> bytes = WriteFontFile(file);
            std::ofstream(fonts / ConsoleFonts::kFiles[which], std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        TextureManager::SetGraphicsDirectory(graphics);
        TextureManager::SetLoader([](const TextureLoadRequest& req, TextureLoadResult& res) {
            if (req.target)
                return req.target->ColourFill(0xFFFFFFFFu);
            res.surface = gfx::Texture::Create(256, 256, gfx::Argb8888(), 1);
            res.width = res.height = 256;
            return res.surface && res.surface->ColourFill(0xFFFFFFFFu);
        });
        Display::Hooks().flushText = [] { Font::FlushAll(); };
        StartScene(320, 240);
        std::string error;
        ASSERT_TRUE(TextConsole::Init(fonts, graphics, error)) << error;
        TextureManager::LoadPending();
        Hud::Reset();
    }
    void TearDown() override
    {
        TextConsole::Shutdown();
        SceneTest::TearDown();
    }
    void Frame()
    {
        BeginFrame(kBlue);
        Hud::DrawUnitInfoAndOrders();
        EndFrame();
    }
    bool Near(int x, int y, int r, int g, int b)
    {
        const scenetest::Rgb p = Pixel(x, y);
        return std::abs(p.r - r) <= 10 && std::abs(p.g - g) <= 10 && std::abs(p.b - b) <= 10;
    }
    displaytest::TempDir dir_;
    ReplicaWorld world_;
    FakeView view_;
};

TEST_F(HudScene, CountdownAndOrderNotice)
{
    Unit* timer = world_.MakeUnit(3, 1, "timer");
    timer->SetProgress(0, AppTime::GameSeconds() + 4.0f);
    view_.objects = {timer};
    view_.selected = {world_.MakeUnit(1, 1, "trevok"), world_.MakeUnit(2, 1, "vell")};
    view_.modifiers = kModifierCtrl;
    Frame();
    // The bottom line at x 0.01: 60 % red, 40 % green.
    const float lh = ConsoleFonts::Get(ConsoleFonts::kSmall)->LineHeight();
    const int countdownY = int((1.0f - lh) * 240.0f) + 4;
    EXPECT_TRUE(Near(6, countdownY, 153, 102, 0)) << Pixel(6, countdownY).r << "," << Pixel(6, countdownY).g;
    // The notice in green one line from the top.
    const int noticeY = int(lh * 240.0f) + 4;
    EXPECT_TRUE(Near(6, noticeY, 0, 255, 0)) << Pixel(6, noticeY).g;
    // The middle of the screen is left alone.
    EXPECT_TRUE(Near(160, 120, 0, 0, 0x80));
    // Without Ctrl no notice.
    view_.modifiers = 0;
    Frame();
    EXPECT_TRUE(Near(6, noticeY, 0, 0, 0x80));
}

// The whole HUD of a paused game as the player sees it, against its golden
// frame: a lone selected character's order list (Ctrl held), a countdown
// in the bottom corner and the pause banner in its visible second.
TEST_F(HudScene, GoldenOrdersCountdownAndPause)
{
    Unit* timer = world_.MakeUnit(3, 1, "timer");
    timer->SetProgress(0, AppTime::GameSeconds() + 4.0f);
    Unit* trevok = world_.MakeUnit(1, 1, "trevok");
    ReplicaWorld::SetOrders(*trevok, {4, 1, 2});
    view_.objects = {timer, trevok};
    view_.selected = {trevok};
    view_.modifiers = kModifierCtrl;
    view_.paused = true;
    view_.now = 5000;
    Frame();
    uitest::KeepFrame("hud");
    // The banner's first character, white, one and a half lines up.
    const float lh = ConsoleFonts::Get(ConsoleFonts::kSmall)->LineHeight();
    EXPECT_TRUE(Near(int(0.03f * 320) + 2, int((1.0f - 1.5f * lh) * 240.0f) + 4, 255, 255, 255));
    const uitest::SmallFrame frame =
        uitest::Shrink([this](int x, int y) { return ScreenPixel(x, y); }, 0, 0, 320, 240, 8);
    EXPECT_TRUE(uitest::MatchesGolden(frame, "hud", 40, 4));
}

// The box of a selection drag, and the route of a lone selected character
// while Ctrl shows its orders: lines through the main camera from the
// character to each waypoint in turn, each waypoint labelled "[n]".
TEST_F(HudScene, SelectionBoxAndWaypointRoute)
{
    view_.width = 320;
    view_.height = 240;
    MainCamera& main = MainCamera::Get();
    main.SetViewSize(2.0f * 320 / 240, 2.0f);
    main.SetNearFar(1.0f, 100.0f);
    main.SetPosition({0, 0, 0});
    // Straight ahead at 10 m is the middle; 2.5 m to the side at that
    // distance is 30 pixels from it (the view is 2.67 wide at 1 m), and
    // y grows down the screen.
    Unit* trevok = world_.MakeUnit(1, 1, "trevok", {0, 0, 10});
    LocalOrder a, b;
    a.kind = b.kind = LocalOrder::kWaypoint;
    a.position = {2.5f, 0, 10};
    b.position = {2.5f, 2.5f, 10};
    trevok->AppendOrder(a);
    trevok->AppendOrder(b);
    view_.selected = {trevok};
    view_.modifiers = kModifierCtrl;
    MouseActionMap::Build(false);
    Mouse::OnLeftDown(20, 150, 0);
    Mouse::OnMove(100, 220, 0);
    ASSERT_TRUE(MouseAction::SelectionBox().shown);
    Frame();
    uitest::KeepFrame("hud_box_and_route");
    const struct {
        const char* what;
        int x, y;
        int r, g, b;
    } rows[] = {
        {"box top", 60, 150, 0, 199, 0},         {"box left", 20, 190, 0, 199, 0},
        {"box inside", 60, 190, 0, 0, 0x80},     {"first leg", 175, 120, 255, 255, 255},
        {"second leg", 190, 140, 255, 255, 255}, {"off the route", 175, 135, 0, 0, 0x80},
        // "[n]" at each waypoint: solid glyphs from its pixel down and right.
        {"first label", 200, 123, 255, 255, 255}, {"second label", 200, 153, 255, 255, 255},
    };
    for (const auto& r : rows)
        EXPECT_TRUE(Near(r.x, r.y, r.r, r.g, r.b))
            << r.what << ": " << Pixel(r.x, r.y).r << "," << Pixel(r.x, r.y).g << "," << Pixel(r.x, r.y).b;
    Mouse::OnLeftUp(100, 220, 0);
    EXPECT_FALSE(MouseAction::SelectionBox().shown);
    Frame();
    EXPECT_TRUE(Near(60, 150, 0, 0, 0x80)) << "the box goes with the drag";
    // Without Ctrl no route.
    view_.modifiers = 0;
    Frame();
    EXPECT_TRUE(Near(175, 120, 0, 0, 0x80));
}

// The recon view's panel is written in the third font: the first selected
// unit's name, at the bracket's corner plus 0.03 of the screen, is as wide
// as that font makes it.
TEST_F(HudScene, TheReconPanelIsWrittenInTheThirdFont)
{
    view_.width = 320;
    view_.height = 240;
    Unit* lead = world_.MakeUnit(1, 1, "Trevok");
    view_.objects = {lead};
    view_.selected = {lead};
    ReconView::Toggle(true);
    Frame();
    ReconView::Toggle(false);
    uitest::KeepFrame("hud_recon_panel");
    const int x0 = int((0.125f + 0.03f) * 320) + 1, y = int((0.125f + 0.03f) * 240) + 4;
    int x = x0;
    while (x < 320 && Near(x, y, 0, 199, 0))
        ++x;
    // Six glyphs of the third font (drawn a little reduced), far wider than
    // six of the small font.
    const int width = x - x0;
    EXPECT_GT(width, 7 * kGlyph) << "six glyphs of the small font";
    EXPECT_LE(width, 6 * kThirdFontGlyph + 1);
}

} // namespace
} // namespace ui_test

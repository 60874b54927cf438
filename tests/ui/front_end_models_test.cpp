// The main menu's 3-D pieces: which ring buttons a screen draws and in which
// look, the row bars' brightness by glow, and on a real display the sample
// menu model's three parts landing on the ring the pointer is tested
// against, each in its look, with the lit bar behind a glowing row.
#include "ui/front_end.h"
#include "ui/front_end_models.h"

#include "../Veapi/camera_fixture.h"
#include "Veapi/render_queue.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "platform/data_path.h"
#include "console/text_console.h"
#include "objects/shape_cache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

namespace {

using FrontEnd::RingButtonDraw;
namespace fs = std::filesystem;

constexpr int kGrey = FrontEndModels::kDisabled, kGreen = FrontEndModels::kNormal,
              kLit = FrontEndModels::kHighlighted;

struct RingCase {
    int screen, count, scroll, highlight;
    std::vector<RingButtonDraw> drawn;
};

TEST(FrontEndRingButtons, WhichButtonsShowAndHow)
{
    using namespace FrontEnd;
    const RingCase cases[] = {
        // Six rows fit: no scroll buttons; no back on the main screen.
        {kMain, 6, 0, kNothing, {}},
        // Seven: both scroll buttons, up disabled at the top.
        {kMain, 7, 0, kNothing, {{kScrollUp, kGrey}, {kScrollDown, kGreen}}},
        {kOptions, 7, 0, kScrollDown, {{kScrollUp, kGrey}, {kScrollDown, kLit}, {kBack, kGreen}}},
        // Scrolled to the end: down disabled, the highlight on it does not light it.
        {kOptions, 7, 1, kScrollDown, {{kScrollUp, kGreen}, {kScrollDown, kGrey}, {kBack, kGreen}}},
        {kKeyBindings, 20, 3, kScrollUp, {{kScrollUp, kLit}, {kScrollDown, kGreen}, {kBack, kGreen}}},
        {kGameOptions, 4, 0, kBack, {{kBack, kLit}}},
        // A highlighted row lights no button.
        {kGameOptions, 4, 0, 2, {{kBack, kGreen}}},
    };
    for (const RingCase& c : cases)
        EXPECT_EQ(RingButtons(c.screen, c.count, c.scroll, c.highlight), c.drawn)
            << "screen " << c.screen << ", " << c.count << " items, scroll " << c.scroll << ", highlight "
            << c.highlight;
}

TEST(FrontEndRingButtons, BarLevelFollowsTheGlow)
{
    const struct {
        float glow, level;
    } cases[] = {{0.0f, 0.0f}, {0.25f, 0.33325f}, {0.5f, 0.6665f}, {-1.0f, 0.0f}, {5.0f, 1.0f}};
    for (const auto& c : cases)
        EXPECT_NEAR(FrontEndModels::BarLevel(c.glow), c.level, 1e-5f) << "glow " << c.glow;
}

TEST(FrontEndRingButtons, LooksAreDistinct)
{
    EXPECT_EQ(FrontEndModels::LookFor(false, true), FrontEndModels::kDisabled);
    EXPECT_EQ(FrontEndModels::LookFor(true, false), FrontEndModels::kNormal);
    EXPECT_EQ(FrontEndModels::LookFor(true, true), FrontEndModels::kHighlighted);
    EXPECT_NE(FrontEndModels::LookColour(FrontEndModels::kNormal),
              FrontEndModels::LookColour(FrontEndModels::kHighlighted));
}

class MenuModelDrawTest : public scenetest::SceneTest {
protected:
    static constexpr int kWidth = 320, kHeight = 240;
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(kWidth, kHeight);
        ChunkFileCache::SetFolderSource([] { return fs::path(TREVOK_SAMPLE_DATA_DIR) / "rifs"; });
        TextConsole::SetMetrics(std::vector<int32_t>(256, 8), kWidth, 0.04f);
        FrontEndModels::Load();
    }
    void TearDown() override
    {
        RenderQueue::Clear();
        FrontEndModels::Release();
        ShapeCache::FreeAll();  // the cache's own holds on the model's shapes
        ChunkFileCache::FreeAll();
        ChunkFileCache::SetFolderSource(nullptr);
        SceneTest::TearDown();
    }
    template <class DrawFn>
    void Frame(DrawFn draw)
    {
        BeginFrame(0);
        draw();
        RenderQueue::Flush();
        EndFrame();
    }
    scenetest::Rgb At(float fx, float fy) { return Pixel(int(fx * kWidth), int(fy * kHeight)); }
};

// The middle of a sector on the screen, at the middle of the ring.
struct SectorMiddle {
    float x, y;
};
SectorMiddle Middle(float fromSteps, float toSteps)
{
    const float a = (fromSteps + toSteps) / 2 * 2 * std::numbers::pi_v<float> / 4096;
    const float r = 0.21f;
    return {0.25f + r * std::cos(a), 0.5f + r * std::sin(a) / 0.75f};
}

TEST_F(MenuModelDrawTest, ButtonsLieOnTheRingInTheirLooks)
{
    using namespace FrontEndModels;
    const struct {
        Button part;
        int button;
        float from, to;
        Look look;
    } buttons[] = {{kScrollUpButton, FrontEnd::kScrollUp, 2621.44f, 3522.56f, kDisabled},
                   {kScrollDownButton, FrontEnd::kScrollDown, 573.44f, 1474.56f, kNormal},
                   {kBackButton, FrontEnd::kBack, 1597.44f, 2498.56f, kHighlighted}};
    for (const auto& b : buttons)
        ASSERT_TRUE(HasButton(b.part)) << kButtonParts[b.part] << " missing from the sample model";
    Frame([&] {
        for (const auto& b : buttons)
            DrawButton(b.part, b.look);
    });
    for (const auto& b : buttons) {
        const SectorMiddle m = Middle(b.from, b.to);
        // Where the part shows, the pointer hits its button.
        EXPECT_EQ(FrontEnd::RingButtonAt(m.x, m.y, FrontEnd::kOptions, 20, 3), b.button);
        const scenetest::Rgb p = At(m.x, m.y);
        SCOPED_TRACE(kButtonParts[b.part]);
        switch (b.look) {
        case kDisabled:
            EXPECT_GT(int(p.r) + p.g + p.b, 60) << "drawn";
            EXPECT_LT(std::abs(int(p.r) - int(p.g)), 40) << "grey";
            break;
        case kNormal:
            EXPECT_GT(int(p.g), int(p.r) + 60) << "green";
            break;
        case kHighlighted:
            EXPECT_GT(int(p.r), int(p.b) + 40) << "yellow";
            EXPECT_GT(int(p.g), int(p.b) + 40) << "yellow";
            break;
        }
    }
    // Nothing inside the ring or between the sectors (straight right).
    for (const SectorMiddle m : {SectorMiddle{0.25f, 0.5f}, SectorMiddle{0.46f, 0.5f}}) {
        const scenetest::Rgb p = At(m.x, m.y);
        EXPECT_LT(int(p.r) + p.g + p.b, 20) << "at " << m.x << ", " << m.y;
    }
}

TEST_F(MenuModelDrawTest, AGlowingRowHasItsBarLit)
{
    MenuItem glowing = MenuItem::MakeText(MenuText::Owned("Options"), 0);
    glowing.textShown = 7;
    glowing.glow = 0.5f;
    MenuItem quiet = glowing;
    quiet.glow = 0;
    Frame([&] {
        FrontEndModels::DrawRowBars(1, glowing);
        FrontEndModels::DrawRowBars(3, quiet);
    });
    const auto lit = glowing.Pieces(1)[1], dark = quiet.Pieces(3)[1];
    const scenetest::Rgb on = At(lit.x + lit.scaleX / 2, lit.y + lit.scaleY / 2);
    const scenetest::Rgb off = At(dark.x + dark.scaleX / 2, dark.y + dark.scaleY / 2);
    EXPECT_GT(int(on.r) + on.g + on.b, 150) << "the glowing row's bar";
    EXPECT_LT(int(off.r) + off.g + off.b, 20) << "no bar without glow";
}

TEST_F(MenuModelDrawTest, EveryRowQueuesItsThreePiecesThroughTheRenderQueue)
{
    MenuItem item = MenuItem::MakeText(MenuText::Owned("Options"), 0);
    item.textShown = 7;
    const struct {
        int row;
        float glow;
        int queued;
    } cases[] = {
        {1, 0.5f, 3}, {6, 0.2f, 3},
        {3, 0.0f, 3},  // dark and clear, but queued all the same
        {12, 0.5f, 3}, // the last row with a bar
        {0, 0.5f, 0},  {13, 0.5f, 0},
    };
    for (const auto& c : cases) {
        RenderQueue::Clear();
        item.glow = c.glow;
        EXPECT_EQ(FrontEndModels::DrawRowBars(c.row, item), c.queued) << "row " << c.row;
        EXPECT_EQ(RenderQueue::Count() > 0, c.queued > 0) << "row " << c.row;
    }
    RenderQueue::Clear();
    FrontEndModels::Release();
    EXPECT_EQ(FrontEndModels::DrawRowBars(1, item), 0) << "nothing once the pieces are let go";
}

TEST_F(MenuModelDrawTest, AGlowingRowLightsItsCapsAndMiddle)
{
    MenuItem item = MenuItem::MakeText(MenuText::Owned("Options"), 0);
    item.textShown = 7;
    item.glow = 0.5f;
    Frame([&] { FrontEndModels::DrawRowBars(2, item); });
    const char* names[] = {"left cap", "middle", "right cap"};
    const auto pieces = item.Pieces(2);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const RowPiece& p = pieces[i];
        const scenetest::Rgb lit = At(p.x + p.scaleX / 2, p.y + p.scaleY / 2);
        EXPECT_GT(int(lit.r) + lit.g + lit.b, 150) << names[i];
    }
    const scenetest::Rgb past = At(pieces[2].x + pieces[2].scaleX * 2, pieces[2].y + pieces[2].scaleY / 2);
    EXPECT_LT(int(past.r) + past.g + past.b, 20) << "nothing past the right cap";
}

// The whole menu frame on the real display, its background from the
// sample data: the picture shows behind the rows, ring and all.
class MenuFrameTest : public scenetest::SceneTest {
protected:
    static constexpr int kWidth = 320, kHeight = 240;
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(kWidth, kHeight);
        auto& dirs = app::DataDirectories::Global();
        savedStart_ = dirs.StartDirectory();
        dirs.SetStartDirectory(TREVOK_SAMPLE_DATA_DIR);
        dirs.SetPath(app::kGraphicsDirectory, "graphics");
        platform::ClearDataPathCache();
        ChunkFileCache::SetFolderSource([] { return fs::path(TREVOK_SAMPLE_DATA_DIR) / "rifs"; });
        TextConsole::SetMetrics(std::vector<int32_t>(256, 8), kWidth, 0.04f);
        FrontEnd::ResetServices();
        FrontEnd::Services& s = FrontEnd::GetServices();
        s.playSound = nullptr;
        s.writeKeyFile = nullptr;
        s.exitProgram = [](int) {};
        FrontEnd::Enter();
    }
    void TearDown() override
    {
        RenderQueue::Clear();
        FrontEnd::ReleaseResources();
        FrontEnd::Shutdown();
        FrontEnd::ResetServices();
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
        ChunkFileCache::SetFolderSource(nullptr);
        auto& dirs = app::DataDirectories::Global();
        dirs.SetPath(app::kGraphicsDirectory, nullptr);
        dirs.SetStartDirectory(savedStart_);
        SceneTest::TearDown();
    }
    scenetest::Rgb At(float fx, float fy) { return Pixel(int(fx * kWidth), int(fy * kHeight)); }
    fs::path savedStart_;
};

TEST_F(MenuFrameTest, TheBackgroundShowsBehindTheMenu)
{
    BeginFrame(0);
    FrontEnd::Frame();
    RenderQueue::Flush();
    EndFrame();
    // The sample picture: a dark blue field, a lighter ring round (0.25, 0.5).
    const struct {
        const char* where;
        float x, y;
        scenetest::Rgb colour;
    } points[] = {
        {"the field, bottom right", 0.9f, 0.9f, {10, 16, 48 + 172 / 4}},
        {"the ring, right of its centre", 0.46f, 0.5f, {60, 70, 140}},
        {"the ring, left of its centre", 0.04f, 0.5f, {60, 70, 140}},
    };
    for (const auto& p : points) {
        const scenetest::Rgb px = At(p.x, p.y);
        EXPECT_NEAR(px.r, p.colour.r, 20) << p.where;
        EXPECT_NEAR(px.g, p.colour.g, 20) << p.where;
        EXPECT_NEAR(px.b, p.colour.b, 20) << p.where;
    }
}

} // namespace

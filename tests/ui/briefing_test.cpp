// The briefing screen on a real display and a fake clock: the script's
// commands, how the screen moves on, the fades, the reveal of its texts,
// and what a player sees drawn. The fonts' glyph cells are solid, so each
// character draws as a box of the text colour.
#include "ui/briefing.h"

#include "../Veapi/camera_fixture.h"
#include "../support/string_texts.h"
#include "solid_fonts.h"
#include "Veapi/font.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_loader.h"
#include "Veapi/ve_object.h"
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/console.h"
#include "console/console_draw.h"
#include "console/text_console.h"
#include "objects/shape_cache.h"
#include "platform/data_path.h"
#include "session/level_session.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

int64_t g_now = 0;
int64_t FakeNow() { return g_now; }
// Milliseconds on the real clock.
int64_t Ms(int64_t ms) { return ms * AppTime::TicksPerSecond() / 1000; }

class BriefingTest : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        root_ = dir_.Path();
        const fs::path sample = TREVOK_SAMPLE_DATA_DIR;
        for (const char* folder : {"scripts", "graphics/bitmaps"})
            fs::create_directories(root_ / folder);
        for (const char* image : {"Title.rim", "VQNLOGO.rim", "please train.rim"})
            fs::copy_file(sample / "graphics" / "bitmaps" / image, root_ / "graphics" / "bitmaps" / image);
        uitest::WriteSolidFonts(root_);

        auto& dirs = app::DataDirectories::Global();
        savedStart_ = dirs.StartDirectory();
        dirs.SetStartDirectory(root_);
        dirs.SetPath(app::kScriptsDirectory, "scripts");
        dirs.SetPath(app::kGraphicsDirectory, "graphics");
        platform::ClearDataPathCache();
        ChunkFileCache::SetFolderSource([sample] { return std::optional<fs::path>(sample / "rifs"); });

        TextureManager::SetGraphicsDirectory(root_ / "graphics");
        TextureManager::SetLoader([](const TextureLoadRequest& req, TextureLoadResult& res) {
            if (req.target)
                return req.target->ColourFill(0xFFFFFFFFu);
            res.surface = gfx::Texture::Create(256, 256, gfx::Argb8888(), 1);
            res.width = res.height = 256;
            return res.surface && res.surface->ColourFill(0xFFFFFFFFu);
        });
        Display::Hooks().flushText = [] { Font::FlushAll(); };
        StartScene(320, 240);
        LightSet::CreateGlobals(new LightSet);
        std::string error;
        ASSERT_TRUE(TextConsole::Init(root_ / "fonts", root_ / "graphics", error)) << error;
        TextureManager::LoadPending();
        // The fonts are solid white; pictures load as the game loads them.
        TextureManager::SetLoader(TextureManager::ImageFileLoader());

        g_now = 50000;
        AppTime::SetRealClock(FakeNow);
        TextConsole::SetClocks({FakeNow, FakeNow, nullptr});
        LoadGlobalStringTable({{1001, "NOUGHT"}, {1006, "ALPHA"}, {1003, "BRAVO"}});
        Session::Names().script = "mission.tvs";
        Briefing::GameOver() = false;
        calls_.clear();
        Briefing::GetHooks() = {[this] { calls_.push_back("session"); }, [this] { calls_.push_back("title"); }};
    }

    void TearDown() override
    {
        if (Briefing::IsActive())
            Briefing::Leave(true);
        Briefing::GetHooks() = {};
        Briefing::GameOver() = false;
        Session::Names() = {};
        StringTable::Global().Free();
        AppTime::SetRealClock(nullptr);
        TextConsole::SetClocks({});
        TextConsole::Shutdown();
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
        ChunkFileCache::SetFolderSource(nullptr);
        LightSet::DestroyGlobals();
        auto& dirs = app::DataDirectories::Global();
        dirs.SetPath(app::kScriptsDirectory, nullptr);
        dirs.SetPath(app::kGraphicsDirectory, nullptr);
        dirs.SetStartDirectory(savedStart_);
        SceneTest::TearDown();
    }

    void Script(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(root_ / "scripts" / name);
        for (const auto& l : lines)
            out << l << "\r\n";
        platform::ClearDataPathCache();
    }

    // The briefing entered and its whole script run.
    void Run(const std::vector<std::string>& lines, bool briefing = true)
    {
        Script(briefing ? "mission.brf" : "mission.dbf", lines);
        Briefing::Enter(briefing);
        CommandScript::RunAll();
    }

    std::string LastPrinted()
    {
        const auto& lines = TextConsole::Get().lines;
        return lines.empty() ? std::string() : lines.back().text;
    }

    float Emissive() { return LightSet::Global(0)->Material().emissive.r; }

    void Frame()
    {
        BeginFrame(0);
        Briefing::Draw();
        RenderQueue::Flush();
        EndFrame();
    }

    displaytest::TempDir dir_;
    fs::path root_, savedStart_;
    std::vector<std::string> calls_;
};

TEST(BriefingNames, ComeFromTheDefinitionsScript)
{
    const struct {
        const char* definitions;
        bool briefing;
        const char* script;
    } cases[] = {
        {"mission.tvs", true, "mission.brf"},
        {"mission.tvs", false, "mission.dbf"},
        {"levels\\level05.tvs", true, "levels\\level05.brf"},
        {"abcde", false, "abdbf"},
        {"a.tv", true, ""}, // nothing to replace: no briefing, never the script itself
        {"", true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Briefing::ScriptNameFor(c.definitions, c.briefing), c.script) << c.definitions;
}

TEST(BriefingFit, PutsTheObjectInTheMiddleAtTheSizeOfTheScreen)
{
    const struct {
        Vec3 minimum, maximum;
        float scale, x, y;
    } cases[] = {
        {{-1, -1, -1}, {1, 1, 1}, 0.5f, 0.5f, 0.5f},
        {{0, 0, 0}, {2, 4, 9}, 0.25f, 0.25f, 0.0f}, // y is the larger extent; z plays no part
        {{3, 3, 3}, {3, 3, 3}, 1.0f, -2.5f, -2.5f}, // no extent: a finite scale
    };
    for (const auto& c : cases) {
        const Briefing::Fit fit = Briefing::FitToScreen(c.minimum, c.maximum);
        EXPECT_FLOAT_EQ(fit.scale, c.scale);
        EXPECT_FLOAT_EQ(fit.position.x, c.x);
        EXPECT_FLOAT_EQ(fit.position.y, c.y);
        EXPECT_FLOAT_EQ(fit.position.z, 0.5f);
    }
}

TEST_F(BriefingTest, ScriptCommandsBuildTheScreen)
{
    struct Row {
        const char* what;
        std::vector<std::string> lines;
        size_t texts, images;
        int fadeMode;
        std::string calls;
        std::string printed; // part of the last console line ("" when not checked)
    };
    const Row rows[] = {
        {"text with defaults", {"BRIEFING TEXT 5"}, 1, 0, 0, "", ""},
        {"images stay", {"BACKGROUND bitmaps\\Title.rim", "BITMAP 0.1 0.1 0.4 0.4 BITMAPS\\vqnlogo.rim"}, 0, 2, 0, "", ""},
        {"missing image", {"BACKGROUND bitmaps\\missing.rim"}, 0, 0, 0, "", ""},
        {"CLS keeps images", {"BRIEFING TEXT 1", "BACKGROUND bitmaps\\Title.rim", "CLS", "BRIEFING TEXT 2"}, 1, 1, 0, "", ""},
        {"fade", {"FADE OUT"}, 0, 0, 2, "", ""},
        {"escaping image", {"BRIEFING TEXT 0", "BACKGROUND ..\\graphics\\bitmaps\\Title.rim"}, 1, 0, 0, "",
         "briefing mission.brf, line 2"},
        {"absolute image", {"BITMAP 0 0 1 1 /etc/passwd"}, 0, 0, 0, "", "briefing mission.brf, line 1"},
        {"end", {"BRIEFING TEXT 5", "END BRIEFING", "BRIEFING TEXT 1"}, 0, 0, 0, "session", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        calls_.clear();
        TextConsole::Get().lines.clear();
        Run(row.lines);
        EXPECT_EQ(Briefing::Texts().size(), row.texts);
        EXPECT_EQ(Briefing::ImageCount(), row.images);
        EXPECT_EQ(Briefing::FadeMode(), row.fadeMode);
        std::string calls;
        for (const auto& c : calls_)
            calls += c;
        EXPECT_EQ(calls, row.calls);
        if (!row.printed.empty()) {
            EXPECT_NE(LastPrinted().find(row.printed), std::string::npos) << LastPrinted();
        }
        if (Briefing::IsActive())
            Briefing::Leave(true);
    }
    EXPECT_EQ(CommandTable::Global().FindExact("BRIEFING TEXT"), nullptr) << "gone with the briefing";

    // A debriefing's END BRIEFING leads on to the next briefing, never
    // straight into a game without it.
    calls_.clear();
    Script("mission.brf", {"BRIEFING TEXT 5", "WAIT 100"});
    Run({"END BRIEFING"}, false);
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(Briefing::IsActive());
    EXPECT_FALSE(Briefing::IsDebriefing());
}

TEST_F(BriefingTest, ScriptLinesRunAnyCommandButNoFileLeavesTheGameFolders)
{
    fs::copy_file(fs::path(TREVOK_FIXTURES_DIR) / "ui" / "briefings" / "leaving.brf", root_ / "scripts" / "mission.brf");
    std::ofstream(root_ / "outside.tcs") << "BRIEFING TEXT 5\n";
    platform::ClearDataPathCache();
    TextConsole::Get().lines.clear();
    Briefing::Enter(true);
    for (int line = 1; line <= 5; ++line) {
        SCOPED_TRACE(line);
        ASSERT_TRUE(CommandScript::Step());
        const std::string where = "briefing mission.brf, line " + std::to_string(line);
        EXPECT_NE(LastPrinted().find(where), std::string::npos) << LastPrinted();
    }
    EXPECT_EQ(Briefing::ImageCount(), 0u);
    EXPECT_TRUE(Briefing::Shapes().empty());
    EXPECT_TRUE(Briefing::Texts().empty());
    // Any other console command runs as it would anywhere else.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CommandScript::Step(), ::testing::ExitedWithCode(1), "");
}

TEST_F(BriefingTest, TheSampleBriefingsPlayToTheirEnd)
{
    const fs::path scripts = fs::path(TREVOK_SAMPLE_DATA_DIR) / "scripts";
    for (const char* name : {"level05.brf", "level05.dbf", "gameover.brf"})
        fs::copy_file(scripts / name, root_ / "scripts" / name);
    platform::ClearDataPathCache();
    Session::Names().script = "level05.tvs";
    const struct {
        bool gameOver, briefing;
        const char* calls;
    } runs[] = {{false, true, "session"}, {false, false, "session"}, {true, true, "title"}};
    for (const auto& r : runs) {
        SCOPED_TRACE(std::to_string(r.gameOver) + std::to_string(r.briefing));
        calls_.clear();
        TextConsole::Get().lines.clear();
        Briefing::GameOver() = r.gameOver;
        Briefing::Enter(r.briefing);
        for (int second = 0; second < 120 && Briefing::IsActive(); ++second) {
            CommandScript::RunAll();
            Frame();
            g_now += Ms(1000);
        }
        EXPECT_FALSE(Briefing::IsActive());
        ASSERT_EQ(calls_.size(), 1u);
        EXPECT_EQ(calls_[0], r.calls);
        for (const auto& line : TextConsole::Get().lines)
            ADD_FAILURE() << "the script printed: " << line.text;
    }
}

TEST_F(BriefingTest, TextsTakeTheirStringPlaceAndRevealRate)
{
    Run({"BRIEFING TEXT 5", "BRIEFING TEXT 2 0.25 0.75 0.5", "BRIEFING TEXT 900"});
    ASSERT_EQ(Briefing::Texts().size(), 3u);
    const Briefing::Text& first = Briefing::Texts()[0];
    EXPECT_EQ(first.text, "ALPHA");
    EXPECT_FLOAT_EQ(first.left, 0);
    EXPECT_FLOAT_EQ(first.right, 1);
    EXPECT_FLOAT_EQ(first.top, 0);
    const Briefing::Text& second = Briefing::Texts()[1];
    EXPECT_EQ(second.text, "BRAVO");
    EXPECT_FLOAT_EQ(second.left, 0.25f);
    EXPECT_FLOAT_EQ(second.right, 0.75f);
    EXPECT_FLOAT_EQ(second.top, 0.5f);
    EXPECT_EQ(Briefing::Texts()[2].text, "") << "a number the table lacks shows the empty string";

    const struct {
        int64_t after;
        size_t shown;
    } reveal[] = {{-5, 0}, {0, 0}, {40, 1}, {80, 2}, {120, 3}, {1000, 5}};
    for (const auto& r : reveal)
        EXPECT_EQ(Briefing::RevealedCharacters(first, first.start + Ms(r.after)), r.shown) << r.after;
}

TEST_F(BriefingTest, FadesRunOnTheRealClock)
{
    const struct {
        const char* line;
        int64_t after; // ticks after the command
        int mode;      // fade mode after that frame
        float emissive, level;
    } cases[] = {
        {"FADE IN 0", 0, 0, 1.0f, 1.0f},
        {"FADE IN -1", 0, 0, 1.0f, 1.0f},
        {"FADE IN 3", 1500, 1, 0.5f, 0.5f},
        {"FADE IN 3", 3100, 0, 1.0f, 1.0f},
        {"FADE OUT", 1500, 2, 0.5f, 1.0f},  // default 3 s; the texts keep their level
        {"FADE OUT", 3000, 0, 0.0f, 1.0f},
        {"FADE OUT 0", 0, 0, 0.0f, 1.0f},
        {"DARK", 0, 0, 0.0f, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " +" + std::to_string(c.after));
        Run({c.line});
        g_now += Ms(c.after);
        Frame();
        EXPECT_EQ(Briefing::FadeMode(), c.mode);
        EXPECT_FLOAT_EQ(Emissive(), c.emissive);
        EXPECT_FLOAT_EQ(Briefing::FadeLevel(), c.level);
        Briefing::Leave(true);
    }
}

TEST_F(BriefingTest, DisplaceMovesEveryObjectOfThatNameInAnyCase)
{
    Run({"BRIEFING SHAPE robot models.rif", "BRIEFING SHAPE Crate models.rif", "BRIEFING SHAPE \"ROBOT\" models.rif",
         "BRIEFING HIERARCHY Robot robot_hierarchy.rif"});
    // Only the objects the file has are loaded.
    std::vector<Vec3> before;
    for (const auto& s : Briefing::Shapes())
        before.push_back(s.object->placement_.Position());
    ASSERT_FALSE(before.empty());
    CommandScript::QueueLine("DISPLACE robot 1 0 0", {LineSource::Briefing, "mission.brf", 9});
    CommandScript::QueueLine("DISPLACE nobody 5 5 5", {LineSource::Briefing, "mission.brf", 10});
    CommandScript::RunAll();
    for (size_t i = 0; i < Briefing::Shapes().size(); ++i) {
        const auto& s = Briefing::Shapes()[i];
        const Vec3 p = s.object->placement_.Position();
        const bool robot = s.name == "robot" || s.name == "ROBOT" || s.name == "Robot";
        SCOPED_TRACE(s.name);
        EXPECT_FLOAT_EQ(p.x, before[i].x);
        EXPECT_FLOAT_EQ(p.y, before[i].y);
        EXPECT_FLOAT_EQ(p.z, before[i].z + (robot ? 1.0f : 0.0f));
    }
}

TEST_F(BriefingTest, EnteringTwiceRegistersEachCommandOnce)
{
    Script("mission.brf", {"BRIEFING TEXT 5"});
    Briefing::Enter(true);
    Briefing::Enter(true);
    for (const char* name : {"DARK", "BACKGROUND", "BITMAP", "FADE IN", "FADE OUT", "BRIEFING TEXT", "BRIEFING SHAPE",
                             "BRIEFING HIERARCHY", "DISPLACE", "CLS", "END BRIEFING"}) {
        int count = 0;
        CommandTable::Global().ForEach([&](const ConsoleCommand& c) { count += c.name == name; });
        EXPECT_EQ(count, 1) << name;
    }
}

TEST_F(BriefingTest, APressOrAnEmptyScriptMovesOn)
{
    struct Row {
        const char* what;
        const char* definitions;
        bool gameOver, briefing;
        std::vector<const char*> files; // scripts present
        bool press;                     // Enter, then a key if still in the briefing
        std::string calls;
        bool activeAfter, debriefingAfter;
    };
    const Row rows[] = {
        {"briefing key", "mission.tvs", false, true, {"mission.brf"}, true, "session", false, false},
        {"debriefing key", "mission.tvs", false, false, {"mission.dbf", "mission.brf"}, true, "", true, false},
        {"game over key", "mission.tvs", true, true, {"gameover.brf"}, true, "title", false, false},
        {"no briefing", "mission.tvs", false, true, {}, false, "session", false, false},
        {"no debriefing", "mission.tvs", false, false, {"mission.brf"}, false, "", true, false},
        {"no game-over script", "mission.tvs", true, true, {}, false, "title", false, false},
        {"short name", "a.tv", false, true, {"a.tv"}, false, "session", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(root_ / "scripts");
        fs::create_directories(root_ / "scripts");
        for (const char* f : row.files)
            Script(f, {"BRIEFING TEXT 5", "WAIT 100"});
        calls_.clear();
        Session::Names().script = row.definitions;
        Briefing::GameOver() = row.gameOver;
        // A level's line still queued is no briefing script.
        CommandScript::QueueLine("BRIEFING TEXT 1", {LineSource::LevelFile, "mission.tcs", 7});
        Briefing::Enter(row.briefing);
        if (row.press && Briefing::IsActive())
            Briefing::Skip();
        std::string calls;
        for (const auto& c : calls_)
            calls += c;
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(Briefing::IsActive(), row.activeAfter);
        if (row.activeAfter) {
            EXPECT_EQ(Briefing::IsDebriefing(), row.debriefingAfter);
            EXPECT_EQ(Briefing::ScriptName(), "mission.brf");
            EXPECT_EQ(CurrentAppState(), AppState::Briefing);
        }
        EXPECT_FALSE(Briefing::GameOver());
        if (Briefing::IsActive())
            Briefing::Leave(true);
    }
}

TEST_F(BriefingTest, BackgroundAndTextAreDrawnAndRevealed)
{
    Run({"FADE IN 0", "BITMAP 0.5 0 1 1 bitmaps\\Title.rim", "BRIEFING TEXT 5 0.1 0.45 0.5"});
    // A text cell of "ALPHA" (6-pixel glyphs at half size) and the image's half.
    const int textX = 33, textY = 121, imageX = 240, imageY = 60;
    auto bright = [this](int x, int y) {
        const auto p = Pixel(x, y);
        return p.r > 200 && p.g > 200 && p.b > 200;
    };
    Frame();
    EXPECT_FALSE(bright(textX, textY)) << "nothing revealed yet";
    const auto left = Pixel(40, 20), image = Pixel(imageX, imageY);
    EXPECT_LT(left.r + left.g + left.b, 30) << "the left half stays dark";
    EXPECT_GT(image.b, image.r + 100) << "the title picture fills the right half";

    g_now += Ms(1000); // 25 characters a second: all five shown
    Frame();
    EXPECT_TRUE(bright(textX, textY));
    EXPECT_TRUE(bright(textX + 12, textY)) << "the fifth letter";
    EXPECT_FALSE(bright(textX + 30, textY)) << "past the text";
}

} // namespace

#include "ui/menu_screen.h"

#include "../support/string_texts.h"
#include "app/app_time.h"
#include "app/string_table.h"
#include "platform/data_path.h"
#include "console/text_console.h"
#include "session/game_state.h"
#include "session/network.h"
#include "session/save_slots.h"
#include "session/session_placeholders.h"
#include "ui/game_view.h"
#include "ui/hud_view.h"
#include "ui/saved_game_header.h"
#include "ui/screen_toggles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace {

constexpr int64_t kTicksPerSecond = 1000;

struct FakeView : HudView {
    int64_t now = 0;
    float width = 640, height = 480;
    int cursorMode = 3;
    int64_t RealNow() override { return now; }
    int64_t TicksPerSecond() override { return kTicksPerSecond; }
    float ScreenWidth() override { return width; }
    float ScreenHeight() override { return height; }
    int CursorMode() override { return cursorMode; }
    void SetCursorMode(int mode) override { cursorMode = mode; }
};

class InGameScreensTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HudView::Install(&view_);
        // A private saves folder ($XDG_DATA_HOME/trevok/saves).
        char name[] = "/tmp/trevok-saves-XXXXXX";
        home_ = mkdtemp(name);
        dir_ = home_ / "trevok" / "saves";
        std::filesystem::create_directories(dir_);
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            savedHome_ = old;
        setenv("XDG_DATA_HOME", home_.c_str(), 1);
        Write("mission one.sav");
        Write("a saved game named long.sav"); // 27 characters
        Write("notes.txt");
        platform::ClearDataPathCache();
        AppTime::SetGameSpeed(1.0f);
        EndOfGameRequest = 0;
    }
    void TearDown() override
    {
        MenuScreen::ReleaseAll();
        HudView::Install(nullptr);
        if (savedHome_)
            setenv("XDG_DATA_HOME", savedHome_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        std::filesystem::remove_all(home_);
        AppTime::SetGameSpeed(1.0f);
        EndOfGameRequest = 0;
    }
    void Write(const std::string& file)
    {
        std::ofstream out(dir_ / file, std::ios::binary);
        const char head[] = "\x0c\0\0\0level05.dbf\0\x0c\0\0\0level05.cmd\0\x01\0\0\0";
        out.write(head, sizeof head - 1);
    }
    // Runs frames until every opening and closing has ended.
    void Settle()
    {
        for (int i = 0; i < 4; ++i) {
            view_.now += kTicksPerSecond * 6 / 10;
            MenuScreen::DrawAll(view_.now);
        }
    }
    // Points at (u, v) of the open save or load screen's quad and runs it.
    void PointAndRun(int kind, float u, float v)
    {
        MenuScreen* screen = MenuScreen::Slot(kind);
        ASSERT_NE(screen, nullptr);
        MenuScreen::SetPointer(screen->Left() + u * screen->QuadWidth(), screen->Top() + v * screen->QuadHeight());
        screen->Run();
    }

    FakeView view_;
    std::filesystem::path home_, dir_;
    std::optional<std::string> savedHome_;
};

// Leaving the game from the menu: the menu's pause parked the server, and
// the session ends under it. The hold is given up, so the next session's
// hand-overs park its server again and closing the menu releases nothing twice.
TEST_F(InGameScreensTest, EndingTheSessionUnderTheMenuGivesUpItsHold)
{
    MenuScreen::InstallHooks();
    ASSERT_TRUE(StartSession(false));
    MenuScreen::OpenInGameMenu();
    EXPECT_EQ(GameState::Depth(), 1) << "the menu holds the hand-over";
    EXPECT_TRUE(EndSession());
    EXPECT_EQ(GameState::Depth(), 0);
    MenuScreen::Slot(0)->BeginClose();
    Settle();
    EXPECT_FALSE(MenuScreen::AnyOpen());
    EXPECT_EQ(GameState::Depth(), 0);
    EXPECT_EQ(AppTime::GameSpeed(), 1.0f) << "the speed comes back as the menu closes";

    ASSERT_TRUE(StartSession(false));
    {
        GameState::Hold hold;
        EXPECT_EQ(GameState::Depth(), 1) << "a fresh hold, not nested in a stale one";
    }
    EXPECT_TRUE(EndSession());
    // What the hooks gave the save screen (closing it after a delete, say)
    // is not the other tests' setting.
    Session::Hooks().releasePause = nullptr;
    SaveScreen::GetHooks() = {};
    GameView::GetScreens() = {};
}

TEST_F(InGameScreensTest, PauseHoldsAcrossMenuSaveScreenAndBack)
{
    AppTime::SetGameSpeed(0.5f);
    MenuScreen::OpenInGameMenu();
    EXPECT_TRUE(MenuScreen::IsInGameMenuOpen());
    EXPECT_EQ(AppTime::GameSpeed(), 0.0f);
    ASSERT_EQ(MenuScreen::List(0).rows.size(), 5u);
    Settle();
    ASSERT_TRUE(MenuScreen::Slot(0)->OpenComplete());

    MenuScreen::List(0).highlight = 1; // save
    MenuScreen::Slot(0)->Run();
    EXPECT_TRUE(MenuScreen::Slot(0)->Closing());
    ASSERT_NE(MenuScreen::Slot(MenuScreen::kSaveScreen), nullptr);
    EXPECT_EQ(MenuScreen::CurrentList(), MenuScreen::kSaveScreen);
    Settle();
    EXPECT_FALSE(MenuScreen::IsInGameMenuOpen());
    EXPECT_EQ(AppTime::GameSpeed(), 0.0f);
    // Only the saved games are listed, each with its head.
    ASSERT_EQ(MenuScreen::List(1).rows.size(), 2u);
    EXPECT_EQ(MenuScreen::List(1).rows[1].commandFile, "level05.cmd");
    EXPECT_EQ(MenuScreen::List(1).rows[1].levelStart, 1u);

    PointAndRun(MenuScreen::kSaveScreen, 0.8f, 0.1f); // back
    EXPECT_TRUE(MenuScreen::IsInGameMenuOpen());
    Settle();
    EXPECT_EQ(MenuScreen::Slot(MenuScreen::kSaveScreen), nullptr);
    EXPECT_EQ(AppTime::GameSpeed(), 0.0f);

    MenuScreen::Slot(0)->BeginClose();
    Settle();
    EXPECT_FALSE(MenuScreen::AnyOpen());
    EXPECT_EQ(AppTime::GameSpeed(), 0.5f);
}

TEST_F(InGameScreensTest, SaveKeyFromPlayLeavesGameTimeRunning)
{
    // An earlier menu's remembered speed must not come back later.
    AppTime::SetGameSpeed(2.0f);
    MenuScreen::OpenInGameMenu();
    MenuScreen::Slot(0)->BeginClose();
    Settle();
    AppTime::SetGameSpeed(1.0f);

    ASSERT_TRUE(MenuScreen::OnSaveKey());
    EXPECT_FALSE(MenuScreen::OnSaveKey()); // already open
    EXPECT_EQ(AppTime::GameSpeed(), 1.0f);
    Settle();
    MenuScreen::Slot(MenuScreen::kSaveScreen)->BeginClose();
    Settle();
    EXPECT_FALSE(MenuScreen::AnyOpen());
    EXPECT_EQ(AppTime::GameSpeed(), 1.0f);
}

TEST(SaveScreenHitTest, ButtonsAndRows)
{
    struct Case {
        float u, v;
        size_t rows;
        int expected;
    } cases[] = {
        {0.05f, 0.1f, 8, MenuScreen::kNone},   // left of the buttons
        {0.95f, 0.1f, 8, MenuScreen::kNone},   // right of them
        {0.1f, 0.1f, 8, MenuScreen::kLoad},
        {0.4f, 0.1f, 8, MenuScreen::kSave},
        {0.6f, 0.1f, 8, MenuScreen::kDelete},
        {0.8f, 0.1f, 8, MenuScreen::kBack},
        {0.5f, 0.2f, 8, MenuScreen::kNone},    // between the buttons and the rows
        {0.5f, 0.25f, 8, 0},
        {0.5f, 0.34f, 8, 1},
        {0.5f, 0.9f, 8, 7},
        {0.5f, 0.9f, 3, MenuScreen::kNone},    // past the listed files
        {0.5f, 0.25f, 0, MenuScreen::kNone},
        {0.5f, 0.95f, 8, MenuScreen::kNone},
        {NAN, 0.25f, 8, MenuScreen::kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MenuScreen::HitTestSaveScreen(c.u, c.v, c.rows), c.expected) << c.u << "," << c.v << " rows " << c.rows;
}

TEST_F(InGameScreensTest, ChosenRowFillsTheNameField)
{
    ASSERT_TRUE(MenuScreen::OnLoadKey());
    Settle();
    struct Case {
        float v;
        const char* name;
    } cases[] = {
        {0.25f, "a saved game named "}, // cut to 19; its ".sav" was past the cut
        {0.34f, "mission one"},
    };
    for (const Case& c : cases) {
        PointAndRun(MenuScreen::kLoadScreen, 0.5f, c.v);
        EXPECT_EQ(MenuScreen::NameField(), c.name);
    }
    // A row past the list highlights nothing and keeps the name.
    PointAndRun(MenuScreen::kLoadScreen, 0.5f, 0.9f);
    EXPECT_EQ(MenuScreen::List(MenuScreen::kLoadScreen).highlight, MenuScreen::kNone);
    EXPECT_EQ(MenuScreen::NameField(), "mission one");
}

TEST_F(InGameScreensTest, SaveDetailsNameTheLevelAndWhenItWasSaved)
{
    LoadGlobalStringTable({{7069, "Level"}, {7070, "Saved"}});
    const std::optional<std::string> savedZone =
        std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
    using namespace std::chrono;
    const sys_seconds when = sys_days{year{2026} / 3 / 4} + hours{5} + minutes{6};
    std::filesystem::last_write_time(dir_ / "mission one.sav", file_clock::from_sys(when));
    std::ofstream(dir_ / "damaged.sav") << "xx"; // no head to read

    ASSERT_TRUE(MenuScreen::OnLoadKey());
    const MenuSlotList& list = MenuScreen::List(MenuScreen::kLoadScreen);
    ASSERT_EQ(list.rows.size(), 3u);
    const struct {
        size_t row;
        std::array<std::string, 2> lines;
    } rows[] = {
        {1, {"Level", "Saved"}}, // "damaged.sav": only its time
        {2, {"Level level05.dbf", "Saved 2026-03-04 05:06"}},
    };
    for (const auto& r : rows) {
        std::array<std::string, 2> lines = MenuScreen::SaveDetails(list.rows[r.row]);
        if (r.row == 1) // its time is whenever the test wrote it
            lines[1] = lines[1].substr(0, 5);
        EXPECT_EQ(lines, r.lines) << list.rows[r.row].text;
    }
    // A row without any of it shows the bare labels.
    EXPECT_EQ(MenuScreen::SaveDetails(MenuSlotRow{}), (std::array<std::string, 2>{"Level", "Saved"}));

    if (savedZone)
        setenv("TZ", savedZone->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    StringTable::Global().Free();
}

TEST_F(InGameScreensTest, DeleteRemovesOnlyTheNamedSaveInTheSavesFolder)
{
    ASSERT_TRUE(MenuScreen::OnSaveKey());
    Settle();
    MenuScreen::NameField() = "../outside";
    PointAndRun(MenuScreen::kSaveScreen, 0.6f, 0.1f);
    MenuScreen::NameField() = "mission one";
    PointAndRun(MenuScreen::kSaveScreen, 0.6f, 0.1f);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "mission one.sav"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "a saved game named long.sav"));
}

TEST_F(InGameScreensTest, MenuChoicesSetTheLevelPhase)
{
    struct Case {
        int highlight;
        uint32_t request;
    } cases[] = {{3, 2}, {4, 1}};
    for (const Case& c : cases) {
        EndOfGameRequest = 0;
        MenuScreen::OpenInGameMenu();
        Settle();
        MenuScreen::List(0).highlight = c.highlight;
        MenuScreen::Slot(0)->Run();
        EXPECT_EQ(EndOfGameRequest, c.request);
        MenuScreen::ReleaseAll();
    }
    EXPECT_EQ(AppTime::GameSpeed(), 1.0f);
}

std::vector<std::string> g_printed;

// The restart choices of the in-game menu and the end-of-mission screen: in
// a network game the level is never restarted, the console says why, and
// the menu does not pause the game; leaving works either way.
TEST_F(InGameScreensTest, RestartIsRefusedInANetworkGame)
{
    LoadGlobalStringTable({{227, "Cannot restart a network game"}});
    TextConsole::SetPrintObserver([](const char* text) { g_printed.push_back(text); });
    const struct {
        bool networked;
        int kind, highlight;
        uint32_t request;
        bool refused;
    } cases[] = {
        {false, MenuScreen::kInGameMenu, 3, 2, false},   {true, MenuScreen::kInGameMenu, 3, 0, true},
        {true, MenuScreen::kInGameMenu, 4, 1, false},    {false, MenuScreen::kEndOfMission, 1, 2, false},
        {true, MenuScreen::kEndOfMission, 1, 0, true},   {true, MenuScreen::kEndOfMission, 2, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " item " + std::to_string(c.highlight) +
                     (c.networked ? " networked" : " alone"));
        if (c.networked)
            Network::Create();
        EndOfGameRequest = 0;
        g_printed.clear();
        if (c.kind == MenuScreen::kInGameMenu)
            MenuScreen::OpenInGameMenu();
        else
            MenuScreen::OpenFromServer();
        EXPECT_EQ(AppTime::GameSpeed(), c.networked || c.kind != MenuScreen::kInGameMenu ? 1.0f : 0.0f);
        Settle();
        MenuScreen::List(c.kind).highlight = c.highlight;
        ASSERT_NE(MenuScreen::Slot(c.kind), nullptr);
        MenuScreen::Slot(c.kind)->Run();
        EXPECT_EQ(EndOfGameRequest, c.request);
        EXPECT_EQ(g_printed == std::vector<std::string>{"Cannot restart a network game"}, c.refused);
        MenuScreen::ReleaseAll();
        Network::Shutdown();
    }
    TextConsole::SetPrintObserver(nullptr);
    StringTable::Global().Free();
    EXPECT_EQ(AppTime::GameSpeed(), 1.0f);
}

TEST_F(InGameScreensTest, ZeroScreenSizeKeepsAFiniteQuad)
{
    view_.width = 0;
    view_.height = 0;
    ASSERT_TRUE(MenuScreen::OnLoadKey());
    MenuScreen::DrawAll(view_.now);
    MenuScreen* screen = MenuScreen::Slot(MenuScreen::kLoadScreen);
    EXPECT_TRUE(std::isfinite(screen->QuadWidth()));
    EXPECT_LE(screen->QuadWidth(), 1.0f);
    EXPECT_GT(screen->QuadWidth(), 0.0f);
}

} // namespace

namespace {

TEST_F(InGameScreensTest, EscapeOpensAndClosesThePausingMenu)
{
    GameView::GetScreens() = {};
    MenuScreen::InstallHooks();
    AppTime::SetGameSpeed(0.75f);
    ScreenToggles::ToggleInGameMenu();
    EXPECT_TRUE(MenuScreen::IsInGameMenuOpen());
    EXPECT_EQ(AppTime::GameSpeed(), 0.0f);
    Settle();
    ScreenToggles::ToggleInGameMenu();
    EXPECT_TRUE(MenuScreen::Slot(0)->Closing());
    Settle();
    EXPECT_FALSE(MenuScreen::AnyOpen());
    EXPECT_EQ(AppTime::GameSpeed(), 0.75f);
    GameView::GetScreens() = {};
}

} // namespace

// Typed keys go to the save or load screen's name only while it is open:
// once it closes, the game's keys (Ctrl+F4 right after a save) reach the game.
TEST_F(InGameScreensTest, OnlyAnOpenSaveOrLoadScreenTakesTheTypedName)
{
    const struct {
        int kind;
        bool takes;
    } cases[] = {
        {MenuScreen::kSaveScreen, true},
        {MenuScreen::kLoadScreen, true},
        {MenuScreen::kInGameMenu, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        if (c.kind == MenuScreen::kSaveScreen)
            MenuScreen::OpenSaveScreen();
        else if (c.kind == MenuScreen::kLoadScreen)
            MenuScreen::OpenLoadScreen();
        else
            MenuScreen::OpenInGameMenu();
        ASSERT_NE(MenuScreen::Slot(c.kind), nullptr);
        EXPECT_EQ(MenuScreen::TakesTypedName(), c.takes);
        MenuScreen::Slot(c.kind)->BeginClose();
        EXPECT_FALSE(MenuScreen::TakesTypedName()) << "a closing screen takes no keys";
        Settle();
        EXPECT_EQ(MenuScreen::Slot(c.kind), nullptr);
    }
}

// The front end on fake services: the ring buttons' sectors and radii, the
// highlight ring and its wrap, scrolling, key capture (a duplicate refused,
// Space named), the display-mode rows from injected mode lists and memory
// figures, the 5 s revert on a fake clock, the ways out (Escape 4, quit 3),
// and the walk from the main menu to a mission's start with the level names
// it leaves for the session. The mission list and NEXT LEVEL's save-name check
// close the file.
#include "Veapi/light_set.h"
#include "ui/briefing.h"
#include "ui/camera_controller.h"
#include "ui/front_end.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "app/display_mode.h"
#include "app/string_table.h"
#include "console/readers.h"
#include "console/text_console.h"
#include "session/level_session.h"
#include "session/session_placeholders.h"
#include "support/string_texts.h"
#include "ui/key_config.h"
#include "ui/menu_screen.h"
#include "ui/mission_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace FrontEnd::test {
namespace {

int64_t g_now = 0;
int64_t FakeClock() { return g_now; }

struct Calls {
    std::vector<int> exits, sounds;
    std::vector<std::string> modes; // "w x h x d"
    int missions = 0, keyFiles = 0;
    std::vector<std::string> loads;
};

class FrontEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadGlobalStringTable({{228, "Single player"}, {229, "Multiplayer"}, {230, "Options"}, {231, "Quit"},
                               {232, "Saved games"}, {233, "Missions"}, {238, "Display modes"}, {239, "Devices"},
                               {240, "Keys"}, {241, "Game options"}, {242, "3-D options"}, {244, "Start"},
                               {267, "That key is taken."}, {276, "Keep this mode"}, {308, "Training"},
                               {314, "Level five"}, {7015, "Space"}, {7000, "Up"}, {7002, "Left"}, {7003, "Right"},
                               {6020, "Turn camera left"}, {6021, "Turn camera right"}, {6028, "Lock camera"},
                               {6024, "Camera up"}});
        TextConsole::SetMetrics(std::vector<int32_t>(256, 8), 640, 0.04f);
        TextConsole::Get().lines.clear();
        KeyBindings::Init();
        KeyConfig::DisplaySettingsInUse() = KeyConfig::kDefaultDisplaySettings;
        g_now = 1000;
        AppTime::SetRealClock(FakeClock);
        App::CurrentMode() = {800, 600, 32, kModeWindowed};
        MissionList::Clear();
        Session::Names() = {};
        BuildScreens();
        Services& s = GetServices();
        s = {};
        s.displayModes = [this] { return modes_; };
        s.displayDevices = [] { return std::vector<std::string>{"OpenGL display"}; };
        s.videoMemory = [this] { return memory_; };
        s.setMode = [this](int w, int h, int d, uint32_t) {
            calls_.modes.push_back(std::to_string(w) + " x " + std::to_string(h) + " x " + std::to_string(d));
            App::CurrentMode().width = w;
            App::CurrentMode().height = h;
            App::CurrentMode().depth = d;
            return 1;
        };
        s.playSound = [this](int sound) { calls_.sounds.push_back(sound); };
        s.exitProgram = [this](int code) { calls_.exits.push_back(code); };
        s.startMission = [this] { ++calls_.missions; };
        s.writeKeyFile = [this] { return ++calls_.keyFiles, true; };
        s.loadSavedGame = [this](const std::string& name) { return calls_.loads.push_back(name), false; };
        s.savedGames = [] { return std::vector<std::string>{"first.sav", "second.sav"}; };
        Enter();
    }
    void TearDown() override
    {
        Shutdown();
        ResetServices();
        AppTime::SetRealClock(nullptr);
        App::ResetDisplayMode();
        TextConsole::SetMetrics({}, 640, 1.0f / 30.0f);
        StringTable::Global().Free();
    }

    static void Advance(double seconds) { g_now += int64_t(seconds * double(AppTime::TicksPerSecond())); }
    static void Highlight(int choice) { CurrentState().highlight = choice; }
    static void ChooseItem(int item)
    {
        Highlight(item);
        Choose();
    }
    static bool Printed(const std::string& text)
    {
        for (const auto& line : TextConsole::Get().lines)
            if (line.text == text)
                return true;
        return false;
    }

    std::vector<ModeOffer> modes_ = {{640, 480, 16}, {640, 480, 32}, {800, 600, 16}, {800, 600, 32}, {1024, 768, 32}};
    uint64_t memory_ = 256ull << 20;
    Calls calls_;
};

// A point at `angle` (4096 a turn) and `radius` in the ring's own measure.
std::pair<float, float> RingPoint(float angle, float radius)
{
    const float t = angle / 4096.0f * 2.0f * std::numbers::pi_v<float>;
    return {0.25f + radius * std::cos(t), 0.5f + radius * std::sin(t) / 0.75f};
}

TEST(FrontEndRing, ButtonsAreSectorsOfTheRing)
{
    struct Case {
        const char* what;
        float angle, radius;
        int screen, count, scroll;
        int expected;
    };
    const Case cases[] = {
        {"below: scroll down", 1024, 0.21f, 1, 7, 0, kScrollDown},
        {"below, six left: no scroll down", 1024, 0.21f, 1, 7, 1, kNothing},
        {"above: scroll up", 3072, 0.21f, 1, 12, 3, kScrollUp},
        {"above at the top: nothing", 3072, 0.21f, 1, 12, 0, kNothing},
        {"left: back", 2048, 0.21f, 1, 3, 0, kBack},
        {"left on the main menu: no back", 2048, 0.21f, 0, 4, 0, kNothing},
        {"right: no button", 0, 0.21f, 1, 12, 3, kNothing},
        {"inside the inner edge", 2048, 0.175f, 1, 3, 0, kNothing},
        {"outside the outer edge", 2048, 0.245f, 1, 3, 0, kNothing},
        {"just inside the down sector", 580, 0.21f, 1, 7, 0, kScrollDown},
        {"just outside the down sector", 565, 0.21f, 1, 7, 0, kNothing},
        {"between back and scroll up", 2560, 0.21f, 1, 12, 3, kNothing},
        {"just inside the up sector", 3515, 0.21f, 1, 12, 3, kScrollUp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [x, y] = RingPoint(c.angle, c.radius);
        EXPECT_EQ(RingButtonAt(x, y, c.screen, c.count, c.scroll), c.expected);
    }
}

TEST(FrontEndRing, HighlightRingsByCountAndScroll)
{
    struct Case {
        int screen, count, scroll;
        std::vector<int> ring;
    };
    const Case cases[] = {
        {0, 0, 0, {}},
        {1, 0, 0, {kBack}},
        {0, 4, 0, {0, 1, 2, 3}},
        {1, 6, 0, {0, 1, 2, 3, 4, 5, kBack}},
        {1, 7, 0, {0, 1, 2, 3, 4, 5, kScrollDown, kBack}},
        {1, 7, 1, {kScrollUp, 1, 2, 3, 4, 5, 6, kBack}},
        {1, 12, 3, {kScrollUp, 3, 4, 5, 6, 7, 8, kScrollDown, kBack}},
        {1, 12, 6, {kScrollUp, 6, 7, 8, 9, 10, 11, kBack}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " items from " << c.scroll << " on screen " << c.screen);
        EXPECT_EQ(HighlightRing(c.screen, c.count, c.scroll), c.ring);
    }
}

TEST_F(FrontEndTest, KeysWalkTheRingAndWrap)
{
    GoToScreen(kOptions, true); // five items and back
    const std::vector<int> forward = {0, 1, 2, 3, 4, kBack, 0};
    for (int expected : forward) {
        HighlightNext();
        EXPECT_EQ(CurrentState().highlight, expected);
    }
    Highlight(kNothing);
    HighlightPrevious();
    EXPECT_EQ(CurrentState().highlight, kBack) << "nothing highlighted: the last";
    HighlightPrevious();
    EXPECT_EQ(CurrentState().highlight, 4);
    Highlight(0);
    HighlightPrevious();
    EXPECT_EQ(CurrentState().highlight, kBack) << "wraps from the first to the last";
}

TEST_F(FrontEndTest, ScrollingStopsWithTheHighlightCleared)
{
    // Twenty key bindings: scroll down until the last is visible.
    GoToScreen(kKeyBindings, true);
    int steps = 0;
    Highlight(kScrollDown);
    while (CurrentState().highlight == kScrollDown && steps < 40) {
        Choose();
        ++steps;
    }
    EXPECT_EQ(steps, KeyBindings::kCount - 6);
    EXPECT_EQ(ScreenAt(kKeyBindings).scroll, KeyBindings::kCount - 6);
    EXPECT_EQ(CurrentState().highlight, kNothing);
    for (int i = 0; i < 3; ++i)
        OnUpKey();
    EXPECT_EQ(ScreenAt(kKeyBindings).scroll, KeyBindings::kCount - 9) << "the wheel scrolls while it can";
    Highlight(kScrollUp);
    while (CurrentState().highlight == kScrollUp)
        Choose();
    EXPECT_EQ(ScreenAt(kKeyBindings).scroll, 0);
}

TEST_F(FrontEndTest, KeyCapture)
{
    struct Case {
        const char* what;
        int binding;
        uint32_t code;
        uint32_t keyAfter;
        const char* shown;
        bool refused;
    };
    // Binding 8 (lock camera) holds Space, binding 1 the right arrow.
    const Case cases[] = {
        {"a key another binding has", KeyBindings::kLeft, 205, 203, "Left", true},
        {"Space on its own binding", KeyBindings::kCameraLock, 57, 57, "Space", false},
        {"Space taken by the lock", KeyBindings::kZoomOut, 57, 45, "x", true},
        {"a free typing key", KeyBindings::kZoomOut, 16, 16, "q", false},
        {"a free key without text", KeyBindings::kLeft, 199, 199, "#199", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeyBindings::Init();
        BuildScreens();
        Enter();
        TextConsole::Get().lines.clear();
        GoToScreen(kKeyBindings, true);
        ChooseItem(c.binding);
        ASSERT_TRUE(IsCapturingKey());
        OnKey(c.code, 0);
        EXPECT_FALSE(IsCapturingKey());
        EXPECT_EQ(KeyBindings::Key(c.binding), c.keyAfter);
        EXPECT_EQ(Printed("That key is taken."), c.refused);
        const MenuItem* item = ScreenAt(kKeyBindings).items.At(c.binding);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->valueText.View(), c.shown);
    }
}

TEST(FrontEndModes, RowsFromTheDisplaysModesAndMemory)
{
    const std::vector<ModeOffer> offers = {{320, 240, 16}, {640, 400, 32}, {640, 480, 16}, {640, 480, 24},
                                           {800, 600, 16}, {800, 600, 32}, {1024, 768, 32}, {1600, 1200, 32}};
    struct Case {
        const char* what;
        uint64_t memory;
        std::vector<ModeRow> rows;
    };
    const Case cases[] = {
        {"plenty of memory", 256ull << 20,
         {{640, 480, true, false}, {800, 600, false, true}, {1024, 768, false, true}, {1600, 1200, false, true}}},
        {"exactly 1024 x 768 x 6 bytes", 1024ull * 768 * 6,
         {{640, 480, true, false}, {800, 600, false, true}, {1024, 768, false, true}}},
        {"one byte short of 1024 x 768", 1024ull * 768 * 6 - 1, {{640, 480, true, false}, {800, 600, false, true}}},
        {"no memory figure", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(UsableModes(offers, c.memory), c.rows);
    }
    struct Bits {
        ModeRow row;
        int index, bits;
    };
    const Bits bits[] = {{{640, 480, true, true}, 2, 32}, {{640, 480, true, false}, 2, 24},
                         {{640, 480, false, false}, 2, 16}, {{640, 480, true, true}, 1, 24},
                         {{640, 480, true, true}, 0, 16}};
    for (const Bits& b : bits)
        EXPECT_EQ(BitsFor(b.row, b.index), b.bits) << b.index;
}

TEST_F(FrontEndTest, TheModeScreenMarksTheCurrentMode)
{
    const ScreenState& screen = ScreenAt(kDisplayModes);
    ASSERT_EQ(screen.items.Count(), 3);
    const char* texts[] = {"640 x 480", "800 x 600", "1024 x 768"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(screen.items.At(i)->text.View(), texts[i]);
        EXPECT_EQ(screen.items.At(i)->marked, i == 1);
    }
}

TEST_F(FrontEndTest, AnUnconfirmedModeIsRevertedAfterFiveSeconds)
{
    struct Case {
        const char* what;
        double waited;
        bool confirm;
        std::vector<std::string> modes;
        int widthAfter;
    };
    const Case cases[] = {
        {"confirmed in time", 4.9, true, {"1024 x 768 x 32"}, 1024},
        {"still waiting", 4.9, false, {"1024 x 768 x 32"}, 1024},
        {"not confirmed", 5.1, false, {"1024 x 768 x 32", "800 x 600 x 32"}, 800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        App::CurrentMode() = {800, 600, 32, kModeWindowed};
        calls_.modes.clear();
        GoToScreen(kDisplayModes, true);
        ChooseItem(2);
        ASSERT_EQ(CurrentState().screen, kConfirmMode);
        Advance(c.waited);
        if (c.confirm)
            ChooseItem(0);
        Frame();
        EXPECT_EQ(calls_.modes, c.modes);
        EXPECT_EQ(App::CurrentMode().width, c.widthAfter);
        EXPECT_EQ(CurrentState().screen, c.confirm || c.waited > 5 ? kDisplayModes : kConfirmMode);
        Frame(); // a later frame on screen 2 reverts nothing more
        EXPECT_EQ(calls_.modes.size(), c.modes.size());
        Advance(10);
        Frame();
        GoToScreen(kMain, false);
    }
}

TEST_F(FrontEndTest, WaysOut)
{
    struct Case {
        const char* what;
        std::vector<int> items; // chosen in turn from the main menu; -1 is Escape
        std::vector<int> exits;
        int screen;
    };
    const Case cases[] = {
        {"Escape on the main menu", {-1}, {kExitOnEscape}, kMain},
        {"the quit item", {3}, {kExitOnQuit}, kMain},
        {"Escape elsewhere goes to the main menu", {2, 3, -1}, {}, kMain},
        {"the network item does nothing", {1}, {}, kMain},
        {"back leads to where the screen was opened from", {2, 1, kBack}, {}, kOptions},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls_.exits.clear();
        Enter();
        for (int item : c.items) {
            if (item < 0)
                OnEscape();
            else
                ChooseItem(item);
        }
        EXPECT_EQ(calls_.exits, c.exits);
        EXPECT_EQ(CurrentState().screen, c.screen);
    }
}

TEST_F(FrontEndTest, TheFirstMissionStartsFromTheMainMenu)
{
    EXPECT_EQ(MissionList::Count(), 2) << "the two built-in missions";
    EXPECT_EQ(Session::Names().script, "training_level.tvs");
    // The menu keys only, as a player walks it: single player, missions,
    // the second mission (its names become current), back, the first, start.
    const auto press = [](int downs) {
        Highlight(kNothing);
        for (int i = 0; i < downs; ++i)
            HighlightNext();
        Choose();
    };
    press(1);
    EXPECT_EQ(CurrentState().screen, kSinglePlayer);
    press(2);
    EXPECT_EQ(CurrentState().screen, kMissions);
    press(2);
    EXPECT_EQ(CurrentState().screen, kStart);
    EXPECT_EQ(Session::Names().script, "level05.tvs");
    EXPECT_EQ(Session::Names().companion, "level05.tcs");
    ChooseItem(kBack);
    EXPECT_EQ(CurrentState().screen, kMissions);
    press(1);
    EXPECT_EQ(Session::Names().script, "training_level.tvs");
    EXPECT_EQ(Session::Names().companion, "training_level.tcs");
    EXPECT_EQ(calls_.missions, 0);
    press(1);
    EXPECT_EQ(calls_.missions, 1);
    EXPECT_EQ(calls_.keyFiles, 1) << "leaving the menus keeps the keys";
    EXPECT_EQ(calls_.sounds.back(), kSoundLeave);
}

TEST_F(FrontEndTest, LeavingClearsTheSceneLightsBeforeTheKeyFileIsWritten)
{
    LightSet::CreateGlobals(nullptr);
    LightSet* scene = LightSet::Global(0);
    Colour grey, light;
    grey.Set(0.25f, 0.25f, 0.25f, 1.0f);
    light.Set(1, 1, 1, 0);
    scene->SetEmissive(grey);
    scene->AddDirectionalLight(light, light, {0, -1, 0});
    int lightsAtWrite = -1;
    float glowAtWrite = -1;
    GetServices().writeKeyFile = [&] {
        lightsAtWrite = scene->LightCount();
        glowAtWrite = scene->Material().emissive.r;
        return true;
    };
    Leave();
    EXPECT_EQ(lightsAtWrite, 0);
    EXPECT_FLOAT_EQ(glowAtWrite, 1.0f) << "the scene set glows white outside a level";
    LightSet::DestroyGlobals();
}

TEST_F(FrontEndTest, SavedGamesAreListedAndAFailedLoadReturnsToTheMenu)
{
    ChooseItem(0);
    ChooseItem(0);
    ASSERT_EQ(CurrentState().screen, kSavedGames);
    const ScreenState& saves = ScreenAt(kSavedGames);
    ASSERT_EQ(saves.items.Count(), 2);
    EXPECT_EQ(saves.items.At(1)->text.View(), "second");
    ChooseItem(1);
    EXPECT_EQ(calls_.loads, std::vector<std::string>{"second.sav"});
    EXPECT_EQ(CurrentState().screen, kMain);
    EXPECT_EQ(CurrentAppState(), AppState::MainMenu);
}

TEST_F(FrontEndTest, WithOneMissionBothSinglePlayerItemsOpenTheMissions)
{
    MissionList::Clear();
    MissionList::Add("Only", "only.tvs", "only.tcs");
    for (int item : {0, 1}) {
        Enter();
        ChooseItem(0);
        ChooseItem(item);
        EXPECT_EQ(CurrentState().screen, kMissions) << item;
    }
}

TEST_F(FrontEndTest, LeavingActsOnWhatTheOptionScreensLeftPending)
{
    struct Case {
        const char* what;
        bool display, textures;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"nothing pending", false, false, {}},
        {"a texture setting: textures reloaded, materials compiled again", false, true, {"textures", "materials"}},
        {"a display change", true, false, {"mode", "shadows"}},
        {"both: the display change covers the textures", true, true, {"mode", "shadows"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> calls;
        Services& s = GetServices();
        s.setMode = [&calls](int, int, int, uint32_t) { return calls.push_back("mode"), 1; };
        s.applyShadowMode = [&calls] { calls.push_back("shadows"); };
        s.reloadTextures = [&calls] { calls.push_back("textures"); };
        s.recompileMaterials = [&calls] { calls.push_back("materials"); };
        CurrentState().displayChangePending = c.display;
        CurrentState().textureReloadPending = c.textures;
        Leave();
        EXPECT_EQ(calls, c.calls);
        EXPECT_FALSE(CurrentState().displayChangePending);
        EXPECT_FALSE(CurrentState().textureReloadPending);
    }
}

TEST_F(FrontEndTest, OptionItemsStepTheirValues)
{
    KeyConfig::Options& o = KeyConfig::CurrentOptions();
    o = {};
    o.option277 = 7; // out of range from somewhere: the step starts again at 0
    GoToScreen(kGameOptions, true);
    // The camera takes each change at once: 277 its speed, 6090 inversion.
    const struct {
        int32_t option;
        float baseSpeed;
    } steps277[] = {{0, 0.5f}, {1, 1.0f}, {2, 2.0f}, {0, 0.5f}};
    for (const auto& step : steps277) {
        ChooseItem(3);
        EXPECT_EQ(o.option277, step.option);
        EXPECT_EQ(CameraController::Get().axes[CameraController::kTurn].baseSpeed, step.baseSpeed);
    }
    ChooseItem(0);
    EXPECT_EQ(o.option6090, 1);
    EXPECT_TRUE(CameraController::Get().invertMouse);
    ChooseItem(0);
    EXPECT_FALSE(CameraController::Get().invertMouse);
    CameraController::SetSpeedOption(1);
    CameraController::SetInvertOption(false);
    GoToScreen(kThreeDOptions, true);
    auto& settings = KeyConfig::DisplaySettingsInUse();
    const std::vector<uint32_t> shadows = {2, 3, 4, 0, 1};
    for (uint32_t expected : shadows) {
        ChooseItem(4);
        EXPECT_EQ(settings[KeyConfig::kShadowMode], expected);
    }
    EXPECT_TRUE(CurrentState().displayChangePending);
    Leave();
    EXPECT_FALSE(CurrentState().displayChangePending);
    EXPECT_EQ(calls_.modes.back(), "800 x 600 x 32") << "the pending change is applied on leaving";
}

TEST_F(FrontEndTest, TheSecondSwitchNeedsTheDevicesCapability)
{
    auto& settings = KeyConfig::DisplaySettingsInUse();
    const struct {
        bool atEntry, afterReopen;
        std::vector<uint32_t> steps; // the switch after each choice, before and after the device changes
    } cases[] = {{true, true, {1, 1}}, {false, false, {0, 0}}, {false, true, {0, 1}}, {true, false, {1, 0}}};
    for (const auto& c : cases) {
        bool capable = c.atEntry;
        GetServices().deviceCapable = [&capable] { return capable; };
        GetServices().reopenDisplay = [](const std::string&) { return true; };
        settings[KeyConfig::kSwitch2] = 0;
        Enter();
        GoToScreen(kThreeDOptions, true);
        ChooseItem(1);
        EXPECT_EQ(settings[KeyConfig::kSwitch2], c.steps[0]) << "capable at entry " << c.atEntry;
        capable = c.afterReopen;
        GoToScreen(kDisplayDevices, true);
        ChooseItem(0);
        GoToScreen(kThreeDOptions, true);
        settings[KeyConfig::kSwitch2] = 0;
        ChooseItem(1);
        EXPECT_EQ(settings[KeyConfig::kSwitch2], c.steps[1]) << "capable after the device changed " << c.afterReopen;
    }
}

TEST_F(FrontEndTest, TheLobbyStartsTheLevelTheHostSent)
{
    bool sent = false;
    int asked = 0;
    GetServices().lobbyLevelStart = [&](std::string& level, std::string& companion) {
        ++asked;
        if (!sent)
            return false;
        level = "maze.tvs";
        companion = "maze.tcs";
        return true;
    };
    CheckLobbyStart();
    EXPECT_EQ(asked, 0) << "only the lobby waits for a level start";
    GoToScreen(kLobby, false);
    CheckLobbyStart();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(calls_.missions, 0) << "nothing sent yet";
    sent = true;
    CheckLobbyStart();
    EXPECT_EQ(calls_.missions, 1);
    EXPECT_EQ(calls_.keyFiles, 1) << "the menu is left as for a mission";
    EXPECT_EQ(Session::Names().script, "maze.tvs");
    EXPECT_EQ(Session::Names().companion, "maze.tcs");
}

// The shell tells players from outside that the menu takes keys once it has
// drawn its first frame after being entered, each time it is entered.
TEST_F(FrontEndTest, FramesAreCountedFromEachEntry)
{
    EXPECT_EQ(CurrentState().framesShown, 0u);
    Frame();
    Frame();
    EXPECT_EQ(CurrentState().framesShown, 2u);
    Enter();
    EXPECT_EQ(CurrentState().framesShown, 0u);
    Frame();
    EXPECT_EQ(CurrentState().framesShown, 1u);
}

// The in-game menu's four slot lists are the front end's too: its build
// titles them and starts them empty, whatever a last level left in them, and
// its shut-down empties them.
TEST_F(FrontEndTest, TheInGameSlotListsAreBuiltTitledAndEmpty)
{
    const uint32_t titles[] = {251, 7065, 7066, 231};
    for (int slot = 0; slot < 4; ++slot) {
        MenuSlotList& list = MenuScreen::List(slot);
        list.rows.push_back({"left over", 0, 0, 0, {}, {}, {}, {}});
        list.highlight = 0;
        list.scroll = 3;
    }
    Shutdown();
    for (int slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_TRUE(MenuScreen::List(slot).rows.empty());
        EXPECT_EQ(MenuScreen::List(slot).title, 0u);
    }
    MenuScreen::List(2).rows.push_back({"left over", 0, 0, 0, {}, {}, {}, {}});
    BuildScreens();
    for (int slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot);
        const MenuSlotList& list = MenuScreen::List(slot);
        EXPECT_EQ(list.title, titles[slot]);
        EXPECT_TRUE(list.rows.empty());
        EXPECT_EQ(list.highlight, int(MenuScreen::kNone));
        EXPECT_EQ(list.scroll, 0);
    }
}

TEST(MissionListTest, FindAddAndSaveNames)
{
    MissionList::Clear();
    TextConsole::SetLine("level07.tvs level07.tcs");
    MissionList::AddMissionCommand();
    MissionList::Add("Training", "training_level.tvs", "training_level.tcs");
    ASSERT_EQ(MissionList::Count(), 2);
    EXPECT_EQ(MissionList::At(0)->name, "level07.tvs") << "the level file names the mission";
    EXPECT_EQ(MissionList::At(0)->companion, "level07.tcs");
    EXPECT_EQ(MissionList::Find("TRAINING_LEVEL.TVS"), 1);
    EXPECT_EQ(MissionList::Find("training_level"), -1);
    EXPECT_EQ(MissionList::At(2), nullptr);
    EXPECT_FALSE(MissionList::MakeCurrent(-1));

    struct Case {
        const char* name;
        bool safe;
    };
    const Case cases[] = {{"Training", true},   {"level05.tvs", true}, {"", false},          {"..", false},
                          {"a/b", false},       {"..\\up", false},     {"/tmp/x", false},    {"c:x", false},
                          {"two words", true}};
    for (const Case& c : cases)
        EXPECT_EQ(MissionList::IsSafeSaveName(c.name), c.safe) << c.name;

    // The last mission (or one not in the list) ends the campaign.
    Session::Names() = {"training_level.tvs", "training_level.tcs"};
    EndOfGameRequest = 0;
    MissionList::NextLevelCommand();
    EXPECT_EQ(EndOfGameRequest, 1u);
    EndOfGameRequest = 0;
    MissionList::Clear();
    Session::Names() = {};
}

} // namespace
} // namespace FrontEnd::test

namespace FrontEnd::test {
namespace {

// NEXT LEVEL from the first of two missions: the next one's names become
// current and the briefing state follows; its level-start save is made in
// the saves folder, and a mission name that would lead out of it is refused.
TEST(NextLevel, MovesToTheNextMissionAndKeepsItsSaveInTheSavesFolder)
{
    char name[] = "/tmp/trevok-next-level-XXXXXX";
    const std::filesystem::path home = mkdtemp(name);
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    struct Case {
        const char* next;
        bool refused;
    };
    const Case cases[] = {{"Second", false}, {"../escaped", true}, {"/tmp/trevok-absolute", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.next);
        MissionList::Clear();
        MissionList::Add("First", "first.tvs", "first.tcs");
        MissionList::Add(c.next, "second.tvs", "second.tcs");
        Session::Names() = {"FIRST.TVS", "first.tcs"};
        TextConsole::Get().lines.clear();
        SetAppState(AppState::Playing);
        // The sample has no (de)briefing for these missions, so the briefing
        // moves straight on to the game: it is asked for, not started here.
        int starts = 0;
        Briefing::GetHooks().startSession = [&starts] { ++starts; };
        MissionList::NextLevelCommand();
        Briefing::GetHooks() = {};
        EXPECT_EQ(Session::Names().script, "second.tvs");
        EXPECT_EQ(Session::Names().companion, "second.tcs");
        EXPECT_EQ(starts, 1) << "the debriefing and the briefing led on to the next game";
        const std::string refusal =
            std::string("NEXT LEVEL: \"") + c.next + "\" cannot name a saved game; the level start is not saved.";
        bool printed = false;
        for (const auto& line : TextConsole::Get().lines)
            printed = printed || line.text == refusal;
        EXPECT_EQ(printed, c.refused);
        // Nothing lands outside the saves folder, wherever the name points.
        const std::filesystem::path saves = home / "trevok" / "saves";
        if (std::filesystem::exists(home)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) {
                if (!entry.is_directory()) {
                    EXPECT_EQ(entry.path().parent_path(), saves) << entry.path();
                }
            }
        }
        EXPECT_FALSE(std::filesystem::exists("/tmp/trevok-absolute.sav"));
    }
    if (saved)
        setenv("XDG_DATA_HOME", saved->c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(home);
    MissionList::Clear();
    Session::Names() = {};
    SetAppState(AppState::None);
}

} // namespace
} // namespace FrontEnd::test

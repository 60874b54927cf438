// Input events from the devices to the handlers: the chord filter, routing
// by game state, the pointer scaled once, the wheel counted once, recording
// into the demo buffers and replaying them.
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/clock.h"
#include "app/demo.h"
#include "app/directories.h"
#include "app/fatal.h"
#include "app/shell/application.h"
#include "app/shell/input.h"
#include "app/display_mode.h"
#include "app/shell/screen.h"
#include "app/shell/window_proc.h"
#include "console/console.h"
#include "platform/input.h"
#include "platform/input_controller.h"
#include "platform/window.h"
#include "session/level_session.h"
#include "ui/key_config.h"
#include "ui/ui_placeholders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::vector<InputEvent> g_dispatched;
void Capture(const InputEvent& e) { g_dispatched.push_back(e); }

struct ExitCalled {
    int code;
};
void ThrowExit(int code) { throw ExitCalled{code}; }

class InputEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_dispatched.clear();
        Input::ResetFilter();
        Input::SetDispatchObserver(Capture);
        Input::ModifierWord() = 0;
        SetFatalExitHandler(ThrowExit);
        TextConsole::Create();
        PlayerControlsOff = false;
        KeyBindings::Init();
        App::CurrentMode() = {640, 480, 16, kModeWindowed};
        Screen::OnClientArea(0, 0, 640, 480);
    }
    void TearDown() override
    {
        Input::SetDispatchObserver(nullptr);
        SetFatalExitHandler(nullptr);
        Input::Shutdown();
    }
    static InputEvent Key(uint32_t message, uint32_t scan, uint32_t flags = 0)
    {
        return InputEvent{message, scan, 0, 0, scan, flags};
    }
    static InputEvent Button(uint32_t message) { return InputEvent{message, 0, 0, 0, 0, 0}; }
    static std::vector<uint32_t> Messages()
    {
        std::vector<uint32_t> m;
        for (const InputEvent& e : g_dispatched)
            m.push_back(e.message);
        return m;
    }
};

TEST_F(InputEvents, ChordFilter)
{
    struct Case {
        const char* name;
        std::vector<uint32_t> in;
        std::vector<uint32_t> out;
    };
    const Case cases[] = {
        {"click", {kMsgLeftDown, kMsgLeftUp}, {kMsgLeftDown, kMsgLeftUp}},
        {"right click", {kMsgRightDown, kMsgRightUp}, {kMsgRightDown, kMsgRightUp}},
        {"left then right: one middle click", {kMsgLeftDown, kMsgRightDown, kMsgLeftUp, kMsgRightUp},
         {kMsgMiddleDown, kMsgMiddleUp}},
        {"right then left", {kMsgRightDown, kMsgLeftDown, kMsgRightUp, kMsgLeftUp}, {kMsgMiddleDown, kMsgMiddleUp}},
        {"second press of the same button", {kMsgLeftDown, kMsgLeftDown}, {kMsgLeftDown}},
        {"keys pass at once", {kMsgKeyDown, kMsgMouseMove}, {kMsgKeyDown, kMsgMouseMove}},
    };
    SetAppState(AppState::Playing);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_dispatched.clear();
        Input::ResetFilter();
        for (uint32_t m : c.in)
            Input::PreFilter(m == kMsgKeyDown ? &(const InputEvent&)Key(m, 30) : &(const InputEvent&)Button(m));
        EXPECT_EQ(Messages(), c.out);
    }
}

TEST_F(InputEvents, AHeldPressIsDeliveredAfterAnEighthOfASecond)
{
    SetAppState(AppState::Playing);
    Input::PreFilter(&static_cast<const InputEvent&>(Button(kMsgLeftDown)));
    Input::PreFilter(nullptr);
    EXPECT_TRUE(g_dispatched.empty()) << "held while a chord may still come";
    RealTime.SetTicks(RealTime.Now64() + uint64_t(AppTime::TicksPerSecond() / 8 + 1));
    Input::PreFilter(nullptr);
    EXPECT_EQ(Messages(), (std::vector<uint32_t>{kMsgLeftDown}));
    Input::PreFilter(&static_cast<const InputEvent&>(Button(kMsgLeftUp)));
    EXPECT_EQ(Messages(), (std::vector<uint32_t>{kMsgLeftDown, kMsgLeftUp}));
}

TEST_F(InputEvents, QuickSecondLeftPressIsMarkedDouble)
{
    Input::Startup(nullptr, false);
    SetAppState(AppState::Playing);
    for (int i = 0; i < 2; ++i) {
        platform::SimulateMouseButton(0, true);
        platform::SimulateMouseButton(0, false);
    }
    Input::ReadMouse();
    ASSERT_EQ(Messages(), (std::vector<uint32_t>{kMsgLeftDown, kMsgLeftUp, kMsgLeftDown, kMsgLeftUp}));
    EXPECT_EQ(g_dispatched[0].flags, kFlagLeftButton);
    EXPECT_EQ(g_dispatched[1].flags, 0u);
    EXPECT_EQ(g_dispatched[2].flags, kFlagLeftButton | kFlagDoublePress);
}

// Buttons come as key presses and releases; a controller unplugged while a
// button is held and the stick pushed reads centred and lets the button go.
TEST_F(InputEvents, ControllerButtonsAndUnplugging)
{
    platform::VirtualController pad;
    ASSERT_TRUE(pad.IsAttached());
    Input::Startup(nullptr, false);
    SetAppState(AppState::MainMenu);
    ASSERT_EQ(Input::ControllerCount(), 1);
    EXPECT_FALSE(Input::SelectController(1));
    EXPECT_FALSE(Input::SelectController(-1));
    ASSERT_TRUE(Input::SelectController(0));

    struct Step {
        const char* name;
        int x, y, button; // button -1: none held
        bool unplug;
        platform::ControllerState expected;
        std::vector<std::pair<uint32_t, uint32_t>> events; // message, key
    };
    const uint32_t b0 = Input::kControllerButtonKey, b2 = Input::kControllerButtonKey + 2;
    const Step steps[] = {
        {"centred, nothing held", 0, 0, -1, false, {}, {}},
        {"button 2 pressed, stick pushed", 32767, 0, 2, false, {1000, 0, 1u << 2}, {{kMsgKeyDown, b2}}},
        {"still held: no repeat", 32767, 0, 2, false, {1000, 0, 1u << 2}, {}},
        {"button 0 instead", 0, -32767, 0, false, {0, -1000, 1u}, {{kMsgKeyDown, b0}, {kMsgKeyUp, b2}}},
        {"unplugged while held", 32767, 32767, 0, true, {}, {{kMsgKeyUp, b0}}},
        {"stays centred", 0, 0, -1, false, {}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        g_dispatched.clear();
        pad.SetStick(step.x, step.y);
        for (int b = 0; b < 3; ++b)
            pad.SetButton(b, b == step.button);
        if (step.unplug)
            pad.Unplug();
        EXPECT_EQ(Input::ReadController(), step.expected);
        std::vector<std::pair<uint32_t, uint32_t>> seen;
        for (const InputEvent& e : g_dispatched)
            seen.emplace_back(e.message, e.scanCode);
        std::sort(seen.begin(), seen.end());
        auto expected = step.events;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(InputEvents, PollKeyPressSkipsEscapeAndPassesReleasesOn)
{
    Input::Startup(nullptr, false);
    SetAppState(AppState::MainMenu);
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, bool>> keys; // scan code, down
        bool pressed;
        std::vector<uint32_t> released;
    };
    const Case cases[] = {
        {"nothing waiting", {}, false, {}},
        {"Escape alone is no press", {{1, true}, {1, false}}, false, {1}},
        {"a release, then a press", {{30, false}, {57, true}}, true, {30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_dispatched.clear();
        for (const auto& [key, down] : c.keys)
            platform::SimulateKey(key, down);
        EXPECT_EQ(Input::PollKeyPress(), c.pressed);
        std::vector<uint32_t> released;
        for (const InputEvent& e : g_dispatched) {
            EXPECT_EQ(e.message, kMsgKeyUp);
            released.push_back(e.scanCode);
        }
        EXPECT_EQ(released, c.released);
    }
}

TEST_F(InputEvents, PauseKeyStopsAndRestoresGameTime)
{
    SetAppState(AppState::Playing);
    AppTime::SetGameSpeed(0.5f);
    Input::Dispatch(Key(kMsgKeyDown, 197));
    EXPECT_TRUE(Game::IsPaused());
    EXPECT_EQ(AppTime::GameSpeed(), 0.0f);
    Input::Dispatch(Key(kMsgKeyDown, 197));
    EXPECT_FALSE(Game::IsPaused());
    EXPECT_EQ(AppTime::GameSpeed(), 0.5f);
    AppTime::SetGameSpeed(1.0f);
}

TEST_F(InputEvents, StartScreensLeaveOnEnterSpaceOrAPress)
{
    struct Case {
        AppState from;
        InputEvent event;
        AppState to;
    };
    const Case cases[] = {
        {AppState::Logo, Key(kMsgKeyDown, kKeyEnter), AppState::Splash},
        {AppState::Splash, Key(kMsgKeyDown, kKeySpace), AppState::Title},
        {AppState::Title, Button(kMsgLeftDown), AppState::PleaseTrain},
        {AppState::PleaseTrain, Button(kMsgMiddleDown), AppState::MainMenu},
        {AppState::Logo, Key(kMsgKeyUp, kKeyEnter), AppState::Logo},
        {AppState::Logo, Key(kMsgKeyDown, 30), AppState::Logo},
        {AppState::Logo, Button(kMsgLeftUp), AppState::Logo},
    };
    for (const Case& c : cases) {
        SetAppState(c.from);
        Input::Dispatch(c.event);
        EXPECT_EQ(CurrentAppState(), c.to) << "from " << int(c.from) << " message " << c.event.message;
    }
}

TEST_F(InputEvents, APressEndsTheBriefingForWhatFollowsIt)
{
    char name[] = "/tmp/trevok-briefing-XXXXXX";
    const std::filesystem::path root = mkdtemp(name);
    std::filesystem::create_directories(root / "scripts");
    for (const char* script : {"m.brf", "m.dbf", "gameover.brf"})
        std::ofstream(root / "scripts" / script) << "WAIT 100\n";
    auto& dirs = app::DataDirectories::Global();
    const auto savedStart = dirs.StartDirectory();
    dirs.SetStartDirectory(root);
    dirs.SetPath(app::kScriptsDirectory, "scripts");
    Session::Names().script = "m.tvs";
    std::string called;
    Briefing::GetHooks() = {[&] { called += "session"; }, [&] { called += "title"; }};
    struct Case {
        bool gameOver, briefing;
        InputEvent event;
        const char* called;
        bool stillActive;
    };
    const Case cases[] = {
        {false, true, Key(kMsgKeyDown, kKeySpace), "session", false},
        {false, false, Button(kMsgLeftDown), "", true}, // the briefing follows its debriefing
        {true, true, Button(kMsgRightDown), "title", false},
        {false, true, Key(kMsgKeyUp, kKeySpace), "", true},
    };
    for (const Case& c : cases) {
        called.clear();
        Briefing::GameOver() = c.gameOver;
        Briefing::Enter(c.briefing);
        ASSERT_EQ(CurrentAppState(), AppState::Briefing);
        Input::Dispatch(c.event);
        EXPECT_EQ(called, c.called);
        EXPECT_EQ(Briefing::IsActive(), c.stillActive);
        if (Briefing::IsActive()) {
            EXPECT_FALSE(Briefing::IsDebriefing());
            Briefing::Leave(true);
        }
    }
    Briefing::GetHooks() = {};
    Session::Names() = {};
    dirs.SetPath(app::kScriptsDirectory, nullptr);
    dirs.SetStartDirectory(savedStart);
    std::filesystem::remove_all(root);
}

TEST_F(InputEvents, KeysThatEndTheProgram)
{
    struct Case {
        const char* name;
        AppState state;
        InputEvent event;
        int code; // 0: the program goes on
    };
    const Case cases[] = {
        {"Shift+Q in play", AppState::Playing, Key(kMsgKeyDown, 16, kFlagShift), 2},
        {"Q alone", AppState::Playing, Key(kMsgKeyDown, 16), 0},
        {"Escape on the main menu", AppState::MainMenu, Key(kMsgKeyDown, kKeyEscape), 4},
        {"Escape released on the main menu", AppState::MainMenu, Key(kMsgKeyUp, kKeyEscape), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetAppState(c.state);
        int code = 0;
        try {
            Input::Dispatch(c.event);
        } catch (const ExitCalled& e) {
            code = e.code;
        }
        EXPECT_EQ(code, c.code);
    }
}

TEST_F(InputEvents, ControlsSwitchedOffKeepInputFromTheGameView)
{
    SetAppState(AppState::Playing);
    Mouse::OnMove(1, 1, 0);
    PlayerControlsOff = true;
    Input::Dispatch(InputEvent{kMsgMouseMove, 0, (50u << 16) | 60u, 0, 0, 0});
    Input::Dispatch(InputEvent{kMsgLeftDown, 0, (50u << 16) | 60u, 0, 0, kFlagLeftButton});
    int x = 0, y = 0;
    Mouse::LastPoint(x, y);
    EXPECT_EQ(x, 1) << "pointer input is held back";
    EXPECT_NO_THROW(Input::Dispatch(Key(kMsgKeyDown, 16, kFlagShift))) << "Shift+Q does not pass";
    PlayerControlsOff = false;
    EXPECT_THROW(Input::Dispatch(Key(kMsgKeyDown, 16, kFlagShift)), ExitCalled);
}

TEST_F(InputEvents, PointerIsScaledOnceIntoModePixels)
{
    // A framed window twice the mode's size, 100 pixels from the corner.
    Screen::OnClientArea(100, 50, 1280, 960);
    auto window = platform::Window::Create({"t", false, 1280, 960, false}, WindowProc);
    Input::Startup(window.get(), false);
    SetAppState(AppState::Playing);
    platform::SimulateMouseMotion(0, 0); // sets the device's origin
    Input::ReadMouse();
    g_dispatched.clear();
    // The system pointer at client (640, 480) + the window's origin.
    int left = 0, top = 0, w = 0, h = 0;
    window->ClientRect(left, top, w, h);
    Screen::OnClientArea(left, top, 1280, 960);
    platform::SimulateMouseMotion(640, 480);
    platform::SimulateMouseButton(0, true);
    platform::SimulateMouseButton(0, false);
    Input::ReadMouse();
    ASSERT_FALSE(g_dispatched.empty());
    const InputEvent& move = g_dispatched.front();
    EXPECT_EQ(move.message, kMsgMouseMove);
    EXPECT_EQ(move.lparam & 0xFFFF, 320u);
    EXPECT_EQ(move.lparam >> 16, 240u);
    int x = 0, y = 0;
    Mouse::LastPoint(x, y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 240) << "the game view must not scale the event again";
}

TEST_F(InputEvents, OneWheelNotchIsOneEvent)
{
    auto window = platform::Window::Create({"t", false, 640, 480, false}, WindowProc);
    Input::Startup(window.get(), false);
    SetAppState(AppState::MainMenu);
    platform::SimulateWheel(1);
    // A whole pass: the devices, then every waiting window message.
    Input::ReadKeyboard();
    Input::ReadMouse();
    while (platform::PeekMessage()) {
        platform::Message m;
        if (!platform::GetMessage(m))
            break;
        platform::DispatchMessage(m);
    }
    const auto wheels = std::count_if(g_dispatched.begin(), g_dispatched.end(),
                                      [](const InputEvent& e) { return e.message == kMsgWheel; });
    ASSERT_EQ(wheels, 1);
    const InputEvent& e = *std::find_if(g_dispatched.begin(), g_dispatched.end(),
                                        [](const InputEvent& ev) { return ev.message == kMsgWheel; });
    EXPECT_EQ(e.wheelDelta, 120);
    EXPECT_EQ(e.wparam >> 16, 120u);
}

TEST_F(InputEvents, KeyboardReaderKeepsModifiersAndSkipsTheirEvents)
{
    Input::Startup(nullptr, false);
    SetAppState(AppState::Playing);
    platform::SimulateKey(42, true);  // left Shift
    platform::SimulateKey(29, true);  // left Ctrl
    platform::SimulateKey(30, true);  // A
    platform::SimulateKey(29, false);
    platform::SimulateKey(30, false);
    Input::ReadKeyboard();
    ASSERT_EQ(g_dispatched.size(), 2u);
    EXPECT_EQ(g_dispatched[0], (InputEvent{kMsgKeyDown, 30, 0, 0, 30, kFlagShift | kFlagCtrl}));
    EXPECT_EQ(g_dispatched[1], (InputEvent{kMsgKeyUp, 30, 0, 0, 30, kFlagShift}));
}

TEST_F(InputEvents, RecordingStopsWhenTheBufferIsFull)
{
    Demo::Buffers& demo = Demo::Global();
    demo.count = Demo::kCapacity - 2;
    SetAppState(AppState::Recording);
    Input::Dispatch(Key(kMsgKeyDown, 31));
    EXPECT_EQ(CurrentAppState(), AppState::Recording);
    Input::Dispatch(Key(kMsgKeyUp, 31));
    EXPECT_EQ(demo.count, Demo::kCapacity);
    EXPECT_EQ(demo.events[Demo::kCapacity - 1], Key(kMsgKeyUp, 31)) << "the last place is still used";
    EXPECT_EQ(CurrentAppState(), AppState::Playing);
    const auto& lines = TextConsole::Get().lines;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "Recording stopped. Buffer full.");
    Input::Dispatch(Key(kMsgKeyDown, 32));
    EXPECT_EQ(demo.count, Demo::kCapacity);
}

TEST_F(InputEvents, RecordedInputReplaysTheSameEventsAtTheirTimes)
{
    Demo::Buffers& demo = Demo::Global();
    demo.count = 0;
    demo.levelScript = "training_level.tvs";
    SetAppState(AppState::Recording);
    const std::vector<InputEvent> input = {
        Key(kMsgKeyDown, 31), Key(kMsgKeyUp, 31), InputEvent{kMsgMouseMove, 0, (100u << 16) | 200u, 0, 0, 0},
        InputEvent{kMsgWheel, 120u << 16, 0, 120, 0, 0}, Key(kMsgKeyDown, 199, kFlagCtrl),
    };
    // Game time held still, one game second apart.
    const int64_t tps = AppTime::TicksPerSecond();
    AppTime::SetGameSpeed(0.0f);
    std::vector<float> times;
    for (size_t i = 0; i < input.size(); ++i) {
        AppTime::SetGameTime(int64_t(i + 1) * tps);
        times.push_back(AppTime::GameSeconds());
        Input::Dispatch(input[i]);
    }
    ASSERT_EQ(demo.count, input.size());
    for (size_t i = 0; i < times.size(); ++i)
        EXPECT_EQ(std::bit_cast<uint32_t>(demo.times[i]), std::bit_cast<uint32_t>(times[i])) << i;

    const std::string path = "/tmp/tvdemo-replay-" + std::to_string(getpid()) + ".dem";
    std::string error;
    ASSERT_TRUE(Demo::SaveFrom(demo, path, error)) << error;
    demo.count = 0;
    SetAppState(AppState::Playing);
    ASSERT_TRUE(Demo::LoadFile(path.c_str()));
    std::filesystem::remove(path);
    EXPECT_EQ(CurrentAppState(), AppState::Playback);
    for (size_t i = 0; i < times.size(); ++i)
        EXPECT_EQ(std::bit_cast<uint32_t>(demo.times[i]), std::bit_cast<uint32_t>(times[i]));

    // Game time just past the third event: the first three replay, in
    // order; the rest wait for their time.
    g_dispatched.clear();
    int code = 0;
    AppTime::SetGameTime(int64_t(double(times[2] + 0.5f) * double(tps)));
    ASSERT_TRUE(MainLoop::Pass(code));
    EXPECT_EQ(g_dispatched, std::vector<InputEvent>(input.begin(), input.begin() + 3));
    EXPECT_EQ(CurrentAppState(), AppState::Playback);
    EXPECT_EQ(Input::CursorX(), 200);
    EXPECT_EQ(Input::CursorY(), 100) << "a replayed move places the cursor";

    AppTime::SetGameTime(100 * tps);
    ASSERT_TRUE(MainLoop::Pass(code));
    EXPECT_EQ(g_dispatched, input);
    EXPECT_EQ(CurrentAppState(), AppState::Playing) << "playback ends in play";
    AppTime::SetGameSpeed(1.0f);
}

} // namespace

namespace {

TEST_F(InputEvents, AClickClosesTheConsoleOnlyAboveItsLowerEdge)
{
    SetAppState(AppState::Playing);
    struct Case {
        uint32_t y;     // mode pixels of 480
        int modeAfter;  // 1 closed, 0 still open
    } cases[] = {{100, 1}, {239, 1}, {240, 0}, {400, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.y);
        TextConsole::Get().displayMode = 0;
        TextConsole::Get().slidePosition = -0.5f; // the lower edge halfway down
        Input::Dispatch(InputEvent{kMsgLeftDown, 0, (c.y << 16) | 60u, 0, 0, kFlagLeftButton});
        EXPECT_EQ(TextConsole::Get().displayMode, c.modeAfter);
    }
}

} // namespace

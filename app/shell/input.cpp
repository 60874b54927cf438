#include "app/shell/input.h"

#include "app/app_state.h"
#include "app/directories.h"
#include "app/shell/application.h"
#include "app/app_time.h"
#include "app/demo.h"
#include "app/display_mode.h"
#include "app/shell/render_placeholders.h"
#include "app/shell/screen.h"
#include "app/shell/trace.h"
#include "app/string_table.h"
#include "console/console.h"
#include "media/media_placeholders.h"
#include "objects/objects_placeholders.h"
#include "platform/input.h"
#include "platform/input_controller.h"
#include "platform/window.h"
#include "session/save_slots.h"
#include "session/session_placeholders.h"
#include "ui/key_config.h"
#include "ui/menu_screen.h"
#include "ui/ui_placeholders.h"

#include <memory>
#include <string>
#include <vector>

namespace Input {

// A click above the console's lower edge closes it.
float PointerFraction(int y)
{
    const int h = App::CurrentMode().height;
    return h > 0 ? float(y) / float(h) : 1.0f;
}

namespace {

constexpr uint32_t kKeyboardBuffer = 32;
constexpr uint32_t kMouseBuffer = 30;
constexpr uint32_t kDoublePressMs = 200;

std::unique_ptr<platform::InputDevice> g_keyboard;
std::unique_ptr<platform::InputDevice> g_mouse;
std::vector<std::unique_ptr<platform::GameController>> g_controllers;
int g_selectedController = -1;
uint32_t g_controllerButtons = 0; // last buttons read, for the press and release edges
uint32_t g_modifiers = 0;
int g_cursorX = 320, g_cursorY = 240;
int g_lastScreenX = 320, g_lastScreenY = 240;
int32_t g_wheel = 0;
int32_t g_motionX = 0, g_motionY = 0; // movement not yet taken
uint32_t g_lastLeftPress = 0;
bool g_hadLeftPress = false;
DispatchObserver g_observer = nullptr;

struct Filter {
    InputEvent held{};
    bool holding = false;
    uint32_t heldAt = 0;
    int chord = 0;
} g_filter;

uint32_t PackPoint(int x, int y) { return (uint32_t(x) & 0xFFFFu) | ((uint32_t(y) & 0xFFFFu) << 16); }

void Emit(uint32_t message, uint32_t wparam, uint32_t lparam, int32_t delta, uint32_t scan, uint32_t flags)
{
    const InputEvent e{message, wparam, lparam, delta, scan, flags};
    PreFilter(&e);
}

// The system pointer in display-mode pixels (the last known place when the
// system has none).
void CursorFromSystem()
{
    int sx = g_lastScreenX, sy = g_lastScreenY;
    if (platform::GetCursorPos(sx, sy)) {
        g_lastScreenX = sx;
        g_lastScreenY = sy;
    }
    Screen::ToModePixels(sx, sy, g_cursorX, g_cursorY);
}

bool IsPress(uint32_t m) { return m == kMsgLeftDown || m == kMsgRightDown || m == kMsgMiddleDown; }

void GameViewKey(const InputEvent& e)
{
    // A closing save screen takes no keys: Ctrl+F4 right after a save opens the load screen.
    const bool nameRecord = SaveScreen::HasNameRecord() || MenuScreen::TakesTypedName();
    const bool listRecord = SaveScreen::HasListRecord();
    if (e.message == kMsgKeyDown && (nameRecord || listRecord))
        SaveScreen::OnKey(e);
    if (nameRecord && !listRecord)
        return;
    if (TextConsole::IsOpen())
        TextConsole::HandleKey(e);
    else
        Game::OnKey(e);
}

void GameView(const InputEvent& e)
{
    if (PlayerControlsOff) {
        if (e.message != kMsgKeyDown)
            return;
        if (e.scanCode != kKeyEscape && e.scanCode != KeyBindings::Key(KeyBindings::kNextSquadMember))
            return;
    }
    // The reader already put the pointer in display-mode pixels.
    const int x = static_cast<int>(e.lparam & 0xFFFF);
    const int y = static_cast<int>(e.lparam >> 16);
    switch (e.message) {
    case kMsgNcMouseMove:
    case kMsgMouseMove: Mouse::OnMove(g_cursorX, g_cursorY, e.flags); break;
    case kMsgKeyDown:
    case kMsgKeyUp: {
        const bool typing = MenuScreen::TakesTypedName();
        const std::string typed = SaveScreen::Name().Text();
        GameViewKey(e);
        // Each step a player from outside can wait for before the next key.
        if (MenuScreen::TakesTypedName() != typing)
            Trace("screen: %s", typing ? "name closed" : "name open");
        else if (typing && SaveScreen::Name().Text() != typed)
            Trace("screen: name \"%s\"", SaveScreen::Name().Text().c_str());
        break;
    }
    case kMsgLeftDown:
        if (TextConsole::Get().slidePosition > -1.0f && TextConsole::CloseOnClick(PointerFraction(y)))
            break;
        Mouse::OnLeftDown(x, y, e.flags);
        break;
    case kMsgLeftUp: Mouse::OnLeftUp(x, y, e.flags); break;
    case kMsgLeftDoubleClick: Mouse::OnLeftDoubleClick(x, y, e.flags); break;
    case kMsgRightDown: Mouse::OnRightDown(x, y, e.flags); break;
    case kMsgRightUp: Mouse::OnRightUp(x, y, e.flags); break;
    case kMsgMiddleDown: Mouse::OnMiddleDown(x, y, e.flags); break;
    case kMsgMiddleUp: Mouse::OnMiddleUp(x, y, e.flags); break;
    case kMsgWheel: Mouse::OnWheel(e.wheelDelta); break;
    default: break;
    }
}

} // namespace

void AdvanceStartScreen()
{
    switch (CurrentAppState()) {
    case AppState::Logo: LogoScreen::Leave(); SplashScreen::Enter(); break;
    case AppState::Splash:
        SplashScreen::Leave();
        // The intro video comes before the title screen; without one the
        // title screen follows at once.
        if (!IntroVideo::Start())
            TitleScreen::Enter();
        break;
    case AppState::Title: TitleScreen::Leave(); TrainingReminder::Enter(); break;
    case AppState::PleaseTrain: TrainingReminder::Leave(); FrontEnd::Enter(); break;
    default: break;
    }
}

uint32_t& ModifierWord() { return g_modifiers; }
int& CursorX() { return g_cursorX; }
void TakePointerMotion(float& dx, float& dy)
{
    dx = float(g_motionX);
    dy = float(g_motionY);
    g_motionX = g_motionY = 0;
}
int& CursorY() { return g_cursorY; }
void SetDispatchObserver(DispatchObserver observer) { g_observer = observer; }

void ResetFilter() { g_filter = Filter{}; }

void RunKeyMacrosFor(uint32_t key)
{
    // A copy: a bound line may itself BIND and change the list.
    const auto macros = TextConsole::Get().macros;
    for (const auto& macro : macros) {
        if (macro.key == key)
            TextConsole::ExecuteAtFullAccess(macro.line.c_str(), {LineSource::KeyBinding, {}, 0});
    }
}

bool Startup(platform::Window* window, bool exclusiveMouse)
{
    g_modifiers = 0;
    g_wheel = 0;
    g_hadLeftPress = false;
    g_keyboard = platform::InputDevice::Create(platform::InputDevice::Kind::Keyboard, window, kKeyboardBuffer, false);
    if (!g_keyboard)
        return false;
    g_keyboard->Acquire();
    g_controllers = platform::GameController::EnumerateAttached(platform::kMaxControllers);
    g_selectedController = -1;
    g_controllerButtons = 0;
    g_mouse = platform::InputDevice::Create(platform::InputDevice::Kind::Mouse, window, kMouseBuffer, exclusiveMouse);
    if (g_mouse)
        g_mouse->Acquire();
    return true;
}

void Shutdown()
{
    if (g_selectedController >= 0)
        g_controllers[size_t(g_selectedController)]->Unacquire();
    if (g_keyboard)
        g_keyboard->Unacquire();
    if (g_mouse)
        g_mouse->Unacquire();
    g_keyboard.reset();
    g_mouse.reset();
    g_controllers.clear();
    g_selectedController = -1;
}

int ControllerCount() { return static_cast<int>(g_controllers.size()); }

bool SelectController(int index)
{
    if (index < 0 || index >= ControllerCount())
        return false;
    if (g_selectedController >= 0)
        g_controllers[size_t(g_selectedController)]->Unacquire();
    g_selectedController = index;
    g_controllerButtons = 0;
    g_controllers[size_t(index)]->Acquire();
    return true;
}

platform::ControllerState ReadController()
{
    platform::ControllerState state;
    if (g_selectedController < 0)
        return state;
    // A controller that is gone reads as centred and releases what it held.
    g_controllers[size_t(g_selectedController)]->Poll(state);
    const uint32_t changed = state.buttons ^ g_controllerButtons;
    for (uint32_t b = 0; b < uint32_t(platform::kControllerButtons); ++b) {
        if (!(changed & (1u << b)))
            continue;
        const uint32_t key = kControllerButtonKey + b;
        Emit((state.buttons & (1u << b)) ? kMsgKeyDown : kMsgKeyUp, key, 0, 0, key, g_modifiers);
    }
    g_controllerButtons = state.buttons;
    return state;
}

bool PollKeyPress()
{
    if (!g_keyboard)
        return false;
    platform::DeviceRecord records[kKeyboardBuffer];
    uint32_t count = kKeyboardBuffer;
    if (g_keyboard->GetData(records, count) != platform::DeviceResult::Ok)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t key = records[i].offset;
        if (records[i].data & platform::kKeyPressed) {
            if (key != kEscapeKey)
                return true;
            continue;
        }
        const InputEvent up{kMsgKeyUp, key, 0, 0, key, g_modifiers};
        PreFilter(&up);
    }
    return false;
}

bool PollCancelKey()
{
    platform::PumpEvents();
    if (!g_keyboard)
        return false;
    platform::DeviceRecord records[kKeyboardBuffer];
    uint32_t count = kKeyboardBuffer;
    if (g_keyboard->GetData(records, count) != platform::DeviceResult::Ok)
        return false;
    for (uint32_t i = 0; i < count; ++i)
        if (records[i].offset == kEscapeKey && (records[i].data & platform::kKeyPressed))
            return true;
    return false;
}

void AcquireMouse()
{
    g_modifiers = 0;
    if (g_mouse)
        g_mouse->Acquire();
}

void AcquireKeyboard()
{
    if (g_keyboard)
        g_keyboard->Acquire();
}

void UnacquireMouse()
{
    if (g_mouse)
        g_mouse->Unacquire();
}

void ReadMouseState(int x, int y)
{
    g_lastScreenX = x;
    g_lastScreenY = y;
    if (g_mouse)
        g_wheel = g_mouse->GetMouseState().z;
    CursorFromSystem();
}

void ReadKeyboard()
{
    if (!g_keyboard)
        return;
    platform::DeviceRecord records[kKeyboardBuffer];
    uint32_t count = kKeyboardBuffer;
    platform::DeviceResult result = g_keyboard->GetData(records, count);
    if (result == platform::DeviceResult::InputLost) {
        g_keyboard->Acquire();
        count = kKeyboardBuffer;
        result = g_keyboard->GetData(records, count);
    }
    if (result != platform::DeviceResult::Ok)
        return;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t key = records[i].offset;
        const bool down = (records[i].data & platform::kKeyPressed) != 0;
        if (key == 29 || key == 157) { // Ctrl
            g_modifiers = down ? (g_modifiers | kFlagCtrl) : (g_modifiers & ~kFlagCtrl);
            continue;
        }
        if (key == 42 || key == 54) { // Shift
            g_modifiers = down ? (g_modifiers | kFlagShift) : (g_modifiers & ~kFlagShift);
            continue;
        }
        if (key == 183) { // SysRq: a screenshot on release, into the dumps folder
            if (!down)
                RenderPlaceholders::SaveScreenshot(Application::DataFolder(app::kDumpsDirectory));
            continue;
        }
        Emit(down ? kMsgKeyDown : kMsgKeyUp, key, 0, 0, key, g_modifiers);
    }
}

void ReadMouse()
{
    if (!g_mouse)
        return;
    platform::DeviceRecord records[kMouseBuffer];
    uint32_t count = kMouseBuffer;
    platform::DeviceResult result = g_mouse->GetData(records, count);
    if (result == platform::DeviceResult::InputLost) {
        g_mouse->Acquire();
        count = kMouseBuffer;
        result = g_mouse->GetData(records, count);
    }
    if (result != platform::DeviceResult::Ok)
        return;
    for (uint32_t i = 0; i < count; ++i) {
        const platform::DeviceRecord& r = records[i];
        const bool down = (r.data & platform::kKeyPressed) != 0;
        switch (r.offset) {
        case platform::kMouseAxisX:
        case platform::kMouseAxisY:
            (r.offset == platform::kMouseAxisX ? g_motionX : g_motionY) += static_cast<int32_t>(r.data);
            CursorFromSystem();
            Emit(kMsgMouseMove, 0, PackPoint(g_cursorX, g_cursorY), 0, 0, g_modifiers);
            break;
        case platform::kMouseAxisZ: {
            const int32_t delta = static_cast<int32_t>(r.data);
            g_wheel += delta;
            Emit(kMsgWheel, uint32_t(delta) << 16, PackPoint(g_cursorX, g_cursorY), delta, 0, g_modifiers);
            break;
        }
        case platform::kMouseButton0: {
            if (down) {
                g_modifiers |= kFlagLeftButton;
                uint32_t flags = g_modifiers;
                if (g_hadLeftPress && r.timeStamp - g_lastLeftPress < kDoublePressMs)
                    flags |= kFlagDoublePress;
                g_hadLeftPress = true;
                g_lastLeftPress = r.timeStamp;
                Emit(kMsgLeftDown, 0, PackPoint(g_cursorX, g_cursorY), 0, 0, flags);
            } else {
                g_modifiers &= ~kFlagLeftButton;
                Emit(kMsgLeftUp, 0, PackPoint(g_cursorX, g_cursorY), 0, 0, g_modifiers);
            }
            break;
        }
        case platform::kMouseButton1:
            g_modifiers = down ? (g_modifiers | kFlagRightButton) : (g_modifiers & ~kFlagRightButton);
            Emit(down ? kMsgRightDown : kMsgRightUp, 0, PackPoint(g_cursorX, g_cursorY), 0, 0, g_modifiers);
            break;
        case platform::kMouseButton2:
            g_modifiers = down ? (g_modifiers | kFlagMiddleButton) : (g_modifiers & ~kFlagMiddleButton);
            Emit(down ? kMsgMiddleDown : kMsgMiddleUp, 0, PackPoint(g_cursorX, g_cursorY), 0, 0, g_modifiers);
            break;
        default:
            break;
        }
    }
    RenderPlaceholders::SetPreviewScreenPosition(g_cursorX, g_cursorY);
}

void PreFilter(const InputEvent* event)
{
    Filter& f = g_filter;
    const auto now = static_cast<uint32_t>(AppTime::RealNow());
    if (f.holding && int64_t(uint32_t(now - f.heldAt)) > AppTime::TicksPerSecond() / 8) {
        f.holding = false;
        Dispatch(f.held);
    }
    if (!event) {
        if (f.chord != 0) {
            f.chord = ((g_modifiers & kFlagLeftButton) ? 1 : 0) + ((g_modifiers & kFlagRightButton) ? 1 : 0);
        }
        return;
    }
    const uint32_t m = event->message;
    if (m == kMsgLeftDown || m == kMsgRightDown) {
        if (f.chord == 1) {
            f.chord = 2;
            return;
        }
        f.chord = 0;
        if (f.holding) {
            if (f.held.message == m) {
                const InputEvent previous = f.held;
                f.held = *event;
                f.heldAt = now;
                Dispatch(previous);
            } else {
                InputEvent middle = *event;
                middle.message = kMsgMiddleDown;
                f.holding = false;
                f.chord = 2;
                Dispatch(middle);
            }
            return;
        }
        f.held = *event;
        f.holding = true;
        f.heldAt = now;
        return;
    }
    if (m == kMsgLeftUp || m == kMsgRightUp) {
        if (f.chord != 0) {
            if (--f.chord == 0) {
                InputEvent middle = *event;
                middle.message = kMsgMiddleUp;
                Dispatch(middle);
            }
            return;
        }
        if (f.holding) {
            f.holding = false;
            Dispatch(f.held);
        }
        Dispatch(*event);
        return;
    }
    Dispatch(*event);
}

void Dispatch(const InputEvent& e)
{
    if (g_observer)
        g_observer(e);
    switch (CurrentAppState()) {
    case AppState::Title:
    case AppState::Splash:
    case AppState::PleaseTrain:
    case AppState::Logo:
        if ((e.message == kMsgKeyDown && (e.scanCode == kKeyEnter || e.scanCode == kKeySpace)) || IsPress(e.message))
            AdvanceStartScreen();
        break;
    case AppState::Recording:
        if (!Demo::Record(Demo::Global(), e, AppTime::GameSeconds())) {
            SetAppState(AppState::Playing);
            TextConsole::Print("Recording stopped. Buffer full.");
        }
        GameView(e);
        break;
    case AppState::Playing:
    case AppState::Playback:
        GameView(e);
        break;
    case AppState::MainMenu: {
        const FrontEnd::State& state = FrontEnd::CurrentState();
        const int screen = state.screen, highlight = state.highlight;
        const bool capturing = state.capturing;
        if (TextConsole::IsOpen())
            TextConsole::HandleKey(e);
        else
            MainMenu::OnInput(e);
        FrontEnd::ResetIdleTimer();
        if (CurrentAppState() != AppState::MainMenu)
            break;
        // Each step a player from outside can wait for before the next key.
        if (state.screen != screen)
            Trace("menu: screen %d", state.screen);
        else if (state.highlight != highlight && !state.followPointer)
            Trace("menu: highlight %d", state.highlight);
        if (state.capturing != capturing)
            Trace("menu: %s", state.capturing ? "waiting for a key" : "key taken");
        break;
    }
    case AppState::HighScores:
        if (TextConsole::IsOpen())
            TextConsole::HandleKey(e);
        else
            HighScores::OnInput(e);
        break;
    case AppState::Video:
        Video::OnInput(e);
        break;
    case AppState::Briefing:
        if (e.message == kMsgKeyDown || IsPress(e.message))
            Briefing::Skip();
        break;
    default:
        break;
    }
}

} // namespace Input

namespace MainMenu {

void OnInput(const InputEvent& e)
{
    if (e.message == kMsgKeyDown) {
        const uint32_t key = e.scanCode;
        if (key == kKeyEscape)
            FrontEnd::OnEscape();
        else if (FrontEnd::IsCapturingKey())
            FrontEnd::OnKey(key, e.flags);
        else if (key == kKeyEnter)
            FrontEnd::Choose();
        else if (key == KeyBindings::Key(KeyBindings::kUp))
            FrontEnd::HighlightPrevious();
        else if (key == KeyBindings::Key(KeyBindings::kDown))
            FrontEnd::HighlightNext();
        else if (key == TextConsole::Get().consoleKey && (e.flags & kFlagShift))
            TextConsole::Toggle();
        else
            Input::RunKeyMacrosFor(key);
    } else if (e.message == kMsgLeftDown || e.message == kMsgRightDown || e.message == kMsgMiddleDown) {
        if (TextConsole::Get().slidePosition > -1.0f)
            TextConsole::CloseOnClick(Input::PointerFraction(int(e.lparam >> 16)));
        else
            FrontEnd::Choose();
    } else if (e.message == kMsgWheel) {
        if (e.wheelDelta < 0)
            FrontEnd::OnDownKey();
        else
            FrontEnd::OnUpKey();
    }
}

} // namespace MainMenu

namespace HighScores {

void OnInput(const InputEvent& e)
{
    const bool press = e.message == kMsgLeftDown || e.message == kMsgRightDown || e.message == kMsgMiddleDown;
    if (press && TextConsole::Get().slidePosition > -1.0f &&
        TextConsole::CloseOnClick(Input::PointerFraction(int(e.lparam >> 16))))
        return;
    if ((e.message == kMsgKeyDown && (e.scanCode == kKeyEnter || e.scanCode == kKeySpace)) || press) {
        HiscoreScreen::Leave();
        FrontEnd::Enter();
    } else if (e.message == kMsgKeyDown) {
        if (e.scanCode == TextConsole::Get().consoleKey && (e.flags & kFlagShift))
            TextConsole::Toggle();
        else
            Input::RunKeyMacrosFor(e.scanCode);
    }
}

} // namespace HighScores

namespace Video {

void OnInput(const InputEvent& e)
{
    const bool press = e.message == kMsgLeftDown || e.message == kMsgRightDown || e.message == kMsgMiddleDown;
    if ((e.message == kMsgKeyDown && (e.scanCode == kKeyEnter || e.scanCode == kKeySpace)) || press) {
        IntroVideo::Stop();
        TitleScreen::Enter();
    }
}

} // namespace Video

// Keyboard and mouse become input events here: the devices are read once a
// pass, each event passes the chord pre-filter (left and right pressed
// together make a middle click) and is dispatched by the game state to the
// screens, the menu, the console or the game view. In the recording state
// every event is also stored in the demo buffers.
#pragma once

#include "app/input_event.h"
#include "platform/input_controller.h"

#include <cstdint>

namespace platform {
class Window;
}

namespace Input {

// The start screens' next step, on a key, a click or a screen's time-out:
// each screen leaves for the next in the order logo, splash, (intro video,)
// title, training reminder, main menu.
void AdvanceStartScreen();

// Pointer y (display-mode pixels) as a fraction of the screen height.
float PointerFraction(int y);

// Devices. Startup returns false when the keyboard cannot be had; the game
// then runs without it.
bool Startup(platform::Window* window, bool exclusiveMouse);
void Shutdown();
void AcquireMouse(); // also clears the modifier and button word
void AcquireKeyboard();
void UnacquireMouse();
// Takes the device's current position and wheel as the starting point and
// the cursor from the system pointer (x, y when unknown).
void ReadMouseState(int x, int y);

// Game controllers: the attached ones (at most ten) are found at Startup.
// Their buttons come as key events with keys from kControllerButtonKey on,
// beyond every keyboard scan code. Nothing in the game reads them yet.
inline constexpr uint32_t kControllerButtonKey = 0x100;
inline constexpr uint32_t kEscapeKey = 1;
int ControllerCount();
// False when there is no controller `index`; otherwise it becomes the one read.
bool SelectController(int index);
// The selected controller's stick (centred when none or unplugged); button
// changes since the last read are dispatched as key events.
platform::ControllerState ReadController();
// Reads the keyboard's waiting records: releases are dispatched, and the
// first press of a key other than Escape answers true.
bool PollKeyPress();
// While a level start waits for the other players: pumps the system events
// and answers whether Escape was pressed; other keys are dropped.
bool PollCancelKey();

// Once per pass of the main loop (not during playback).
void ReadKeyboard();
void ReadMouse();

// null: only delivers a held press whose time is up.
void PreFilter(const InputEvent* event);
void Dispatch(const InputEvent& event);

uint32_t& ModifierWord();
int& CursorX();
int& CursorY();
// The pointer's movement since the last call, in window pixels.
void TakePointerMotion(float& dx, float& dy);

// Sees every dispatched event before it is routed (tests, tools).
using DispatchObserver = void (*)(const InputEvent& event);
void SetDispatchObserver(DispatchObserver observer);

// Drops the held press and the chord count.
void ResetFilter();

// Runs every console key macro bound to `key`.
void RunKeyMacrosFor(uint32_t key);

} // namespace Input

namespace Game {
void OnKey(const InputEvent& event);
void TogglePause();
void ResumeIfPaused();
bool IsPaused();
bool& MusicEnabled(); // F11 sets, F12 clears
inline constexpr int kExitOnShiftQ = 2;
} // namespace Game

namespace MainMenu {
void OnInput(const InputEvent& event);
}
namespace HighScores {
void OnInput(const InputEvent& event);
}
namespace Video {
void OnInput(const InputEvent& event);
}

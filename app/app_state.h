// The game state of the main loop (which screen or game view runs and where
// input goes). Written by the loop, the screens, the session and console
// commands; read everywhere on the game thread.
#pragma once

#include <cstdint>

enum class AppState : uint32_t {
    None = 0,
    Title = 1,
    Splash = 2,
    PleaseTrain = 3,
    Logo = 4,
    Playing = 5,
    Recording = 6,
    Playback = 7,
    MainMenu = 8,
    HighScores = 9,
    Video = 10,
    Briefing = 11,
    LevelStarted = 12,
};

AppState CurrentAppState();
void SetAppState(AppState state);

// Called after every change (the shell's trace, tests); at most four.
using AppStateObserver = void (*)(AppState from, AppState to);
void AddAppStateObserver(AppStateObserver observer);
void RemoveAppStateObserver(AppStateObserver observer);

inline bool IsInGameState(AppState s)
{
    return s == AppState::Playing || s == AppState::Recording || s == AppState::Playback ||
           s == AppState::LevelStarted;
}

// Ends the program with `code` through the registered exit handlers (menu
// quit, Shift+Q, Escape on the main menu). Goes through FatalExit, so a test
// observes it with SetFatalExitHandler like every other way out.
[[noreturn]] void ExitProgram(int code);

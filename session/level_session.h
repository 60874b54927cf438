// A game session (the span in which the server thread and the client run)
// and the levels loaded into it: StartSession, LoadLevel behind the loading
// screen, StopLevel leaving nothing of the level behind, EndSession. The
// menus, the campaign and the shell call these; the layers above the session
// (console, effects, interface) take part through SessionHooks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

struct CameraLimits;

// What the level start and stop ask of the layers above the session, each
// installed where its owner starts. Unset entries do nothing.
struct SessionHooks {
    std::function<void()> registerCommands, removeCommands;  // the session's console commands
    std::function<void(const char* line)> queueLine;
    std::function<bool(const std::filesystem::path& file)> queueFile;  // the companion file
    std::function<void()> runQueued;                                   // its lines, at once
    std::function<void()> levelStopped;  // wait-for condition, command queue, control flag, borders
    // A pausing screen that holds the hand-over gives it up before the level
    // is torn down (the server thread must run its last pass and stop).
    std::function<void()> releasePause;
    // The pause key's stopped clock runs again before a session ends, so the
    // next one does not start frozen.
    std::function<void()> resumePaused;
    std::function<void(const std::string& text)> print;
    // The console variable a use clause names, given the placed object's id.
    std::function<void(const std::string& name, float value)> setVariable;
    // One loading frame: text, hint, bar. Unset: nothing is drawn (no display).
    std::function<void(const std::string& text, float progress)> drawLoading;
    // The loading screen's background: opened first thing, freed before the textures load.
    std::function<void(bool open)> loadingImage;
    // The cancel key, polled while the level start waits for other players.
    std::function<bool()> cancelPressed;
    // The string table's text of an id.
    std::function<std::string(uint32_t id)> text;

    // Effects and shadows. `levelScript` tells the shadows the level's script
    // (their cache lies beside it) and answers whether the static shadows are
    // to be built; `buildStaticShadows` then loads or computes them.
    std::function<bool(const std::filesystem::path& script)> levelScript;
    std::function<void()> buildStaticShadows;
    std::function<void()> effectsStarted;  // once the level runs
    std::function<void()> effectsStopped;  // before the level's objects go
    // Interface: the upgrade screen as the load begins, the camera once the
    // level runs; selection, tracking, borders and the upgrade screen before
    // the level's objects go.
    std::function<void()> interfaceLoading;
    std::function<void()> cameraStarted;
    std::function<void()> interfaceStopped;
    // The camera's limits the level's map set, once it is built.
    std::function<void(const CameraLimits& limits)> cameraLimits;
};

namespace Session {
void SetHooks(SessionHooks hooks);
SessionHooks& Hooks();

// The level's definition script and companion command file, relative to
// the scripts folder of `DataRoot`. Empty script: no level to load.
struct LevelNames {
    std::string script, companion;
};
LevelNames& Names();
// Empty: the data directories' start directory.
std::filesystem::path& DataRoot();

bool IsStarted();
bool IsLevelLoaded();
// Where the server and client clocks start, in seconds: 0 for a new level
// (each load sets it), a restored game's time when a saved game sets it
// after the load.
float& LevelStartTime();
// The real-time clock's ticks when the level began to run.
uint64_t LevelStartRealTime();
// Why the last LoadLevel failed (file and what went wrong); empty after success.
const std::string& LastError();

// Loading texts of the string table.
inline constexpr uint32_t kTextPreparing = 6093, kTextSounds = 6094, kTextLevel = 6095, kTextTextures = 6096,
                          kTextShadows = 6098, kTextWaiting = 6101, kTextNoClient = 279;
} // namespace Session

namespace LoadingScreen {
// Keeps the text and draws the frame with the bar empty.
void Show(uint32_t textId);
// Progress = percent / 100, drawn at once.
void SetProgress(int percent);
const std::string& Text();
float Progress();
// The hint under the text: one of the string table's hints from 1001, the
// next one each level load (empty when the table has none).
const std::string& Hint();

// The bar along the bottom of a width x height screen: the fill reaches
// `fillRight`; its colour runs from red 25 on the left to `endRed` (opaque).
struct Bar {
    int left = 0, right = 0, top = 0, height = 0, fillRight = 0;
    uint8_t startRed = 25, endRed = 25;
};
Bar Layout(int width, int height, float progress);
} // namespace LoadingScreen

// True at once when no session runs; else stops the level and both sides.
bool EndSession();
// Starts the server and the client once per session, sets the level-just-
// started state and, with `loadLevel` and a level named, loads it. A failed
// load ends the session and gives false.
bool StartSession(bool loadLevel);
bool LoadLevel(bool runCompanion);
bool StopLevel();

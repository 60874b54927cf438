// The program: start-up from the command line, the main loop over the game
// states, and shut-down through exit handlers that run in reverse order of
// registration (the window closes first, then the subsystems go).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class Window;
}

namespace Application {

inline constexpr const char* kInstanceName = "Trevok";
inline constexpr const char* kAlreadyRunning = "Trevok is already running on this machine.";
inline constexpr const char* kResourceLibrary = "tvres.dll";
inline constexpr const char* kResourceMissing = "Error opening resource DLL file tvres.dll";
inline constexpr int kExitNoFirstScreen = -46;

// The whole program: returns the quit message's code, or 0 when start-up is
// refused (second instance, no resource library).
int Main(const std::vector<std::string>& args);

// Exit handlers (registered during start-up).
void PostClose(); // WM_CLOSE to the window, so the display mode is restored first
void Shutdown();  // leaves the current state, then frees every subsystem

platform::Window* MainWindow();
bool IsActive();
void SetActive(bool active);
uint32_t& DisplayFlags();
const std::string& CommandLineCopy();

} // namespace Application

namespace MainLoop {

// Runs until the quit message; returns its code.
int Run();
// One pass: input, then one window message or one frame. False when the
// quit message was taken (its code in `exitCode`).
bool Pass(int& exitCode);

// The frame of the current state, and the close of every frame.
void Frame();
void EndFrame();

// The attract mode's demo count: "tvdemo0.dem" .. "tvdemo9.dem" in the
// start directory, stopping at the first missing one.
int CountDemoFiles();

struct MusicSwitch {
    int64_t nextCheck = 0;
    int64_t battleEnd = INT64_MAX;
    bool battleMusic = false;
    bool battleUnderway = false;
};
MusicSwitch& Music();
void UpdateMusic(int64_t gameNow, bool battle);

} // namespace MainLoop

// The program's shared random generator: an additive generator over 31
// words, drawn from any thread.
namespace SharedRandom {
void Seed(uint32_t seed);
uint32_t Next(); // 31 bits
} // namespace SharedRandom

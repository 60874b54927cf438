// The program: start-up from the command line, the main loop over the game
// states, and shut-down through exit handlers that run in reverse order of
// registration (the window closes first, then the subsystems go).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/display_mode.h"
#include "app/ref_counted.h"
#include "ui/key_config.h"

namespace platform {
class Window;
}

// The device layer's ten-word settings record as the key file keeps it.
using DeviceSettings = KeyConfig::DisplaySettings;
inline constexpr DeviceSettings kDefaultDeviceSettings = KeyConfig::kDefaultDisplaySettings;
inline constexpr int kSettingPreferredVariant = 2;
inline constexpr int kSettingDeviceRetries = 9;

namespace Application {

inline constexpr const char* kInstanceName = "Trevok";
inline constexpr const char* kAlreadyRunning = "Trevok is already running on this machine.";
inline constexpr const char* kResourceLibrary = "tvres.dll";
inline constexpr const char* kResourceMissing = "Error opening resource DLL file tvres.dll";
inline constexpr int kExitNoFirstScreen = -46;
inline constexpr int kProgramIconId = 101;

// The whole program: returns the quit message's code, or 0 when start-up is
// refused (second instance, no resource library).
int Main(const std::vector<std::string>& args);

// The start mode: the key file's device settings count only when the file
// was written for the display device found now; otherwise 640 x 480 x 16
// with the default settings (a new card, or no key file at all).
struct StartMode {
    DisplayModeSettings mode;
    DeviceSettings settings;
    bool fromKeyFile = false;
};
StartMode ChooseStartMode(uint32_t keyFileDevice, uint32_t displayDevice, const DeviceSettings& keyFileSettings,
                          const DisplayModeSettings& asked);

// Enters the first screen through `enter`; when that fails, once more after
// falling back to 640 x 480 x 16 without the device's preferred variant, and
// a second failure ends the program with kExitNoFirstScreen.
void ShowFirstScreen(bool (*enter)());

// The shell's exit handlers: run in reverse order of registration when the
// program ends (exit, or the return from Main).
void AddExitHandler(void (*handler)());

// The folder after "-w" (else the start folder), computed once at start-up.
const std::filesystem::path& DataRoot();
// Data directory `directory` (app::DataDirectoryIndex), or the data root
// when the list names no such folder.
std::filesystem::path DataFolder(int directory);
// `name` in data directory `directory` (app::DataDirectoryIndex), or in the
// data root when the list names no such folder.
std::filesystem::path DataFile(int directory, std::string_view name);
// Texts kept for the whole run; emptied at shut-down.
std::vector<std::string>& GlobalTexts();

// Exit handlers (registered during start-up).
void PostClose(); // WM_CLOSE to the window, so the display mode is restored first
void Shutdown();  // leaves the current state, then frees every subsystem

platform::Window* MainWindow();
bool IsActive();
void SetActive(bool active);
const std::string& CommandLineCopy();
// True when the system's code page takes two or more bytes for a character.
bool MultiByteCodePage();

} // namespace Application

namespace MainLoop {

// What the renderer keeps for one frame; the close of every frame clears it.
struct FrameRecords {
    int lightCount = 0;                   // lights placed this frame
    RefPtr<RefCounted> rendererReference; // an object the renderer holds for one frame
    std::array<float, 8> lightDistances{}; // nearest distance per light slot
};
FrameRecords& FrameState();

// Runs until the quit message; returns its code.
int Run();
// One pass: input, then one window message or one frame. False when the
// quit message was taken (its code in `exitCode`).
bool Pass(int& exitCode);

// The frame of the current state, and the close of every frame.
void Frame();
// `overlay`: the display's overlay callback (the in-game frame pass).
void EndFrame(void (*overlay)() = nullptr);

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

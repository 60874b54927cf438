// The player's key bindings, and the key file "TVkeys.cfg" in the scripts
// folder that keeps them with the option values and the last display modes
// between runs. Start-up builds the bindings, then reads the file before the
// window exists; the front end writes it each time it is left.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace KeyBindings {

// In the key file's order. The game view compares each pressed scan code
// with these; the front end's highlight moves with kUp and kDown.
enum Binding : int {
    kLeft, kRight, kUp, kDown, kZoomOut, kZoomIn, kSelectNext, kSelectPrevious, kCameraLock, kPause,
    kNextSquadMember, kUpdateFrame, kResolveAlerts, kCrouch, kUpgradeScreen, kItemP, kItemR, kItemT, kItemO,
    kReadyWeapon, kCount
};

// Scan codes a binding may hold (DirectInput set 1, extended keys included).
inline constexpr uint32_t kLowestKeyCode = 1;
inline constexpr uint32_t kHighestKeyCode = 255;

// Every binding back to its default key, named by the string table's text.
void Init();
// The key of `binding`; 0 for a number outside the table.
uint32_t Key(int binding);
// False (and nothing changes) for a number outside the table or a code that
// is no key.
bool SetKey(int binding, uint32_t code);
uint32_t DefaultKey(int binding);
// The binding's text as the key file stores it; empty outside the table.
const std::string& Name(int binding);

} // namespace KeyBindings

namespace KeyConfig {

inline constexpr const char* kFileName = "TVkeys.cfg";
inline constexpr int kValueCount = 23;
// Longer name or code lines are skipped with a message.
inline constexpr size_t kLongestLine = 251;
// Far above any real file (twenty short bindings and 23 values).
inline constexpr uint64_t kLargestFile = 64 * 1024;

// The display layer's ten-value settings record, in its order.
using DisplaySettings = std::array<uint32_t, 10>;
enum DisplaySetting : int {
    kSwitch1, kSwitch2, kSwitch3, kSwitch4, kUnkeptValue, kHiddenValue, kSecondHiddenValue, kTextureSetting,
    kShadowMode, kColourDepthIndex
};
inline constexpr DisplaySettings kDefaultDisplaySettings = {0, 0, 0, 0, 1, 32, 0, 0, 1, 2};

// The option values of the front end's option screens kept in the file.
struct Options {
    int32_t option6090 = 0;
    int32_t option277 = 0;        // 0 to 2
    int32_t consoleLineLimit = 14; // console lines while printed output opens it; the
                                   // console holds it from start-up and Write takes it back
    int32_t shadowFlag = 0;
    int32_t reserved = 0;         // kept as read
    int32_t option281 = 0;        // left-button box selection
    int32_t mouseButtons = 0;     // non-zero: the middle button drags the camera
};
Options& CurrentOptions();

// The last windowed and full-screen modes; each run writes both back.
struct RememberedModes {
    int32_t windowedWidth = 640, windowedHeight = 480, windowedFlags = 1;
    int32_t fullScreenWidth = 640, fullScreenHeight = 480, fullScreenFlags = 0;
};
RememberedModes& Modes();

// What the game runs with, written back by Write: the display settings in use
// and the display adapter's identifier, set by start-up once the device exists.
DisplaySettings& DisplaySettingsInUse();
uint32_t& DeviceInUse();

// Reads the file into the bindings, the options and `settings` (filled with
// the defaults beforehand), and picks the start mode from the remembered
// ones. Returns the stored device identifier, or 0 when the file is missing
// or holds no value part. Damaged lines and values are reported on standard
// error and change nothing.
uint32_t Read(DisplaySettings& settings);
// Writes the file from the current values through a temporary file that
// replaces the old one only once complete; false (old file kept, reason on
// standard error) when it cannot be written.
bool Write();

// The file's contents apart from the binding names.
struct Contents {
    std::array<uint32_t, KeyBindings::kCount> keys{};
    std::array<int32_t, kValueCount> values{}; // in file order
    bool hasValues = false;                    // a "data" line was found
};
// From the bindings, the options, the remembered modes and the given record.
Contents Gather(const DisplaySettings& settings, uint32_t device);
std::vector<uint8_t> Encode(const Contents& contents);
// Takes what `bytes` holds over `contents`: a value out of its range, a code
// that is no key, or anything missing keeps what `contents` had. Returns one
// message per damaged line or value ("line 7: ...", "value 4 ...").
std::vector<std::string> Decode(std::span<const uint8_t> bytes, Contents& contents);

} // namespace KeyConfig

// The front end: the numbered menu screens of the main-menu state, from which
// the player starts a mission or a saved game, changes the display mode, the
// display device, the keys and the options, or quits. The shell enters it,
// runs its frame and routes the menu input to it; the key file is written
// each time it is left.
#pragma once

#include "ui/menu_items.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace FrontEnd {

inline constexpr int kExitOnEscape = 4;
inline constexpr int kExitOnQuit = 3;
inline constexpr int kExitDeviceFailed = -32;

inline constexpr int kScreenCount = 19;
enum Screen : int {
    kMain = 0, kOptions = 1, kDisplayModes = 2, kDisplayDevices = 3, kKeyBindings = 4, kMissions = 5,
    kGameOptions = 6, kSinglePlayer = 7, kSavedGames = 8, kStart = 9, kLobby = 15, kThreeDOptions = 17,
    kConfirmMode = 18
};
// Highlights besides item indices: none, and the three ring buttons.
enum Highlight : int { kNothing = 256, kBack = 257, kScrollUp = 258, kScrollDown = 259 };

// Texts and sounds of the string table and the interface bank.
inline constexpr uint32_t kTextDuplicateKey = 267, kTextSpace = 7015, kTextPlayerName = 292,
                          kTextSessionName = 293, kTextFirstMission = 308, kTextSecondMission = 314;
inline constexpr int kSoundChoose = 20, kSoundStep = 1, kSoundLeave = 21;
inline constexpr int64_t kIdleSeconds = 15;
inline constexpr double kConfirmSeconds = 5.0;

// A display mode as the display offers it.
struct ModeOffer {
    int width = 0, height = 0, depth = 0;
};
// One row of the display-mode screen: a size and the depths it comes in.
struct ModeRow {
    int width = 0, height = 0;
    bool offers24 = false, offers32 = false;
    bool operator==(const ModeRow&) const = default;
};

// What the front end asks of the display, the sound, the session and the
// program. The defaults are the real ones; tests put fakes in.
struct Services {
    std::function<std::vector<ModeOffer>()> displayModes;
    std::function<std::vector<std::string>()> displayDevices;
    std::function<uint64_t()> videoMemory; // bytes
    // The depth index the device supports (16 + 8 x index bits).
    std::function<bool(int index)> supportsDepth;
    std::function<int(int width, int height, int depth, uint32_t flags)> setMode; // > 0 set
    // Closes the display and opens it again on the named device.
    std::function<bool(const std::string& device)> reopenDisplay;
    // The device can show what the second 3-D switch turns on; read when the
    // menu is entered and after the device is opened again.
    std::function<bool()> deviceCapable;
    std::function<void()> applyShadowMode;
    std::function<bool()> shadowFlag; // set by applying the mode: level shadows are on
    std::function<void()> recompileMaterials;
    std::function<void()> reloadTextures;
    std::function<void(int sound)> playSound;
    std::function<void(int code)> exitProgram; // must not return to the menu
    std::function<void()> startMission;          // the briefing of the current level
    std::function<bool(const std::string& name)> loadSavedGame; // the session is started first
    std::function<std::vector<std::string>()> savedGames;       // file names ending in ".sav"
    std::function<void()> enterResources; // background, buttons, music
    std::function<void()> leaveResources;
    std::function<bool()> writeKeyFile;
    // On the lobby: the host's level start has come; fills the level and
    // companion names it sent. False while waiting or with no network game.
    std::function<bool(std::string& level, std::string& companion)> lobbyLevelStart;
};
Services& GetServices();
// The real services back.
void ResetServices();

// The state tests look at; the menus keep it for the whole run.
struct State {
    int screen = kMain, previous = kMain;
    int highlight = kNothing;
    bool followPointer = false; // the highlight follows the pointer (1) or the keys (0)
    bool capturing = false;
    float pointerX = -1, pointerY = -1;
    int64_t lastFrame = 0;
    // Frames drawn since the menu was entered: from the first one on, its
    // pieces are loaded and keys reach the shown screen.
    uint32_t framesShown = 0;
    int64_t confirmDeadline = 0; // real-time ticks; only on the confirm screen
    bool displayChangePending = false, textureReloadPending = false;
    int32_t difficulty = 0;
    bool deviceCapable = true; // else the second 3-D switch stays off
    EditBuffer edit;
    std::string playerName, sessionName;
    // The mode before the last change on the mode screen, restored when the
    // change is not confirmed in time.
    int revertWidth = 0, revertHeight = 0, revertDepth = 0;
    uint32_t revertFlags = 0;
};

// ---- Operations of the shell ------------------------------------------------

void BuildScreens();
void Enter(); // state 8, screen 0
void Frame();
// On the lobby screen, once the host has sent its level start: that level
// becomes current and its briefing starts, as a mission does.
void CheckLobbyStart();
void Shutdown();
void Choose();
void GoToScreen(int screen, bool remember);
void HighlightPrevious();
void HighlightNext();
void OnUpKey();
void OnDownKey();
void OnKey(uint32_t scanCode, uint32_t flags);
void OnEscape();
bool IsCapturingKey();
void ResetIdleTimer(); // idle deadline = real time now + 15 s
int64_t& IdleDeadline();
void BuildDisplayModeList();
// Leaves the front end for play: writes the key file and lets the menu's
// resources go, then applies what the option screens left pending.
void Leave();
// Lets the menu's images go (before the display closes at exit).
void ReleaseResources();

// Where the pointer is, as fractions of the screen; the shell sets it.
void SetPointer(float x, float y);

State& CurrentState();
ScreenState& ScreenAt(int screen);
// Every item's glow and reveal, every screen's scroll and cursor back to the start.
void ResetScreens();

// ---- The pieces, for tests --------------------------------------------------

// The ring button under (x, y) given the screen's scroll and count: 257, 258,
// 259, or 256 for none.
int RingButtonAt(float x, float y, int screen, int count, int scroll);
// A ring button the frame draws, in its look (disabled 0, normal 1,
// highlighted 2): both scroll buttons while the list can scroll either way,
// the back button off the main screen.
struct RingButtonDraw {
    int button = kNothing, look = 0;
    bool operator==(const RingButtonDraw&) const = default;
};
std::vector<RingButtonDraw> RingButtons(int screen, int count, int scroll, int highlight);
// The highlight ring in order.
std::vector<int> HighlightRing(int screen, int count, int scroll);
// The rows of the modes a screen of `videoMemory` bytes can show, in the
// display's order; none narrower than 640, lower than 480 or needing more
// memory than width x height x 6.
std::vector<ModeRow> UsableModes(const std::vector<ModeOffer>& offers, uint64_t videoMemory);
// Bits per pixel for a mode row at the colour depth index.
int BitsFor(const ModeRow& row, int depthIndex);
// The name a key's code shows under: Space its own text, the arrows and the
// named keys theirs, a typing key its character, others their number.
std::string KeyName(uint32_t code);

} // namespace FrontEnd

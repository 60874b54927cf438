// What the game view's input code (selection, mouse, camera, cursor) needs of
// the shell above it and of the screens built beside it: the modifier word,
// active pause, the local team, and the command wheel, upgrade screen, menu
// screen and recon view. The shell and those screens install the real ones;
// tests install recording fakes.
#pragma once

#include <cstdint>
#include <functional>

class WorldObject;

namespace GameView {

struct Hooks {
    std::function<uint32_t()> modifiers;        // the global modifier word (bit 0 Shift, bit 1 Ctrl)
    std::function<bool()> isPaused;              // active pause
    std::function<int()> localTeam;              // the local player's team
    std::function<bool(int team)> neutralTeam;   // the team record's neutral flag
    std::function<void(int sound)> playSound;
    std::function<void(bool on)> confinePointer; // keeps the pointer in the window while edge scrolling
    std::function<void(bool show)> showSystemCursor;
    std::function<void(bool on)> relativePointer; // movement only, the pointer held in place
};

// The screens the mouse handlers open, close and ask. Unset members answer
// "closed" and do nothing.
struct Screens {
    std::function<bool()> wheelOpen;
    std::function<void(float x, float y, int64_t now)> wheelShow; // screen fractions
    // A click on the open wheel: true when an item was chosen; `action` is
    // the pending action (0 attack, 1 upgrade, 2 ammunition, 3 standing
    // order, 4 none) and `index` the chosen entry.
    std::function<bool(int x, int y, int64_t now, int& action, int& index)> wheelClick;
    std::function<void(int64_t now)> wheelClose;
    std::function<int()> pendingWheelAction;
    std::function<bool()> upgradeOpen;
    std::function<void()> upgradeClose;          // the panel released
    std::function<bool()> menuOpen;
    std::function<bool()> menuRefuses;           // an open screen refuses input
    std::function<void()> menuBeginClose;
    std::function<void()> openInGameMenu;
    std::function<bool()> reconViewOn;
    std::function<void()> reconViewToggle;
    std::function<bool()> cutscenePlaying;       // the game's cut-scene flag
    std::function<void(bool on)> setCutscenePlaying;
    // Upgrade screen: a portrait click that gives the held item (true when
    // it did), a click on one of its item or slot elements, its drag, and
    // rebuilding its panel for a character.
    std::function<bool(WorldObject& character)> giveHeldItem;
    std::function<void(const struct UiElement& element, uint32_t flags)> upgradeElementClick;
    std::function<bool(int pressX, int pressY, int x, int y, int phase, uint32_t flags)> upgradeDrag;
    std::function<void(WorldObject& character)> upgradeShow;
    // The upgrade screen's character and whether it carries an item in a drag.
    std::function<WorldObject*()> upgradeOwner;
    std::function<bool()> upgradeCarriesItem;
    // The command unit's change to the chosen ammunition; false when it carries none.
    std::function<bool(WorldObject& unit, int index, uint32_t orderFlags)> changeAmmunition;
};

Hooks& GetHooks();
Screens& GetScreens();

uint32_t Modifiers();
bool IsPaused();
int LocalTeam();
bool IsNeutralTeam(int team);
void PlaySound(int sound);

bool WheelOpen();
// The command wheel through the screens' hooks, or the session's own wheel
// when a hook is unset: shown for the command unit at a screen point,
// clicked (true when an item was chosen, with the pending action and its
// entry), closed, and the pending action read.
void ShowWheel(float x, float y, int64_t now);
bool ClickWheel(int x, int y, int64_t now, int& action, int& index);
void CloseWheel(int64_t now);
int PendingWheelAction();
bool UpgradeOpen();
bool ReconViewOn();
bool CutscenePlaying();
void SetCutscenePlaying(bool on);

// The order flags of a modifier word: bit 0 from Ctrl (bit 1), bits 8 and
// up from the word's bits 9 and up. A non-zero low byte queues the order.
constexpr uint32_t OrderFlags(uint32_t modifiers) { return (modifiers >> 1) & ~0xFEu; }
uint32_t CurrentOrderFlags();

// What a session's start and end do to the game view: the action map is
// built (camera buttons swapped by `swapCameraButtons`), the camera reset;
// at the end every press, the selection, the command and view units and
// the camera locks are dropped with their references.
void StartSession(bool swapCameraButtons);
void EndSession();
// The interface's part in a level's start and stop: the camera's play view
// once it runs; selection, tracking, borders and the upgrade screen before
// its objects go.
void LevelStarted();
void LevelStopping();
// Registers these with the session layer.
void InstallSessionHooks(std::function<bool()> swapCameraButtons);

// Real time in ticks and its rate, replaceable by tests.
int64_t RealNow();
int64_t TicksPerSecond();
void SetRealClock(std::function<int64_t()> now, int64_t ticksPerSecond);

} // namespace GameView

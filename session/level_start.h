// Starting a level together: the host locks the session and tells every
// player the level and its side (message 0); each machine loads, says ready
// (request 1) and waits for the go (message 2). Alone every step returns at
// once. Both waits poll with a short sleep and end on a time-out or a cancel.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace LevelStart {

inline constexpr uint32_t kLevelStart = 0;   // server message: level, sides, own side
inline constexpr uint32_t kAllReady = 2;     // server message: start the clocks
inline constexpr uint32_t kMaxSides = 16;
inline constexpr uint32_t kMaxGameType = 5;
inline constexpr uint32_t kMaxNameBytes = 260; // each name with its NUL

// What message 0 carries; on the host what it sent.
struct Values {
    uint32_t gameType = 0;
    uint32_t sides = 0;
    uint32_t ownSide = 0;
    std::string level;
    std::string companion;
};
Values& Current();

// By default the waits read the session's cancel key, show the loading
// screen's waiting text and activate the client's world objects.
bool CancelPressed();
void ShowWaiting();
void ActivateWorld();

struct WaitLimits {
    uint32_t timeoutMs = 120000;
    uint32_t pollMs = 5;
    std::function<bool()> cancelled = CancelPressed;  // the cancel key
    std::function<void()> showLoading = ShowWaiting;  // the loading screen
    std::function<void()> activateAll = ActivateWorld; // every world object, once started
};
void SetWaitLimits(WaitLimits limits);
const WaitLimits& CurrentWaitLimits();

// The side of the player at `index` and the number of sides, by game type.
uint32_t SideOf(uint32_t gameType, uint32_t index);
// A name from another machine: relative, without "..", inside the data folders.
bool IsSafeDataName(std::string_view name);
uint32_t SidesFor(uint32_t gameType, uint32_t playerCount);

std::vector<uint8_t> WriteLevelStart(const Values& values);
// Refuses a message that is not exactly two NUL-terminated relative names
// inside the data folders, a game type it does not know, or sides out of
// range; such a message never reaches the level loader.
std::optional<Values> ParseLevelStart(std::span<const uint8_t> bytes);

} // namespace LevelStart

namespace Server {
bool LockSession();
bool SendLevelStart(uint32_t gameType, const std::string& level, const std::string& companion);
bool WaitForPlayers();
} // namespace Server

namespace Client {
bool ReceiveLevelStart();
bool SendReady();
bool WaitForStart();
} // namespace Client

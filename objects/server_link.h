// What the server objects need of the session above them: sending messages
// to the clients, spawning objects, queuing command files, the game-state
// hand-over and the server clock's rate. The session installs the real
// services when its server starts; tests install their own. Unset entries
// do nothing (a send is dropped, a spawn makes nothing).
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace script {
struct Role;
}

// Message numbers the server objects send, with their payloads.
namespace ObjectMessage {
inline constexpr uint32_t kDamage = 38;          // {38, victim id, damage}
inline constexpr uint32_t kDeviceSlot = 44;      // {44, id, slot or -1}
inline constexpr uint32_t kRemoved = 52;         // {52, id}
inline constexpr uint32_t kSpawned = 67;         // {67, id, role id, side, position, orientation}
inline constexpr uint32_t kDestroyed = 74;       // {74, id, explosion number or -1}
inline constexpr uint32_t kPlacement = 76;       // {76, id, seconds, position, orientation}
inline constexpr uint32_t kRoleChanged = 118;    // {118, id, role id}
inline constexpr uint32_t kPlaySequence = 119;   // {119, id, sequence}
} // namespace ObjectMessage

struct ServerLink {
    std::function<bool(const void* message, uint32_t size, bool guaranteed)> send;
    // The new object's id, 0 when none was made.
    std::function<uint32_t(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation)>
        spawn;
    std::function<bool(std::string_view name)> broadcastCommandFile;
    // Hands a squad unit to the player who controls it (message 3).
    std::function<void(uint32_t id, int32_t side)> assignUnit;
    // The hand-over of a thread other than the server's (the F-keys).
    std::function<void()> enter, leave;
    // The server clock's rate; AI periods and Place convert with it.
    std::function<uint64_t()> ticksPerSecond;
    // The server time in ticks (the F-keys act at it).
    std::function<uint64_t()> now;

    static ServerLink& Get();
    static void Install(ServerLink link);

    bool Send(const void* message, uint32_t size, bool guaranteed) const
    {
        return send ? send(message, size, guaranteed) : false;
    }
    uint32_t Spawn(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation) const
    {
        return spawn ? spawn(side, role, position, orientation) : 0;
    }
    uint64_t TicksPerSecond() const;
    // The server time, in ticks and in seconds (0 while unset).
    uint64_t Now() const { return now ? now() : 0; }
    float Seconds() const;
};

// Holds the hand-over of the link for the enclosing scope.
class ServerLinkHold {
public:
    ServerLinkHold();
    ~ServerLinkHold();
    ServerLinkHold(const ServerLinkHold&) = delete;
    ServerLinkHold& operator=(const ServerLinkHold&) = delete;
};

// The queued orders of an actor, the messages the actors write, and the
// flags the game thread sets for the server objects (pause, cut-scene, god
// mode). Orders are kept in the actor's list and stored in saved games as
// nine little-endian words.
#pragma once

#include "app/maths.h"
#include "platform/byte_cursor.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

class CollisionPolygon;
class LevelGrid;

namespace OrderKind {
inline constexpr int32_t kAttackTarget = 0, kAttackLocation = 1, kMove = 2, kWait = 3, kCrouch = 4, kEquip = 5,
                         kGive = 6, kUse = 7, kDrop = 8, kUnequip = 9, kChangeAmmo = 10;
inline constexpr int32_t kLast = 10;
} // namespace OrderKind

struct OrderRecord {
    static constexpr size_t kSize = 36;

    int32_t kind = 0;
    int32_t targetId = -1;  // target, recipient or value id; -1 none
    int32_t value = 0;      // item or ammunition value
    int32_t slot = 0;       // body slot
    Vec3 position{0, 0, 0};
    CollisionPolygon* polygon = nullptr;  // stored as its table index, -1 none
    int32_t attack = 0;

    void Write(trevok::ByteWriter& out) const;
    // False (record untouched) for a short block, an unknown kind or a
    // polygon index the level does not have.
    static bool Read(trevok::ByteReader& in, LevelGrid* level, OrderRecord& record);
};

// A server message built word by word and sent to the clients.
class OutMessage {
public:
    explicit OutMessage(uint32_t type) { writer_.U32(type); }
    OutMessage& U32(uint32_t v) { writer_.U32(v); return *this; }
    OutMessage& I32(int32_t v) { writer_.I32(v); return *this; }
    OutMessage& F32(float v) { writer_.F32(v); return *this; }
    OutMessage& U8(uint8_t v) { writer_.U8(v); return *this; }
    OutMessage& Point(const Vec3& p) { return F32(p.x).F32(p.y).F32(p.z); }
    OutMessage& Rotation(const Quaternion& q) { return F32(q.x).F32(q.y).F32(q.z).F32(q.w); }
    std::span<const uint8_t> Bytes() const { return {bytes_.data(), writer_.Position()}; }
    void Send(bool guaranteed) const;

private:
    std::array<uint8_t, 96> bytes_{};
    trevok::ByteWriter writer_{std::span<uint8_t>(bytes_)};
};

// Set by the game thread, read by the server pass.
namespace ServerFlags {
std::atomic<bool>& Paused();
std::atomic<bool>& CutScenePlaying();
std::atomic<bool>& GodMode();
std::atomic<bool>& UnlimitedAmmo();
} // namespace ServerFlags

// What a server object sets off where it stands: a sound (an id of the
// sound table, 0: none) and, with `explosion`, the explosion particles.
struct ServerCue {
    int32_t sound = 0;
    Vec3 at{0, 0, 0};
    bool explosion = false;
};

// Console texts (string-table ids) the server thread prints, and the sounds
// and particles its objects set off: the game thread drains them once a
// frame and plays them on its own side. Command files take the server
// link's own queue.
class ServerOutbox {
public:
    static ServerOutbox& Global();
    void PrintText(int32_t stringId);
    void Cue(const ServerCue& cue);
    // Everything queued so far, oldest first; the box empties.
    std::vector<int32_t> TakeTexts();
    std::vector<ServerCue> TakeCues();

private:
    std::mutex lock_;
    std::vector<int32_t> texts_;
    std::vector<ServerCue> cues_;
};

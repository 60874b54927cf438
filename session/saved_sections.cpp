// The saved-game sections of the level itself: its load and stop around a
// full load, the level triggers, the doors and the fog of war.
#include "objects/level_triggers.h"
#include "objects/world_object.h"
#include "session/doors.h"
#include "session/level_session.h"
#include "session/level_start.h"
#include "session/network.h"
#include "session/saved_game.h"
#include "session/server_thread.h"
#include "world/collision_polygon.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <algorithm>
#include <vector>

namespace SavedGame {
namespace {
using trevok::ByteReader;
using trevok::ByteWriter;

// Trigger image offsets; bytes 52-55 and from 68 on (the script-name word,
// which the frame writes, and the list words) are not taken on load.
constexpr size_t kTriggerKind = 0, kTriggerPositions = 4, kTriggerValue = 56, kTriggerRadius = 64;

void SaveTriggers(World& world)
{
    for (List<LevelTrigger*>::Iterator it(LevelTriggers::All()); !it.AtEnd(); it.Next()) {
        const LevelTrigger& t = **it.Get();
        Trigger& saved = world.triggers.emplace_back();
        ByteWriter(std::span<uint8_t>(saved.image).subspan(kTriggerKind)).U32(t.kind_);
        ByteWriter positions(std::span<uint8_t>(saved.image).subspan(kTriggerPositions));
        for (const Vec3& p : t.positions_) {
            positions.F32(p.x);
            positions.F32(p.y);
            positions.F32(p.z);
        }
        ByteWriter(std::span<uint8_t>(saved.image).subspan(kTriggerValue)).U64(static_cast<uint64_t>(t.value_));
        ByteWriter(std::span<uint8_t>(saved.image).subspan(kTriggerRadius)).F32(t.radiusSquared_);
        if (!t.script_.empty())
            saved.scriptName = t.script_;
        saved.names = t.names_;
    }
}

bool LoadTriggers(const World& world)
{
    LevelTriggers::Clear();
    for (const Trigger& saved : world.triggers) {
        LevelTrigger& t = *LevelTriggers::Add();
        t.kind_ = ByteReader(saved.image).At(kTriggerKind).U32();
        ByteReader positions = ByteReader(saved.image).At(kTriggerPositions);
        for (Vec3& p : t.positions_)
            p = {positions.F32(), positions.F32(), positions.F32()};
        t.value_ = static_cast<int64_t>(ByteReader(saved.image).At(kTriggerValue).U64());
        t.radiusSquared_ = ByteReader(saved.image).At(kTriggerRadius).F32();
        t.script_ = saved.scriptName.value_or(std::string());
        t.names_ = saved.names;
    }
    return true;
}

void SaveDoors(World& world)
{
    for (const DoorEntry& entry : Doors::All()) {
        Door& door = world.doors.emplace_back();
        door.number = static_cast<uint32_t>(entry.number);
        for (const CollisionPolygon* polygon : entry.polygons)
            door.polygons.push_back(polygon->tableIndex_);
        door.closed = entry.closed;
    }
}

constexpr uint32_t kDoorOpen = 121, kDoorClose = 122;

// The other players' clients hear each door's state; this machine's level
// takes it at once.
void AnnounceDoor(uint32_t number, bool closed)
{
    if (!Network::IsActive())
        return;
    std::vector<uint8_t> message;
    ByteWriter out(message);
    out.U32(closed ? kDoorClose : kDoorOpen);
    out.U32(number);
    Server::SendToClients(message.data(), static_cast<uint32_t>(message.size()), true);
}

// Stored indices past the level's polygon table are left out of the entry.
bool LoadDoors(const World& world)
{
    Doors::Clear();
    Level* level = Level::Current();
    for (const Door& door : world.doors) {
        DoorEntry& entry = Doors::All().emplace_back();
        entry.number = static_cast<int32_t>(door.number);
        for (uint32_t index : door.polygons) {
            if (CollisionPolygon* polygon = level ? level->PolygonAt(index) : nullptr)
                entry.polygons.push_back(polygon);
        }
    }
    // Each door takes its stored state only once every entry exists.
    for (const Door& door : world.doors) {
        AnnounceDoor(door.number, door.closed);
        if (level && door.closed)
            Doors::Close(*level, static_cast<int32_t>(door.number));
        else if (level)
            Doors::Open(*level, static_cast<int32_t>(door.number));
        else
            Doors::All()[&door - world.doors.data()].closed = door.closed;
    }
    return true;
}

void SavePartNames(World& world) { world.partNames = WorldObjectTable::ExhaustParts(); }

// The level load names its own parts first; a saved name already there is
// not added twice, so the list does not grow with each load.
bool LoadPartNames(const World& world)
{
    std::vector<std::string>& parts = WorldObjectTable::ExhaustParts();
    for (const std::string& name : world.partNames) {
        if (std::find(parts.begin(), parts.end(), name) == parts.end())
            parts.push_back(name);
    }
    return true;
}

// A networked load starts like a level: every player ready, then the go,
// with both clocks at the saved time. The replicas are active already.
bool NetworkedStart(uint64_t ticks)
{
    if (!Network::IsActive())
        return true;
    // The game's own time-out and cancel key bound both waits, so a player
    // who never answers ends the load instead of holding it.
    const LevelStart::WaitLimits kept = LevelStart::CurrentWaitLimits();
    LevelStart::WaitLimits limits = kept;
    limits.activateAll = nullptr;
    LevelStart::SetWaitLimits(limits);
    // The clocks start where the level start puts them: at the saved time.
    Session::LevelStartTime() =
        static_cast<float>(double(ticks) / double(std::max<uint64_t>(WorldObject::SecondsToTicks(1.0f), 1)));
    if (Server::IsRunning())
        Server::SetWaitingForPlayers(true);
    const bool started = Client::SendReady() && Server::WaitForPlayers() && Client::WaitForStart();
    LevelStart::SetWaitLimits(kept);
    return started;
}

void SaveFog(World& world)
{
    const FogOfWar* fog = FogOfWar::Global();
    world.fogSize = fog ? static_cast<uint32_t>(fog->Size()) : 0;
    if (fog)
        world.fogCells = fog->Discovered();
}

// A grid of another size than the running level's is dropped: the level
// keeps its own fog.
bool LoadFog(const World& world)
{
    FogOfWar* fog = FogOfWar::Global();
    if (!fog || world.fogSize != static_cast<uint32_t>(fog->Size()) ||
        world.fogCells.size() != fog->Discovered().size())
        return true;
    fog->MutableDiscovered() = world.fogCells;
    fog->Refresh();
    return true;
}
} // namespace

void InstallLevelSections()
{
    Hooks& hooks = GetHooks();
    hooks.stopLevel = [] { StopLevel(); };
    // The saved command lines take the place of the companion file.
    hooks.loadLevel = [](const LevelNames&) { return LoadLevel(false); };
    hooks.handshake = NetworkedStart;
    AddSection({SavePartNames, LoadPartNames, nullptr});
    AddSection({SaveTriggers, LoadTriggers, nullptr});
    AddSection({SaveDoors, LoadDoors, nullptr});
    AddSection({SaveFog, LoadFog, nullptr});
}

} // namespace SavedGame

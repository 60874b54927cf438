// The saved-game sections of the level itself: its load and stop around a
// full load, the level triggers, the doors and the fog of war.
#include "objects/level_triggers.h"
#include "session/doors.h"
#include "session/saved_game.h"
#include "world/collision_polygon.h"
#include "world/fog_of_war.h"
#include "world/level.h"

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
        if (level && door.closed)
            Doors::Close(*level, static_cast<int32_t>(door.number));
        else if (level)
            Doors::Open(*level, static_cast<int32_t>(door.number));
        else
            Doors::All()[&door - world.doors.data()].closed = door.closed;
    }
    return true;
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
    AddSection({SaveTriggers, LoadTriggers, nullptr});
    AddSection({SaveDoors, LoadDoors, nullptr});
    AddSection({SaveFog, LoadFog, nullptr});
}

} // namespace SavedGame

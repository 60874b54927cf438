#include "session/doors.h"

#include "app/read_write_lock.h"
#include "world/collision_polygon.h"
#include "world/level.h"
#include "world/level_grid.h"

#include <unordered_set>

namespace Doors {
namespace {

// Never destroyed: the list holds no resource, and exit handlers may still
// clear it after static destruction has begun.
std::vector<DoorEntry>& Entries()
{
    static auto* entries = new std::vector<DoorEntry>;
    return *entries;
}

DoorEntry* FirstOf(int32_t number)
{
    for (DoorEntry& entry : Entries())
        if (entry.number == number)
            return &entry;
    return nullptr;
}

bool Switch(LevelGrid& level, int32_t number, bool close)
{
    DoorEntry* entry = FirstOf(number);
    if (!entry)
        return false;
    {
        LockGuard hold(level.lock_, true);
        for (CollisionPolygon* polygon : entry->polygons) {
            if (close)
                polygon->PruneLinks();
            else
                level.LinkClassNeighbours(*polygon);
        }
    }
    entry->closed = close;
    return true;
}

void SwitchMesh(LevelGrid& level, CollisionMesh& mesh, bool attach)
{
    LockGuard hold(level.lock_, true);
    mesh.ForEachPolygon([&](CollisionPolygon& polygon) {
        if (!(polygon.flags_ & polygon_flags::kClassMask))
            return;
        if (attach)
            level.LinkClassNeighbours(polygon);
        else
            polygon.PruneLinks();
    });
}

} // namespace

std::vector<DoorEntry>& All() { return Entries(); }
void Clear() { Entries().clear(); }

std::vector<CollisionPolygon*> Flood(CollisionPolygon& start)
{
    // A seen set instead of scanning the work list and the entry for each
    // neighbour: large doors would otherwise cost the square of their size.
    std::vector<CollisionPolygon*> door;
    std::unordered_set<const CollisionPolygon*> seen{&start};
    door.push_back(&start);
    for (size_t next = 0; next < door.size(); ++next) {
        const CollisionPolygon& p = *door[next];
        const uint32_t classes = p.flags_ & polygon_flags::kClassMask;
        for (uint32_t i = 0; i < p.LinkCount(); ++i) {
            CollisionPolygon* n = p.LinkAt(i);
            if (n && (n->flags_ & classes) != 0 && seen.insert(n).second)
                door.push_back(n);
        }
    }
    return door;
}

bool Declare(LevelGrid& level, const Vec3& at, int32_t number)
{
    DoorEntry entry;
    entry.number = number;
    {
        LockGuard hold(level.lock_, false);
        CollisionPolygon* start = level.FindPolygonAt(at);
        if (!start)
            return false;
        entry.polygons = Flood(*start);
    }
    Entries().push_back(std::move(entry));
    return true;
}

bool Open(LevelGrid& level, int32_t number) { return Switch(level, number, false); }
bool Close(LevelGrid& level, int32_t number) { return Switch(level, number, true); }

bool Open(int32_t number)
{
    Level* level = Level::Current();
    return level && Open(*level, number);
}

bool Close(int32_t number)
{
    Level* level = Level::Current();
    return level && Close(*level, number);
}

void Attach(LevelGrid& level, CollisionMesh& mesh) { SwitchMesh(level, mesh, true); }
void Detach(LevelGrid& level, CollisionMesh& mesh) { SwitchMesh(level, mesh, false); }

} // namespace Doors

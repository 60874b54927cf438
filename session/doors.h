// Doors: sets of level polygons that are linked to their neighbours (open)
// or cut from them (closed), so units can or cannot walk through. The DOOR
// command declares them by flooding from a polygon over neighbours that share
// a class bit; OPEN/CLOSE DOOR, the client's messages 121/122 and saved games
// switch them. The list is the level's and empties when the level stops.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <vector>

class CollisionMesh;
class CollisionPolygon;
class LevelGrid;

struct DoorEntry {
    int32_t number = 0;
    std::vector<CollisionPolygon*> polygons;
    bool closed = false;
};

namespace Doors {

inline constexpr uint32_t kOpenMessage = 121;   // {121, number}
inline constexpr uint32_t kCloseMessage = 122;  // {122, number}

// In order of declaration; several entries may carry one number.
std::vector<DoorEntry>& All();
void Clear();

// The polygons reachable from `start` over links whose two ends share a
// class bit (polygon_flags::kClassMask), in breadth-first order, each once.
// The caller holds the level lock shared.
std::vector<CollisionPolygon*> Flood(CollisionPolygon& start);

// Declares door `number` from the polygon under `at` (found and flooded under
// the level's shared lock). False, nothing added, when no polygon lies there.
bool Declare(LevelGrid& level, const Vec3& at, int32_t number);

// The first entry of that number: links its polygons with their class
// neighbours (open) or prunes their links (closed), under the level's
// exclusive lock. False when no entry has the number.
bool Open(LevelGrid& level, int32_t number);
bool Close(LevelGrid& level, int32_t number);
// The same on the current level (none: false).
bool Open(int32_t number);
bool Close(int32_t number);

// ATTACH and DETACH: every polygon of the mesh with a class bit linked to
// its class neighbours, or cut from them, under the exclusive lock.
void Attach(LevelGrid& level, CollisionMesh& mesh);
void Detach(LevelGrid& level, CollisionMesh& mesh);

} // namespace Doors

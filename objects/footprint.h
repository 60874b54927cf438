// A footprint on the ground marks the walkable level polygons under it: those
// whose centres lie inside the horizontal quad of its box, reached from the
// polygon under it through their links, carry flag 0x100 while it stands.
// The server's footprint marks them, and so does the replica on a client
// that joined a game (no server in its program).
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <vector>

class CollisionPolygon;
class Level;
class VeObject;

namespace Footprint {

inline constexpr uint32_t kMarkFlag = 0x100;

// Marks under the footprint's box (its shape's bounds, else its extent
// about its position) and returns the marked polygons; none where no
// polygon lies under it. Takes the level's lock exclusively.
std::vector<CollisionPolygon*> Mark(Level& level, const Vec3& position, const Quaternion& orientation,
                                    const VeObject* shape, const Vec3& extent);
// Clears the marks and empties the list; without a level only the list.
void Unmark(Level* level, std::vector<CollisionPolygon*>& marked);

} // namespace Footprint

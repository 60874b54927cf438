#include "objects/footprint.h"

#include "Veapi/ve_object.h"
#include "app/read_write_lock.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <deque>

namespace {

// Whether `p` lies inside the convex quad `q` (either winding) on x and z.
bool InsideXZ(const Vec3 (&q)[4], const Vec3& p)
{
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const Vec3& a = q[i];
        const Vec3& b = q[(i + 1) % 4];
        const float cross = (b.x - a.x) * (p.z - a.z) - (b.z - a.z) * (p.x - a.x);
        const int s = cross > 0 ? 1 : (cross < 0 ? -1 : 0);
        if (s != 0) {
            if (sign != 0 && s != sign)
                return false;
            sign = s;
        }
    }
    return true;
}

} // namespace

namespace Footprint {

std::vector<CollisionPolygon*> Mark(Level& level, const Vec3& position, const Quaternion& orientation,
                                    const VeObject* shape, const Vec3& extent)
{
    std::vector<CollisionPolygon*> marked;
    LockGuard guard(level.lock_, true);
    CollisionPolygon* start = level.FindPolygonAt(position);
    if (!start)
        return marked;
    Vec3 low{-0.5f * extent.x, 0, -0.5f * extent.z}, high{0.5f * extent.x, 0, 0.5f * extent.z};
    if (shape && shape->HasBounds()) {
        low = shape->minimum_;
        high = shape->maximum_;
    }
    const Vec3 local[4] = {{low.x, 0, low.z}, {high.x, 0, low.z}, {high.x, 0, high.z}, {low.x, 0, high.z}};
    Vec3 corners[4];
    for (int i = 0; i < 4; ++i)
        corners[i] = position + orientation.Rotate(local[i]);
    std::deque<CollisionPolygon*> open{start};
    while (!open.empty()) {
        CollisionPolygon* polygon = open.front();
        open.pop_front();
        if ((polygon->flags_ & kMarkFlag) || !InsideXZ(corners, *polygon->Centre()))
            continue;
        polygon->flags_ |= kMarkFlag;
        marked.push_back(polygon);
        for (uint32_t i = 0; i < polygon->LinkCount(); ++i)
            open.push_back(polygon->LinkAt(i));
    }
    return marked;
}

void Unmark(Level* level, std::vector<CollisionPolygon*>& marked)
{
    if (marked.empty())
        return;
    if (level) {
        LockGuard guard(level->lock_, true);
        for (CollisionPolygon* polygon : marked)
            polygon->flags_ &= ~kMarkFlag;
    }
    marked.clear();
}

} // namespace Footprint

// The level's solid geometry: triangles and quads with their plane, flags and
// links to neighbouring polygons. The cell grid files them with ClipToBox,
// movers and queries ask the point, line and disc tests, the path search and
// the navigation cache walk the links. Polygons carry no lock: the level's
// lock guards whoever relinks them while the other thread reads.
#pragma once

#include "app/maths.h"

#include <cstdint>

class ShapeInstance;

namespace polygon_flags {
inline constexpr uint32_t kFromShape = 0xFFFC1; // bits kept from the shape polygon
inline constexpr uint32_t kSteep = 0x100;       // closer to vertical; never linked
inline constexpr uint32_t kClassMask = 0x3E000; // which links the door commands touch
} // namespace polygon_flags

// Replaces ny = 0: every polygon has a y component with a sign, and only
// polygons facing up (ny < 0, y grows downward) are linked.
inline constexpr float kFlatNormalY = -1e-5f;

class CollisionPolygon {
public:
    CollisionPolygon() = default;
    CollisionPolygon(const CollisionPolygon&) = delete;
    CollisionPolygon& operator=(const CollisionPolygon&) = delete;
    virtual ~CollisionPolygon();

    // Sets source, normal and flags as the mesh builder takes them from a
    // shape polygon: flags masked to the shape bits plus kSteep for a steep
    // normal, and ny = 0 stored as kFlatNormalY.
    void SetSurface(ShapeInstance* source, const Vec3& normal, uint32_t shapeFlags);

    // This polygon facing the other way (negated normal, reversed vertices),
    // in a scratch polygon of the class that the calling thread's next call
    // overwrites. Flags, links, index and centre of the scratch are not set.
    virtual CollisionPolygon& Reversed() const = 0;

    // 2: all vertices inside the box (faces count as inside); 1: the area
    // reaches into the box; 0: it does not.
    virtual int ClipToBox(const Vec3& boxMin, const Vec3& boxMax) const = 0;
    virtual Vec3 MinCorner() const = 0;
    virtual Vec3 MaxCorner() const = 0;
    virtual const Vec3* Centre() const = 0;
    virtual void SetCentre(float x, float y, float z);
    virtual int VertexCount() const = 0;
    virtual Vec3* const* Vertices() const = 0;

    // Where the infinite line origin + t dir meets the plane (t of either
    // sign), and whether that point lies in the polygon. False without
    // writing when the line is parallel to the plane.
    virtual bool IntersectLine(Vec3& out, const Vec3& origin, const Vec3& dir, Vec3* outNormal) const = 0;
    // Move the point onto the plane along one axis when it lies over the
    // polygon in the other two; returns false when outside (point unchanged)
    // or when the plane gives no finite coordinate (point changed).
    virtual bool ProjectX(Vec3& point, Vec3* outNormal) const = 0;
    virtual bool ProjectY(Vec3& point, Vec3* outNormal) const = 0;
    virtual bool ProjectZ(Vec3& point, Vec3* outNormal) const = 0;
    // The smallest y (the highest point) of the polygon within the vertical
    // cylinder of `radius` around the point, written to point.y.
    virtual bool ProjectYUnderDisc(Vec3& point, float radius, Vec3& outNormal) const = 0;
    // Containment seen along y; a point on an edge is inside.
    virtual bool ContainsPointXZ(const Vec3& point, Vec3* outNormal) const = 0;
    // Containment on the plane where the polygon's shadow is largest (the
    // normal's dominant axis).
    virtual bool ContainsPoint(const Vec3& point, Vec3* outNormal) const = 0;
    // How far along the horizontal direction a body of `radius` at the point
    // first touches (outTouch, floored, at least 0) and crosses (outCross) an
    // edge ahead. Both are INT32_MAX when no edge lies ahead.
    virtual void EdgeExitTimes(const Vec3& point, const Vec3& dir, float radius, int32_t& outTouch,
                               int32_t& outCross) const = 0;
    virtual bool OverlapsDiscXZ(const Vec3& centre, float radius) const = 0;
    // Whether a point a millimetre ahead along `dir` lies over the polygon.
    virtual bool ContainsPointAhead(const Vec3& point, const Vec3& dir) const = 0;
    // Vertex pointers are compared, not coordinates: a mesh shares corners.
    virtual bool SharesVertex(const CollisionPolygon& other) const = 0;
    virtual bool SharesEdge(const CollisionPolygon& other) const = 0;
    // Whether the line between the two centroids crosses the shared edge
    // within its ends (exactly two shared corners required).
    virtual bool IsNeighbourAcrossEdge(const CollisionPolygon& other) const = 0;

    // The linked polygon whose centre lies nearest the point (the first of
    // equals); this polygon itself when it has no links.
    CollisionPolygon* NearestLinked(const Vec3& point);
    bool IsLinkedTo(const CollisionPolygon* other) const;
    // Links are one direction; whoever links A to B also links B to A.
    uint32_t AddLink(CollisionPolygon* other);
    // The last link moves into the slot. An index out of range changes nothing.
    uint32_t RemoveLinkAt(uint32_t index);
    // A polygon that is not linked changes nothing.
    uint32_t RemoveLink(const CollisionPolygon* other);
    // Cuts this polygon, both ways, from its neighbours of a class it does
    // not share (a closed door).
    void PruneLinks();
    // Reallocates the link array to `entries` slots, keeping the links that
    // fit; 0 frees it.
    void GrowLinks(uint32_t entries);

    CollisionPolygon* const* Links() const { return links_; } // null when none
    uint32_t LinkCount() const { return linkCount_; }
    CollisionPolygon* LinkAt(uint32_t index) const { return links_[index]; }

    ShapeInstance* sourceShape_ = nullptr; // the object geometry this came from
    Vec3 normal_{0.0f, 0.0f, 0.0f};
    uint32_t flags_ = 0;
    CollisionPolygon* searchParent_ = nullptr; // path-search scratch, null between searches
    uint32_t tableIndex_ = 0;                  // index in the level's polygon table

private:
    CollisionPolygon** links_ = nullptr; // capacity: linkCount_ rounded up to 4
    uint32_t linkCount_ = 0;
};

// The shared algorithm over N vertices; the triangle and quad classes only
// add their own scratch polygon for Reversed.
template <int N>
class CollisionPolygonOf : public CollisionPolygon {
public:
    int ClipToBox(const Vec3& boxMin, const Vec3& boxMax) const override;
    Vec3 MinCorner() const override;
    Vec3 MaxCorner() const override;
    const Vec3* Centre() const override { return &centre_; }
    void SetCentre(float x, float y, float z) override { centre_ = {x, y, z}; }
    int VertexCount() const override { return N; }
    Vec3* const* Vertices() const override { return vertices_; }
    bool IntersectLine(Vec3& out, const Vec3& origin, const Vec3& dir, Vec3* outNormal) const override;
    bool ProjectX(Vec3& point, Vec3* outNormal) const override;
    bool ProjectY(Vec3& point, Vec3* outNormal) const override;
    bool ProjectZ(Vec3& point, Vec3* outNormal) const override;
    bool ProjectYUnderDisc(Vec3& point, float radius, Vec3& outNormal) const override;
    bool ContainsPointXZ(const Vec3& point, Vec3* outNormal) const override;
    bool ContainsPoint(const Vec3& point, Vec3* outNormal) const override;
    void EdgeExitTimes(const Vec3& point, const Vec3& dir, float radius, int32_t& outTouch,
                       int32_t& outCross) const override;
    bool OverlapsDiscXZ(const Vec3& centre, float radius) const override;
    bool ContainsPointAhead(const Vec3& point, const Vec3& dir) const override;
    bool SharesVertex(const CollisionPolygon& other) const override;
    bool SharesEdge(const CollisionPolygon& other) const override;
    bool IsNeighbourAcrossEdge(const CollisionPolygon& other) const override;

    // Containment on the other two planes, used by ContainsPoint, ProjectX
    // and ProjectZ; a point on an edge is inside.
    bool ContainsPointYZ(const Vec3& point, Vec3* outNormal) const;
    bool ContainsPointXY(const Vec3& point, Vec3* outNormal) const;

    // Pointers into the owning mesh's vertex array, in the shape's winding.
    Vec3* vertices_[N] = {};
    Vec3 centre_{0.0f, 0.0f, 0.0f}; // mean of the vertices, set by the builder

protected:
    void FillReversed(CollisionPolygonOf& scratch) const;
};

extern template class CollisionPolygonOf<3>;
extern template class CollisionPolygonOf<4>;

class CollisionTriangle final : public CollisionPolygonOf<3> {
public:
    CollisionPolygon& Reversed() const override;
};

class CollisionQuad final : public CollisionPolygonOf<4> {
public:
    CollisionPolygon& Reversed() const override;
};

// Walks one mesh's polygons: every triangle in array order, then every quad.
class PolygonIterator {
public:
    void Begin(CollisionTriangle* triangles, uint32_t triangleCount, CollisionQuad* quads, uint32_t quadCount);
    bool AtEnd() const { return triangleCount_ == 0 && quadCount_ == 0; }
    // Null at the end.
    CollisionPolygon* Current() const;
    // Does nothing at the end.
    void Next();

private:
    CollisionTriangle* triangle_ = nullptr;
    uint32_t triangleCount_ = 0;
    CollisionQuad* quad_ = nullptr;
    uint32_t quadCount_ = 0;
};

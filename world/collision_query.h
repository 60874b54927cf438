// Moving-point tests against drawn geometry: a straight segment p + d t or a
// thrown path p + v t + a t^2 / 2 against a box, one shape's triangles, a
// shape tree and a placed object. They read the render geometry, hold no
// lock and allocate nothing; the caller keeps the geometry alive.
#pragma once

#include "app/maths.h"

class ShapeInstance;
class VeObject;
class VeShape;

// The nearest hit so far. The caller sets `fraction` to the limit of t
// before the first query; a query only accepts t in [0, fraction], then
// lowers `fraction` and writes `normal` (in the caller's frame). Several
// queries on one record therefore keep the nearest hit of all.
struct CollisionHit {
    float fraction = 1.0f;
    Vec3 normal{0, 0, 0};
};

// All return true when they accepted a hit (and so changed the record).
bool CollideSegmentWithBox(CollisionHit& hit, const Vec3& minimum, const Vec3& maximum, const Vec3& p, const Vec3& d);
bool CollideTrajectoryWithBox(CollisionHit& hit, const Vec3& minimum, const Vec3& maximum, const Vec3& p,
                              const Vec3& v, const Vec3& a);
// A null shape gives false.
bool CollideSegmentWithMesh(CollisionHit& hit, const VeShape* shape, const Vec3& p, const Vec3& d);
bool CollideTrajectoryWithMesh(CollisionHit& hit, const VeShape* shape, const Vec3& p, const Vec3& v, const Vec3& a);
// p, d, v and a in the node's parent frame.
bool CollideSegmentWithNodeBounds(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& d);
bool CollideTrajectoryWithNodeBounds(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& v,
                                     const Vec3& a);
bool CollideSegmentWithShapeTree(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& d);
bool CollideTrajectoryWithShapeTree(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& v,
                                    const Vec3& a);
// World coordinates.
bool CollideSegmentWithObject(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& d);
bool CollideTrajectoryWithObject(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& v, const Vec3& a);
bool CollideSegmentWithObjectBounds(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& d);
bool CollideTrajectoryWithObjectBounds(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& v,
                                       const Vec3& a);

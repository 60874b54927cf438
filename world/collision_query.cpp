#include "world/collision_query.h"

#include "Veapi/bounding_box.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/math_tables.h"
#include "app/quadratic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

float Axis(const Vec3& v, int c)
{
    return c == 0 ? v.x : c == 1 ? v.y : v.z;
}

bool IsZero(const Vec3& v)
{
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

// A segment is a path without acceleration; each axis of a thrown path
// whose acceleration is 0 is solved as a straight line as well.
struct Path {
    Vec3 p, v, a;
    bool curved;

    Vec3 At(float t) const { return curved ? p + v * t + a * (0.5f * t * t) : p + v * t; }
    Path In(const Matrix34& inverse) const
    {
        return {inverse.TransformPoint(p), inverse.TransformVector(v), inverse.TransformVector(a), curved};
    }
};

enum class BoxCross { Miss, Face, Inside };

// Times in [0, limit] at which the path lies on the plane of coordinate c
// = face; returns how many (0 to 2), smaller first.
int PlaneTimes(const Path& path, int c, float face, float limit, float (&t)[2])
{
    float first = 0, second = 0;
    const float a = path.curved ? Axis(path.a, c) : 0.0f;
    const int roots = SolveScaledQuadratic(first, second, 0.5f * a, Axis(path.v, c), Axis(path.p, c) - face);
    int count = 0;
    for (int i = 0; i < std::min(roots, 2); ++i) {
        const float r = i == 0 ? first : second;
        if (r >= 0.0f && r <= limit && (count == 0 || r != t[0]))
            t[count++] = r;
    }
    return count;
}

// The first time in [0, limit] at which the path touches the closed box.
// Every face plane's crossings are candidates, so a thrown path that
// leaves a slab and comes back through another face is still caught; on
// equal times the face order (minimum x, y, z, maximum x, y, z) decides.
// A straight path outside a face's slab and moving away from it can never
// reach the box, which ends the test at once.
BoxCross CrossBox(const Path& path, const Vec3& minimum, const Vec3& maximum, float limit, float& t, Vec3& normal)
{
    bool inside = true;
    for (int c = 0; c < 3; ++c) {
        const float start = Axis(path.p, c);
        if (start >= Axis(minimum, c) && start <= Axis(maximum, c))
            continue;
        inside = false;
        if (!path.curved || Axis(path.a, c) == 0.0f) {
            const float v = Axis(path.v, c);
            if (start < Axis(minimum, c) ? !(v > 0.0f) : !(v < 0.0f))
                return BoxCross::Miss;
        }
    }
    if (inside) {
        // The direction from the centre towards the start; straight up from
        // the very centre, where there is no direction.
        t = 0.0f;
        normal = path.p * 2.0f - (minimum + maximum);
        const float lengthSquared = normal.LengthSquared();
        normal = lengthSquared > 0.0f ? normal * FastInvSqrt(lengthSquared) : Vec3{0, -1, 0};
        return BoxCross::Inside;
    }
    bool found = false;
    for (int face = 0; face < 6; ++face) {
        const int c = face % 3;
        const bool minimumFace = face < 3;
        float times[2];
        const int count = PlaneTimes(path, c, minimumFace ? Axis(minimum, c) : Axis(maximum, c), limit, times);
        for (int i = 0; i < count; ++i) {
            if (found && !(times[i] < t))
                break;
            const Vec3 at = path.At(times[i]);
            bool onFace = true;
            for (int other = 0; other < 3; ++other)
                if (other != c && !(Axis(at, other) >= Axis(minimum, other) && Axis(at, other) <= Axis(maximum, other)))
                    onFace = false;
            if (!onFace)
                continue;
            const float sign = minimumFace ? -1.0f : 1.0f;
            t = times[i];
            normal = {c == 0 ? sign : 0.0f, c == 1 ? sign : 0.0f, c == 2 ? sign : 0.0f};
            found = true;
            break;
        }
    }
    return found ? BoxCross::Face : BoxCross::Miss;
}

bool AcceptBox(CollisionHit& hit, const Path& path, const Vec3& minimum, const Vec3& maximum)
{
    float t = 0;
    Vec3 normal{0, 0, 0};
    if (CrossBox(path, minimum, maximum, hit.fraction, t, normal) == BoxCross::Miss || !(t >= 0.0f))
        return false;
    hit.fraction = t;
    hit.normal = normal;
    return true;
}

// Dominant-axis containment; a point on an edge is inside.
bool TriangleContains(const Vec3& n, const Vec3 (&corner)[3], const Vec3& q)
{
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    const int k = ax > ay && ax > az ? 0 : ay > az ? 1 : 2;
    const bool negative = std::signbit(Axis(n, k));
    for (int i = 0; i < 3; ++i) {
        const Vec3& a = corner[i];
        const Vec3& b = corner[(i + 1) % 3];
        const float side = Axis((b - a).Cross(q - a), k);
        if (negative ? side > 0.0f : side < 0.0f)
            return false;
    }
    return true;
}

// Calls `fn(corners, normal)` for every indexed triangle whose corners do
// not all lie beyond one side of [low, high]. Indices past the vertices and
// vertex formats without a position are skipped, so a damaged shape cannot
// make the loop read out of bounds.
template <typename Fn>
void ForEachTriangle(const VeShape& shape, const Vec3& low, const Vec3& high, Fn&& fn)
{
    for (const SubMesh* mesh : const_cast<VeShape&>(shape).SubMeshes()) {
        const size_t stride = mesh->Stride();
        if (stride < 3 * sizeof(float))
            continue;
        const size_t vertexCount = std::min<size_t>(mesh->vertexCount, mesh->vertices.size() / stride);
        const size_t indexCount = std::min<size_t>(mesh->indexCount, mesh->indices.size());
        for (size_t i = 0; i + 3 <= indexCount; i += 3) {
            Vec3 corner[3];
            bool valid = true;
            for (int k = 0; k < 3 && valid; ++k) {
                const size_t index = mesh->indices[i + k];
                valid = index < vertexCount;
                if (valid)
                    std::memcpy(&corner[k], mesh->vertices.data() + index * stride, sizeof(Vec3));
            }
            if (!valid)
                continue;
            bool beyond = false;
            for (int c = 0; c < 3 && !beyond; ++c) {
                const float lo = Axis(low, c), hi = Axis(high, c);
                const float c0 = Axis(corner[0], c), c1 = Axis(corner[1], c), c2 = Axis(corner[2], c);
                beyond = (c0 < lo && c1 < lo && c2 < lo) || (c0 > hi && c1 > hi && c2 > hi);
            }
            if (beyond)
                continue;
            Vec3 n = (corner[1] - corner[0]).Cross(corner[2] - corner[1]);
            n = n * FastInvSqrt(n.LengthSquared()); // a degenerate triangle gets 0 and is never hit
            fn(corner, n);
        }
    }
}

void Widen(Vec3& low, Vec3& high, const Vec3& q)
{
    low = {std::fmin(low.x, q.x), std::fmin(low.y, q.y), std::fmin(low.z, q.z)};
    high = {std::fmax(high.x, q.x), std::fmax(high.y, q.y), std::fmax(high.z, q.z)};
}

// The box the path sweeps for t in [0, limit]: its ends and, per axis, the
// turning point when it falls inside.
void PathBox(const Path& path, float limit, Vec3& low, Vec3& high)
{
    low = high = path.p;
    Widen(low, high, path.At(limit));
    if (!path.curved)
        return;
    for (int c = 0; c < 3; ++c) {
        const float a = Axis(path.a, c);
        if (a == 0.0f)
            continue;
        const float turn = -Axis(path.v, c) / a;
        if (turn > 0.0f && turn < limit)
            Widen(low, high, path.At(turn));
    }
}

bool SegmentPassesBound(const VeShape& shape, const Vec3& p, const Vec3& d, float limit)
{
    if (!(shape.flags_ & VeShape::kSkipBoxTest)) {
        float t = 0;
        Vec3 normal{0, 0, 0};
        return CrossBox({p, d, {0, 0, 0}, false}, shape.min_, shape.max_, limit, t, normal) != BoxCross::Miss;
    }
    const Vec3 offset = p - shape.sphereCentre_;
    const float outside = offset.LengthSquared() - shape.sphereRadius_ * shape.sphereRadius_;
    if (!(outside >= 0.0f))
        return true;
    float first = 0, second = 0;
    if (SolveScaledQuadratic(first, second, d.LengthSquared(), 2.0f * offset.Dot(d), outside) == 0)
        return false;
    return (first >= 0.0f && first <= limit) || (second >= 0.0f && second <= limit);
}

bool SegmentMesh(CollisionHit& hit, const VeShape* shape, const Vec3& p, const Vec3& d)
{
    if (!shape || !SegmentPassesBound(*shape, p, d, hit.fraction))
        return false;
    Vec3 low{0, 0, 0}, high{0, 0, 0};
    PathBox({p, d, {0, 0, 0}, false}, hit.fraction, low, high);
    bool accepted = false;
    ForEachTriangle(*shape, low, high, [&](const Vec3(&corner)[3], const Vec3& n) {
        const float nd = n.Dot(d);
        if (nd == 0.0f)
            return;
        const float t = n.Dot(corner[0] - p) / nd;
        if (!(t >= 0.0f && t <= hit.fraction) || !TriangleContains(n, corner, p + d * t))
            return;
        hit.fraction = t;
        hit.normal = n;
        accepted = true;
    });
    return accepted;
}

bool TrajectoryMesh(CollisionHit& hit, const VeShape* shape, const Vec3& p, const Vec3& v, const Vec3& a)
{
    if (!shape)
        return false;
    const Path path{p, v, a, true};
    {
        float t = 0;
        Vec3 normal{0, 0, 0};
        if (CrossBox(path, shape->min_, shape->max_, hit.fraction, t, normal) == BoxCross::Miss)
            return false;
    }
    if (IsZero(a))
        return SegmentMesh(hit, shape, p, v);
    Vec3 low{0, 0, 0}, high{0, 0, 0};
    PathBox(path, hit.fraction, low, high);
    bool accepted = false;
    const auto accept = [&](float t, const Vec3& n) {
        hit.fraction = t;
        hit.normal = n;
        accepted = true;
    };
    // Nearly parallel a and v leave w as rounding noise pointing anywhere,
    // which would cut the path's plane wrongly: such a path is the line.
    const Vec3 w = a.Cross(v);
    if (w.LengthSquared() <= 1e-12f * a.LengthSquared() * v.LengthSquared()) {
        // The path runs to and fro on the line through p along a: it meets
        // a plane at one point, at up to two times.
        ForEachTriangle(*shape, low, high, [&](const Vec3(&corner)[3], const Vec3& n) {
            const float na = n.Dot(a);
            if (na == 0.0f || !TriangleContains(n, corner, p + a * (n.Dot(corner[0] - p) / na)))
                return;
            float first = 0, second = 0;
            if (SolveScaledQuadratic(first, second, 0.5f * na, n.Dot(v), n.Dot(p - corner[0])) == 0 || second < 0.0f)
                return;
            if (first >= 0.0f && first <= hit.fraction)
                accept(first, n);
            else if (second <= hit.fraction)
                accept(second, n);
        });
        return accepted;
    }
    // Otherwise the path lies in the plane through p with normal w.
    ForEachTriangle(*shape, low, high, [&](const Vec3(&corner)[3], const Vec3& n) {
        int above = 0;
        for (const Vec3& c : corner)
            above += (c - p).Dot(w) >= 0.0f;
        if (above == 0 || above == 3)
            return;
        const float na = n.Dot(a), nv = n.Dot(v);
        float times[2];
        int count = 0;
        if (na == 0.0f) {
            if (nv == 0.0f)
                return;
            times[count++] = n.Dot(corner[0] - p) / nv;
        } else {
            float first = 0, second = 0;
            if (SolveScaledQuadratic(first, second, 0.5f * na, nv, n.Dot(p - corner[0])) == 0 || second < 0.0f)
                return;
            times[count++] = first;
            times[count++] = second;
        }
        for (int i = 0; i < count; ++i) {
            const float t = times[i];
            if (t >= 0.0f && t <= hit.fraction && TriangleContains(n, corner, path.At(t))) {
                accept(t, n);
                return;
            }
        }
    });
    return accepted;
}

bool PathMesh(CollisionHit& hit, const VeShape* shape, const Path& path)
{
    return path.curved ? TrajectoryMesh(hit, shape, path.p, path.v, path.a) : SegmentMesh(hit, shape, path.p, path.v);
}

// The node's box in its own frame: its own box, else its shape's.
bool NodeBox(const ShapeInstance& node, Vec3& minimum, Vec3& maximum)
{
    if (node.box_) {
        minimum = node.box_->Corner(0);
        maximum = node.box_->Corner(5);
        return true;
    }
    if (const VeShape* shape = node.slots_[0]) {
        minimum = shape->min_;
        maximum = shape->max_;
        return true;
    }
    return false;
}

// Runs `query` on the path seen in the frame of `matrix` and turns an
// accepted normal back into the caller's frame.
template <typename Query>
bool InFrame(CollisionHit& hit, const Matrix34& matrix, const Path& path, Query&& query)
{
    if (!query(path.In(matrix.RigidInverse())))
        return false;
    hit.normal = matrix.TransformVector(hit.normal);
    return true;
}

bool NodeBounds(CollisionHit& hit, ShapeInstance& node, const Path& path)
{
    Vec3 minimum{0, 0, 0}, maximum{0, 0, 0};
    if (!NodeBox(node, minimum, maximum))
        return false;
    return InFrame(hit, node.local_.Matrix(), path,
                   [&](const Path& local) { return AcceptBox(hit, local, minimum, maximum); });
}

bool ShapeTree(CollisionHit& hit, ShapeInstance& node, const Path& path)
{
    // The box of a node with a shape bounds that shape, and so gates it;
    // parts below such a node have boxes of their own and are tested as
    // well. A node without a shape is boxed round its parts.
    Vec3 minimum{0, 0, 0}, maximum{0, 0, 0};
    CollisionHit scratch{hit.fraction, {0, 0, 0}};
    const bool reached = !NodeBox(node, minimum, maximum) || NodeBounds(scratch, node, path);
    VeShape* shape = node.slots_[0];
    if (!reached && (!shape || node.children_.Count() == 0))
        return false;
    const Matrix34& matrix = node.local_.Matrix();
    const Path local = path.In(matrix.RigidInverse());
    bool accepted = false;
    if (reached && shape && PathMesh(hit, shape, local)) {
        hit.normal = matrix.TransformVector(hit.normal);
        accepted = true;
    }
    for (ShapeInstance* child : node.children_)
        if (ShapeTree(hit, *child, local)) {
            hit.normal = matrix.TransformVector(hit.normal);
            accepted = true;
        }
    return accepted;
}

bool Object(CollisionHit& hit, VeObject& object, const Path& path)
{
    ShapeInstance* root = object.Root();
    if (!root)
        return false;
    return InFrame(hit, object.placement_.Matrix(), path, [&](const Path& local) { return ShapeTree(hit, *root, local); });
}

bool ObjectBounds(CollisionHit& hit, VeObject& object, const Path& path)
{
    return InFrame(hit, object.placement_.Matrix(), path, [&](const Path& local) {
        if (object.HasBounds())
            return AcceptBox(hit, local, object.minimum_, object.maximum_);
        return object.Root() && NodeBounds(hit, *object.Root(), local);
    });
}

Path Segment(const Vec3& p, const Vec3& d)
{
    return {p, d, {0, 0, 0}, false};
}

} // namespace

bool CollideSegmentWithBox(CollisionHit& hit, const Vec3& minimum, const Vec3& maximum, const Vec3& p, const Vec3& d)
{
    return AcceptBox(hit, Segment(p, d), minimum, maximum);
}

bool CollideTrajectoryWithBox(CollisionHit& hit, const Vec3& minimum, const Vec3& maximum, const Vec3& p,
                              const Vec3& v, const Vec3& a)
{
    return AcceptBox(hit, {p, v, a, true}, minimum, maximum);
}

bool CollideSegmentWithMesh(CollisionHit& hit, const VeShape* shape, const Vec3& p, const Vec3& d)
{
    return SegmentMesh(hit, shape, p, d);
}

bool CollideTrajectoryWithMesh(CollisionHit& hit, const VeShape* shape, const Vec3& p, const Vec3& v, const Vec3& a)
{
    return TrajectoryMesh(hit, shape, p, v, a);
}

bool CollideSegmentWithNodeBounds(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& d)
{
    return NodeBounds(hit, node, Segment(p, d));
}

bool CollideTrajectoryWithNodeBounds(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& v,
                                     const Vec3& a)
{
    return NodeBounds(hit, node, {p, v, a, true});
}

bool CollideSegmentWithShapeTree(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& d)
{
    return ShapeTree(hit, node, Segment(p, d));
}

bool CollideTrajectoryWithShapeTree(CollisionHit& hit, ShapeInstance& node, const Vec3& p, const Vec3& v,
                                    const Vec3& a)
{
    return ShapeTree(hit, node, {p, v, a, true});
}

bool CollideSegmentWithObject(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& d)
{
    return Object(hit, object, Segment(p, d));
}

bool CollideTrajectoryWithObject(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& v, const Vec3& a)
{
    return Object(hit, object, {p, v, a, true});
}

bool CollideSegmentWithObjectBounds(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& d)
{
    return ObjectBounds(hit, object, Segment(p, d));
}

bool CollideTrajectoryWithObjectBounds(CollisionHit& hit, VeObject& object, const Vec3& p, const Vec3& v,
                                       const Vec3& a)
{
    return ObjectBounds(hit, object, {p, v, a, true});
}

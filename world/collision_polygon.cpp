#include "world/collision_polygon.h"

#include "app/int_math.h"
#include "app/math_tables.h"
#include "app/quadratic.h"

#include <bit>
#include <cfloat>
#include <cmath>

namespace {

// Stands in for 1/length of a zero-length horizontal vector: the products
// stay finite (zero times it is zero), so a degenerate edge is just skipped.
const float kHugeReciprocal = std::bit_cast<float>(0x7DFFFFFFu);

// Every per-edge loop visits the closing edge first, then 0-1, 1-2 (2-3).
template <int N, typename F>
bool AllEdges(Vec3* const (&v)[N], F&& edge)
{
    for (int i = 0, previous = N - 1; i < N; previous = i++) {
        if (!edge(*v[previous], *v[i]))
            return false;
    }
    return true;
}

// The outward horizontal normal of the edge A to B: outward for the winding
// of a polygon facing up (ny < 0), flipped for one facing down.
Vec3 OutwardEdgeNormal(const Vec3& a, const Vec3& b, bool facesUp)
{
    const float ex = b.x - a.x;
    const float ez = b.z - a.z;
    const float lengthSquared = ex * ex + ez * ez;
    float k = lengthSquared > 0.0f ? 1.0f / std::sqrt(lengthSquared) : kHugeReciprocal;
    if (!facesUp)
        k = -k;
    return {ez * k, 0.0f, -ex * k};
}

float SquaredDistanceXZ(const Vec3& a, const Vec3& b)
{
    const float dx = a.x - b.x;
    const float dz = a.z - b.z;
    return dx * dx + dz * dz;
}

// Outcode bits of the box test; a point on a face is inside.
constexpr uint32_t kAboveMaxX = 0x01, kBelowMinX = 0x02, kAboveMaxY = 0x04, kBelowMinY = 0x08,
                   kAboveMaxZ = 0x10, kBelowMinZ = 0x20;

uint32_t Outcode(const Vec3& p, const Vec3& boxMin, const Vec3& boxMax)
{
    uint32_t code = 0;
    if (p.x > boxMax.x)
        code |= kAboveMaxX;
    if (p.x < boxMin.x)
        code |= kBelowMinX;
    if (p.y > boxMax.y)
        code |= kAboveMaxY;
    if (p.y < boxMin.y)
        code |= kBelowMinY;
    if (p.z > boxMax.z)
        code |= kAboveMaxZ;
    if (p.z < boxMin.z)
        code |= kBelowMinZ;
    return code;
}

float& Axis(Vec3& v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

float Axis(const Vec3& v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

struct ClipNode {
    Vec3 position;
    uint32_t code;
    ClipNode* next;
    ClipNode* previous;
};

} // namespace

CollisionPolygon::~CollisionPolygon()
{
    delete[] links_;
}

void CollisionPolygon::SetSurface(ShapeInstance* source, const Vec3& normal, uint32_t shapeFlags)
{
    sourceShape_ = source;
    normal_ = normal;
    flags_ = shapeFlags & polygon_flags::kFromShape;
    if (normal.x * normal.x + normal.z * normal.z > normal.y * normal.y + 1e-5f)
        flags_ |= polygon_flags::kSteep;
    if (normal_.y == 0.0f)
        normal_.y = kFlatNormalY;
}

void CollisionPolygon::SetCentre(float, float, float) {}

CollisionPolygon* CollisionPolygon::NearestLinked(const Vec3& point)
{
    CollisionPolygon* nearest = this;
    float best = FLT_MAX;
    for (uint32_t i = 0; i < linkCount_; ++i) {
        const float d = (*links_[i]->Centre() - point).LengthSquared();
        if (i == 0 || d < best) {
            nearest = links_[i];
            best = d;
        }
    }
    return nearest;
}

bool CollisionPolygon::IsLinkedTo(const CollisionPolygon* other) const
{
    for (uint32_t i = 0; i < linkCount_; ++i) {
        if (links_[i] == other)
            return true;
    }
    return false;
}

uint32_t CollisionPolygon::AddLink(CollisionPolygon* other)
{
    if (linkCount_ % 4 == 0)
        GrowLinks(linkCount_ + 4);
    links_[linkCount_++] = other;
    return linkCount_;
}

uint32_t CollisionPolygon::RemoveLinkAt(uint32_t index)
{
    if (index >= linkCount_)
        return linkCount_;
    links_[index] = links_[linkCount_ - 1];
    --linkCount_;
    if (linkCount_ % 4 == 0)
        GrowLinks(linkCount_);
    return linkCount_;
}

uint32_t CollisionPolygon::RemoveLink(const CollisionPolygon* other)
{
    for (uint32_t i = 0; i < linkCount_; ++i) {
        if (links_[i] == other)
            return RemoveLinkAt(i);
    }
    return linkCount_;
}

void CollisionPolygon::PruneLinks()
{
    for (uint32_t i = 0; i < linkCount_;) {
        CollisionPolygon* other = links_[i];
        const uint32_t theirClass = other->flags_ & polygon_flags::kClassMask;
        if (theirClass == 0 || (flags_ & theirClass) != 0) {
            ++i;
            continue;
        }
        other->RemoveLink(this);
        RemoveLinkAt(i);
        i = 0;
    }
}

void CollisionPolygon::GrowLinks(uint32_t entries)
{
    CollisionPolygon** grown = entries > 0 ? new CollisionPolygon*[entries] : nullptr;
    if (linkCount_ > entries)
        linkCount_ = entries;
    for (uint32_t i = 0; i < linkCount_; ++i)
        grown[i] = links_[i];
    delete[] links_;
    links_ = grown;
}

template <int N>
Vec3 CollisionPolygonOf<N>::MinCorner() const
{
    Vec3 out = *vertices_[0];
    for (int i = 1; i < N; ++i) {
        out.x = std::fmin(out.x, vertices_[i]->x);
        out.y = std::fmin(out.y, vertices_[i]->y);
        out.z = std::fmin(out.z, vertices_[i]->z);
    }
    return out;
}

template <int N>
Vec3 CollisionPolygonOf<N>::MaxCorner() const
{
    Vec3 out = *vertices_[0];
    for (int i = 1; i < N; ++i) {
        out.x = std::fmax(out.x, vertices_[i]->x);
        out.y = std::fmax(out.y, vertices_[i]->y);
        out.z = std::fmax(out.z, vertices_[i]->z);
    }
    return out;
}

template <int N>
bool CollisionPolygonOf<N>::ContainsPointXZ(const Vec3& p, Vec3* outNormal) const
{
    const bool facesUp = std::signbit(normal_.y); // -0 counts as facing up
    const bool inside = AllEdges(vertices_, [&](const Vec3& a, const Vec3& b) {
        const float cross = (b.x - a.x) * (p.z - a.z) - (p.x - a.x) * (b.z - a.z);
        return facesUp ? !(cross < 0.0f) : !(cross > 0.0f);
    });
    if (inside && outNormal)
        *outNormal = normal_;
    return inside;
}

template <int N>
bool CollisionPolygonOf<N>::ContainsPointYZ(const Vec3& p, Vec3* outNormal) const
{
    const bool negative = std::signbit(normal_.x);
    const bool inside = AllEdges(vertices_, [&](const Vec3& a, const Vec3& b) {
        const float cross = (b.y - a.y) * (p.z - a.z) - (p.y - a.y) * (b.z - a.z);
        return negative ? !(cross > 0.0f) : !(cross < 0.0f);
    });
    if (inside && outNormal)
        *outNormal = normal_;
    return inside;
}

template <int N>
bool CollisionPolygonOf<N>::ContainsPointXY(const Vec3& p, Vec3* outNormal) const
{
    const bool negative = std::signbit(normal_.z);
    const bool inside = AllEdges(vertices_, [&](const Vec3& a, const Vec3& b) {
        const float cross = (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y);
        return negative ? !(cross > 0.0f) : !(cross < 0.0f);
    });
    if (inside && outNormal)
        *outNormal = normal_;
    return inside;
}

template <int N>
bool CollisionPolygonOf<N>::ContainsPoint(const Vec3& p, Vec3* outNormal) const
{
    const float ax = std::fabs(normal_.x);
    const float ay = std::fabs(normal_.y);
    const float az = std::fabs(normal_.z);
    // The plane on which the polygon's shadow is largest. A wall facing z
    // keeps ny = -1e-5 from the builder; were it tested on x, z for that,
    // its shadow would be a line and every point of its plane inside.
    if (ax > ay && ax > az)
        return ContainsPointYZ(p, outNormal);
    if (ay >= az)
        return ContainsPointXZ(p, outNormal);
    return ContainsPointXY(p, outNormal);
}

template <int N>
bool CollisionPolygonOf<N>::IntersectLine(Vec3& out, const Vec3& origin, const Vec3& dir, Vec3* outNormal) const
{
    const float denominator = normal_.Dot(dir);
    const float t = normal_.Dot(*vertices_[0] - origin) / denominator;
    if (!std::isfinite(t))
        return false;
    out = origin + dir * t;
    return ContainsPoint(out, outNormal);
}

template <int N>
bool CollisionPolygonOf<N>::ProjectX(Vec3& p, Vec3* outNormal) const
{
    if (!ContainsPointYZ(p, outNormal))
        return false;
    const Vec3& f = *vertices_[0];
    p.x = (normal_.x * f.x + normal_.y * (f.y - p.y) + normal_.z * (f.z - p.z)) / normal_.x;
    return std::isfinite(p.x);
}

template <int N>
bool CollisionPolygonOf<N>::ProjectY(Vec3& p, Vec3* outNormal) const
{
    if (!ContainsPointXZ(p, outNormal))
        return false;
    const Vec3& f = *vertices_[0];
    p.y = (normal_.x * (f.x - p.x) + normal_.y * f.y + normal_.z * (f.z - p.z)) / normal_.y;
    return std::isfinite(p.y);
}

template <int N>
bool CollisionPolygonOf<N>::ProjectZ(Vec3& p, Vec3* outNormal) const
{
    if (!ContainsPointXY(p, outNormal))
        return false;
    const Vec3& f = *vertices_[0];
    p.z = (normal_.x * (f.x - p.x) + normal_.y * (f.y - p.y) + normal_.z * f.z) / normal_.z;
    return std::isfinite(p.z);
}

template <int N>
bool CollisionPolygonOf<N>::ProjectYUnderDisc(Vec3& p, float radius, Vec3& outNormal) const
{
    // The plane is lowest in y at the rim point against its horizontal slope.
    const float slope = normal_.x * normal_.x + normal_.z * normal_.z;
    const float l = slope > 0.0f ? 1.0f / std::sqrt(slope) : kHugeReciprocal;
    const float s = std::copysign(radius * l, normal_.y);
    const Vec3 rim{p.x + s * normal_.x, p.y, p.z + s * normal_.z};
    if (ContainsPointXZ(rim, &outNormal)) {
        const Vec3& f = *vertices_[0];
        const float y = (normal_.x * (f.x - rim.x) + normal_.y * f.y + normal_.z * (f.z - rim.z)) / normal_.y;
        if (std::isfinite(y)) {
            p.y = y;
            return true;
        }
    }

    // Otherwise the highest point lies at a corner inside the disc or where
    // an edge crosses the rim.
    const float r2 = radius * radius;
    bool found = false;
    float best = 0.0f;
    bool inside[N];
    for (int i = 0; i < N; ++i) {
        inside[i] = SquaredDistanceXZ(*vertices_[i], p) < r2;
        if (inside[i] && (!found || vertices_[i]->y < best)) {
            best = vertices_[i]->y;
            found = true;
        }
    }
    for (int i = 0, previous = N - 1; i < N; previous = i++) {
        if (inside[previous] && inside[i])
            continue;
        const Vec3& a = *vertices_[previous];
        const Vec3& b = *vertices_[i];
        const float ex = b.x - a.x, ez = b.z - a.z;
        const float dx = a.x - p.x, dz = a.z - p.z;
        const float length2 = ex * ex + ez * ez;
        if (length2 == 0.0f) // a vertical edge: its ends were tested above
            continue;
        float roots[2];
        if (SolveQuadratic(roots[0], roots[1], 2.0f * (dx * ex + dz * ez) / length2,
                           (dx * dx + dz * dz - r2) / length2) == 0)
            continue;
        for (float t : roots) {
            if (t >= 0.0f && t <= 1.0f) {
                const float y = a.y + t * (b.y - a.y);
                if (!found || y < best) {
                    best = y;
                    found = true;
                }
            }
        }
    }
    if (!found)
        return false;
    p.y = best;
    outNormal = normal_;
    return true;
}

template <int N>
void CollisionPolygonOf<N>::EdgeExitTimes(const Vec3& p, const Vec3& dir, float radius, int32_t& outTouch,
                                          int32_t& outCross) const
{
    const bool facesUp = std::signbit(normal_.y);
    float best = FLT_MAX;
    float touch = FLT_MAX;
    for (int i = 0, previous = N - 1; i < N; previous = i++) {
        const Vec3& a = *vertices_[previous];
        const Vec3 e = OutwardEdgeNormal(a, *vertices_[i], facesUp);
        const float denominator = e.x * dir.x + e.z * dir.z;
        if (!(denominator > 0.0f))
            continue;
        const float t = (e.x * (a.x - p.x) + e.z * (a.z - p.z)) / denominator;
        if (t >= 0.0f && t < best) {
            best = t;
            touch = t - (e.x * e.x + e.z * e.z) * radius / denominator;
        }
    }
    if (touch < 0.0f)
        touch = 0.0f;
    // Saturating floors: with no edge ahead both stay FLT_MAX, which no
    // 32-bit integer holds, and read as INT32_MAX.
    outTouch = FloorToInt(touch);
    outCross = FloorToInt(best);
}

template <int N>
bool CollisionPolygonOf<N>::OverlapsDiscXZ(const Vec3& centre, float radius) const
{
    if (ContainsPointXZ(centre, nullptr))
        return true;
    const float r2 = radius * radius;
    for (int i = 0; i < N; ++i) {
        if (SquaredDistanceXZ(*vertices_[i], centre) < r2)
            return true;
    }
    for (int i = 0, previous = N - 1; i < N; previous = i++) {
        const Vec3& a = *vertices_[previous];
        const Vec3& b = *vertices_[i];
        const float ex = b.x - a.x, ez = b.z - a.z;
        const float dx = a.x - centre.x, dz = a.z - centre.z;
        const float length2 = ex * ex + ez * ez;
        // A vertical edge is its ends, tested above; the table reciprocal
        // of 0 is 0 and would turn any such edge into a hit.
        if (length2 == 0.0f)
            continue;
        const float inverse = FastReciprocal(length2);
        float t0, t1;
        if (SolveQuadratic(t0, t1, 2.0f * (dx * ex + dz * ez) * inverse, (dx * dx + dz * dz - r2) * inverse) == 0)
            continue;
        if ((t0 >= 0.0f && t0 <= 1.0f) || (t1 >= 0.0f && t1 <= 1.0f))
            return true;
    }
    return false;
}

template <int N>
bool CollisionPolygonOf<N>::ContainsPointAhead(const Vec3& p, const Vec3& dir) const
{
    const float scale = FastInvSqrt(dir.LengthSquared()) * 0.001f;
    return ContainsPointXZ(p + dir * scale, nullptr);
}

template <int N>
bool CollisionPolygonOf<N>::SharesVertex(const CollisionPolygon& other) const
{
    Vec3* const* theirs = other.Vertices();
    const int count = other.VertexCount();
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < count; ++j) {
            if (vertices_[i] == theirs[j])
                return true;
        }
    }
    return false;
}

template <int N>
bool CollisionPolygonOf<N>::SharesEdge(const CollisionPolygon& other) const
{
    Vec3* const* theirs = other.Vertices();
    const int count = other.VertexCount();
    int matches = 0;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < count; ++j) {
            if (vertices_[i] == theirs[j] && ++matches >= 2)
                return true;
        }
    }
    return false;
}

template <int N>
bool CollisionPolygonOf<N>::IsNeighbourAcrossEdge(const CollisionPolygon& other) const
{
    Vec3* const* theirs = other.Vertices();
    const int theirCount = other.VertexCount();

    Vec3 c1{0.0f, 0.0f, 0.0f};
    int shared[N];
    int sharedCount = 0;
    for (int i = 0; i < N; ++i) {
        c1 += *vertices_[i];
        for (int j = 0; j < theirCount; ++j) {
            if (vertices_[i] == theirs[j]) {
                shared[sharedCount++] = i;
                break;
            }
        }
    }
    if (sharedCount != 2)
        return false;
    c1 *= 1.0f / static_cast<float>(N);

    Vec3 c2{0.0f, 0.0f, 0.0f};
    for (int j = 0; j < theirCount; ++j)
        c2 += *theirs[j];
    c2 *= 1.0f / static_cast<float>(theirCount);
    const Vec3 d = c2 - c1;

    // The edge follows this polygon's winding.
    const bool closing = shared[0] == 0 && shared[1] == N - 1;
    const Vec3& a = *vertices_[closing ? N - 1 : shared[0]];
    const Vec3& b = *vertices_[closing ? 0 : shared[1]];
    const Vec3 e = OutwardEdgeNormal(a, b, std::signbit(normal_.y));
    const float denominator = e.x * d.x + e.z * d.z;
    if (!(denominator > 0.0f))
        return false;

    const Vec3& second = *vertices_[shared[1]];
    const float s = (e.x * (second.x - c1.x) + e.z * (second.z - c1.z)) / denominator;
    const float crossX = c1.x + d.x * s;
    const float crossZ = c1.z + d.z * s;
    const float ex = b.x - a.x, ez = b.z - a.z;
    const float u = ((crossX - a.x) * ex + (crossZ - a.z) * ez) / (ex * ex + ez * ez);
    return u >= 0.0f && u <= 1.0f;
}

template <int N>
int CollisionPolygonOf<N>::ClipToBox(const Vec3& boxMin, const Vec3& boxMax) const
{
    uint32_t codes[N];
    uint32_t anyOut = 0, allOut = ~0u;
    for (int i = 0; i < N; ++i) {
        codes[i] = Outcode(*vertices_[i], boxMin, boxMax);
        anyOut |= codes[i];
        allOut &= codes[i];
    }
    if (anyOut == 0)
        return 2;
    for (uint32_t code : codes) {
        if (code == 0)
            return 1;
    }
    if (allOut != 0)
        return 0;

    // Clip the outline against each face the polygon crosses, in a ring of
    // nodes from a fixed pool. A planar polygon keeps at most two nodes per
    // edge alive, so the pool of N + 14 never runs dry; should odd input
    // ever exhaust it, the answer leans to "overlaps", which only files the
    // polygon in one cell too many.
    ClipNode pool[N + 14];
    int used = 0;
    ClipNode* freeList = nullptr;
    auto take = [&]() -> ClipNode* {
        if (freeList) {
            ClipNode* node = freeList;
            freeList = node->next;
            return node;
        }
        return used < N + 14 ? &pool[used++] : nullptr;
    };

    ClipNode* head = nullptr;
    int ringSize = 0;
    for (int i = 0; i < N; ++i) {
        ClipNode* node = &pool[used++];
        node->position = *vertices_[i];
        node->code = codes[i];
        if (!head) {
            head = node->next = node->previous = node;
        } else {
            node->next = head;
            node->previous = head->previous;
            head->previous->next = node;
            head->previous = node;
        }
        ++ringSize;
    }

    for (int plane = 0; plane < 6; ++plane) {
        const uint32_t bit = 1u << plane;
        if (!(anyOut & bit))
            continue;
        const int axis = plane / 2;
        const float value = plane % 2 == 0 ? Axis(boxMax, axis) : Axis(boxMin, axis);

        ClipNode* v = head;
        const int edges = ringSize;
        for (int i = 0; i < edges; ++i) {
            ClipNode* w = v->next;
            if ((v->code ^ w->code) & bit) {
                ClipNode* node = take();
                if (!node)
                    return 1;
                const float t = (value - Axis(v->position, axis)) / (Axis(w->position, axis) - Axis(v->position, axis));
                node->position = v->position + (w->position - v->position) * t;
                Axis(node->position, axis) = value;
                node->code = Outcode(node->position, boxMin, boxMax);
                node->previous = v;
                node->next = w;
                v->next = node;
                w->previous = node;
                ++ringSize;
            }
            v = w;
        }

        anyOut = 0;
        allOut = ~0u;
        ClipNode* node = head;
        const int nodes = ringSize;
        for (int i = 0; i < nodes; ++i) {
            ClipNode* next = node->next;
            if (node->code & bit) {
                node->previous->next = node->next;
                node->next->previous = node->previous;
                if (node == head)
                    head = node->next;
                --ringSize;
                node->next = freeList;
                freeList = node;
            } else {
                if (node->code == 0)
                    return 1;
                anyOut |= node->code;
                allOut &= node->code;
            }
            node = next;
        }
        if (ringSize == 0 || allOut != 0)
            return 0;
    }
    return 0;
}

template <int N>
void CollisionPolygonOf<N>::FillReversed(CollisionPolygonOf& scratch) const
{
    scratch.sourceShape_ = sourceShape_;
    scratch.normal_ = -normal_;
    for (int i = 0; i < N; ++i)
        scratch.vertices_[i] = vertices_[N - 1 - i];
}

template class CollisionPolygonOf<3>;
template class CollisionPolygonOf<4>;

// One scratch per class and thread: the game and server threads both run
// collision queries, so a scratch shared between them would be overwritten
// under the other's feet.
CollisionPolygon& CollisionTriangle::Reversed() const
{
    static thread_local CollisionTriangle scratch;
    FillReversed(scratch);
    return scratch;
}

CollisionPolygon& CollisionQuad::Reversed() const
{
    static thread_local CollisionQuad scratch;
    FillReversed(scratch);
    return scratch;
}

void PolygonIterator::Begin(CollisionTriangle* triangles, uint32_t triangleCount, CollisionQuad* quads,
                            uint32_t quadCount)
{
    triangle_ = triangles;
    triangleCount_ = triangles ? triangleCount : 0;
    quad_ = quads;
    quadCount_ = quads ? quadCount : 0;
}

CollisionPolygon* PolygonIterator::Current() const
{
    if (triangleCount_ > 0)
        return triangle_;
    if (quadCount_ > 0)
        return quad_;
    return nullptr;
}

void PolygonIterator::Next()
{
    if (triangleCount_ > 0) {
        --triangleCount_;
        ++triangle_;
    } else if (quadCount_ > 0) {
        --quadCount_;
        ++quad_;
    }
}

#include "world/collision_query.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "query_oracle.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using querytest::Answer;
using querytest::D3;
using querytest::Motion;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A shape of position-only triangles (normal (P1 - P0) x (P2 - P1)) boxed by
// its points; one use for the caller.
VeShape* MakeShape(const std::vector<Vec3>& points, const std::vector<uint16_t>& indices,
                   uint32_t format = gfx::kFvfVertex)
{
    auto* shape = new VeShape;
    SubMesh* mesh = shape->AddSubMesh(uint32_t(points.size()), uint32_t(indices.size()), format, false);
    for (size_t i = 0; i < points.size() && mesh->Stride() >= 12; ++i)
        std::memcpy(mesh->Vertex(uint32_t(i)), &points[i], sizeof(Vec3));
    mesh->indices = indices;
    shape->min_ = shape->max_ = points.empty() ? Vec3{0, 0, 0} : points[0];
    for (const Vec3& q : points) {
        shape->min_ = {std::fmin(shape->min_.x, q.x), std::fmin(shape->min_.y, q.y), std::fmin(shape->min_.z, q.z)};
        shape->max_ = {std::fmax(shape->max_.x, q.x), std::fmax(shape->max_.y, q.y), std::fmax(shape->max_.z, q.z)};
    }
    return shape;
}

struct ShapeHold {
    VeShape* shape;
    explicit ShapeHold(VeShape* s) : shape(s) {}
    ~ShapeHold() { shape->Release(); }
};

void ExpectNormal(const Vec3& got, const D3& want, const std::string& what)
{
    EXPECT_NEAR(got.x, want.x, 5e-3) << what;
    EXPECT_NEAR(got.y, want.y, 5e-3) << what;
    EXPECT_NEAR(got.z, want.z, 5e-3) << what;
}

// ---- Boxes --------------------------------------------------------------------

struct BoxCase {
    const char* name;
    Vec3 p, v, a;
    float limit;
    bool hit;
    float t;
    Vec3 normal;
};

TEST(CollisionQuery, BoxCasesKeepTheFirstTouch)
{
    const Vec3 lo{0, 0, 0}, hi{1, 1, 1}, none{0, 0, 0};
    const BoxCase cases[] = {
        {"enters the minimum x face", {-1, 0.5f, 0.5f}, {2, 0, 0}, none, 1, true, 0.5f, {-1, 0, 0}},
        {"below minimum x moving away", {-1, 0.5f, 0.5f}, {-2, 5, 0}, none, 1, false, 0, none},
        {"touches exactly at the limit", {-1, 0.5f, 0.5f}, {1, 0, 0}, none, 1, true, 1, {-1, 0, 0}},
        {"stops short of the box", {-1, 0.5f, 0.5f}, {0.5f, 0, 0}, none, 1, false, 0, none},
        {"nearer hit already held", {-1, 0.5f, 0.5f}, {2, 0, 0}, none, 0.25f, false, 0, none},
        {"grazes an edge", {-1, 1, 0.5f}, {2, 0, 0}, none, 1, true, 0.5f, {-1, 0, 0}},
        {"grazes the far edge of the minimum z face", {0.5f, 1, -1}, {0, 0, 2}, none, 1, true, 0.5f, {0, 0, -1}},
        {"hits a corner: the first face in order", {-1, -1, -1}, {2, 2, 2}, none, 1, true, 0.5f, {-1, 0, 0}},
        {"comes down on the maximum y face", {0.5f, 3, 0.5f}, {0, -4, 0}, none, 1, true, 0.5f, {0, 1, 0}},
        {"starts inside", {0.75f, 0.5f, 0.5f}, {1, 0, 0}, none, 1, true, 0, {1, 0, 0}},
        {"starts at the centre", {0.5f, 0.5f, 0.5f}, {1, 0, 0}, none, 1, true, 0, {0, -1, 0}},
        // Thrown from beside the box, over its top and down onto it: the
        // path leaves the y slab and comes back through a face that did not
        // face the start.
        {"thrown over and onto the top", {-1, 0.5f, 0.5f}, {1.5f, 3, 0}, {0, -6, 0}, 1, true, 0.78867513f, {0, 1, 0}},
        {"thrown short", {-1, 0.5f, 0.5f}, {0.5f, 3, 0}, {0, -6, 0}, 1, false, 0, none},
        {"zero acceleration is the segment", {-1, 0.5f, 0.5f}, {2, 0, 0}, {0, 0, 0}, 1, true, 0.5f, {-1, 0, 0}},
    };
    for (const BoxCase& c : cases) {
        const bool curved = c.a.x != 0 || c.a.y != 0 || c.a.z != 0 || std::string(c.name).find("zero") == 0;
        CollisionHit hit{c.limit, {7, 7, 7}};
        const bool got = curved ? CollideTrajectoryWithBox(hit, lo, hi, c.p, c.v, c.a)
                                : CollideSegmentWithBox(hit, lo, hi, c.p, c.v);
        EXPECT_EQ(got, c.hit) << c.name;
        if (c.hit) {
            EXPECT_NEAR(hit.fraction, c.t, 1e-5) << c.name;
            ExpectNormal(hit.normal, D3(c.normal), c.name);
        } else {
            EXPECT_EQ(hit.fraction, c.limit) << c.name;
            EXPECT_EQ(hit.normal, Vec3(7, 7, 7)) << c.name;
        }
    }
}

Vec3 RandomVec(std::mt19937& rng, float range)
{
    std::uniform_real_distribution<float> u(-range, range);
    return {u(rng), u(rng), u(rng)};
}

enum class Kind { Segment, ZeroAcceleration, AlongVelocity, Thrown };
constexpr Kind kKinds[] = {Kind::Segment, Kind::ZeroAcceleration, Kind::AlongVelocity, Kind::Thrown};

Motion RandomMotion(std::mt19937& rng, Kind kind, Vec3& p, Vec3& v, Vec3& a)
{
    p = RandomVec(rng, 3);
    v = RandomVec(rng, 1) - p; // mostly towards the middle
    a = {0, 0, 0};
    if (kind == Kind::AlongVelocity)
        a = v * -1.5f;
    else if (kind == Kind::Thrown)
        a = RandomVec(rng, 4);
    return {D3(p), D3(v), D3(a)};
}

bool RunQuery(Kind kind, CollisionHit& hit, const Vec3& p, const Vec3& v, const Vec3& a, auto segment, auto trajectory)
{
    return kind == Kind::Segment ? segment(hit, p, v) : trajectory(hit, p, v, a);
}

void Compare(const Answer& want, bool got, const CollisionHit& hit, float limit, const std::string& what)
{
    ASSERT_EQ(got, want.hit) << what << " t " << want.t << " margin " << want.margin;
    if (!got) {
        EXPECT_EQ(hit.fraction, limit) << what;
        return;
    }
    EXPECT_NEAR(hit.fraction, want.t, 1e-4 * (1 + want.t)) << what;
    if (want.t > 0)
        ExpectNormal(hit.normal, want.normal, what);
}

TEST(CollisionQuery, BoxMatchesTheBruteForce)
{
    std::mt19937 rng(7);
    const Vec3 lo{-1, -0.5f, -0.75f}, hi{1, 0.5f, 0.25f};
    int hits = 0;
    for (Kind kind : kKinds)
        for (int i = 0; i < 3000; ++i) {
            Vec3 p, v, a;
            const Motion m = RandomMotion(rng, kind, p, v, a);
            Answer want;
            querytest::AgainstBox(want, m, D3(lo), D3(hi), 1.0);
            if (want.margin < 1e-4)
                continue;
            CollisionHit hit;
            const bool got = RunQuery(
                kind, hit, p, v, a,
                [&](CollisionHit& h, const Vec3& s, const Vec3& d) { return CollideSegmentWithBox(h, lo, hi, s, d); },
                [&](CollisionHit& h, const Vec3& s, const Vec3& w, const Vec3& g) {
                    return CollideTrajectoryWithBox(h, lo, hi, s, w, g);
                });
            hits += got;
            Compare(want, got, hit, 1.0f, "box case " + std::to_string(i) + " kind " + std::to_string(int(kind)));
            if (HasFatalFailure())
                return;
        }
    EXPECT_GT(hits, 1000); // the sweep is not all misses
}

// ---- Shape meshes -------------------------------------------------------------

struct MeshCase {
    const char* name;
    Vec3 p, d;
    float limit;
    bool hit;
    float t;
};

TEST(CollisionQuery, TriangleCasesIncludeEdgesAndCorners)
{
    // Normal (P1 - P0) x (P2 - P1) = +z.
    ShapeHold shape(MakeShape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}));
    const MeshCase cases[] = {
        {"through the middle", {0.25f, 0.25f, -1}, {0, 0, 2}, 1, true, 0.5f},
        {"on the long edge", {0.5f, 0.5f, -1}, {0, 0, 2}, 1, true, 0.5f},
        {"on a short edge", {0.5f, 0, -1}, {0, 0, 2}, 1, true, 0.5f},
        {"on the corner at the origin", {0, 0, -1}, {0, 0, 2}, 1, true, 0.5f},
        {"on the corner at x = 1", {1, 0, -1}, {0, 0, 2}, 1, true, 0.5f},
        {"just past the long edge", {0.5f, 0.502f, -1}, {0, 0, 2}, 1, false, 0},
        {"from the back side", {0.25f, 0.25f, 1}, {0, 0, -2}, 1, true, 0.5f},
        {"exactly at the limit", {0.25f, 0.25f, -1}, {0, 0, 1}, 1, true, 1},
        {"starting on the plane", {0.25f, 0.25f, 0}, {0, 0, 1}, 1, true, 0},
        {"pointing away", {0.25f, 0.25f, 1}, {0, 0, 1}, 1, false, 0},
        {"edge-on in the plane", {-1, 0.25f, 0}, {2, 0, 0}, 1, false, 0},
        {"a nearer hit already held", {0.25f, 0.25f, -1}, {0, 0, 2}, 0.4f, false, 0},
    };
    for (const MeshCase& c : cases) {
        CollisionHit hit{c.limit, {7, 7, 7}};
        EXPECT_EQ(CollideSegmentWithMesh(hit, shape.shape, c.p, c.d), c.hit) << c.name;
        if (c.hit) {
            EXPECT_NEAR(hit.fraction, c.t, 1e-6) << c.name;
            ExpectNormal(hit.normal, {0, 0, 1}, c.name);
        } else {
            EXPECT_EQ(hit.fraction, c.limit) << c.name;
        }
    }
}

TEST(CollisionQuery, DegenerateInputStaysBounded)
{
    // Collinear corners, an index past the vertices and a vertex format
    // without a position: nothing is hit and nothing is read out of bounds.
    ShapeHold flat(MakeShape({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 1, 2}));
    ShapeHold pastEnd(MakeShape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 7, 0, 1}));
    ShapeHold noPosition(MakeShape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, gfx::kFvfDiffuse));
    noPosition.shape->min_ = {0, 0, 0};
    noPosition.shape->max_ = {1, 1, 0};
    for (VeShape* shape : {flat.shape, pastEnd.shape, noPosition.shape, static_cast<VeShape*>(nullptr)}) {
        CollisionHit hit;
        EXPECT_FALSE(CollideSegmentWithMesh(hit, shape, {0.25f, 0.25f, -1}, {0, 0, 2}));
        EXPECT_FALSE(CollideTrajectoryWithMesh(hit, shape, {0.25f, 0.25f, -1}, {0, 0, 2}, {0, 0, 1}));
        EXPECT_EQ(hit.fraction, 1.0f);
    }
    ShapeHold good(MakeShape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}));
    const Vec3 bad[][3] = {
        {{kNaN, 0, 0}, {0, 0, 1}, {0, 0, 0}},
        {{0.25f, 0.25f, -1}, {0, 0, kNaN}, {0, kNaN, 0}},
        {{0.25f, 0.25f, -1}, {0, 0, 0}, {0, 0, 0}},
        {{0.25f, 0.25f, -1e30f}, {0, 0, 1e30f}, {0, 0, 1e30f}},
    };
    for (const auto& b : bad) {
        CollisionHit hit;
        CollideSegmentWithMesh(hit, good.shape, b[0], b[1]);
        CollideTrajectoryWithMesh(hit, good.shape, b[0], b[1], b[2]);
        CollideSegmentWithBox(hit, {0, 0, 0}, {1, 1, 1}, b[0], b[1]);
        CollideTrajectoryWithBox(hit, {0, 0, 0}, {1, 1, 1}, b[0], b[1], b[2]);
        EXPECT_TRUE(hit.fraction >= 0.0f && hit.fraction <= 1.0f) << hit.fraction;
    }
}

TEST(CollisionQuery, SphereBoundedShapeTestsItsSphere)
{
    ShapeHold shape(MakeShape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}));
    shape.shape->flags_ |= VeShape::kSkipBoxTest;
    const struct {
        Vec3 centre;
        float radius;
        bool hit;
    } cases[] = {{{0.3f, 0.3f, 0}, 1, true}, {{5, 5, 5}, 1, false}, {{0.25f, 0.25f, -1}, 0.1f, true}};
    for (const auto& c : cases) {
        shape.shape->sphereCentre_ = c.centre;
        shape.shape->sphereRadius_ = c.radius;
        CollisionHit hit;
        EXPECT_EQ(CollideSegmentWithMesh(hit, shape.shape, {0.25f, 0.25f, -1}, {0, 0, 2}), c.hit) << c.centre.x;
    }
}

std::vector<Vec3> RandomTriangles(std::mt19937& rng, int count)
{
    std::vector<Vec3> points;
    for (int i = 0; i < 3 * count; ++i)
        points.push_back(RandomVec(rng, 1.2f));
    return points;
}

std::vector<uint16_t> Sequence(size_t n)
{
    std::vector<uint16_t> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = uint16_t(i);
    return out;
}

TEST(CollisionQuery, MeshMatchesTheBruteForce)
{
    std::mt19937 rng(11);
    int hits = 0;
    for (int round = 0; round < 60; ++round) {
        const std::vector<Vec3> points = RandomTriangles(rng, 6);
        ShapeHold shape(MakeShape(points, Sequence(points.size())));
        for (Kind kind : kKinds)
            for (int i = 0; i < 60; ++i) {
                Vec3 p, v, a;
                const Motion m = RandomMotion(rng, kind, p, v, a);
                Answer want;
                for (size_t k = 0; k < points.size(); k += 3)
                    querytest::AgainstTriangle(want, m, points[k], points[k + 1], points[k + 2], 1.0);
                if (want.margin < 1e-3)
                    continue;
                CollisionHit hit;
                const bool got = RunQuery(
                    kind, hit, p, v, a,
                    [&](CollisionHit& h, const Vec3& s, const Vec3& d) {
                        return CollideSegmentWithMesh(h, shape.shape, s, d);
                    },
                    [&](CollisionHit& h, const Vec3& s, const Vec3& w, const Vec3& g) {
                        return CollideTrajectoryWithMesh(h, shape.shape, s, w, g);
                    });
                hits += got;
                Compare(want, got, hit, 1.0f,
                        "mesh round " + std::to_string(round) + " case " + std::to_string(i) + " kind " +
                            std::to_string(int(kind)));
                if (HasFatalFailure())
                    return;
            }
    }
    EXPECT_GT(hits, 1000);
}

TEST(CollisionQuery, RecordKeepsTheNearestOfSeveralQueries)
{
    ShapeHold nearTriangle(MakeShape({{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {0, 1, 2}));
    ShapeHold farTriangle(MakeShape({{0, 0, 3}, {0, 1, 3}, {1, 0, 3}}, {0, 1, 2}));
    for (bool nearFirst : {true, false}) {
        CollisionHit hit;
        const Vec3 p{0.2f, 0.2f, 0}, d{0, 0, 4};
        VeShape* order[2] = {nearFirst ? nearTriangle.shape : farTriangle.shape,
                             nearFirst ? farTriangle.shape : nearTriangle.shape};
        EXPECT_TRUE(CollideSegmentWithMesh(hit, order[0], p, d));
        EXPECT_EQ(CollideSegmentWithMesh(hit, order[1], p, d), !nearFirst);
        EXPECT_NEAR(hit.fraction, 0.25f, 1e-6);
        ExpectNormal(hit.normal, {0, 0, 1}, "near triangle's normal");
    }
}

// ---- Shape trees and objects -----------------------------------------------------

// World matrices of every node with a shape, found by walking the tree.
void CollectTriangles(ShapeInstance& node, const Matrix34& parent, std::vector<std::array<D3, 3>>& out)
{
    const Matrix34 world = parent * node.local_.Matrix();
    const auto place = [&](const Vec3& q) {
        D3 r;
        double c[3];
        for (int row = 0; row < 3; ++row)
            c[row] = double(world.m[row][0]) * q.x + double(world.m[row][1]) * q.y + double(world.m[row][2]) * q.z +
                     world.m[row][3];
        r = {c[0], c[1], c[2]};
        return r;
    };
    if (VeShape* shape = node.slots_[0])
        for (SubMesh* mesh : shape->SubMeshes())
            for (size_t i = 0; i + 3 <= mesh->indices.size(); i += 3)
                out.push_back({place(*reinterpret_cast<const Vec3*>(mesh->Vertex(mesh->indices[i]))),
                               place(*reinterpret_cast<const Vec3*>(mesh->Vertex(mesh->indices[i + 1]))),
                               place(*reinterpret_cast<const Vec3*>(mesh->Vertex(mesh->indices[i + 2])))});
    for (ShapeInstance* child : node.children_)
        CollectTriangles(*child, world, out);
}

ShapeInstance* Node(VeShape* shape, const Vec3& at, const Vec3& axis, float radians)
{
    ShapeInstance* node = shape ? ShapeInstance::FromShape(shape, true) : new ShapeInstance;
    if (shape)
        shape->Release();
    node->local_.SetPosition(at);
    node->local_.SetOrientation(Quaternion::FromAxisAngle(axis.Normalised(), radians));
    return node;
}

// A root turned and moved; under it a part with a shape that carries a part
// of its own, and a shapeless joint two levels above another part.
std::unique_ptr<ShapeInstance> NestedTree(std::mt19937& rng)
{
    const auto shape = [&] {
        const std::vector<Vec3> points = RandomTriangles(rng, 4);
        return MakeShape(points, Sequence(points.size()));
    };
    std::unique_ptr<ShapeInstance> root(Node(nullptr, {0.5f, -0.25f, 0.1f}, {0, 1, 0}, 0.6f));
    ShapeInstance* arm = Node(shape(), {-0.8f, 0, 0.3f}, {1, 0, 0}, 0.9f);
    arm->AppendChild(Node(shape(), {0.4f, 0.6f, 0}, {0, 0, 1}, -0.5f));
    ShapeInstance* joint = Node(nullptr, {0.7f, 0.1f, -0.2f}, {1, 1, 0}, 1.1f);
    ShapeInstance* inner = Node(nullptr, {0, -0.3f, 0.2f}, {0, 1, 1}, -0.7f);
    inner->AppendChild(Node(shape(), {0.2f, 0, 0.5f}, {1, 0, 1}, 0.4f));
    joint->AppendChild(inner);
    root->AppendChild(arm);
    root->AppendChild(joint);
    return root;
}

TEST(CollisionQuery, NestedTreeMatchesTheBruteForce)
{
    std::mt19937 rng(23);
    int hits = 0;
    for (int round = 0; round < 20; ++round) {
        std::unique_ptr<ShapeInstance> root = NestedTree(rng);
        std::vector<std::array<D3, 3>> triangles;
        CollectTriangles(*root, Matrix34::kIdentity, triangles);
        for (Kind kind : kKinds)
            for (int i = 0; i < 100; ++i) {
                Vec3 p, v, a;
                const Motion m = RandomMotion(rng, kind, p, v, a);
                Answer want;
                for (const auto& t : triangles)
                    querytest::AgainstTriangle(want, m, t[0], t[1], t[2], 1.0);
                if (want.margin < 1e-3)
                    continue;
                CollisionHit hit;
                const bool got = RunQuery(
                    kind, hit, p, v, a,
                    [&](CollisionHit& h, const Vec3& s, const Vec3& d) {
                        return CollideSegmentWithShapeTree(h, *root, s, d);
                    },
                    [&](CollisionHit& h, const Vec3& s, const Vec3& w, const Vec3& g) {
                        return CollideTrajectoryWithShapeTree(h, *root, s, w, g);
                    });
                hits += got;
                Compare(want, got, hit, 1.0f, "tree round " + std::to_string(round) + " case " + std::to_string(i) + " kind " + std::to_string(int(kind)));
                if (HasFatalFailure())
                    return;
            }
    }
    EXPECT_GT(hits, 500);
}

struct ObjectHold {
    VeObject* object;
    explicit ObjectHold(VeObject* o) : object(o) {}
    ~ObjectHold() { object->Release(); }
};

TEST(CollisionQuery, PlacedObjectMatchesTheBruteForce)
{
    std::mt19937 rng(31);
    int hits = 0, boundHits = 0;
    for (int round = 0; round < 20; ++round) {
        const std::vector<Vec3> points = RandomTriangles(rng, 5);
        VeShape* shape = MakeShape(points, Sequence(points.size()));
        ObjectHold held(VeObject::FromShape(shape, true));
        shape->Release();
        VeObject& object = *held.object;
        object.placement_.SetPosition(RandomVec(rng, 0.5f));
        object.placement_.SetOrientation(Quaternion::FromAxisAngle(RandomVec(rng, 1).Normalised(), 0.3f * round));
        std::vector<std::array<D3, 3>> triangles;
        CollectTriangles(*object.Root(), object.placement_.Matrix(), triangles);
        const Matrix34 inverse = object.placement_.Matrix().RigidInverse();
        for (Kind kind : kKinds)
            for (int i = 0; i < 100; ++i) {
                Vec3 p, v, a;
                const Motion m = RandomMotion(rng, kind, p, v, a);
                Answer want;
                for (const auto& t : triangles)
                    querytest::AgainstTriangle(want, m, t[0], t[1], t[2], 1.0);
                // The bounds form meets the object's own box, seen in its frame.
                Answer wantBox;
                const Motion local{D3(inverse.TransformPoint(p)), D3(inverse.TransformVector(v)),
                                   D3(inverse.TransformVector(a))};
                querytest::AgainstBox(wantBox, local, D3(object.minimum_), D3(object.maximum_), 1.0);
                if (want.margin < 1e-3 || wantBox.margin < 1e-3)
                    continue;
                CollisionHit hit, boxHit;
                const bool got = RunQuery(
                    kind, hit, p, v, a,
                    [&](CollisionHit& h, const Vec3& s, const Vec3& d) { return CollideSegmentWithObject(h, object, s, d); },
                    [&](CollisionHit& h, const Vec3& s, const Vec3& w, const Vec3& g) {
                        return CollideTrajectoryWithObject(h, object, s, w, g);
                    });
                const bool gotBox = RunQuery(
                    kind, boxHit, p, v, a,
                    [&](CollisionHit& h, const Vec3& s, const Vec3& d) {
                        return CollideSegmentWithObjectBounds(h, object, s, d);
                    },
                    [&](CollisionHit& h, const Vec3& s, const Vec3& w, const Vec3& g) {
                        return CollideTrajectoryWithObjectBounds(h, object, s, w, g);
                    });
                hits += got;
                boundHits += gotBox;
                const std::string what = "object round " + std::to_string(round) + " case " + std::to_string(i);
                Compare(want, got, hit, 1.0f, what);
                ASSERT_EQ(gotBox, wantBox.hit) << what;
                if (gotBox) {
                    EXPECT_NEAR(boxHit.fraction, wantBox.t, 1e-4 * (1 + wantBox.t)) << what;
                }
                if (got) {
                    EXPECT_LE(boxHit.fraction, hit.fraction + 1e-5) << what; // the box holds the shape
                }
                if (HasFatalFailure())
                    return;
            }
    }
    EXPECT_GT(hits, 500);
    EXPECT_GT(boundHits, hits);
}

} // namespace

// Objects' collision geometry in the level: where their trees put it, how it
// moves and what is left when it goes; and the level built on an object.
#include "Veapi/model_support.h"
#include "Veapi/ve_shape.h"
#include "world/level_fixture.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace leveltest;
using namespace modeltest;

namespace {

constexpr int32_t kDoorClass = 0x2000;

// A shape whose collision geometry is one ground square of `size` at height
// y, from (x0, z0); the caller holds the shape's one use.
VeShape* SquareShape(float x0, float z0, float y, float size, int32_t flags = 0)
{
    CollisionSource s;
    AddPolygon(s, {{x0, y, z0}, {x0 + size, y, z0}, {x0 + size, y, z0 + size}, {x0, y, z0 + size}}, flags);
    auto* shape = new VeShape;
    shape->geometry_ = std::make_unique<ShapeGeometry>();
    shape->geometry_->points = s.points;
    shape->geometry_->triangles = s.triangles;
    shape->geometry_->quads = s.quads;
    return shape;
}

VeObject* ObjectOf(VeShape* shape)
{
    VeObject* object = VeObject::FromShape(shape, false);
    shape->Release();
    return object;
}

// A node whose first key places it at `at`, turned about y.
Hierarchy* PlacedNode(const std::string& name, VeShape* shape, const Vec3& at, float turn)
{
    std::vector<std::unique_ptr<Sequence>> sequences;
    sequences.push_back(MakeSequence(0, 10, {{0, at, turn}}));
    Hierarchy* node = MakeNode(name, MakeSet(std::move(sequences)));
    node->shapes_[0] = shape;
    return node;
}

bool OwnedBy(const CollisionPolygon* p, const CollisionMesh* mesh)
{
    return p && mesh && mesh->Owns(p);
}

// Every link ends at a live polygon of the table that links back.
void ExpectLinksSound(const Level& level)
{
    for (CollisionMesh* mesh : level.Meshes())
        mesh->ForEachPolygon([&](CollisionPolygon& p) {
            for (uint32_t i = 0; i < p.LinkCount(); ++i) {
                CollisionPolygon* q = p.LinkAt(i);
                EXPECT_EQ(level.PolygonAt(q->tableIndex_), q);
                EXPECT_TRUE(q->IsLinkedTo(&p));
            }
        });
}

} // namespace

// A door object placed in the gap of a floor: its polygon is found only
// where it stands, moves with the object when added again, and once removed
// leaves no polygon, no table slot and no link behind.
TEST(LevelObject, GeometryFollowsThePlacementAndGoesWithoutTrace)
{
    CollisionSource floor;
    AddFloor(floor, 0, 0, 0, 2, 2); // 0..4
    AddFloor(floor, 6, 0, 0, 2, 2); // 6..10: gaps from 4 to 6 ...
    AddFloor(floor, 0, 6, 0, 2, 2); // ... and from z 4 to 6
    ObjectRef door(ObjectOf(SquareShape(0, 0, 0, 2, kDoorClass)));
    auto level = MakeLevel(floor, 10, 1, 10);
    const uint32_t floorLinks = [&] {
        uint32_t n = 0;
        level->FindMesh(nullptr)->ForEachPolygon([&](CollisionPolygon& p) { n += p.LinkCount(); });
        return n;
    }();

    struct Case {
        Vec3 at;        // the object's position
        Vec3 inside;    // a point over it
        Vec3 elsewhere; // where it stood before, if it moved
    };
    const Case cases[] = {
        {{4, 0, 0}, {5, -0.5f, 1}, {5, -0.5f, 7}},
        {{0, 0, 4}, {1, -0.5f, 5}, {5, -0.5f, 1}},
        {{4, 0, 0}, {5.5f, -0.5f, 0.5f}, {1, -0.5f, 5}},
    };
    for (const Case& c : cases) {
        door->placement_.SetPosition(c.at);
        CollisionMesh* mesh = level->AddObjectGeometry(door.o);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->owner_, door->Root());
        EXPECT_EQ(level->Meshes().Count(), 2u); // moved, not doubled
        EXPECT_TRUE(OwnedBy(level->FindPolygonAt(c.inside), mesh));
        EXPECT_EQ(level->FindPolygonAt(c.elsewhere), nullptr);

        // Opened, the door links to the floor on both sides.
        level->FindMesh(nullptr)->ForEachPolygon([&](CollisionPolygon& p) { level->LinkClassNeighbours(p); });
        EXPECT_EQ(mesh->quads_[0].LinkCount(), 2u);
        ExpectLinksSound(*level);
    }

    const uint32_t index = level->FindMesh(door->Root())->quads_[0].tableIndex_;
    ASSERT_TRUE(level->RemoveObjectGeometry(door.o));
    EXPECT_EQ(level->FindMesh(door->Root()), nullptr);
    EXPECT_EQ(level->PolygonAt(index), nullptr);
    for (const Case& c : cases)
        EXPECT_EQ(level->FindPolygonAt(c.inside), nullptr);
    uint32_t links = 0;
    level->FindMesh(nullptr)->ForEachPolygon([&](CollisionPolygon& p) { links += p.LinkCount(); });
    EXPECT_EQ(links, floorLinks);
    ExpectLinksSound(*level);

    EXPECT_FALSE(level->RemoveObjectGeometry(door.o)); // already gone
    EXPECT_FALSE(level->RemoveObjectGeometry(nullptr));
    EXPECT_EQ(level->AddObjectGeometry(nullptr), nullptr);
}

// Every node of a model tree brings its own polygons, placed by the turns
// and offsets of the nodes above it and by the object's own placement; a
// node without a shape only passes its transform on.
TEST(LevelObject, TreeNodesContributeAtTheirNodeTransforms)
{
    const float half = std::numbers::pi_v<float>;
    // Root at (1, 0, 0); an empty joint at (4, 0, 0) below it, turned half
    // round; the arm 2 further along the joint's (turned) x.
    Hierarchy* root = PlacedNode("root", SquareShape(0, 0, 0, 1), {1, 0, 0}, 0);
    Hierarchy* joint = PlacedNode("joint", nullptr, {4, 0, 0}, half);
    Hierarchy* arm = PlacedNode("arm", SquareShape(0, 0, 0, 1), {2, 0, 0}, 0);
    joint->children_.PushBack(arm);
    root->children_.PushBack(joint);
    HierarchyRef tree(root);
    ObjectRef object(VeObject::FromHierarchy(root, false));
    object->placement_.SetPosition({10, 0, 10});

    CollisionSource floor;
    AddFloor(floor, 0, 0, 2, 10, 2); // 0..20, below everything
    auto level = MakeLevel(floor, 10, 2, 10);
    CollisionMesh* mesh = level->AddObjectGeometry(object.o);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->PolygonCount(), 2u);

    // Root square: x 11..12, z 10..11. Arm: the joint at x 15 turns it half
    // round, so it lies at x 12..13 (15 - 2 - 1 .. 15 - 2), z 9..10.
    struct Case {
        Vec3 point;
        bool object;
    };
    const Case cases[] = {
        {{11.5f, -0.5f, 10.5f}, true},
        {{12.5f, -0.5f, 9.5f}, true},
        {{17.5f, -0.5f, 10.5f}, false}, // where the arm would be unturned
        {{11.5f, -0.5f, 9.5f}, false},  // where it would be without the root's offset
    };
    for (const Case& c : cases) {
        const CollisionPolygon* found = level->FindPolygonAt(c.point);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(mesh->Owns(found), c.object) << c.point.x << ", " << c.point.z;
        if (c.object) {
            Vec3 snapped = c.point;
            ASSERT_TRUE(level->SnapToPolygon(snapped));
            EXPECT_NEAR(snapped.y, 0.0f, 1e-4f);
        }
    }
}

// The level made from a model tree: the lent collision stands in for the
// first node with a shape, the other nodes give their own, and the level
// mesh belongs to the tree's root.
TEST(LevelObject, LevelTreeTakesTheLentCollisionForItsFirstShapedNode)
{
    CollisionSource lent;
    AddFloor(lent, 0, 0, 0, 2, 2); // 0..4
    struct Case {
        const CollisionSource* collision;
        uint32_t polygons;
        bool floorFound;
    };
    const Case cases[] = {{&lent, 5, true}, {nullptr, 1, false}};
    for (const Case& c : cases) {
        // The root's own square at x 0..1 is drawing only: the lent floor
        // replaces it. The child's square sits at x 6..7.
        Hierarchy* root = PlacedNode("root", SquareShape(0, 0, -3, 1), {0, 0, 0}, 0);
        root->children_.PushBack(PlacedNode("child", SquareShape(0, 0, 0, 1), {6, 0, 0}, 0));
        HierarchyRef tree(root);
        ObjectRef object(VeObject::FromHierarchy(root, false));
        Level level(*object.o, {0, 0, 0}, c.collision);
        level.BuildCellGrid(4, 1, 4);
        EXPECT_EQ(level.GetShapeRoot(), object->Root());
        const CollisionMesh* mesh = level.FindMesh(level.GetShapeRoot());
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->PolygonCount(), c.polygons);
        EXPECT_EQ(level.FindPolygonAt({1, -0.5f, 1}) != nullptr, c.floorFound);
        // Never the root's own square, which lies above the floor.
        const CollisionPolygon* under = level.FindPolygonAt({0.5f, -3.5f, 0.5f});
        EXPECT_EQ(under != nullptr, c.floorFound);
        if (under) {
            EXPECT_EQ(under->Centre()->y, 0.0f);
        }
        EXPECT_TRUE(OwnedBy(level.FindPolygonAt({6.5f, -0.5f, 0.5f}), mesh));
        level.RebuildMeshes(); // no device: nothing to build, nothing breaks
    }
}

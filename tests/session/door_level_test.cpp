// Doors on a real level: a floor with a gap and a door object standing in
// it, declared, opened and closed by number, and attached and detached as a
// lift would be.
#include "session/doors.h"

#include "Veapi/model_support.h"
#include "Veapi/ve_shape.h"
#include "world/level_fixture.h"

#include <gtest/gtest.h>

using namespace leveltest;
using namespace modeltest;

namespace {

constexpr int32_t kDoorClass = 0x2000;

VeObject* DoorObject()
{
    CollisionSource s;
    AddPolygon(s, {{4, 0, 0}, {6, 0, 0}, {6, 0, 2}, {4, 0, 2}}, kDoorClass);
    auto* shape = new VeShape;
    shape->geometry_ = std::make_unique<ShapeGeometry>();
    shape->geometry_->points = s.points;
    shape->geometry_->triangles = s.triangles;
    shape->geometry_->quads = s.quads;
    VeObject* object = VeObject::FromShape(shape, false);
    shape->Release();
    return object;
}

TEST(DoorLevel, DeclaredDoorsOpenCloseAttachAndDetach)
{
    CollisionSource floor;
    // The floor around the door carries a class of its own: a door links
    // only to polygons of a class it lacks.
    AddFloor(floor, 0, 0, 0, 2, 2, 0x4000);
    AddFloor(floor, 6, 0, 0, 2, 2, 0x4000);
    auto level = MakeLevel(floor, 10, 1, 10);
    ObjectRef door(DoorObject());
    CollisionMesh* mesh = level->AddObjectGeometry(door.o);
    ASSERT_NE(mesh, nullptr);
    CollisionPolygon& quad = mesh->quads_[0];
    ASSERT_EQ(quad.LinkCount(), 0u);

    Doors::Clear();
    EXPECT_FALSE(Doors::Declare(*level, {50, -0.5f, 50}, 7)) << "no polygon there";
    ASSERT_TRUE(Doors::Declare(*level, {5, -0.5f, 1}, 7));
    ASSERT_EQ(Doors::All().size(), 1u);
    EXPECT_EQ(Doors::All()[0].polygons, std::vector<CollisionPolygon*>{&quad});

    const struct {
        bool (*action)(LevelGrid&, int32_t);
        int32_t number;
        bool result;
        uint32_t links;
        bool closed;
    } steps[] = {
        {Doors::Open, 7, true, 2, false},
        {Doors::Close, 7, true, 0, true},
        {Doors::Open, 8, false, 0, true},  // no such door: nothing changes
        {Doors::Open, 7, true, 2, false},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.action(*level, s.number), s.result);
        EXPECT_EQ(quad.LinkCount(), s.links);
        EXPECT_EQ(Doors::All()[0].closed, s.closed);
    }
    Doors::Detach(*level, *mesh);
    EXPECT_EQ(quad.LinkCount(), 0u);
    Doors::Attach(*level, *mesh);
    EXPECT_EQ(quad.LinkCount(), 2u);
    Doors::Clear();
    level->RemoveObjectGeometry(door.o);
}

} // namespace

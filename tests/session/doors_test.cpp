// The door flood over class-bit neighbours against a brute-force closure on
// random link graphs, and the door list's switches by number.
#include "session/doors.h"

#include "world/collision_polygon.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <vector>

namespace {

struct Graph {
    std::vector<std::unique_ptr<CollisionTriangle>> polygons;
};

Graph RandomGraph(uint32_t seed, int count, int links)
{
    std::mt19937 random(seed);
    Graph g;
    for (int i = 0; i < count; ++i) {
        g.polygons.push_back(std::make_unique<CollisionTriangle>());
        // Two of five class bits, or none; plus bits outside the class mask.
        const uint32_t bits[] = {0, 0x2000, 0x4000, 0x8000, 0x10000, 0x20000, 0x6000};
        g.polygons.back()->flags_ = bits[random() % 7] | 0x40 | 0x1;
    }
    for (int i = 0; i < links; ++i) {
        CollisionPolygon* a = g.polygons[random() % count].get();
        CollisionPolygon* b = g.polygons[random() % count].get();
        if (a != b && !a->IsLinkedTo(b)) {
            a->AddLink(b);
            b->AddLink(a);
        }
    }
    return g;
}

// Grows the set until no linked polygon sharing a class bit with a member
// is left outside.
std::set<CollisionPolygon*> Closure(CollisionPolygon& start)
{
    std::set<CollisionPolygon*> in{&start};
    for (bool grew = true; grew;) {
        grew = false;
        for (CollisionPolygon* p : std::vector<CollisionPolygon*>(in.begin(), in.end()))
            for (uint32_t i = 0; i < p->LinkCount(); ++i) {
                CollisionPolygon* n = p->LinkAt(i);
                if ((n->flags_ & p->flags_ & polygon_flags::kClassMask) && in.insert(n).second)
                    grew = true;
            }
    }
    return in;
}

TEST(DoorFlood, MatchesTheClosureOnRandomGraphs)
{
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        Graph g = RandomGraph(seed, 200, 400);
        for (int start : {0, 17, 99}) {
            CollisionPolygon& s = *g.polygons[size_t(start)];
            const std::vector<CollisionPolygon*> door = Doors::Flood(s);
            ASSERT_FALSE(door.empty());
            EXPECT_EQ(door.front(), &s);
            const std::set<CollisionPolygon*> unique(door.begin(), door.end());
            EXPECT_EQ(unique.size(), door.size()) << "each polygon once";
            EXPECT_EQ(unique, Closure(s));
        }
    }
}

TEST(DoorFlood, AStartWithoutClassNeighboursIsADoorOfOne)
{
    CollisionTriangle a, b;
    a.flags_ = 0x2000;
    b.flags_ = 0x4000;
    a.AddLink(&b);
    b.AddLink(&a);
    EXPECT_EQ(Doors::Flood(a), std::vector<CollisionPolygon*>{&a});
}

TEST(DoorList, SwitchesTakeTheFirstEntryOfTheirNumber)
{
    Doors::Clear();
    Doors::All().push_back({3, {}, false});
    Doors::All().push_back({3, {}, false});
    EXPECT_FALSE(Doors::Open(3)) << "no level: nothing to link";
    EXPECT_FALSE(Doors::Close(9));
    Doors::Clear();
    EXPECT_TRUE(Doors::All().empty());
}

} // namespace

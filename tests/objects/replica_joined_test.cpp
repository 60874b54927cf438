// On a client that joined a game no server runs in the program, so the
// replicas keep the level's polygons themselves: a footprint marks the floor
// under it, a lift's mesh rides with it (cut off from paths while it runs,
// joined again at its end), and a looping lift starts again by itself.
#include "client_fixture.h"

#include "../world/level_fixture.h"
#include "Veapi/bounding_box.h"
#include "Veapi/ve_shape.h"
#include "app/read_write_lock.h"
#include "world/collision_polygon.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <cstring>
#include <memory>

namespace {

constexpr int32_t kLiftClass = 0x2000, kLandingClass = 0x4000;

class JoinedClient : public ClientWorld {
protected:
    // Two 4 x 4 m floor squares along x (0..8), the second a landing of a
    // class of its own, laid out in cells.
    void SetUp() override
    {
        ClientWorld::SetUp();
        leveltest::AddPolygon(floor_, {{0, 0, 0}, {4, 0, 0}, {4, 0, 4}, {0, 0, 4}});
        leveltest::AddPolygon(floor_, {{4, 0, 0}, {8, 0, 0}, {8, 0, 4}, {4, 0, 4}}, kLandingClass);
        level_ = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &floor_);
        level_->BuildCellGrid(4, 1, 4);
        level_->LinkPolygons();
        Level::Current() = level_.get();
    }
    void TearDown() override
    {
        Empty();
        Level::Current() = nullptr;
        level_.reset();
        ClientWorld::TearDown();
    }

    CollisionPolygon* FloorAt(float x, float z) const
    {
        LockGuard guard(level_->lock_, false);
        return level_->FindPolygonAt({x, -0.5f, z});
    }

    // A lift role: a 4 x 4 m platform of the lift's class about its
    // position, with one drawn sub-mesh in a shared vertex buffer.
    script::Role& LiftRole()
    {
        script::Role& role = NewRole(8);
        CollisionSource platform;
        leveltest::AddPolygon(platform, {{-2, 0, -2}, {2, 0, -2}, {2, 0, 2}, {-2, 0, 2}}, kLiftClass);
        auto* shape = new VeShape;
        shape->geometry_ = std::make_unique<ShapeGeometry>();
        shape->geometry_->points = platform.points;
        shape->geometry_->quads = platform.quads;
        SubMesh* drawn = shape->AddSubMesh(3, 3, gfx::kFvfVertex, false);
        drawn->indices = {0, 1, 2};
        SharedVertexBuffer::Attach(drawn, true);
        shape->min_ = {-2, -0.1f, -2};
        shape->max_ = {2, 0, 2};
        role.shape.shape = std::shared_ptr<void>(shape, [](void* s) { static_cast<VeShape*>(s)->Release(); });
        return role;
    }

    CollisionSource floor_;
    std::unique_ptr<Level> level_;
};

TEST_F(JoinedClient, AFootprintMarksTheFloorUnderItWhileItStands)
{
    script::Role& role = NewRole(5);
    GiveBoxShape(role, {-1, -1, -1}, {1, 0, 1});
    for (const bool serverHere : {false, true}) {
        SCOPED_TRACE(serverHere ? "a server in this program" : "a joined client");
        ClientServices::Get().serverRunsHere = serverHere;
        auto* print = Make<TypedObject5>(role, kEnemySide, {2, 0, 2});
        CollisionPolygon* under = FloorAt(2, 2);
        CollisionPolygon* beside = FloorAt(6, 2);
        ASSERT_TRUE(under && beside);
        EXPECT_EQ((under->flags_ & 0x100) != 0, !serverHere);
        EXPECT_EQ(beside->flags_ & 0x100, 0u);
        EXPECT_EQ(print->Marked().size(), serverHere ? 0u : 1u);
        print->Remove();
        EXPECT_EQ(under->flags_ & 0x100, 0u) << "the marks go with it";
    }
}

TEST_F(JoinedClient, ALiftsMeshRidesWithItAndLeavesPathsWhileItRuns)
{
    const Vec3 home{10, 0, 2};
    // Up three metres and back home.
    const Vec3 track[4] = {home, home + Vec3{0, -4, 0}, home + Vec3{0, -4, 0}, home};
    for (const bool serverHere : {false, true}) {
        SCOPED_TRACE(serverHere ? "a server in this program" : "a joined client");
        ClientServices::Get().serverRunsHere = serverHere;
        script::Role& role = LiftRole();
        auto* lift = Make<TypedObject8>(role, 0, home);
        // Only a client without a server files (and so moves) the lift's mesh.
        ASSERT_EQ(lift->Mesh() != nullptr, !serverHere);
        SubMesh* drawn = *static_cast<VeShape*>(role.shape.shape.get())->SubMeshes().begin();
        ASSERT_NE(drawn->shared, nullptr);
        lift->SetPartHierarchy(track, Quaternion::Identity(), true);
        EXPECT_EQ(drawn->shared, nullptr) << "its meshes move on their own";
        lift->SetSpeed(0.5f);
        if (serverHere) {
            lift->Remove();
            continue;
        }
        CollisionPolygon* platform = nullptr;
        lift->Mesh()->ForEachPolygon([&](CollisionPolygon& p) { platform = &p; });
        CollisionPolygon* landing = FloorAt(6, 2);
        ASSERT_TRUE(platform && landing);
        {
            // The level joins the lift to its landing.
            LockGuard guard(level_->lock_, true);
            level_->LinkClassNeighbours(*platform);
        }
        ASSERT_TRUE(platform->IsLinkedTo(landing));

        lift->SetState(true);  // starts it
        ASSERT_TRUE(lift->Running());
        EXPECT_FALSE(platform->IsLinkedTo(landing)) << "no path leads over a moving lift";
        EXPECT_FALSE(landing->IsLinkedTo(platform));
        lift->Update(Ticks(1.0f), 1.0f);  // half way: at the top
        const float top = lift->Position().y;
        EXPECT_LT(top, -2.0f);
        {
            LockGuard guard(level_->lock_, false);
            CollisionPolygon* found = level_->FindPolygonAt({10, top - 0.5f, 2});
            EXPECT_EQ(found, platform) << "found where the lift is";
            ASSERT_NE(found, nullptr);
            EXPECT_NEAR(found->Centre()->y, top, 1e-4f);
        }
        lift->Update(Ticks(2.5f), 2.5f);  // home again
        EXPECT_FALSE(lift->Running());
        EXPECT_NEAR(platform->Centre()->y, 0.0f, 1e-4f);
        EXPECT_TRUE(platform->IsLinkedTo(landing)) << "joined again where it stopped";
        lift->Remove();
    }
    ClientServices::Get().serverRunsHere = false;
}

// A lift's shape carries the fog map's coordinates of where it is as it
// runs, whoever moves its collision mesh.
TEST_F(JoinedClient, ARunningLiftsFogCoordinatesFollowIt)
{
    FogOfWar fog(16, 2048);
    fog.SetWorldArea(0, 0, 64, 64);  // u = x / 64
    FogOfWar::Global() = &fog;
    const Vec3 home{10, 0, 2};
    const Vec3 track[4] = {home, home + Vec3{10, 0, 0}, home + Vec3{20, 0, 0}, home + Vec3{20, 0, 0}};
    for (const bool serverHere : {false, true}) {
        SCOPED_TRACE(serverHere ? "a server in this program" : "a joined client");
        ClientServices::Get().serverRunsHere = serverHere;
        script::Role& role = NewRole(8);
        auto* shape = new VeShape;
        SubMesh* drawn = shape->AddSubMesh(3, 3, gfx::kFvfXyz | gfx::kFvfTex2, false);
        const Vec3 corner{-2, 0, -2};
        std::memcpy(drawn->Vertex(0), &corner, sizeof corner);
        drawn->indices = {0, 1, 2};
        shape->min_ = {-2, -0.1f, -2};
        shape->max_ = {2, 0, 2};
        role.shape.shape = std::shared_ptr<void>(shape, [](void* s) { static_cast<VeShape*>(s)->Release(); });
        auto* lift = Make<TypedObject8>(role, 0, home);
        lift->SetPartHierarchy(track, Quaternion::Identity(), true);
        lift->SetSpeed(0.5f);
        lift->SetState(true);
        lift->Update(Ticks(2.5f), 2.5f);  // there
        ASSERT_FALSE(lift->Running());
        float uv[2];
        std::memcpy(uv, drawn->vertices.data() + drawn->Stride() - 8, sizeof uv);
        EXPECT_NEAR(uv[0], (30.0f - 2.0f) / 64.0f, 1e-5f);
        EXPECT_NEAR(uv[1], (2.0f - 2.0f) / 64.0f, 1e-5f);
        lift->Remove();
    }
    ClientServices::Get().serverRunsHere = false;
    FogOfWar::Global() = nullptr;
}

// A lift told to loop starts again once the interval since its last start
// has passed, without waiting for the server; a paused one stays.
TEST_F(JoinedClient, ALoopingLiftStartsAgainByItself)
{
    const Vec3 track[4] = {{0, 0, 0}, {0, -1, 0}, {0, -2, 0}, {0, -3, 0}};
    const struct {
        const char* name;
        bool loops, paused;
        bool restarted;
    } rows[] = {
        {"looping", true, false, true},
        {"not looping", false, false, false},
        {"looping but paused", true, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto* lift = Make<TypedObject8>(NewRole(8), 0, {20, 0, 20});
        lift->SetPartHierarchy(track, Quaternion::Identity(), false);
        lift->SetSpeed(1.0f);
        if (row.loops)
            lift->SetLoopInterval(Ticks(4.0f));
        lift->SetState(true);  // starts at 0
        lift->Update(Ticks(1.5f), 1.5f);
        ASSERT_FALSE(lift->Running()) << "at the top after a second";
        if (row.paused) {
            lift->SetState(false);  // down again from 1.5 ...
            lift->PauseTimer(Ticks(1.6f));  // ... and held at once
            ASSERT_FALSE(lift->Running());
        }
        lift->Update(Ticks(3.9f), 3.9f);
        EXPECT_FALSE(lift->Running()) << "not before the interval";
        lift->Update(Ticks(6.0f), 6.0f);
        EXPECT_EQ(lift->Running(), row.restarted);
        lift->Remove();
    }
}

} // namespace

// Replicas slide over the level's polygons with their movers between the
// server's reports: they stand on the plane, stop at edges they may not
// cross, and a squad member may enter what the others may not.
#include "client_fixture.h"
#include "navigation_fixture.h"

#include "Veapi/ve_object.h"
#include "world/collision_polygon.h"
#include "world/mover.h"

#include <cmath>

namespace {

class ReplicaMover : public ClientWorld {
protected:
    void SetUp() override
    {
        ClientWorld::SetUp();
        // Row 1: a masked cell at x = 3 and a hole at x = 6.
        grid = navtest::MakeGridLevel({".......", "...x..#", "......."});
        Level::Current() = grid.level.get();
    }
    void TearDown() override
    {
        Empty();  // the movers leave while their level is still current
        Level::Current() = nullptr;
        ClientWorld::TearDown();
    }

    script::Role& Walker()
    {
        script::Role& role = NewRole(2);
        role.character->radius = 0.25f;
        return role;
    }

    // Walks the replica for `seconds` toward `next` from a report at `from`.
    void Walk(MovingObject& object, const Vec3& from, const Vec3& next, uint32_t polygonWord, float seconds)
    {
        MotionRecord record;
        record.position = from;
        record.orientation = YawOrientation(1024);  // facing +x
        record.polygon = polygonWord;
        object.ApplyMoving(next, record, next);
        for (int frame = 1; frame <= static_cast<int>(seconds * 10); ++frame) {
            const float s = 0.1f * static_cast<float>(frame);
            object.Update(Ticks(s), s);
        }
    }

    navtest::GridLevel grid;
};

TEST_F(ReplicaMover, WalkersStandOnTheFloorAndStopWhereTheirBarriersSay)
{
    const struct {
        const char* what;
        int32_t side;
        Vec3 from, next;
        uint32_t polygonWord;
        float lowestX, highestX;  // where the walk must end
    } rows[] = {
        {"an enemy stops before the masked cell", kEnemySide, {0.5f, -3, 1.5f}, {5.5f, 0, 1.5f},
         MotionRecord::kNoPolygon, 2.0f, 3.0f},
        {"a squad member crosses it (steering stops 0.2 m short)", kOwnSide, {0.5f, -3, 1.5f}, {5.5f, 0, 1.5f},
         0x00FFFFF0u, 5.29f, 5.5f},
        {"nobody walks into a hole", kOwnSide, {4.5f, 0, 1.5f}, {6.5f, 0, 1.5f}, MotionRecord::kNoPolygon, 5.0f,
         6.0f},
    };
    for (const auto& row : rows) {
        script::Role& role = Walker();
        WorldObject* made = WorldObject::CreateByRole(row.side, &role, row.from, YawOrientation(1024));
        made->Activate(0, 0);
        auto* walker = dynamic_cast<MovingObject*>(made);
        ASSERT_NE(walker, nullptr) << row.what;
        ASSERT_NE(walker->GetMover(), nullptr) << row.what;
        Walk(*walker, row.from, row.next, row.polygonWord, 3.0f);
        const Vec3 at = walker->Position();
        EXPECT_GE(at.x, row.lowestX) << row.what;
        EXPECT_LE(at.x, row.highestX) << row.what;
        EXPECT_NEAR(at.z, 1.5f, 0.05f) << row.what;
        EXPECT_EQ(at.y, 0.0f) << row.what;  // on the plane, never where the report put it
        EXPECT_EQ(walker->GetPolygon(), grid.At(static_cast<int>(at.x), 1)) << row.what;
        walker->Remove();
    }
}

TEST_F(ReplicaMover, AReportNamingAPolygonPutsTheMoverOnIt)
{
    script::Role& role = Walker();
    auto* walker = Make<MovingObject>(role, kEnemySide, {0.5f, 0, 0.5f});
    ASSERT_NE(walker, nullptr);
    const CollisionPolygon* target = grid.At(4, 2);
    ASSERT_NE(target, nullptr);
    MotionRecord record;
    record.position = {4.5f, 0, 2.5f};
    record.polygon = target ? target->tableIndex_ : 0;
    walker->ApplyStopped(record);
    EXPECT_EQ(walker->GetPolygon(), target);
    walker->Update(Ticks(0.5f), 0.5f);
    EXPECT_EQ(walker->Position().x, 4.5f);  // standing still stays put
    EXPECT_EQ(walker->GetPolygon(), target);
}

// A replica's motion request names the navigation node under the
// destination it reports, or none where the level has no floor.
TEST_F(ReplicaMover, MotionRequestsNameTheDestinationsNode)
{
    const struct {
        const char* what;
        Vec3 destination;
        int cellX, cellZ;  // -1: no node
    } rows[] = {
        {"a floor cell", {4.5f, 0, 2.5f}, 4, 2},
        {"the masked cell is still a node", {3.5f, 0, 1.5f}, 3, 1},
        {"a hole", {6.5f, 0, 1.5f}, -1, -1},
        {"off the level", {40.0f, 0, 40.0f}, -1, -1},
    };
    script::Role& role = Walker();
    auto* walker = Make<MovingObject>(role, kOwnSide, {0.5f, 0, 0.5f});
    ASSERT_NE(walker, nullptr);
    for (const auto& row : rows) {
        requests.clear();
        MotionRecord record;
        record.position = {0.5f, 0, 0.5f};
        walker->ApplyMoving(row.destination, record, row.destination);
        walker->SendMotionState(true);
        const auto sent = Requests(42);
        ASSERT_EQ(sent.size(), 1u) << row.what;
        EXPECT_EQ(sent[0].Float(10), row.destination.x) << row.what;
        const CollisionPolygon* node = grid.At(row.cellX, row.cellZ);
        EXPECT_EQ(sent[0].Word(13), node ? node->tableIndex_ : MotionRecord::kNoPolygon) << row.what;
    }
}

} // namespace

namespace {

// A replica made from a role's model plays its walk for as long as it
// moves, at the speed factor, and stands idle when the server stops it.
TEST_F(ReplicaMover, TheModelsWalkLoopsAtTheSpeedFactorWhileMoving)
{
    script::Role& role = Walker();
    role.character->walkingSpeed = 0x20000;
    GiveBoxModel(role, {0, 1});
    auto* object = Make<MovingObject>(role, kEnemySide, {0.5f, 0, 0.5f});
    VeObject* model = object->Shape();
    ASSERT_NE(model, nullptr) << "the role's tree makes the object";
    MotionRecord record;
    record.position = {0.5f, 0, 0.5f};
    object->ApplyMoving({5.5f, 0, 0.5f}, record, {5.5f, 0, 0.5f});
    ASSERT_FALSE(model->Players().IsEmpty());
    const SequencePlayer* walk = *model->Players().At(0);
    EXPECT_EQ(walk->index_, 1);
    EXPECT_LT(walk->repeatCount_, 1) << "looped";
    EXPECT_EQ(walk->speed_, 0x20000);
    object->ApplyStopped(record);
    ASSERT_FALSE(model->Players().IsEmpty());
    EXPECT_EQ((*model->Players().At(0))->index_, 0);
}

} // namespace

// The server actor and unit: damage, waypoints, walking on the turning
// circle, orders, items, crouching, flags and the messages they send.
#include "objects/actor.h"
#include "objects/inventory.h"
#include "objects/role_table.h"
#include "objects/server_kinds.h"
#include "objects/unit_actor.h"
#include "objects/weapon_state.h"
#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "tests/objects/navigation_fixture.h"
#include "tests/objects/server_fixture.h"
#include "tests/Veapi/model_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

class ActorWorld : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        TeamTable::Build(3, 1, 0);  // 0 neutral, 1 the squad, 2 the enemy
        RoleTable::Global().Clear();
        RoleTable::Global().ResetIds();
        ServerFlags::GodMode() = false;
        ServerFlags::Paused() = false;
        ServerOutbox::Global().TakeTexts();
    }
    void TearDown() override
    {
        RoleTable::Global().Clear();
        script::RecordTables::Global().Clear();  // weapon rows point at this test's roles
        ServerFlags::GodMode() = false;
        ServerWorld::TearDown();
    }

    script::Role& Character(int32_t strength = 100, int32_t walking = 2 * 65536, int32_t turning = 1024)
    {
        script::Role& role = NewRole(strength);
        role.character->walkingSpeed = walking;
        role.character->turningSpeed = turning;
        role.character->canTurn = true;
        role.character->height = 1.8f;
        role.character->radius = 0.5f;
        role.character->sightRange = 30.0f;
        role.character->sightAngle = 512;
        return role;
    }

    // Weapon 3 fires a straight shot of the given squared range at 40.
    void ArmWeapon3(float maxRange)
    {
        script::Role& shot = NewRole();
        shot.character.reset();
        shot.projectile.emplace();
        shot.projectile->maxRange = maxRange;
        script::WeaponEntry entry;
        entry.projectile = &shot;
        entry.firingSpeed = 40.0f;
        entry.magazineSize = entry.salvoSize = 10;
        script::RecordTables::Global().StoreWeapon(3, WeaponState::DefaultAmmoFor(3), entry);
    }

    // A character with weapon 3 that aims without turning its body, a
    // quarter turn either way and up or down.
    script::Role& FixedBodyAimer()
    {
        script::Role& role = Character();
        role.character->weapon = 3;
        role.character->canTurn = false;
        role.character->gunYawAngle = 1024;
        role.character->elevationAngle = 1024;
        return role;
    }

    UnitActor* Unit(script::Role& role, int32_t side, const Vec3& at)
    {
        auto* unit = new UnitActor(side, &role, at, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        SideLists::Global().Add(*unit);
        unit->Activate(now, 0);
        return unit;
    }
};

// ---- damage ----

struct DamageCase {
    const char* name;
    int32_t shield, armour, amount;
    bool god;
    int32_t side;
    int32_t hitPoints, shieldLeft, armourLeft;
};

class Damage : public ActorWorld, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(Damage, TakesShieldThenArmourThenHitPoints)
{
    const DamageCase& c = GetParam();
    ServerFlags::GodMode() = c.god;
    script::Role& role = Character(100);
    UnitActor* unit = Unit(role, c.side, {0, 0, 0});
    unit->SetShield(c.shield);
    unit->SetArmour(c.armour);
    unit->TakeDamage(c.amount);
    EXPECT_EQ(unit->HitPoints(), c.hitPoints);
    EXPECT_EQ(unit->GetShield(), c.shieldLeft);
    EXPECT_EQ(unit->GetArmour(), c.armourLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Damage,
    ::testing::Values(DamageCase{"ShieldEqual", 30, 0, 30, false, 2, 100, 0, 0},
                      DamageCase{"ShieldBelow", 30, 0, 10, false, 2, 100, 20, 0},
                      DamageCase{"ShieldThenHit", 30, 0, 50, false, 2, 80, 0, 0},
                      DamageCase{"ArmourEqual", 0, 10, 10, false, 2, 100, 0, 9},
                      DamageCase{"ArmourBelow", 0, 10, 25, false, 2, 85, 0, 9},
                      DamageCase{"HealCapped", 0, 0, -50, false, 2, 100, 0, 0},
                      DamageCase{"GodModeOwnSide", 0, 0, 500, true, 1, 100, 0, 0},
                      DamageCase{"GodModeOtherSide", 0, 0, 40, true, 2, 60, 0, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ActorWorld, DeathSendsTheMotionStateAndDropsTheCarriedFlag)
{
    script::Role& role = Character(10);
    UnitActor* unit = Unit(role, 1, {3, 0, 4});
    TeamTable::Find(2)->flag = std::make_unique<TeamFlag>(0.f, 0.f, 0.f, 0);
    unit->TakeFlag(2);
    ASSERT_EQ(unit->GetCarriedFlag(), 2);
    unit->TakeDamage(50);
    EXPECT_FALSE(unit->IsAlive());
    EXPECT_EQ(unit->GetCarriedFlag(), 0);
    ASSERT_EQ(Sent(51).size(), 1u);
    EXPECT_TRUE(Sent(51)[0].guaranteed);
    EXPECT_EQ(Sent(51)[0].bytes.size(), 56u);
    ASSERT_EQ(Sent(60).size(), 1u);
    EXPECT_FLOAT_EQ(TeamTable::Find(2)->flag->position.x, 3.0f);
    EXPECT_FALSE(TeamTable::Find(2)->flag->carried);
    unit->TakeDamage(50);
    EXPECT_EQ(Sent(51).size(), 1u) << "a dead actor dies once";
}

// A unit joining a squad side goes to the player who controls that side,
// not to every player; with no session to ask, the message goes out as is.
TEST_F(ActorWorld, ASquadMemberIsHandedToItsPlayer)
{
    for (const bool session : {true, false}) {
        SCOPED_TRACE(session ? "through the session" : "no session");
        std::vector<std::pair<uint32_t, int32_t>> assigned;
        if (session)
            ServerLink::Get().assignUnit = [&](uint32_t id, int32_t side) { assigned.emplace_back(id, side); };
        UnitActor* unit = Unit(Character(), 2, {0, 0, 0});
        const size_t before = Sent(3).size();
        unit->SetSide(1);
        if (session) {
            EXPECT_EQ(assigned, (std::vector<std::pair<uint32_t, int32_t>>{{unit->GetId(), 1}}));
            EXPECT_EQ(Sent(3).size(), before);
        } else {
            EXPECT_EQ(Sent(3).size(), before + 1);
        }
        ServerLink::Get().assignUnit = nullptr;
    }
}

// ---- waypoints and walking ----

TEST_F(ActorWorld, WaypointsAreReachedWithVerticalDifferenceWeightedAHundredth)
{
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    unit->AppendWaypoint({0, 1.2f, 0}, 0);  // straight below: measure 0.0144
    EXPECT_FALSE(unit->NextWaypoint());
    EXPECT_TRUE(unit->Waypoints().empty());

    unit->AppendWaypoint({0, 0, 1.0f}, 1);  // kept, near
    unit->AppendWaypoint({10, 0, 0}, 1);    // kept, far
    EXPECT_TRUE(unit->NextWaypoint());
    EXPECT_EQ(unit->Waypoints().size(), 2u) << "kept waypoints are passed, never consumed";
    EXPECT_TRUE(unit->IsWalking());
    EXPECT_FLOAT_EQ(unit->MoveTarget().x, 10.0f);
}

// Waypoints nearer than the reach (1.5 in the movement measure) are passed,
// the path's last one too; the others are walked to.
TEST_F(ActorWorld, WaypointsNearerThanTheReachArePassed)
{
    const struct {
        const char* name;
        std::vector<Vec3> points;
        size_t left;      // waypoints after the call
        bool walking;
        float targetX;    // the leg's point when walking
    } cases[] = {
        {"last, a metre ahead", {{1, 0, 0}}, 0, false, 0},
        {"last, 1.25 m ahead", {{1.25f, 0, 0}}, 1, true, 1.25f},
        {"on the way, a metre ahead", {{1, 0, 0}, {5, 0, 0}}, 1, true, 5},
        {"on the way, 1.3 m ahead", {{1.3f, 0, 0}, {5, 0, 0}}, 2, true, 1.3f},
        {"last, within the leg's end", {{0.3f, 0, 0}}, 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnitActor* unit = Unit(Character(), 1, {0, 0, 0});
        for (const Vec3& point : c.points)
            unit->AppendWaypoint(point, 0);
        EXPECT_EQ(unit->NextWaypoint(), c.left > 0);
        EXPECT_EQ(unit->Waypoints().size(), c.left);
        EXPECT_EQ(unit->IsWalking(), c.walking);
        if (c.walking) {
            EXPECT_FLOAT_EQ(unit->MoveTarget().x, c.targetX);
        }
    }
}

// The cheap plan settles only a route that ends at the destination; one
// with nothing left to walk, or none at all, leaves the full search to run.
TEST_F(ActorWorld, APlanSettlesOnlyARouteToTheDestination)
{
    navtest::GridLevel grid = navtest::MakeGridLevel({".....", "..#..", "....."});
    Level::Current() = grid.level.get();
    const struct {
        const char* name;
        float at;               // the actor's x on cell (0, 1)
        int x, z;               // the destination cell
        int32_t state;
        std::vector<float> xs;  // the waypoints' x
    } cases[] = {
        {"standing on the destination", 0.5f, 0, 1, 3, {}},
        {"the next cell, within reach", 0.5f, 1, 1, 3, {}},
        {"the next cell, 1.4 m away", 0.1f, 1, 1, 1, {1.5f}},
        {"three cells on, the first across a corner", 0.5f, 3, 0, 1, {1.5f, 2.5f, 3.5f}},
        {"behind a hole", 0.5f, 3, 1, 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnitActor* unit = Unit(Character(), 1, {c.at, 0, 1.5f});
        ASSERT_EQ(unit->GetPolygon(), grid.At(0, 1));
        ASSERT_TRUE(unit->SetMoveTarget(grid.At(c.x, c.z), 0));
        unit->PlanPath();
        EXPECT_EQ(unit->PathState(), c.state);
        ASSERT_EQ(unit->Waypoints().size(), c.xs.size());
        for (size_t i = 0; i < c.xs.size(); ++i)
            EXPECT_FLOAT_EQ(unit->Waypoints()[i].point.x, c.xs[i]);
        unit->Remove(false);
    }
    Level::Current() = nullptr;
}

// A mover that cannot follow its actor for a second past the last order
// plans toward the next waypoint, or stops; walking or not.
TEST_F(ActorWorld, AStuckMoverRetargetsOrStops)
{
    navtest::GridLevel grid = navtest::MakeGridLevel({"..#.."});
    Level::Current() = grid.level.get();
    const struct {
        const char* name;
        bool walking;
        bool waypoint;
        int32_t state;     // path state after the pass
        float orderTime;   // after the pass
    } cases[] = {
        {"standing, no waypoint", false, false, 0, 2.0f},
        {"standing, a waypoint", false, true, 2, 2.0f},
        {"walking, no waypoint", true, false, 0, 2.0f},
        {"walking, a waypoint", true, true, 2, 2.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        now = 0;
        UnitActor* unit = Unit(Character(), 2, {0.5f, 0, 0.5f});
        if (c.waypoint)
            unit->AppendWaypoint({4.5f, 0, 0.5f}, 0);
        if (c.walking)
            unit->WalkTo({0.5f, 0, 0.5f});
        // Put beyond the hole (a placement the mover cannot follow).
        unit->SetPositionQuiet({3.5f, 0, 0.5f});
        now = 2000000;
        unit->Update(now, 2.0f);
        // A new destination leaves the leg to the plan, which stops it.
        EXPECT_EQ(unit->IsWalking(), c.walking && c.waypoint);
        EXPECT_EQ(unit->PathState(), c.state);
        EXPECT_FLOAT_EQ(unit->OrderTime(), c.orderTime);
        unit->Remove(false);
    }
    Level::Current() = nullptr;
}

// The squad's step runs for every member: a dead one's near waypoints are
// passed like a living one's, and its far ones wait (a dead actor takes
// no leg).
TEST_F(ActorWorld, TheSquadStepRunsForTheDeadToo)
{
    UnitActor* unit = Unit(Character(10), 1, {0, 0, 0});
    unit->AppendWaypoint({0, 0, 0.5f}, 0);
    unit->AppendWaypoint({0, 0, 9.0f}, 0);
    unit->TakeDamage(50);
    ASSERT_FALSE(unit->IsAlive());
    now = 50000;
    unit->Update(now, 0.05f);
    ASSERT_EQ(unit->Waypoints().size(), 1u);
    EXPECT_FLOAT_EQ(unit->Waypoints()[0].point.z, 9.0f);
    EXPECT_FALSE(unit->IsWalking());
}

// The replica walks from a 42 until a 43: the end of the last leg and a
// stop say standing, a leg with waypoints after it says walking on.
TEST_F(ActorWorld, MotionStatesSayWhetherTheActorIsOnItsWay)
{
    const struct {
        const char* name;
        bool stopped;            // a stop order halfway
        bool waypointAfter;
        uint32_t type;
    } cases[] = {
        {"last leg ends", false, false, 43},
        {"a leg with more to come", false, true, 42},
        {"stopped on the way", true, true, 43},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnitActor* unit = Unit(Character(), 1, {0, 0, 0});
        if (c.waypointAfter)
            unit->AppendWaypoint({0, 0, 9}, 0);
        unit->WalkTo({0, 0, 1});
        sent.clear();
        float seconds = 0;
        for (int pass = 0; pass < 40 && unit->IsWalking(); ++pass) {
            now += 50000;
            seconds += 0.05f;
            if (c.stopped && pass == 5)
                unit->Stop(seconds);
            else
                unit->Update(now, seconds);
        }
        ASSERT_FALSE(unit->IsWalking());
        uint32_t last = 0;
        for (const SentMessage& m : sent)
            last = m.Type() == 42 || m.Type() == 43 ? m.Type() : last;
        EXPECT_EQ(last, c.type);
        unit->Remove(false);
    }
}

// The spare list is the AI's own: its changes never move the route or
// the route's cursor.
TEST_F(ActorWorld, SparePointsChangeWithoutTouchingTheRoute)
{
    UnitActor* unit = Unit(Character(), 1, {0, 0, 0});
    unit->AppendWaypoint({0, 0, 1.0f}, 1);  // kept, near: passed
    unit->AppendWaypoint({10, 0, 0}, 1);    // kept, far: walked to
    ASSERT_TRUE(unit->NextWaypoint());
    ASSERT_FLOAT_EQ(unit->MoveTarget().x, 10.0f);

    unit->AppendSparePoint({2, 0, 0}, 0);
    unit->PrependSparePoint({1, 0, 0}, 1);
    unit->AppendSparePoint({3, 0, 0}, 1);
    ASSERT_EQ(unit->SparePoints().size(), 3u);
    const float xs[] = {1, 2, 3};
    const int32_t keeps[] = {1, 0, 1};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(unit->SparePoints()[i].point.x, xs[i]) << i;
        EXPECT_EQ(unit->SparePoints()[i].keep, keeps[i]) << i;
    }
    unit->ClearSparePoints();
    EXPECT_TRUE(unit->SparePoints().empty());

    // The route and its leg are as they were.
    ASSERT_EQ(unit->Waypoints().size(), 2u);
    EXPECT_FLOAT_EQ(unit->Waypoints()[0].point.z, 1.0f);
    EXPECT_FLOAT_EQ(unit->Waypoints()[1].point.x, 10.0f);
    EXPECT_TRUE(unit->IsWalking());
    EXPECT_FLOAT_EQ(unit->MoveTarget().x, 10.0f);
}

TEST_F(ActorWorld, AllKeptWaypointsNearDoNotLoopForever)
{
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    unit->AppendWaypoint({0, 0, 0.5f}, 1);
    unit->AppendWaypoint({0.5f, 0, 0}, 1);
    EXPECT_TRUE(unit->NextWaypoint());
    EXPECT_FALSE(unit->IsWalking());
}

TEST_F(ActorWorld, LiveWalkersCountForTheLevelTriggers)
{
    const struct {
        const char* name;
        int32_t walking;
        int32_t damage;
        bool counts;
    } cases[] = {
        {"walker", 2 * 65536, 0, true},
        {"turret", 0, 0, false},
        {"dead walker", 2 * 65536, 500, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnitActor* unit = Unit(Character(100, c.walking), 1, {0, 0, 0});
        unit->TakeDamage(c.damage);
        EXPECT_EQ(unit->CountsForTriggers(), c.counts);
    }
}

TEST_F(ActorWorld, TurningSpeedZeroHasNoTurningCircle)
{
    script::Role& role = Character(100, 2 * 65536, 0);
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    EXPECT_EQ(unit->TurningCircleSquared(), 0.0f);
    unit->WalkTo({5, 0, 5});
    unit->WalkStep(0.5f);
    EXPECT_TRUE(std::isfinite(unit->Position().x));
    EXPECT_TRUE(std::isfinite(unit->Orientation().w));
}

TEST_F(ActorWorld, AnArcWalkEndsOnTheChord)
{
    // Step 2 m/s, turning 512/4096 of a turn a second: radius 2 / (pi / 4).
    script::Role& role = Character(100, 2 * 65536, 512);
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    const float radius = std::sqrt(unit->TurningCircleSquared());
    ASSERT_NEAR(radius, 2.0f / (std::numbers::pi_v<float> / 4.0f), 1e-4f);
    // Far to the side, so the whole turn is taken up while moving.
    unit->WalkTo({100, 0, 100});
    const float seconds = 0.25f;  // 0.5 m of arc, less than the 45 degree turn
    unit->WalkStep(seconds);
    const float theta = 2.0f * seconds / radius;
    const float chord = 2.0f * radius * std::sin(theta / 2);
    EXPECT_NEAR(unit->Position().x, chord * std::sin(theta / 2), 1e-4f);
    EXPECT_NEAR(unit->Position().z, chord * std::cos(theta / 2), 1e-4f);
    EXPECT_NEAR(2.0f * std::atan2(unit->Orientation().y, unit->Orientation().w), theta, 1e-4f);
}

TEST_F(ActorWorld, AWalkSnapsOntoItsTargetAndEndsTheLeg)
{
    script::Role& role = Character(100, 4 * 65536, 4096);
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    unit->WalkTo({0, 0, 1});
    unit->WalkStep(1.0f);
    EXPECT_FLOAT_EQ(unit->Position().z, 1.0f);
    EXPECT_FALSE(unit->IsWalking());
}

TEST_F(ActorWorld, CrouchingActorsIgnoreMovesAndStops)
{
    script::Role& role = Character();
    GiveBoxModel(role, {0, 19, 20});
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    unit->ToggleCrouch();
    ASSERT_TRUE(unit->IsCrouching());
    const size_t before = Sent(42).size() + Sent(43).size();
    unit->Stop(5.0f);
    EXPECT_EQ(Sent(42).size() + Sent(43).size(), before);
    EXPECT_EQ(unit->OrderTime(), 0.0f);
}

TEST_F(ActorWorld, MovingOnLiftsIsTheRolesFlag)
{
    script::Role& walker = Character();
    script::Role& rider = Character();
    rider.flags |= script::kRoleMovesOnLifts;
    EXPECT_FALSE(Unit(walker, 1, {0, 0, 0})->MovesOnLifts());
    EXPECT_TRUE(Unit(rider, 1, {2, 0, 0})->MovesOnLifts());
}

// ---- orders ----

TEST_F(ActorWorld, RemoveAfterOrderRemovesTheActor)
{
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    GameObjectRef hold(unit);
    unit->removeAfterOrder_ = true;
    unit->QueueUnequip(42);  // finishes at once
    now = 50000;
    unit->Update(now, 0.05f);
    EXPECT_TRUE(unit->IsRemoved());
    EXPECT_EQ(ObjectRegistry::Global().Find(unit->GetId()), nullptr);
}

TEST_F(ActorWorld, QueueEquipTogglesToUnequipWhenOneIsPending)
{
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    unit->QueueEquip(2, 7);
    unit->QueueEquip(2, 7);
    unit->QueueEquip(2, 7);
    ASSERT_EQ(unit->Orders().size(), 3u);
    EXPECT_EQ(unit->Orders()[0].kind, OrderKind::kEquip);
    EXPECT_EQ(unit->Orders()[1].kind, OrderKind::kUnequip);
    EXPECT_EQ(unit->Orders()[2].kind, OrderKind::kEquip);
}

TEST_F(ActorWorld, WaitsStayUntilReleased)
{
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    unit->QueueWait();
    unit->QueueWait();
    unit->QueueCrouch();
    ASSERT_EQ(unit->Orders().size(), 2u);
    unit->DropQueuedOrders();
    ASSERT_EQ(unit->Orders().size(), 1u);
    now = 50000;
    unit->Update(now, 0.05f);
    EXPECT_EQ(unit->Orders().size(), 1u);
    unit->ReleaseWait();
    EXPECT_TRUE(unit->Orders().empty());
    EXPECT_EQ(Sent(94).size(), 1u);
}

// The sender of a group move empties its whole list, waits included, so ours
// must end empty too, also when the move itself is refused.
TEST_F(ActorWorld, AGroupMoveEmptiesTheWholeOrderList)
{
    navtest::GridLevel grid = navtest::MakeGridLevel(std::vector<std::string>(3, std::string(3, '.')));
    Level::Current() = grid.level.get();
    CollisionPolygon* node = grid.level->PolygonAt(0);
    ASSERT_NE(node, nullptr);
    const struct {
        const char* name;
        bool toNode;
        float time;
        bool moves;
    } rows[] = {{"to a node", true, 2.0f, true}, {"to no node", false, 3.0f, false}, {"late", true, 0.5f, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UnitActor* unit = Unit(Character(), 1, {0.5f, 0, 0.5f});
        unit->Stop(1.0f);
        unit->QueueWait();
        unit->AppendMoveOrder(node, 0xFFFFFFFFu);
        unit->GroupMove(row.toNode ? node : nullptr, 5, row.time);
        EXPECT_TRUE(unit->Orders().empty());
        EXPECT_EQ(unit->followedId_, 5);
        EXPECT_EQ(unit->NeedsPath(), row.moves);
    }
    Level::Current() = nullptr;
}

TEST(OrderRecord, IsNineLittleEndianWordsWithThePolygonIndex)
{
    OrderRecord record{OrderKind::kAttackLocation, 7, 3, 1, {1.0f, -2.0f, 0.5f}};
    record.attack = 1;
    std::vector<uint8_t> bytes;
    trevok::ByteWriter writer(bytes);
    record.Write(writer);
    const std::vector<uint8_t> expected = {1, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0,
                                           0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x3F,
                                           0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
    EXPECT_EQ(bytes, expected);
    trevok::ByteReader reader(bytes);
    OrderRecord back;
    ASSERT_TRUE(OrderRecord::Read(reader, nullptr, back));
    EXPECT_EQ(back.targetId, 7);
    EXPECT_EQ(back.polygon, nullptr);

    bytes[0] = 11;  // no such kind
    trevok::ByteReader bad(bytes);
    EXPECT_FALSE(OrderRecord::Read(bad, nullptr, back));
    std::vector<uint8_t> shortBlock(bytes.begin(), bytes.begin() + 20);
    trevok::ByteReader cut(shortBlock);
    EXPECT_FALSE(OrderRecord::Read(cut, nullptr, back));
}

// ---- items ----

struct StackCase {
    const char* name;
    uint32_t count;
    int32_t roleAmount;
    bool stackLeft;
    uint32_t countLeft;
    size_t spawns;
};

class StackDrop : public ActorWorld, public ::testing::WithParamInterface<StackCase> {};

TEST_P(StackDrop, DropsOnePickUpOrNothing)
{
    const StackCase& c = GetParam();
    script::Role& pickup = Character();
    pickup.identifier = "clip";
    pickup.character->weapon = 3;
    pickup.character->aggression = 0.7f;
    pickup.character->walkingSpeed = c.roleAmount * 65536;
    RoleTable::Global().File(pickup);
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    ASSERT_NE(unit->GetInventory(), nullptr);
    CarriedItem stack;
    stack.kind = ItemKind::kAmmoStack;
    stack.roleId = -3;
    stack.subtype = 3;
    stack.id = 9;
    stack.count = c.count;
    unit->GetInventory()->Add(stack);
    unit->DropItem(9);
    CarriedItem* left = unit->GetInventory()->FindById(9);
    EXPECT_EQ(left != nullptr, c.stackLeft);
    if (left) {
        EXPECT_EQ(left->count, c.countLeft);
    }
    EXPECT_EQ(spawned.size(), c.spawns);
    EXPECT_EQ(Sent(87).size(), c.spawns);
}

INSTANTIATE_TEST_SUITE_P(Table, StackDrop,
                         ::testing::Values(StackCase{"Below", 3, 5, false, 0, 0}, StackCase{"At", 5, 5, false, 0, 1},
                                           StackCase{"Above", 12, 5, true, 7, 1},
                                           StackCase{"AmountZero", 12, 0, true, 12, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

struct EquipCase {
    const char* name;
    int32_t kind, subtype, slot, roleLimit;
    bool attacking;
    bool equipped;
    int32_t text;  // printed, 0 none
};

class EquipRefusal : public ActorWorld, public ::testing::WithParamInterface<EquipCase> {};

TEST_P(EquipRefusal, RefusesWhatTheSlotOrRoleForbids)
{
    const EquipCase& c = GetParam();
    script::Role& role = Character();
    role.limit = 4;
    script::Role& target = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    Unit(target, 2, {0, 0, 5});
    if (c.attacking)
        unit->AimAtPoint({0, 0, 5}, 0, true, false);
    CarriedItem item;
    item.kind = c.kind;
    item.subtype = c.subtype;
    item.id = 5;
    item.count = 10;
    item.roleLimit = c.roleLimit;
    unit->GetInventory()->Add(item);
    EXPECT_EQ(unit->EquipItem(c.slot, 5, false), c.equipped);
    EXPECT_EQ(unit->FindEquipped(5) != nullptr, c.equipped);
    const std::vector<int32_t> texts = ServerOutbox::Global().TakeTexts();
    if (c.text) {
        EXPECT_EQ(texts, std::vector<int32_t>{c.text});
    } else {
        EXPECT_TRUE(texts.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EquipRefusal,
    ::testing::Values(EquipCase{"ShieldOnBody", ItemType::kShield, 0, 3, 0, false, true, 0},
                      EquipCase{"WeaponOnBody", ItemType::kWeapon, 2, 3, 0, false, false, 0},
                      EquipCase{"WeaponOnArm", ItemType::kWeapon, 2, 0, 0, false, true, 0},
                      EquipCase{"WeaponTypeOutOfRange", ItemType::kWeapon, 16, 0, 0, false, false, 0},
                      EquipCase{"NegativeWeaponType", ItemType::kWeapon, -1, 0, 0, false, false, 0},
                      EquipCase{"RoleLimit", ItemType::kArmour, 0, 4, 4, false, false, kTextRoleLimit},
                      EquipCase{"CloakWhileAttacking", ItemType::kModule, ModuleKind::kCloak, 5, 0, true, false,
                                kTextCloakWhileAttacking},
                      EquipCase{"SlotOutOfRange", ItemType::kShield, 0, 13, 0, false, false, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ActorWorld, ADeployableWithoutItsRoleSpawnsNothingAndStays)
{
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    CarriedItem mine;
    mine.kind = ItemType::kDeployable;
    mine.subtype = 1;  // "remote_mine", not in the role table
    mine.id = 4;
    mine.amount = 1;
    unit->GetInventory()->Add(mine);
    EXPECT_FALSE(unit->UseItem(4, false));
    EXPECT_TRUE(spawned.empty());
    EXPECT_NE(unit->GetInventory()->FindById(4), nullptr);

    script::Role& remote = Character();
    remote.identifier = "remote_mine";
    RoleTable::Global().File(remote);
    EXPECT_TRUE(unit->UseItem(4, false));
    EXPECT_EQ(spawned.size(), 1u);
    EXPECT_EQ(unit->GetInventory()->FindById(4), nullptr) << "the last one is placed";
}

// A dead actor leaves everything it carried where it fell: only the
// inventory's initial entry stays, and a stack whose pick-up is worth
// nothing stays without stopping the rest from falling.
TEST_F(ActorWorld, TheDeadDropEverythingTheyCarried)
{
    navtest::GridLevel grid = navtest::MakeGridLevel({"...", "...", "..."});
    Level::Current() = grid.level.get();
    script::Role& medkit = Character();
    RoleTable::Global().File(medkit);
    script::Role& clip = Character();
    clip.identifier = "clip";
    clip.character->weapon = 3;
    clip.character->aggression = 0.7f;
    RoleTable::Global().File(clip);
    const struct {
        const char* name;
        int32_t roleItems;  // items made from a role
        uint32_t stack;     // count of a stack of type 3, 0 none
        int32_t clipAmount; // one pick-up of the stack
        size_t left;        // inventory entries after death
        size_t spawns;
    } cases[] = {
        {"one item", 1, 0, 5, 1, 1},
        {"two items", 2, 0, 5, 1, 2},
        {"a stack of two pick-ups", 0, 10, 5, 1, 2},
        {"a stack worth nothing and an item", 1, 10, 0, 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clip.character->walkingSpeed = c.clipAmount * 65536;
        spawned.clear();
        UnitActor* unit = Unit(Character(10), 1, {1.5f, 0, 1.5f});
        ASSERT_NE(unit->GetInventory(), nullptr);
        for (int32_t i = 0; i < c.roleItems; ++i) {
            CarriedItem item;
            item.kind = ItemType::kHealing;
            item.roleId = medkit.id;
            item.id = 20 + i;
            unit->GetInventory()->Add(item);
        }
        if (c.stack) {
            CarriedItem stack;
            stack.kind = ItemKind::kAmmoStack;
            stack.roleId = -3;
            stack.subtype = 3;
            stack.id = 30;
            stack.count = c.stack;
            unit->GetInventory()->Add(stack);
        }
        unit->TakeDamage(50);
        ASSERT_FALSE(unit->IsAlive());
        EXPECT_EQ(unit->GetInventory()->Items().size(), c.left);
        EXPECT_EQ(unit->GetInventory()->Items().front().kind, ItemKind::kInitial);
        EXPECT_EQ(spawned.size(), c.spawns);
    }
    Level::Current() = nullptr;
}

// Ammunition is loaded at once, and only what the current weapon takes.
struct AmmoUseCase {
    const char* name;
    int32_t ammo;    // the item's ammunition type
    bool stored;     // the weapon has a row for it
    bool changed;
};

class AmmoUse : public ActorWorld, public ::testing::WithParamInterface<AmmoUseCase> {};

TEST_P(AmmoUse, LoadsOnlyWhatTheWeaponTakes)
{
    const AmmoUseCase& c = GetParam();
    ArmWeapon3(100.0f);
    const int32_t before = WeaponState::DefaultAmmoFor(3);
    if (c.stored) {
        script::WeaponEntry entry = *script::RecordTables::Global().Weapon(3, before);
        script::RecordTables::Global().StoreWeapon(3, c.ammo, entry);
    }
    script::Role& role = Character();
    role.character->weapon = 3;
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    ASSERT_NE(unit->GetWeapon(), nullptr);
    CarriedItem clip;
    clip.kind = ItemType::kAmmunition;
    clip.subtype = c.ammo;
    clip.id = 7;
    clip.amount = 5;
    unit->GetInventory()->Add(clip);
    EXPECT_TRUE(unit->UseItem(7, false));
    EXPECT_TRUE(unit->Orders().empty()) << "nothing is left waiting in the order list";
    EXPECT_EQ(unit->GetWeapon()->ammoType, c.changed ? c.ammo : before);
    EXPECT_EQ(Sent(90).size(), c.changed ? 1u : 0u);
    EXPECT_NE(unit->GetInventory()->FindById(7), nullptr) << "the clip stays in the inventory";
}

INSTANTIATE_TEST_SUITE_P(Table, AmmoUse,
                         ::testing::Values(AmmoUseCase{"InTheWeaponsTable", 5, true, true},
                                           AmmoUseCase{"NotForThisWeapon", 5, false, false},
                                           AmmoUseCase{"BeyondTheTable", 99, false, false},
                                           AmmoUseCase{"Negative", -1, false, false}),
                         [](const auto& row) { return std::string(row.param.name); });

// A queued ammunition change keeps the type in the record's value word, as
// the client's order list and saved games have it, and loads it when it
// comes up; a record from an earlier save with the type in the id word
// reads the same.
TEST_F(ActorWorld, AQueuedAmmunitionChangeKeepsTheTypeInTheValueWord)
{
    ArmWeapon3(100.0f);
    script::WeaponEntry entry = *script::RecordTables::Global().Weapon(3, WeaponState::DefaultAmmoFor(3));
    script::RecordTables::Global().StoreWeapon(3, 5, entry);
    script::Role& role = Character();
    role.character->weapon = 3;
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    unit->QueueChangeAmmo(5);
    ASSERT_EQ(unit->Orders().size(), 1u);
    std::vector<uint8_t> bytes;
    trevok::ByteWriter writer(bytes);
    unit->Orders().front().Write(writer);
    ASSERT_EQ(bytes.size(), OrderRecord::kSize);
    const std::vector<uint8_t> head = {10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12), head);

    now = 50000;
    unit->Update(now, 0.05f);
    EXPECT_TRUE(unit->Orders().empty());
    EXPECT_EQ(unit->GetWeapon()->ammoType, 5);
    ASSERT_EQ(Sent(90).size(), 1u);
    EXPECT_EQ(Sent(90)[0].Word(2), 5u);

    const struct {
        const char* name;
        uint32_t idWord, valueWord;
    } layouts[] = {{"value word", 0xFFFFFFFFu, 5}, {"earlier id word", 5, 0}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        std::vector<uint8_t> saved(OrderRecord::kSize, 0);
        saved[0] = 10;
        std::memcpy(saved.data() + 4, &layout.idWord, 4);
        std::memcpy(saved.data() + 8, &layout.valueWord, 4);
        std::memset(saved.data() + 28, 0xFF, 4);  // no polygon
        trevok::ByteReader reader(saved);
        OrderRecord back;
        ASSERT_TRUE(OrderRecord::Read(reader, nullptr, back));
        EXPECT_EQ(back.targetId, -1);
        EXPECT_EQ(back.value, 5);
    }
}

// Whatever comes off an arm hands it back to the default weapon unless the
// other arm holds a weapon, and what an item added when it went on comes
// off with it in any slot.
struct UnequipCase {
    const char* name;
    int32_t kind, subtype, slot;
    bool changes;             // the weapon changes (message 91)
    int32_t otherArm = -1;    // weapon type held in the other arm, -1 none
    int32_t weaponAfter = -1; // -1: the inventory's default weapon
};

class Unequip : public ActorWorld, public ::testing::WithParamInterface<UnequipCase> {};

TEST_P(Unequip, UndoesTheItemAndFreesTheArm)
{
    const UnequipCase& c = GetParam();
    ArmWeapon3(100.0f);
    script::Role& role = Character();
    role.character->weapon = 3;
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    const int32_t shield = unit->GetShield(), armour = unit->GetArmour();
    if (c.otherArm >= 0) {
        CarriedItem gun;
        gun.kind = ItemType::kWeapon;
        gun.subtype = c.otherArm;
        gun.id = 6;
        unit->GetInventory()->Add(gun);
        ASSERT_TRUE(unit->EquipItem(1 - c.slot, 6, false));
    }
    CarriedItem item;
    item.kind = c.kind;
    item.subtype = c.subtype;
    item.id = 5;
    item.count = 10;
    unit->GetInventory()->Add(item);
    ASSERT_TRUE(unit->EquipItem(c.slot, 5, false));
    const size_t changes = Sent(91).size();
    unit->UnequipItem(*unit->FindEquipped(5));
    EXPECT_EQ(unit->FindEquipped(5), nullptr);
    EXPECT_EQ(unit->GetShield(), shield);
    EXPECT_EQ(unit->GetArmour(), armour);
    ASSERT_EQ(Sent(91).size(), changes + (c.changes ? 1u : 0u));
    ASSERT_NE(unit->GetWeapon(), nullptr);
    EXPECT_EQ(unit->GetWeapon()->weaponType, c.weaponAfter >= 0 ? c.weaponAfter : unit->GetInventory()->DefaultWeapon());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Unequip,
    ::testing::Values(UnequipCase{"WeaponInRightArm", ItemType::kWeapon, 5, 0, true},
                      UnequipCase{"ShieldInLeftArm", ItemType::kShield, 0, 1, true},
                      UnequipCase{"ArmourInRightArm", ItemType::kArmour, 0, 0, true},
                      UnequipCase{"ShieldOnBody", ItemType::kShield, 0, 3, false},
                      UnequipCase{"ArmourOnBody", ItemType::kArmour, 0, 4, false},
                      UnequipCase{"ShieldBesideAWeapon", ItemType::kShield, 0, 1, false, 5, 5},
                      UnequipCase{"WeaponBesideAWeapon", ItemType::kWeapon, 6, 0, true, 5, 5}),
    [](const auto& row) { return std::string(row.param.name); });

// A cloak put on in an enemy's sight neither hides nor disguises.
struct CloakCase {
    const char* name;
    float enemyDistance;
    bool hidden;
};

class CloakSight : public ActorWorld, public ::testing::WithParamInterface<CloakCase> {};

TEST_P(CloakSight, DisguisesOnlyWhenUnobserved)
{
    const CloakCase& c = GetParam();
    script::Role& role = Character();
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    // The enemy faces the unit (its z axis turned half round).
    UnitActor* enemy = Unit(role, 2, {0, 0, c.enemyDistance});
    enemy->SetOrientation(Quaternion{0, 1, 0, 0});
    CarriedItem cloak;
    cloak.kind = ItemType::kModule;
    cloak.subtype = ModuleKind::kCloak;
    cloak.id = 5;
    unit->GetInventory()->Add(cloak);
    ASSERT_TRUE(unit->EquipItem(5, 5, false));
    EXPECT_EQ(unit->IsHidden(), c.hidden);
    EXPECT_EQ(unit->CloakOwner(), c.hidden ? static_cast<int32_t>(enemy->GetId()) : -1);
}

INSTANTIATE_TEST_SUITE_P(Table, CloakSight,
                         ::testing::Values(CloakCase{"EnemyWatching", 10.0f, false},
                                           CloakCase{"EnemyBeyondSight", 40.0f, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ActorWorld, AFollowedUnitIsNeverTakenLikeAPickUp)
{
    script::Role& role = Character();
    role.character->customisationShape.shape = std::make_shared<int>(0);
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    UnitActor* other = Unit(role, 2, {0, 0, 1});
    script::Role& clip = Character();
    clip.aiType = Actor::kPickUpAiType;
    clip.flags |= script::kRoleDestroyAfterCollection;
    auto* pickUp = new Kind10Object(0, &clip, {1, 0, 0}, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
    pickUp->Activate(now, 0);
    GameObjectRef hold(pickUp);
    unit->followedId_ = static_cast<int32_t>(other->GetId());
    now = 50000;
    unit->Update(now, 0.05f);
    EXPECT_FALSE(other->IsRemoved());
    EXPECT_TRUE(Sent(81).empty());

    unit->followedId_ = static_cast<int32_t>(pickUp->GetId());
    now = 100000;
    unit->Update(now, 0.1f);
    EXPECT_TRUE(pickUp->IsRemoved());
    // A pick-up walked to and collected is announced.
    ASSERT_EQ(Sent(81).size(), 1u);
    EXPECT_EQ(Sent(81)[0].bytes.size(), 20u);
    EXPECT_TRUE(Sent(82).empty());
    EXPECT_EQ(unit->followedId_, -1);
}

TEST_F(ActorWorld, ACloakHidesAndBorrowsTheNearestEnemyBuild)
{
    script::Role& role = Character();
    role.character->modelHeight = 1.8f;
    role.character->modelHalfExtent = 0.5f;
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    // The look goes by the models' builds; the collision bodies say otherwise.
    script::Role& tall = Character();
    tall.character->modelHeight = 3.0f;
    tall.character->modelHalfExtent = 0.8f;
    tall.character->height = 1.8f;
    tall.character->radius = 0.5f;
    script::Role& alike = Character();
    alike.character->modelHeight = 1.7f;
    alike.character->modelHalfExtent = 0.45f;
    alike.character->height = 3.0f;
    alike.character->radius = 0.8f;
    Unit(tall, 2, {50, 0, 50});
    UnitActor* twin = Unit(alike, 2, {60, 0, 60});  // both far beyond sight
    for (int32_t id : {5, 6}) {
        CarriedItem cloak;
        cloak.kind = ItemType::kModule;
        cloak.subtype = ModuleKind::kCloak;
        cloak.id = id;
        unit->GetInventory()->Add(cloak);
    }
    ASSERT_TRUE(unit->EquipItem(5, 5, false));
    EXPECT_TRUE(unit->IsHidden());
    EXPECT_EQ(unit->CloakOwner(), static_cast<int32_t>(twin->GetId()));
    ASSERT_TRUE(unit->EquipItem(6, 6, false));
    EXPECT_EQ(unit->FindEquipped(5), nullptr) << "one cloak at a time";
    unit->AimAtPoint({0, 0, 5}, 0, true, false);
    EXPECT_FALSE(unit->IsHidden()) << "aiming shows the unit and takes the cloak off";
    EXPECT_EQ(unit->FindEquipped(6), nullptr);
}

// Worn items show on the carrier's model: an item's tree gives the part
// of the same name, a plain shape becomes the part's shape, and taking the
// item off gives the part back the carrier's own look.
TEST_F(ActorWorld, EquippedItemsTakeTheirBodyPartsPlace)
{
    script::Role& carrierRole = Character();
    GiveBoxModel(carrierRole, {0}, {{"Upper Arm Right", {0.3f, -1.4f, 0}}, {"Head", {0, -1.7f, 0}}});
    UnitActor* unit = Unit(carrierRole, 1, {0, 0, 0});
    ASSERT_NE(unit->GetInventory(), nullptr);
    // A gun held in the arm: its tree's "Upper Arm Right" carries its shape.
    script::Role& gun = NewRole();
    VeShape* gunShape = GiveTreeOnPart(gun, "Upper Arm Right");
    // A helmet with a shape only, and a pack for a part the model lacks.
    script::Role& helmet = NewRole();
    GiveBoxShape(helmet, {0, 0, 0}, {0.2f, 0.2f, 0.2f});
    script::Role& pack = NewRole();
    GiveBoxShape(pack, {0, 0, 0}, {0.3f, 0.3f, 0.3f});
    const struct {
        const char* name;
        script::Role* role;
        int32_t slot;
        const char* part;  // null: no part changes
        VeShape* shown;
    } rows[] = {
        {"TreeOnTheArm", &gun, 0, "Upper Arm Right", gunShape},
        {"ShapeOnTheHead", &helmet, 2, "Head", static_cast<VeShape*>(helmet.shape.shape.get())},
        {"PartTheModelLacks", &pack, 4, nullptr, nullptr},
    };
    int32_t id = 40;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RoleTable::Global().File(*row.role);
        CarriedItem item;
        item.kind = ItemType::kArmour;
        item.roleId = row.role->id;
        item.id = ++id;
        unit->GetInventory()->Add(item);
        ASSERT_TRUE(unit->EquipItem(row.slot, id, false));
        ShapeInstance* root = unit->Shape()->Root();
        for (const char* part : {"Upper Arm Right", "Head"}) {
            ShapeInstance* node = NamedPart(*root, part);
            ASSERT_NE(node, nullptr);
            const bool worn = row.part && std::string(part) == row.part;
            EXPECT_EQ(node->slots_[0], worn ? row.shown : nullptr) << part;
        }
        unit->UnequipItem(*unit->FindEquipped(id));
        for (const char* part : {"Upper Arm Right", "Head"}) {
            ShapeInstance* node = NamedPart(*root, part);
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(node->slots_[0], nullptr) << part << " is the model's own again";
        }
    }
}

// ---- crouching ----

struct CrouchCase {
    const char* name;
    float watcherDistance;
    bool hidden;
};

class CrouchHiding : public ActorWorld, public ::testing::WithParamInterface<CrouchCase> {};

TEST_P(CrouchHiding, HidesOnlyWhenUnobserved)
{
    const CrouchCase& c = GetParam();
    script::Role& role = Character();
    GiveBoxModel(role, {0, 19, 20});
    UnitActor* unit = Unit(role, 1, {0, 0, 0});
    // The watcher faces the unit (its z axis turned half round).
    auto* watcher = new UnitActor(2, &role, {0, 0, c.watcherDistance}, Quaternion{0, 1, 0, 0},
                                  ObjectRegistry::Global().TakeNextId());
    watcher->Activate(now, 0);
    script::Role& bush = NewRole();
    bush.aiType = 10;
    GameObject* cover = Make(&bush, 0, {0.2f, 0, 0});
    cover->radius_ = 1.0f;
    unit->ToggleCrouch();
    EXPECT_EQ(unit->IsHidden(), c.hidden);
    ASSERT_EQ(Sent(54).size(), 1u);
    EXPECT_EQ(Sent(54)[0].bytes.size(), 9u);
    EXPECT_EQ(Sent(54)[0].bytes[8], c.hidden ? 1 : 0);
    unit->ToggleCrouch();
    EXPECT_FALSE(unit->IsHidden());
    ASSERT_EQ(Sent(55).size(), 1u);
    EXPECT_EQ(Sent(55)[0].bytes.size(), 9u);
}

INSTANTIATE_TEST_SUITE_P(Table, CrouchHiding,
                         ::testing::Values(CrouchCase{"WatcherNearerThanTwoMetres", 1.5f, true},
                                           CrouchCase{"WatcherWithinRange", 10.0f, false},
                                           CrouchCase{"WatcherBeyondRange", 40.0f, true}),
                         [](const auto& row) { return std::string(row.param.name); });

// A model without the crouch sequence cannot crouch: nothing changes and
// nothing is sent.
TEST_F(ActorWorld, OnlyAModelWithTheCrouchSequenceCrouches)
{
    const struct {
        const char* name;
        std::initializer_list<int32_t> sequences;
        bool model, crouches;
    } rows[] = {
        {"NoModel", {}, false, false},
        {"ModelWithoutCrouch", {0, 1, 20}, true, false},
        {"ModelWithCrouch", {0, 19}, true, true},
    };
    for (const auto& row : rows) {
        script::Role& role = Character();
        if (row.model)
            GiveBoxModel(role, row.sequences);
        UnitActor* unit = Unit(role, 1, {0, 0, 0});
        const size_t before = Sent(54).size();
        unit->ToggleCrouch();
        EXPECT_EQ(unit->IsCrouching(), row.crouches) << row.name;
        EXPECT_EQ(Sent(54).size() - before, row.crouches ? 1u : 0u) << row.name;
        unit->Remove(false);
    }
}

// ---- fire points ----

// The muzzles are the model's fire parts, scaled by the character's size;
// the second defaults to the first, and a part the model lacks (or no
// model) leaves the centre.
TEST_F(ActorWorld, FirePointsAreTheModelsFirePartsScaledBySize)
{
    const Vec3 right{0.4f, -1.2f, 0.3f}, left{-0.4f, -1.2f, 0.3f};
    const Vec3 centre{0, -0.9f, 0};  // half the box model's height
    const struct {
        const char* name;
        const char* first;
        const char* second;  // null: none given
        bool model;
        Vec3 expectFirst, expectSecond;
    } rows[] = {
        {"BothParts", "gun_r", "gun_l", true, right * 2, left * 2},
        {"SecondDefaultsToFirst", "GUN_R", nullptr, true, right * 2, right * 2},
        {"PartMissing", "barrel", nullptr, true, centre, centre},
        {"NoModel", "gun_r", "gun_l", false, {0, -0.9f, 0}, {0, -0.9f, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& role = Character();
        role.character->size = 2.0f;
        role.hotspotName = row.first;
        if (row.second)
            role.alternateHotspotName = row.second;
        if (row.model)
            GiveBoxModel(role, {0}, {{"gun_r", right}, {"gun_l", left}});
        UnitActor* unit = Unit(role, 2, {0, 0, 0});
        for (int i = 0; i < 2; ++i) {
            const Vec3 expect = i == 0 ? row.expectFirst : row.expectSecond;
            EXPECT_NEAR(unit->FirePoint(i).x, expect.x, 1e-5f) << i;
            EXPECT_NEAR(unit->FirePoint(i).y, expect.y, 1e-5f) << i;
            EXPECT_NEAR(unit->FirePoint(i).z, expect.z, 1e-5f) << i;
        }
        unit->Remove(false);
    }
}

// A unit that aims without turning its body holds its model's aiming
// stance (13) while it aims; a model without the stance plays none.
TEST_F(ActorWorld, AimingPlaysTheModelsStanceWhenItHasOne)
{
    ArmWeapon3(50.0f * 50.0f);
    const struct {
        const char* name;
        std::initializer_list<int32_t> sequences;
        bool stance;
    } rows[] = {{"WithStance", {0, 5, 12, 13}, true}, {"WithoutStance", {0, 5, 12}, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& role = FixedBodyAimer();
        GiveBoxModel(role, row.sequences);
        UnitActor* unit = Unit(role, 2, {0, 0, 0});
        unit->AimAtPoint({1, -0.9f, 10}, 0, true, false);
        now += 50000;
        unit->Update(now, 0.05f);
        ASSERT_TRUE(unit->IsAttacking());
        bool playing = false;
        for (SequencePlayer* player : unit->Shape()->Players())
            playing = playing || player->index_ == 13;
        EXPECT_EQ(playing, row.stance);
        unit->Remove(false);
    }
}

// Aiming over many passes starts the stance once and keeps it the model's
// front sequence: the pitch and yaw poses play layered behind it.
// The server's walker has the replica's body: height, radius, a step of 0.3
// of the radius and the side slope.
TEST_F(ActorWorld, TheMoverHasTheReplicasBody)
{
    navtest::GridLevel grid = navtest::MakeGridLevel({"...", "...", "..."});
    Level::Current() = grid.level.get();
    UnitActor* unit = Unit(Character(), 2, {1.5f, 0, 1.5f});
    ASSERT_NE(unit->GetMover(), nullptr);
    const auto* body = dynamic_cast<const WalkerBody*>(unit->GetMover()->body.get());
    ASSERT_NE(body, nullptr);
    const WalkerBody replica(1.8f, 0.5f);
    EXPECT_FLOAT_EQ(body->height, replica.height);
    EXPECT_FLOAT_EQ(body->radius, replica.radius);
    EXPECT_FLOAT_EQ(body->innerRadius, 0.15f);
    EXPECT_FLOAT_EQ(body->slope, replica.slope);
    unit->Remove(true);
    Level::Current() = nullptr;
}

// A character's weapon outside the table arms nothing, as one from an item.
TEST_F(ActorWorld, ACharactersWeaponOutsideTheTableArmsNothing)
{
    for (const int32_t weapon : {-1, 16, 3}) {
        SCOPED_TRACE(weapon);
        script::Role& role = Character();
        role.character->weapon = weapon;
        UnitActor* unit = Unit(role, 2, {0, 0, 0});
        EXPECT_EQ(unit->GetWeapon() != nullptr, weapon == 3);
    }
}

// A unit that turns to aim stands: waypoints left between legs go too, so
// it does not walk off toward them in the next pass.
TEST_F(ActorWorld, TurningToAimDropsTheWaypointsLeft)
{
    ArmWeapon3(50.0f * 50.0f);
    script::Role& role = Character();
    role.character->weapon = 3;
    role.character->elevationAngle = 1024;
    UnitActor* unit = Unit(role, 2, {0, 0, 0});
    unit->AppendWaypoint({10, 0, 0}, 0);
    ASSERT_FALSE(unit->IsWalking());
    unit->AimAtPoint({0, 0, -10}, 0, false, false);  // behind it
    now += 50000;
    unit->Update(now, static_cast<float>(now) / 1e6f);
    ASSERT_TRUE(unit->IsAttacking());
    EXPECT_TRUE(unit->Waypoints().empty());
    EXPECT_FALSE(unit->IsWalking());
}

TEST_F(ActorWorld, AimPosesLayerBehindTheStanceAcrossPasses)
{
    ArmWeapon3(50.0f * 50.0f);
    script::Role& role = FixedBodyAimer();
    GiveBoxModel(role, {0, 5, 12, 13}, {}, 1000000);
    UnitActor* unit = Unit(role, 2, {0, 0, 0});
    unit->AimAtPoint({1, -0.9f, 10}, 0, true, false);
    const SequencePlayer* stance = nullptr;
    for (int pass = 1; pass <= 6; ++pass) {
        SCOPED_TRACE(pass);
        now += 50000;
        unit->Update(now, static_cast<float>(now) / 1e6f);
        ASSERT_TRUE(unit->IsAttacking());
        ASSERT_TRUE(unit->Shape()->IsPlayingSequence(13));
        const SequencePlayer* front = nullptr;
        for (SequencePlayer* player : unit->Shape()->Players()) {
            front = player;
            break;
        }
        if (!stance)
            stance = front;
        EXPECT_EQ(front, stance) << "the stance is not started again";
        int stances = 0;
        for (SequencePlayer* player : unit->Shape()->Players()) {
            if (player->index_ == 13)
                ++stances;
            if (player->index_ == 5 || player->index_ == 12) {
                EXPECT_TRUE(player->Layered()) << "pose " << player->index_;
            }
        }
        EXPECT_EQ(stances, 1);
    }
    // Stopping brings the poses back to the middle, still layered.
    unit->StopAiming(1.0f);
    EXPECT_TRUE(unit->Shape()->IsPlayingSequence(13));
    unit->Remove(false);
}

// body (the poses and the stance, still) > legs (stance: turns 0 to 1 rad
// over 1000 of 1500 ticks), torso (stance: 1 up; yaw: -0.8 to 0.8 rad over
// its last key at 800) > muzzle (1 ahead). Ticks are microseconds.
void GiveStanceModel(script::Role& role)
{
    using modeltest::MakeSequence;
    GiveBoxShape(role, {-0.5f, -1.8f, -0.5f}, {0.5f, 0, 0.5f});
    std::vector<std::unique_ptr<Sequence>> body, legs, torso, muzzle;
    for (int32_t index : {5, 12, 13})
        body.push_back(MakeSequence(index, 1500, {{0, {0, 0, 0}, 0}, {800, {0, 0, 0}, 0}}));
    legs.push_back(MakeSequence(13, 1500, {{0, {0, 0, 0}, 0}, {1000, {0, 0, 0}, 1.0f}}));
    torso.push_back(MakeSequence(12, 1500, {{0, {0, 0, 0}, -0.8f}, {800, {0, 0, 0}, 0.8f}}));
    torso.push_back(MakeSequence(13, 1500, {{0, {0, -1, 0}, 0}}));
    muzzle.push_back(MakeSequence(13, 1500, {{0, {0, 0, 1}, 0}}));
    Hierarchy* root = modeltest::MakeNode("body", modeltest::MakeSet(std::move(body)));
    root->shapes_[0] = static_cast<VeShape*>(role.shape.shape.get());
    root->shapes_[0]->AddRef();
    Hierarchy* upper = modeltest::MakeNode("torso", modeltest::MakeSet(std::move(torso)));
    upper->children_.PushBack(modeltest::MakeNode("muzzle", modeltest::MakeSet(std::move(muzzle))));
    root->children_.PushBack(modeltest::MakeNode("legs", modeltest::MakeSet(std::move(legs))));
    root->children_.PushBack(upper);
    role.shape.hierarchy = std::shared_ptr<void>(root, [](void* h) { static_cast<Hierarchy*>(h)->Release(); });
    role.hotspotName = "muzzle";
}

// Aiming without turning the body: the stance keeps moving the legs at its
// own time while the yaw pose turns the torso, pass after pass, and the
// muzzle the shots leave from turns with it.
TEST_F(ActorWorld, TheStanceKeepsTheLegsGoingUnderTheAimPoses)
{
    ArmWeapon3(500.0f * 500.0f);
    script::Role& role = FixedBodyAimer();
    GiveStanceModel(role);
    struct Row {
        const char* name;
        Vec3 aim;
        float yaw;  // the torso's turn: the middle of the yaw pose is straight ahead
    };
    const Row rows[] = {{"right", {100, 0, 100}, 0.2f}, {"ahead", {0, 0, 100}, 0.0f}, {"left", {-100, 0, 100}, -0.2f}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UnitActor* unit = Unit(role, 2, {0, 0, 0});
        unit->AimAtPoint(row.aim, 0, true, false);
        uint64_t started = 0;
        for (int pass = 1; pass <= 4; ++pass) {
            SCOPED_TRACE(pass);
            now += 50000;
            unit->Update(now, static_cast<float>(now) / 1e6f);
            ASSERT_TRUE(unit->IsAttacking());
            ASSERT_TRUE(unit->Shape()->IsPlayingSequence(13));
            if (pass == 1)
                started = now;
            // 50000 ticks a pass: the stance is 500 ticks further into its
            // 1500 each time.
            const float stance[] = {0.0f, 0.5f, 1.0f};
            ShapeInstance* root = unit->Shape()->Root();
            const Matrix34 legs = NamedPart(*root, "legs")->AnimatedMatrix(now);
            EXPECT_NEAR(std::atan2(legs.m[0][2], legs.m[0][0]), stance[(now - started) / 50000 % 3], 5e-3f);
            // The yaw pose has 100 ticks to go from the middle on the first pass.
            Vec3 muzzle;
            ASSERT_TRUE(unit->Shape()->FindPartPosition(muzzle, "muzzle", now + 200));
            EXPECT_NEAR(muzzle.y, -1.0f, 1e-4f) << "the stance still stands the torso up";
            EXPECT_NEAR(std::atan2(muzzle.x, muzzle.z), row.yaw, 0.01f);
        }
        unit->Remove(false);
    }
}

// ---- approaches ----

// A saved game does not hold the mover's velocity: a loaded walker's mover
// has it at once, as the saved one had it after its last pass.
TEST_F(ActorWorld, ALoadedWalkersMoverGoesOnAtItsSavedVelocity)
{
    navtest::GridLevel grid = navtest::MakeGridLevel(std::vector<std::string>(12, std::string(12, '.')));
    Level::Current() = grid.level.get();
    const struct {
        const char* name;
        bool walks;
        Vec3 to;
    } rows[] = {
        {"walking along x", true, {10.5f, 0, 1.5f}},
        {"walking on a slant, turned", true, {9.5f, 0, 9.5f}},
        {"standing", false, {}},
    };
    script::Role& role = Character();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UnitActor* unit = Unit(role, 2, {1.5f, 0, 1.5f});
        if (row.walks)
            unit->WalkTo(row.to);
        // Long enough to have turned onto the leg's line.
        for (int pass = 0; pass < 30; ++pass) {
            now += 50000;
            unit->Update(now, static_cast<float>(now) / 1e6f);
        }
        ASSERT_EQ(unit->IsWalking(), row.walks);
        const Vec3 saved = unit->GetMover()->velocity;
        std::vector<uint8_t> image(unit->SizeInBytes(), 0);
        unit->WriteImage(image);
        std::vector<uint8_t> state;
        trevok::ByteWriter out(state);
        ASSERT_TRUE(unit->SaveState(out));

        auto* loaded = new UnitActor(2, &role, unit->Position(), unit->Orientation(),
                                     ObjectRegistry::Global().TakeNextId());
        trevok::ByteReader in(state);
        ASSERT_TRUE(loaded->LoadState(in, image));
        ASSERT_TRUE(loaded->AfterLoad());
        loaded->Activate(now, static_cast<float>(now) / 1e6f);
        const Vec3 v = loaded->GetMover()->velocity;
        const float tolerance = 1e-3f * std::sqrt(saved.LengthSquared()) + 1e-12f;
        EXPECT_NEAR(v.x, saved.x, tolerance);
        EXPECT_NEAR(v.y, saved.y, tolerance);
        EXPECT_NEAR(v.z, saved.z, tolerance);
        EXPECT_EQ(v.LengthSquared() > 0, row.walks);
        unit->Remove(false);
        loaded->Remove(false);
    }
    Level::Current() = nullptr;
}

class Approaches : public ActorWorld {
protected:
    void SetUp() override
    {
        ActorWorld::SetUp();
        ArmWeapon3(3.0f * 3.0f);
    }
    void TearDown() override
    {
        Level::Current() = nullptr;
        ActorWorld::TearDown();
    }

    // A squad unit (its hold position cleared on joining) armed with a
    // 3 m weapon.
    UnitActor* Attacker(const Vec3& at)
    {
        script::Role& role = Character();
        role.character->weapon = 3;
        return Unit(role, 1, at);
    }

    // One server pass over `units` with a fresh plan budget of one search.
    void Pass(std::initializer_list<UnitActor*> units)
    {
        ServerCounters::PlanBudget() = 1;
        now += 50000;
        for (UnitActor* unit : units)
            unit->Update(now, static_cast<float>(now) / 1e6f);
    }
};

// Attackers out of range approach by path searches, one per pass within the
// pass's plan budget; the rest stop aiming and keep the attack first in
// their order lists, so it is taken up again in a later pass.
TEST_F(Approaches, OutOfRangeAttackersShareThePassPlanBudget)
{
    navtest::GridLevel grid = navtest::MakeGridLevel(std::vector<std::string>(3, std::string(30, '.')));
    Level::Current() = grid.level.get();
    UnitActor* target = Unit(Character(), 2, {25.5f, 0, 1.5f});
    UnitActor* a = Attacker({1.5f, 0, 0.5f});
    UnitActor* b = Attacker({1.5f, 0, 1.5f});
    UnitActor* c = Attacker({1.5f, 0, 2.5f});
    for (UnitActor* unit : {a, b, c})
        ASSERT_TRUE(unit->AimAtObject(target, 0, false, false));
    // A client's copy of a unit's list gains an order with each 27 and loses
    // one with each 94: it must hold what the server's holds.
    const auto clientOrders = [&](const UnitActor* unit) {
        const auto count = [&](uint32_t type) {
            const std::vector<SentMessage> messages = Sent(type);
            return std::count_if(messages.begin(), messages.end(),
                                 [&](const SentMessage& m) { return m.Word(1) == unit->GetId(); });
        };
        return count(27) - count(94);
    };
    for (size_t pass = 1; pass <= 3; ++pass) {
        SCOPED_TRACE(pass);
        Pass({a, b, c});
        EXPECT_EQ(ServerCounters::PlanBudget(), 0);
        size_t approaching = 0;
        for (UnitActor* unit : {a, b, c}) {
            EXPECT_FALSE(unit->IsAttacking()) << "out of range, nobody aims";
            ASSERT_EQ(unit->Orders().size(), 1u);
            EXPECT_EQ(clientOrders(unit), 1);
            EXPECT_EQ(unit->Orders().front().kind, OrderKind::kAttackTarget);
            EXPECT_EQ(unit->Orders().front().targetId, static_cast<int32_t>(target->GetId()));
            if (!unit->Waypoints().empty())
                ++approaching;
        }
        EXPECT_EQ(approaching, pass);
    }
    EXPECT_TRUE(Sent(49).empty()) << "nothing is fired from out of range";
}

// Only a living target is measured: an attack on one that died goes on
// wherever it lies; a living one out of range is given up.
TEST_F(Approaches, ADeadTargetIsNotMeasured)
{
    const struct {
        const char* name;
        float distance;
        bool dead;
        bool attacking;  // after the pass
    } cases[] = {
        {"living, in range", 2.0f, false, true},
        {"living, out of range", 6.0f, false, false},
        {"dead, in range", 2.0f, true, true},
        {"dead, out of range", 6.0f, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnitActor* target = Unit(Character(10), 2, {0, 0, c.distance});
        UnitActor* unit = Attacker({0, 0, 0});
        unit->SetStandingOrder(3);  // hold position: no approach
        ASSERT_TRUE(unit->AimAtObject(target, static_cast<float>(now) / 1e6f, true, false));
        if (c.dead)
            target->TakeDamage(50);
        Pass({unit});
        EXPECT_EQ(unit->IsAttacking(), c.attacking);
        unit->Remove(false);
        target->Remove(false);
    }
}

// A target that had no route is not searched for again until the retry
// time has passed, so it does not take the pass's search every pass.
TEST_F(Approaches, AnUnreachableTargetWaitsBeforeItIsSearchedAgain)
{
    navtest::GridLevel grid = navtest::MakeGridLevel(std::vector<std::string>(3, "....#....."));
    Level::Current() = grid.level.get();
    UnitActor* target = Unit(Character(), 2, {8.5f, 0, 1.5f});
    UnitActor* unit = Attacker({3.5f, 0, 1.5f});
    const struct {
        float after;  // seconds since the failed search
        bool searched;
    } rows[] = {{0.0f, true}, {0.05f, false}, {0.5f, false}, {Actor::kApproachRetrySeconds + 0.1f, true}};
    const uint64_t start = now;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.after);
        now = start + static_cast<uint64_t>(row.after * 1e6f);
        ASSERT_TRUE(unit->AimAtObject(target, static_cast<float>(now) / 1e6f, false, false));
        Pass({unit});
        EXPECT_EQ(ServerCounters::PlanBudget(), row.searched ? 0 : 1);
        EXPECT_FALSE(unit->IsAttacking()) << "no route: the attack stops";
        EXPECT_TRUE(Sent(27).empty());
    }
}

// The gun's pose sequences (pitch 5, yaw 12) must arrive before a shot
// leaves; a model without them fires at once, and a pose that only follows
// a walking target a little each pass keeps firing.
TEST_F(ActorWorld, ShotsWaitForTheAimingPoseToArrive)
{
    script::Role& shot = NewRole();
    shot.character.reset();
    shot.projectile.emplace();
    shot.projectile->maxRange = 50.0f * 50.0f;
    script::WeaponEntry entry;
    entry.projectile = &shot;
    entry.firingSpeed = 40.0f;
    entry.magazineSize = entry.salvoSize = 100;
    entry.roundTime = 0.01f;
    script::RecordTables::Global().StoreWeapon(3, WeaponState::DefaultAmmoFor(3), entry);
    constexpr int32_t kSecond = 1000000;  // the poses' length in ticks
    const struct {
        const char* name;
        std::initializer_list<int32_t> sequences;
        int earliest, latest;  // the pass (50 ms each) of the first shot
    } rows[] = {
        {"NoPoses", {0}, 1, 1},
        // Aiming 45 degrees up moves the pitch pose a quarter of its second:
        // it arrives 0.3 s in, give or take the re-aims' rounding.
        {"PitchPoseTakesAQuarterSecond", {0, 5, 12}, 5, 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sent.clear();
        script::Role& role = Character();
        role.character->weapon = 3;
        role.character->secondaryWeapon = 2147483647;  // no weapon cycling
        role.character->canTurn = false;
        role.character->gunYawAngle = 1024;
        role.character->elevationAngle = 1024;
        GiveBoxModel(role, row.sequences, {}, kSecond);
        UnitActor* unit = Unit(role, 2, {0, 0, 0});
        const Vec3 muzzle = unit->Position() + unit->FirePoint(0);
        Vec3 aim{muzzle.x, muzzle.y - 10.0f, muzzle.z + 10.0f};
        unit->AimAtPoint(aim, 0, false, false);
        int first = 0;
        for (int pass = 1; pass <= 10; ++pass) {
            if (first != 0)
                aim.x += 0.02f;  // the target walks on
            unit->AimAtPoint(aim, static_cast<float>(now) / 1e6f, false, false);
            now += 50000;
            unit->Update(now, static_cast<float>(now) / 1e6f);
            ASSERT_TRUE(unit->IsAttacking());
            if (first == 0 && !Sent(49).empty())
                first = pass;
        }
        EXPECT_GE(first, row.earliest);
        EXPECT_LE(first, row.latest);
        EXPECT_EQ(Sent(49).size(), static_cast<size_t>(11 - first)) << "tracking keeps firing";
        unit->Remove(false);
    }
}

// ---- flags ----

TEST_F(ActorWorld, AFlagCarriedHomeIsCapturedForTenPoints)
{
    script::Role& role = Character();
    TeamTable::Find(1)->flagHome = {0, 0, 0};
    TeamTable::Find(2)->flag = std::make_unique<TeamFlag>(20.f, 0.f, 0.f, 0);
    UnitActor* unit = Unit(role, 1, {1, 0, 0});
    unit->TakeFlag(2);
    EXPECT_TRUE(TeamTable::Find(2)->flag->carried);
    now = 50000;
    unit->Update(now, 0.05f);
    EXPECT_EQ(unit->GetCarriedFlag(), 0);
    EXPECT_EQ(TeamTable::Find(1)->score, 10);
    EXPECT_FALSE(TeamTable::Find(2)->flag->carried);
    EXPECT_FLOAT_EQ(TeamTable::Find(2)->flag->position.x, 20.0f);
    ASSERT_EQ(Sent(61).size(), 1u);
    EXPECT_EQ(Sent(61)[0].Word(2), 2u);
}

} // namespace

// Server objects: damage and healing, destruction by kind, blasts and their
// chains, removal, the registry's buckets, side lists and the unobserved test.
#include "tests/objects/server_fixture.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/math_tables.h"
#include "world/collision_query.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>

namespace {

// Counts deletions, so a test can see when the last reference went.
int g_deleted = 0;
class Counted : public GameObject {
public:
    using GameObject::GameObject;

protected:
    ~Counted() override { ++g_deleted; }
};

// A watcher for the unobserved test: an actor with a sight range.
class Watcher : public GameObject {
public:
    using GameObject::GameObject;
    bool IsActor() const override { return true; }
};

using GameObjectTest = ServerWorld;

TEST_F(GameObjectTest, DamageAndHealingByArmour)
{
    struct Case {
        const char* name;
        int32_t armour, start, amount, expected;
    };
    const Case cases[] = {
        {"equal to the armour does nothing", 10, 80, 10, 80},
        {"below the armour does nothing", 10, 80, 3, 80},
        {"above the armour takes the excess", 10, 80, 25, 65},
        {"healing rises", 0, 50, -30, 80},
        {"healing is capped at the strength", 0, 90, -50, 100},
        {"healing at full strength stays", 0, 100, -1, 100},
        {"the largest blow does not wrap", 0, 80, INT32_MAX, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script::Role& role = NewRole(100, c.armour);
        role.destruction.emplace();
        role.destruction->kind = script::DestructionKind::kFragData;  // stays: replace is off
        GameObject* object = Make(&role, 1, {0, 0, 0});
        object->SetHitPoints(c.start);
        object->TakeDamage(c.amount);
        EXPECT_EQ(object->HitPoints(), c.expected);
    }
}

TEST_F(GameObjectTest, DeadObjectsWithoutARecordOrOfAnotherKindAreRemoved)
{
    struct Case {
        const char* name;
        bool record;
        script::DestructionKind kind;
    };
    const Case cases[] = {{"no destructibility record", false, {}},
                          {"an explode-or-splatter record", true, script::DestructionKind::kDestructibility}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sent.clear();
        g_deleted = 0;
        script::Role& role = NewRole(10);
        if (c.record) {
            role.destruction.emplace();
            role.destruction->kind = c.kind;
        }
        GameObject* object = new Counted(1, &role, {0, 0, 0}, Quaternion::Identity(), 0, 7);
        object->TakeDamage(50);
        EXPECT_EQ(g_deleted, 1);
        EXPECT_EQ(ObjectRegistry::Global().Find(7), nullptr);
        EXPECT_EQ(Sent(ObjectMessage::kRemoved).size(), 1u);
    }
}

TEST_F(GameObjectTest, ABlastHitsOnlyStrictlyWithinItsRadius)
{
    script::Role& bomb = NewRole(1);
    bomb.destruction.emplace();
    bomb.destruction->kind = script::DestructionKind::kFragData;
    bomb.destruction->blastDamage = 30;
    bomb.destruction->blastRange = 4.0f;
    bomb.destruction->replace = true;
    script::Role& crate = NewRole(100);
    GameObject* source = Make(&bomb, 1, {0, 0, 0});
    GameObject* atEdge = Make(&crate, 1, {4, 0, 0});
    GameObject* inside = Make(&crate, 1, {0, 0, 3.99f});
    GameObject* above = Make(&crate, 1, {0, -3.0f, 0});
    source->TakeDamage(5);
    EXPECT_EQ(atEdge->HitPoints(), 100) << "exactly at r: no";
    EXPECT_EQ(inside->HitPoints(), 70);
    EXPECT_EQ(above->HitPoints(), 70) << "the blast is a sphere";
    ASSERT_EQ(Sent(ObjectMessage::kDamage).size(), 2u);
    const auto destroyed = Sent(ObjectMessage::kDestroyed);
    ASSERT_EQ(destroyed.size(), 1u);
    EXPECT_EQ(destroyed[0].Word(2), 0u) << "the first explosion number";
    EXPECT_FALSE(destroyed[0].guaranteed) << "a removed object's notice is not guaranteed";
}

TEST_F(GameObjectTest, AnExplosionThatStaysNeverBlastsOrRespawnsAgain)
{
    script::Role& debris = NewRole(5);
    script::Role& barrel = NewRole(10);
    barrel.destruction.emplace();
    barrel.destruction->kind = script::DestructionKind::kFragData;
    barrel.destruction->replaceRole = &debris;
    barrel.destruction->blastDamage = 3;
    barrel.destruction->blastRange = 2.0f;
    barrel.destruction->replace = false;
    GameObject* object = Make(&barrel, 4, {1, 0, 1});
    GameObject* neighbour = Make(&NewRole(100), 4, {1, 0, 2});
    object->TakeDamage(20);
    object->TakeDamage(20);
    object->Destroy();
    EXPECT_TRUE(object->IsAlive());
    EXPECT_EQ(neighbour->HitPoints(), 97);
    EXPECT_EQ(spawned.size(), 1u);
    const auto destroyed = Sent(ObjectMessage::kDestroyed);
    ASSERT_EQ(destroyed.size(), 1u);
    EXPECT_TRUE(destroyed[0].guaranteed) << "an object that stays: guaranteed";
    GameObject* replacement = ObjectRegistry::Global().Find(spawned[0]);
    ASSERT_NE(replacement, nullptr);
    EXPECT_EQ(replacement->Side(), 0) << "a replacement without a record of its own goes to side 0";
}

TEST_F(GameObjectTest, ChainedBlastsRunOneAfterAnotherEachOnce)
{
    // A row of barrels 1.5 m apart, each blast reaching only its neighbours.
    script::Role& barrel = NewRole(10);
    barrel.destruction.emplace();
    barrel.destruction->kind = script::DestructionKind::kFragData;
    barrel.destruction->blastDamage = 50;
    barrel.destruction->blastRange = 2.0f;
    barrel.destruction->replace = true;
    constexpr int kRow = 200;  // deep enough that nesting would show on the stack
    for (int i = 0; i < kRow; ++i)
        Make(&barrel, 1, {1.5f * static_cast<float>(i), 0, 0});
    GameObject* beyond = Make(&NewRole(100), 1, {1.5f * kRow + 5.0f, 0, 0});
    ObjectRegistry::Global().Find(1)->TakeDamage(100);
    EXPECT_EQ(ObjectRegistry::Global().Count(), 1u);
    EXPECT_EQ(beyond->HitPoints(), 100);
    const auto destroyed = Sent(ObjectMessage::kDestroyed);
    ASSERT_EQ(destroyed.size(), static_cast<size_t>(kRow));
    for (int i = 0; i < kRow; ++i)
        EXPECT_EQ(destroyed[static_cast<size_t>(i)].Word(2), static_cast<uint32_t>(i)) << "explosion numbers in order";
    EXPECT_EQ(ServerCounters::PeekEventNumber(), kRow);
}

TEST_F(GameObjectTest, ACommandFileDestructionQueuesItsFile)
{
    script::Role& sw = NewRole(1);
    sw.destruction.emplace();
    sw.destruction->kind = script::DestructionKind::kFragScript;
    sw.destruction->name = "scripts\\open_gate.tcs";
    GameObject* object = Make(&sw, 1, {0, 0, 0});
    object->TakeDamage(5);
    ASSERT_EQ(commandFiles.size(), 1u);
    EXPECT_EQ(commandFiles[0], "scripts\\open_gate.tcs");
    EXPECT_TRUE(object->IsAlive()) << "replace off: it stays";
    object->TakeDamage(5);
    EXPECT_EQ(commandFiles.size(), 1u) << "once only";
}

TEST_F(GameObjectTest, RemoveTwiceIsHarmlessAndIdsSixtyFourApartShareABucket)
{
    script::Role& role = NewRole();
    g_deleted = 0;
    GameObject* a = new Counted(1, &role, {0, 0, 0}, Quaternion::Identity(), 0, 5);
    GameObject* b = new Counted(1, &role, {0, 0, 0}, Quaternion::Identity(), 0, 69);
    GameObject* c = new Counted(1, &role, {0, 0, 0}, Quaternion::Identity(), 0, 133);
    b->AddRef();  // as a pass would: it lives until the pass ends
    b->Remove(true);
    b->Remove(true);
    EXPECT_EQ(Sent(ObjectMessage::kRemoved).size(), 1u);
    EXPECT_EQ(ObjectRegistry::Global().Count(), 2u);
    EXPECT_EQ(ObjectRegistry::Global().Find(5), a);
    EXPECT_EQ(ObjectRegistry::Global().Find(69), nullptr);
    EXPECT_EQ(ObjectRegistry::Global().Find(133), c);
    EXPECT_FALSE(b->IsAlive());
    EXPECT_EQ(g_deleted, 0);
    b->Release();
    EXPECT_EQ(g_deleted, 1);
    const std::vector<GameObject*> order = ObjectRegistry::Global().Snapshot();
    EXPECT_EQ(order, (std::vector<GameObject*>{c, a})) << "newest first in the bucket";
}

TEST_F(GameObjectTest, SidesOutsideZeroToNineHaveNoList)
{
    script::Role& role = NewRole();
    for (int32_t side : {-1, 10, 1000, INT32_MIN}) {
        SCOPED_TRACE(side);
        GameObject* object = Make(&role, side, {0, 0, 0});
        EXPECT_FALSE(SideLists::Global().Add(*object));
        EXPECT_TRUE(SideLists::Global().Side(side).empty());
        object->Remove(false);
    }
    GameObject* listed = Make(&role, 9, {0, 0, 0});
    EXPECT_TRUE(SideLists::Global().Add(*listed));
    EXPECT_FALSE(SideLists::Global().Add(*listed)) << "once";
    listed->Remove(false);
    EXPECT_TRUE(SideLists::Global().Side(9).empty()) << "the destructor unlinks it";
}

TEST_F(GameObjectTest, AMovedObjectSendsItsPlacementOnce)
{
    GameObject* object = Make(&NewRole(), 1, {0, 0, 0});
    object->Update(1000, 0.5f);
    EXPECT_TRUE(Sent(ObjectMessage::kPlacement).empty());
    object->SetPosition({1, 2, 3});
    object->Update(2000, 1.0f);
    object->Update(3000, 1.5f);
    const auto placements = Sent(ObjectMessage::kPlacement);
    ASSERT_EQ(placements.size(), 1u);
    EXPECT_EQ(placements[0].bytes.size(), 40u);
    EXPECT_EQ(placements[0].Float(2), 1.0f);
    EXPECT_EQ(placements[0].Float(4), 2.0f);
    EXPECT_FLOAT_EQ(object->lifeTimer_, 8.5f);
}

TEST_F(GameObjectTest, UnobservedMatchesABruteForceCone)
{
    MathTables::Build();
    TeamTable::Build(4, 1, 0);
    std::mt19937 rng(27);
    std::uniform_real_distribution<float> coord(-20.0f, 20.0f), turn(0.0f, 2.0f * std::numbers::pi_v<float>);
    std::uniform_int_distribution<int32_t> angle(0, 1400), side(0, 3);
    script::Role& target = NewRole();
    int seen = 0, compared = 0;
    for (int trial = 0; trial < 400; ++trial) {
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        GameObject* subject = Make(&target, 1, {coord(rng), 0, coord(rng)});
        bool expected = true, nearBoundary = false;
        for (int w = 0; w < 3; ++w) {
            script::Role& role = NewRole();
            role.character->sightRange = 15.0f;
            role.character->sightAngle = angle(rng);
            const float heading = turn(rng);
            const Quaternion facing = Quaternion::FromAxisAngle({0, 1, 0}, heading);
            const int32_t watcherSide = side(rng);
            auto* watcher = new Watcher(watcherSide, &role, {coord(rng), 0, coord(rng)}, facing, 0,
                                        ObjectRegistry::Global().TakeNextId());
            if (watcherSide == 1 || watcherSide == 0)
                continue;
            const double dx = subject->Position().x - watcher->Position().x;
            const double dz = subject->Position().z - watcher->Position().z;
            const double d2 = dx * dx + dz * dz;
            const double threshold = std::cos(role.character->sightAngle * 2.0 * std::numbers::pi / 4096.0);
            const double fx = std::sin(heading), fz = std::cos(heading);
            const double cosine = (fx * dx + fz * dz) / std::sqrt(d2);
            if (std::abs(cosine - threshold) < 1e-3 || std::abs(d2 - 4.0) < 1e-3 || std::abs(d2 - 225.0) < 1e-2)
                nearBoundary = true;
            if (d2 > 4.0 && d2 < 225.0 && cosine > threshold)
                expected = false;
        }
        if (nearBoundary)
            continue;
        ++compared;
        seen += expected ? 0 : 1;
        EXPECT_EQ(subject->IsUnobserved(), expected) << "trial " << trial;
    }
    EXPECT_GT(compared, 300);
    EXPECT_GT(seen, 20) << "the cases include watchers that see";
}

} // namespace

namespace {

TEST_F(GameObjectTest, AShapedObjectTakesItsExtentAndIsHitWithinItsBounds)
{
    struct Case {
        const char* name;
        float turn;  // radians about y
        Vec3 extent;
        uint32_t aiFlags;
        float fraction;  // of a segment from x = -5 to 5 at the box's middle height
    };
    const Case cases[] = {
        {"upright", 0, {2, 2, 1}, kObjectAiTyped, 0.4f},
        {"a quarter turn", std::numbers::pi_v<float> / 2, {1, 2, 2}, 0, 0.45f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script::Role& role = NewRole();
        GiveBoxShape(role, {-1, -2, -0.5f}, {1, 0, 0.5f});
        GameObject* object = new GameObject(1, &role, {0, 0, 0}, Quaternion::FromAxisAngle({0, 1, 0}, c.turn),
                                            kCreateQuiet, ObjectRegistry::Global().TakeNextId());
        ASSERT_NE(object->Shape(), nullptr);
        EXPECT_NEAR(object->extent_.x, c.extent.x, 1e-4f);
        EXPECT_NEAR(object->extent_.y, c.extent.y, 1e-4f);
        EXPECT_NEAR(object->extent_.z, c.extent.z, 1e-4f);
        EXPECT_NEAR(object->radius_, 0.5f * std::max(c.extent.x, c.extent.z), 1e-4f);
        EXPECT_NEAR(object->GetAimPoint().y, -1.0f, 1e-4f);
        Ai::SetType(*object, 4, 0);
        EXPECT_EQ(object->flags_, c.aiFlags) << "flag 2 for a shaped object less than 1.2 m deep";

        CollisionHit hit;
        EXPECT_TRUE(object->HitTestSegment(hit, {-5, -1, 0}, {10, 0, 0}, 1.0f));
        EXPECT_NEAR(hit.fraction, c.fraction, 1e-3f);
        CollisionHit miss;
        EXPECT_FALSE(object->HitTestSegment(miss, {-5, -6, 0}, {10, 0, 0}, 1.0f));
        EXPECT_EQ(miss.fraction, 1.0f) << "unchanged without a hit";
        CollisionHit late;
        EXPECT_FALSE(object->HitTestSegment(late, {-5, -1, 0}, {10, 0, 0}, 0.2f)) << "beyond the maximum";
    }
    GameObject* bare = Make(&NewRole(), 1, {0, 0, 0});
    CollisionHit none;
    EXPECT_FALSE(bare->HitTestSegment(none, {-5, 0, 0}, {10, 0, 0}, 1.0f)) << "no shape, no hit";
    EXPECT_EQ(bare->extent_, (Vec3{1, 1, 1}));
}

} // namespace

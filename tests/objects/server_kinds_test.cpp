// The server kinds: the factory's classes and image sizes, the footprint's
// marks, pick-ups and switches, the segmented creature, the dormant guard
// and the escort.
#include "objects/server_kinds.h"

#include "objects/inventory.h"
#include "objects/path_mover.h"
#include "objects/role_table.h"
#include "objects/server_classes.h"
#include "objects/think_routines.h"
#include "Veapi/ve_object.h"
#include "tests/objects/navigation_fixture.h"
#include "tests/objects/ai_fixture.h"
#include "world/level.h"
#include "session/game_message.h"
#include "session/request_table.h"

#include <gtest/gtest.h>

namespace {

class KindWorld : public AiServerWorld {
protected:
    void SetUp() override
    {
        AiServerWorld::SetUp();
        RegisterActorClasses();
        // Spawns make the class their role picks, as the server does.
        ServerLink link = ServerLink::Get();
        link.spawn = [this](int32_t side, script::Role* role, const Vec3& p, const Quaternion& q) -> uint32_t {
            GameObject* made = Create(*role, side, p, q);
            spawned.push_back(made->GetId());
            return made->GetId();
        };
        ServerLink::Install(std::move(link));
    }
    void TearDown() override
    {
        AiServerWorld::TearDown();
        Level::Current() = nullptr;
    }

    script::Role& Kind(int32_t aiType, const char* name = nullptr)
    {
        script::Role& role = NewRole(100);
        role.aiType = aiType;
        role.character->canTurn = true;
        role.character->walkingSpeed = 65536;
        role.character->turningSpeed = 4096;
        role.character->sightRange = 10;
        role.character->sightAngle = 512;
        if (name) {
            role.identifier = name;
            RoleTable::Global().File(role);
        }
        return role;
    }

    GameObject* Create(script::Role& role, int32_t side, const Vec3& at, const Quaternion& q = Quaternion::Identity())
    {
        GameObject* object = ServerClasses::Make(side, &role, at, q, ObjectRegistry::Global().TakeNextId());
        Ai::SetType(*object, role.aiType, now);
        SideLists::Global().Add(*object);
        object->Activate(now, 0);
        return object;
    }

    template <class T>
    T* CreateAs(script::Role& role, int32_t side, const Vec3& at, const Quaternion& q = Quaternion::Identity())
    {
        GameObject* object = Create(role, side, at, q);
        EXPECT_TRUE(object->IsKind(role.aiType));
        return static_cast<T*>(object);
    }
};

TEST_F(KindWorld, FactoryMakesEachKindWithItsImageSize)
{
    const struct {
        int32_t aiType;
        uint32_t size;
        bool actor, unit;
    } rows[] = {{5, 272, false, false},  {10, 280, false, false}, {12, 656, true, true}, {13, 656, true, true},
                {14, 480, true, false},  {16, 656, true, true},   {17, 456, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.aiType);
        GameObject* object = Create(Kind(row.aiType), 2, {1, 0, 1});
        EXPECT_TRUE(object->IsKind(row.aiType));
        EXPECT_EQ(object->IsKind(13), row.aiType == 12 || row.aiType == 13) << "a head counts as a segment";
        EXPECT_EQ(object->SizeInBytes(), row.size);
        EXPECT_EQ(object->IsActor(), row.actor);
        EXPECT_EQ(object->IsUnit(), row.unit);
    }
}

TEST_F(KindWorld, FootprintMarksTheFloorUnderItUntilItGoes)
{
    navtest::GridLevel grid = navtest::MakeGridLevel({"......", "......", "......", "......", "......", "......"});
    Level::Current() = grid.level.get();
    script::Role& footprint = Kind(5);
    GiveBoxShape(footprint, {-1.2f, -1, -1.2f}, {1.2f, 0, 1.2f});
    GameObject* object = Create(footprint, 0, {3.5f, 0, 3.5f});
    const auto& marked = static_cast<Kind5Object*>(object)->Marked();
    EXPECT_EQ(marked.size(), 9u) << "the 3 x 3 cells whose centres lie under it";
    for (int z = 0; z < 6; ++z) {
        for (int x = 0; x < 6; ++x) {
            const bool under = x >= 2 && x <= 4 && z >= 2 && z <= 4;
            EXPECT_EQ((grid.At(x, z)->flags_ & Kind5Object::kMarkFlag) != 0, under) << x << "," << z;
        }
    }
    object->Remove(true);
    for (CollisionPolygon* cell : grid.cells)
        EXPECT_EQ(cell->flags_ & Kind5Object::kMarkFlag, 0u);
}

struct PickUpCase {
    const char* name;
    bool destroyAfter;
    const char* commandFile;  // null: a pick-up
    bool runOnce;
    const char* requiredRole;
    bool carriesRequired;
    int uses;
    size_t files;         // command files run over the uses
    size_t items;         // items the actor gained
    bool removed;
    uint32_t lastMessage; // 0: none of 52, 93, 100
};

class PickUps : public KindWorld, public ::testing::WithParamInterface<PickUpCase> {};

TEST_P(PickUps, UseRunsSwitchesAndCollectsPickUps)
{
    const PickUpCase& c = GetParam();
    script::Role& key = Kind(0, "key");
    script::Role& thing = Kind(10);
    // Rating 0: the pick-up gives a heal (a role without a character
    // record rates 2, an item kind nothing is made of).
    thing.character.emplace();
    thing.character->aggression = 0.0f;
    if (c.destroyAfter)
        thing.flags |= script::kRoleDestroyAfterCollection;
    auto* object = CreateAs<Kind10Object>(thing, 0, {0, 0, 0});
    if (c.commandFile)
        object->Associate(c.commandFile, c.runOnce);
    if (c.requiredRole)
        object->SetRequiredRole(c.requiredRole);
    GameObject* made = Create(Kind(0), 1, {0, 0, 1});
    ASSERT_TRUE(made->IsActor());
    auto* actor = static_cast<Actor*>(made);
    actor->SetInventory(std::make_unique<Inventory>());
    if (c.carriesRequired) {
        CarriedItem item;
        item.roleId = key.id;
        item.id = 77;
        actor->GetInventory()->Add(item);
    }
    const size_t before = actor->GetInventory()->Items().size();
    GameObjectRef hold(object);
    for (int i = 0; i < c.uses; ++i)
        object->Use(*actor);
    EXPECT_EQ(commandFiles.size(), c.files);
    EXPECT_EQ(actor->GetInventory()->Items().size() - before, c.items);
    EXPECT_EQ(object->IsRemoved(), c.removed);
    EXPECT_EQ(ObjectRegistry::Global().Find(object->GetId()) != nullptr, !c.removed);
    uint32_t last = 0;
    for (const SentMessage& m : sent) {
        if (m.Type() == 52 || m.Type() == KindMessage::kCollected || m.Type() == KindMessage::kSwitchSpent)
            last = m.Type();
    }
    EXPECT_EQ(last, c.lastMessage);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PickUps,
    ::testing::Values(PickUpCase{"DestroyedAfterCollection", true, nullptr, false, nullptr, false, 2, 0, 1, true, 52},
                      PickUpCase{"KeptAndReported", false, nullptr, false, nullptr, false, 2, 0, 1, false, 93},
                      PickUpCase{"RunOnceSwitch", false, "open.tcs", true, nullptr, false, 3, 1, 0, false, 100},
                      PickUpCase{"RepeatingSwitch", false, "open.tcs", false, nullptr, false, 3, 3, 0, false, 0},
                      PickUpCase{"SwitchWithParentPath", false, "../open.tcs", false, nullptr, false, 1, 0, 0, false, 0},
                      PickUpCase{"SwitchWithSlash", false, "scripts/open.tcs", false, nullptr, false, 1, 0, 0, false, 0},
                      PickUpCase{"SwitchWithBackSlash", false, "a\\open.tcs", false, nullptr, false, 1, 0, 0, false, 0},
                      PickUpCase{"RequiredRoleMissing", false, "open.tcs", false, "key", false, 1, 0, 0, false, 0},
                      PickUpCase{"RequiredRoleCarried", false, "open.tcs", false, "key", true, 1, 1, 0, false, 0}),
    [](const auto& param) { return std::string(param.param.name); });

// A pick-up the taker's model has a pick-up sequence for waits for it: the
// taker is busy until it ends, and only then holds the item.
TEST_F(KindWorld, APickUpSequenceDelaysTheItemUntilItEnds)
{
    constexpr int32_t kSecond = 1000000;  // the sequences' length in ticks
    const struct {
        const char* name;
        int32_t itemKind;
        std::initializer_list<int32_t> sequences;
        uint32_t waitsFor;  // the sequence played, 0: taken at once
    } rows[] = {
        {"KindTwoPlays49", 2, {0, 49}, 49},
        {"OtherKindsPlay50", 0, {0, 50}, 50},
        {"KindTwoWithout49", 2, {0, 50}, 0},
        {"NoPickUpSequence", 0, {0}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sent.clear();
        script::Role& thing = Kind(10);
        thing.character.reset();
        auto* object = CreateAs<Kind10Object>(thing, 0, {0, 0, 0});
        GameObjectRef holdObject(object);
        object->ApplyRoleValue(row.itemKind);
        const bool waits = row.waitsFor != 0;
        script::Role& taker = Kind(0);
        GiveBoxModel(taker, row.sequences, {}, kSecond);
        auto* actor = static_cast<Actor*>(Create(taker, 1, {0, 0, 1}));
        GameObjectRef holdActor(actor);
        actor->SetInventory(std::make_unique<Inventory>());
        const size_t before = actor->GetInventory()->Items().size();
        actor->followedId_ = static_cast<int32_t>(object->GetId());
        ASSERT_TRUE(object->Use(*actor));
        EXPECT_EQ(actor->IsBusy(), waits);
        EXPECT_EQ(Sent(KindMessage::kPickingUp).size(), waits ? 1u : 0u);
        if (waits) {
            const SentMessage m = Sent(KindMessage::kPickingUp)[0];
            EXPECT_EQ(m.Word(1), actor->GetId());
            EXPECT_EQ(m.Word(2), row.waitsFor);
            EXPECT_EQ(m.bytes.size(), 16u);
        }
        EXPECT_EQ(object->Collected(), !waits);
        const uint64_t start = now;
        for (int pass = 1; pass <= 25; ++pass) {
            now = start + static_cast<uint64_t>(pass) * 50000;
            actor->Update(now, static_cast<float>(now) / 1e6f);
            const bool ended = now - start > static_cast<uint64_t>(kSecond);
            if (!waits || ended)
                continue;
            ASSERT_FALSE(object->Collected()) << pass;
            ASSERT_TRUE(actor->IsBusy()) << pass;
        }
        EXPECT_TRUE(object->Collected());
        EXPECT_FALSE(actor->IsBusy());
        EXPECT_FALSE(actor->pickUpPending_);
        if (waits) {
            // The pick-up that ends its sequence is announced, once.
            EXPECT_EQ(Sent(81).size(), 1u);
            EXPECT_TRUE(Sent(82).empty());
        }
        // Kind 2 is collected without becoming an item; the others once.
        EXPECT_EQ(actor->GetInventory()->Items().size() - before, row.itemKind == 2 ? 0u : 1u) << "taken once";
        object->Remove(false);
        actor->Remove(false);
    }
}

// An actor that stands still near what it follows uses it in its own
// update: a switch runs its file (once per walk to it), a pick-up is taken.
TEST_F(KindWorld, AnActorUsesTheSwitchOrPickUpItFollowsOnceNear)
{
    const struct {
        const char* name;
        const char* commandFile;  // null: a pick-up
        bool runOnce;
        bool requiredRole;  // the switch needs a "key" the actor lacks
        bool inventory;
        bool customised;
        float distance;
        size_t files, items;
        bool stillFollowed;
    } rows[] = {
        {"RunOnceSwitch", "open.tcs", true, false, true, true, 1, 1, 0, false},
        {"RepeatingSwitchRunsOncePerFollow", "open.tcs", false, false, true, true, 1, 1, 0, false},
        {"SwitchNeedsNoInventory", "open.tcs", false, false, false, true, 1, 1, 0, false},
        {"SwitchJustOutOfReach", "open.tcs", false, false, true, true, 2.45f, 0, 0, true},
        {"SwitchWithoutItsKey", "open.tcs", false, true, true, true, 1, 0, 0, true},
        {"NotCustomisable", "open.tcs", false, false, true, false, 1, 0, 0, true},
        {"PickUpTakenAtOnce", nullptr, false, false, true, true, 2, 0, 1, false},
        {"PickUpWithoutInventory", nullptr, false, false, false, true, 1, 0, 0, true},
    };
    Kind(0, "key");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sent.clear();
        commandFiles.clear();
        script::Role& thing = Kind(10);
        thing.character->aggression = 0.0f;
        auto* object = CreateAs<Kind10Object>(thing, 0, {0, 0, 0});
        GameObjectRef holdObject(object);
        if (row.commandFile)
            object->Associate(row.commandFile, row.runOnce);
        if (row.requiredRole)
            object->SetRequiredRole("key");
        script::Role& taker = Kind(0);
        if (row.customised)
            taker.character->customisationShape.shape = std::make_shared<int>(0);
        auto* actor = static_cast<Actor*>(Create(taker, 1, {0, 0, row.distance}));
        GameObjectRef holdActor(actor);
        actor->SetInventory(row.inventory ? std::make_unique<Inventory>() : nullptr);
        const size_t before = row.inventory ? actor->GetInventory()->Items().size() : 0;
        actor->followedId_ = static_cast<int32_t>(object->GetId());
        const uint64_t start = now;
        for (int pass = 1; pass <= 3; ++pass) {
            now = start + static_cast<uint64_t>(pass) * 50000;
            actor->Update(now, static_cast<float>(now) / 1e6f);
        }
        EXPECT_EQ(commandFiles.size(), row.files);
        if (row.inventory) {
            EXPECT_EQ(actor->GetInventory()->Items().size() - before, row.items);
        }
        EXPECT_EQ(Sent(81).size(), row.items) << "a pick-up taken is announced";
        EXPECT_EQ(actor->followedId_ != -1, row.stillFollowed);
        EXPECT_FALSE(actor->IsBusy());
        object->Remove(false);
        actor->Remove(false);
    }
}

TEST_F(KindWorld, PickUpsSpawnUpToFourBugsExceptKindTwoAndWhileRestoring)
{
    Kind(0, "bug");
    script::Role& thing = Kind(10);
    thing.character->aggression = 0.7f;  // rating 6
    size_t made = 0;
    for (int i = 0; i < 40; ++i) {
        const size_t before = spawned.size();
        Create(thing, 0, {0, 0, 0});
        EXPECT_LE(spawned.size() - before, 4u);
        made += spawned.size() - before;
    }
    EXPECT_GT(made, 0u);
    thing.character->aggression = 0.25f;  // rating 2: no bugs
    ServerKinds::SetRestoring(false);
    const size_t before = spawned.size();
    Create(thing, 0, {0, 0, 0});
    thing.character->aggression = 0.7f;
    ServerKinds::SetRestoring(true);
    for (int i = 0; i < 10; ++i)
        Create(thing, 0, {0, 0, 0});
    ServerKinds::SetRestoring(false);
    EXPECT_EQ(spawned.size(), before);
}

TEST_F(KindWorld, CreatureDragsFiveSegmentsAndDiesWithTheLast)
{
    navtest::GridLevel grid = navtest::MakeGridLevel(std::vector<std::string>(14, "..."));
    Level::Current() = grid.level.get();
    Kind(13, "centibody");
    auto* head = CreateAs<Kind12Actor>(Kind(12), 2, {1.5f, 0, 9.5f});
    GameObjectRef hold(head);  // read after it is gone
    ASSERT_EQ(Sent(KindMessage::kSegment).size(), 5u);
    std::vector<Kind13Actor*> chain;
    for (Kind13Actor* s = head->NextSegment(); s; s = s->NextSegment())
        chain.push_back(s);
    ASSERT_EQ(chain.size(), 5u);
    EXPECT_FLOAT_EQ(chain[4]->Position().z, 4.5f) << "one metre apart, behind the head";
    // The head walks on; the segments follow towards where it stood.
    head->WalkTo({1.5f, 0, 11.5f});
    for (uint64_t t = 1; t <= 20; ++t)
        head->Update(t * 100000, static_cast<float>(t) * 0.1f);
    EXPECT_GT(head->Position().z, 10.0f);
    EXPECT_GT(chain[0]->Position().z, 8.5f);
    EXPECT_LT(chain[0]->Position().z, head->Position().z);
    // Segments die from the tail up; the chain is cut at each, and with its
    // last segment gone the head dies too.
    for (size_t i = chain.size(); i-- > 0;) {
        EXPECT_FALSE(head->IsRemoved());
        chain[i]->Remove(true);
        head->Update(3000000 + i, 3.0f);
    }
    head->Update(4000000, 4.0f);
    EXPECT_TRUE(head->IsRemoved());
}

TEST_F(KindWorld, ADyingLinkTakesEverySegmentBehindIt)
{
    navtest::GridLevel grid = navtest::MakeGridLevel(std::vector<std::string>(14, "..."));
    Level::Current() = grid.level.get();
    Kind(13, "centibody");
    // Killing the head, or the second segment, in one table of cases.
    for (size_t killed : {size_t{0}, size_t{2}}) {
        SCOPED_TRACE(killed);
        auto* head = CreateAs<Kind12Actor>(Kind(12), 2, {1.5f, 0, 9.5f});
        std::vector<GameObjectRef> chain{GameObjectRef(head)};
        for (Kind13Actor* s = head->NextSegment(); s; s = s->NextSegment())
            chain.emplace_back(s);
        ASSERT_EQ(chain.size(), 6u);
        chain[killed]->TakeDamage(1000);
        for (size_t i = 0; i < chain.size(); ++i)
            EXPECT_EQ(chain[i]->IsAlive(), i < killed) << "link " << i;
    }
}

TEST_F(KindWorld, DormantGuardRisesForAnEnemyInItsConeThenFights)
{
    script::Role& guardRole = Kind(16);
    guardRole.character->weapon = 0;
    auto* guard = CreateAs<Kind16Actor>(guardRole, 2, {0, 0, 0});
    GameObject* enemy = Create(Kind(0), 1, {0, 0, -5});  // behind it
    guard->Update(1000, 0.1f);
    EXPECT_FALSE(guard->Rising());
    enemy->SetPositionQuiet({0, 0, 15});  // in front, out of range
    guard->Update(2000, 0.2f);
    EXPECT_FALSE(guard->Rising());
    enemy->SetPositionQuiet({1, 0, 5});
    guard->Update(3000, 0.3f);
    EXPECT_TRUE(guard->Rising());
    EXPECT_EQ(Sent(KindMessage::kGuardRises).size(), 1u);
    EXPECT_FALSE(guard->Woken());
    guard->Update(4000, 0.4f);  // no shape to play the rise: done at once
    EXPECT_TRUE(guard->Woken());
    EXPECT_EQ(guard->think_, &Ai::ThinkCombat);
    EXPECT_EQ(Sent(KindMessage::kGuardRises).size(), 1u);
}

// What a dormant guard rises for: a living, unhidden object of another side
// within its character's sight range and cone (its own sight, widened by
// what it carries, does not count while it lies dormant).
class Hideable : public UnitActor {
public:
    using UnitActor::UnitActor;
    void Hide() { hidden_ = true; }

protected:
    ~Hideable() override = default;
};

TEST_F(KindWorld, DormantGuardRisesOnlyForWhatItCanSee)
{
    script::Role& guardRole = Kind(16);  // 10 m, 512 (45 degrees either way)
    guardRole.character->weapon = 0;
    script::Role& body = Kind(0);
    const struct {
        const char* name;
        int32_t side;
        Vec3 at;
        bool hidden, dead;
        float widened;  // added to the guard's own sight
        bool rises;
    } rows[] = {{"in its cone", 1, {1, 0, 5}, false, false, 0, true},
                {"behind it", 1, {0, 0, -5}, false, false, 0, false},
                {"beside it, outside the cone", 1, {5, 0, 1}, false, false, 0, false},
                {"beyond its range", 1, {0, 0, 10.5f}, false, false, 0, false},
                {"beyond its range, within widened sight", 1, {0, 0, 12}, false, false, 5, false},
                {"hidden", 1, {1, 0, 5}, true, false, 0, false},
                {"dead", 1, {1, 0, 5}, false, true, 0, false},
                {"own side", 2, {1, 0, 5}, false, false, 0, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        auto* guard = CreateAs<Kind16Actor>(guardRole, 2, {0, 0, 0});
        if (row.widened > 0)
            guard->ExtendSight(row.widened);
        auto* other = new Hideable(row.side, &body, row.at, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        Ai::SetType(*other, 0, now);
        SideLists::Global().Add(*other);
        other->Activate(now, 0);
        if (row.hidden)
            other->Hide();
        if (row.dead)
            other->SetHitPoints(0);
        guard->Update(1000, 0.1f);
        EXPECT_EQ(guard->Rising(), row.rises);
    }
}

// A risen guard is aimed at between its model's first two parts (turned
// with it); a model with fewer keeps the centre.
TEST_F(KindWorld, ARisenGuardIsAimedAtBetweenItsFirstTwoParts)
{
    const Quaternion halfTurn{0, 1, 0, 0};  // about y: x and z change sign
    const struct {
        const char* name;
        std::initializer_list<ModelPart> parts;
        Vec3 offset;
    } rows[] = {
        {"TwoParts", {{"head", {0.2f, -2.0f, 0.0f}}, {"gun", {0.0f, -1.0f, 1.0f}}}, {-0.1f, -1.5f, -0.5f}},
        {"ThirdPartIgnored", {{"a", {1, -1, 0}}, {"b", {1, -1, 2}}, {"c", {9, 9, 9}}}, {-1, -1, -1}},
        {"OnePartKeepsTheCentre", {{"head", {0.2f, -2.0f, 0.0f}}}, {0, -0.9f, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& guardRole = Kind(16);
        guardRole.character->weapon = 0;
        GiveBoxModel(guardRole, {0, 20}, row.parts);
        auto* guard = CreateAs<Kind16Actor>(guardRole, 2, {3, 0, 4}, halfTurn);
        EXPECT_NEAR(guard->AimOffset().x, row.offset.x, 1e-5f);
        EXPECT_NEAR(guard->AimOffset().y, row.offset.y, 1e-5f);
        EXPECT_NEAR(guard->AimOffset().z, row.offset.z, 1e-5f);
        guard->Remove(false);
    }
}

TEST_F(KindWorld, EscortHeadsForAnExitScoresOnceAndLeavesTheRegistry)
{
    navtest::GridLevel grid = navtest::MakeGridLevel({"..........", "..........", ".........."});
    Level::Current() = grid.level.get();
    for (char c : {'a', 'b', 'c', 'd'})
        grid.level->dummies_.push_back({std::string("EXIT") + c, {static_cast<float>(c - 'a') * 2 + 1.5f, 0, 1.5f}});
    auto* escort = CreateAs<Kind17Actor>(Kind(17), 0, {9.5f, 0, 2.5f});
    EXPECT_FALSE(escort->HasGoal());
    EXPECT_FLOAT_EQ(escort->Goal().x, 9.5f) << "the goal starts where it stands";
    escort->Update(1000, 0.1f);
    EXPECT_FALSE(escort->IsRemoved()) << "no exit yet: nothing to reach";
    escort->SetSide(1);
    ASSERT_TRUE(escort->HasGoal());
    ASSERT_EQ(Sent(KindMessage::kEscortExit).size(), 1u);
    const uint32_t exit = Sent(KindMessage::kEscortExit)[0].Word(1);
    EXPECT_FLOAT_EQ(escort->Goal().x, static_cast<float>(exit) * 2 + 1.5f);
    const uint32_t id = escort->GetId();
    GameObjectRef hold(escort);
    escort->SetPositionQuiet({escort->Goal().x + 1, 0, 1.5f});
    for (int i = 0; i < 3; ++i)
        escort->Update(2000 + i, 0.2f);
    EXPECT_EQ(TeamTable::Find(1)->score, Kind17Actor::kScore);
    EXPECT_EQ(ObjectRegistry::Global().Find(id), nullptr);
    EXPECT_EQ(Sent(52).size(), 1u);
}

TEST_F(KindWorld, EscortTakesTheSideOfASquadThatComesNear)
{
    auto* escort = CreateAs<Kind17Actor>(Kind(17), 2, {0, 0, 0});
    GameObject* member = Create(Kind(0), 1, {0, 0, 3});
    escort->Update(1000, 6.0f);
    EXPECT_EQ(escort->Side(), 2) << "3 m: not yet near enough";
    member->SetPositionQuiet({0, 0, 2});
    escort->Update(2000, 7.0f);
    EXPECT_EQ(escort->Side(), 1);
    ASSERT_EQ(Sent(KindMessage::kEscortSide).size(), 1u);
    const auto& own = SideLists::Global().Side(1);
    EXPECT_NE(std::find(own.begin(), own.end(), escort), own.end());
}

// Request 37 {37, mover id, wanted direction}: a stopped mover starts
// towards the wanted end; anything else changes nothing.
TEST_F(KindWorld, SwitchRequestStartsOrReversesAMoverOnly)
{
    script::Role& lift = Kind(8);
    lift.character.reset();
    GameObject* plain = Create(Kind(0), 1, {0, 0, 0});
    const struct {
        const char* name;
        bool useMover;
        std::vector<uint32_t> tail;  // words after the id
        bool moving;
        bool removedFirst;
    } rows[] = {
        {"starts towards the end", true, {1}, true, false},
        {"already there: nothing", true, {0}, false, false},
        {"short block", true, {}, false, false},
        {"long block", true, {1, 0}, false, false},
        {"not a mover", false, {1}, false, false},
        {"removed mover", true, {1}, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto* mover = static_cast<Kind8Object*>(Create(lift, 0, {0, 0, 0}));
        const Vec3 points[4] = {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 0, 3}};
        mover->SetTrack(points, Quaternion::Identity(), false);
        GameObjectRef hold(mover);
        if (row.removedFirst)
            mover->Remove(true);
        std::vector<uint32_t> words = {RequestTable::kSwitchMoverType, row.useMover ? mover->GetId() : plain->GetId()};
        words.insert(words.end(), row.tail.begin(), row.tail.end());
        std::vector<uint8_t> bytes(words.size() * 4);
        std::memcpy(bytes.data(), words.data(), bytes.size());
        RequestTable::Apply(GameMessage(bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
        EXPECT_EQ(mover->IsMoving(), row.moving);
    }
}

} // namespace

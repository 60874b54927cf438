#include "../objects/client_fixture.h"

#include "objects/inventory_display.h"
#include "session/client_apply.h"
#include "session/client_hooks.h"

#include <bit>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace {

using Client::Applied;

// A message of 32-bit words; floats go in through F.
struct Block {
    std::vector<uint8_t> bytes;
    Block(std::initializer_list<uint32_t> words)
    {
        for (uint32_t w : words)
            for (int i = 0; i < 4; ++i)
                bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
};

uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }
constexpr uint32_t kNan = 0x7FC00000u;

Applied Apply(const Block& block) { return Client::ApplyServerMessage(block.bytes); }

class ClientApply : public ClientWorld {
protected:
    // The shared countdown runs out at this update: the idle variation starts.
    static void StartIdle(MovingObject& mover)
    {
        WorldObjectTable::VariationCountdown() = 0;
        AppTime::SetGameSpeed(1.0f);
        mover.Update(0, 0.0f);
        AppTime::SetGameSpeed(0.0f);
        AppTime::SetGameTime(0);
    }
};

TEST_F(ClientApply, SpawnLaunchAndRemovalReachTheReplicas)
{
    script::Role& walker = NewRole(2);
    script::Role& shot = NewRole(1);
    shot.character.reset();
    shot.projectile.emplace();
    const uint32_t walkerRole = static_cast<uint32_t>(walker.id), shotRole = static_cast<uint32_t>(shot.id);
    ASSERT_EQ(Apply({67, 40, walkerRole, 2, F(1), F(0), F(2), 0, 0, 0, F(1)}), Applied::kApplied);
    WorldObject* made = WorldObjectTable::FindById(40);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsMobile());
    EXPECT_EQ(made->Position().z, 2.0f);

    ASSERT_EQ(Apply({49, 40, 0xFFFFFFFFu, shotRole, 2, 0, F(0), F(-1), F(0), 0, 0, 0, F(1), F(15), 41}),
              Applied::kApplied);
    auto* projectile = dynamic_cast<WorldProjectile*>(WorldObjectTable::FindById(41));
    ASSERT_NE(projectile, nullptr);
    EXPECT_EQ(projectile->ShooterId(), 40u);
    EXPECT_NEAR(projectile->Velocity().z, 15.0f, 1e-4f);

    EXPECT_EQ(Apply({76, 40, F(0.5f), F(3), F(0), F(4), 0, 0, 0, F(1)}), Applied::kApplied);
    EXPECT_EQ(made->Position().x, 3.0f);
    EXPECT_EQ(Apply({52, 40}), Applied::kApplied);
    EXPECT_EQ(WorldObjectTable::FindById(40), nullptr);
    EXPECT_EQ(Apply({52, 40}), Applied::kRefused);
}

TEST_F(ClientApply, BadIdsIndexesAndCountsChangeNothing)
{
    script::Role& walker = NewRole(2);
    script::Role& gunner = NewRole(0, 100, 3);
    script::Role& lift = NewRole(8);
    script::Role& shot = NewRole(1);
    shot.character.reset();
    shot.projectile.emplace();
    auto* mover = Make<MovingObject>(walker, kOwnSide, {0, 0, 0});
    auto* unit = Make<Unit>(gunner, kEnemySide, {5, 0, 0});
    auto* platform = Make<TypedObject8>(lift, 0, {9, 0, 0});
    const uint32_t m = mover->GetId(), u = unit->GetId(), l = platform->GetId();
    const uint32_t walkerRole = static_cast<uint32_t>(walker.id), shotRole = static_cast<uint32_t>(shot.id);
    const Block rows[] = {
        {42, m},                                                           // short of its size row
        {52, 999},                                                         // no such object
        {67, m, walkerRole, 2, 0, 0, 0, 0, 0, 0, F(1)},                    // the id is taken
        {67, 77, 5000, 2, 0, 0, 0, 0, 0, 0, F(1)},                         // no such role
        {67, 77, walkerRole, 12, 0, 0, 0, 0, 0, 0, F(1)},                  // no such side
        {67, 78, walkerRole, 2, kNan, 0, 0, 0, 0, 0, F(1)},                // not finite
        {49, m, 0xFFFFFFFFu, shotRole, 200, 0, 0, 0, 0, 0, 0, 0, F(1), F(1), 79},  // side of 49
        {49, m, 0xFFFFFFFFu, 7777, 2, 0, 0, 0, 0, 0, 0, 0, F(1), F(1), 79},        // role of 49
        {119, m, 5000},                                                    // sequence
        {57, m, 99},                                                       // side
        {41, 0, 12345, 1, 0, m},                                           // polygon (no level)
        {90, u, 40},                                                       // ammunition type
        {91, u, 99},                                                       // weapon type
        {46, u, 0, 4242},                                                  // target
        {45, m, 0, 0, 0, 0},                                               // not a unit
        {98, u, 4242},                                                     // linked segment
        {99, m, 1, 3},                                                     // sever point
        {87, m, 12},                                                       // item
        {106, l, 2, m},                                                    // rider count beyond the block
        {106, l, 1, 4242},                                                 // rider
        {59, m, 55},                                                       // team
        {118, m, 5000},                                                    // role
        {62, m, kNan},                                                     // amount
        {76, m, kNan, 0, 0, 0, 0, 0, 0, F(1)},                             // seconds
    };
    const uint32_t countBefore = WorldObjectTable::Count();
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(Apply(rows[i]), Applied::kRefused) << "row " << i;
        EXPECT_EQ(WorldObjectTable::Count(), countBefore) << "row " << i;
        EXPECT_EQ(mover->Side(), kOwnSide);
        EXPECT_EQ(mover->Position().x, 0.0f);
        EXPECT_FALSE(unit->IsAttacking());
        EXPECT_FALSE(platform->Running());
        EXPECT_EQ(mover->GetCarriedFlag(), 0);
    }
    EXPECT_EQ(AppTime::GameSeconds(), 0.0f);  // the clock stands still in these tests
}

TEST_F(ClientApply, AFlagCaptureScoresTenOnceOnEachSide)
{
    script::Role& walker = NewRole(2);
    auto* ours = Make<MovingObject>(walker, kOwnSide, {0, 0, 0});
    auto* theirs = Make<MovingObject>(walker, 3, {5, 0, 0});
    std::vector<uint32_t> notices;
    ClientHooks::Get().flagNotice = [&notices](uint32_t textId) { notices.push_back(textId); };
    const struct {
        MovingObject* carrier;
        uint32_t flagSide;
        int32_t scorer;
        uint32_t notice;
    } rows[] = {{ours, 3, kOwnSide, 283}, {theirs, 1, 3, 282}};
    for (const auto& row : rows) {
        notices.clear();
        const uint32_t id = row.carrier->GetId();
        ASSERT_EQ(Apply({59, id, row.flagSide}), Applied::kApplied);
        EXPECT_EQ(row.carrier->GetCarriedFlag(), static_cast<int32_t>(row.flagSide));
        ASSERT_EQ(Apply({61, id, row.flagSide}), Applied::kApplied);
        EXPECT_EQ(Apply({61, id, row.flagSide}), Applied::kRefused);  // a repeat scores nothing
        EXPECT_EQ(TeamTable::Find(row.scorer)->score, 10);
        EXPECT_EQ(row.carrier->GetCarriedFlag(), 0);
        EXPECT_EQ(notices, std::vector<uint32_t>{row.notice}) << "one notice, none for the repeat";
    }
    ClientHooks::Get().flagNotice = nullptr;
}

// Each shot a unit launches (49) takes one round from the stack and the
// magazine; when the magazine runs dry and another goes in, sound 34 plays.
// Stack of 5, magazine of 2: reloads after the second and fourth rounds,
// none when the stack ends. The end of a one-shot attack (48) that follows
// a launch takes no second round.
TEST_F(ClientApply, ARoundThatEmptiesTheMagazineSoundsTheReload)
{
    script::RecordTables& tables = script::RecordTables::Global();
    script::WeaponEntry entry;
    entry.magazineSize = 2;
    tables.StoreWeapon(3, 6, entry);  // weapon 3 starts on ammunition 6
    script::Role& shotRole = NewRole(1);
    shotRole.character.reset();
    shotRole.projectile.emplace();
    auto* unit = Make<Unit>(WithBody(NewRole(0, 100, 3)), kOwnSide, {0, 0, 0});
    ASSERT_NE(unit->GetInventory(), nullptr);
    unit->GetInventory()->AddStack(6, 5, 700);
    unit->LoadMagazine();
    ASSERT_EQ(unit->Rounds(), 2u);
    std::vector<int32_t> sounds;
    ClientHooks::Get().playSound = [&sounds](int32_t sound) { sounds.push_back(sound); };
    const struct {
        uint32_t rounds;
        bool reload;
    } shots[] = {{1, false}, {2, true}, {1, false}, {1, true}, {0, false}};
    uint32_t shotId = 900;
    for (const auto& shot : shots) {
        SCOPED_TRACE(&shot - shots);
        sounds.clear();
        ASSERT_EQ(Apply({49, unit->GetId(), 0xFFFFFFFFu, uint32_t(shotRole.id), kOwnSide, 0, 0, 0, 0, 0, 0, 0,
                         F(1), F(10), shotId++}),
                  Applied::kApplied);
        EXPECT_EQ(unit->Rounds(), shot.rounds);
        EXPECT_EQ(sounds, shot.reload ? std::vector<int32_t>{34} : std::vector<int32_t>{});
        ASSERT_EQ(Apply({48, unit->GetId()}), Applied::kApplied);
        EXPECT_EQ(unit->Rounds(), shot.rounds) << "48 takes no round of its own";
    }
    ClientHooks::Get().playSound = nullptr;
    tables.Weapons().FreeRow(3);
}

TEST_F(ClientApply, MotionMessagesSteerAndStopTheReplica)
{
    script::Role& walker = NewRole(2);
    auto* mover = Make<MovingObject>(walker, kEnemySide, {0, 0, 0});
    const uint32_t id = mover->GetId();
    ASSERT_EQ(Apply({42, id, F(0), 0, 0, 0, 0, 0, 0, F(1), 0, 0, F(2), 0xFFFFFFu}), Applied::kApplied);
    EXPECT_TRUE(mover->IsWalking());
    WorldObjectTable::UpdateAll(Ticks(0.5f), 0.5f);
    EXPECT_NEAR(mover->Position().z, 1.0f, 0.05f);
    ASSERT_EQ(Apply({43, id, F(0.5f), 0, 0, F(1), 0, 0, 0, F(1), 0, 0, 0, 0xFFFFFFu}), Applied::kApplied);
    EXPECT_FALSE(mover->IsWalking());
    EXPECT_EQ(mover->Position().z, 1.0f);
    ASSERT_EQ(Apply({51, id, F(0.6f), 0, 0, F(1), 0, 0, 0, F(1), 0, 0, 0, 0xFFFFFFu}), Applied::kApplied);
    WorldObjectTable::UpdateAll(Ticks(0.7f), 0.7f);
    EXPECT_FALSE(mover->IsAlive());
    EXPECT_EQ(Apply({42, id, F(0.8f), 0, 0, F(9), 0, 0, 0, F(1), 0, 0, F(2), 0xFFFFFFu}), Applied::kApplied);
    EXPECT_EQ(mover->Position().z, 1.0f);  // the dead do not walk
    EXPECT_EQ(Apply({40, id, F(0.9f), 0, 0, F(9), 0, 0, 0, F(1), 0, 0, F(2), 0xFFFFFFu, 0, 0, F(9), 0, 0, F(9)}),
              Applied::kApplied);
    EXPECT_EQ(mover->Position().z, 1.0f);
    EXPECT_FALSE(mover->IsWalking());
}

// A replica walks from a 42 until a 43, whatever the velocity: one turning
// on the spot on its way keeps walking to its point.
TEST_F(ClientApply, AStandingMotionStateOnTheWayKeepsTheReplicaWalking)
{
    script::Role& walker = NewRole(2);
    auto* mover = Make<MovingObject>(walker, kEnemySide, {0, 0, 0});
    const uint32_t id = mover->GetId();
    ASSERT_EQ(Apply({42, id, F(0), 0, 0, 0, 0, 0, 0, F(1), 0, 0, F(2), 0xFFFFFFu}), Applied::kApplied);
    ASSERT_EQ(Apply({42, id, F(0.1f), 0, 0, 0, 0, 0, 0, F(1), 0, 0, 0, 0xFFFFFFu}), Applied::kApplied);
    EXPECT_TRUE(mover->IsWalking());
    EXPECT_EQ(mover->NextPoint().z, 2.0f);
    ASSERT_EQ(Apply({43, id, F(0.2f), 0, 0, 0, 0, 0, 0, F(1), 0, 0, 0, 0xFFFFFFu}), Applied::kApplied);
    EXPECT_FALSE(mover->IsWalking());
}

// While an idle variation plays, the server's moves, alerts and placements
// change nothing; once the idle has run its length they apply again, even
// when no frame advanced the shape. A death still cuts the idle short.
TEST_F(ClientApply, AnIdleReplicaTakesTheServersMovesOnlyOnceTheIdleEnds)
{
    script::Role& walker = NewRole(2);
    GiveBoxModel(walker, {0, 1, 3, 21});
    walker.shape.lowSequences = 1;
    const struct {
        const char* name;
        Block (*message)(uint32_t id);
        bool (*changed)(MovingObject& mover);
    } rows[] = {
        {"Moving", [](uint32_t id) { return Block{42, id, F(0), 0, 0, 0, 0, 0, 0, F(1), 0, 0, F(2), 0xFFFFFFu}; },
         [](MovingObject& m) { return m.IsWalking(); }},
        {"Stopped", [](uint32_t id) { return Block{43, id, F(0), F(3), 0, 0, 0, 0, 0, F(1), 0, 0, 0, 0xFFFFFFu}; },
         [](MovingObject& m) { return m.Position().x == 3.0f; }},
        {"Alert", [](uint32_t id) { return Block{44, id, 4}; },
         [](MovingObject& m) { return m.Marks().alertSlot == 4; }},
        {"Placed", [](uint32_t id) { return Block{76, id, F(0.5f), F(3), 0, F(4), 0, 0, 0, F(1)}; },
         [](MovingObject& m) { return m.Position().x == 3.0f; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto* mover = Make<MovingObject>(walker, kEnemySide, {0, 0, 0});
        StartIdle(*mover);
        ASSERT_TRUE(mover->IsBusy());
        EXPECT_EQ(mover->LastSequence(), 21);
        EXPECT_EQ(Apply(row.message(mover->GetId())), Applied::kApplied);
        EXPECT_FALSE(row.changed(*mover));
        EXPECT_TRUE(mover->IsBusy());

        WorldObjectTable::VariationCountdown() = 1000;  // no second idle
        mover->Update(Ticks(60.0f), 60.0f);
        ASSERT_FALSE(mover->IsBusy());
        EXPECT_EQ(Apply(row.message(mover->GetId())), Applied::kApplied);
        EXPECT_TRUE(row.changed(*mover));
    }

    auto* dying = Make<MovingObject>(walker, kEnemySide, {0, 0, 0});
    StartIdle(*dying);
    ASSERT_TRUE(dying->IsBusy());
    ASSERT_EQ(Apply({51, dying->GetId(), F(0), 0, 0, 0, 0, 0, 0, F(1), 0, 0, 0, 0xFFFFFFu}), Applied::kApplied);
    EXPECT_FALSE(dying->IsAlive());
    EXPECT_FALSE(dying->IsBusy());
}

// A replica without a shape, or whose shape lacks the idle, never waits.
TEST_F(ClientApply, AnIdleThatCannotPlayLeavesTheReplicaFree)
{
    for (bool model : {false, true}) {
        SCOPED_TRACE(model);
        script::Role& walker = NewRole(2);
        if (model)
            GiveBoxModel(walker, {0, 1});
        walker.shape.lowSequences = 1;
        auto* mover = Make<MovingObject>(walker, kEnemySide, {0, 0, 0});
        StartIdle(*mover);
        EXPECT_FALSE(mover->IsBusy());
        if (model) {
            EXPECT_EQ(mover->LastSequence(), 21);  // asked for, though the shape lacks it
        }
        ASSERT_EQ(Apply({76, mover->GetId(), F(0.5f), F(3), 0, F(4), 0, 0, 0, F(1)}), Applied::kApplied);
        EXPECT_EQ(mover->Position().x, 3.0f);
    }
}

// Combat and searching clear the mark on a creature's emitter, calm sets it;
// a replica without an emitter takes the state all the same.
TEST_F(ClientApply, AiStatesMarkTheReplicasEmitter)
{
    Particles::Startup();
    InstallTestCoronas();
    script::Role& role = NewRole(5);
    GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
    WorldObject* beacon = Make(role, kEnemySide, {0, 0, 0});
    WorldObject* bare = Make(role, kEnemySide, {4, 0, 0});
    ParticleEmitter* corona = GiveLightdumCorona(*beacon);
    ASSERT_NE(corona, nullptr);
    corona->SetOwnerMark(true);
    const struct {
        uint32_t type;
        bool marked;
    } rows[] = {{64, false}, {65, true}, {66, false}, {65, true}, {64, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        ASSERT_EQ(Apply({row.type, beacon->GetId()}), Applied::kApplied);
        EXPECT_EQ((corona->Flags() & ParticleEmitter::kOwnerMark) != 0, row.marked);
        EXPECT_EQ(Apply({row.type, bare->GetId()}), Applied::kApplied);
    }
    ClientEffects() = ClientEffectHooks{};
    Empty();
    Particles::Shutdown();
}

// A severed part leaves the shape and flies as an object of its own, under
// a client-only id, away from the body; sparks rise from the stump. A sever
// point the shape lacks cuts nothing; one the role lacks is refused.
TEST_F(ClientApply, ASeveredPartFliesOffAndTheStumpSparks)
{
    Particles::Startup();
    static std::vector<std::pair<uint32_t, Vec3>> thrown;
    thrown.clear();
    ClientEffects().throwPiece = [](WorldObject& piece, const Vec3& direction) {
        thrown.emplace_back(piece.GetId(), direction);
    };
    script::Role& role = NewRole(2);
    GiveBoxModel(role, {0, 3}, {{"Arm", {1, -1, 0}}});
    role.severPoints = {"Head", "Arm"};
    const struct {
        const char* name;
        uint32_t severPoint;
        Applied result;
        bool cut;
    } rows[] = {
        {"a part the shape has", 1, Applied::kApplied, true},
        {"a part the shape lacks", 0, Applied::kApplied, false},
        {"no such sever point", 2, Applied::kRefused, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        thrown.clear();
        auto* body = Make<MovingObject>(role, kEnemySide, {4, 0, 0});
        const uint32_t before = WorldObjectTable::Count();
        EXPECT_EQ(Apply({99, body->GetId(), 12, row.severPoint}), row.result);
        Vec3 ignored;
        EXPECT_EQ(body->Shape()->FindPartPosition(ignored, "Arm", 0), !row.cut);
        EXPECT_EQ(WorldObjectTable::Count(), before + (row.cut ? 1u : 0u));
        ASSERT_EQ(thrown.size(), row.cut ? 1u : 0u);
        EXPECT_EQ(body->PartEmitters().size(), row.cut ? 1u : 0u);
        if (!row.cut)
            continue;
        WorldObject* piece = WorldObjectTable::FindById(thrown[0].first);
        ASSERT_NE(piece, nullptr);
        EXPECT_GE(piece->GetId(), WorldObjectTable::kFirstClientOnlyId);
        EXPECT_EQ(WorldObjectTable::FindById(12), nullptr);  // the event number names no object
        EXPECT_NEAR(piece->Position().x, 5.0f, 1e-4f);
        EXPECT_NEAR(piece->Position().y, -1.0f, 1e-4f);
        EXPECT_NEAR(thrown[0].second.x, std::sqrt(0.5f), 1e-4f);
        EXPECT_NEAR(thrown[0].second.y, -std::sqrt(0.5f), 1e-4f);
        ASSERT_NE(piece->Shape(), nullptr);
        ParticleEmitter* sparks = body->PartEmitters()[0];
        EXPECT_EQ(sparks->Group(), 12);
        EXPECT_NEAR(sparks->Position().x, 5.0f, 1e-4f);
    }
    ClientEffects() = ClientEffectHooks{};
    Empty();
    Particles::Shutdown();
}

// A weapon used (86) shows on the upgrade screen's model of its character
// at once; before, the model still shows what was worn when it opened.
TEST_F(ClientApply, AWeaponUsedRefreshesTheUpgradeScreensModel)
{
    script::Role& carrierRole = NewRole(2);
    GiveBoxModel(carrierRole, {0}, {{"Upper Arm Right", {0.3f, -1.4f, 0}}});
    auto* carrier = Make<MovingObject>(carrierRole, kOwnSide, {0, 0, 0});
    ASSERT_NE(carrier->GetInventory(), nullptr);
    script::Role& gun = NewRole(2);
    GiveBoxShape(gun, {0, 0, 0}, {0.1f, 0.1f, 0.6f});
    CarriedItem weapon;
    weapon.kind = ItemKind::kWeapon;
    weapon.roleId = gun.id;
    weapon.id = 42;
    carrier->GetInventory()->Add(weapon);
    ASSERT_TRUE(InventoryDisplay::Init(*carrier, InventoryDisplay::SlotLocator{}));
    const auto armShows = []() -> const VeShape* {
        VeObject* model = InventoryDisplay::Model();
        ShapeInstance* arm = model && model->Root() ? NamedPart(*model->Root(), "Upper Arm Right") : nullptr;
        if (!arm)
            ADD_FAILURE() << "the shown model has no arm";
        return arm ? arm->slots_[0] : nullptr;
    };
    EXPECT_EQ(Apply({84, carrier->GetId(), 0, 42}), Applied::kApplied);
    EXPECT_EQ(armShows(), nullptr);
    EXPECT_EQ(Apply({86, carrier->GetId(), 42}), Applied::kApplied);
    EXPECT_EQ(armShows(), static_cast<VeShape*>(gun.shape.shape.get()));
    InventoryDisplay::Release();
}

// REMOVEBB: the shape gives up its box, so the engine never clips it out;
// a replica without a shape takes the message and nothing changes.
TEST_F(ClientApply, ABoxReleasedByTheServerLeavesTheShapeUnclipped)
{
    script::Role& boxed = NewRole(5);
    GiveBoxShape(boxed, {-1, -2, -1}, {1, 0, 1});
    WorldObject* crate = Make(boxed, kEnemySide, {2, 0, 0});
    WorldObject* bare = Make(NewRole(5), kEnemySide, {3, 0, 0});
    ASSERT_NE(crate->Shape(), nullptr);
    ASSERT_TRUE(crate->Shape()->HasBounds());
    ASSERT_EQ(bare->Shape(), nullptr);
    EXPECT_EQ(Apply({120, crate->GetId()}), Applied::kApplied);
    EXPECT_FALSE(crate->Shape()->HasBounds());
    EXPECT_EQ(Apply({120, crate->GetId()}), Applied::kApplied);  // twice is harmless
    EXPECT_EQ(Apply({120, bare->GetId()}), Applied::kApplied);
    EXPECT_EQ(Apply({120, 0x7EFFFFFFu}), Applied::kRefused);
}

TEST_F(ClientApply, TypesOutsideTheObjectsAreLeftAlone)
{
    EXPECT_EQ(Apply({2}), Applied::kNotHere);  // the level start reads it
    EXPECT_EQ(Apply({92, 1}), Applied::kRefused);  // a pick-up this client does not hold
    EXPECT_EQ(Apply({9999}), Applied::kRefused);
    EXPECT_EQ(Client::ApplyServerMessage(std::span<const uint8_t>()), Applied::kRefused);
}

} // namespace

// The actors' own request rows (decoding and range checks) and lockstep
// scenarios of actors, units and projectiles: the same checksums run after
// run, and the messages each scenario must show.
#include "../objects/server_fixture.h"
#include "lockstep_harness.h"
#include "objects/actor.h"
#include "objects/inventory.h"
#include "objects/server_classes.h"
#include "objects/unit_actor.h"
#include "session/actor_requests.h"
#include "session/game_message.h"
#include "session/projectile_launch.h"
#include "session/request_table.h"
#include "session/server_objects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <bit>
#include <cstring>
#include <cmath>
#include <limits>
#include <vector>

namespace {

std::filesystem::path Scenario(const std::string& name)
{
    return std::filesystem::path(TREVOK_FIXTURES_DIR) / "scenarios" / name;
}

struct ScenarioRun {
    std::vector<uint64_t> checksums;
    std::vector<std::vector<uint8_t>> messages;
    std::vector<std::string> broken;
};

ScenarioRun RunScenario(const std::string& name)
{
    Server::InstallActorRequests();
    Lockstep lockstep;
    std::string error;
    EXPECT_TRUE(lockstep.LoadScenario(Scenario(name), error)) << error;
    lockstep.onRequest = [](std::span<const uint8_t> bytes) {
        RequestTable::Apply(GameMessage(bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
    };
    lockstep.Run();
    ScenarioRun run{lockstep.Checksums(), lockstep.Messages(), lockstep.Broken()};
    UninstallActorClasses();
    return run;
}

uint32_t WordOf(const std::vector<uint8_t>& message, size_t index)
{
    uint32_t word = 0;
    if (index * 4 + 4 <= message.size())
        std::memcpy(&word, message.data() + index * 4, 4);
    return word;
}

size_t Count(const ScenarioRun& run, uint32_t type)
{
    size_t n = 0;
    for (const std::vector<uint8_t>& m : run.messages)
        n += WordOf(m, 0) == type;
    return n;
}

float FloatOf(const std::vector<uint8_t>& message, size_t index) { return std::bit_cast<float>(WordOf(message, index)); }

// Word `index` of every message of `type`, in order.
std::vector<uint32_t> Words(const ScenarioRun& run, uint32_t type, size_t index)
{
    std::vector<uint32_t> words;
    for (const std::vector<uint8_t>& m : run.messages) {
        if (WordOf(m, 0) == type)
            words.push_back(WordOf(m, index));
    }
    return words;
}

bool Removed(const ScenarioRun& run, uint32_t id)
{
    const std::vector<uint32_t> ids = Words(run, 52, 1);
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

struct ScenarioCase {
    const char* file;
    std::vector<uint32_t> mustSend;  // message types the run must show
    std::function<void(const ScenarioRun&)> check = nullptr;  // what else it must show
};

class ActorScenario : public ::testing::TestWithParam<ScenarioCase> {};

TEST_P(ActorScenario, RunsTheSameTwiceAndShowsItsMessages)
{
    const ScenarioCase& c = GetParam();
    const ScenarioRun first = RunScenario(c.file);
    const ScenarioRun second = RunScenario(c.file);
    ASSERT_FALSE(first.checksums.empty());
    EXPECT_EQ(first.checksums, second.checksums);
    EXPECT_TRUE(first.broken.empty()) << first.broken.front();
    for (uint32_t type : c.mustSend)
        EXPECT_GT(Count(first, type), 0u) << "message " << type;
    if (c.check)
        c.check(first);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, ActorScenario,
    ::testing::Values(
        // A move: a leg started (40) and motion states (42).
        ScenarioCase{"squad_move.scn", {40, 42, 41}},
        // Fire at will: aim (46), shots (49), hits (50), the death (51).
        ScenarioCase{"fire_at_will.scn", {46, 49, 50, 51}},
        // A lobbed shot with its blast (38) beside the direct hit.
        ScenarioCase{"ballistic_blast.scn", {46, 49, 50, 38}},
        // Passed (89), dropped (87), picked up and announced (81), flag taken (59) and captured (61).
        ScenarioCase{"items_and_flag.scn", {89, 87, 81, 59, 61}},
        // The emplacement (1) aims at the posts 10, 20 and 30 m away in turn.
        ScenarioCase{"emplacement.scn", {46},
                     [](const ScenarioRun& run) {
                         std::vector<uint32_t> order;
                         for (uint32_t target : Words(run, 46, 3)) {
                             if (order.empty() || order.back() != target)
                                 order.push_back(target);
                         }
                         ASSERT_GE(order.size(), 3u);
                         EXPECT_EQ(std::vector<uint32_t>(order.begin(), order.begin() + 3),
                                   (std::vector<uint32_t>{2, 3, 4}));
                     }},
        // Two blasts (75) and their damage (38); the mine with a walker at
        // exactly its reach and the lone one stay.
        ScenarioCase{"mines.scn", {75, 38},
                     [](const ScenarioRun& run) {
                         EXPECT_EQ(Count(run, 75), 2u);
                         EXPECT_TRUE(Removed(run, 1) && Removed(run, 2));
                         EXPECT_FALSE(Removed(run, 3) || Removed(run, 4));
                     }},
        // The chase (115) and one blast (71) that hurts the bomb (1) as well.
        ScenarioCase{"homing_bomb.scn", {115, 71},
                     [](const ScenarioRun& run) {
                         EXPECT_EQ(Count(run, 71), 1u);
                         const std::vector<uint32_t> hurt = Words(run, 38, 1);
                         EXPECT_NE(std::find(hurt.begin(), hurt.end(), 1u), hurt.end());
                         EXPECT_NE(std::find(hurt.begin(), hurt.end(), 2u), hurt.end());
                     }},
        // Spawns (67) by where they stand: 5 from the first nest, 6 from the second.
        ScenarioCase{"spawners.scn", {67},
                     [](const ScenarioRun& run) {
                         size_t first = 0, second = 0;
                         for (const std::vector<uint8_t>& m : run.messages) {
                             if (WordOf(m, 0) == 67 && WordOf(m, 1) > 4) {
                                 first += FloatOf(m, 4) == 10.5f;
                                 second += FloatOf(m, 4) == 30.5f;
                             }
                         }
                         EXPECT_EQ(first, 5u);
                         EXPECT_EQ(second, 6u);
                     }},
        // The guard rises once (53) and aims (46); the head (2) made five
        // segments (98) and went with them.
        ScenarioCase{"guard_creature.scn", {53, 98, 46},
                     [](const ScenarioRun& run) {
                         EXPECT_EQ(Count(run, 53), 1u);
                         EXPECT_EQ(Count(run, 98), 5u);
                         EXPECT_TRUE(Removed(run, 2));
                     }},
        // Deployed in slot 0, set off (slot -1), gone once its charge ran out.
        ScenarioCase{"decoy.scn", {44},
                     [](const ScenarioRun& run) {
                         EXPECT_EQ(Words(run, 44, 2), (std::vector<uint32_t>{0, 0xFFFFFFFFu}));
                         EXPECT_TRUE(Removed(run, 1));
                     }}),
    [](const auto& row) {
        std::string name = row.param.file;
        return name.substr(0, name.find('.'));
    });

// ---- request decoding ----

class ActorRequests : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        TeamTable::Build(3, 1, 0);
        Server::InstallActorRequests();
        script::Role& role = NewRole(100);
        role.character->canTurn = true;
        unit_ = new UnitActor(1, &role, {0, 0, 0}, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        unit_->Activate(0, 0);
        other_ = new UnitActor(2, &role, {0, 0, 5}, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        other_->Activate(0, 0);
        CarriedItem item;
        item.kind = ItemType::kShield;
        item.id = 7;
        item.count = 5;
        unit_->GetInventory()->Add(item);
        sent.clear();
    }
    void TearDown() override
    {
        UninstallActorClasses();
        ServerWorld::TearDown();
    }

    void Send(std::initializer_list<uint32_t> words)
    {
        std::vector<uint8_t> bytes;
        trevok::ByteWriter writer(bytes);
        for (uint32_t w : words)
            writer.U32(w);
        RequestTable::Apply(GameMessage(bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
    }
    static uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }

    UnitActor* unit_ = nullptr;
    UnitActor* other_ = nullptr;
};

TEST_F(ActorRequests, DropsWhatIsOutOfRangeUnknownOrNotFinite)
{
    const uint32_t id = unit_->GetId();
    const uint32_t nan = F(std::numeric_limits<float>::quiet_NaN());
    Send({7, id, F(0.1f), nan, 0, F(3)});  // attack a point that is no number
    Send({8, id, F(0.1f), 999});           // attack an unknown id
    Send({8, id, nan, other_->GetId()});   // at no time
    EXPECT_FALSE(unit_->IsAttacking());
    Send({12, id, 7, 13});  // slot 13
    Send({12, id, 8, 3});   // an item it does not carry
    EXPECT_TRUE(unit_->GetItemList().empty());
    Send({24, id, 7});  // standing order 7
    Send({24, id, 0xFFFFFFFFu});
    EXPECT_EQ(unit_->StandingOrder(), 6);
    Send({22, id, 17});  // ammunition past the table
    Send({6, 999, F(1)});  // stop for nobody
    Send({20, id, 7, 999, F(0)});  // give to nobody
    EXPECT_TRUE(unit_->Orders().empty());
    EXPECT_TRUE(sent.empty()) << "nothing answered";

    Send({12, id, 7, 3});
    EXPECT_EQ(unit_->GetItemList().size(), 1u);
    Send({24, id, 4});
    EXPECT_EQ(unit_->StandingOrder(), 4);
    Send({8, id, F(0.1f), other_->GetId()});
    EXPECT_TRUE(unit_->IsAttacking());
    ASSERT_EQ(Sent(46).size(), 1u);
    // {46, id, time, target}: 16 bytes as written by hand.
    const std::vector<uint8_t> expected = {46, 0, 0, 0, 1, 0, 0, 0, 0xCD, 0xCC, 0xCC, 0x3D, 2, 0, 0, 0};
    EXPECT_EQ(Sent(46)[0].bytes, expected);
}

TEST_F(ActorRequests, UndoRemovesTheLastOrderThatIsNoWait)
{
    const uint32_t id = unit_->GetId();
    unit_->QueueWait();
    Send({15, id, 7});  // queued use
    Send({13, id, 7, 2});  // queued equip
    ASSERT_EQ(unit_->Orders().size(), 3u);
    Send({32, id});
    ASSERT_EQ(unit_->Orders().size(), 2u);
    EXPECT_EQ(unit_->Orders().back().kind, OrderKind::kUse);
    Send({32, id});
    Send({32, id});
    ASSERT_EQ(unit_->Orders().size(), 1u);
    EXPECT_EQ(unit_->Orders().front().kind, OrderKind::kWait);
    Send({34, id});
    EXPECT_TRUE(unit_->Orders().empty());
    ASSERT_EQ(Sent(94).size(), 1u);
    EXPECT_EQ(Sent(94)[0].bytes, (std::vector<uint8_t>{94, 0, 0, 0, 1, 0, 0, 0}));
}

// The sender empties its own order list with every stop; ours must match,
// also when the stop comes too late to halt the walk.
TEST_F(ActorRequests, StopEmptiesTheOrderListLikeTheSendersCopy)
{
    const uint32_t id = unit_->GetId();
    const struct {
        const char* name;
        float time;
    } rows[] = {{"a fresh stop", 5.0f}, {"a stop older than the last order", 1.0f}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        unit_->QueueWait();
        Send({15, id, 7});  // queued use
        ASSERT_EQ(unit_->Orders().size(), 2u);
        Send({6, id, F(row.time)});
        EXPECT_TRUE(unit_->Orders().empty());
    }
}

// An unequip now is answered with 88 so the replicas drop the entry too;
// an item that is not equipped (any more) gets no answer.
TEST_F(ActorRequests, UnequipNowIsAnnouncedOnlyWhenAnEntryWent)
{
    const uint32_t id = unit_->GetId();
    Send({12, id, 7, 3});
    ASSERT_EQ(unit_->GetItemList().size(), 1u);
    sent.clear();
    const struct {
        const char* name;
        size_t answers;
    } rows[] = {{"equipped", 1}, {"no longer equipped", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sent.clear();
        Send({18, id, 7});
        EXPECT_TRUE(unit_->GetItemList().empty());
        ASSERT_EQ(Sent(88).size(), row.answers);
        if (row.answers) {
            EXPECT_EQ(Sent(88)[0].bytes, (std::vector<uint8_t>{88, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0}));
        }
    }
}

// A give now sets off at once: the sender's list never held it, so it must
// not become an order whose end (94) pops one of the sender's own.
TEST_F(ActorRequests, GiveNowLeavesTheOrderListAlone)
{
    const uint32_t id = unit_->GetId();
    auto* mate = new UnitActor(1, unit_->GetRole(), {0, 0, 10}, Quaternion::Identity(),
                               ObjectRegistry::Global().TakeNextId());
    mate->Activate(0, 0);
    ASSERT_NE(mate->GetInventory(), nullptr);
    unit_->QueueWait();
    Send({20, id, 7, mate->GetId(), F(1)});
    Server::RunObjectPass(50000, 0.05f);
    ASSERT_EQ(unit_->Orders().size(), 1u);
    EXPECT_EQ(unit_->Orders().front().kind, OrderKind::kWait);
    EXPECT_TRUE(Sent(94).empty());
    EXPECT_EQ(unit_->Held(), mate);
    EXPECT_EQ(unit_->followedId_, 7);
}

// Units held by the camera's script mode stop walking and aiming; a pause
// only stands server time still, so walkers carry on after it.
TEST_F(ActorRequests, HeldUnitsStopWhileAPausedGameKeepsItsWalkers)
{
    const struct {
        bool held, paused;
        bool stops;
    } rows[] = {{true, false, true}, {false, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.held ? "held" : "paused");
        unit_->WalkTo({10, 0, 0});
        ASSERT_TRUE(unit_->AimAtObject(other_, 0, true, false));
        sent.clear();
        Server::SetUnitsHeld(row.held);
        ServerFlags::Paused() = row.paused;
        Server::RunObjectPass(50000, 0.05f);
        Server::SetUnitsHeld(false);
        ServerFlags::Paused() = false;
        EXPECT_EQ(unit_->IsWalking(), !row.stops);
        if (row.stops) {  // (this unarmed aimer's own update gives up a target out of range)
            EXPECT_FALSE(unit_->IsAttacking());
            EXPECT_EQ(Sent(47).size(), 1u);
        }
    }
}

TEST_F(ActorRequests, TheTeamCheckHandsAFlagWithinTwoMetres)
{
    TeamTable::Find(2)->flag = std::make_unique<TeamFlag>(0.f, 0.f, 2.5f, 0);
    Server::CheckTeamFlags();
    EXPECT_EQ(unit_->GetCarriedFlag(), 0) << "2.5 m away";
    TeamTable::Find(2)->flag->Place(0, 0, 1.5f, 0);
    Server::CheckTeamFlags();
    EXPECT_EQ(unit_->GetCarriedFlag(), 2);
    EXPECT_TRUE(TeamTable::Find(2)->flag->carried);
    ASSERT_EQ(Sent(59).size(), 1u);
    EXPECT_EQ(Sent(59)[0].bytes, (std::vector<uint8_t>{59, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
    Server::CheckTeamFlags();
    EXPECT_EQ(Sent(59).size(), 1u) << "a carried flag is taken once";
}

} // namespace

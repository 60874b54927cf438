#include "../objects/client_fixture.h"

#include "session/client_apply.h"

#include <bit>
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

class ClientApply : public ClientWorld {};

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
    const struct {
        MovingObject* carrier;
        uint32_t flagSide;
        int32_t scorer;
    } rows[] = {{ours, 3, kOwnSide}, {theirs, 1, 3}};
    for (const auto& row : rows) {
        const uint32_t id = row.carrier->GetId();
        ASSERT_EQ(Apply({59, id, row.flagSide}), Applied::kApplied);
        EXPECT_EQ(row.carrier->GetCarriedFlag(), static_cast<int32_t>(row.flagSide));
        ASSERT_EQ(Apply({61, id, row.flagSide}), Applied::kApplied);
        EXPECT_EQ(Apply({61, id, row.flagSide}), Applied::kRefused);  // a repeat scores nothing
        EXPECT_EQ(TeamTable::Find(row.scorer)->score, 10);
        EXPECT_EQ(row.carrier->GetCarriedFlag(), 0);
    }
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
}

TEST_F(ClientApply, TypesOutsideTheObjectsAreLeftAlone)
{
    EXPECT_EQ(Apply({100, 3}), Applied::kNotHere);
    EXPECT_EQ(Apply({92, 1}), Applied::kNotHere);
    EXPECT_EQ(Apply({9999}), Applied::kRefused);
    EXPECT_EQ(Client::ApplyServerMessage(std::span<const uint8_t>()), Applied::kRefused);
}

} // namespace

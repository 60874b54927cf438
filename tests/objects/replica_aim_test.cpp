// The client replica of an armed unit shows the server's aim on its model:
// the weapon's pitch sweep and the torso's turn play over the walk, so the
// gun points at the target while the legs keep going.
#include "Veapi/hierarchy.h"
#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "objects/unit.h"
#include "tests/Veapi/model_support.h"
#include "tests/objects/client_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

Quaternion TurnX(float radians) { return {std::sin(radians / 2), 0, 0, std::cos(radians / 2)}; }

// A sweep that turns the node by `turn` (radians) from -`extreme` at its
// start through no turn in its middle to `extreme` at its end, in quarters
// (a blend between keys takes the short way round).
std::unique_ptr<Sequence> MakeSweep(int32_t index, int32_t length, Quaternion (*turn)(float), float extreme)
{
    const int32_t q = length / 4;
    auto sweep = modeltest::MakeSequence(
        index, length, {{0, {}, 0}, {q, {}, 0}, {2 * q, {}, 0}, {3 * q, {}, 0}, {length, {}, 0}});
    const size_t keys = sweep->keys_.size();
    for (size_t i = 0; i < keys; ++i)
        sweep->keys_[i].rotation_ = turn(extreme * (static_cast<float>(i) - 2.0f) / 2.0f);
    for (size_t i = 0; i < keys; ++i) {
        sweep->keys_[i].blend_.from_ = sweep->keys_[i].rotation_;
        sweep->keys_[i].blend_.to_ = sweep->keys_[(i + 1) % keys].rotation_;
    }
    return sweep;
}

// body > legs (walk and stance: turn to 1 rad and back over a second),
// torso (1 m up; the yaw sweep turns it through a whole turn, straight ahead
// in its middle) > gun (the pitch sweep: down a quarter turn to up a quarter
// turn) > muzzle (1 m ahead). Every index the unit plays is the root's.
void GiveAimingModel(script::Role& role, int32_t second)
{
    using modeltest::MakeNode;
    using modeltest::MakeSequence;
    using modeltest::MakeSet;
    GiveBoxShape(role, {-0.5f, -1.8f, -0.5f}, {0.5f, 0, 0.5f});
    const Vec3 up{0, -1, 0}, ahead{0, 0, 1};
    std::vector<std::unique_ptr<Sequence>> body, legs, torso, gun, muzzle;
    // The root's keys span the sweeps: poses are played over its extent.
    for (int32_t index : {0, 1, 2, 5, 12, 13})
        body.push_back(MakeSequence(index, second, {{0, {0, 0, 0}, 0}, {second, {0, 0, 0}, 0}}));
    for (int32_t index : {1, 13})
        legs.push_back(MakeSequence(index, second, {{0, {0, 0, 0}, 0}, {second / 2, {0, 0, 0}, 1.0f}}));
    legs.push_back(MakeSequence(0, second, {{0, {0, 0, 0}, 0}}));
    for (int32_t index : {0, 1, 13}) {
        torso.push_back(MakeSequence(index, second, {{0, up, 0}}));
        gun.push_back(MakeSequence(index, second, {{0, {0, 0, 0}, 0}}));
    }
    torso.push_back(MakeSweep(12, second, modeltest::TurnY, kPi));
    gun.push_back(MakeSweep(5, second, TurnX, kPi / 2));
    for (int32_t index : {0, 1, 13})
        muzzle.push_back(MakeSequence(index, second, {{0, ahead, 0}}));
    Hierarchy* root = MakeNode("body", MakeSet(std::move(body)));
    root->shapes_[0] = static_cast<VeShape*>(role.shape.shape.get());
    root->shapes_[0]->AddRef();
    Hierarchy* gunNode = MakeNode("gun", MakeSet(std::move(gun)));
    gunNode->children_.PushBack(MakeNode("muzzle", MakeSet(std::move(muzzle))));
    Hierarchy* torsoNode = MakeNode("torso", MakeSet(std::move(torso)));
    torsoNode->children_.PushBack(gunNode);
    root->children_.PushBack(MakeNode("legs", MakeSet(std::move(legs))));
    root->children_.PushBack(torsoNode);
    role.shape.hierarchy = std::shared_ptr<void>(root, [](void* h) { static_cast<Hierarchy*>(h)->Release(); });
    role.shape.minimum = {-0.5f, -1.8f, -0.5f};
    role.shape.maximum = {0.5f, 0, 0.5f};
    role.hotspotName = "muzzle";
}

float LegsTurn(VeObject& shape, uint64_t time)
{
    const Matrix34 legs = NamedPart(*shape.Root(), "legs")->AnimatedMatrix(time);
    return std::atan2(legs.m[0][2], legs.m[0][0]);
}

} // namespace

using ReplicaAim = ClientWorld;

// A walking unit that may not turn its body aims with its upper body: the
// muzzle, seen from the gun's pivot 1 m up, points along the line from the
// muzzle to the target (yaw and pitch), and the legs keep walking under the
// poses. Without a target the gun points straight ahead.
TEST_F(ReplicaAim, TheGunPointsAtTheTargetWhileTheLegsWalk)
{
    const int32_t second = static_cast<int32_t>(Ticks(1.0f));
    struct Row {
        const char* name;
        bool aims;
        Vec3 target;  // from the unit, which faces +z; y grows downward
        bool walks = true;
    };
    const Row rows[] = {
        {"NoTarget", false, {0, 0, 0}},     {"Above", true, {0, -11, 10}},     {"Below", true, {0, 9, 10}},
        {"Beside", true, {6, -1, 10}},      {"BesideAndBelow", true, {-6, 2, 10}},
        {"StandingStill", true, {3, 4, 10}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& role = NewRole(0, 100, 3);
        role.character->gunYawAngle = 1024;
        role.character->canTurn = false;
        GiveAimingModel(role, second);
        auto* unit = Make<Unit>(role, kEnemySide, {0, 0, 0});
        ASSERT_NE(unit, nullptr);
        ASSERT_NE(unit->Shape(), nullptr);
        MotionRecord record;
        if (row.walks)
            unit->ApplyMoving({0, 0, 1000}, record, {0, 0, 1000});
        if (row.aims)
            unit->AttackLocation(row.target, 0, false, false);
        // The unit walks on between passes: the last pass aimed from where
        // the one before left it.
        uint64_t now = 0;
        Vec3 from;
        for (int pass = 1; pass <= 30; ++pass) {
            now += Ticks(0.05f);
            from = unit->Position();
            unit->Update(now, 0.05f * static_cast<float>(pass));
            // Frames are drawn between the passes; each advances the playbacks.
            unit->Shape()->UpdateSequences(now, DrawFlag::kAnimateOnly);
            unit->Shape()->UpdateSequences(now + Ticks(0.025f), DrawFlag::kAnimateOnly);
        }
        const uint64_t settled = now + static_cast<uint64_t>(second);
        Vec3 muzzle, pivot;
        ASSERT_TRUE(unit->Shape()->FindPartPosition(muzzle, "muzzle", settled));
        ASSERT_TRUE(unit->Shape()->FindPartPosition(pivot, "gun", settled));
        const Vec3 pointing = muzzle - pivot;
        float yaw = 0, pitch = 0;
        if (row.aims) {
            const Vec3 d = row.target - (from + Vec3{0, -1, 1});
            yaw = std::atan2(d.x, d.z);
            pitch = std::atan2(-d.y, std::hypot(d.x, d.z));
        }
        EXPECT_NEAR(std::atan2(pointing.x, pointing.z), yaw, 0.02f);
        EXPECT_NEAR(std::atan2(-pointing.y, std::hypot(pointing.x, pointing.z)), pitch, 0.02f);
        EXPECT_NEAR(pivot.y, -1.0f, 1e-4f) << "the torso still stands up";
        // Over one walk (it plays at the walking speed, twice the normal)
        // the legs swing through their whole radian.
        float least = 10, most = -10;
        for (int step = 0; step < 16; ++step) {
            const float turn = LegsTurn(*unit->Shape(), settled + static_cast<uint64_t>(second / 32 * step));
            least = std::min(least, turn);
            most = std::max(most, turn);
        }
        EXPECT_NEAR(most - least, 1.0f, 0.1f);
        EXPECT_EQ(unit->IsAttacking(), row.aims);
    }
}

// Each shot the server reports plays the fire sequence over the walk, but
// never on top of one still playing; once it has ended the next shot plays
// it again. Without the sequence nothing waits for it.
TEST_F(ReplicaAim, EachShotPlaysTheFireSequenceOnceTheLastHasEnded)
{
    const int32_t second = static_cast<int32_t>(Ticks(1.0f));
    for (const bool model : {true, false}) {
        SCOPED_TRACE(model ? "Model" : "NoModel");
        script::Role& role = NewRole(0, 100, 3);
        if (model)
            GiveAimingModel(role, second);
        auto* unit = Make<Unit>(role, kEnemySide, {0, 0, 0});
        ASSERT_NE(unit, nullptr);
        MotionRecord record;
        unit->ApplyMoving({0, 0, 1000}, record, {0, 0, 1000});
        const auto firing = [&] {
            int count = 0;
            if (unit->Shape())
                for (SequencePlayer* player : unit->Shape()->Players())
                    count += player->index_ == AimPoses::kFireSequence && player->Layered() && player->useCount_ > 0;
            return count;
        };
        const struct {
            uint64_t drawnAt;  // a frame drawn before the shot
            int firing;        // fire playbacks after it
        } shots[] = {{0, 1}, {static_cast<uint64_t>(second / 2), 1}, {static_cast<uint64_t>(3 * second), 1}};
        for (const auto& shot : shots) {
            if (unit->Shape())
                unit->Shape()->UpdateSequences(shot.drawnAt, DrawFlag::kAnimateOnly);
            unit->PlayFireSequence();
            EXPECT_EQ(firing(), model ? shot.firing : 0) << shot.drawnAt;
        }
        if (model) {
            EXPECT_TRUE(unit->Shape()->IsPlayingSequence(1)) << "the walk goes on";
        }
    }
}

// Aiming gives a disguise away: the borrowed look goes and the cloak that
// lent it comes off. A cloak worn in plain sight lends nothing and stays on.
TEST_F(ReplicaAim, AimingEndsADisguiseAndTakesItsCloakOff)
{
    const struct {
        const char* name;
        Vec3 watcherAt;  // the enemy faces +z
        bool disguised;
    } rows[] = {{"Unseen", {0, 0, -200}, true}, {"InPlainSight", {0, 0, -10}, false}};
    std::vector<int32_t> said;
    ClientServices::Get().sayBeside = [&](WorldObject&, int32_t textId) { said.push_back(textId); };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Empty();
        script::Role& role = NewRole(0, 100, 3);
        GiveBoxModel(role, {0});
        script::Role& enemy = NewRole(2);
        enemy.character->sightAngle = 512;
        GiveBoxModel(enemy, {0});
        auto* unit = Make<Unit>(role, kOwnSide, {0, 0, 0});
        Make<MovingObject>(enemy, kEnemySide, row.watcherAt);
        ASSERT_NE(unit->GetInventory(), nullptr);
        CarryCloak(*unit, 77);
        ASSERT_TRUE(unit->EquipItem(2, 77));
        ASSERT_EQ(unit->DisguiseId() != -1, row.disguised);

        said.clear();
        unit->AttackLocation({0, 0, 20}, 1, false, false);
        // The unit says it is given away.
        EXPECT_EQ(said, row.disguised ? std::vector<int32_t>{7076} : std::vector<int32_t>{});
        EXPECT_EQ(unit->DisguiseId(), -1);
        EXPECT_EQ(unit->DisguiseShape(), nullptr);
        EXPECT_FALSE(unit->IsTranslucent());
        const bool worn = std::any_of(unit->GetItemList().begin(), unit->GetItemList().end(),
                                      [](const MovingObject::WornItem& w) { return w.itemId == 77; });
        EXPECT_EQ(worn, !row.disguised);
        EXPECT_NE(unit->GetInventory()->FindById(77), nullptr) << "taken off, still carried";
    }
}

// A sweep (message 77) starts a metre above the unit and reaches as far as
// it sees, along its facing turned back by half its view angle; nothing of
// the level stands in the way here.
TEST_F(ReplicaAim, ASweepReachesAlongHalfTheViewAngleFromAMetreUp)
{
    const struct {
        const char* name;
        float heading;        // radians, toward +x from +z
        int32_t sightAngle;   // 4096ths
        float expectHeading;  // of the beam
    } rows[] = {
        {"AheadNarrow", 0, 512, -kPi / 8},
        {"TurnedWide", kPi / 2, 1024, kPi / 2 - kPi / 4},
        {"NoAngle", -kPi / 4, 0, -kPi / 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& role = NewRole(0, 100, 3);
        role.character->sightAngle = row.sightAngle;
        auto* unit = Make<Unit>(role, kEnemySide, {2, 0, 3});
        unit->SetOrientation(modeltest::TurnY(row.heading));
        unit->StartSweep(5);
        EXPECT_TRUE(unit->SweepActive());
        const Vec3 from = unit->SweepFrom(), beam = unit->SweepTo() - from;
        EXPECT_NEAR(from.x, 2.0f, 1e-5f);
        EXPECT_NEAR(from.y, -1.0f, 1e-5f);
        EXPECT_NEAR(from.z, 3.0f, 1e-5f);
        EXPECT_NEAR(std::atan2(beam.x, beam.z), row.expectHeading, 1e-4f);
        EXPECT_NEAR(std::hypot(beam.x, beam.z), unit->GetViewRange(), 1e-3f);
        EXPECT_NEAR(beam.y, 0.0f, 1e-5f);
    }
}

// The AI's behaviour: the sweeping beam against a brute-force sweep of its
// segment, the combat routine's target cycling and alarm circle, devices,
// homing bombs, spawners and the type-1 creatures.
#include "objects/actor.h"
#include "objects/perception.h"
#include "objects/role_table.h"
#include "objects/server_kinds.h"
#include "objects/think_routines.h"
#include "objects/unit_actor.h"
#include "tests/objects/ai_fixture.h"
#include "tests/objects/navigation_fixture.h"
#include "world/level.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

namespace {

constexpr uint64_t kSecond = 1000000;
constexpr float kStepsPerRadian = 4096.0f / 6.28318530718f;

class AiWorld : public AiServerWorld {
protected:
    script::Role& Character(float sight, int32_t walking = 0, int32_t sightAngle = 512, int32_t ai = 0)
    {
        script::Role& role = NewRole(100);
        role.aiType = ai;
        role.character->walkingSpeed = walking;
        role.character->turningSpeed = 1024;
        role.character->canTurn = true;
        role.character->height = 1.8f;
        role.character->radius = 0.5f;
        role.character->sightRange = sight;
        role.character->sightRangeSquared = sight * sight;
        role.character->sightAngle = sightAngle;
        return role;
    }

    template <class T = UnitActor>
    T* Spawn(script::Role& role, int32_t side, const Vec3& at, const Quaternion& q = Quaternion::Identity())
    {
        auto* object = new T(side, &role, at, q, ObjectRegistry::Global().TakeNextId());
        Ai::SetType(*object, role.aiType, now);
        SideLists::Global().Add(*object);
        object->Activate(now, Seconds());
        return object;
    }
    GameObject* Plain(script::Role& role, int32_t side, const Vec3& at)
    {
        GameObject* object = Make(&role, side, at);
        Ai::SetType(*object, role.aiType, now);
        SideLists::Global().Add(*object);
        return object;
    }
    float Seconds() const { return static_cast<float>(now) / kSecond; }
};

// ---- perception --------------------------------------------------------------

// The beam's angle over time by the same rule, sampled finely: a candidate
// was crossed between two scans when the sampled beam passed its bearing an
// odd number of times.
struct BeamModel {
    float angle, limit;
    int direction = 0;
    bool on = true;
    void Advance(float elapsed)
    {
        if (!on)
            return;
        if (direction == 0) {
            angle += elapsed * Perception::kSweepRate;
            if (angle > limit) {
                angle = 2 * limit - angle;
                direction = 1;
            }
        } else {
            angle -= elapsed * Perception::kSweepRate;
            if (angle <= -limit) {
                angle = -limit;
                on = false;
            }
        }
    }
};

TEST_F(AiWorld, SweepNoticesExactlyWhatTheBeamSweptPast)
{
    std::mt19937 random(29);
    std::uniform_real_distribution<float> bearing(-480.0f, 480.0f);  // inside the 512 sight angle
    for (int round = 0; round < 8; ++round) {
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        script::Role& eye = Character(30, 2 * 65536, 512);
        script::Role& body = Character(0);
        UnitActor* unit = Spawn(eye, 1, {0, 0, 0});
        std::map<uint32_t, float> bearings;
        for (int i = 0; i < 12; ++i) {
            const float b = bearing(random);
            const float r = 5.0f + static_cast<float>(i);
            GameObject* enemy = Spawn(body, 2, {r * std::sin(b / kStepsPerRadian), 0, r * std::cos(b / kStepsPerRadian)});
            bearings[enemy->GetId()] = b;
        }
        unit->StartSweep(0);
        BeamModel model{-512, 512};
        SweepScanner& scanner = unit->Scanner();
        std::set<uint32_t> known;
        const float step = 0.05f + 0.05f * static_cast<float>(round);
        for (float t = step; unit->BeamOn() && t < 10; t += step) {
            std::set<uint32_t> expected;
            constexpr int kSamples = 400;
            std::map<uint32_t, int> crossings;
            float before = model.angle;
            for (int s = 0; s < kSamples; ++s) {
                model.Advance(step / kSamples);
                for (const auto& [id, b] : bearings) {
                    if ((before < b) != (model.angle < b))
                        ++crossings[id];
                }
                before = model.angle;
            }
            for (const auto& [id, n] : crossings) {
                if (n % 2 == 1 && known.count(id))
                    expected.insert(id);
            }
            GameObject* target = nullptr;
            float best = 1e9f;
            const bool found = scanner.Scan(t, target, best);
            std::set<uint32_t> noticed;
            if (found) {
                for (const SweepScanner::Candidate& c : scanner.Candidates())
                    noticed.insert(c.object->GetId());
            }
            EXPECT_EQ(noticed, expected) << "round " << round << " at " << t << " s";
            EXPECT_LE(std::fabs(unit->SweepAngle()), 512.0f + 1e-3f);
            // A scan records every candidate's side; one that noticed
            // something, or a beam gone off, forgets them all.
            known.clear();
            if (!found && unit->BeamOn()) {
                for (const auto& [id, b] : bearings)
                    known.insert(id);
            }
        }
        EXPECT_FALSE(unit->BeamOn()) << "the sweep rises, falls back and goes off";
    }
}

TEST_F(AiWorld, SweepAfterALongPauseStaysInsideTheSightAngle)
{
    script::Role& eye = Character(30, 2 * 65536, 512);
    UnitActor* unit = Spawn(Character(30, 2 * 65536, 512), 1, {0, 0, 0});
    (void)eye;
    Spawn(Character(0), 2, {0, 0, 10});
    unit->StartSweep(0);
    GameObject* target = nullptr;
    float best = 1e9f;
    unit->Scanner().Scan(0.5f, target, best);
    unit->Scanner().Scan(30.0f, target, best);  // would fold far past -512
    EXPECT_FALSE(unit->BeamOn());
    EXPECT_GE(unit->SweepAngle(), -512.0f);
    EXPECT_LE(unit->SweepAngle(), 512.0f);
}

struct NoticeCase {
    const char* name;
    float sight;
    Vec3 at;
    int32_t side, aiType;
    bool touchFinds;  // within 1 m
    bool otherFinds;  // FindOtherHostile
    bool beamFinds;   // over one whole sweep
};

class Notice : public AiWorld, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(Notice, TouchAndOtherHostileSkipWhatCannotBeNoticed)
{
    const NoticeCase& c = GetParam();
    UnitActor* unit = Spawn(Character(c.sight, 65536), 1, {0, 0, 0});
    script::Role& body = Character(0);
    body.aiType = c.aiType;
    GameObject* other = Spawn(body, c.side, c.at);
    GameObject* target = nullptr;
    float best = 1e9f;
    EXPECT_EQ(unit->Scanner().FindByTouch(1.0f, target, best), c.touchFinds);
    EXPECT_EQ(Ai::FindOtherHostile(*unit, nullptr) == other, c.otherFinds);
    EXPECT_EQ(Ai::FindOtherHostile(*unit, other), nullptr) << "the excluded one is never returned";
    unit->StartSweep(0);
    bool beamFound = false;
    for (float t = 0.1f; unit->BeamOn() && t < 10; t += 0.1f) {
        target = nullptr;
        best = 1e9f;
        beamFound |= unit->Scanner().Scan(t, target, best) && target == other;
    }
    EXPECT_EQ(beamFound, c.beamFinds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Notice,
    ::testing::Values(NoticeCase{"EnemyTouching", 30, {0.1f, 0, 0.5f}, 2, 0, true, true, true},
                      NoticeCase{"EnemyInSight", 30, {0.5f, 0, 10}, 2, 0, false, true, true},
                      NoticeCase{"SightRangeZero", 0, {0.1f, 0, 0.5f}, 2, 0, true, false, false},
                      NoticeCase{"ChargeInFront", 30, {0.1f, 0, 0.5f}, 2, 2, false, false, false},
                      NoticeCase{"NeutralSide", 30, {0.1f, 0, 0.5f}, 0, 0, false, false, false},
                      NoticeCase{"OwnSide", 30, {0.1f, 0, 0.5f}, 1, 0, false, false, false},
                      NoticeCase{"ExactlyAtRange", 10, {0, 0, 10}, 2, 0, false, false, false}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- combat ------------------------------------------------------------------

TEST_F(AiWorld, EmplacementCyclesTargetsByDistanceAndHalvesRoundTimeNearby)
{
    script::Role& gun = Character(40, 0, 2048);  // static, a half-turn cone
    gun.character->targetCycleTime = 2.0f;
    gun.character->weapon = 0;
    UnitActor* emplacement = Spawn(gun, 1, {0, 0, 0});
    emplacement->baseRoundTime_ = 1000;
    script::Role& body = Character(0);
    const uint32_t at10 = Spawn(body, 2, {0, 0, 10})->GetId();
    const uint32_t at20 = Spawn(body, 2, {0, 0, 20})->GetId();
    const uint32_t at30 = Spawn(body, 2, {0, 0, 30})->GetId();
    // Each row: the time of the think and the target it then aims at (0: none found).
    const struct {
        uint64_t time;
        uint32_t target;
    } rows[] = {{0, at10}, {1 * kSecond, at10}, {2 * kSecond, at20}, {4 * kSecond, at30},
                {6 * kSecond, 0}, {6 * kSecond + 1, at10}};
    uint32_t aimed = 0;
    for (const auto& row : rows) {
        emplacement->nextThink_ = 0;
        const uint64_t before = emplacement->retargetTime_;
        Ai::ThinkCombat(*emplacement, row.time);
        GameObject* target = emplacement->GetTarget();
        if (row.target == 0) {
            EXPECT_EQ(emplacement->targetDistance_, 0.0f) << "none farther: the next search starts over";
            EXPECT_EQ(emplacement->retargetTime_, before);
            emplacement->StopAiming(0);
        } else {
            ASSERT_NE(target, nullptr) << row.time;
            EXPECT_EQ(target->GetId(), row.target) << row.time;
            aimed = target->GetId();
        }
    }
    EXPECT_EQ(aimed, at10);

    const struct {
        float distance, roundTime;
    } near[] = {{4.9f, 500}, {5.0f, 1000}, {3.0f, 500}, {12.0f, 1000}};
    for (const auto& row : near) {
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        UnitActor* gunner = Spawn(gun, 1, {0, 0, 0});
        gunner->baseRoundTime_ = 1000;
        Spawn(body, 2, {0, 0, row.distance});
        gunner->nextThink_ = 0;
        Ai::ThinkCombat(*gunner, 0);
        ASSERT_NE(gunner->GetWeapon(), nullptr);
        EXPECT_EQ(gunner->GetWeapon()->roundTime, row.roundTime) << row.distance;
        EXPECT_EQ(gunner->targetDistance_, row.distance * row.distance);
    }
}

// Hit often (missed three times) by an attacker while it has no target of
// its own, a unit's first answer aims back at the attacker.
TEST_F(AiWorld, AttackedUnitWithoutATargetAnswersTheAttacker)
{
    // The routine's first draw picks the answer: find a start giving 0.
    AiRandom::Get().Reset();
    int skip = 0;
    while (AiRandom::Next() % 3 != 0)
        ++skip;
    AiRandom::Get().Reset();
    for (int i = 0; i < skip; ++i)
        AiRandom::Next();
    UnitActor* unit = Spawn(Character(20, 65536), 2, {0, 0, 0});
    UnitActor* attacker = Spawn(Character(20), 1, {0, 0, 8});
    ASSERT_TRUE(attacker->AimAtObject(unit, 0, true, false));
    unit->flags_ |= kAiWasHit;
    unit->missCount_ = 3;
    Ai::ThinkCombat(*unit, kSecond);
    EXPECT_EQ(unit->aiState_, 1);
    EXPECT_EQ(unit->GetTarget(), attacker);
    EXPECT_EQ(unit->missCount_, 0);
    EXPECT_FALSE(unit->flags_ & kAiWasHit);
}

// An idle guard wanders 20 m at random when a path leads there, and stays
// idle (state 3) where none does.
TEST_F(AiWorld, IdleGuardWandersOnlyWhereAPathLeads)
{
    const struct {
        const char* name;
        int size;  // a square floor of 1 m cells
        bool wanders;
    } rows[] = {{"small floor", 3, false}, {"wide floor", 60, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        AiRandom::Get().Reset();
        navtest::GridLevel grid =
            navtest::MakeGridLevel(std::vector<std::string>(static_cast<size_t>(row.size), std::string(static_cast<size_t>(row.size), '.')));
        Level::Current() = grid.level.get();
        const float middle = static_cast<float>(row.size) / 2 + 0.5f;
        UnitActor* guard = Spawn(Character(10, 65536), 2, {middle, 0, middle});
        bool wandered = false;
        for (uint64_t t = 0; t < 2000 && !wandered; ++t) {
            Ai::ThinkCombat(*guard, t * kSecond / 20);
            wandered = guard->aiState_ == AiState::kPathfinding;
        }
        EXPECT_EQ(wandered, row.wanders);
        if (!row.wanders) {
            EXPECT_EQ(guard->aiState_, AiState::kInitial);
            EXPECT_TRUE(guard->Waypoints().empty());
        } else {
            ASSERT_EQ(guard->Waypoints().size(), 2u) << "the point, then home";
            EXPECT_EQ(guard->Waypoints()[1].point.x, middle);
        }
        guard->Remove(false);
        Level::Current() = nullptr;
    }
}

TEST_F(AiWorld, CandidateStraightOverheadIsSkippedNotNaN)
{
    UnitActor* emplacement = Spawn(Character(40, 0, 512), 1, {0, 0, 0});
    Spawn(Character(0), 2, {0, -5, 0});  // 5 m straight up
    Ai::ThinkCombat(*emplacement, 0);
    EXPECT_EQ(emplacement->GetTarget(), nullptr);
}

TEST_F(AiWorld, AlarmCircleShrinksOverFiveSeconds)
{
    script::Role& guard = Character(10, 0, 512);  // static: no search step lowers the alarm
    guard.character->alertRadius = 20;
    UnitActor* caller = Spawn(guard, 2, {0, 0, 0});
    caller->aiState_ = 1;
    caller->aiPoint_ = {7, 0, 7};
    Ai::ThinkCombat(*caller, 0);  // raises the alarm: message 64
    ASSERT_EQ(Sent(AiMessage::kAlarm).size(), 1u);
    ASSERT_EQ(caller->alertLevel_, 2);
    // At t seconds the circle's radius is 20 x sqrt((5 - t) / 5).
    const struct {
        float seconds, distance;
        bool joins;
    } rows[] = {{1.0f, 17.0f, true}, {1.0f, 18.5f, false}, {4.0f, 8.5f, true}, {4.0f, 9.5f, false},
                {4.9f, 3.0f, false}};
    for (const auto& row : rows) {
        GameObject* mate = Spawn(guard, 2, {row.distance, 0, 0});
        mate->aiState_ = 3;
        caller->aiState_ = 1;
        caller->nextThink_ = 0;
        Ai::ThinkCombat(*caller, static_cast<uint64_t>(row.seconds * kSecond));
        EXPECT_EQ(mate->aiState_ == 0, row.joins) << row.seconds << " s at " << row.distance << " m";
        if (row.joins) {
            EXPECT_EQ(mate->aiPoint_.x, 7.0f);
        }
        mate->Remove(false);
    }
    caller->aiState_ = 1;
    caller->nextThink_ = 0;
    Ai::ThinkCombat(*caller, 6 * kSecond);
    EXPECT_EQ(caller->alertLevel_, 3) << "the alarm is over";
}

// ---- devices and bombs -------------------------------------------------------

struct DeviceCase {
    const char* name;
    float enemyAt;
    float secondMineAt;  // 0: none
    int32_t strength;
    int goesOff;         // blasts (message 75)
};

class Devices : public AiWorld, public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(Devices, MinesGoOffStrictlyInsideTheirRangeOnceAndInChains)
{
    const DeviceCase& c = GetParam();
    script::Role& mine = Character(5, 0, 0, 2);
    mine.character->weapon = 0;
    mine.character->strength = c.strength;
    mine.limit = 30;
    GameObject* first = Spawn(mine, 1, {0, 0, 0});
    GameObjectRef hold(first);  // read after it went off
    if (c.secondMineAt > 0)
        Spawn(mine, 1, {c.secondMineAt, 0, 0});
    UnitActor* enemy = Spawn(Character(0), 2, {0, 0, c.enemyAt});
    for (uint64_t t = 0; t <= 6 * kSecond; t += kSecond / 2)
        Ai::ThinkType2(*first, t);
    EXPECT_EQ(static_cast<int>(Sent(AiMessage::kDeviceBlast).size()), c.goesOff);
    EXPECT_EQ(first->IsRemoved(), c.goesOff > 0) << "gone once it went off, with or without strength";
    EXPECT_EQ(enemy->HitPoints(), c.goesOff > 0 ? 70 : 100) << "only the first mine reaches it";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Devices,
    ::testing::Values(DeviceCase{"EnemyExactlyAtRange", 5.0f, 0, 100, 0},
                      DeviceCase{"EnemyInside", 4.9f, 0, 100, 1},
                      DeviceCase{"TwoMinesTogether", 4.0f, 3.0f, 100, 2},
                      DeviceCase{"SecondMineOutOfReach", 4.0f, 6.0f, 100, 1},
                      DeviceCase{"MineWithoutStrength", 4.0f, 0, 0, 1}),
    [](const auto& param) { return std::string(param.param.name); });

// A mine spares the roles its "produces" list names while they aim at it.
TEST_F(AiWorld, MineSparesListedRolesAimingAtIt)
{
    const struct {
        const char* name;
        bool listed, aiming, goesOff;
    } rows[] = {{"listed and aiming", true, true, false},
                {"listed, not aiming", true, false, true},
                {"aiming, not listed", false, true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        RoleTable::Global().Clear();
        sent.clear();
        script::Role& sapper = Character(30);
        sapper.character->weapon = 0;
        sapper.identifier = row.listed ? "sapper" : "other";
        RoleTable::Global().File(sapper);
        script::Role& mine = Character(5, 0, 0, 2);
        mine.character->weapon = 0;
        mine.severPoints = {"sapper"};
        GameObject* device = Spawn(mine, 1, {0, 0, 0});
        UnitActor* enemy = Spawn(sapper, 2, {0, 0, 3});
        if (row.aiming) {
            ASSERT_TRUE(enemy->AimAtObject(device, 0, true, false));
        }
        Ai::ThinkType2(*device, 0);
        EXPECT_EQ(Sent(AiMessage::kDeviceBlast).size(), row.goesOff ? 1u : 0u);
    }
}

TEST_F(AiWorld, DecoyPulsesNineNoisesEverySixSecondsUntilItsChargeEnds)
{
    script::Role& decoy = Character(0, 0, 0, 2);
    decoy.character->weapon = DeviceKind::kDecoy;
    decoy.character->hearingRange = 10;
    ServerOutbox::Global().TakeCues();
    GameObject* device = Spawn(decoy, 1, {2, 0, 3});  // its activation deploys it
    GameObjectRef hold(device);
    ASSERT_EQ(RemoteDeviceTable::At(0), device);
    // Deploying sounds the device (34), with no particles.
    const std::vector<ServerCue> armed = ServerOutbox::Global().TakeCues();
    ASSERT_EQ(armed.size(), 1u);
    EXPECT_EQ(armed[0].sound, 34);
    EXPECT_FALSE(armed[0].explosion);
    for (uint64_t t = 0; t < 5 * kSecond; t += kSecond)
        Ai::ThinkType2(*device, t);
    EXPECT_TRUE(ObjectTrackers::All().empty()) << "silent until set off";
    RemoteDeviceTable::Trigger(0, 10 * kSecond);
    size_t pulses = 0;
    for (uint64_t t = 10 * kSecond; t <= 50 * kSecond && !device->IsRemoved(); t += kSecond / 2) {
        const size_t before = ObjectTrackers::All().size();
        Ai::ThinkType2(*device, t);
        const std::vector<ServerCue> cues = ServerOutbox::Global().TakeCues();
        if (ObjectTrackers::All().size() > before) {
            EXPECT_EQ(ObjectTrackers::All().size() - before, 9u);
            ++pulses;
            // Each pulse bangs (14) and bursts where the decoy lies.
            ASSERT_EQ(cues.size(), 1u);
            EXPECT_EQ(cues[0].sound, 14);
            EXPECT_TRUE(cues[0].explosion);
            EXPECT_EQ(cues[0].at.x, 2.0f);
            EXPECT_EQ(cues[0].at.z, 3.0f);
        } else {
            EXPECT_TRUE(cues.empty());
        }
    }
    EXPECT_EQ(pulses, 7u) << "at 10, 16, ... 46 s; the charge ended at 40 s, so it goes after 46 s";
    EXPECT_TRUE(device->IsRemoved());
}

TEST_F(AiWorld, HomingBombChasesThenBlastsItselfAndItsOwnSideNearby)
{
    script::Role& bombRole = Character(20, 65536, 512, 3);
    bombRole.limit = 40;
    UnitActor* bomb = Spawn(bombRole, 2, {0, 0, 0});
    UnitActor* mate = Spawn(Character(0), 2, {0, 0, -3});
    UnitActor* far = Spawn(Character(0), 2, {0, 0, -5});
    UnitActor* enemy = Spawn(Character(0), 1, {0, 0, 10});
    Ai::ThinkType3(*bomb, 0);
    EXPECT_EQ(bomb->aiState_, 7);
    EXPECT_EQ(bomb->followed_.Get(), enemy);
    ASSERT_EQ(Sent(AiMessage::kChaseStarted).size(), 1u);
    EXPECT_EQ(Sent(AiMessage::kChaseStarted)[0].bytes.size(), 24u);
    enemy->SetPositionQuiet({0, 0, 1});
    Ai::ThinkType3(*bomb, kSecond);
    EXPECT_EQ(Sent(AiMessage::kBombBlast).size(), 1u);
    EXPECT_EQ(bomb->HitPoints(), 60) << "its own blast";
    EXPECT_EQ(mate->HitPoints(), 60);
    EXPECT_EQ(enemy->HitPoints(), 60);
    EXPECT_EQ(far->HitPoints(), 100);
}

// A chasing bomb spreads its alarm over its own side within a circle that
// shrinks over five seconds: idle living guards come to its point, idle
// living bombs chase the same target; the dead, the busy and the alerted
// are left alone.
TEST_F(AiWorld, ChasingBombCallsLivingIdleMatesWithinItsCircle)
{
    script::Role& bombRole = Character(20, 65536, 512, 3);
    bombRole.character->alertRadius = 10;
    script::Role& guardRole = Character(0, 65536, 512, 0);
    const struct {
        const char* name;
        int32_t ai;
        float distance;
        bool dead;
        int32_t state, alertLevel;
        bool called;
    } rows[] = {{"idle guard inside", 0, 5, false, 3, 0, true},
                {"idle guard outside", 0, 11, false, 3, 0, false},
                {"dead guard inside", 0, 5, true, 3, 0, false},
                {"guard already aiming", 0, 5, false, 1, 0, false},
                {"guard searching", 0, 5, false, 3, 1, false},
                {"idle bomb inside", 3, 5, false, 3, 0, true},
                {"dead bomb inside", 3, 5, true, 3, 0, false},
                {"bomb outside", 3, 11, false, 3, 0, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        sent.clear();
        UnitActor* bomb = Spawn(bombRole, 2, {0, 0, 0});
        UnitActor* enemy = Spawn(Character(0), 1, {0, 0, 15});
        Ai::ThinkType3(*bomb, 0);  // starts the chase: 5 s of alarm
        ASSERT_EQ(bomb->aiState_, 7);
        bomb->aiPoint_ = {4, 0, 4};
        script::Role& mateRole = row.ai == 3 ? bombRole : guardRole;
        UnitActor* mate = Spawn(mateRole, 2, {row.distance, 0, 0});
        GameObjectRef hold(mate);
        mate->aiState_ = row.state;
        mate->alertLevel_ = row.alertLevel;
        if (row.dead)
            mate->SetHitPoints(0);
        const size_t chasesBefore = Sent(AiMessage::kChaseStarted).size();
        Ai::ThinkType3(*bomb, kSecond);  // 4 s left: radius 10 x sqrt(0.8), about 8.9 m
        if (row.ai == 3) {
            EXPECT_EQ(mate->aiState_ == 7, row.called);
            EXPECT_EQ(mate->followed_.Get() == enemy, row.called);
            EXPECT_EQ(Sent(AiMessage::kChaseStarted).size() - chasesBefore, row.called ? 1u : 0u);
        } else {
            EXPECT_EQ(mate->aiState_ == 0, row.called);
            if (row.called) {
                EXPECT_EQ(mate->aiPoint_.x, 4.0f);
            }
        }
    }
}

// ---- spawners and creatures --------------------------------------------------

struct SpawnerCase {
    const char* name;
    int32_t limit;
    bool withNames;
    bool removeMade;  // the made ones leave after the think
    int32_t made;
    bool goneInSpawn = false;  // the made ones are gone before the spawn returns
    bool alertable = true;     // else it makes each one for the enemy it saw
};

class Spawners : public AiWorld, public ::testing::WithParamInterface<SpawnerCase> {};

TEST_P(Spawners, MakeUpToTheirLimitWithSixAliveAtMost)
{
    const SpawnerCase& c = GetParam();
    script::Role& grub = Character(0);
    grub.identifier = "grub";
    RoleTable::Global().File(grub);
    script::Role& nest = Character(10, 0, 512, 14);
    nest.character->generationLimit = c.limit;
    nest.character->alertable = c.alertable;
    if (c.withNames)
        nest.severPoints = {"grub"};  // its "produces" list
    auto* spawner = Spawn<Kind14Actor>(nest, 2, {0, 0, 0});
    spawner->aggression_ = 1.0f;
    if (c.goneInSpawn) {
        ServerLink link = ServerLink::Get();
        link.spawn = [this](int32_t side, script::Role* role, const Vec3& p, const Quaternion&) -> uint32_t {
            GameObject* made = Make(role, side, p);
            spawned.push_back(made->GetId());
            made->Remove(true);
            return spawned.back();
        };
        ServerLink::Install(std::move(link));
    }
    Spawn(Character(0), 1, {0, 0, 5});
    int32_t mostAlive = 0;
    for (uint64_t t = 0; t <= 60 * kSecond; t += kSecond / 2) {
        Ai::ThinkType14(*spawner, t);
        if (c.removeMade) {
            for (uint32_t id : spawned) {
                if (GameObject* made = ObjectRegistry::Global().Find(id))
                    made->Remove(true);
            }
        }
        int32_t alive = 0;
        for (uint32_t id : spawned)
            alive += ObjectRegistry::Global().Find(id) ? 1 : 0;
        mostAlive = std::max(mostAlive, alive);
    }
    EXPECT_EQ(static_cast<int32_t>(spawned.size()), c.made);
    EXPECT_LE(mostAlive, 6);
    EXPECT_EQ(spawner->triggered_, c.alertable);
}

INSTANTIATE_TEST_SUITE_P(Cases, Spawners,
                         ::testing::Values(SpawnerCase{"LimitFive", 5, true, false, 5},
                                           SpawnerCase{"LimitTenHeldToSixAlive", 10, true, false, 6},
                                           SpawnerCase{"LimitTenWhenTheyDie", 10, true, true, 10},
                                           SpawnerCase{"EmptyNameList", 5, false, false, 0},
                                           SpawnerCase{"NotAlertable", 5, true, false, 5, false, false},
                                           SpawnerCase{"MadeOnesGoneAtOnce", 10, true, false, 10, true, false}),
                         [](const auto& param) { return std::string(param.param.name); });

// A type-1 creature flees towards the nearest noise within 6 m, and is held
// inside the level by its radius: a coordinate pushed back flips that
// component of the heading it took.
TEST_F(AiWorld, NoiseShyCreatureTakesTheNearestNoiseAndStaysInsideTheLevel)
{
    navtest::GridLevel grid = navtest::MakeGridLevel(std::vector<std::string>(10, std::string(10, '.')));
    Level::Current() = grid.level.get();
    grid.level->minimum_ = {0, -5, 0};
    grid.level->maximum_ = {10, 5, 10};
    script::Role& critter = Character(0, 65536, 0, 1);
    critter.character->radius = 0.5f;
    const struct {
        const char* name;
        Vec3 at;
        Vec3 placed;   // after the think
        Vec3 heading;  // the group entry's direction after it
    } clamps[] = {{"inside", {5, 0, 5}, {5, 0, 5}, {1, 0, 1}},
                  {"low x", {0.2f, 0, 5}, {0.5f, 0, 5}, {-1, 0, 1}},
                  {"high x", {9.8f, 0, 5}, {9.5f, 0, 5}, {-1, 0, 1}},
                  {"low z", {5, 0, 0.1f}, {5, 0, 0.5f}, {1, 0, -1}},
                  {"high corner", {9.9f, 0, 9.9f}, {9.5f, 0, 9.5f}, {-1, 0, -1}}};
    for (const auto& row : clamps) {
        SCOPED_TRACE(row.name);
        GameObject* creature = Spawn(critter, 2, row.at);
        creature->radius_ = 0.5f;
        Ai::GroupVectors()[0].direction = {1, 0, 1};
        Ai::GroupVectorIndex() = 0;
        Ai::ThinkType1(*creature, 0);
        EXPECT_FLOAT_EQ(creature->Position().x, row.placed.x);
        EXPECT_FLOAT_EQ(creature->Position().z, row.placed.z);
        EXPECT_EQ(Ai::GroupVectors()[0].direction.x, row.heading.x);
        EXPECT_EQ(Ai::GroupVectors()[0].direction.z, row.heading.z);
        EXPECT_EQ(Ai::GroupVectorIndex(), 1);
        creature->Remove(false);
    }
    Ai::ResetGroupVectors();

    GameObject* creature = Spawn(critter, 2, {5, 0, 5});
    const struct {
        const char* name;
        Vec3 noise;
        bool fleeing;
        float interestX;
    } noises[] = {{"beyond 6 m", {5, 0, 11.5f}, false, 0},
                  {"at 5 m", {5, 0, 0}, true, 5},
                  {"at 3 m, nearer", {8, 0, 5}, true, 8},
                  {"at 4 m, farther than the present one", {1, 0, 5}, true, 8}};
    for (const auto& row : noises) {
        SCOPED_TRACE(row.name);
        ObjectTrackers::Add(30, 5, row.noise, row.noise, 100 * kSecond, 0);
        creature->nextThink_ = 0;
        Ai::ThinkType1(*creature, 0);
        EXPECT_EQ(creature->fleeing_, row.fleeing);
        if (row.fleeing) {
            EXPECT_EQ(creature->aiPoint_.x, row.interestX);
        }
    }
    Level::Current() = nullptr;
}

// The lone homing bomb (type 15): it takes up any living non-device enemy in
// sight, blows up within 2.5 m of one, and gives up when its quarry dies
// (or when it has nowhere left to go).
TEST_F(AiWorld, LoneHomingBombChasesBlowsUpOrGivesUp)
{
    script::Role& bombRole = Character(20, 65536, 512, 15);
    bombRole.limit = 25;
    script::Role& mine = Character(0, 0, 0, 2);
    mine.character->weapon = DeviceKind::kRemoteMine;
    const struct {
        const char* name;
        bool chasing;     // already in state 8 after the enemy, on its way
        bool idle;        // chasing, but with no route left
        float enemyAt;    // metres ahead
        bool enemyDead;
        bool deviceNear;  // a device of the enemy side 1 m away
        int32_t state;    // after the think
        bool blast;
        bool follows;
    } rows[] = {{"enemy in sight", false, false, 15, false, false, AiState::kPathfinding, false, true},
                {"enemy beyond sight", false, false, 25, false, false, AiState::kInitial, false, false},
                {"only a device in sight", false, false, 25, false, true, AiState::kInitial, false, false},
                {"chasing, enemy within reach", true, false, 2.4f, false, false, AiState::kPathfinding, true, true},
                {"chasing, enemy just out of reach", true, false, 2.6f, false, false, AiState::kPathfinding, false, true},
                {"chasing, a device within reach", true, false, 15, false, true, AiState::kPathfinding, false, true},
                {"chasing, quarry dead", true, false, 15, true, false, AiState::kInitial, false, false},
                {"chasing, nowhere left to go", true, true, 15, false, false, AiState::kInitial, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        sent.clear();
        UnitActor* bomb = Spawn(bombRole, 2, {0, 0, 0});
        UnitActor* enemy = Spawn(Character(0), 1, {0, 0, row.enemyAt});
        if (row.deviceNear)
            Spawn(mine, 1, {1, 0, 0});
        if (row.chasing) {
            bomb->aiState_ = AiState::kPathfinding;
            bomb->followed_ = RefPtr<GameObject>(enemy);
            if (!row.idle)
                bomb->PrependWaypoint({0, 0, 30}, 0);
        }
        if (row.enemyDead)
            enemy->SetHitPoints(0);
        Ai::ThinkType15(*bomb, 0);
        EXPECT_EQ(bomb->aiState_, row.state);
        EXPECT_EQ(Sent(AiMessage::kBombBlast).size(), row.blast ? 1u : 0u);
        EXPECT_EQ(bomb->followed_.Get() == enemy, row.follows);
        if (row.blast) {
            EXPECT_EQ(bomb->HitPoints(), 75) << "its own blast";
            EXPECT_EQ(enemy->HitPoints(), 75);
        }
    }
}

// Type 7 only stops an actor that has nothing left to walk: a direct leg
// ends, a route or a pending plan goes on, and nothing happens before the
// next think or to what cannot stop.
TEST_F(AiWorld, TypeSevenStopsOnlyWhatHasNothingLeftToWalk)
{
    navtest::GridLevel grid = navtest::MakeGridLevel({"...."});
    const struct {
        const char* name;
        bool leg;          // walking straight to a point, no route
        float waypointAt;  // a route point this far ahead; 0: none
        bool planPending;
        bool thinksLater;  // its next think is a second away
        bool dead;
        bool walking;      // after the think
        size_t motions;    // motion states sent by the think
    } rows[] = {
        {"a direct leg ends", true, 0, false, false, false, false, 1},
        {"standing idle is stopped again", false, 0, false, false, false, false, 1},
        {"a route point ahead", true, 20, false, false, false, true, 0},
        {"a route point starts a leg", false, 20, false, false, false, true, 1},
        {"the last route point reached", true, 0.3f, false, false, false, false, 1},
        {"a plan pending", true, 0, true, false, false, true, 0},
        {"before its next think", true, 0, false, true, false, true, 0},
        {"dead", true, 0, false, false, true, true, 0},
    };
    script::Role& role = Character(10, 65536, 512, 7);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UnitActor* actor = Spawn(role, 2, {0, 0, 0});
        if (row.waypointAt > 0)
            actor->AppendWaypoint({0, 0, row.waypointAt}, 0);
        if (row.leg)
            actor->WalkTo({0, 0, 10});
        if (row.planPending) {
            ASSERT_TRUE(actor->SetMoveTarget(grid.At(3, 0), actor->OrderTime()));
        }
        if (row.thinksLater)
            actor->nextThink_ = now + kSecond;
        if (row.dead)
            actor->SetHitPoints(0);
        sent.clear();
        Ai::ThinkType7(*actor, now);
        EXPECT_EQ(actor->IsWalking(), row.walking);
        EXPECT_EQ(Sent(40).size() + Sent(42).size() + Sent(43).size(), row.motions);
        actor->ClearPathState();
        actor->Remove(false);
    }
    // Type 7 on what is no actor does nothing.
    GameObject* post = Plain(Character(10, 0, 512, 7), 2, {1, 0, 1});
    sent.clear();
    Ai::ThinkType7(*post, now);
    EXPECT_TRUE(sent.empty());
}

TEST_F(AiWorld, GroupVectorIndexWrapsAtTwenty)
{
    script::Role& critter = Character(0, 65536, 0, 1);
    GameObject* creature = Spawn(critter, 2, {0, 0, 0});
    Ai::GroupVectorIndex() = 19;
    Ai::ThinkType1(*creature, 0);
    EXPECT_EQ(Ai::GroupVectorIndex(), 0);
    Ai::GroupVectorIndex() = 12345;  // however far it ran
    creature->nextThink_ = 0;
    Ai::ThinkType1(*creature, 0);
    EXPECT_GE(Ai::GroupVectorIndex(), 0);
    EXPECT_LT(Ai::GroupVectorIndex(), Ai::kGroupVectors);
}

} // namespace

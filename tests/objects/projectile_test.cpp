// Unit aiming (ballistic pitch, the shot's orientation and its spread) and
// the server projectile: hits, blasts, lifetimes and homing.
#include "objects/actor.h"
#include "objects/projectile.h"
#include "objects/unit_actor.h"
#include "objects/weapon_state.h"
#include "tests/objects/server_fixture.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kRadiansPerStep = 2.0f * kPi / 4096.0f;

// ---- aiming ----

struct ArcCase {
    float v, dy, x;
};

class BallisticAim : public ::testing::TestWithParam<ArcCase> {};

TEST_P(BallisticAim, TheIntegratedPathMeetsTheTarget)
{
    const ArcCase c = GetParam();
    const float pitch = UnitAim::Pitch(c.v, c.dy, c.x, true) * kRadiansPerStep;
    ASSERT_TRUE(std::isfinite(pitch));
    // Pitch is positive downward, as y is.
    double vx = c.v * std::cos(pitch), vy = c.v * std::sin(pitch);
    double px = 0, py = 0;
    const double dt = 1e-5;
    while (px < c.x) {
        px += vx * dt;
        vy += 0.5 * UnitAim::kGravity * dt;
        py += vy * dt;
        vy += 0.5 * UnitAim::kGravity * dt;
    }
    EXPECT_NEAR(py, c.dy, 0.02 + 0.002 * c.x);
    EXPECT_LT(std::fabs(pitch), kPi / 4 + 1e-3f) << "the lower of the two arcs";
}

INSTANTIATE_TEST_SUITE_P(Table, BallisticAim,
                         ::testing::Values(ArcCase{20, 0, 10}, ArcCase{20, 0, 30}, ArcCase{15, -5, 12},
                                           ArcCase{15, 5, 12}, ArcCase{40, -20, 60}, ArcCase{10, 2, 4},
                                           ArcCase{30, 0, 1}));

TEST(UnitAim, NoNaNAtZeroDistanceOrSpeed)
{
    EXPECT_FLOAT_EQ(UnitAim::Pitch(20, 5, 0, true), 1024.0f);
    EXPECT_FLOAT_EQ(UnitAim::Pitch(20, -5, 0, false), -1024.0f);
    EXPECT_FLOAT_EQ(UnitAim::Pitch(20, 0, 0, true), 0.0f);
    EXPECT_TRUE(std::isfinite(UnitAim::Pitch(0, 1, 10, true)));
    // Out of reach: fired as from a zero root, still a number.
    EXPECT_TRUE(std::isfinite(UnitAim::Pitch(2, 0, 100, true)));
}

TEST(UnitAim, TheShotOrientationMatchesEigenAndLeavesTheAimByTwiceTheSpread)
{
    const float yaws[] = {0, 300, 1024, 2500, 4000};
    const float pitches[] = {0, -200, 150};
    const float spreads[] = {0, 10, 40};
    for (float yaw : yaws) {
        for (float pitch : pitches) {
            for (float s : spreads) {
                const float a = 700;
                const Quaternion q = UnitAim::ShotOrientation(yaw, pitch, a, s);
                // The aim direction from an independent library, from the same table angles.
                const float y2 = static_cast<float>(std::lround(yaw / 2) & 0xFFF) * 2 * kRadiansPerStep;
                const float p2 = static_cast<float>(std::lround(pitch / 2)) * 2 * kRadiansPerStep;
                const Eigen::Quaternionf aim = Eigen::AngleAxisf(y2, Eigen::Vector3f::UnitY()) *
                                               Eigen::AngleAxisf(-p2, Eigen::Vector3f::UnitX());
                const Eigen::Vector3f aimDirection = aim * Eigen::Vector3f::UnitZ();
                const Eigen::Quaternionf shot(q.w, q.x, q.y, q.z);
                const Eigen::Vector3f direction = shot * Eigen::Vector3f::UnitZ();
                EXPECT_NEAR(shot.norm(), 1.0f, 1e-3f);
                const float angle = std::acos(std::clamp(aimDirection.dot(direction), -1.0f, 1.0f));
                EXPECT_NEAR(angle, 2 * s * kRadiansPerStep, 2e-3f) << yaw << " " << pitch << " " << s;
            }
        }
    }
}

TEST(UnitAim, SpreadStatisticsFollowTheSquaredDraw)
{
    // s = r^2 x aim, so the mean deviation is 2/3 of the aim angle (x2 for
    // the table) and the azimuth averages out.
    LockedRandom random(ServerRandom::kStartWords);
    const float aimAngle = 60;
    double sum = 0, sideways = 0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        const float r1 = random.NextFraction(), r2 = random.NextFraction();
        const Quaternion q = UnitAim::ShotOrientation(0, 0, r1 * 4096, r2 * r2 * aimAngle);
        const Vec3 d = Quaternion::ZAxis(q);
        sum += std::acos(std::clamp(d.z, -1.0f, 1.0f));
        sideways += d.x;
    }
    const double expected = 2.0 * aimAngle / 3.0 * kRadiansPerStep;
    EXPECT_NEAR(sum / n, expected, expected * 0.05);
    EXPECT_NEAR(sideways / n, 0.0, expected * 0.05);
}

// ---- projectiles ----

class Flight : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        TeamTable::Build(3, 1, 0);
        shot_.projectile.emplace();
        shot_.projectile->damage = 10;
        shot_.projectile->maxRange = 400;
        body_ = &NewRole(100);
        body_->character->height = 2.0f;
        body_->character->radius = 0.5f;
    }

    Actor* Body(int32_t side, const Vec3& at, float radius = 0.5f)
    {
        if (radius != body_->character->radius) {
            script::Role& wide = NewRole(100);
            wide.character->height = 2.0f;
            wide.character->radius = radius;
            auto* a = new UnitActor(side, &wide, at, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
            a->Activate(now, 0);
            return a;
        }
        auto* a = new UnitActor(side, body_, at, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        a->Activate(now, 0);
        return a;
    }

    Projectile* Fire(int32_t side, const Vec3& from, const Quaternion& q, float speed, uint32_t shooter = 999,
                     uint32_t target = 0xFFFFFFFFu)
    {
        auto* p = new Projectile(side, &shot_, from, q, speed, shooter, target, ObjectRegistry::Global().TakeNextId());
        p->Activate(now, Seconds());
        return p;
    }

    float Seconds() const { return static_cast<float>(now) / 1e6f; }

    void Pass(uint64_t ticks)
    {
        now += ticks;
        ObjectRegistry::PassScope pass;
        const std::vector<GameObject*> objects = ObjectRegistry::Global().Snapshot();
        for (GameObject* o : objects)
            o->MoveAndHit(now, Seconds());
        for (GameObject* o : objects)
            if (!o->IsRemoved())
                o->Update(now, Seconds());
    }

    script::Role shot_;
    script::Role* body_ = nullptr;
};

struct RuleCase {
    const char* name;
    int32_t victimSide;
    bool victimIsShooter;
    bool blast;
    uint64_t passTicks;
    int32_t victimHitPoints, besideHitPoints, ownHitPoints;
};

class ProjectileRules : public Flight, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(ProjectileRules, HitsOnlyWhatItMay)
{
    const RuleCase& c = GetParam();
    if (c.blast) {
        shot_.projectile->blastDamage = 7;
        shot_.projectile->blastRangeSquared = 9;
    }
    Actor* victim = Body(c.victimSide, {0, 0, 5});
    Actor* beside = Body(2, {1, 0, 5.5f});
    Actor* own = Body(1, {-1, 0, 5.5f});
    Projectile* other = Fire(2, {0, -1, 6}, Quaternion::Identity(), 0);  // a projectile in the way
    GameObjectRef keep(other);
    Fire(1, {0, -1, 0}, Quaternion::Identity(), 50, c.victimIsShooter ? victim->GetId() : 999);
    Pass(c.passTicks);
    EXPECT_EQ(victim->HitPoints(), c.victimHitPoints);
    EXPECT_EQ(beside->HitPoints(), c.besideHitPoints);
    EXPECT_EQ(own->HitPoints(), c.ownHitPoints);
    EXPECT_FALSE(other->IsRemoved()) << "projectiles never hit each other";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProjectileRules,
    ::testing::Values(RuleCase{"DirectHit", 2, false, false, 200000, 90, 100, 100},
                      RuleCase{"OwnSidePassesThrough", 1, false, false, 200000, 100, 100, 100},
                      RuleCase{"ShooterNeverHit", 2, true, false, 200000, 100, 100, 100},
                      RuleCase{"BlastBesideTheDirectHit", 2, false, true, 200000, 90, 93, 100},
                      RuleCase{"ZeroTimeStep", 2, false, true, 0, 100, 100, 100}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Flight, ALobbedShotMeetsAFloorAtTheParabolasTime)
{
    // A wide body's top face is a plane 2 m above the ground (y grows down).
    Body(2, {0, 0, 0}, 60.0f);
    shot_.projectile->gravity = true;
    const float speed = 5, height = 10;
    Fire(1, {0, -height, 0}, Quaternion::Identity(), speed);
    Pass(400000);  // a pass in flight first, so the test starts from a moving, falling shot
    Pass(3000000);
    ASSERT_EQ(Sent(50).size(), 1u);
    const float expected = std::sqrt(2.0f * (height - 2.0f) / Projectile::kGravity);
    EXPECT_NEAR(Sent(50)[0].Float(3), expected, 1e-3f);
    EXPECT_NEAR(Sent(50)[0].Float(6), speed * expected, 5e-3f);
    EXPECT_NEAR(Sent(50)[0].Float(5), -2.0f, 5e-3f);
}

TEST_F(Flight, EveryShotEndsWithinItsLifetime)
{
    // Straight up at speed 0 and straight up fast: nothing to hit either way.
    Projectile* still = Fire(1, {0, 0, 0}, Quaternion::Identity(), 0);
    const float up = std::sqrt(0.5f);
    Projectile* rising = Fire(1, {0, 0, 0}, Quaternion{up, 0, 0, up}, 40);
    GameObjectRef a(still), b(rising);
    EXPECT_FLOAT_EQ(still->Lifetime(), Projectile::kLongestFlight);
    EXPECT_FLOAT_EQ(rising->Lifetime(), 0.5f);  // 20 m of range at 40 m/s
    for (int i = 0; i < 250 && !still->IsRemoved(); ++i)
        Pass(50000);
    EXPECT_TRUE(still->IsRemoved());
    EXPECT_TRUE(rising->IsRemoved());
    EXPECT_EQ(Sent(52).size(), 2u);

    // 12 m/s with 14 m of range, aimed 31.17 degrees up: a lobbed shot lands
    // 13 m away after 1.27 s, so it must still fly then; a straight one
    // covers its range in 1.17 s.
    shot_.projectile->maxRange = 196;
    const float half = 31.17f * kPi / 360.0f;
    const struct {
        bool gravity;
        float flyingAt, goneBy;
    } rows[] = {{true, 1.27f, 1.5f}, {false, 1.1f, 1.25f}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.gravity ? "lobbed" : "straight");
        shot_.projectile->gravity = row.gravity;
        const uint64_t launch = now;
        Projectile* shot = Fire(1, {0, 0, 0}, Quaternion{std::sin(half), 0, 0, std::cos(half)}, 12);
        GameObjectRef keep(shot);
        while (now - launch < static_cast<uint64_t>(row.flyingAt * 1e6f))
            Pass(10000);
        EXPECT_FALSE(shot->IsRemoved());
        while (now - launch < static_cast<uint64_t>(row.goneBy * 1e6f))
            Pass(10000);
        EXPECT_TRUE(shot->IsRemoved());
    }
}

TEST_F(Flight, HomingAtATargetStraightBehindKeepsItsCourse)
{
    shot_.limit = ProjectileFlags::kHoming;
    Actor* target = Body(2, {0, 0, -10});
    Projectile* p = Fire(1, target->GetAimPoint() + Vec3{0, 0, 10}, Quaternion::Identity(), 20, 999,
                         target->GetId());
    GameObjectRef keep(p);
    ASSERT_EQ(p->Target(), target);
    Pass(10000);  // a blend of one half: the two directions cancel
    EXPECT_TRUE(std::isfinite(p->Velocity().x) && std::isfinite(p->Velocity().y) && std::isfinite(p->Velocity().z));
    EXPECT_NEAR(p->Velocity().Length(), 20.0f, 1e-3f);
}

TEST_F(Flight, AVictimOnASquadSideAnswersTheShooter)
{
    Actor* shooter = Body(2, {0, 0, 0});
    Actor* victim = Body(1, {0, 0, 5});  // side 1 is a squad side
    static_cast<UnitActor*>(victim)->ChangeWeapon(UnitActor::kNoWeapon);
    Fire(2, {0, -1, 1}, Quaternion::Identity(), 50, shooter->GetId());
    Pass(200000);
    EXPECT_EQ(victim->HitPoints(), 90);
    EXPECT_FALSE(victim->IsAttacking()) << "an unarmed unit does not answer";
    EXPECT_EQ(shooter->missCount_, 1) << "a hit on another than the target counts as a miss";
}

// ---- firing ----

class Firing : public Flight {
protected:
    void SetUp() override
    {
        Flight::SetUp();
        script::RecordTables::Global().Clear();
        for (int32_t weapon : {0, 1}) {
            script::WeaponEntry entry;
            entry.projectile = &shot_;
            entry.firingSpeed = 40;
            entry.roundTime = 0.25f;
            entry.reloadTime = 1;
            entry.magazineSize = entry.salvoSize = 10;
            script::RecordTables::Global().StoreWeapon(weapon, WeaponState::DefaultAmmoFor(weapon), entry);
        }
        gunner_ = &NewRole(100);
        gunner_->character->canTurn = true;
        gunner_->character->turningSpeed = 4096;
        gunner_->character->elevationAngle = 512;
        gunner_->character->height = 2.0f;
        gunner_->character->weapon = 0;
        gunner_->character->secondaryWeapon = UnitActor::kNoWeapon;
    }
    void TearDown() override
    {
        script::RecordTables::Global().Clear();
        Flight::TearDown();
    }
    UnitActor* Gunner()
    {
        auto* unit = new UnitActor(1, gunner_, {0, 0, 0}, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        unit->Activate(now, Seconds());
        return unit;
    }
    script::Role* gunner_ = nullptr;
};

TEST_F(Firing, WithoutAmmunitionItemsTheFirePointsTakeTurns)
{
    UnitActor* unit = Gunner();
    Actor* target = Body(2, {0, 0, 8});
    unit->SetFirePoints({0.3f, -1, 0}, {-0.3f, -1, 0});
    ASSERT_TRUE(unit->AimAtObject(target, Seconds(), false, false));
    for (int i = 0; i < 12; ++i)
        Pass(50000);
    const std::vector<SentMessage> shots = Sent(49);
    ASSERT_GE(shots.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(shots[i].Float(6), i % 2 ? -0.3f : 0.3f, 0.01f) << "shot " << i;  // the body turns a little
    EXPECT_EQ(shots[0].bytes.size(), 60u);
    EXPECT_EQ(shots[0].Word(2), target->GetId());
}

TEST_F(Firing, WeaponCyclingSwapsTheUnitsOwnValuesNotTheSharedRecord)
{
    gunner_->character->secondaryWeapon = 1;
    gunner_->character->weaponCycleTime = 0.1f;
    gunner_->character->weaponCycleTime2 = 5.0f;
    UnitActor* unit = Gunner();
    UnitActor* twin = Gunner();
    Actor* target = Body(2, {0, 0, 8});
    unit->AimAtObject(target, Seconds(), false, false);
    for (int i = 0; i < 12; ++i)
        Pass(50000);
    EXPECT_EQ(unit->CycleWeapon(), 1);
    ASSERT_NE(unit->GetWeapon(), nullptr);
    EXPECT_EQ(unit->GetWeapon()->weaponType, 1);
    EXPECT_EQ(gunner_->character->weapon, 0) << "the character record is shared";
    EXPECT_EQ(twin->CycleWeapon(), 0);
}

TEST_F(Firing, AReactionRunsItsCommandFileOnceAndHoldsFire)
{
    UnitActor* unit = Gunner();
    // The target takes the entry from its role when it is made.
    script::VulnerabilityEntry entry;
    entry.attacker = gunner_;
    entry.kind = script::VulnerabilityEntry::kRunCommand;
    entry.command = "alarm";
    body_->vulnerabilities.push_back(entry);
    Actor* target = Body(2, {0, 0, 8});
    body_->vulnerabilities.clear();
    ASSERT_EQ(target->vulnerabilities_.size(), 1u);
    target->vulnerabilities_[0].seconds = 0.2f;
    // An entry for another projectile neither acts nor times the reaction.
    script::Role& otherShot = NewRole(1);
    target->vulnerabilities_.push_back({gunner_, &otherShot, 2, 5.0f, ""});
    unit->AimAtObject(target, Seconds(), false, false);
    for (int i = 0; i < 10; ++i)
        Pass(50000);
    EXPECT_TRUE(Sent(49).empty()) << "an entry without a projectile role holds fire";
    ASSERT_EQ(Sent(58).size(), 1u);
    EXPECT_EQ(commandFiles, std::vector<std::string>{"alarm"});
    EXPECT_FALSE(unit->IsAttacking());
    unit->AimAtObject(target, Seconds(), false, false);
    for (int i = 0; i < 10; ++i)
        Pass(50000);
    EXPECT_EQ(commandFiles.size(), 1u) << "the entry forgets its command";
}

} // namespace

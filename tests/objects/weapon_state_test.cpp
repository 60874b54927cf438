// Weapon states copied from the level's ammunition records.
#include <gtest/gtest.h>

#include "objects/weapon_state.h"

#include <climits>

namespace {

script::WeaponEntry Record(float round, float reload, int32_t magazine, int32_t salvo, int32_t sound = 3)
{
    script::WeaponEntry e;
    e.roundTime = round;
    e.reloadTime = reload;
    e.magazineSize = magazine;
    e.salvoSize = salvo;
    e.sound = sound;
    e.lifeTimer = 40;
    e.firingSpeed = 9;
    return e;
}

class WeaponStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        script::RecordTables::Global().Clear();
        script::RecordTables::Global().SetServices(std::make_unique<script::RecordServices>());
        auto& t = script::RecordTables::Global();
        t.StoreWeapon(0, 2, Record(0.5f, 2, 12, 0));
        t.StoreWeapon(0, 3, Record(0.25f, 1, 30, 3, 7));
        t.StoreWeapon(7, 11, Record(1, 4, 5, 1));
        t.StoreWeapon(15, 16, Record(2, 3, 1, 1));
    }
    void TearDown() override
    {
        script::RecordTables::Global().Clear();
        script::RecordTables::Global().SetServices(nullptr);
    }
};

TEST_F(WeaponStateTest, FirstRecordOfAPairWins)
{
    EXPECT_FALSE(script::RecordTables::Global().StoreWeapon(0, 2, Record(9, 9, 99, 9)));
    WeaponState w;
    w.weaponType = 0;
    w.SelectDefaultAmmo();
    EXPECT_EQ(w.magazineSize, 12);
}

TEST_F(WeaponStateTest, StatesFollowTheTableUnderAnInjectedClockRate)
{
    struct Case {
        int32_t weapon, ammo;
        float roundTicks, reloadTicks;
        int32_t magazine, salvo, sound;
    } cases[] = {
        {0, 2, 30, 120, 12, 12, 3},  // salvo 0 fires the whole magazine
        {0, 3, 15, 60, 30, 3, 7},
        {7, 11, 60, 240, 5, 1, 3},
        {15, 16, 120, 180, 1, 1, 3},
    };
    for (const Case& c : cases) {
        WeaponState w;
        w.weaponType = c.weapon;
        w.ammoType = c.ammo;
        w.ApplyAmmo(60.0f);
        EXPECT_FLOAT_EQ(w.roundTime, c.roundTicks) << c.weapon << "/" << c.ammo;
        EXPECT_FLOAT_EQ(w.reloadTime, c.reloadTicks) << c.weapon << "/" << c.ammo;
        EXPECT_EQ(w.magazineSize, c.magazine);
        EXPECT_EQ(w.salvoSize, c.salvo);
        EXPECT_EQ(w.sound, c.sound);
        EXPECT_FLOAT_EQ(w.lifeTimer, 40);
        EXPECT_TRUE(w.CanFire());
    }
}

TEST_F(WeaponStateTest, DefaultAmmunitionByWeaponType)
{
    const int32_t expected[] = {2, 2, 2, 6, 6, 6, 9, 11, 13, 14, 15, 6, 9, 8, 8, 16};
    for (int32_t weapon = 0; weapon < 16; ++weapon)
        EXPECT_EQ(WeaponState::DefaultAmmoFor(weapon), expected[weapon]) << weapon;
    for (int32_t other : {-1, 16, INT_MAX})
        EXPECT_EQ(WeaponState::DefaultAmmoFor(other), 2) << other;
    for (int32_t weapon : {0, 7, 15}) {
        WeaponState w;
        w.weaponType = weapon;
        w.SelectDefaultAmmo();
        EXPECT_EQ(w.ammoType, WeaponState::DefaultAmmoFor(weapon));
        EXPECT_TRUE(w.CanFire()) << weapon;
    }
}

TEST_F(WeaponStateTest, SelectAmmoTakesOnlyTypesWithARecord)
{
    WeaponState w;
    w.weaponType = 0;
    w.SelectDefaultAmmo();
    struct Case {
        int32_t type;
        bool taken;
        int32_t ammoAfter;
    } cases[] = {{3, true, 3}, {5, false, 3}, {-1, false, 3}, {17, false, 3}, {INT_MAX, false, 3}, {2, true, 2}};
    for (const Case& c : cases) {
        EXPECT_EQ(w.SelectAmmo(c.type), c.taken) << c.type;
        EXPECT_EQ(w.ammoType, c.ammoAfter) << c.type;
    }
}

TEST_F(WeaponStateTest, MissingRecordsGiveAStateThatNeverFiresAndWarnOnce)
{
    auto& warnings = script::RecordTables::Global().Services().warnings;
    struct Case {
        int32_t weapon, ammo;
    } cases[] = {{4, 6}, {4, 6}, {INT_MAX, 2}, {-3, INT_MAX}};
    for (const Case& c : cases) {
        WeaponState w;
        w.weaponType = 0;
        w.SelectDefaultAmmo();
        w.weaponType = c.weapon;
        w.ammoType = c.ammo;
        w.ApplyAmmo(60.0f);
        EXPECT_FALSE(w.CanFire()) << c.weapon << "/" << c.ammo;
        EXPECT_EQ(w.salvoSize, 0);
        EXPECT_EQ(w.projectile, nullptr);
    }
    ASSERT_EQ(warnings.size(), 2u);  // one for the pair, one for all outside the table
    EXPECT_NE(warnings[0].find("weapon type 4 and ammo type 6"), std::string::npos);
}

} // namespace

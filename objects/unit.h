// The client replica of a character or robot that carries a weapon: the
// magazine, armour and a regenerating shield, the aim of torso and weapon
// at a target, the two alternating muzzles, the player's attack orders and
// the server's aim and fire messages.
#pragma once

#include "objects/aim_pose.h"
#include "objects/moving_object.h"

#include <memory>
#include <string>

struct WeaponState;

// The weapon-pitch sequence's position, 0 to 65536 (the middle is level),
// for a target `dy` below and `horizontalSquared` away. A ballistic shot at
// muzzle speed `speed` aims on its lower arc, with root 0 when it cannot
// reach. Always finite.
int32_t WeaponPitchFraction(float dy, float horizontalSquared, float speed, bool ballistic);

class Unit : public MovingObject {
public:
    // Texts said beside the unit: another stack of its ammunition in use,
    // none left, its disguise given away.
    static constexpr int32_t kTextNextStack = 7050, kTextNoAmmunition = 7051, kTextDisguiseLost = 7076;

    Unit(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);

    // What the number keys read.
    uint32_t Id() const { return GetId(); }
    bool TakesOrders() const { return IsSelectable(); }
    int32_t FirstOrderKind() const { return orders_.empty() ? -1 : orders_.front().kind; }

    // ---- overrides ----
    bool IsAttacking() const override { return attacking_; }
    WeaponState* GetWeapon() override { return weapon_.get(); }
    WorldObject* GetTarget() const override { return target_.Get(); }
    int32_t GetArmour() const override { return armour_; }
    int32_t GetShield() const override { return static_cast<int32_t>(shield_); }
    int32_t GetWeaponValue() const override;
    int32_t GetUnitValue() const override { return unitValue_; }
    void SetArmour(int32_t armour) override { armour_ = armour; }
    void SetShield(int32_t shield) override { shield_ = static_cast<float>(shield); }
    const char* GetMuzzlePart() const override { return muzzleA_.c_str(); }
    uint32_t SizeInBytes() const override { return 632; }
    bool IsUnit() const override { return true; }
    void Activate(uint64_t time, float seconds) override;
    void ReleaseReferences() override { target_.Reset(); }
    void Update(uint64_t time, float seconds) override;
    void Remove() override;
    void AddChangeAmmoOrder(int32_t ammo) override;
    void AddAttackLocationOrder(const Vec3& point, int32_t flag) override;
    void AddAttackTargetOrder(uint32_t target, int32_t flag) override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool FixUpAfterLoad() override;
    void ActivateLoaded() override;

    // ---- the player's attack orders ----
    void OrderAttackLocation(const Vec3& point);
    void OrderAttackTarget(WorldObject& target);
    void OrderClearTarget();
    void QueueAttackLocation(const Vec3& point);
    void QueueAttackTarget(WorldObject& target);

    // ---- the server's messages ----
    void AttackLocation(const Vec3& point, uint32_t time, bool aimFlag, bool lob);
    void AttackTarget(WorldObject* target, uint32_t time, bool aimFlag, bool lob);
    void ClearTarget(uint32_t time);
    // One round of the magazine goes; true when the magazine was refilled.
    // Unlimited ammunition costs nothing: the next shot only changes muzzle.
    bool UseRound();
    // Message 49 for its shooter: the stack in use is looked up again
    // (ammunition type 16, or the developer switch `unlimited`, makes the
    // ammunition unlimited until the ammunition or weapon changes), then
    // the shot takes its round. True when the magazine was refilled.
    bool ShotFired(bool unlimited);
    bool HasUnlimitedAmmo() const { return unlimitedAmmo_; }
    void PlayFireSequence();
    void StartSweep(uint32_t time);
    void ChangeAmmo(int32_t type);
    void SetWeaponRole(int32_t weaponType);
    void LoadMagazine();
    // Both walk the worn items of the kind (armour, shields): an item with
    // more points left loses them, one with fewer is spent and goes; the
    // unit's value falls by the amount, not below 0.
    void WearArmour(int32_t amount) override;
    void ReduceShield(int32_t amount) override;
    static constexpr int32_t kComputerSide = 2;
    void SetUnitValue(int32_t value) { unitValue_ = value; }

    // ---- queries ----
    const Vec3& TargetPoint() const { return targetPoint_; }
    uint32_t Rounds() const { return rounds_; }
    int32_t AmmoItem() const { return ammoItem_; }
    float MuzzleSpeed() const { return muzzleSpeed_; }
    float Shield() const { return shield_; }
    const std::string& MuzzleB() const { return muzzleB_; }
    int32_t PitchFraction() const { return poses_.PitchAt(); }
    int32_t TorsoFraction() const { return poses_.YawAt(); }
    bool SweepActive() const { return sweepActive_; }
    // The beam of the last sweep, for whoever draws it.
    const Vec3& SweepFrom() const { return sweepFrom_; }
    const Vec3& SweepTo() const { return sweepTo_; }

    // ---- what the player's keys and command wheel read and ask ----
    // The quick-weapon key's readied flag and what to give back after it.
    struct ReadiedWeapon {
        bool readied = false;
        int32_t previousWeapon = 0;
        int32_t previousAmmo = 2;
    };
    ReadiedWeapon& Readied() { return readied_; }
    // The held weapon's type and its ammunition type; -1 without a weapon.
    int32_t WeaponType() const;
    int32_t AmmoType() const;
    bool CarriesWeapon(int32_t weaponType) const;
    bool CarriesAmmo(int32_t ammoType) const;
    // Equips the first carried weapon of the type in the right arm (an
    // order); true when it is held already or was ordered.
    bool EquipWeaponOfType(int32_t weaponType);
    // Changes to the ammunition type (an order); true when it is loaded
    // already or a stack of it is carried.
    bool LoadAmmoOfType(int32_t ammoType, bool queued = false);
    // Uses the first carried deployable whose variant is the hot key's.
    bool UseHotkeyItem(int32_t hotkey, bool queued);

protected:
    // Shields and armour rise while worn; a worn weapon is the unit's weapon.
    void ApplyWornEffect(const CarriedItem& item, bool on) override;
    // Wears up to `amount` points off the worn items of that kind (their
    // value is what they still give); spent ones come off and leave the
    // inventory. The points used.
    int32_t SpendWornItems(int32_t kind, int32_t amount);
    ~Unit() override;
    void ReadyWeapon();
    // Firing gives a disguise away: it ends and its cloak comes off.
    void DropDisguise();
    // The role name, ": " and the text beside the unit (ClientServices).
    void Say(int32_t textId);
    // Points the weapon and the torso at the target point through the aim
    // poses, or turns the body when the torso may not take the turn.
    void Aim(uint64_t time);
    void SendAttack(uint32_t type, uint32_t targetWord, const Vec3* point);

    std::unique_ptr<WeaponState> weapon_;
    std::string muzzleA_, muzzleB_;
    Vec3 muzzleOffsetA_{0, 0, 0}, muzzleOffsetB_{0, 0, 0};
    int32_t armour_ = 0;
    float shield_ = 0;
    uint32_t lastAimTime_ = 0;
    bool attacking_ = false, lob_ = false, aimFlag_ = false;
    WorldObjectRef target_;
    Vec3 targetPoint_{0, 0, 0};
    int32_t ammoItem_ = -1;  // the carried stack in use, by item id
    bool unlimitedAmmo_ = false;
    // The first carried stack of the weapon's ammunition type; none for a
    // type that needs none.
    void FindAmmoItem();
    uint32_t rounds_ = 0;
    uint8_t fireDone_ = 1, torsoDone_ = 1, pitchDone_ = 1;  // the playbacks' completion flags
    float muzzleSpeed_ = 0;
    int32_t unitValue_ = 0;
    AimPoses poses_;
    bool sweepActive_ = false;
    float sweepAngle_ = 0;
    uint32_t sweepStart_ = 0;
    Vec3 sweepFrom_{0, 0, 0}, sweepTo_{0, 0, 0};
    ReadiedWeapon readied_;
    uint32_t loadedTarget_ = 0;  // id + 1 between LoadState and FixUpAfterLoad

private:
    template <typename Self, typename Field>
    static void VisitUnitImage(Self& self, Field&& field);
};

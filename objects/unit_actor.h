// The server's armed character or robot: an actor that aims its upper body
// at a point or an object, fires projectiles with spread and ballistic
// elevation, reloads from ammunition items, wears armour and shields,
// regenerates its shield, sweeps its sight beam when idle and runs the
// queued attack and ammunition orders.
#pragma once

#include "objects/actor.h"
#include "objects/aim_pose.h"
#include "objects/weapon_state.h"

#include <climits>
#include <cmath>
#include <memory>

namespace UnitAim {
// The orientation of a shot: yaw, then minus the pitch, then the spread cone
// (azimuth `a`, spread `s`, all in 4096ths) through the sine table.
Quaternion ShotOrientation(float yaw, float pitch, float a, float s);
} // namespace UnitAim

class SweepScanner;

class UnitActor : public Actor {
public:
    static constexpr uint32_t kImageSize = 648;
    static constexpr int32_t kNoWeapon = INT_MAX;

    UnitActor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);

    bool IsAttacking() const override { return attacking_; }
    WeaponState* GetWeapon() override { return weapon_.get(); }
    GameObject* GetTarget() const override { return target_; }
    int32_t GetArmour() const override { return armour_; }
    int32_t GetShield() const override { return static_cast<int32_t>(std::lround(shield_)); }
    void WearArmour(int32_t amount) override;
    void DrainShield(int32_t amount) override;
    int32_t GetMagazineSize() const override { return weapon_ ? weapon_->magazineSize : 100; }
    int32_t GetRounds() const override { return rounds_; }
    void SetArmour(int32_t armour) override { armour_ = armour; }
    void SetShield(int32_t shield) override { shield_ = static_cast<float>(shield); }
    const char* GetFirePartName() const override { return firePartNames_[0].c_str(); }
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsUnit() const override { return true; }
    int32_t Activate(uint64_t now, float seconds) override;
    void ReleaseLinks() override;
    void Remove(bool notify) override;
    void Update(uint64_t now, float seconds) override;
    void QueueChangeAmmo(uint32_t kind) override;
    void QueueAttackLocation(const Vec3& point, bool modifier) override;
    void QueueAttackTarget(uint32_t targetId, bool modifier) override;
    void ChangeWeapon(int32_t type) override;
    void StopAiming(float time) override;
    bool AimAtObject(GameObject* object, float time, bool holdFire, bool lob) override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool AfterLoad() override;
    int32_t Charge() const override { return GetShield(); }
    void SetCharge(int32_t charge) override { SetShield(charge); }

    void SetRounds(int32_t rounds) { rounds_ = rounds; }
    bool ChangeAmmo(int32_t ammo) override;
    bool AimAtPoint(const Vec3& point, float time, bool holdFire, bool lob);
    void ResetWeapon();
    void SelectMagazine();
    bool ConsumeRound();
    void StartSweep(float time);
    void SetFirePoints(const Vec3& first, const Vec3& second);
    // The named part's object-space position at the time, scaled by the
    // character's size; false (out unchanged) without the part.
    bool PartPoint(const std::string& name, uint64_t time, Vec3& out) const;

    // The unit's beam and what it has seen (made on first use).
    SweepScanner& Scanner();
    bool BeamOn() const { return beamOn_; }
    float SweepAngle() const { return sweepAngle_; }

    const Vec3& AimPoint() const { return aimPoint_; }
    float AimPitch() const { return aimPitch_; }
    float AimYaw() const { return aimYaw_; }
    float MuzzleSpeed() const { return muzzleSpeed_; }
    // Both aim poses arrived: the gun points where the unit aims.
    bool AimPosesReached() const { return yawReached_ && pitchReached_; }
    const Vec3& FirePoint(int i) const { return firePoints_[i]; }
    // The unit's own character values that weapon cycling swaps (kept per
    // unit: the character record is shared by every unit of that character).
    int32_t CycleWeapon() const { return cycleWeapon_; }

    bool fireEnabled_ = true;

protected:
    ~UnitActor() override;
    // The aim step: false when this pass may not fire.
    bool Aim(uint64_t now, float elapsed);
    // Plays the pitch (5) or yaw (12) pose from where it was last sent to
    // `to` (16.16 of the sequence). `reached` is set when the pose arrives
    // within this pass (at once when the model lacks the sequence), else by
    // the playback when it arrives: fire waits for the gun to point where
    // it aims, while tracking a walking target, whose pose moves a little
    // each pass, never holds it.
    void PlayPose(int32_t sequence, int32_t to, uint64_t now, float elapsed, uint8_t* reached);
    bool StartAim(const Vec3& point, float time, bool holdFire, bool lob);
    // The weapon's record for that ammunition, its times in the server's
    // ticks; false (nothing changed) when the weapon has no such record.
    bool SelectWeaponAmmo(int32_t ammo);
    void Fire(uint64_t now, float seconds);
    bool CheckReactions(uint64_t now, float seconds);
    const script::Role* ProjectileRole() const;

    bool beamOn_ = false;
    float sweepAngle_ = 0;
    float lastScan_ = 0;
    int32_t sweepDirection_ = 0;
    Vec3 beamStart_{0, 0, 0}, beamEnd_{0, 0, 0};
    float nextSweep_ = 0;
    std::unique_ptr<WeaponState> weapon_;
    Vec3 firePoints_[2]{};
    std::string firePartNames_[2];
    int32_t armour_ = 0;
    float shield_ = 0;
    float aimStart_ = 0, lastAim_ = 0;
    bool attacking_ = false;
    bool holdFire_ = false;
    GameObject* target_ = nullptr;  // one reference
    Vec3 aimPoint_{0, 0, 0};
    int32_t ammoItem_ = -1;  // the inventory item feeding the rounds
    int32_t rounds_ = 0;
    uint8_t yawReached_ = 1, pitchReached_ = 1;  // the playbacks' completion flags
    AimPoses poses_;
    float muzzleSpeed_ = 0;
    float aimYaw_ = 0, aimPitch_ = 0;
    uint64_t nextShot_ = 0;
    uint64_t burstEnd_ = 0;
    float burstLength_ = 0;
    int32_t cycleWeapon_ = kNoWeapon, cycleSecondary_ = kNoWeapon;
    float cycleTime_ = 0, cycleTime2_ = 0;
    bool mayFire_ = false;
    std::unique_ptr<SweepScanner> scanner_;
    uint32_t loadedTarget_ = 0;  // id + 1 between LoadState and AfterLoad
    template <typename Self, typename Field>
    static void VisitUnitImage(Self& self, Field&& field);

    friend class SweepScanner;
};

// Registers the unit class with the server factory: AI type 0, and the
// roles of other types that have a character record and no class of their own.
void RegisterActorClasses();

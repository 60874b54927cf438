#include "objects/weapon_state.h"

#include "app/clock.h"

#include <bitset>
#include <string>

namespace {

// Every unit armed with the same unarmed pair would repeat the same line:
// one warning per pair, and one for all pairs outside the table.
void WarnOfMissingAmmo(int32_t weaponType, int32_t ammoType)
{
    constexpr size_t kPairs = size_t(script::kWeaponTypes) * script::kAmmoTypes;
    static std::bitset<kPairs + 1> warned;
    const bool inside = weaponType >= 0 && weaponType < script::kWeaponTypes && ammoType >= 0 &&
                        ammoType < script::kAmmoTypes;
    const size_t slot = inside ? size_t(weaponType) * script::kAmmoTypes + size_t(ammoType) : kPairs;
    if (warned.test(slot))
        return;
    warned.set(slot);
    script::RecordTables::Global().Services().Warning("no ammo for weapon type " + std::to_string(weaponType) +
                                                      " and ammo type " + std::to_string(ammoType) +
                                                      "; the weapon will not fire");
}

} // namespace

int32_t WeaponState::DefaultAmmoFor(int32_t weaponType)
{
    switch (weaponType) {
    case 3: case 4: case 5: case 11: return 6;
    case 6: case 12: return 9;
    case 7: return 11;
    case 8: return 13;
    case 9: return 14;
    case 10: return 15;
    case 13: case 14: return 8;
    case 15: return 16;
    default: return 2;  // 0, 1, 2 and any other
    }
}

void WeaponState::SelectDefaultAmmo()
{
    ammoType = DefaultAmmoFor(weaponType);
    ApplyAmmo();
}

void WeaponState::ApplyAmmo()
{
    ApplyAmmo(Clock::GlobalTicksPerSecond());
}

void WeaponState::ApplyAmmo(float ticksPerSecond)
{
    // RecordTables::Weapon bounds both indexes, so a hostile type reads nothing.
    const script::WeaponEntry* record = script::RecordTables::Global().Weapon(weaponType, ammoType);
    if (!record) {
        WarnOfMissingAmmo(weaponType, ammoType);
        projectile = nullptr;
        firingSpeed = roundTime = reloadTime = lifeTimer = 0;
        magazineSize = salvoSize = sound = 0;
        return;
    }
    projectile = record->projectile;
    firingSpeed = record->firingSpeed;
    roundTime = record->roundTime * ticksPerSecond;
    reloadTime = record->reloadTime * ticksPerSecond;
    lifeTimer = float(record->lifeTimer);
    magazineSize = record->magazineSize;
    salvoSize = record->salvoSize != 0 ? record->salvoSize : record->magazineSize;
    sound = record->sound;
}

void WriteUnitWords(trevok::ByteWriter& out, const WeaponState* weapon, int32_t ammoItem, uint32_t targetPlusOne)
{
    out.U32(weapon ? static_cast<uint32_t>(weapon->weaponType) + 1 : 0);
    out.U32(weapon ? static_cast<uint32_t>(weapon->ammoType) : 0);
    out.U32(static_cast<uint32_t>(ammoItem) + 1u);
    out.U32(targetPlusOne);
}

bool ReadUnitWords(trevok::ByteReader& in, std::unique_ptr<WeaponState>& weapon, int32_t& ammoItem,
                   uint32_t& targetPlusOne)
{
    const uint32_t type = in.U32();
    const uint32_t ammo = in.U32();
    const uint32_t item = in.U32();
    const uint32_t target = in.U32();
    if (!in.Ok() || type > uint32_t(script::kWeaponTypes) || ammo >= uint32_t(script::kAmmoTypes))
        return false;
    weapon.reset();
    if (type != 0) {
        weapon = std::make_unique<WeaponState>();
        weapon->weaponType = static_cast<int32_t>(type - 1);
        weapon->ammoType = static_cast<int32_t>(ammo);
    }
    ammoItem = static_cast<int32_t>(item - 1u);
    targetPlusOne = target;
    return true;
}

bool WeaponState::SelectAmmo(int32_t type)
{
    if (!script::RecordTables::Global().Weapon(weaponType, type))
        return false;
    ammoType = type;
    ApplyAmmo();
    return true;
}

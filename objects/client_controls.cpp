// What the player's interface asks of a client replica beyond its order
// requests: letting go of direct control, and the unit keys' weapon,
// ammunition and hot-key item choices, which become ordinary orders.
#include "objects/inventory.h"
#include "objects/unit.h"
#include "objects/weapon_state.h"

namespace {

// Weapons go in the right upper arm.
constexpr int32_t kWeaponSlot = 0;

const CarriedItem* FirstCarried(const Inventory* inventory, int32_t kind, int32_t subtype)
{
    if (!inventory)
        return nullptr;
    for (const CarriedItem& item : inventory->Items())
        if (item.kind == kind && item.subtype == subtype)
            return &item;
    return nullptr;
}

} // namespace

void WorldObject::ReleaseControl()
{
    SetHighlight(false);
    SetDirectControl(false);
    if (TakesMotionOrders())
        static_cast<MovingObject*>(this)->SendMotionState(true);
}

int32_t Unit::WeaponType() const { return weapon_ ? weapon_->weaponType : -1; }
int32_t Unit::AmmoType() const { return weapon_ ? weapon_->ammoType : -1; }

bool Unit::CarriesWeapon(int32_t weaponType) const
{
    return FirstCarried(inventory_.get(), ItemKind::kWeapon, weaponType) != nullptr;
}

bool Unit::CarriesAmmo(int32_t ammoType) const
{
    return inventory_ && inventory_->HasStackOf(ammoType);
}

bool Unit::EquipWeaponOfType(int32_t weaponType)
{
    if (WeaponType() == weaponType)
        return true;
    const CarriedItem* item = FirstCarried(inventory_.get(), ItemKind::kWeapon, weaponType);
    if (!item)
        return false;
    OrderEquip(item->id, kWeaponSlot, false);
    return true;
}

bool Unit::LoadAmmoOfType(int32_t ammoType, bool queued)
{
    if (weapon_ && weapon_->ammoType == ammoType && !queued)
        return true;
    if (!CarriesAmmo(ammoType))
        return false;
    OrderChangeAmmo(ammoType, queued);
    return true;
}

bool Unit::UseHotkeyItem(int32_t hotkey, bool queued)
{
    const CarriedItem* item = FirstCarried(inventory_.get(), ItemKind::kDeployable, hotkey);
    if (!item)
        return false;
    OrderUse(item->id, queued);
    return true;
}

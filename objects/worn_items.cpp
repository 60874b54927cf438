// What a replica wears: the server's equip and unequip messages put items on
// body slots and take them off, raising and lowering what they give.
#include "objects/moving_object.h"

#include "objects/inventory.h"
#include "objects/role_classes.h"
#include "objects/unit.h"
#include "script/records.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int32_t kFirstBodySlot = 2, kLastSlot = 12;
constexpr int32_t kShield = 3, kModule = 7, kModule2 = 8, kArmour = 9;
constexpr int32_t kSightModule = 3, kCloakModule = 4;

bool IsModule(const CarriedItem& item) { return item.kind == kModule || item.kind == kModule2; }

} // namespace

bool MovingObject::EquipItem(int32_t slot, int32_t itemId)
{
    CarriedItem* item = inventory_ ? inventory_->FindById(itemId) : nullptr;
    if (!item || slot < 0 || slot > kLastSlot)
        return false;
    if (slot >= kFirstBodySlot && !IsModule(*item) && item->kind != kArmour && item->kind != kShield)
        return false;
    if (IsModule(*item) && item->subtype == kCloakModule && IsAttacking())
        return false;
    if (role_ && (item->roleLimit & role_->limit) != 0)
        return false;
    const CarriedItem worn = *item;
    std::vector<int32_t> off;
    for (const WornItem& w : worn_) {
        if (w.itemId == itemId || w.slot == slot)
            off.push_back(w.itemId);
    }
    for (int32_t id : off)
        RemoveItemEffect(id);
    worn_.push_back({slot, itemId});
    ApplyWornEffect(worn, true);
    return true;
}

bool MovingObject::RemoveItemEffect(int32_t itemId)
{
    const auto wearing = [itemId](const WornItem& w) { return w.itemId == itemId; };
    const auto count = std::count_if(worn_.begin(), worn_.end(), wearing);
    if (count == 0)
        return false;
    worn_.erase(std::remove_if(worn_.begin(), worn_.end(), wearing), worn_.end());
    if (const CarriedItem* item = inventory_ ? inventory_->FindById(itemId) : nullptr) {
        for (auto i = count; i > 0; --i)
            ApplyWornEffect(*item, false);
    }
    return true;
}

void MovingObject::ApplyWornEffect(const CarriedItem& item, bool on)
{
    if (IsModule(item) && item.subtype == kSightModule)
        AddViewRange(static_cast<float>(on ? item.value : -item.value));
}

void Unit::ApplyWornEffect(const CarriedItem& item, bool on)
{
    const float sign = on ? 1.0f : -1.0f;
    switch (item.kind) {
    case kShield:
        shield_ = std::max(0.0f, shield_ + sign * static_cast<float>(item.value));
        break;
    case kArmour:
        armour_ = std::max(0, armour_ + (on ? item.value : -item.value));
        break;
    case ItemKind::kWeapon: {
        int32_t weapon = on ? item.subtype : kNoWeapon;
        // Taken off: the first weapon still carried, if any.
        if (!on && inventory_) {
            for (const CarriedItem& other : inventory_->Items()) {
                if (other.kind == ItemKind::kWeapon && other.id != item.id) {
                    weapon = other.subtype;
                    break;
                }
            }
        }
        SetWeaponRole(weapon);
        break;
    }
    default:
        MovingObject::ApplyWornEffect(item, on);
        break;
    }
}

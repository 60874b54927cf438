#include "objects/inventory.h"

#include "platform/byte_cursor.h"

#include <algorithm>
#include <cmath>
#include <climits>

void CarriedItem::WriteRecord(std::vector<uint8_t>& out) const
{
    trevok::ByteWriter w(out);
    w.I32(kind);
    for (int pointerWord = 0; pointerWord < 4; ++pointerWord)
        w.U32(0);
    w.I32(value);
    w.I32(amount);
    w.I32(roleId);
    w.I32(subtype);
    w.I32(id);
    w.U32(limit);
    w.U32(count);
    w.I32(roleLimit);
}

Inventory::Inventory(int32_t defaultWeapon, int32_t secondValue)
    : defaultWeapon_(defaultWeapon), secondValue_(secondValue)
{
    CarriedItem initial;
    initial.kind = ItemKind::kInitial;
    initial.roleId = INT_MAX;
    initial.subtype = INT_MAX;
    items_.push_back(initial);
}

CarriedItem& Inventory::Add(CarriedItem item)
{
    auto at = std::find_if(items_.begin(), items_.end(), [&](const CarriedItem& i) { return i.kind == item.kind; });
    return *items_.insert(at, item);
}

void Inventory::AddStackAmount(int32_t ammoType, int32_t amount, int32_t itemId)
{
    for (CarriedItem& stack : items_) {
        if (amount <= 0)
            return;
        if (stack.kind != ItemKind::kAmmoStack || stack.subtype != ammoType)
            continue;
        if (stack.count + uint32_t(amount) <= stack.limit) {
            stack.count += uint32_t(amount);
            return;
        }
        // A stack already above its limit has no room rather than negative room.
        amount -= int32_t(stack.limit > stack.count ? stack.limit - stack.count : 0);
        stack.count = std::max(stack.count, stack.limit);
    }
    if (amount > 0)
        AddStack(ammoType, amount, itemId);
}

CarriedItem& Inventory::AddStack(int32_t ammoType, int32_t amount, int32_t itemId)
{
    CarriedItem stack;
    stack.kind = ItemKind::kAmmoStack;
    stack.amount = ammoType;
    stack.roleId = -ammoType;
    stack.subtype = ammoType;
    stack.id = itemId;
    stack.count = uint32_t(amount);
    // Types from saves or messages may lie outside the table: no entry, no look.
    if (const script::AmmoEntry* info = script::RecordTables::Global().Ammo(ammoType)) {
        stack.limit = uint32_t(std::max(info->maxPerSlot, 0));
        stack.value = info->nameId;
        stack.inventoryLook = info->hierarchyShape.shape.get();
        stack.look = info->shape.shape.get();
    }
    return Add(stack);
}

bool Inventory::HasStackOf(int32_t ammoType) const
{
    return std::any_of(items_.begin(), items_.end(), [&](const CarriedItem& i) {
        return i.kind == ItemKind::kAmmoStack && i.subtype == ammoType;
    });
}

CarriedItem* Inventory::FindById(int32_t id)
{
    for (CarriedItem& i : items_)
        if (i.id == id && i.kind != ItemKind::kInitial)
            return &i;
    return nullptr;
}

void Inventory::Remove(const CarriedItem& item)
{
    items_.remove_if([&](const CarriedItem& i) { return &i == &item; });
}

CarriedItem PickUpItem(const script::Role& role, int32_t id)
{
    CarriedItem item;
    const int32_t weapon = role.character ? role.character->weapon : 0;
    item.kind = weapon >= 0 && weapon < script::kWeaponTypes ? ItemKind::kWeapon : ItemKind::kHeal;
    item.subtype = item.kind == ItemKind::kWeapon ? weapon : 0;
    item.roleId = role.id;
    item.value = role.id;
    item.id = id;
    item.roleLimit = role.limit;
    item.amount = role.character ? static_cast<int32_t>(std::lround(role.character->walkingSpeed / 65536.0)) : 1;
    return item;
}

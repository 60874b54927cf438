// What a replica wears: the server's equip and unequip messages put items on
// body slots and take them off, raising and lowering what they give.
#include "objects/moving_object.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "app/math_tables.h"
#include "objects/body_part.h"
#include "objects/inventory.h"
#include "objects/role_classes.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/unit.h"
#include "script/records.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int32_t kFirstBodySlot = 2, kLastSlot = 12;
constexpr int32_t kShield = 3, kModule = 7, kModule2 = 8, kArmour = 9;
constexpr int32_t kSightModule = 3, kCloakModule = 4;
// Nearer than 2 m nobody is said to see the object.
constexpr float kNearSquared = 4.0f;

bool IsModule(const CarriedItem& item) { return item.kind == kModule || item.kind == kModule2; }

// The screen a gadget opens while worn: the lock decoder an object screen
// (13), the beacon tracker the other (12), the terrain scanner a map (10
// when the item has a value, else 11); -1 for the rest.
int32_t ItemScreenKind(const CarriedItem& item)
{
    constexpr int32_t kDecoder = 0, kTracker = 1, kScanner = 2;
    if (!IsModule(item))
        return -1;
    switch (item.subtype) {
    case kDecoder: return 13;
    case kTracker: return 12;
    case kScanner: return item.value != 0 ? 10 : 11;
    default: return -1;
    }
}

} // namespace

void MovingObject::RefreshShownPanel()
{
    if (!inventory_ || InventoryPanel::Shown() != inventory_.get())
        return;
    inventory_->ReleasePanel();
    inventory_->BuildPanel();
}

bool MovingObject::ReceiveItem(int32_t kind, const script::Role& role, int32_t itemId,
                               Inventory::Announcer announce)
{
    if (!inventory_)
        return false;
    const bool shown = InventoryPanel::Shown() == inventory_.get();
    if (shown)
        inventory_->ReleasePanel();
    inventory_->AddFromRole(kind, role, itemId, announce);
    if (shown)
        inventory_->BuildPanel();
    return true;
}

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
    const bool cloak = IsModule(worn) && worn.subtype == kCloakModule;
    std::vector<int32_t> off;
    for (const WornItem& w : worn_) {
        const CarriedItem* other = cloak && inventory_ ? inventory_->FindById(w.itemId) : nullptr;
        // One disguise at a time: an earlier cloak comes off.
        const bool otherCloak = other && IsModule(*other) && other->subtype == kCloakModule;
        if (w.itemId == itemId || w.slot == slot || otherCloak)
            off.push_back(w.itemId);
    }
    for (int32_t id : off)
        RemoveItemEffect(id);
    worn_.push_back({slot, itemId});
    // The item shows on the slot's body part, as the server's actor wears it.
    if (const script::Role* made = RoleTable::Global().FindById(worn.roleId); made && object_)
        BodyPart::Attach(*object_, BodyPart::ItemLook(*made), slot);
    ApplyWornEffect(worn, true);
    return true;
}

bool MovingObject::RemoveItemEffect(int32_t itemId)
{
    const auto wearing = [itemId](const WornItem& w) { return w.itemId == itemId; };
    const auto count = std::count_if(worn_.begin(), worn_.end(), wearing);
    if (count == 0)
        return false;
    // Each part the item was on goes back to the model's own look.
    if (object_ && role_) {
        for (const WornItem& w : worn_) {
            if (wearing(w))
                BodyPart::Restore(*object_, role_->shape, w.slot);
        }
    }
    worn_.erase(std::remove_if(worn_.begin(), worn_.end(), wearing), worn_.end());
    if (const CarriedItem* item = inventory_ ? inventory_->FindById(itemId) : nullptr) {
        for (auto i = count; i > 0; --i)
            ApplyWornEffect(*item, false);
    }
    return true;
}

bool MovingObject::RemoveItem(int32_t itemId)
{
    if (!inventory_ || !inventory_->FindById(itemId))
        return false;
    RemoveItemEffect(itemId);
    CarriedItem* item = inventory_->FindById(itemId);
    if (!item)
        return true;
    // The server's stack keeps what is left over one pick-up's worth.
    const int32_t used = PickUpAmount(*item);
    if (used > 0 && item->count > static_cast<uint32_t>(used))
        item->count -= static_cast<uint32_t>(used);
    else
        inventory_->Remove(*item);
    return true;
}

bool MovingObject::PassItem(int32_t itemId, uint32_t receiverId)
{
    auto* receiver = dynamic_cast<MovingObject*>(WorldObjectTable::FindById(receiverId));
    Inventory* theirs = receiver ? receiver->GetInventory() : nullptr;
    if (!inventory_ || !inventory_->FindById(itemId) || !theirs || theirs == inventory_.get())
        return false;
    RemoveItemEffect(itemId);
    if (CarriedItem* item = inventory_->FindById(itemId))
        theirs->Add(inventory_->Take(*item));
    return true;
}

void MovingObject::ShowItemScreen(const CarriedItem& item, bool open)
{
    const int32_t kind = ItemScreenKind(item);
    const ClientServices& services = ClientServices::Get();
    if (kind < 0)
        return;
    if (!open) {
        if (services.closeItemScreen)
            services.closeItemScreen(*this, item.id);
    } else if (side_ == services.OwnSide() && services.openItemScreen) {
        services.openItemScreen(*this, item.id, kind);
    }
}

void MovingObject::ApplyWornEffect(const CarriedItem& item, bool on)
{
    ShowItemScreen(item, on);
    if (IsModule(item) && item.subtype == kSightModule)
        AddViewRange(static_cast<float>(on ? item.value : -item.value));
    if (IsModule(item) && item.subtype == kCloakModule) {
        if (!on)
            EndDisguise();
        else if (IsUnseen())
            StartDisguise();
    }
}

bool MovingObject::IsUnseen() const
{
    for (WorldObject* other : WorldObjectTable::Snapshot()) {
        if (other == this || other->Side() == side_ || !other->IsAlive() || !other->IsMobile())
            continue;
        const TeamRecord* team = TeamTable::Find(other->Side());
        if (team && team->neutral)
            continue;
        const Vec3 d = position_ - other->Position();
        const float d2 = d.LengthSquared();
        const float range = other->GetViewRange();
        if (!(d2 < range * range) || d2 <= kNearSquared)
            continue;
        // Inside the view cone, measured in the horizontal plane.
        const Vec3 facing = Quaternion::ZAxis(other->Orientation());
        const float facingLength = std::sqrt(facing.x * facing.x + facing.z * facing.z);
        const float length = std::sqrt(d.x * d.x + d.z * d.z);
        if (facingLength <= 0.0f || length <= 0.0f)
            continue;
        const float dot = (facing.x * d.x + facing.z * d.z) / (facingLength * length);
        const script::CharacterRecord* character = other->GetCharacter();
        const int32_t viewAngle = character ? character->sightAngle : 0;
        if (CosineOf(viewAngle) < dot)
            return false;
    }
    return true;
}

void MovingObject::StartDisguise()
{
    EndDisguise();
    if (!character_)
        return;
    // The object of another side whose build is nearest this one's (model
    // height and half extent both closer than the best so far).
    WorldObject* best = nullptr;
    float bestHeight = 0, bestExtent = 0;
    for (WorldObject* other : WorldObjectTable::Snapshot()) {
        const script::CharacterRecord* character = other->GetCharacter();
        if (other == this || other->Side() == side_ || !character)
            continue;
        const float height = std::fabs(character->modelHeight - character_->modelHeight);
        const float extent = std::fabs(character->modelHalfExtent - character_->modelHalfExtent);
        if (!best || (height < bestHeight && extent < bestExtent)) {
            best = other;
            bestHeight = height;
            bestExtent = extent;
        }
    }
    if (!best)
        return;
    disguiseId_ = static_cast<int32_t>(best->GetId());
    disguised_ = true;
    const script::Role* role = best->GetRole();
    if (auto* model = role ? static_cast<Hierarchy*>(role->shape.hierarchy.get()) : nullptr)
        disguise_ = VeObject::FromHierarchy(model, false);
}

void MovingObject::EndDisguise()
{
    if (disguise_)
        disguise_->Release();
    disguise_ = nullptr;
    disguiseId_ = -1;
    disguised_ = false;
}

void Unit::DropDisguise()
{
    Say(kTextDisguiseLost);
    // The cloak comes off with the disguise: worn on, it would go on
    // lending the build of an enemy that has now seen the shot.
    for (const WornItem& worn : worn_) {
        const CarriedItem* item = inventory_ ? inventory_->FindById(worn.itemId) : nullptr;
        if (item && IsModule(*item) && item->subtype == kCloakModule) {
            RemoveItemEffect(worn.itemId);
            break;
        }
    }
    EndDisguise();
}

int32_t Unit::SpendWornItems(int32_t kind, int32_t amount)
{
    int32_t used = 0;
    for (size_t i = 0; i < worn_.size() && used < amount;) {
        CarriedItem* item = inventory_ ? inventory_->FindById(worn_[i].itemId) : nullptr;
        if (!item || item->kind != kind || item->value <= 0) {
            ++i;
            continue;
        }
        const int32_t left = amount - used;
        if (item->value > left) {
            item->value -= left;
            used = amount;
            break;
        }
        used += item->value;
        // Spent: its points are already counted, so taking it off takes
        // nothing more.
        item->value = 0;
        const int32_t id = item->id;
        RemoveItemEffect(id);
        if (CarriedItem* spent = inventory_->FindById(id))
            inventory_->Remove(*spent);
        RefreshShownPanel();
        i = 0;
    }
    return used;
}

void Unit::WearArmour(int32_t amount)
{
    if (amount <= 0)
        return;
    armour_ = std::max(0, armour_ - SpendWornItems(kArmour, amount));
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

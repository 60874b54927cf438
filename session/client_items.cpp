// The item rows of the server messages: a pick-up received (81 announced,
// 82 silent) and an item used (85, 86). The items are rebuilt on the
// replica exactly as the server's actor built them.
#include "session/client_rows.h"

#include "objects/inventory.h"
#include "objects/inventory_display.h"
#include "objects/role_table.h"
#include "objects/typed_objects.h"
#include "script/records.h"
#include "session/client_hooks.h"
#include "session/level_session.h"

#include <functional>
#include <string>

namespace Client::detail {
namespace {

constexpr int32_t kSoundHealed = 26, kSoundWeaponWorn = 27, kSoundSightWorn = 28, kSoundItemWorn = 35;
constexpr int32_t kAmmoTypes = 17;
constexpr uint32_t kTextAmmunitionFor = 7075, kTextNotForThisUnit = 273, kTextRemoteMine = 291;
constexpr int32_t kRemoteMine = 1, kPlacingSequence = 96;

// The ammunition line: string 7075 and the name of the weapon the unit
// holds, for a stack that weapon fires.
std::string AmmunitionLine(MovingObject& mover, const CarriedItem& item, const script::Role&)
{
    auto* unit = dynamic_cast<Unit*>(&mover);
    if (!unit || item.kind != ItemKind::kAmmoStack || unit->WeaponType() < 0)
        return {};
    const script::WeaponEntry* held = script::RecordTables::Global().Weapon(unit->WeaponType(), item.subtype);
    if (!held || held->name.empty())
        return {};
    std::string text = Session::Hooks().text ? Session::Hooks().text(kTextAmmunitionFor) : std::string();
    if (!text.empty() && text.back() != ' ')
        text += ' ';
    return text + held->name;
}

// The pick-up's own text, from its role's "pickup name".
std::string PickUpLine(MovingObject&, const CarriedItem&, const script::Role& role)
{
    return role.inventory && role.inventory->pickupName ? *role.inventory->pickupName : std::string();
}

// Every text an announced pick-up (81) shows for a squad member, in order:
// what it says and where (beside the unit, or as the pick-up's screen text).
// A row with nothing to say for this pick-up shows nothing.
struct AnnounceRow {
    std::string (*text)(MovingObject& mover, const CarriedItem& item, const script::Role& role);
    std::function<void(WorldObject&, std::string)> ClientHooks::*show;
};
constexpr AnnounceRow kAnnounced[] = {
    {AmmunitionLine, &ClientHooks::showText},
    {PickUpLine, &ClientHooks::pickUpText},
};

void Announce(MovingObject& mover, const CarriedItem& item, const script::Role& role)
{
    ClientHooks& hooks = ClientHooks::Get();
    for (const AnnounceRow& row : kAnnounced) {
        const auto& show = hooks.*row.show;
        std::string text = show ? row.text(mover, item, role) : std::string();
        if (!text.empty())
            show(mover, std::move(text));
    }
}

MovingObject* Carrier(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    return mover && mover->GetInventory() ? mover : nullptr;
}

// 81 and 82: {type, id, item value, role id, item number}
Applied Received(const Words& w)
{
    MovingObject* mover = Carrier(w);
    script::Role* role = w.U(3) > 0x7FFFFFFFu ? nullptr : RoleTable::Global().FindById(w.I(3));
    // An item number the inventory holds already would make two items one.
    if (!mover || !role || mover->GetInventory()->FindById(w.I(4)))
        return Applied::kRefused;
    mover->ReceiveItem(w.I(2), *role, w.I(4), w.U(0) == 81 ? PlaySound : nullptr);
    if (w.U(0) == 81 && mover->IsSelectable())
        Announce(*mover, ItemFromRole(w.I(2), *role, w.I(4)), *role);
    return Applied::kApplied;
}

// 85 announced and 86 silent: {type, id, item id}
Applied Used(const Words& w)
{
    MovingObject* mover = Carrier(w);
    Inventory* inventory = mover ? mover->GetInventory() : nullptr;
    CarriedItem* item = inventory ? inventory->FindById(w.I(2)) : nullptr;
    if (!item)
        return Applied::kRefused;
    const script::Role* role = mover->GetRole();
    if (role && (item->roleLimit & role->limit) != 0) {
        if (Session::Hooks().text)
            Print(Session::Hooks().text(kTextNotForThisUnit).c_str());
        return Applied::kRefused;
    }
    switch (item->kind) {
    case ItemKind::kHeal:
        mover->TakeDamage(-item->amount);
        inventory->Remove(*item);
        if (w.U(0) == 85)
            PlaySound(kSoundHealed);
        break;
    case ItemKind::kDeployable: {
        // A remote mine says how it is set off; whoever places one is seen
        // bending to it when standing still.
        if (item->subtype == kRemoteMine && Session::Hooks().text)
            Print(Session::Hooks().text(kTextRemoteMine).c_str());
        if (--item->amount <= 0)
            inventory->Remove(*item);
        if (!mover->IsWalking())
            mover->PlaySequence(kPlacingSequence);
        break;
    }
    case ItemKind::kWeapon:
        // The upgrade screen's model shows what the character now holds.
        InventoryDisplay::RefreshBodyParts(*mover);
        break;
    case ItemKind::kAmmoStack:
        if (auto* unit = dynamic_cast<Unit*>(mover); unit && item->subtype >= 0 && item->subtype < kAmmoTypes)
            unit->ChangeAmmo(item->subtype);
        break;
    default:
        break;
    }
    return Applied::kApplied;
}

// 83 announced and 84 silent: {type, id, body slot, item id}
Applied Equipped(const Words& w)
{
    MovingObject* mover = Carrier(w);
    if (!mover || w.I(2) < 0 || !mover->EquipItem(w.I(2), w.I(3)))
        return Applied::kRefused;
    if (w.U(0) == 83) {
        const CarriedItem* item = mover->GetInventory()->FindById(w.I(3));
        const bool weapon = item && item->kind == ItemKind::kWeapon;
        PlaySound(weapon ? kSoundWeaponWorn : item && item->subtype == 3 ? kSoundSightWorn : kSoundItemWorn);
    }
    return Applied::kApplied;
}

// {88, id, item id}
Applied TakenOff(const Words& w)
{
    MovingObject* mover = Carrier(w);
    return Ok(mover && mover->RemoveItemEffect(w.I(2)));
}

} // namespace

void AddItemRows(Table& table)
{
    table[81] = table[82] = Received;
    table[83] = table[84] = Equipped;
    table[85] = table[86] = Used;
    table[88] = TakenOff;
}

} // namespace Client::detail

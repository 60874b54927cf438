#include "ui/unit_keys.h"

#include "console/text_console.h"
#include "objects/unit.h"
#include "ui/client_objects.h"
#include "ui/hud_view.h"
#include "ui/selection.h"
#include "ui/ui_placeholders.h"

#include <string>

namespace Selection {

void ItemHotkey(int hotkey)
{
    HudView& view = HudView::Current();
    const bool queued = (view.Modifiers() & kModifierCtrl) != 0;
    for (WorldObject* object : view.Selected())
        if (Unit* unit = ClientObjects::AsUnit(object))
            unit->UseHotkeyItem(hotkey, queued);
}

void ReadyQuickWeapon()
{
    HudView& view = HudView::Current();
    if (QuickWeaponMode() || view.CursorMode() != 0)
        return;
    for (WorldObject* object : view.Selected()) {
        Unit* unit = ClientObjects::AsUnit(object);
        if (!unit)
            continue;
        Unit::ReadiedWeapon& readied = unit->Readied();
        const bool armed = unit->WeaponType() >= 0;
        readied.previousWeapon = armed ? unit->WeaponType() : kQuickWeaponType;
        readied.previousAmmo = armed ? unit->AmmoType() : kNoWeaponAmmoType;
        if (!unit->CarriesWeapon(kQuickWeaponType) && unit->WeaponType() != kQuickWeaponType) {
            ClientObjects::SayBeside(*unit, kNoWeaponText);
            continue;
        }
        if (!unit->CarriesAmmo(kQuickAmmoType)) {
            // Nothing changes: the unit keeps what it holds.
            ClientObjects::SayBeside(*unit, kNoAmmoText);
            continue;
        }
        unit->EquipWeaponOfType(kQuickWeaponType);
        unit->LoadAmmoOfType(kQuickAmmoType);
        readied.readied = true;
        SetQuickWeaponMode(true);
    }
    if (QuickWeaponMode())
        view.SetCursorMode(2);
}

void RestoreWeapons()
{
    for (WorldObject* object : HudView::Current().Selected()) {
        Unit* unit = ClientObjects::AsUnit(object);
        if (!unit || !unit->Readied().readied)
            continue;
        Unit::ReadiedWeapon& readied = unit->Readied();
        readied.readied = false;
        unit->EquipWeaponOfType(readied.previousWeapon);
        unit->LoadAmmoOfType(readied.previousAmmo);
    }
}

} // namespace Selection

namespace Game {
// The enemy's side is team 2: the battle music plays while one of its
// live, active objects attacks.
bool IsBattleUnderway()
{
    for (const WorldObject* object : ClientObjects::All())
        if (object && object->Side() == kEnemyTeam && object->IsAlive() && ClientObjects::IsActive(*object) &&
            object->IsAttacking())
            return true;
    return false;
}
} // namespace Game

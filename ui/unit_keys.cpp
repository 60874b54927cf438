#include "ui/unit_keys.h"

#include "console/text_console.h"
#include "objects/objects_placeholders.h"
#include "ui/hud_view.h"
#include "ui/selection.h"

#include <string>

namespace {
void Say(UiUnit& unit, unsigned textId)
{
    // The role name is data: copied, never a format.
    const std::string line = std::string(unit.RoleName() ? unit.RoleName() : "") + ": " + TextConsole::Text(textId);
    unit.ShowText(line.c_str());
}
} // namespace

namespace Selection {

void ItemHotkey(int hotkey)
{
    HudView& view = HudView::Current();
    const bool queued = (view.Modifiers() & kModifierCtrl) != 0;
    for (UiUnit* unit : view.Selected())
        if (unit)
            unit->UseHotkeyItem(hotkey, queued);
}

void ReadyQuickWeapon()
{
    HudView& view = HudView::Current();
    if (QuickWeaponMode() || view.CursorMode() != 0)
        return;
    for (UiUnit* unit : view.Selected()) {
        if (!unit)
            continue;
        const bool armed = unit->WeaponType() >= 0;
        unit->quickWeapon.weaponType = armed ? unit->WeaponType() : 0;
        unit->quickWeapon.ammoType = armed ? unit->AmmoType() : kNoWeaponAmmoType;
        if (!unit->EquipWeaponOfType(kQuickWeaponType)) {
            Say(*unit, kNoWeaponText);
            continue;
        }
        if (unit->LoadAmmoOfType(kQuickAmmoType)) {
            unit->quickWeapon.on = true;
            SetQuickWeaponMode(true);
        } else {
            Say(*unit, kNoAmmoText);
            unit->EquipWeaponOfType(unit->quickWeapon.weaponType);
            unit->LoadAmmoOfType(unit->quickWeapon.ammoType);
        }
    }
    if (QuickWeaponMode())
        view.SetCursorMode(2);
}

void RestoreWeapons()
{
    for (UiUnit* unit : HudView::Current().Selected()) {
        if (!unit || !unit->quickWeapon.on)
            continue;
        unit->quickWeapon.on = false;
        unit->EquipWeaponOfType(unit->quickWeapon.weaponType);
        unit->LoadAmmoOfType(unit->quickWeapon.ammoType);
    }
}

} // namespace Selection

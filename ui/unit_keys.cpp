#include "ui/unit_keys.h"

#include "console/text_console.h"
#include "objects/objects_placeholders.h"
#include "ui/hud_view.h"

#include <string>

namespace {
bool g_quickWeaponMode = false;

void Say(Unit& unit, unsigned textId)
{
    // The role name is data: copied, never a format.
    const std::string line = std::string(unit.RoleName() ? unit.RoleName() : "") + ": " + TextConsole::Text(textId);
    unit.ShowText(line.c_str());
}
} // namespace

namespace Selection {

bool QuickWeaponMode() { return g_quickWeaponMode; }

void ItemHotkey(int hotkey)
{
    HudView& view = HudView::Current();
    const bool queued = (view.Modifiers() & kModifierCtrl) != 0;
    for (Unit* unit : view.Selected())
        if (unit)
            unit->UseHotkeyItem(hotkey, queued);
}

void ReadyQuickWeapon()
{
    HudView& view = HudView::Current();
    if (g_quickWeaponMode || view.CursorMode() != 0)
        return;
    for (Unit* unit : view.Selected()) {
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
            g_quickWeaponMode = true;
        } else {
            Say(*unit, kNoAmmoText);
            unit->EquipWeaponOfType(unit->quickWeapon.weaponType);
            unit->LoadAmmoOfType(unit->quickWeapon.ammoType);
        }
    }
    if (g_quickWeaponMode)
        view.SetCursorMode(2);
}

void RestoreWeapons()
{
    for (Unit* unit : HudView::Current().Selected()) {
        if (!unit || !unit->quickWeapon.on)
            continue;
        unit->quickWeapon.on = false;
        unit->EquipWeaponOfType(unit->quickWeapon.weaponType);
        unit->LoadAmmoOfType(unit->quickWeapon.ammoType);
    }
}

void EndQuickWeapon()
{
    if (!g_quickWeaponMode)
        return;
    g_quickWeaponMode = false;
    HudView::Current().SetCursorMode(0);
    RestoreWeapons();
}

} // namespace Selection

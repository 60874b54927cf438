// Keys that act on every selected unit: the item hotkeys and the quick
// weapon, which readies weapon type 0 with ammunition type 1 and gives the
// previous weapon back when the mode ends.
#pragma once

namespace Selection {
inline constexpr int kQuickWeaponType = 0, kQuickAmmoType = 1;
inline constexpr int kNoWeaponAmmoType = 2; // remembered when no weapon is held
inline constexpr unsigned kNoAmmoText = 7087, kNoWeaponText = 7088;

void ItemHotkey(int hotkey);
void ReadyQuickWeapon();
void RestoreWeapons();
} // namespace Selection

// Placeholders for the game-object services the shell calls (alerts,
// objectives, client lights, the client unit record).
#pragma once

#include <cstdint>
#include <span>

#include "app/maths.h"

namespace AlertTable {
void Answer(uint32_t key, int slot); // F1..F10 answer slot 0..9
void ResolveAll();
} // namespace AlertTable

namespace Objectives {
void Update(); // shows the current side's objectives
}

namespace WorldObjectTable {
void UpdateLights();
}

// One queued order of a client character as the order list shows it.
struct UnitOrder {
    uint32_t kind = 0;                  // 0 attack target .. 10 change ammunition
    const char* targetName = nullptr;   // kind 0: the target's role name while it exists
    const char* itemName = nullptr;     // kinds 5 to 10
    int itemKind = 0;                   // kind 7: 4 weapon, 6 ammunition
    const char* receiverName = nullptr; // kind 6
    int waypoint = 0;                   // kind 2: 1-based
    Vec3 point{0, 0, 0};                // kind 2: the waypoint
};

// The client unit as the number keys, the HUD, the command wheel and the
// unit keys see it. The getters answer for a unit without that part (no
// role, no weapon...) until the client objects fill them in.
class Unit {
public:
    virtual ~Unit() = default;
    uint32_t Id() const { return id_; }
    virtual bool IsAlive() const { return true; }
    virtual bool TakesOrders() const { return true; }
    int FirstOrderKind() const { return firstOrderKind_; } // 0: no order

    // Team 0 is no team.
    virtual int Team() const { return 0; }
    virtual bool IsActive() const { return true; }
    virtual bool IsCharacter() const { return false; }
    // A timed object (character record kind 2) and its time left.
    virtual bool IsTimed() const { return false; }
    virtual float RemainingSeconds() const { return 0; }
    // Null when the role has no name.
    virtual const char* RoleName() const { return nullptr; }
    virtual Vec3 Position() const { return {0, 0, 0}; }
    virtual std::span<const UnitOrder> Orders() const { return {}; }
    // The targeting panel's lines; null or negative where the unit has none.
    virtual const char* WeaponName() const { return nullptr; }
    virtual bool ShieldDetected() const { return false; }
    virtual float Armour() const { return 0; }
    virtual float CommRange() const { return -1; }
    virtual bool HasSalvage() const { return false; }
    virtual const char* SalvageName() const { return nullptr; }
    virtual float HudBarFraction() const { return 0; }
    virtual bool HasRole() const { return true; }
    // The unit it is attacking or heading for; null when none.
    virtual const Unit* Target() const { return nullptr; }

    // The unit keys. Weapon and ammunition types are -1 when none is held.
    virtual int WeaponType() const { return -1; }
    virtual int AmmoType() const { return -1; }
    // Equips the first carried weapon item of the type; false when none.
    virtual bool EquipWeaponOfType(int /*type*/) { return false; }
    // Loads the first carried stack of the type; false when none.
    virtual bool LoadAmmoOfType(int /*type*/) { return false; }
    // Uses the first carried item of kind 5 with this hotkey number.
    virtual void UseHotkeyItem(int /*hotkey*/, bool /*queued*/) {}
    virtual void ShowText(const char* /*text*/) {}
    // Facing in 4096ths of a turn; the recon view turns the unit to a heading.
    virtual float HeadingSteps() const { return 0; }
    virtual void TurnTo(float /*heading*/) {}
    // Direct control by the recon view (bit 24 of the flag word).
    virtual void SetDirectControl(bool /*on*/) {}
    virtual void ReleaseControl() { SetDirectControl(false); }

    // Standing orders as the command wheel shows them: the standing flag,
    // the stance (4 to 6) and the character record's setting (0 to 2).
    virtual bool StandingFlag() const { return false; }
    virtual int Stance() const { return -1; }
    virtual int RecordStandingValue() const { return -1; }
    virtual bool CarriesAmmo(int /*type*/) const { return false; }

    // What the quick-weapon key remembers to give back.
    struct QuickWeaponMemory {
        int weaponType = 0;
        int ammoType = 2;
        bool on = false;
    };
    QuickWeaponMemory quickWeapon;

protected:
    uint32_t id_ = 0;
    int firstOrderKind_ = 0;
};

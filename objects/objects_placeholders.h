// Placeholders for the game-object services the shell and the interface
// call. The client registry (WorldObjectTable) and the client unit are real
// and come in through their own headers; the interface still acts on its own
// unit record (UiUnit) until it is joined to the client replicas. The F-keys'
// AlertTable and the objectives are in objects/ai.h and objects/teams.h.
#pragma once

#include "objects/ai.h"
#include "objects/teams.h"
#include "objects/unit.h"
#include "objects/world_object.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/maths.h"
#include "platform/ref_counted.h"

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

// The client unit as the interface sees it until the client replicas are
// built: the state that selection, orders, picking and the cursor read and
// change, held here so the interface has one record to act on. Holders take
// references (Selection members, the camera-lock list, a mouse press).
class UiUnit : public RefCounted {
public:
    // One order of the replica's local order list (kind 3: a hold order,
    // kind 4: a queued crouch); `shift` is the aim-modifier of attack orders.
    struct LocalOrder {
        int kind = 0;
        bool shift = false;
        bool operator==(const LocalOrder&) const = default;
    };
    static constexpr uint32_t kStateDirectControl = 1u << 24;
    static constexpr int kRoleTypeItem = 10;

    ~UiUnit() override = default;
    uint32_t Id() const { return id_; }
    virtual bool IsAlive() const { return alive_; }
    // Takes motion orders.
    virtual bool TakesOrders() const { return takesOrders_; }
    int FirstOrderKind() const { return orders_.empty() ? firstOrderKind_ : orders_.front().kind; }

    // Team 0 is no team.
    virtual int Team() const { return team_; }
    virtual bool IsActive() const { return true; }
    virtual bool IsCharacter() const { return false; }
    // A timed object (character record kind 2) and its time left.
    virtual bool IsTimed() const { return false; }
    virtual float RemainingSeconds() const { return 0; }
    // Null when the role has no name.
    virtual const char* RoleName() const { return nullptr; }
    virtual Vec3 Position() const { return position_; }
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
    virtual const UiUnit* Target() const { return nullptr; }

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


    uint32_t id_ = 0;
    int firstOrderKind_ = 0; // 0: no order (when the local list is empty)
    int team_ = 0;
    int roleType_ = 0;
    std::string characterKey_;
    Vec3 position_{0, 0, 0};
    Quaternion orientation_{0, 0, 0, 1};
    float aimHeight_ = 1.0f;
    float normalAimHeight_ = 1.0f;
    float charge_ = 0, maxCharge_ = 0;
    bool alive_ = true;
    bool takesOrders_ = true;
    bool selectable_ = true;
    bool hasWeapon_ = true;
    bool canBeAttacked_ = true;
    bool hasNavigation_ = true;     // a navigation context that finds polygons
    bool highlighted_ = false;
    bool groupOrderExcluded_ = false;
    bool wheelPickable_ = true;     // the command wheel's pick test
    bool activates_ = false;        // items: the activation test
    bool plainItem_ = false;        // items: shown with the standard cursor
    bool acceptsItems_ = true;      // takes items passed to it
    bool viewSteering_ = false;
    uint32_t stateFlags_ = 0;
    Vec3 destination_{0, 0, 0};     // of the current path
    uint32_t destinationNode_ = 0xFFFFFF;
    std::vector<LocalOrder> orders_;
};

// The player's characters in squad order (the client world fills it).
namespace Squad {
std::vector<UiUnit*>& Members();
}
// Every client unit the pointer can pick (the client world fills it).
namespace ClientUnits {
std::vector<UiUnit*>& All();
}

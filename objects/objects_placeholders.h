// Placeholders for the game-object services the shell calls (client lights,
// the client unit record). The F-keys' AlertTable and the objectives are in
// objects/ai.h and objects/teams.h.
#pragma once

#include "objects/ai.h"
#include "objects/teams.h"

#include <cstdint>
#include <string>
#include <vector>

#include "app/maths.h"
#include "platform/ref_counted.h"

namespace WorldObjectTable {
void UpdateLights();
}

// The client unit as the interface sees it until the client replicas are
// built: the state that selection, orders, picking and the cursor read and
// change, held here so the interface has one record to act on. Holders take
// references (Selection members, the camera-lock list, a mouse press).
class Unit : public RefCounted {
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

    ~Unit() override = default;
    uint32_t Id() const { return id_; }
    virtual bool IsAlive() const { return alive_; }
    // Takes motion orders.
    virtual bool TakesOrders() const { return takesOrders_; }
    int FirstOrderKind() const { return orders_.empty() ? firstOrderKind_ : orders_.front().kind; }

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
    bool quickWeapon_ = false;
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
std::vector<Unit*>& Members();
}
// Every client unit the pointer can pick (the client world fills it).
namespace ClientUnits {
std::vector<Unit*>& All();
}

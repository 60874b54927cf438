// The client world the interface tests act on: real replicas made from
// roles built in place, the team table with the own side 1, requests routed
// to the client's queue as the session routes them, the game clock stopped
// at 1024 s. Everything made is gone again when the world goes.
#pragma once

#include "app/app_time.h"
#include "objects/inventory.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/typed_objects.h"
#include "script/records.h"
#include "session/message_queue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <string>

namespace ui_test {

class ReplicaWorld {
public:
    static constexpr int32_t kOwnSide = 1, kEnemySide = 2, kNoWeapon = 2147483647;
    static constexpr int32_t kArmed = 3; // the weapon type of armed units
    static constexpr float kSeconds = 1024.0f; // the game clock while the world stands

    ReplicaWorld()
    {
        Empty();
        ClientServices& services = ClientServices::Get();
        services = ClientServices{};
        services.ownSide = kOwnSide;
        services.sendRequest = [](const void* block, uint32_t size, bool guaranteed) {
            return Client::SendToServer(block, size, guaranteed);
        };
        TeamTable::Build(4, kOwnSide, 0);
        // The clock's seconds a tick is a calibrated float, so most times
        // are read back a little off. 1024 s is exact for any rate finer
        // than its float step (122 us): the first tick count that reads it.
        AppTime::SetGameSpeed(0.0f);
        const int64_t middle = AppTime::TicksPerSecond() * int64_t(kSeconds);
        int64_t low = middle - middle / 64, high = middle + middle / 64;
        while (low < high) {
            const int64_t mid = low + (high - low) / 2;
            AppTime::SetGameTime(mid);
            if (AppTime::GameSeconds() < kSeconds)
                low = mid + 1;
            else
                high = mid;
        }
        AppTime::SetGameTime(low);
    }
    ~ReplicaWorld()
    {
        Empty();
        ClientServices::Get() = ClientServices{};
        TeamTable::Clear();
        AppTime::SetGameSpeed(1.0f);
        AppTime::SetGameTime(0);
    }
    ReplicaWorld(const ReplicaWorld&) = delete;
    ReplicaWorld& operator=(const ReplicaWorld&) = delete;

    // A filed role named `name`; AI type 10 makes an item, a weapon a unit.
    script::Role& NewRole(const std::string& name, int32_t aiType = 0, int32_t weapon = kArmed)
    {
        script::Role& r = roles_.emplace_back();
        r.aiType = aiType;
        r.identifier = name;
        if (aiType != 10) {
            r.character.emplace();
            r.character->strength = 100;
            r.character->weapon = weapon;
            r.character->walkingSpeed = 2 * 65536;
            r.character->turningSpeed = 2048;
            r.character->modelHeight = 2.0f;
        }
        RoleTable::Global().File(r);
        return r;
    }

    // A replica under the server's id, activated now (own-side units join
    // the squad list in the order they are made).
    template <typename T = WorldObject>
    T* Make(uint32_t id, int32_t side, script::Role& role, const Vec3& at = {0, 0, 0})
    {
        auto* made = dynamic_cast<T*>(WorldObject::CreateFromMessage(side, &role, at, Quaternion::Identity(), id));
        if (!made) {
            // The role does not make this class: the test itself is wrong.
            ADD_FAILURE() << "role \"" << role.identifier << "\" makes no object of the asked class";
            std::abort();
        }
        return made;
    }
    Unit* MakeUnit(uint32_t id, int32_t side, const std::string& name, const Vec3& at = {0, 0, 0},
                   int32_t weapon = kArmed)
    {
        return Make<Unit>(id, side, NewRole(name, 0, weapon), at);
    }

    // Dead units stay in the squad list but can no longer be selected.
    static void Kill(MovingObject& unit)
    {
        MotionRecord record;
        record.position = unit.Position();
        unit.Die(record);
    }
    static void SetOrders(MovingObject& unit, std::initializer_list<int32_t> kinds)
    {
        while (unit.HasOrders())
            unit.PopOrder();
        for (int32_t kind : kinds) {
            LocalOrder order;
            order.kind = kind;
            unit.AppendOrder(order);
        }
    }
    // Items in a squad unit's inventory (an own-side unit has one).
    static CarriedItem& Carry(MovingObject& unit, int32_t kind, int32_t subtype, int32_t id, int32_t roleId = 0)
    {
        CarriedItem item;
        item.kind = kind;
        item.subtype = subtype;
        item.amount = kind == ItemKind::kAmmoStack ? subtype : 0;
        item.count = 10;
        item.id = id;
        item.roleId = roleId;
        Inventory* inventory = unit.GetInventory();
        if (!inventory) {
            ADD_FAILURE() << "only squad units carry items";
            static CarriedItem none;
            return none;
        }
        return inventory->Add(item);
    }

private:
    static void Empty()
    {
        WorldObjectTable::DestroyAll();
        WorldObjectTable::SquadList().clear();
        WorldObjectTable::ResetIds();
        RoleTable::Global().ForgetAll();
    }

    std::deque<script::Role> roles_; // stable addresses
};

} // namespace ui_test

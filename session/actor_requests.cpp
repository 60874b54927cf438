#include "session/actor_requests.h"

#include "objects/actor.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/projectile.h"
#include "objects/teams.h"
#include "objects/unit_actor.h"
#include "script/records.h"
#include "session/projectile_launch.h"
#include "session/request_table.h"

#include <cmath>

namespace Server {
namespace {

using RequestTable::Acting;
using RequestTable::Request;

constexpr int32_t kLastSlot = 12;
constexpr int32_t kLastStandingOrder = 6;

Actor* AsActor(GameObject* object) { return object && object->IsActor() ? static_cast<Actor*>(object) : nullptr; }
UnitActor* AsUnit(GameObject* object)
{
    return object && object->IsUnit() ? static_cast<UnitActor*>(object) : nullptr;
}

int32_t Signed(const Request& request, uint32_t index) { return static_cast<int32_t>(request.Word(index)); }

// 6: {6, id, time}. The sender has already emptied its copy of the order
// list, so ours goes too, even when the stop itself is refused.
void StopRequest(const Request& request, GameObject* object)
{
    Actor* actor = AsActor(object);
    if (!actor)
        return;
    if (request.Finite(2, 1))
        actor->Stop(request.Float(2));
    actor->ClearOrders();
}

// 7, 9: {type, id, time, x, y, z}; 9 lobs the shot.
void AttackLocation(const Request& request, GameObject* object)
{
    UnitActor* unit = AsUnit(object);
    if (!unit || !request.Finite(2, 4))
        return;
    unit->ClearOrders();
    unit->AimAtPoint(request.Point(3), request.Float(2), false, request.Type() == 9);
}

// 8, 10: {type, id, time, target id}; an unknown or own target is dropped.
void AttackTarget(const Request& request, GameObject* object)
{
    UnitActor* unit = AsUnit(object);
    GameObject* target = ObjectRegistry::Global().Find(request.Word(3));
    if (!unit || !target || target == object || !request.Finite(2, 1))
        return;
    unit->ClearOrders();
    unit->AimAtObject(target, request.Float(2), false, request.Type() == 10);
}

// 11: {11, id, time, unused}
void StopAimingRequest(const Request& request, GameObject* object)
{
    UnitActor* unit = AsUnit(object);
    if (unit && request.Finite(2, 1) && unit->IsAttacking())
        unit->StopAiming(request.Float(2));
}

// 12, 13: {type, id, item, slot}
void Equip(const Request& request, GameObject* object)
{
    Actor* actor = AsActor(object);
    const int32_t item = Signed(request, 2), slot = Signed(request, 3);
    if (!actor || slot < 0 || slot > kLastSlot || !actor->GetInventory() || !actor->GetInventory()->FindById(item))
        return;
    if (request.Type() == 13)
        actor->QueueEquip(slot, item);
    else
        actor->EquipItem(slot, item, false);
}

// 14 to 19: {type, id, item}; the odd types are the queued forms.
void ItemOrder(const Request& request, GameObject* object)
{
    Actor* actor = AsActor(object);
    const int32_t item = Signed(request, 2);
    if (!actor || !actor->GetInventory() || !actor->GetInventory()->FindById(item))
        return;
    switch (request.Type()) {
    case 14: actor->UseItem(item, false); break;
    case 15: actor->QueueUse(item); break;
    case 16: actor->DropItem(item); break;
    case 17: actor->QueueDrop(item); break;
    case 18: actor->UnequipAndAnnounce(item); break;
    case 19: actor->QueueUnequip(item); break;
    default: break;
    }
}

// 20, 21: {type, id, item, recipient, time}
void Give(const Request& request, GameObject* object)
{
    Actor* actor = AsActor(object);
    const int32_t item = Signed(request, 2);
    GameObject* recipient = ObjectRegistry::Global().Find(request.Word(3));
    if (!actor || !recipient || recipient == object || !recipient->GetInventory() || !actor->GetInventory() ||
        !actor->GetInventory()->FindById(item))
        return;
    if (request.Type() == 21) {
        actor->QueueGive(static_cast<int32_t>(recipient->GetId()), item);
        return;
    }
    // Done at once, not as an order: running one would send 94 and pop an
    // unrelated order from the sender's list, which never held this one.
    if (request.Finite(4, 1))
        actor->StartGive(*recipient, item, request.Float(4));
}

// 22: {22, id, ammunition}
void ChangeAmmo(const Request& request, GameObject* object)
{
    UnitActor* unit = AsUnit(object);
    const uint32_t ammo = request.Word(2);
    if (unit && ammo < script::kAmmoTypes)
        unit->ChangeAmmo(static_cast<int32_t>(ammo));
}

// 24: {24, id, order}
void StandingOrder(const Request& request, GameObject* object)
{
    Actor* actor = AsActor(object);
    const uint32_t order = request.Word(2);
    if (actor && order <= kLastStandingOrder)
        actor->SetStandingOrder(static_cast<int32_t>(order));
}

// 25: {25, id}
void Crouch(const Request&, GameObject* object)
{
    if (Actor* actor = AsActor(object))
        actor->ToggleCrouch();
}

// 32: {32, id}: the last order that is not a wait goes.
void UndoLastOrder(const Request&, GameObject* object)
{
    Actor* actor = AsActor(object);
    if (!actor)
        return;
    std::deque<OrderRecord> orders = actor->Orders();
    for (auto it = orders.rbegin(); it != orders.rend(); ++it) {
        if (it->kind != OrderKind::kWait) {
            orders.erase(std::next(it).base());
            break;
        }
    }
    actor->ClearOrders();
    for (const OrderRecord& order : orders)
        actor->PushOrder(order);
}

// 34: {34, id}
void Release(const Request&, GameObject* object)
{
    if (Actor* actor = AsActor(object))
        actor->ReleaseWait();
}

} // namespace

void CheckTeamFlags()
{
    constexpr float kReachSquared = 4.0f;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        Actor* actor = AsActor(object);
        if (!actor || !actor->IsAlive() || actor->GetCarriedFlag() != 0 || !TeamTable::IsSquadSide(actor->Side()))
            continue;
        for (uint32_t side = 1; side < TeamTable::Count(); ++side) {
            const TeamRecord* record = TeamTable::Find(static_cast<int32_t>(side));
            if (static_cast<int32_t>(side) == actor->Side() || !record || !record->flag || record->flag->carried ||
                !record->flag->present)
                continue;
            if ((record->flag->position - actor->Position()).LengthSquared() <= kReachSquared) {
                actor->TakeFlag(static_cast<int32_t>(side));
                break;
            }
        }
    }
}

void InstallActorRequests()
{
    RegisterActorClasses();
    SetProjectileMaker(MakeProjectile);
    RequestTable::SetRow(6, Acting::kCanAct, StopRequest);
    RequestTable::SetRow(7, Acting::kCanAct, AttackLocation);
    RequestTable::SetRow(9, Acting::kCanAct, AttackLocation);
    RequestTable::SetRow(8, Acting::kCanAct, AttackTarget);
    RequestTable::SetRow(10, Acting::kCanAct, AttackTarget);
    RequestTable::SetRow(11, Acting::kCanAct, StopAimingRequest);
    RequestTable::SetRow(12, Acting::kCanAct, Equip);
    RequestTable::SetRow(13, Acting::kCanAct, Equip);
    for (uint32_t type = 14; type <= 19; ++type)
        RequestTable::SetRow(type, Acting::kCanAct, ItemOrder);
    RequestTable::SetRow(20, Acting::kCanAct, Give);
    RequestTable::SetRow(21, Acting::kCanAct, Give);
    RequestTable::SetRow(22, Acting::kCanAct, ChangeAmmo);
    RequestTable::SetRow(24, Acting::kCanAct, StandingOrder);
    RequestTable::SetRow(25, Acting::kCanAct, Crouch);
    RequestTable::SetRow(32, Acting::kCanAct, UndoLastOrder);
    RequestTable::SetRow(34, Acting::kCanAct, Release);
}

} // namespace Server

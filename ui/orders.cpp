#include "ui/orders.h"

#include "app/app_time.h"
#include "objects/unit.h"
#include "platform/byte_cursor.h"
#include "ui/client_objects.h"
#include "ui/game_view.h"

namespace Orders {
namespace {

// The replicas read the aim modifier from the client services: it is set
// from the modifier word just before each attack order.
Unit* Attacker(WorldObject& object)
{
    ClientServices::Get().modifierHeld = (GameView::Modifiers() & 1u) != 0;
    return ClientObjects::AsUnit(&object);
}

bool Queued(uint32_t orderFlags) { return (orderFlags & 0xFFu) != 0; }

} // namespace

void Stop(WorldObject& object)
{
    if (MovingObject* walker = ClientObjects::AsMoving(&object))
        walker->OrderStop();
}

void AttackLocation(WorldObject& object, const Vec3& point)
{
    if (Unit* unit = Attacker(object))
        unit->OrderAttackLocation(point);
}

void AttackTarget(WorldObject& object, WorldObject& target)
{
    if (Unit* unit = Attacker(object))
        unit->OrderAttackTarget(target);
}

void ClearTarget(WorldObject& object)
{
    if (Unit* unit = ClientObjects::AsUnit(&object))
        unit->OrderClearTarget();
}

void Crouch(WorldObject& object, uint32_t orderFlags)
{
    if (MovingObject* walker = ClientObjects::AsMoving(&object))
        walker->OrderCrouch(Queued(orderFlags));
}

void QueueAttackLocation(WorldObject& object, const Vec3& point)
{
    if (Unit* unit = Attacker(object))
        unit->QueueAttackLocation(point);
}

void QueueAttackTarget(WorldObject& object, WorldObject& target)
{
    if (Unit* unit = Attacker(object))
        unit->QueueAttackTarget(target);
}

void ClearOrders(WorldObject& object)
{
    if (MovingObject* walker = ClientObjects::AsMoving(&object))
        walker->UndoLastOrder();
}

void SendMotionState(WorldObject& object)
{
    if (MovingObject* walker = ClientObjects::AsMoving(&object))
        walker->SendMotionState(true);
}

void SendGroupOrder(uint32_t nodeIndex, uint32_t targetId, uint32_t orderFlags, std::span<WorldObject* const> members)
{
    // Active pause queues the order like Ctrl: the local lists stay.
    const bool queued = Queued(orderFlags) || GameView::IsPaused();
    MovingObject::SendGroupOrder(members, nodeIndex, static_cast<int32_t>(targetId), queued, false);
}

void SendStandingOrder(WorldObject& object, uint32_t order)
{
    if (MovingObject* walker = ClientObjects::AsMoving(&object))
        walker->SendStandingOrder(static_cast<int32_t>(order));
}

void LaunchProjectile(const WorldObject& object, const Vec3& target)
{
    uint8_t block[24];
    trevok::ByteWriter out(block);
    out.U32(kLaunchProjectile);
    out.U32(object.GetId());
    out.F32(AppTime::GameSeconds());
    out.F32(target.x);
    out.F32(target.y);
    out.F32(target.z);
    ClientServices::Get().Request(block, sizeof block, false);
}

} // namespace Orders

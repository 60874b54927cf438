// What the server's request handling asks of an object that takes orders:
// the actors and units implement it beside GameObject. Every operation is a
// no-op here, so a class that takes only some orders overrides only those.
#pragma once

#include "app/maths.h"

#include <cstdint>

class CollisionPolygon;

class OrderReceiver {
public:
    virtual ~OrderReceiver() = default;

    // A group move's step for one member: the move target (refused when
    // `time` is older than the last order taken), the order parameter from
    // the target word, the give flag cleared, the target object released and
    // the queued orders cleared.
    virtual void GroupMove(CollisionPolygon* /*node*/, uint32_t /*targetWord*/, float /*time*/) {}
    // A queued move: appended behind the present orders; nothing else changes.
    virtual void AppendMoveOrder(CollisionPolygon* /*node*/, uint32_t /*targetWord*/) {}
    virtual void InsertHoldOrder() {}
    virtual void QueueCrouch() {}
    virtual void QueueChangeAmmo(uint32_t /*kind*/) {}
    // `modifier`: aim at 0.65 of the target's height.
    virtual void QueueAttackLocation(const Vec3& /*point*/, bool /*modifier*/) {}
    virtual void QueueAttackTarget(uint32_t /*targetId*/, bool /*modifier*/) {}

    // The motion record of a moving object (requests 42 and 43).
    virtual void SetMotionDestination(const Vec3& /*destination*/) {}
    virtual void SetHeldInPlace(bool /*held*/) {}
    // The record's position becomes the object's and its node `polygon`.
    virtual void SyncMotion(CollisionPolygon* /*polygon*/) {}

    // The charge a power shot spends (the unit's shield energy).
    virtual int32_t Charge() const { return 0; }
    virtual void SetCharge(int32_t) {}
};

// The orders the interface gives one client object, handed to the object's
// own order operations (which send the request and keep the local order
// list). Objects that cannot take an order ignore it. Shift (the aim
// modifier) is bit 0 of the modifier word at the moment the order is given.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <span>

class WorldObject;

namespace Orders {

inline constexpr uint32_t kGroupMove = 5, kStop = 6, kAttackLocation = 7, kAttackTarget = 8,
                          kAttackLocationShift = 9, kAttackTargetShift = 10, kClearTarget = 11, kCrouch = 25,
                          kQueueAttackLocation = 26, kQueueAttackTarget = 27, kQueueAttackLocationShift = 28,
                          kQueueAttackTargetShift = 29, kGroupWaypoint = 30, kQueueCrouch = 31, kClearOrders = 32,
                          kStandingOrder = 24, kLaunchProjectile = 36, kMotionState = 42;

void Stop(WorldObject& object);
void AttackLocation(WorldObject& object, const Vec3& point);
void AttackTarget(WorldObject& object, WorldObject& target);
void ClearTarget(WorldObject& object);
void Crouch(WorldObject& object, uint32_t orderFlags);
void QueueAttackLocation(WorldObject& object, const Vec3& point);
void QueueAttackTarget(WorldObject& object, WorldObject& target);
void ClearOrders(WorldObject& object);
// Request 42 with the object's motion state.
void SendMotionState(WorldObject& object);

// One move for a group: request 5, or 30 when queued (low byte of the order
// flags, or active pause). Excluded members are left out; nothing is sent
// for n = 0. An unqueued order empties each listed walker's local orders.
void SendGroupOrder(uint32_t nodeIndex, uint32_t targetId, uint32_t orderFlags, std::span<WorldObject* const> members);

// Request 24: a standing order 0 to 6.
void SendStandingOrder(WorldObject& object, uint32_t order);

// Request 36: the projectile of the recon view's first unit.
void LaunchProjectile(const WorldObject& object, const Vec3& target);

} // namespace Orders

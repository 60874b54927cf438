// The order operations of a client unit as the interface gives them: each
// keeps the unit's local order list and sends its request to the server as
// bytes through the client's request road. Shift (the aim modifier) is bit 0
// of the modifier word at the moment the order is given.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <span>

class UiUnit;

namespace Orders {

inline constexpr uint32_t kGroupMove = 5, kStop = 6, kAttackLocation = 7, kAttackTarget = 8,
                          kAttackLocationShift = 9, kAttackTargetShift = 10, kClearTarget = 11, kCrouch = 25,
                          kQueueAttackLocation = 26, kQueueAttackTarget = 27, kQueueAttackLocationShift = 28,
                          kQueueAttackTargetShift = 29, kGroupWaypoint = 30, kQueueCrouch = 31, kClearOrders = 32, kStandingOrder = 24,
                          kLaunchProjectile = 36, kMotionState = 42;
inline constexpr int kOrderAttackTarget = 0, kOrderAttackLocation = 1, kOrderHold = 3, kOrderCrouch = 4;
inline constexpr float kShiftAimFactor = 0.65f;

// The client's game time in seconds, as requests carry it; tests may set
// their own source (null restores the client clock).
float ClientTime();
void SetClientTimeSource(float (*source)());

void Stop(UiUnit& unit);
void AttackLocation(UiUnit& unit, const Vec3& point);
void AttackTarget(UiUnit& unit, const UiUnit& target);
void ClearTarget(UiUnit& unit);
void Crouch(UiUnit& unit, uint32_t orderFlags);
void QueueAttackLocation(UiUnit& unit, const Vec3& point);
void QueueAttackTarget(UiUnit& unit, const UiUnit& target);
void ClearOrders(UiUnit& unit);
// Highlight off, direct-control bit cleared and, for a unit that takes
// motion orders, its motion state sent (request 42).
void ReleaseControl(UiUnit& unit);
void SendMotionState(const UiUnit& unit);

// One move for a group: request 5, or 30 when queued (low byte of the order
// flags, or active pause). Excluded members are left out; nothing is sent
// for n = 0. An unqueued order empties each listed mover's local orders.
void SendGroupOrder(uint32_t nodeIndex, uint32_t targetId, uint32_t orderFlags, std::span<UiUnit* const> members);

// Request 24: a standing order 0 to 6.
void SendStandingOrder(const UiUnit& unit, uint32_t order);

// Request 36: the projectile of the recon view's first unit.
void LaunchProjectile(const UiUnit& unit, const Vec3& target);

} // namespace Orders

#include "ui/orders.h"

#include "objects/objects_placeholders.h"
#include "platform/byte_cursor.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "session/server_thread.h"
#include "app/clock.h"
#include "ui/game_view.h"

#include <vector>

namespace Orders {
namespace {

class Request {
public:
    explicit Request(uint32_t type) : type_(type) { out_.U32(type); }
    Request& U32(uint32_t v)
    {
        out_.U32(v);
        return *this;
    }
    Request& F32(float v)
    {
        out_.F32(v);
        return *this;
    }
    Request& Point(const Vec3& p) { return F32(p.x).F32(p.y).F32(p.z); }
    void Send()
    {
        Client::SendToServer(bytes_.data(), static_cast<uint32_t>(bytes_.size()),
                             MessageSizes::IsGuaranteed(MessageSizes::Direction::kToServer, type_));
    }

private:
    uint32_t type_;
    std::vector<uint8_t> bytes_;
    trevok::ByteWriter out_{bytes_};
};

bool Shift() { return (GameView::Modifiers() & 1u) != 0; }

} // namespace

namespace {
float (*g_timeSource)() = nullptr;
}

float ClientTime() { return g_timeSource ? g_timeSource() : Server::ClientClock().Seconds(); }
void SetClientTimeSource(float (*source)()) { g_timeSource = source; }

void Stop(UiUnit& unit)
{
    unit.orders_.clear();
    Request(kStop).U32(unit.Id()).F32(ClientTime()).Send();
}

void AttackLocation(UiUnit& unit, const Vec3& point)
{
    const bool shift = Shift();
    unit.orders_.clear();
    if (shift)
        unit.aimHeight_ = unit.normalAimHeight_ * kShiftAimFactor;
    Request(shift ? kAttackLocationShift : kAttackLocation).U32(unit.Id()).F32(ClientTime()).Point(point).Send();
}

void AttackTarget(UiUnit& unit, const UiUnit& target)
{
    const bool shift = Shift();
    unit.orders_.clear();
    if (shift)
        unit.aimHeight_ = unit.normalAimHeight_ * kShiftAimFactor;
    Request(shift ? kAttackTargetShift : kAttackTarget).U32(unit.Id()).F32(ClientTime()).U32(target.Id()).Send();
}

void ClearTarget(UiUnit& unit)
{
    // The fourth word is not read by the server; it goes as zero.
    Request(kClearTarget).U32(unit.Id()).F32(ClientTime()).U32(0).Send();
}

void Crouch(UiUnit& unit, uint32_t orderFlags)
{
    if (orderFlags & 0xFFu) {
        unit.orders_.push_back({kOrderCrouch, false});
        Request(kQueueCrouch).U32(unit.Id()).Send();
    } else {
        Request(kCrouch).U32(unit.Id()).Send();
    }
}

void QueueAttackLocation(UiUnit& unit, const Vec3& point)
{
    const bool shift = Shift();
    unit.orders_.push_back({kOrderAttackLocation, shift});
    Request(shift ? kQueueAttackLocationShift : kQueueAttackLocation)
        .U32(unit.Id())
        .F32(ClientTime())
        .Point(point)
        .Send();
}

void QueueAttackTarget(UiUnit& unit, const UiUnit& target)
{
    const bool shift = Shift();
    unit.orders_.push_back({kOrderAttackTarget, shift});
    Request(shift ? kQueueAttackTargetShift : kQueueAttackTarget)
        .U32(unit.Id())
        .F32(ClientTime())
        .U32(target.Id())
        .Send();
}

void ClearOrders(UiUnit& unit)
{
    for (auto it = unit.orders_.rbegin(); it != unit.orders_.rend(); ++it) {
        if (it->kind != kOrderHold) {
            unit.orders_.erase(std::next(it).base());
            break;
        }
    }
    Request(kClearOrders).U32(unit.Id()).Send();
}

void SendMotionState(const UiUnit& unit)
{
    Request(kMotionState)
        .U32(unit.Id())
        .F32(ClientTime())
        .Point(unit.position_)
        .F32(unit.orientation_.x)
        .F32(unit.orientation_.y)
        .F32(unit.orientation_.z)
        .F32(unit.orientation_.w)
        .Point(unit.destination_)
        .U32(unit.destinationNode_ & 0xFFFFFFu)
        .Send();
}

void ReleaseControl(UiUnit& unit)
{
    unit.highlighted_ = false;
    unit.stateFlags_ &= ~UiUnit::kStateDirectControl;
    if (unit.TakesOrders())
        SendMotionState(unit);
}

void SendGroupOrder(uint32_t nodeIndex, uint32_t targetId, uint32_t orderFlags, std::span<UiUnit* const> members)
{
    const bool queued = (orderFlags & 0xFFu) != 0 || GameView::IsPaused();
    std::vector<uint32_t> ids;
    for (UiUnit* unit : members) {
        if (unit->groupOrderExcluded_)
            continue;
        if (!queued && unit->TakesOrders())
            unit->orders_.clear();
        ids.push_back(unit->Id());
    }
    if (ids.empty())
        return;
    Request request(queued ? kGroupWaypoint : kGroupMove);
    request.F32(ClientTime()).U32(nodeIndex).U32(targetId).U32(static_cast<uint32_t>(ids.size()));
    for (uint32_t id : ids)
        request.U32(id);
    request.Send();
}

void SendStandingOrder(const UiUnit& unit, uint32_t order) { Request(kStandingOrder).U32(unit.Id()).U32(order).Send(); }

void LaunchProjectile(const UiUnit& unit, const Vec3& target)
{
    Request(kLaunchProjectile).U32(unit.Id()).F32(ClientTime()).Point(target).Send();
}

} // namespace Orders

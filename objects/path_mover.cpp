#include "objects/path_mover.h"

#include "Veapi/ve_object.h"
#include "objects/object_registry.h"
#include "objects/server_link.h"
#include "platform/byte_cursor.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>

namespace {

// Coefficients of the cubic Bezier basis, one row per power of u (3 to 0).
constexpr float kBasis[4][4] = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}};

// The ticks a mover keeps (start, pause, loop, now) stay within 2^60: far
// beyond any game (36 years of a nanosecond clock), and small enough that
// the loop's sum and the reversal's doubled difference fit in 64 bits.
constexpr int64_t kTickLimit = int64_t{1} << 60;

int64_t ClampTicks(int64_t ticks) { return std::clamp(ticks, -kTickLimit, kTickLimit); }

int64_t ClockTicks(uint64_t now) { return static_cast<int64_t>(std::min<uint64_t>(now, kTickLimit)); }

} // namespace

Kind8Object::Kind8Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : GameObject(side, role, position, orientation, kCreateQuietToo, id)
{
    for (Vec3& term : curve_)
        term = {0, 0, 0};
    curve_[3] = position;
}

Kind8Object::~Kind8Object() = default;

void Kind8Object::ReleaseLinks()
{
    riders_.clear();
    GameObject::ReleaseLinks();
}

GameObject* Kind8Object::Make(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                              uint32_t id)
{
    return new Kind8Object(side, role, position, orientation, id);
}

uint32_t Kind8Object::SizeInBytes() const { return GameObject::SizeInBytes() + 152; }

int32_t Kind8Object::Activate(uint64_t now, float seconds)
{
    if (Level* level = Level::Current(); level && Shape() && Shape()->Root()) {
        LockGuard guard(level->lock_, false);
        geometry_ = level->FindMesh(Shape()->Root());
    }
    return GameObject::Activate(now, seconds);
}

void Kind8Object::SetTrack(const Vec3 (&points)[4], const Quaternion& endOrientation, bool carriesRiders)
{
    carriesRiders_ = carriesRiders;
    for (int row = 0; row < 4; ++row) {
        Vec3 term{0, 0, 0};
        for (int k = 0; k < 4; ++k)
            term += points[k] * kBasis[row][k];
        curve_[row] = term;
    }
    startOrientation_ = Orientation();
    endOrientation_ = endOrientation;
    blend_.Setup(startOrientation_, endOrientation_);
    pathSet_ = true;
}

Vec3 Kind8Object::CurvePoint(float u) const
{
    return ((curve_[0] * u + curve_[1]) * u + curve_[2]) * u + curve_[3];
}

bool Kind8Object::SetSpeed(float speed)
{
    if (!(speed > 0) || !std::isfinite(speed))
        return false;
    speed_ = speed;
    return true;
}

void Kind8Object::SetLoopTime(int64_t ticks)
{
    loops_ = ticks >= 0;
    loopTime_ = loops_ ? std::min(ticks, kTickLimit) : 0;
}

void Kind8Object::BoundLoadedTimes()
{
    const int64_t now = ClockTicks(now_);
    loopTime_ = std::clamp<int64_t>(loopTime_, 0, kTickLimit);
    // A move starts no later than the mover's own time, and a pause falls
    // between the two.
    startTime_ = std::min(ClampTicks(startTime_), now);
    pauseTime_ = std::clamp(ClampTicks(pauseTime_), startTime_, now);
}

void Kind8Object::Start()
{
    if (!pathSet_ || moving_ || paused_)
        return;
    startTime_ = ClockTicks(now_);
    moving_ = true;
    if (carriesRiders_)
        GatherRiders();
    SendStart();
}

void Kind8Object::GatherRiders()
{
    if (!geometry_)
        return;
    Level* level = Level::Current();
    const std::vector<GameObject*> everyone = ObjectRegistry::Global().Snapshot();
    geometry_->ForEachPolygon([&](CollisionPolygon& polygon) {
        if (!(polygon.flags_ & polygon_flags::kClassMask))
            return;
        for (GameObject* object : everyone) {
            if (object == this || object->IsRemoved() || !object->MovesOnLifts() || object->GetPolygon() != &polygon)
                continue;
            bool known = false;
            for (const GameObjectRef& rider : riders_)
                known = known || rider.Get() == object;
            if (!known) {
                riders_.emplace_back(object);
                ridersChanged_ = false;
            }
        }
        // No path may lead over a moving piece.
        if (level) {
            LockGuard guard(level->lock_, true);
            polygon.PruneLinks();
        }
    });
}

void Kind8Object::SendStart() const
{
    std::vector<uint8_t> block;
    block.reserve(12 + 4 * riders_.size());
    trevok::ByteWriter writer(block);
    writer.U32(direction_ ? PathMoverMessage::kStartBackward : PathMoverMessage::kStartForward);
    writer.U32(GetId());
    writer.U32(static_cast<uint32_t>(riders_.size()));
    for (const GameObjectRef& rider : riders_)
        writer.U32(rider->GetId());
    ServerLink::Get().Send(block.data(), static_cast<uint32_t>(block.size()), true);
}

void Kind8Object::SendId(uint32_t type) const
{
    uint8_t block[8];
    trevok::ByteWriter writer(std::span<uint8_t>(block, sizeof block));
    writer.U32(type);
    writer.U32(GetId());
    ServerLink::Get().Send(block, sizeof block, true);
}

void Kind8Object::SetState(bool flag)
{
    if (!moving_) {
        if (flag != direction_)
            Start();
        return;
    }
    if (flag != direction_)
        return;
    direction_ = !direction_;
    // Half a move's ticks; a crawling speed's move is held to the limit.
    const double ticksPerSecond = static_cast<double>(ServerLink::Get().TicksPerSecond());
    const int64_t k = std::llround(std::min(0.5 * ticksPerSecond / speed_, static_cast<double>(kTickLimit)));
    // The move goes back from where it is: what it has covered of the
    // move's 2k ticks is what is left of the way back.
    const int64_t now = ClockTicks(now_);
    const int64_t covered = std::clamp(now - startTime_, int64_t{0}, 2 * k);
    startTime_ = ClampTicks(now - (2 * k - covered));
    SendId(PathMoverMessage::kReversed);
}

void Kind8Object::Pause()
{
    if (!moving_)
        return;
    moving_ = false;
    paused_ = true;
    pauseTime_ = ClockTicks(ServerLink::Get().Now());
    SendId(PathMoverMessage::kPaused);
}

void Kind8Object::Resume()
{
    if (!paused_)
        return;
    paused_ = false;
    moving_ = true;
    startTime_ = ClampTicks(startTime_ + (ClockTicks(ServerLink::Get().Now()) - pauseTime_));
    SendId(PathMoverMessage::kResumed);
}

void Kind8Object::FinishMove()
{
    moving_ = false;
    direction_ = !direction_;
    riders_.clear();
    ridersChanged_ = true;
    Level* level = Level::Current();
    if (!geometry_ || !level)
        return;
    LockGuard guard(level->lock_, true);
    // The cells are those of the box the mesh was filed with: unfile there,
    // then file at the new box.
    level->UnfileGeometry(*geometry_);
    geometry_->FitBox();
    if (level->HasCells())
        level->FileGeometry(*geometry_);
    if (carriesRiders_)
        geometry_->ForEachPolygon([&](CollisionPolygon& polygon) {
            if (polygon.flags_ & polygon_flags::kClassMask)
                level->LinkClassNeighbours(polygon);
        });
}

void Kind8Object::Update(uint64_t now, float seconds)
{
    if (!moving_ && !paused_ && loops_ && pathSet_ && startTime_ + loopTime_ < ClockTicks(now)) {
        now_ = now;
        Start();
    }
    if (moving_) {
        const double secondsPerTick = 1.0 / static_cast<double>(ServerLink::Get().TicksPerSecond());
        double u = static_cast<double>(ClockTicks(now) - startTime_) * secondsPerTick * speed_;
        bool ended = false;
        if (!direction_) {
            if (u > 1) {
                u = 1;
                ended = true;
            }
        } else {
            u = 1 - u;
            if (u < 0) {
                u = 0;
                ended = true;
            }
        }
        // Never off the curve, whatever the times say.
        u = std::clamp(u, 0.0, 1.0);
        const float at = static_cast<float>(u);
        const Vec3 delta = CurvePoint(at) - Position();
        SetPosition(CurvePoint(at));
        SetOrientation(blend_.Evaluate(at));
        if (carriesRiders_)
            for (const GameObjectRef& rider : riders_) {
                rider->SetPosition(rider->Position() + delta);
                rider->SyncMover();
            }
        if (geometry_) {
            if (Level* level = Level::Current()) {
                LockGuard guard(level->lock_, true);
                geometry_->Translate(delta);
            } else {
                geometry_->Translate(delta);
            }
        }
        if (ended)
            FinishMove();
    }
    GameObject::Update(now, seconds);
}

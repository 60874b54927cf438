#include "objects/moving_object.h"

#include "Veapi/hierarchy.h"
#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "app/app_time.h"
#include "objects/client_effects.h"
#include "objects/inventory.h"
#include "objects/orders.h"
#include "objects/teams.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "world/collision_polygon.h"
#include "world/level.h"
#include "world/mover.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr float kRadiansPerStep = 1.0f / kStepsPerRadian;
// Turn rate (4096ths a second) to radians a second.
constexpr float kTurnToRadians = 0.0015339808f;
// The move marker: two seconds, shrinking from 25 times its size while it turns.
constexpr float kMarkerSeconds = 2.0f;
constexpr float kMarkerScale = 25.0f;
constexpr float kMarkerTurn = 3000.0f;
// A carried flag stands this much above the carrier's flag part (y grows down).
constexpr float kFlagLift = 0.5f;
constexpr int32_t kFlagScore = 10;  // a capture's worth to the carrier's side
// The shape effect's sprites: above the ground against depth fighting; the
// ring a little wider than the body, the wedge three radii long.
constexpr float kShapeEffectLift = 0.02f;
constexpr float kRingAcross = 2.5f;
constexpr float kWedgeLength = 3.0f;
// A walker with no walk sequence measured moves at its walking speed as is.

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }

} // namespace

// ---------------------------------------------------------------------------
// Records

bool MotionRecord::Read(std::span<const uint8_t> bytes)
{
    trevok::ByteReader reader(bytes);
    float words[11];
    for (float& f : words)
        f = reader.F32();
    const uint32_t polygonWord = reader.U32();
    if (!reader.Ok())
        return false;
    for (float f : words) {
        if (!std::isfinite(f))
            return false;
    }
    seconds = words[0];
    position = {words[1], words[2], words[3]};
    orientation = {words[4], words[5], words[6], words[7]};
    velocity = {words[8], words[9], words[10]};
    polygon = polygonWord & kNoPolygon;
    return true;
}

void MotionRecord::Write(std::span<uint8_t, kSize> out) const
{
    trevok::ByteWriter writer(out);
    for (float f : {seconds, position.x, position.y, position.z, orientation.x, orientation.y, orientation.z,
                    orientation.w, velocity.x, velocity.y, velocity.z})
        writer.F32(f);
    writer.U32(polygon & kNoPolygon);
}

// ---------------------------------------------------------------------------
// Steering

float WrapSteps(float steps)
{
    steps = std::fmod(steps, 4096.0f);
    if (steps > 2048.0f)
        steps -= 4096.0f;
    else if (steps < -2048.0f)
        steps += 4096.0f;
    return steps;
}

float HeadingOf(const Quaternion& orientation)
{
    return 2.0f * std::atan2(orientation.y, orientation.w) * kStepsPerRadian;
}

Quaternion YawOrientation(float heading)
{
    const float half = 0.5f * heading * kRadiansPerStep;
    return {0, std::sin(half), 0, std::cos(half)};
}

ArcStep SteerAlongArc(const Vec3& position, float heading, const Vec3& next, float travel, float turnBudget,
                      float turnRadiusSquared)
{
    ArcStep step{position, heading};
    if (!(travel > 0.0f))
        return step;
    const float dx = next.x - position.x, dz = next.z - position.z;
    const float wanted = std::atan2(dx, dz) * kStepsPerRadian;
    const float delta = WrapSteps(wanted - heading);
    const float a = std::fabs(delta);
    float travelLeft = travel;
    float arcTurn = 0, arcLength = 0, excess = 0;
    if (turnBudget < 0.0f) {
        // Unlimited turning: face the point at once.
        step.heading = wanted;
    } else {
        const float budget = turnBudget;
        if (turnRadiusSquared > 0.0f) {
            const float c = 1.0f - (dx * dx + dz * dz) / (2.0f * turnRadiusSquared);
            if (c > -1.0f) {
                const float arc = std::acos(std::min(c, 1.0f)) * kStepsPerRadian;
                if (arc * 0.5f < a) {
                    excess = a - arc * 0.5f;
                    if (excess <= budget) {
                        // No budget at all means no excess either: the travel stays.
                        travelLeft = budget > 0.0f ? travel * (budget - excess) / budget : travel;
                    } else {
                        excess = budget;
                        travelLeft = 0.0f;
                    }
                }
            }
        }
        const float budgetLeft = budget - excess;
        arcTurn = a <= budgetLeft ? delta : std::copysign(budgetLeft, delta);
        // With no turn budget left the arc has no length (never 0 / 0).
        arcLength = budgetLeft > 0.0f ? std::fabs(arcTurn) / budgetLeft * travelLeft : 0.0f;
        const float sign = delta < 0.0f ? -1.0f : 1.0f;
        const float mid = heading + sign * excess + arcTurn * 0.5f;
        const float turnRadians = arcTurn * kRadiansPerStep;
        const float chord = std::fabs(turnRadians) > 1e-6f
                                ? 2.0f * std::sin(turnRadians * 0.5f) * arcLength / turnRadians
                                : arcLength;
        step.position.x += std::sin(mid * kRadiansPerStep) * chord;
        step.position.z += std::cos(mid * kRadiansPerStep) * chord;
        step.heading = mid + arcTurn * 0.5f;
    }
    const float rest = travelLeft - arcLength;
    const float rx = next.x - step.position.x, ry = next.y - step.position.y, rz = next.z - step.position.z;
    if (rest * rest <= rx * rx + 0.01f * ry * ry + rz * rz) {
        step.position.x += std::sin(step.heading * kRadiansPerStep) * rest;
        step.position.z += std::cos(step.heading * kRadiansPerStep) * rest;
    } else {
        step.position.x = next.x;
        step.position.z = next.z;
    }
    return step;
}

// ---------------------------------------------------------------------------
// MovingObject

MovingObject::MovingObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                           uint32_t id)
    : WorldObject(side, role, position, orientation,
                  side == ClientServices::Get().OwnSide() ? ClientCreate::kFogBase | ClientCreate::kAlwaysVisible
                                                        : ClientCreate::kFogBase,
                  id),
      finalDestination_(position), nextPoint_(position)
{
    character_ = WorldObject::GetCharacter();
    if (character_) {
        viewRange_ = character_->sightRange;
        speedFactor_ = character_->walkingSpeed;
        turnRate_ = character_->turningSpeed;
        centreOffset_ = {0, -0.5f * character_->modelHeight, 0};
    }
    SetSpeedFactor(speedFactor_);
    if (const auto add = ClientEffects().addShapeEffect; add && !add(*this, shapeEffect_))
        shapeEffect_[0] = shapeEffect_[1] = nullptr;
}

MovingObject::~MovingObject()
{
    for (VeObject*& sprite : shapeEffect_) {
        if (sprite)
            sprite->Release();
        sprite = nullptr;
    }
    EndDisguise();
    ReleaseMarker();
    RemoveMover();
}

void MovingObject::AddMover(uint64_t time)
{
    Level* level = Level::Current();
    if (mover_ || !level)
        return;
    const float height = character_ ? character_->modelHeight : 1.0f;
    const float radius = character_ ? character_->radius : 0.5f;
    LockGuard guard(level->lock_, true);
    Vec3 at = position_;
    mover_ = level->AddMover(at, std::make_unique<WalkerBody>(height, radius), static_cast<uint32_t>(time));
    // The replica stays where the server put it, not at the polygon's centre.
    mover_->position = position_;
    moverLevel_ = level;
}

void MovingObject::RemoveMover()
{
    // A level already gone took its movers with it.
    if (mover_ && moverLevel_ && Level::Current() == moverLevel_) {
        LockGuard guard(moverLevel_->lock_, true);
        moverLevel_->RemoveMover(mover_);
    }
    mover_ = nullptr;
    moverLevel_ = nullptr;
}

CollisionPolygon* MovingObject::GetPolygon() const
{
    return mover_ && Level::Current() == moverLevel_ ? mover_->surface : nullptr;
}

void MovingObject::AdvanceMover(uint64_t time)
{
    if (!mover_ || Level::Current() != moverLevel_)
        return;
    LockGuard guard(moverLevel_->lock_, false);
    Vec3 target = position_;
    moverLevel_->AdvanceMover(target, *mover_, static_cast<uint32_t>(time));
    // Static and cut-scene objects keep their height.
    if (staticPlacement_ || shownInCutScenes_)
        target.y = position_.y;
    if (std::isfinite(target.x) && std::isfinite(target.y) && std::isfinite(target.z))
        position_ = target;
}

bool MovingObject::SetPlacementFrom(const MotionRecord& record)
{
    if (!SetPlacement(record.position, record.orientation, record.seconds))
        return false;
    if (mover_ && Level::Current() == moverLevel_) {
        LockGuard guard(moverLevel_->lock_, false);
        const LevelMoveRecord filled =
            moverLevel_->FillMoveRecord(record.position, record.velocity, record.polygon, 0);
        mover_->time = static_cast<uint32_t>(time_);
        mover_->position = filled.start;
        mover_->velocity = filled.end;
        // A polygon the level does not have (or none named): the one under the point.
        mover_->surface = filled.polygon ? filled.polygon : moverLevel_->FindPolygonAtPosition(record.position);
    }
    return true;
}

void MovingObject::SetTurnRate(int32_t rate)
{
    turnRate_ = rate;
    SetSpeedFactor(speedFactor_);
}

void MovingObject::SetSpeedFactor(int32_t factor)
{
    speedFactor_ = factor;
    const float walkFactor = character_ ? character_->MetresPerSpeedUnit() : 1.0f;
    speed_ = static_cast<float>(speedFactor_) / 65536.0f * walkFactor;
    if (turnRate_ == 0) {
        turnRadiusSquared_ = 0;
    } else {
        const float radius = speed_ / (static_cast<float>(turnRate_) * kTurnToRadians);
        turnRadiusSquared_ = radius * radius;
    }
}

Vec3 MovingObject::GetCentre() const { return position_ + centreOffset_; }

float MovingObject::GetHealthFraction() const
{
    if (hitPoints_ <= 0)
        return 0.0f;
    return WorldObject::GetHealthFraction();
}

void MovingObject::SetSide(int32_t side)
{
    const ClientServices& services = ClientServices::Get();
    if (squadMember_ && side != side_) {
        auto& squad = WorldObjectTable::SquadList();
        squad.erase(std::remove(squad.begin(), squad.end(), this), squad.end());
    }
    const bool wasSquad = sideSetUp_ && TeamTable::IsSquadSide(side_);
    if (!wasSquad && TeamTable::IsSquadSide(side)) {
        standingOrder_ = 6;
        standingFlag_ = false;
        if (mover_) {
            mover_->barrierFlags &= ~0x40000u;
            mover_->bodyClassFlags = (mover_->bodyClassFlags & ~0x40000u) | 0x80000u;
        }
        if (!inventory_)
            inventory_ = std::make_unique<Inventory>(character_ ? character_->weapon : 0, 15);
    }
    squadMember_ = side == services.OwnSide() && TeamTable::IsSquadSide(side);
    // The own side's units clear the fog of war as they move.
    if (side == services.OwnSide() && !Marks().defogging)
        SetDefogger(true);
    sideSetUp_ = true;
    side_ = side;
}

void MovingObject::TakeDamage(int32_t amount)
{
    // The developer switch spares the own side, here as on the server.
    if (ServerFlags::GodMode() && side_ == ClientServices::Get().OwnSide())
        return;
    int64_t rest = amount;
    const int32_t shield = GetShield();
    if (shield <= 0) {
        if (rest > 0) {
            const int32_t armour = GetArmour();
            WearArmour(1);
            if (rest <= armour)
                return;
            rest -= armour;
        }
    } else if (rest >= 0) {
        // What gets through the shield meets no armour.
        const int64_t absorbed = std::min<int64_t>(rest, shield);
        ReduceShield(static_cast<int32_t>(absorbed));
        rest -= absorbed;
        if (CarriesShapeEffect() && ClientEffects().shieldHit)
            ClientEffects().shieldHit(*this);
    }
    const int64_t maximum = character_ ? std::max(character_->strength, 0) : 0;
    hitPoints_ = static_cast<int32_t>(std::clamp<int64_t>(int64_t{hitPoints_} - rest, 0, maximum));
    const auto& showHit = ClientServices::Get().showHit;
    if (showHit && maximum > 0 && GetInventory())
        showHit(*this, static_cast<float>(static_cast<double>(rest) / static_cast<double>(maximum)));
}

void MovingObject::Activate(uint64_t time, float seconds)
{
    AddMover(time);
    SetSide(side_);
    WorldObject::Activate(time, seconds);
}

bool MovingObject::VariationDue(int32_t& draw)
{
    int32_t& countdown = WorldObjectTable::VariationCountdown();
    if (countdown > 0) {
        --countdown;
        return false;
    }
    // While the game stands still no variation starts, and the countdown's
    // span (divided by the speed) is never formed.
    const float speed = AppTime::GameSpeed();
    if (!(speed > 0.0f))
        return false;
    draw = static_cast<int32_t>(WorldObjectTable::NextRandom());
    const uint32_t next = WorldObjectTable::NextRandom();
    const double span = std::round(100.0 * WorldObjectTable::Count() / speed);
    const uint32_t modulus = span >= 1.0 && span < 4294967295.0 ? static_cast<uint32_t>(span) : 0;
    countdown = modulus ? static_cast<int32_t>(next % modulus) : 0;
    return true;
}

void MovingObject::PlayIdle(int32_t sequence)
{
    WorldObject::PlaySequence(sequence);
    idleSequence_ = -1;
    SequencePlayer** front = object_ ? object_->Players().At(0) : nullptr;
    // Without a player (no shape, no such sequence) nothing plays: not busy.
    // A player that is never advanced (out of sight) is let go at its end
    // time all the same, so the object cannot stay busy.
    if (front && (*front)->index_ == sequence && (*front)->end_ != 0) {
        idleSequence_ = sequence;
        idleEnd_ = (*front)->end_;
    }
}

bool MovingObject::IsIdleBusy() const
{
    return idleSequence_ >= 0 && object_ && time_ <= idleEnd_ && object_->IsPlayingSequence(idleSequence_);
}

void MovingObject::Update(uint64_t time, float seconds)
{
    if (moving_ && time > time_) {
        const float dt = TicksToSeconds(time - time_);
        const float travel = dt * speed_;
        if (carried_) {
            position_ = position_ + carrierVelocity_.Normalised() * travel;
        } else {
            const float dx = nextPoint_.x - position_.x, dy = nextPoint_.y - position_.y,
                        dz = nextPoint_.z - position_.z;
            if (dx * dx + 0.01f * dy * dy + dz * dz >= kSteerDistance * kSteerDistance) {
                const float budget = turnRate_ > 0 ? dt * static_cast<float>(turnRate_) : -1.0f;
                const ArcStep step =
                    SteerAlongArc(position_, HeadingOf(orientation_), nextPoint_, travel, budget, turnRadiusSquared_);
                position_ = step.position;
                orientation_ = YawOrientation(step.heading);
            }
        }
    }
    AdvanceMover(time);
    WorldObject::Update(time, seconds);
    if (sequenceDone_) {
        sequenceDone_ = false;
        if (dying_)
            Deactivate();
        else if (!moving_ && !crouched_)
            WorldObject::PlaySequence(0);
    }
    if (!IsAlive())
        return;
    const float fx = finalDestination_.x - position_.x, fz = finalDestination_.z - position_.z;
    if (side_ == ClientServices::Get().OwnSide() && moving_ &&
        fx * fx + fz * fz > kMarkerDistance * kMarkerDistance && !markerShown_) {
        markerShown_ = true;
        markerDuration_ = SecondsToTicks(kMarkerSeconds);
        markerExpiry_ = time + markerDuration_;
        if (Hierarchy* model = WorldObjectTable::MoveMarkerModel()) {
            marker_ = VeObject::FromHierarchy(model, false);
            if (marker_) {
                marker_->placement_.SetPosition(finalDestination_);
                marker_->motionStart_ = time;
            }
        }
    }
    const int32_t idles = role_ && role_->shape ? role_->shape.lowSequences : 0;
    if (idleSequence_ >= 0 && !IsBusy())
        idleSequence_ = -1;
    if (idles > 0 && idleSequence_ < 0 && !moving_ && !IsAttacking() && !crouched_) {
        int32_t draw = 0;
        if (VariationDue(draw))
            PlayIdle(21 + draw % idles);
    }
    if (markerShown_ && time >= markerExpiry_) {
        markerShown_ = false;
        ReleaseMarker();
    }
}

void MovingObject::ReleaseMarker()
{
    if (marker_)
        marker_->Release();
    marker_ = nullptr;
}

float MovingObject::MarkerFraction(uint64_t now, uint64_t expiry, uint64_t duration)
{
    if (duration == 0 || now >= expiry)
        return 0.0f;
    return std::min(1.0f, static_cast<float>(static_cast<double>(expiry - now) / static_cast<double>(duration)));
}

void MovingObject::PlaceAndDraw()
{
    const ClientServices& services = ClientServices::Get();
    if (squadMember_ && services.soleSelected && services.soleSelected(*this)) {
        const uint32_t kept = renderFlags_ & ClientRender::kHitTested;
        renderFlags_ &= ~ClientRender::kHitTested;
        WorldObject::PlaceAndDraw();
        renderFlags_ |= kept;
    } else {
        WorldObject::PlaceAndDraw();
    }
    DrawMarker();
    DrawShapeEffect();
    DrawCarriedFlag();
    if (disguise_ && disguised_ && visible_) {
        disguise_->placement_.SetPosition(position_);
        disguise_->placement_.SetOrientation(orientation_);
        ClientDraw draw{this, WorldObjectTable::BaseSortKey(), ClientRender::kDrawn, false, false, false};
        draw.shape = disguise_;
        WorldObjectTable::Queue(draw);
    }
}

void MovingObject::DrawMarker()
{
    if (!marker_ || !markerShown_)
        return;
    const float f = MarkerFraction(static_cast<uint64_t>(AppTime::GameNow()), markerExpiry_, markerDuration_);
    marker_->placement_.SetPosition(finalDestination_);
    marker_->placement_.SetScale(Vec3{kMarkerScale, kMarkerScale, kMarkerScale} * f);
    marker_->placement_.SetOrientation(YawOrientation(f * kMarkerTurn));
    ClientDraw draw{this, WorldObjectTable::BaseSortKey(), ClientRender::kDrawn, false, false, false};
    draw.what = ClientDraw::What::kMoveMarker;
    draw.shape = marker_;
    WorldObjectTable::Queue(draw);
}

// The shape effect marks the player's own: a ring on the ground under each
// selected unit and, ahead of the unit the player steers, a wedge pointing
// where it faces. Both lie flat a little above the feet, sized by the body.
void MovingObject::DrawShapeEffect()
{
    if (!shapeEffect_[0] || !visible_)
        return;
    const ClientServices& services = ClientServices::Get();
    const bool selected = services.selected && services.selected(*this);
    const bool steered = IsHighlighted();
    if (!selected && !steered)
        return;
    float radius = 0.5f;
    if (character_)
        radius = character_->radius > 0.0f ? character_->radius : character_->modelHalfExtent;
    const Vec3 feet = position_ - Vec3{0, kShapeEffectLift, 0};
    const auto queue = [&](VeObject* sprite, float size) {
        sprite->placement_.SetPosition(feet);
        sprite->placement_.SetOrientation(orientation_);
        sprite->placement_.SetScale(Vec3{size, size, size});
        ClientDraw draw{this, WorldObjectTable::BaseSortKey(), ClientRender::kDrawn, false, false, true};
        draw.what = ClientDraw::What::kShapeEffect;
        draw.shape = sprite;
        WorldObjectTable::Queue(draw);
    };
    queue(shapeEffect_[0], kRingAcross * radius);
    if (steered)
        queue(shapeEffect_[1], kWedgeLength * radius);
}

Hierarchy* MovingObject::GetBodyHierarchy() const
{
    return HasBodyHierarchy() ? static_cast<Hierarchy*>(character_->customisationShape.hierarchy.get()) : nullptr;
}

void MovingObject::OnFlagTaken(int32_t side)
{
    if (TeamRecord* flagSide = TeamTable::Find(side); flagSide && flagSide->flag)
        flagSide->flag->carried = true;
    SetCarriedFlag(side);
}

void MovingObject::OnFlagDropped()
{
    if (TeamRecord* flagSide = TeamTable::Find(carriedFlag_)) {
        if (flagSide->flag) {
            flagSide->flag->carried = false;
            flagSide->flag->position = position_;
        }
        flagSide->flagPosition = position_;
    }
    SetCarriedFlag(0);
}

bool MovingObject::OnFlagCaptured()
{
    TeamRecord* flagSide = carriedFlag_ != 0 ? TeamTable::Find(carriedFlag_) : nullptr;
    if (!flagSide)
        return false;
    if (flagSide->flag) {
        flagSide->flag->carried = false;
        flagSide->flag->position = flagSide->flag->home;
    }
    flagSide->flagPosition = flagSide->flagHome;
    if (TeamRecord* scorer = TeamTable::Find(side_))
        scorer->score += kFlagScore;
    SetCarriedFlag(0);
    return true;
}

void MovingObject::DrawCarriedFlag()
{
    if (carriedFlag_ == 0 || !IsAlive())
        return;
    TeamRecord* record = TeamTable::Find(carriedFlag_);
    if (!record || !record->flag)
        return;
    // At the role's flag part, else over the centre; half a metre higher.
    Vec3 at = GetCentre();
    if (role_ && role_->hotspotName)
        PartWorldPosition(*role_->hotspotName, at, true);
    at.y -= kFlagLift;
    record->flag->Place(at.x, at.y, at.z, time_);
    record->flag->DrawCarried();
}

void MovingObject::Deactivate()
{
    if (Marks().defogging)
        SetDefogger(false);
    EndDisguise();
    // The screens its worn gadgets hold open go with it.
    for (const WornItem& w : worn_) {
        if (const CarriedItem* item = inventory_ ? inventory_->FindById(w.itemId) : nullptr)
            ShowItemScreen(*item, false);
    }
    moving_ = false;
    // The view that follows it lets go; the unit is steered no more.
    if (StateFlags() & kDirectControl) {
        if (const auto& reset = ClientServices::Get().resetView)
            reset(*this);
        SetDirectControl(false);
    }
    WorldObject::Deactivate();
}

void MovingObject::ApplyMoving(const Vec3& nextPoint, const MotionRecord& record, const Vec3& finalDestination)
{
    if (dying_)
        return;
    if (!shownInCutScenes_ && !moving_) {
        PlayWalk();
        const int32_t walks = role_ && role_->shape ? role_->shape.highSequences : 0;
        int32_t draw = 0;
        if (walks > 0 && VariationDue(draw))
            WorldObject::PlaySequence(26 + draw % walks);
    }
    nextPoint_ = nextPoint;
    moving_ = true;
    motionSeconds_ = record.seconds;
    if ((finalDestination - finalDestination_).LengthSquared() > 0.01f) {
        finalDestination_ = finalDestination;
        destinationSeconds_ = record.seconds;
        markerShown_ = false;
        ReleaseMarker();  // the next update shows one at the new destination
    }
    SetPlacementFrom(record);
}

void MovingObject::PlacedByCutScene(const Vec3& position)
{
    moving_ = false;
    if (!mover_ || Level::Current() != moverLevel_)
        return;
    LockGuard guard(moverLevel_->lock_, false);
    if (CollisionPolygon* under = moverLevel_->FindPolygonAtPosition(position))
        mover_->surface = under;
}

void MovingObject::PlayWalk()
{
    // Looped, at the walking speed, so the legs keep pace with the ground.
    WorldObject::PlaySequence(1, -1, speedFactor_ > 0 ? speedFactor_ : 0x10000);
}

void MovingObject::ApplyStopped(const MotionRecord& record)
{
    if (dying_)
        return;
    if (moving_)
        WorldObject::PlaySequence(0);
    moving_ = false;
    motionSeconds_ = record.seconds;
    SetPlacementFrom(record);
}

void MovingObject::Die(const MotionRecord& record)
{
    WorldObject::PlaySequence(3);
    hitPoints_ = 0;
    moving_ = false;
    dying_ = true;
    // Without a shape no sequence player reports the end: the next update does.
    if (!object_)
        sequenceDone_ = true;
    SetPlacementFrom(record);
}

bool MovingObject::AddWaypointOrder(uint32_t polygon, int32_t value)
{
    Level* level = Level::Current();
    CollisionPolygon* node = level ? level->PolygonAt(polygon) : nullptr;
    if (!node)
        return false;
    LocalOrder order;
    order.kind = LocalOrder::kWaypoint;
    order.value = value;
    order.position = *node->Centre();
    order.polygon = polygon;
    orders_.push_back(order);
    return true;
}

void MovingObject::PushOrderFront(const LocalOrder& order)
{
    orders_.push_back(order);
    std::rotate(orders_.begin(), orders_.end() - 1, orders_.end());
}

void MovingObject::InsertHoldOrder()
{
    if (orders_.empty() || orders_.front().kind == LocalOrder::kHold)
        return;
    LocalOrder hold;
    hold.kind = LocalOrder::kHold;
    hold.position = position_;
    PushOrderFront(hold);
    moving_ = false;
}

void MovingObject::RemoveHoldOrder()
{
    if (orders_.empty() || orders_.front().kind != LocalOrder::kHold)
        return;
    orders_.erase(orders_.begin());
    // Only a server in this program relays it; a joined client has none.
    const ClientServices& services = ClientServices::Get();
    if (services.serverRunsHere && services.sendToClients) {
        uint8_t block[8];
        trevok::ByteWriter writer(block);
        writer.U32(69);
        writer.U32(GetId());
        services.sendToClients(block, sizeof block, false);
    }
}

void MovingObject::PopOrder()
{
    if (!orders_.empty())
        orders_.erase(orders_.begin());
}

void MovingObject::AddViewRange(float delta) { viewRange_ += delta; }

void MovingObject::ChangeSpeed(int32_t delta, const MotionRecord& record)
{
    SetSpeedFactor(static_cast<int32_t>(static_cast<int64_t>(speedFactor_) + delta));
    if (moving_)
        PlayWalk();
    SetPlacementFrom(record);
}

void MovingObject::SetCrouch(bool crouched, bool disguised)
{
    moving_ = false;
    disguised_ = disguised;
    crouched_ = crouched;
    WorldObject::PlaySequence(crouched ? 19 : 20);
}

// ---------------------------------------------------------------------------
// Orders

void MovingObject::SendWords(std::span<const uint32_t> words, bool guaranteed) const
{
    std::vector<uint8_t> block;
    trevok::ByteWriter writer(block);
    for (uint32_t w : words)
        writer.U32(w);
    ClientServices::Get().Request(block.data(), static_cast<uint32_t>(block.size()), guaranteed);
}

void MovingObject::OrderStop()
{
    orders_.clear();
    const uint32_t words[] = {6, GetId(), Bits(AppTime::GameSeconds())};
    SendWords(words, true);
}

void MovingObject::OrderCrouch(bool queued)
{
    const uint32_t words[] = {queued ? 31u : 25u, GetId()};
    SendWords(words, true);
    if (queued) {
        LocalOrder order;
        order.kind = LocalOrder::kCrouch;
        order.position = position_;
        orders_.push_back(order);
    }
}

void MovingObject::OrderChangeAmmo(int32_t ammo, bool queued)
{
    const uint32_t words[] = {queued ? 23u : 22u, GetId(), static_cast<uint32_t>(ammo)};
    SendWords(words, true);
    if (queued)
        AddChangeAmmoOrder(ammo);
}

void MovingObject::AddEquipOrder(int32_t slot, int32_t item)
{
    int32_t pending = 0;
    for (auto it = orders_.rbegin(); it != orders_.rend(); ++it) {
        if (it->item != item)
            continue;
        if (it->kind == LocalOrder::kEquip)
            ++pending;
        else if (it->kind == LocalOrder::kUnequip)
            --pending;
    }
    LocalOrder order;
    order.item = item;
    if (pending == 1) {
        order.kind = LocalOrder::kUnequip;
    } else {
        order.kind = LocalOrder::kEquip;
        order.slot = slot;
    }
    orders_.push_back(order);
}

void MovingObject::OrderEquip(int32_t item, int32_t slot, bool queued)
{
    const uint32_t words[] = {queued ? 13u : 12u, GetId(), static_cast<uint32_t>(item), static_cast<uint32_t>(slot)};
    SendWords(words, true);
    if (queued)
        AddEquipOrder(slot, item);
}

namespace {
LocalOrder ItemOrder(int32_t kind, int32_t item)
{
    LocalOrder order;
    order.kind = kind;
    order.item = item;
    return order;
}
} // namespace

void MovingObject::OrderUse(int32_t item, bool queued)
{
    const uint32_t words[] = {queued ? 15u : 14u, GetId(), static_cast<uint32_t>(item)};
    SendWords(words, true);
    if (queued)
        orders_.push_back(ItemOrder(LocalOrder::kUse, item));
}

void MovingObject::OrderDrop(int32_t item, bool queued)
{
    const uint32_t words[] = {queued ? 17u : 16u, GetId(), static_cast<uint32_t>(item)};
    SendWords(words, true);
    if (queued)
        orders_.push_back(ItemOrder(LocalOrder::kDrop, item));
}

void MovingObject::OrderUnequip(int32_t item, bool queued)
{
    const uint32_t words[] = {queued ? 19u : 18u, GetId(), static_cast<uint32_t>(item)};
    SendWords(words, true);
    if (queued)
        orders_.push_back(ItemOrder(LocalOrder::kUnequip, item));
}

void MovingObject::OrderGive(int32_t item, int32_t receiver, bool queued)
{
    const uint32_t words[] = {queued ? 21u : 20u, GetId(), static_cast<uint32_t>(item),
                              static_cast<uint32_t>(receiver), Bits(AppTime::GameSeconds())};
    SendWords(words, true);
    if (queued) {
        LocalOrder order = ItemOrder(LocalOrder::kGive, item);
        order.value = receiver;
        orders_.push_back(order);
    }
}

void MovingObject::SendStandingOrder(int32_t order)
{
    const uint32_t words[] = {24, GetId(), static_cast<uint32_t>(order)};
    SendWords(words, true);
    if (order >= 0 && order <= 2) {
        if (TeamRecord* record = TeamTable::Find(side_))
            record->formation = order;
    } else if (order == 3) {
        standingFlag_ = !standingFlag_;
    } else if (order >= 4 && order <= 6) {
        standingOrder_ = order;
    }
}

void MovingObject::UndoLastOrder()
{
    for (auto it = orders_.rbegin(); it != orders_.rend(); ++it) {
        if (it->kind != LocalOrder::kHold) {
            orders_.erase(std::next(it).base());
            break;
        }
    }
    const uint32_t words[] = {32, GetId()};
    SendWords(words, false);
}

void MovingObject::SendMotionState(bool moving)
{
    const float now = AppTime::GameSeconds();
    placementSeconds_ = seconds_ = now;
    MotionRecord record;
    record.seconds = now;
    record.position = position_;
    record.orientation = orientation_;
    record.velocity = finalDestination_;  // the server reads the destination here
    if (moverLevel_ && Level::Current() == moverLevel_) {
        LockGuard guard(moverLevel_->lock_, false);
        if (const CollisionPolygon* node = moverLevel_->FindPolygonAtPosition(finalDestination_))
            record.polygon = node->tableIndex_ & MotionRecord::kNoPolygon;
    }
    uint8_t block[8 + MotionRecord::kSize];
    trevok::ByteWriter writer(block);
    writer.U32(moving ? 42 : 43);
    writer.U32(GetId());
    record.Write(std::span<uint8_t, MotionRecord::kSize>(block + 8, MotionRecord::kSize));
    ClientServices::Get().Request(block, sizeof block, false);
}

bool MovingObject::SendGroupOrder(std::span<WorldObject* const> objects, uint32_t polygon, int32_t value,
                                  bool queued, bool paused)
{
    std::vector<uint32_t> words{queued || paused ? 30u : 5u, Bits(AppTime::GameSeconds()), polygon,
                                static_cast<uint32_t>(value), 0};
    uint32_t count = 0;
    for (WorldObject* object : objects) {
        if (!object || object->StaticPlacement())
            continue;
        words.push_back(object->GetId());
        ++count;
        if (!queued && object->IsMobile())
            static_cast<MovingObject*>(object)->orders_.clear();
    }
    if (count == 0)
        return false;
    words[4] = count;
    std::vector<uint8_t> block;
    trevok::ByteWriter writer(block);
    for (uint32_t w : words)
        writer.U32(w);
    return ClientServices::Get().Request(block.data(), static_cast<uint32_t>(block.size()), false);
}

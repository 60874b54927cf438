#include "session/client_apply.h"

#include "session/client_hooks.h"
#include "session/client_rows.h"

#include "app/app_time.h"
#include "objects/role_classes.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/typed_objects.h"
#include "objects/inventory.h"
#include "objects/client_effects.h"
#include "objects/orders.h"
#include "objects/weapon_state.h"
#include "script/records.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "platform/byte_cursor.h"

#include <array>
#include <bit>
#include <cmath>

namespace Client {
namespace {

// Sequences an object can be asked to play: the numbered ones stop at 96.
constexpr uint32_t kMaxSequence = 127;
constexpr int32_t kSides = 10;
constexpr int32_t kAmmoTypes = 17;
constexpr int32_t kWeaponTypes = 16;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kOwnFlagCaptured = 282, kOtherFlagCaptured = 283;
constexpr int32_t kSoundMagazineEmptied = 34;

using detail::Handler;
using detail::Object;
using detail::ObjectAs;
using detail::Ok;
using detail::Words;


bool ValidSide(int32_t side) { return side >= 0 && side < kSides; }

script::Role* RoleOf(uint32_t id)
{
    return id > 0x7FFFFFFFu ? nullptr : RoleTable::Global().FindById(static_cast<int32_t>(id));
}

Applied Damage(const Words& w)
{
    WorldObject* victim = Object(w);
    if (!victim)
        return Applied::kRefused;
    victim->TakeDamage(w.I(2));
    return Applied::kApplied;
}

// {41, 0, node, target word, 0, object id}: the object comes last.
Applied Waypoint(const Words& w)
{
    auto* mover = dynamic_cast<MovingObject*>(WorldObjectTable::FindById(w.U(5)));
    return Ok(mover && mover->AddWaypointOrder(w.U(2), w.I(3)));
}

Applied Motion(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    MotionRecord record;
    if (!mover || !record.Read(w.Bytes(8)))
        return Applied::kRefused;
    const uint32_t type = w.U(0);
    if (type != 51 && mover->IsBusy())
        return Applied::kApplied;  // the idle ends first; the next refresh places it
    if (type == 51) {
        mover->Die(record);
    } else if (type == 42) {
        // The mover's velocity points along the path: steer a second ahead.
        // Standing still on its way (turning on the spot), it walks on to the
        // point it had, and reports walking until a 43.
        if (record.velocity.LengthSquared() > 0.0f) {
            const Vec3 next = record.position + record.velocity;
            mover->ApplyMoving(next, record, next);
        } else {
            const Vec3 next = mover->IsWalking() ? mover->NextPoint() : record.position;
            mover->ApplyMoving(next, record, mover->IsWalking() ? mover->FinalDestination() : next);
        }
    } else {
        mover->ApplyStopped(record);
    }
    return Applied::kApplied;
}

// {40, id, motion record, the point walked to, the path's last waypoint}
Applied FullState(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    MotionRecord record;
    if (!mover || !record.Read(w.Bytes(8)) || !w.Finite(14, 6))
        return Applied::kRefused;
    // A dying replica (message 51) stays where it fell.
    mover->ApplyMoving(w.Point(14), record, w.Point(17));
    return Applied::kApplied;
}

// {27, id, seconds, target}: the server's unit walks into range of its
// target and put an attack on it first in its orders, modifier clear; the
// replica's list does the same, so the server's next order done (94) takes
// off the same order here.
Applied AttackQueued(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    if (!unit || !WorldObjectTable::FindById(w.U(3)))
        return Applied::kRefused;
    LocalOrder order;
    order.kind = LocalOrder::kAttackTarget;
    order.value = w.I(3);
    unit->PushOrderFront(order);
    return Applied::kApplied;
}

Applied AimPoint(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    if (!unit || !w.Finite(3, 3))
        return Applied::kRefused;
    unit->AttackLocation(w.Point(3), w.U(2), false, false);
    return Applied::kApplied;
}

Applied AimObject(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    if (!unit)
        return Applied::kRefused;
    if (w.U(3) == kNone) {
        unit->ClearTarget(w.U(2));
        return Applied::kApplied;
    }
    WorldObject* target = WorldObjectTable::FindById(w.U(3));
    if (!target)
        return Applied::kRefused;
    unit->AttackTarget(target, w.U(2), false, false);
    return Applied::kApplied;
}

Applied StopAim(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    if (!unit)
        return Applied::kRefused;
    unit->ClearTarget(w.U(2));
    return Applied::kApplied;
}

// {48, id}: a one-shot attack ended. Its round went with its launch (49):
// only the fire pose, when it has not started, and the keys' quick weapon.
Applied RoundUsed(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    if (!unit)
        return Applied::kRefused;
    unit->PlayFireSequence();
    if (unit->Readied().readied && ClientHooks::Get().quickWeaponEnd)
        ClientHooks::Get().quickWeaponEnd(*unit);
    return Applied::kApplied;
}

// A shot seen from elsewhere shows where it came from, and its hit where
// it struck another side: the fog clears there for a minute.
constexpr float kLaunchClearing = 25.0f, kHitClearing = 20.0f, kClearingSeconds = 60.0f;
constexpr uint32_t kTimedClearing = 1;

// The shooter's side of a launch: its fire pose, its weapon's report, and
// the round the shot took from its magazine.
void ShooterFired(WorldObject& owner)
{
    auto* unit = dynamic_cast<Unit*>(&owner);
    if (!unit)
        return;
    unit->PlayFireSequence();
    if (const WeaponState* weapon = unit->GetWeapon())
        detail::PlaySoundAt(weapon->sound, unit->Position());
    if (unit->ShotFired(ServerFlags::UnlimitedAmmo().load()))
        detail::PlaySound(kSoundMagazineEmptied);
}

// {49, shooter, target or -1, role, side (low byte), seconds, from,
// orientation, speed, id}
Applied Launch(const Words& w)
{
    script::Role* role = RoleOf(w.U(3));
    // Only the low byte carries the side; the other three carry nothing.
    const int32_t side = static_cast<int32_t>(w.U(4) & 0xFFu);
    const uint32_t id = w.U(14);
    if (!role || !ValidSide(side) || !w.Finite(5, 9) || WorldObjectTable::FindById(id))
        return Applied::kRefused;
    WorldObject::CatchUpClock(w.F(5));
    const Vec3 from = w.Point(6);
    if (side != ClientServices::Get().OwnSide())
        detail::ClearFog(from, kLaunchClearing, kTimedClearing, kClearingSeconds);
    auto* shot = new WorldProjectile(side, role, from, w.Rotation(9), w.F(13), w.U(1), w.I(2), id);
    shot->Activate(static_cast<uint64_t>(std::max<int64_t>(AppTime::GameNow(), 0)), AppTime::GameSeconds());
    const uint32_t flags = shot->GetProjectileFlags();
    if ((flags & WorldProjectile::kFlagLaunchBurst) && ClientHooks::Get().launchBurst)
        ClientHooks::Get().launchBurst(from);
    if (flags & WorldProjectile::kFlagDefogs)
        shot->SetDefogger(true);
    WorldObject* owner = WorldObjectTable::FindById(w.U(1));
    if (owner && owner != shot) {
        ShooterFired(*owner);
        if (const script::CharacterRecord* character = owner->GetCharacter())
            shot->SetDamageFactor(character->damageMultiplier);
    }
    return Applied::kApplied;
}

// What a shot leaves where it ended, unless dense fog hides the point and
// it struck no enemy: the big burst, the spray along its heading.
void ShowImpact(WorldProjectile& shot, const Vec3& point)
{
    const ClientHooks& hooks = ClientHooks::Get();
    const uint32_t flags = shot.GetProjectileFlags();
    if ((flags & WorldProjectile::kFlagHitEffect) && hooks.bigBurst)
        hooks.bigBurst(point);
    if ((flags & WorldProjectile::kFlagSpray) && hooks.spray) {
        float dx = 0, dz = 1;
        shot.HitDirection(dx, dz);
        hooks.spray(point, dx, dz);
    }
}

// The replica struck takes the shot's damage; fire shows where the hit did
// nothing or the shot brings no effect of its own, and a shot that destroys
// dissolves what it killed. True when an enemy was struck.
bool StrikeReplica(WorldProjectile& shot, WorldObject& victim, const Vec3& point)
{
    constexpr float kNoHealthLeft = 0.001f;
    const ClientHooks& hooks = ClientHooks::Get();
    const uint32_t flags = shot.GetProjectileFlags();
    const float before = victim.GetHealthFraction();
    victim.TakeDamage(shot.HitDamage());
    const float after = victim.GetHealthFraction();
    const bool ownEffect = (flags & (WorldProjectile::kFlagHitEffect | WorldProjectile::kFlagSpray)) != 0;
    if ((after == before || !ownEffect) && hooks.shotFire)
        hooks.shotFire(point);
    const bool enemy = victim.Side() != 0 && victim.Side() != ClientServices::Get().OwnSide();
    if (enemy)
        detail::ClearFog(point, kHitClearing, kTimedClearing, kClearingSeconds);
    if ((flags & WorldProjectile::kFlagDestroys) && (!victim.IsAlive() || after < kNoHealthLeft)) {
        if (hooks.destructionEffect)
            hooks.destructionEffect(victim);
        victim.Remove();
    }
    return enemy;
}

// {50, id, victim or -1, seconds, impact point}: the shot ends there. The
// victim takes the hit's damage here: the server reports only a blast's
// share with damage messages of their own.
Applied ShotEnded(const Words& w)
{
    if (!w.Finite(3, 4))
        return Applied::kRefused;
    const Vec3 point = w.Point(4);
    auto* shot = ObjectAs<WorldProjectile>(w);
    if (!shot) {
        // A shot this client never saw changes no replica; where it struck
        // still shows.
        if (ClientEffects().shotImpact)
            ClientEffects().shotImpact(point);
        return Applied::kRefused;
    }
    WorldObjectRef keep(shot);
    WorldObject::CatchUpClock(w.F(3));
    const bool onGround = w.U(2) == kNone;
    WorldObject* victim = onGround ? nullptr : WorldObjectTable::FindById(w.U(2));
    if (victim == shot)
        victim = nullptr;
    bool enemyStruck = false;
    if (onGround) {
        TypedObject11::CheckAll(point);
        if (ClientHooks::Get().groundHit)
            ClientHooks::Get().groundHit(point);
    } else if (victim) {
        WorldObjectRef struck(victim);
        enemyStruck = StrikeReplica(*shot, *victim, point);
    }
    if (enemyStruck || !detail::UnderDenseFog(point))
        ShowImpact(*shot, point);
    const script::Role* role = shot->GetRole();
    if (role && role->projectile)
        detail::PlaySoundAt(role->projectile->sound, point);
    shot->EndAt(point);
    if (!victim && ClientEffects().shotImpact)
        ClientEffects().shotImpact(point);
    return Applied::kApplied;
}

Applied Removed(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    object->Remove();
    return Applied::kApplied;
}

Applied Deploy(const Words& w)
{
    auto* unit = ObjectAs<TypedUnit16>(w);
    if (!unit)
        return Applied::kRefused;
    unit->PlayDeployment();
    return Applied::kApplied;
}

Applied Crouch(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    if (!mover)
        return Applied::kRefused;
    const uint8_t hidden = w.Bytes(8).empty() ? 0 : w.Bytes(8)[0];
    mover->SetCrouch(w.U(0) == 54, hidden != 0);
    return Applied::kApplied;
}

Applied Sequence(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object || w.U(2) > kMaxSequence)
        return Applied::kRefused;
    object->PlaySequence(static_cast<int32_t>(w.U(2)));
    return Applied::kApplied;
}

// {56, id, sequence, seconds}: the server times it a second ahead; one
// that arrives after the replica's clock passed that time is stale.
Applied TimedSequence(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object || w.U(2) > kMaxSequence || !w.Finite(3, 1))
        return Applied::kRefused;
    object->PlaySequenceSince(static_cast<int32_t>(w.U(2)), w.F(3));
    return Applied::kApplied;
}

Applied SideChange(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object || !ValidSide(w.I(2)))
        return Applied::kRefused;
    object->SetSide(w.I(2));
    return Applied::kApplied;
}

Applied Progress(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object || !w.Finite(2, 2))
        return Applied::kRefused;
    object->SetProgress(w.F(2), w.F(3));
    return Applied::kApplied;
}

// 59 taken, 60 dropped, 61 captured: {type, carrier, flag's side}.
Applied Flag(const Words& w)
{
    auto* carrier = ObjectAs<MovingObject>(w);
    if (!carrier || !TeamTable::Find(w.I(2)))
        return Applied::kRefused;
    switch (w.U(0)) {
    case 59: carrier->OnFlagTaken(w.I(2)); break;
    case 60: carrier->OnFlagDropped(); break;
    default:
        // A repeated capture (the carrier no longer holds that flag) scores nothing.
        if (carrier->GetCarriedFlag() != w.I(2) || !carrier->OnFlagCaptured())
            return Applied::kRefused;
        if (const auto& notice = ClientHooks::Get().flagNotice)
            notice(w.I(2) == TeamTable::OwnSide() ? kOwnFlagCaptured : kOtherFlagCaptured);
        break;
    }
    return Applied::kApplied;
}

Applied ViewRange(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    if (!mover || !w.Finite(2, 1))
        return Applied::kRefused;
    mover->AddViewRange(w.F(2));
    return Applied::kApplied;
}

// {63, id, motion record, delta}
Applied Speed(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    MotionRecord record;
    if (!mover || !record.Read(w.Bytes(8)))
        return Applied::kRefused;
    mover->ChangeSpeed(w.I(14), record);
    return Applied::kApplied;
}

// {67, id, role, side, position, orientation}
Applied Spawned(const Words& w)
{
    script::Role* role = RoleOf(w.U(2));
    const int32_t side = w.I(3);
    if (!role || !ValidSide(side) || !w.Finite(4, 7) || WorldObjectTable::FindById(w.U(1)))
        return Applied::kRefused;
    return Ok(WorldObject::CreateFromMessage(side, role, w.Point(4), w.Rotation(7), w.U(1)) != nullptr);
}

// 68 {68, requester}: every other squad member that can act holds.
// 69 {69, id}: that replica's hold order goes.
Applied Hold(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    if (!mover)
        return Applied::kRefused;
    if (w.U(0) == 69) {
        mover->RemoveHoldOrder();
        return Applied::kApplied;
    }
    for (WorldObject* member : WorldObjectTable::SquadList()) {
        if (member != mover && member->IsMobile() && member->IsSelectable())
            static_cast<MovingObject*>(member)->InsertHoldOrder();
    }
    return Applied::kApplied;
}

// {74, id, explosion number or -1}: the replica's own role says how it
// goes; one without a destruction record shows nothing.
Applied Destroyed(const Words& w)
{
    constexpr int32_t kSoundExplosion = 14, kSoundBreakUp = 15;
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    const script::Role* role = object->GetRole();
    if (!role || !role->destruction)
        return Applied::kApplied;
    const int32_t kind = role->destruction->type;
    object->OnDestroyed(w.U(2));
    if (kind == 3)
        detail::PlaySound(kSoundBreakUp);
    else if (kind != 1 && kind != 4)
        detail::PlaySound(kSoundExplosion);
    return Applied::kApplied;
}

// {76, id, seconds, position, orientation}
Applied Placement(const Words& w)
{
    WorldObject* object = Object(w);
    if (object && object->IsBusy())
        return Applied::kApplied;
    return Ok(object && object->SetPlacement(w.Point(3), w.Rotation(6), w.F(2)));
}

Applied Sweep(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    if (!unit)
        return Applied::kRefused;
    unit->StartSweep(w.U(2));
    return Applied::kApplied;
}

// 87 used up {87, id, item}; 89 given {89, id, item, recipient}.
Applied ItemGone(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    if (!mover)
        return Applied::kRefused;
    return Ok(w.U(0) == 89 ? mover->PassItem(w.I(2), w.U(3)) : mover->RemoveItem(w.I(2)));
}

Applied Ammo(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    if (!unit || w.I(2) < 0 || w.I(2) >= kAmmoTypes)
        return Applied::kRefused;
    unit->ChangeAmmo(w.I(2));
    return Applied::kApplied;
}

Applied Weapon(const Words& w)
{
    auto* unit = ObjectAs<Unit>(w);
    const int32_t type = w.I(2);
    if (!unit || (type != kNoWeapon && (type < 0 || type >= kWeaponTypes)))
        return Applied::kRefused;
    unit->SetWeaponRole(type);
    return Applied::kApplied;
}

Applied OrderDone(const Words& w)
{
    auto* mover = ObjectAs<MovingObject>(w);
    if (!mover)
        return Applied::kRefused;
    mover->PopOrder();
    return Applied::kApplied;
}

// {98, previous segment, new segment}
Applied Linked(const Words& w)
{
    auto* segment = ObjectAs<TypedUnit13>(w);
    WorldObject* next = WorldObjectTable::FindById(w.U(2));
    if (!segment || !next || next == segment)
        return Applied::kRefused;
    segment->SetLinkedObject(next);
    return Applied::kApplied;
}

// {99, id, next event number, sever point}
Applied Severed(const Words& w)
{
    WorldObject* object = Object(w);
    const script::Role* role = object ? object->GetRole() : nullptr;
    if (!role || w.U(3) >= role->severPoints.size())
        return Applied::kRefused;
    // The event number is the server's; the piece takes an id of the client's own.
    object->DetachPart(w.U(3));
    object->OnPartsChanged();
    return Applied::kApplied;
}

// 106 forwards, 107 backwards: {type, id, n, n rider ids}
Applied LiftStarts(const Words& w)
{
    auto* lift = ObjectAs<TypedObject8>(w);
    if (!lift)
        return Applied::kRefused;
    const uint32_t count = w.U(2);
    std::vector<uint32_t> riders;
    riders.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t id = w.U(3 + i);
        if (!WorldObjectTable::FindById(id))
            return Applied::kRefused;
        riders.push_back(id);
    }
    return Ok(lift->StartWithRiders(w.U(0) == 107, riders));
}

Applied LiftState(const Words& w)
{
    auto* lift = ObjectAs<TypedObject8>(w);
    if (!lift)
        return Applied::kRefused;
    const uint64_t now = static_cast<uint64_t>(std::max<int64_t>(AppTime::GameNow(), 0));
    switch (w.U(0)) {
    case 108: lift->SetState(lift->Direction()); break;
    case 109: lift->PauseTimer(now); break;
    default: lift->ResumeTimer(now); break;
    }
    return Applied::kApplied;
}

Applied RoleChanged(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    if (w.U(2) == kNone) {
        object->SetRole(nullptr);
        return Applied::kApplied;
    }
    script::Role* role = RoleOf(w.U(2));
    if (!role)
        return Applied::kRefused;
    object->SetRole(role);
    return Applied::kApplied;
}

// {92 | 93 | 100, id}: a switch linked, an item left collected, a switch spent.
Applied ItemState(const Words& w)
{
    auto* item = ObjectAs<TypedObject10>(w);
    if (!item)
        return Applied::kRefused;
    switch (w.U(0)) {
    case 92: item->MarkSwitch(); break;
    case 93: item->MarkTaken(); break;
    default: item->MarkSpent(); break;
    }
    return Applied::kApplied;
}

using detail::kLastType;

detail::Table MakeTable()
{
    detail::Table table{};
    table[27] = AttackQueued;
    table[38] = table[39] = Damage;
    table[40] = FullState;
    table[41] = Waypoint;
    table[42] = table[43] = table[51] = Motion;
    table[45] = AimPoint;
    table[46] = AimObject;
    table[47] = StopAim;
    table[48] = RoundUsed;
    table[49] = Launch;
    table[50] = ShotEnded;
    table[52] = Removed;
    table[53] = Deploy;
    table[54] = table[55] = Crouch;
    table[56] = TimedSequence;
    table[57] = SideChange;
    table[58] = Progress;
    table[59] = table[60] = table[61] = Flag;
    table[62] = ViewRange;
    table[63] = Speed;
    table[67] = Spawned;
    table[68] = table[69] = Hold;
    table[74] = Destroyed;
    table[76] = Placement;
    table[77] = Sweep;
    table[87] = table[89] = ItemGone;
    table[90] = Ammo;
    table[91] = Weapon;
    table[92] = table[93] = table[100] = ItemState;
    table[94] = OrderDone;
    table[98] = Linked;
    table[99] = Severed;
    table[106] = table[107] = LiftStarts;
    table[108] = table[109] = table[110] = LiftState;
    table[118] = RoleChanged;
    table[119] = Sequence;
    detail::AddSessionRows(table);
    detail::AddItemRows(table);
    return table;
}

const detail::Table kTable = MakeTable();

} // namespace

Applied ApplyServerMessage(std::span<const uint8_t> block)
{
    if (!MessageSizes::Fits(MessageSizes::Direction::kToClient, block))
        return Applied::kRefused;
    const Words words(block);
    const uint32_t type = words.U(0);
    if (type > kLastType || !kTable[type])
        return Applied::kNotHere;
    return kTable[type](words);
}

void InstallObjectServices(bool serverRunsHere, int32_t ownSide)
{
    ClientServices& services = ClientServices::Get();
    services.sendRequest = [](const void* block, uint32_t size, bool guaranteed) {
        return SendToServer(block, size, guaranteed);
    };
    services.serverRunsHere = serverRunsHere;
    services.sendToClients = nullptr;
    if (serverRunsHere) {
        services.sendToClients = [](const void* block, uint32_t size, bool guaranteed) {
            return ServerLink::Get().Send(block, size, guaranteed);
        };
    }
    services.ownSide = ownSide;
}

} // namespace Client

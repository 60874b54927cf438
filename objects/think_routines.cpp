// The think routines of devices, noise-shy creatures, homing bombs,
// spawners and the idle-stopping type.
#include "objects/think_routines.h"

#include "app/math_tables.h"
#include "objects/ai.h"
#include "objects/object_registry.h"
#include "objects/orders.h"
#include "objects/perception.h"
#include "objects/role_table.h"
#include "objects/server_kinds.h"
#include "objects/server_link.h"
#include "objects/unit_actor.h"
#include "script/records.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kMine = 0;
constexpr int32_t kMaxAlive = 6;
constexpr float kBlastNoiseValue = 20;
constexpr int32_t kDecoyPulse = 30;
constexpr int32_t kSoundDecoyPulse = 14;
constexpr int32_t kMovingNoise = 5;
constexpr float kBombReach = 2.25f;      // squared: 1.5 m
constexpr float kLoneBombReach = 6.25f;  // squared: 2.5 m
constexpr float kBombBlast = 16.0f;      // squared: 4 m
constexpr float kNoiseReach = 36.0f;     // squared: 6 m

uint64_t TicksPerSecond() { return ServerLink::Get().TicksPerSecond(); }
uint64_t Ticks(float seconds)
{
    return static_cast<uint64_t>(static_cast<double>(seconds) * static_cast<double>(TicksPerSecond()));
}
float Seconds(uint64_t time)
{
    const uint64_t tps = TicksPerSecond();
    return tps ? static_cast<float>(static_cast<double>(time) / static_cast<double>(tps)) : 0;
}
float Distance2(const GameObject& a, const GameObject& b) { return (a.Position() - b.Position()).LengthSquared(); }
float SightSquared(const GameObject& object) { return object.GetSightRange() * object.GetSightRange(); }
int32_t DeviceKindOf(const GameObject& object)
{
    const script::CharacterRecord* character = object.GetCharacter();
    return character ? character->weapon : kMine;
}
Actor* AsActor(GameObject& object) { return object.IsActor() ? static_cast<Actor*>(&object) : nullptr; }

// Every object of every side but `own`, in side then list order.
template <class Visit>
void ForEachOtherTeam(int32_t own, Visit&& visit)
{
    for (int32_t side = 0; side < Perception::SideCount(); ++side) {
        if (side == own)
            continue;
        for (GameObject* object : Perception::SideObjects(side)) {
            if (visit(*object))
                return;
        }
    }
}

void SendPoint(uint32_t type, const Vec3& p) { OutMessage(type).Point(p).Send(false); }

void Hurt(GameObject& victim, int32_t damage)
{
    OutMessage(ObjectMessage::kDamage).U32(victim.GetId()).I32(damage).Send(false);
    victim.TakeDamage(damage);
}

// A homing bomb's blast: itself and everything within 4 m.
void BlowUp(GameObject& bomb, uint64_t time)
{
    const Vec3 at = bomb.Position();
    SendPoint(AiMessage::kBombBlast, at);
    ObjectTrackers::Add(static_cast<int32_t>(kBlastNoiseValue), kMovingNoise, at, at, time, time);
    const int32_t damage = bomb.GetRole() ? bomb.GetRole()->limit : 0;
    ObjectRegistry::PassScope pass;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        if (object->IsAlive() && (object->Position() - at).LengthSquared() < kBombBlast)
            Hurt(*object, damage);
    }
}

void Follow(GameObject& bomb, GameObject* target) { bomb.followed_ = RefPtr<GameObject>(target); }

void StopChasing(GameObject& bomb, float now)
{
    if (Actor* actor = AsActor(bomb))
        actor->Stop(now);
    bomb.aiState_ = AiState::kInitial;
    bomb.followed_.Reset();
}

bool IdleCheck(Actor& actor) { return !actor.NextWaypoint() && !actor.NeedsPath() && actor.Waypoints().empty(); }

// A chasing bomb's alarm circle over its own side, as the combat routine's:
// only the living answer (a dead bomb never sets off after anything).
void SpreadBombAlarm(GameObject& bomb, uint64_t time)
{
    const float left = time < bomb.alertEnd_ ? Seconds(bomb.alertEnd_ - time) : 0;
    const Actor* self = AsActor(bomb);
    const float radius = self ? const_cast<Actor*>(self)->AlertRadius() : 0;
    const float radius2 = radius * radius * left / 5.0f;
    for (GameObject* mate : Perception::SideObjects(bomb.Side())) {
        if (mate == &bomb || !mate->IsAlive() || Distance2(*mate, bomb) >= radius2)
            continue;
        if (mate->aiType_ == 0 && mate->aiState_ != 0 && mate->aiState_ != 1 && mate->alertLevel_ == 0) {
            mate->aiState_ = 0;
            mate->aiPoint_ = bomb.aiPoint_;
            mate->flags_ &= ~kObjectAimsAtPoint;
        } else if (mate->aiType_ == 3 && mate->aiState_ != 7 && bomb.followed_) {
            Ai::StartChase(*mate, *bomb.followed_, time);
        }
    }
}

bool TryBlast(GameObject& bomb, uint64_t time, float reach, bool skipDevices)
{
    bool blown = false;
    ForEachOtherTeam(bomb.Side(), [&](GameObject& other) {
        if (other.IsAlive() && !(skipDevices && other.aiType_ == 2) && Distance2(other, bomb) < reach) {
            BlowUp(bomb, time);
            blown = true;
            return true;
        }
        return false;
    });
    return blown;
}

// A spawner's role names, cached once from its role's list.
bool SpawnOne(Kind14Actor& spawner, uint64_t time, GameObject* seen)
{
    const std::vector<std::string>& names = spawner.SpawnNames();
    if (names.empty())
        return false;  // nothing to make
    const std::string& name = names[AiRandom::Next() % names.size()];
    script::Role* role = RoleTable::Global().FindByName(name);
    if (!role)
        return false;
    const uint32_t id = ServerLink::Get().Spawn(spawner.Side(), role, spawner.Position(), Quaternion::Identity());
    if (id == 0)
        return false;
    // What its activation already removed is counted but sent nowhere.
    GameObject* made = ObjectRegistry::Global().Find(id);
    if (Actor* actor = made && seen ? AsActor(*made) : nullptr)
        actor->SetMoveTarget(seen->GetPolygon(), Seconds(time));
    spawner.spawned_.push_back(id);
    spawner.lastSpawn_ = time;
    ++spawner.spawnedCount_;
    return true;
}

int32_t AliveSpawned(Kind14Actor& spawner)
{
    int32_t alive = 0;
    for (uint32_t id : spawner.spawned_) {
        if (GameObject* object = ObjectRegistry::Global().Find(id); object && object->IsAlive())
            ++alive;
    }
    return alive;
}

void PruneSpawned(Kind14Actor& spawner)
{
    std::erase_if(spawner.spawned_, [](uint32_t id) { return ObjectRegistry::Global().Find(id) == nullptr; });
}

// No other routine fills the table: 20 headings spread evenly round the
// turn keep the creatures milling about rather than standing still.
std::array<Ai::GroupVector, Ai::kGroupVectors> EvenHeadings()
{
    std::array<Ai::GroupVector, Ai::kGroupVectors> table{};
    for (int32_t i = 0; i < Ai::kGroupVectors; ++i) {
        const double angle = 6.283185307179586 * i / Ai::kGroupVectors;
        table[static_cast<size_t>(i)].direction = {static_cast<float>(std::sin(angle)), 0,
                                                   static_cast<float>(std::cos(angle))};
    }
    return table;
}

std::array<Ai::GroupVector, Ai::kGroupVectors> g_groupVectors = EvenHeadings();
int32_t g_groupIndex = 0;

} // namespace

// ---- Devices -----------------------------------------------------------------

int32_t Ai::ThinkType2(GameObject& device, uint64_t time)
{
    if (time < device.nextThink_ || (device.flags_ & kObjectDetonated))
        return 0;
    device.nextThink_ = time + Ticks(2);
    switch (DeviceKindOf(device)) {
    case kMine: {
        const float reach = SightSquared(device);
        GameObject* trigger = nullptr;
        ForEachOtherTeam(device.Side(), [&](GameObject& other) {
            if (!other.IsAlive() || Distance2(other, device) >= reach)
                return false;
            const bool listed = std::find(device.deviceRoles_.begin(), device.deviceRoles_.end(), other.GetRole()) !=
                                device.deviceRoles_.end();
            if (listed && other.GetTarget() == &device)
                return false;
            trigger = &other;
            return true;
        });
        if (trigger)
            Detonate(device, time);
        break;
    }
    case DeviceKind::kRemoteMine: break;
    case DeviceKind::kTimedMine: Detonate(device, time); break;
    case DeviceKind::kDecoy: {
        device.nextThink_ = time + Ticks(6);
        const script::CharacterRecord* character = device.GetCharacter();
        const float r = character ? character->hearingRange : 0;
        const float d = r * 0.70710678f;
        const Vec3 at = device.Position();
        const Vec3 offsets[9] = {{0, 0, 0}, {r, 0, 0}, {-r, 0, 0}, {0, 0, r}, {0, 0, -r},
                                 {d, 0, d}, {d, 0, -d}, {-d, 0, d}, {-d, 0, -d}};
        for (const Vec3& offset : offsets)
            ObjectTrackers::Add(kDecoyPulse, kMovingNoise, at + offset, at, time + Ticks(0.3f), time);
        ServerOutbox::Global().Cue({kSoundDecoyPulse, at, true});
        if (time > device.alertEnd_)
            device.Remove(true);
        break;
    }
    default: break;
    }
    return 0;
}

void Ai::Detonate(GameObject& device, uint64_t time)
{
    if (device.flags_ & kObjectDetonated)
        return;
    // Marked before the blast so a chain never comes back to it, and removed
    // whether or not it has hit points: a device without strength would
    // otherwise stay and go off on every think.
    device.flags_ |= kObjectDetonated;
    GameObjectRef hold(&device);
    const Vec3 at = device.Position();
    SendPoint(AiMessage::kDeviceBlast, at);
    ObjectTrackers::Add(static_cast<int32_t>(kBlastNoiseValue), kMovingNoise, at, at, device.nextThink_, time);
    const int32_t damage = device.GetRole() ? device.GetRole()->limit : 0;
    const float reach = SightSquared(device);
    device.Remove(true);
    ObjectRegistry::PassScope pass;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        if (!object->IsAlive() || (object->Position() - at).LengthSquared() >= reach)
            continue;
        if (object->aiType_ == 2)
            Detonate(*object, time);
        else
            Hurt(*object, damage);
    }
}

// ---- Type 1 ------------------------------------------------------------------

std::array<Ai::GroupVector, Ai::kGroupVectors>& Ai::GroupVectors() { return g_groupVectors; }
int32_t& Ai::GroupVectorIndex() { return g_groupIndex; }

void Ai::ResetGroupVectors()
{
    g_groupVectors = EvenHeadings();
    g_groupIndex = 0;
}

void Ai::ClampToLevel(GameObject& object, float margin, Vec3& velocity)
{
    Level* level = Level::Current();
    if (!level)
        return;
    Vec3 p = object.Position();
    const auto clamp = [&](float& coordinate, float low, float high, float& component) {
        if (coordinate < low + margin) {
            coordinate = low + margin;
            component = -component;
        } else if (coordinate > high - margin) {
            coordinate = high - margin;
            component = -component;
        }
    };
    clamp(p.x, level->minimum_.x, level->maximum_.x, velocity.x);
    clamp(p.z, level->minimum_.z, level->maximum_.z, velocity.z);
    object.SetPosition(p);
}

int32_t Ai::ThinkType1(GameObject& object, uint64_t time)
{
    if (time < object.nextThink_)
        return 0;
    object.nextThink_ = time + Ticks(2);
    float best = 10000;
    for (const NoiseRecord& noise : ObjectTrackers::All()) {
        const float d2 = (noise.first - object.Position()).LengthSquared();
        if (d2 > kNoiseReach || d2 >= best)
            continue;
        best = d2;
        if (!object.fleeing_) {
            object.fleeing_ = true;
            object.aiPoint_ = noise.first;
        } else if (d2 < (object.aiPoint_ - object.Position()).LengthSquared()) {
            object.aiPoint_ = noise.first;
        }
    }
    // The index wraps: every type-1 think advances it and nothing else resets it.
    g_groupIndex = ((g_groupIndex % kGroupVectors) + kGroupVectors) % kGroupVectors;
    GroupVector& entry = g_groupVectors[static_cast<size_t>(g_groupIndex)];
    const Vec3 anchor = object.hasHome_ ? object.home_ : object.Position();
    Actor* actor = AsActor(object);
    const bool keepOn = object.IsWalking() && GroundCosine(anchor - object.Position(), entry.direction) >= 0.25f;
    if (actor && !keepOn) {
        const script::CharacterRecord* character = object.GetCharacter();
        const float speed = character ? static_cast<float>(character->walkingSpeed) / 65536.0f : 0;
        actor->WalkTo(object.Position() + entry.direction * speed);
    }
    ClampToLevel(object, object.radius_, entry.direction);
    g_groupIndex = (g_groupIndex + 1) % kGroupVectors;
    return 0;
}

// ---- Homing bombs ------------------------------------------------------------

void Ai::StartChase(GameObject& bomb, GameObject& target, uint64_t time)
{
    bomb.aiState_ = 7;
    OutMessage(AiMessage::kChaseStarted).Point(bomb.Position()).F32(20.0f).U32(0x30001).Send(false);
    if (Actor* actor = AsActor(bomb))
        actor->SetMoveTarget(target.GetPolygon(), Seconds(time));
    Follow(bomb, &target);
    bomb.alertEnd_ = time + Ticks(5);
}

int32_t Ai::ThinkType3(GameObject& bomb, uint64_t time)
{
    if (time < bomb.nextThink_)
        return 0;
    bomb.nextThink_ = time + Ticks(1);
    GameObjectRef hold(&bomb);
    if (bomb.aiState_ != 7) {
        const float reach = SightSquared(bomb);
        ForEachOtherTeam(bomb.Side(), [&](GameObject& other) {
            if (other.IsAlive() && Distance2(other, bomb) < reach)
                StartChase(bomb, other, time);
            return false;
        });
        return 0;
    }
    if (time > bomb.alertEnd_)
        bomb.alertEnd_ = time + Ticks(5);
    SpreadBombAlarm(bomb, time);
    if (TryBlast(bomb, time, kBombReach, false))
        return 0;
    Actor* actor = AsActor(bomb);
    if (bomb.followed_ && bomb.followed_->IsAlive()) {
        if (actor)
            actor->WalkTo(bomb.followed_->Position());
    } else {
        StopChasing(bomb, Seconds(time));
    }
    return 0;
}

int32_t Ai::ThinkType15(GameObject& bomb, uint64_t time)
{
    if (time < bomb.nextThink_)
        return 0;
    bomb.nextThink_ = time + Ticks(1);
    GameObjectRef hold(&bomb);
    Actor* actor = AsActor(bomb);
    const float now = Seconds(time);
    if (bomb.aiState_ == AiState::kPathfinding) {
        if (TryBlast(bomb, time, kLoneBombReach, true))
            return 0;
        if (!bomb.followed_ || !bomb.followed_->IsAlive()) {
            StopChasing(bomb, now);
            return 0;
        }
        if (!actor)
            return 0;
        CollisionPolygon* from = bomb.GetPolygon();
        CollisionPolygon* to = bomb.followed_->GetPolygon();
        if (from && to && from->IsLinkedTo(to) && !actor->IsWalking() && !actor->NeedsPath() &&
            actor->Waypoints().empty())
            actor->WalkTo(bomb.followed_->Position());
        if (IdleCheck(*actor)) {
            actor->Stop(actor->OrderTime());
            if (!actor->IsWalking() && actor->Waypoints().empty() && !actor->NeedsPath())
                bomb.aiState_ = AiState::kInitial;
        }
        return 0;
    }
    const float reach = SightSquared(bomb);
    ForEachOtherTeam(bomb.Side(), [&](GameObject& other) {
        if (other.IsAlive() && other.aiType_ != 2 && Distance2(other, bomb) < reach) {
            bomb.aiState_ = AiState::kPathfinding;
            if (actor)
                actor->SetMoveTarget(other.GetPolygon(), now);
            Follow(bomb, &other);
        }
        return false;
    });
    return 0;
}

// ---- Spawners and the rest ---------------------------------------------------

int32_t Ai::ThinkType14(GameObject& object, uint64_t time)
{
    if (time < object.nextThink_ || !object.IsKind(Kind14Actor::kAiType))
        return 0;
    auto& spawner = static_cast<Kind14Actor&>(object);
    object.nextThink_ = time + Ticks(1);
    if (spawner.spawnedCount_ >= spawner.generationLimit_)
        return 0;
    const auto due = [&] {
        return static_cast<double>(time - std::min(time, spawner.lastSpawn_)) * static_cast<double>(object.aggression_) >
               static_cast<double>(Ticks(1));
    };
    if (spawner.triggered_) {
        if (AliveSpawned(spawner) < kMaxAlive) {
            if (due())
                SpawnOne(spawner, time, nullptr);
        } else {
            PruneSpawned(spawner);
        }
        return 0;
    }
    const float reach = SightSquared(object);
    ForEachOtherTeam(object.Side(), [&](GameObject& other) {
        if (!other.IsAlive() || Distance2(other, object) >= reach)
            return false;
        if (spawner.alertable_)
            spawner.triggered_ = true;
        if (AliveSpawned(spawner) < kMaxAlive) {
            return due() && SpawnOne(spawner, time, &other);
        }
        PruneSpawned(spawner);
        return false;
    });
    return 0;
}

int32_t Ai::ThinkType7(GameObject& object, uint64_t time)
{
    if (time < object.nextThink_)
        return 0;
    if (Actor* actor = AsActor(object); actor && IdleCheck(*actor))
        actor->Stop(actor->OrderTime());
    return 0;
}

#include "objects/level_triggers.h"

#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

LevelTrigger* AppendLevelTrigger()
{
    auto* record = new LevelTrigger;
    LevelTriggers::All().PushBack(record);
    return record;
}

LevelTrigger::~LevelTrigger()
{
    List<LevelTrigger*>& all = LevelTriggers::All();
    for (List<LevelTrigger*>::Iterator it(all); !it.AtEnd(); it.Next()) {
        if (*it.Get() == this) {
            it.Erase();
            break;
        }
    }
}

namespace LevelTriggers {
namespace {

TriggerHooks g_hooks;

// Bit 6 of a polygon's flag word: an actor's movement state stands on it.
constexpr uint32_t kPolygonOccupied = 0x40;

int32_t SideCount()
{
    return std::min<int32_t>(static_cast<int32_t>(TeamTable::Count()), SideLists::kSides);
}

const std::vector<GameObject*>& Units(int32_t side) { return SideLists::Global().Side(side); }

float DistanceSquared(const Vec3& a, const Vec3& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Strictly inside for every kind but LOCATION_ALL and ESCORT, which take
// the edge as inside.
bool Inside(const LevelTrigger& t, const GameObject& unit, const Vec3& centre)
{
    const float d = DistanceSquared(unit.Position(), centre);
    const bool atOrBelow = t.kind_ == uint32_t(TriggerKind::LocationAll) || t.kind_ == uint32_t(TriggerKind::Escort);
    return atOrBelow ? d <= t.radiusSquared_ : d < t.radiusSquared_;
}

bool NamedId(const std::string& name, uint32_t& id)
{
    float value = 0;
    if (!g_hooks.namedValue || !g_hooks.namedValue(name, value) || !std::isfinite(value))
        return false;
    const float rounded = std::nearbyint(value);
    if (rounded < 0.0f || rounded > 4294967295.0f)
        id = 0;  // no object carries such an id
    else
        id = static_cast<uint32_t>(rounded);
    return true;
}

GameObject* LiveObject(const std::string& name)
{
    uint32_t id = 0;
    if (!NamedId(name, id))
        return nullptr;
    GameObject* object = ObjectRegistry::Global().Find(id);
    return object && object->IsAlive() ? object : nullptr;
}

// Whether a qualifying unit of a player side stands inside around `centre`.
bool PlayerUnitInside(const LevelTrigger& t, const Vec3& centre)
{
    for (int32_t side = 0; side < SideCount(); ++side) {
        if (!TeamTable::IsSquadSide(side))
            continue;
        for (GameObject* unit : Units(side))
            if (unit->CountsForTriggers() && Inside(t, *unit, centre))
                return true;
    }
    return false;
}

bool DeathHolds(const LevelTrigger& t)
{
    if (t.names_.empty())
        return false;
    for (const std::string& name : t.names_) {
        uint32_t id = 0;
        if (!NamedId(name, id))
            return false;
        const GameObject* object = ObjectRegistry::Global().Find(id);
        if (object && object->IsAlive())
            return false;
    }
    return true;
}

bool LocationAllHolds(const LevelTrigger& t)
{
    bool fire = false;
    for (int32_t side = 0; side < SideCount(); ++side) {
        if (!TeamTable::IsSquadSide(side))
            continue;
        for (GameObject* unit : Units(side)) {
            if (!unit->CountsForTriggers())
                continue;
            if (!Inside(t, *unit, t.positions_[0])) {
                fire = false;
                break;
            }
            fire = true;
        }
    }
    return fire;
}

void InstantDeath(const LevelTrigger& t)
{
    for (int32_t side = 0; side < SideCount(); ++side) {
        GameObject* victim = nullptr;
        for (GameObject* unit : Units(side)) {
            if (unit->CountsForTriggers() && Inside(t, *unit, t.positions_[0])) {
                victim = unit;
                break;
            }
        }
        if (victim)
            victim->Remove(true);  // after the walk: removal edits the side list
    }
}

CollisionPolygon* PolygonAt(const Vec3& point)
{
    if (g_hooks.polygonAt)
        return g_hooks.polygonAt(point);
    Level* level = Level::Current();
    if (!level)
        return nullptr;
    LockGuard hold(level->lock_, false);
    return level->FindPolygonAt(point);
}

void SendDisplaced(const GameObject& unit)
{
    uint8_t message[40];
    const ServerLink& link = ServerLink::Get();
    const uint32_t words[2] = {TriggerMessage::kDisplaced, unit.GetId()};
    const Quaternion& q = unit.Orientation();
    const float floats[8] = {link.Seconds(), unit.Position().x, unit.Position().y, unit.Position().z, q.x, q.y, q.z, q.w};
    std::memcpy(message, words, sizeof words);
    std::memcpy(message + 8, floats, sizeof floats);
    link.Send(message, sizeof message, true);
}

// With no polygon under the second position there is nowhere to put the
// units, so nothing moves.
void InstantDisplace(const LevelTrigger& t)
{
    CollisionPolygon* target = PolygonAt(t.positions_[1]);
    if (!target)
        return;
    const Vec3 destination = *target->Centre();
    for (int32_t side = 0; side < SideCount(); ++side) {
        for (GameObject* unit : Units(side)) {
            if (!unit->CountsForTriggers() || !Inside(t, *unit, t.positions_[0]))
                continue;
            {
                ServerLinkHold hold;
                unit->SetPosition(destination);
                if (CollisionPolygon* old = unit->MovementPolygon()) {
                    old->flags_ &= ~kPolygonOccupied;
                    unit->TakeMovementPolygon(target, destination);
                }
            }
            SendDisplaced(*unit);
        }
    }
}

bool EscortHolds(const LevelTrigger& t)
{
    if (t.names_.empty())
        return false;
    for (const std::string& name : t.names_) {
        const GameObject* object = LiveObject(name);
        if (!object || !Inside(t, *object, t.positions_[0]))
            return false;
    }
    return true;
}

bool ProximityHolds(const LevelTrigger& t)
{
    if (t.names_.empty())
        return false;
    const GameObject* watched = LiveObject(t.names_.front());
    return watched && PlayerUnitInside(t, watched->Position());
}

void SetDoors(const LevelTrigger& t, bool open)
{
    for (const std::string& name : t.names_) {
        GameObject* door = LiveObject(name);
        if (!door)
            break;
        door->SetDoorState(open);
    }
}

// True when it acted (the trigger then goes without its script).
bool DoorOnce(const LevelTrigger& t)
{
    for (int32_t side = 0; side < SideCount(); ++side) {
        if (!TeamTable::IsSquadSide(side))
            continue;
        for (GameObject* unit : Units(side)) {
            if (!unit->CountsForTriggers() || !TeamTable::IsSquadSide(unit->Side()) ||
                !Inside(t, *unit, t.positions_[0]))
                continue;
            for (const std::string& name : t.names_) {
                GameObject* track = LiveObject(name);
                if (!track)
                    break;
                track->StartTrack();
            }
            return true;
        }
    }
    return false;
}

// Only the first player side counts; with none the trigger holds at once.
bool FourDoorsHold(const LevelTrigger& t)
{
    int32_t first = -1;
    for (int32_t side = 0; side < SideCount() && first < 0; ++side)
        if (TeamTable::IsSquadSide(side))
            first = side;
    if (first < 0)
        return true;
    for (const Vec3& centre : t.positions_) {
        bool found = false;
        for (GameObject* unit : Units(first))
            found = found || (unit->CountsForTriggers() && Inside(t, *unit, centre));
        if (!found)
            return false;
    }
    return true;
}

// Marks and announces the units inside; fires once every qualifying unit
// of the player sides has been lit and at least one exists, so the script
// stored with it runs (a trigger that could never fire would drop it).
bool LightUp(const LevelTrigger& t)
{
    const ServerLink& link = ServerLink::Get();
    bool any = false, all = true;
    for (int32_t side = 0; side < SideCount(); ++side) {
        if (!TeamTable::IsSquadSide(side))
            continue;
        for (GameObject* unit : Units(side)) {
            if (!unit->CountsForTriggers())
                continue;
            if (!(unit->flags_ & kObjectLitUp) && Inside(t, *unit, t.positions_[0])) {
                unit->flags_ |= kObjectLitUp;
                const uint32_t message[2] = {TriggerMessage::kLitUp, unit->GetId()};
                link.Send(message, sizeof message, false);
            }
            any = true;
            all = all && (unit->flags_ & kObjectLitUp) != 0;
        }
    }
    return any && all;
}

bool Defog(const LevelTrigger& t)
{
    const ServerLink& link = ServerLink::Get();
    bool fire = false;
    for (int32_t side = 0; side < SideCount(); ++side) {
        if (!TeamTable::IsSquadSide(side))
            continue;
        for (GameObject* unit : Units(side)) {
            if (!unit->CountsForTriggers() || !Inside(t, *unit, t.positions_[0]))
                continue;
            fire = true;
            uint8_t message[24];
            const uint32_t type = TriggerMessage::kDefog, kindAndLife = 0;
            const float floats[4] = {t.positions_[1].x, t.positions_[1].y, t.positions_[1].z, t.positions_[2].x};
            std::memcpy(message, &type, 4);
            std::memcpy(message + 4, floats, sizeof floats);
            std::memcpy(message + 20, &kindAndLife, 4);
            link.Send(message, sizeof message, false);
            break;
        }
    }
    return fire;
}

void Shot(LevelTrigger& t)
{
    const ServerLink& link = ServerLink::Get();
    const int32_t sides = SideCount();
    for (int32_t side = 0; side < sides; ++side) {
        for (GameObject* unit : Units(side)) {
            if (!unit->CountsForTriggers() || !Inside(t, *unit, t.positions_[1]))
                continue;
            const uint64_t now = link.Now();
            if (static_cast<int64_t>(now) <= t.value_)
                continue;
            t.value_ = TimeAfter(now, 1.0f, link.TicksPerSecond());
            if (g_hooks.launch)
                g_hooks.launch(t.script_, t.positions_[0], t.positions_[1], static_cast<int32_t>(unit->GetId()),
                               (side + 1) % sides);
        }
    }
}

enum class Outcome { Stay, Fire, Drop };

Outcome Evaluate(LevelTrigger& t)
{
    switch (static_cast<TriggerKind>(t.kind_)) {
    case TriggerKind::Death: return DeathHolds(t) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::Location: return PlayerUnitInside(t, t.positions_[0]) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::LocationAll: return LocationAllHolds(t) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::InstantDeath: InstantDeath(t); return Outcome::Stay;
    case TriggerKind::InstantDisplace: InstantDisplace(t); return Outcome::Stay;
    case TriggerKind::Time:
        return static_cast<int64_t>(ServerLink::Get().Now()) > t.value_ ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::Escort: return EscortHolds(t) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::Proximity: return ProximityHolds(t) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::Doors:
        SetDoors(t, PlayerUnitInside(t, t.positions_[0]) && PlayerUnitInside(t, t.positions_[1]));
        return Outcome::Stay;
    case TriggerKind::DoorsEither:
        SetDoors(t, PlayerUnitInside(t, t.positions_[0]) || PlayerUnitInside(t, t.positions_[1]));
        return Outcome::Stay;
    case TriggerKind::DoorOnce: return DoorOnce(t) ? Outcome::Drop : Outcome::Stay;
    case TriggerKind::FourDoors: return FourDoorsHold(t) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::LightUp: return LightUp(t) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::Defog: return Defog(t) ? Outcome::Fire : Outcome::Stay;
    case TriggerKind::Shot: Shot(t); return Outcome::Stay;
    }
    return Outcome::Stay;
}

} // namespace

List<LevelTrigger*>& All()
{
    // Never destroyed: records freed by late static destructors still find it.
    static auto* list = new List<LevelTrigger*>;
    return *list;
}

LevelTrigger* Add() { return AppendLevelTrigger(); }

int64_t TimeAfter(uint64_t now, float seconds, uint64_t ticksPerSecond)
{
    constexpr double kMax = double(std::numeric_limits<int64_t>::max());
    double ticks = double(seconds) * double(ticksPerSecond);
    if (!std::isfinite(ticks))
        ticks = ticks < 0 ? -kMax : kMax;
    const double when = std::clamp(double(now) + std::floor(ticks), -kMax, kMax);
    return when >= kMax ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(when);
}

LevelTrigger* Add(uint32_t kind, const Vec3 (&positions)[4], float value, const std::vector<std::string>& names,
                  std::string_view script)
{
    if (kind > kLastTriggerKind)
        return nullptr;
    ServerLinkHold hold;
    LevelTrigger* t = AppendLevelTrigger();
    t->kind_ = kind;
    std::copy(std::begin(positions), std::end(positions), t->positions_);
    t->script_ = std::string(script);
    t->names_ = names;
    t->radiusSquared_ = value * value;
    const ServerLink& link = ServerLink::Get();
    if (kind == uint32_t(TriggerKind::Time) || kind == uint32_t(TriggerKind::Shot))
        t->value_ = TimeAfter(link.Now(), value, link.TicksPerSecond());
    else
        t->value_ = std::isfinite(value) ? static_cast<int64_t>(std::clamp(value, -2.0e9f, 2.0e9f)) : 0;
    return t;
}

bool RemoveShot(const Vec3& at)
{
    ServerLinkHold hold;
    for (List<LevelTrigger*>::Iterator it(All()); !it.AtEnd(); it.Next()) {
        LevelTrigger* t = *it.Get();
        const auto same = [&](const Vec3& p) { return p.x == at.x && p.y == at.y && p.z == at.z; };
        if (t->kind_ == uint32_t(TriggerKind::Shot) && (same(t->positions_[0]) || same(t->positions_[1]))) {
            delete t;
            return true;
        }
    }
    return false;
}

void Clear()
{
    List<LevelTrigger*>& all = All();
    while (LevelTrigger** first = all.At(0))
        delete *first; // its destructor takes it off the list
}

void SetHooks(TriggerHooks hooks) { g_hooks = std::move(hooks); }
TriggerHooks& Hooks() { return g_hooks; }

void Check()
{
    bool restart = true;
    while (restart) {
        restart = false;
        for (List<LevelTrigger*>::Iterator it(All()); !it.AtEnd(); it.Next()) {
            LevelTrigger* t = *it.Get();
            if (t->kind_ > kLastTriggerKind)
                continue;
            const Outcome outcome = Evaluate(*t);
            if (outcome == Outcome::Stay)
                continue;
            const ServerLink& link = ServerLink::Get();
            if (outcome == Outcome::Fire && !t->script_.empty() && link.broadcastCommandFile)
                link.broadcastCommandFile(t->script_);
            delete t;
            // The triggers before it are looked at again in this check.
            restart = true;
            break;
        }
    }
}

} // namespace LevelTriggers

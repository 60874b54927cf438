#include "objects/ai.h"

#include "objects/role_classes.h"
#include "objects/orders.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/think_routines.h"
#include "platform/byte_cursor.h"
#include "script/records.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr int32_t kTypes = 18;
constexpr float kDefaultAggression = 0.7f;
constexpr float kShallowDepth = 1.2f;     // metres: shallower shaped objects get AI flag 2
constexpr int32_t kSweepEvery = 10;       // passes between sweeps of the noise list
constexpr uint64_t kNever = std::numeric_limits<int64_t>::max();
constexpr uint64_t kTimedMineSeconds = 10;
constexpr uint64_t kDecoySeconds = 30;
constexpr int32_t kSoundDeviceArmed = 34;
constexpr uint32_t kAiEventFlag = 0x100;

std::array<ThinkRoutine, kTypes> DefaultRoutines()
{
    std::array<ThinkRoutine, kTypes> routines{};
    for (int32_t type : {0, 12, 17})
        routines[static_cast<size_t>(type)] = &Ai::ThinkCombat;
    routines[1] = &Ai::ThinkType1;
    routines[2] = &Ai::ThinkType2;
    routines[3] = &Ai::ThinkType3;
    routines[7] = &Ai::ThinkType7;
    routines[14] = &Ai::ThinkType14;
    routines[15] = &Ai::ThinkType15;
    return routines;
}

std::array<ThinkRoutine, kTypes> g_routines = DefaultRoutines();
ThinkRoutine g_eventCallback = nullptr;
std::vector<int32_t> g_playerSlots;
int32_t g_passCount = 0;
std::vector<NoiseRecord> g_noises;
std::array<GameObject*, RemoteDeviceTable::kSlots> g_devices{};
void (*g_detonate)(GameObject&, uint64_t) = &Ai::Detonate;

bool HasCurrentWeapon(GameObject& object)
{
    if (object.GetWeapon())
        return true;
    const script::CharacterRecord* character = object.GetCharacter();
    return character && character->weapon != kNoWeapon;
}

uint64_t Ticks(uint64_t seconds) { return seconds * ServerLink::Get().TicksPerSecond(); }

int32_t DeviceKindOf(const GameObject& object)
{
    const script::CharacterRecord* character = object.GetCharacter();
    return character ? character->weapon : 0;
}

void SendSlot(const GameObject& object, int32_t slot)
{
    uint8_t block[12];
    trevok::ByteWriter writer(std::span<uint8_t>(block, sizeof block));
    writer.U32(ObjectMessage::kDeviceSlot);
    writer.U32(object.GetId());
    writer.I32(slot);
    ServerLink::Get().Send(block, sizeof block, true);
}

void ReleaseFollowed(NoiseRecord& record)
{
    if (GameObject* followed = std::exchange(record.followed, nullptr))
        followed->Release();
}

void Think(GameObject& object, uint64_t now)
{
    if (object.think_)
        object.think_(object, now);
}

} // namespace

// ---- Types -------------------------------------------------------------------

void Ai::SetRoutine(int32_t type, ThinkRoutine think)
{
    if (type >= 0 && type < kTypes)
        g_routines[static_cast<size_t>(type)] = think;
}

void Ai::SetEventCallback(ThinkRoutine callback) { g_eventCallback = callback; }

void Ai::InstallRoutines()
{
    g_routines = DefaultRoutines();
    g_eventCallback = nullptr;
    g_detonate = &Ai::Detonate;
}

ThinkRoutine Ai::Routine(int32_t type)
{
    return type >= 0 && type < kTypes ? g_routines[static_cast<size_t>(type)] : nullptr;
}

int32_t Ai::ThinkIdle(GameObject&, uint64_t) { return 0; }

void Ai::SetType(GameObject& object, int32_t type, uint64_t now)
{
    object.nextThink_ = now;
    object.aiState_ = AiState::kInitial;
    const script::CharacterRecord* character = object.GetCharacter();
    object.aggression_ = character ? character->aggression : kDefaultAggression;
    object.fleeing_ = false;
    object.missCount_ = 0;
    const script::Role* role = object.GetRole();
    // The AI's flags start afresh; the object's own bookkeeping (it has
    // noise records, it has exploded) survives a change of type.
    const uint32_t kept = object.flags_ & (kObjectHasTrackers | kObjectExploded);
    object.flags_ = kept | (object.extent_.z < kShallowDepth && role && role->shape ? kObjectAiTyped : 0);
    object.aiType_ = type;
    object.active_ = true;
    // Where it was given its type is where a wanderer returns to.
    if (object.IsActor()) {
        object.home_ = object.Position();
        object.hasHome_ = true;
    }
    switch (type) {
    case 0:
    case 12:
    case 17:
        object.think_ = HasCurrentWeapon(object) ? Routine(type) : nullptr;
        break;
    case 1:
    case 3:
    case 7:
    case 14:
    case 15: object.think_ = Routine(type); break;
    case 2:
        object.think_ = Routine(type);
        object.eventCallback_ = g_eventCallback ? g_eventCallback : &Ai::OnType2Event;
        break;
    case 6:
    case 13:
        object.think_ = &Ai::ThinkIdle;
        object.active_ = false;
        break;
    case 16: object.think_ = &Ai::ThinkIdle; break;
    default:
        if (type >= 4 && type <= 11) {
            object.think_ = nullptr;
            object.active_ = false;
        }
        break;
    }
}

const char* Ai::StateText(const GameObject& object)
{
    if (!object.IsAlive())
        return "Dead";
    if (object.IsAttacking())
        return "Attacking ";
    switch (object.aiState_) {
    case AiState::kPathfinding: return "Pathfinding";
    case AiState::kAggravated: return "Aggravated";
    case AiState::kHeadingFor: return "Heading For";
    default: break;
    }
    if (object.fleeing_)
        return "Fleeing";
    return object.IsWalking() ? "Walking" : "Standing around aimlessly";
}

// ---- Random ------------------------------------------------------------------

namespace AiRandom {
const uint32_t kStartWords[ParticleRandom::kDegree] = {
    0xcd38f625, 0xfd6391ec, 0x8704647a, 0x52dd5fc6, 0x8e07a05c, 0xe30e3211, 0x7568f70a, 0xa133749b,
    0x8c2019ff, 0x1b2d07b8, 0x1e47d3a0, 0x99ce5185, 0x6b5449a3, 0x87e0f6d7, 0x270454d3, 0xbb834be6,
    0xa8617ed2, 0xbbdb4c08, 0xb0fd4a7d, 0xa28a30a3, 0x4c00cb06, 0xdbca2929, 0xf3b8b22a, 0x9adb7d38,
    0x58f1591f, 0xa4e87e18, 0xc7413378, 0xf4bad37b, 0x1598ed22, 0x54ef7f47, 0x798f8829};

namespace {
LockedRandom g_random(kStartWords);  // namespace scope: drawn up to the thread's end
} // namespace

LockedRandom& Get() { return g_random; }
} // namespace AiRandom

// ---- The pass ----------------------------------------------------------------

void AiPlayerSlots::Add(int32_t slot) { g_playerSlots.push_back(slot); }
void AiPlayerSlots::Clear() { g_playerSlots.clear(); }
const std::vector<int32_t>& AiPlayerSlots::All() { return g_playerSlots; }

bool AiPass::IsSquadSide(int32_t side) { return TeamTable::IsSquadSide(side); }

void AiPass::Reset() { g_passCount = 0; }

void AiPass::Run(uint64_t now)
{
    // Objects a routine removes (its own or another) stay valid to the end.
    ObjectRegistry::PassScope pass;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        const script::CharacterRecord* character = object->GetCharacter();
        if (character && character->alwaysCpuControlled && IsSquadSide(object->Side()))
            Think(*object, now);
    }
    for (int32_t slot : g_playerSlots) {
        // A copy: a routine may spawn or remove members of the team.
        const std::vector<GameObject*> team = SideLists::Global().Side(slot);
        for (GameObject* object : team) {
            if (object->think_ && object->IsAlive())
                Think(*object, now);
        }
    }
    if (++g_passCount % kSweepEvery == 0)
        ObjectTrackers::Sweep(now);
}

// ---- Noises ------------------------------------------------------------------

void ObjectTrackers::Add(int32_t value, int32_t kind, const Vec3& first, const Vec3& second, uint64_t expiry,
                         uint64_t now)
{
    g_noises.push_back({first, second, value, kind, expiry, nullptr});
    for (GameObject* listener : SideLists::Global().Side(2)) {
        if (!listener->IsAlive() || listener->IsAttacking() || (listener->aiType_ != 0 && listener->aiType_ != 1))
            continue;
        const script::CharacterRecord* character = listener->GetCharacter();
        if (!character)
            continue;
        if ((listener->Position() - first).LengthSquared() <= character->hearingRangeSquared)
            listener->nextThink_ = now;
    }
}

void ObjectTrackers::AddFollowing(GameObject& object)
{
    object.AddRef();
    object.flags_ |= kObjectHasTrackers;
    g_noises.push_back({object.Position(), object.Position(), 25, 5, 0, &object});
}

void ObjectTrackers::RemoveFor(GameObject& object)
{
    for (auto it = g_noises.begin(); it != g_noises.end();) {
        if (it->followed == &object) {
            ReleaseFollowed(*it);
            it = g_noises.erase(it);
        } else {
            ++it;
        }
    }
    object.flags_ &= ~kObjectHasTrackers;
}

void ObjectTrackers::Clear()
{
    // Released after the list is empty: a last release runs a destructor
    // that may look at the list.
    std::vector<NoiseRecord> gone;
    gone.swap(g_noises);
    for (NoiseRecord& record : gone)
        ReleaseFollowed(record);
}

void ObjectTrackers::Sweep(uint64_t now)
{
    std::vector<NoiseRecord> expired;
    for (auto it = g_noises.begin(); it != g_noises.end();) {
        if (it->followed && it->followed->IsAlive()) {
            it->first = it->second = it->followed->Position();
            it->kind = it->followed->IsWalking() ? 5 : 3;
            ++it;
        } else if (it->followed || now > it->expiry) {
            // A follower whose object is gone ends with it.
            expired.push_back(*it);
            it = g_noises.erase(it);
        } else {
            ++it;
        }
    }
    for (NoiseRecord& record : expired)
        ReleaseFollowed(record);
}

const std::vector<NoiseRecord>& ObjectTrackers::All() { return g_noises; }

// ---- Remote devices ----------------------------------------------------------

int32_t RemoteDeviceTable::Add(GameObject& object)
{
    for (int32_t i = 0; i < kSlots; ++i) {
        if (!g_devices[static_cast<size_t>(i)]) {
            g_devices[static_cast<size_t>(i)] = &object;
            return i;
        }
    }
    return -1;
}

void RemoteDeviceTable::Trigger(int32_t slot, uint64_t now)
{
    if (slot < 0 || slot >= kSlots)
        return;
    GameObject* device = g_devices[static_cast<size_t>(slot)];
    if (!device)
        return;
    switch (DeviceKindOf(*device)) {
    case DeviceKind::kRemoteMine:
        g_devices[static_cast<size_t>(slot)] = nullptr;
        if (g_detonate)
            g_detonate(*device, now);
        break;
    case DeviceKind::kDecoy:
        g_devices[static_cast<size_t>(slot)] = nullptr;
        device->alertEnd_ = now + Ticks(kDecoySeconds);
        device->nextThink_ = now;
        SendSlot(*device, -1);
        break;
    default: break;
    }
}

void RemoteDeviceTable::TriggerAll(uint64_t now)
{
    g_devices.fill(nullptr);
    std::vector<GameObjectRef> mines;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        if (object->aiType_ == 2 && DeviceKindOf(*object) == DeviceKind::kRemoteMine && object->IsAlive())
            mines.emplace_back(object);
    }
    for (GameObjectRef& mine : mines) {
        if (g_detonate && mine->IsAlive())
            g_detonate(*mine, now);
    }
}

void RemoteDeviceTable::Remove(GameObject& object)
{
    for (GameObject*& slot : g_devices) {
        if (slot == &object)
            slot = nullptr;
    }
}

void RemoteDeviceTable::Clear() { g_devices.fill(nullptr); }

GameObject* RemoteDeviceTable::At(int32_t slot)
{
    return slot < 0 || slot >= kSlots ? nullptr : g_devices[static_cast<size_t>(slot)];
}

void RemoteDeviceTable::SetDetonator(void (*detonate)(GameObject&, uint64_t)) { g_detonate = detonate; }

int32_t Ai::OnType2Event(GameObject& object, uint64_t now)
{
    // The roles a mine spares while they aim at it: its role's "produces"
    // names (the key shared with "sever point"), found once it is deployed.
    if (const script::Role* role = object.GetRole(); role && object.deviceRoles_.empty()) {
        for (const std::string& name : role->severPoints) {
            if (script::Role* spared = RoleTable::Global().FindByName(name))
                object.deviceRoles_.push_back(spared);
        }
    }
    ServerOutbox::Global().Cue({kSoundDeviceArmed, object.Position(), false});
    switch (DeviceKindOf(object)) {
    case DeviceKind::kRemoteMine: SendSlot(object, RemoteDeviceTable::Add(object)); break;
    case DeviceKind::kTimedMine: object.nextThink_ = now + Ticks(kTimedMineSeconds); break;
    case DeviceKind::kDecoy:
        SendSlot(object, RemoteDeviceTable::Add(object));
        object.alertEnd_ = object.nextThink_ = kNever;
        break;
    default: break;
    }
    object.flags_ |= kAiEventFlag;
    return 0;
}

// ---- Keys --------------------------------------------------------------------

void AlertTable::Answer(uint32_t, int slot)
{
    ServerLinkHold hold;
    RemoteDeviceTable::Trigger(slot, ServerLink::Get().Now());
}

void AlertTable::ResolveAll()
{
    ServerLinkHold hold;
    RemoteDeviceTable::TriggerAll(ServerLink::Get().Now());
}

void AlertTable::Clear()
{
    ServerLinkHold hold;
    RemoteDeviceTable::Clear();
}

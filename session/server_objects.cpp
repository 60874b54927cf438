#include "session/server_objects.h"

#include "app/clock.h"
#include "objects/ai.h"
#include "objects/think_routines.h"
#include "objects/level_triggers.h"
#include "objects/navigation_cache.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/orders.h"
#include "objects/role_table.h"
#include "objects/server_classes.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/world_object.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "session/actor_requests.h"
#include "session/game_state.h"
#include "session/projectile_launch.h"
#include "session/request_table.h"
#include "session/server_thread.h"

#include <atomic>
#include <bit>
#include <utility>
#include <vector>

namespace Server {
namespace {

std::atomic<bool> g_unitsHeld{false};

std::vector<GameObjectRef> HoldAll()
{
    std::vector<GameObjectRef> held;
    for (GameObject* object : ObjectRegistry::Global().Snapshot())
        held.emplace_back(object);
    return held;
}

void Announce(const GameObject& object)
{
    uint8_t block[44];
    trevok::ByteWriter writer(std::span<uint8_t>(block, sizeof block));
    writer.U32(ObjectMessage::kSpawned);
    writer.U32(object.GetId());
    writer.I32(object.GetRole() ? object.GetRole()->id : -1);
    writer.I32(object.Side());
    const Vec3& p = object.Position();
    const Quaternion& q = object.Orientation();
    for (float f : {p.x, p.y, p.z, q.x, q.y, q.z, q.w})
        writer.F32(f);
    ServerLink::Get().Send(block, sizeof block, true);
}

uint64_t ServerTicksPerSecond()
{
    const int32_t rate = Clock::GlobalTicksPerSecondInt();
    return rate > 0 ? static_cast<uint64_t>(rate) : 0;
}

} // namespace

void Tick(uint64_t now, float seconds)
{
    ServerCounters::PlanBudget() = ServerCounters::LevelPlanBudget();
    ObjectRegistry::PassScope pass;
    const std::vector<GameObject*> objects = ObjectRegistry::Global().Snapshot();
    for (GameObject* object : objects)
        object->MoveAndHit(now, seconds);
    for (GameObject* object : objects)
        object->Update(now, seconds);
}

void SetUnitsHeld(bool held) { g_unitsHeld = held; }
bool UnitsHeld() { return g_unitsHeld; }

void RunObjectPass(uint64_t now, float seconds)
{
    ObjectRegistry::PassScope pass;
    // Held units stop each pass. A pause does not: its speed 0 stands server
    // time still, and the actors' own pause test keeps new orders back.
    if (g_unitsHeld) {
        for (const GameObjectRef& object : HoldAll())
            object->HoldStill(seconds);
    } else {
        AiPass::Run(now);
    }
    Tick(now, seconds);
}

GameObject* CreateObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation)
{
    if (!role)
        return nullptr;
    ObjectRegistry& registry = ObjectRegistry::Global();
    // The id is taken only for an object that is made, so both trees count alike.
    if (role->aiType < 0 || role->aiType >= ServerClasses::kTypes)
        return nullptr;
    return ServerClasses::Make(side, role, position, orientation, registry.TakeNextId());
}

int32_t CreateLevelObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation)
{
    GameObject* object = CreateObject(side, role, position, orientation);
    if (!object)
        return -1;
    Ai::SetType(*object, role->aiType, 0);
    if (object->active_)
        SideLists::Global().Add(*object);
    return static_cast<int32_t>(object->GetId());
}

uint32_t SpawnObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation)
{
    GameState::Hold hold;
    GameObject* object = CreateObject(side, role, position, orientation);
    if (!object)
        return 0;
    // The link's clock: the server clock in the game, an injected one in tests.
    const uint64_t now = ServerLink::Get().Now();
    Ai::SetType(*object, role->aiType, now);
    if (object->active_)
        SideLists::Global().Add(*object);
    Announce(*object);
    object->Activate(now, ServerLink::Get().Seconds());
    return object->GetId();
}

bool DeleteObject(uint32_t id)
{
    GameState::Hold hold;
    GameObject* object = ObjectRegistry::Global().Find(id);
    if (!object)
        return false;
    object->Remove(true);
    return true;
}

void DeleteTeam(int32_t side, int32_t ownSide)
{
    GameState::Hold hold;
    for (const GameObjectRef& object : HoldAll()) {
        if (object->Side() == side)
            object->Remove(true);
    }
    if (side == ownSide)
        SetDefeatNoticed(true);
}

int32_t ServerLevelServices::CreateServerObject(const Placement& p)
{
    LevelServices::CreateServerObject(p);
    // Roles are written only on the server thread or under the hand-over;
    // the record tables hand them out const.
    lastServerId_ = CreateLevelObject(p.team, const_cast<script::Role*>(p.role), p.position, p.rotation);
    return lastServerId_;
}

int32_t ServerLevelServices::CreateClientObject(const Placement& p)
{
    LevelServices::CreateClientObject(p);
    // Where the server runs here its object came first: the replica takes
    // its id, so both trees name the object alike whatever classes either
    // side lacks. A client alone numbers its replicas itself.
    const int32_t serverId = std::exchange(lastServerId_, -1);
    if (serverRunning && (serverId < 0 || WorldObjectTable::FindById(uint32_t(serverId))))
        return -1;
    WorldObject* replica =
        WorldObject::CreateByRole(p.team, const_cast<script::Role*>(p.role), p.position, p.rotation);
    if (!replica)
        return -1;
    if (serverRunning && replica->GetId() != uint32_t(serverId) &&
        !WorldObjectTable::Rekey(*replica, uint32_t(serverId)))
        return -1;
    return static_cast<int32_t>(replica->GetId());
}

void ServerLevelServices::LoadNavigation()
{
    LevelServices::LoadNavigation();
    NavigationCache::LoadOrBuildCurrent(scriptPath);
}

void ResetObjectTables()
{
    ObjectRegistry::Global().ResetIds();
    ServerCounters::ResetEventNumber();
    ObjectTrackers::Clear();
    RemoteDeviceTable::Clear();
    AiPlayerSlots::Clear();
    AiPass::Reset();
    Ai::ResetGroupVectors();
}

void CheckTriggers() { LevelTriggers::Check(); }

bool OwnSideHasLiveObject()
{
    for (const GameObject* object : SideLists::Global().Side(TeamTable::OwnSide()))
        if (object->IsAlive())
            return true;
    return false;
}

void InstallObjectHooks()
{
    // The named values stay the console's; the launches are this session's.
    LevelTriggers::Hooks().launch = [](std::string_view role, const Vec3& from, const Vec3& to, int32_t referenced,
                                       int32_t side) {
        script::Role* found = RoleTable::Global().FindByName(role);
        return found && LaunchProjectile(found, from, to, -1, referenced, side) != nullptr;
    };
    ServerHooks hooks;
    hooks.activateAll = [] { ObjectRegistry::Global().ActivateAll(); };
    // The level's end and the thread's: every table that holds objects or
    // level records empties, so nothing outlives its level.
    hooks.releaseAll = [] {
        ObjectTrackers::Clear();  // its records hold references
        LevelTriggers::Clear();
        ObjectRegistry::Global().ReleaseAll();
        SideLists::Global().Clear();
        ResetObjectTables();
    };
    // The AI pass and the tick are one step: the held-units test needs the
    // seconds of the pass as well.
    hooks.tick = [](uint64_t now, float seconds) { RunObjectPass(now, seconds); };
    hooks.request = RequestTable::Apply;
    hooks.everyFourthPass = [] {
        CheckTeamFlags();
        CheckTriggers();
    };
    hooks.ownSideAlive = OwnSideHasLiveObject;
    InstallActorRequests();
    SetHooks(std::move(hooks));

    ServerLink link;
    link.send = [](const void* message, uint32_t size, bool guaranteed) {
        return SendToClients(message, size, guaranteed);
    };
    link.spawn = [](int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation) {
        return SpawnObject(side, role, position, orientation);
    };
    link.broadcastCommandFile = [](std::string_view name) { return BroadcastCommandFile(name); };
    link.assignUnit = [](uint32_t id, int32_t side) { AssignUnit(id, static_cast<uint32_t>(side)); };
    link.enter = [] { GameState::Enter(); };
    link.leave = [] { GameState::Leave(); };
    link.ticksPerSecond = [] { return ServerTicksPerSecond(); };
    link.now = [] { return ServerClock().Now64(); };
    ServerLink::Install(std::move(link));
}

} // namespace Server

#include "console/world_commands.h"

#include "app/app_state.h"
#include "app/clock.h"
#include "console/command_files.h"
#include "console/command_script.h"
#include "console/developer_commands.h"
#include "console/named_values.h"
#include "console/readers.h"
#include "console/script_messages.h"
#include "console/text_console.h"
#include "objects/actor.h"
#include "objects/ai.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/path_mover.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "session/game_state.h"
#include "session/server_objects.h"
#include "session/server_thread.h"
#include "session/session_placeholders.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <strings.h>
#include <vector>

namespace WorldCommands {

int32_t difficulty = 0;

namespace {

constexpr uint32_t kNotInGame = 6056, kNoRole = 6058, kNoTeam = 6059, kNoConsoleUnit = 6072, kNoObject = 6073,
                   kBadId = 6074, kNothingUnderCursor = 6077;
constexpr uint32_t kObjectHunter = 0x20, kObjectFlareFirer = 0x40;
constexpr int32_t kItemAi = 10;
constexpr int32_t kLastAiType = 17;
constexpr int32_t kActivityStopped = 3, kActivityMoving = 8;

ConsoleUnit g_unit;
WanderBounds g_bounds;
ClientHooks g_client;

bool Restoring() { return CommandScript::RestoringSavedGame; }
bool RunsServer() { return ScriptMessages::RunsServer(); }
bool RunsClient() { return g_client.runsClient ? g_client.runsClient() : Client::IsRunning(); }

bool InGame()
{
    if (IsInGameState(CurrentAppState()))
        return true;
    TextConsole::Print(TextConsole::Text(kNotInGame));
    return false;
}

void Say(uint32_t id) { TextConsole::Print(TextConsole::Text(id)); }

script::Role* FindRole(const std::string& name) { return name.empty() ? nullptr : RoleTable::Global().FindByName(name); }

int32_t UnderCursor()
{
    if (!RunsClient() || !g_client.objectUnderCursor)
        return -1;
    return g_client.objectUnderCursor();
}

// The message {type, id}.
void SendId(uint32_t type, int32_t id) { ScriptMessages::Send(ScriptMessages::Builder(type).I32(id)); }

// A team number the team table holds: 0 to count - 1.
bool IsTeam(int32_t team) { return team >= 0 && uint32_t(team) < TeamTable::Count(); }

// An object argument inside the hand-over (the caller holds it).
GameObject* ReadObject()
{
    GameObject* object = nullptr;
    return TextConsole::ReadObjectById(object) ? object : nullptr;
}

// A command-file name an object keeps: a bare name inside the scripts folder.
bool ScriptNameRefused(const std::string& name)
{
    if (!CommandFiles::Escapes(name) && name.find_first_of("/\\") == std::string::npos)
        return false;
    TextConsole::PrintFailure(CurrentCommandName() + ": a command file must lie in the scripts folder: " + name);
    return true;
}

// ---- spawning ----

void SpawnUnits(int32_t side, int32_t count)
{
    if (Restoring())
        return;
    const std::string name = TextConsole::ReadWord();
    Vec3 at;
    Quaternion turn = Quaternion::Identity();
    if (!TextConsole::ReadPosition(at, &turn))
        return;
    script::Role* role = FindRole(name);
    if (!role) {
        Say(kNoRole);
        return;
    }
    if (side == -1)
        side = role->aiType != kItemAi && role->character ? 2 : 0;
    if (!RunsServer()) {
        NamedValueList::Global().SetResult(-1.0f);
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        NamedValueList::Global().SetResult(float(Server::SpawnObject(side, role, at, turn)));
}

int32_t CountForDifficulty()
{
    return difficulty >= 0 && difficulty <= 2 ? difficulty + 1 : 0;
}

// The team argument of ADD TEAM and SPAWN TEAM; -1 after refusing it.
int32_t ReadTeam()
{
    const int32_t team = TextConsole::ReadInt(0);
    if (IsTeam(team))
        return team;
    Say(kNoTeam);
    return -1;
}

void OnDifficulty(int32_t wanted)
{
    if (difficulty == wanted) {
        const char* rest = TextConsole::RestOfLine();
        if (rest) {
            TextConsole::ConsumeLine(size_t(rest - TextConsole::LineBuffer()));
            TextConsole::Execute();
        }
    }
    TextConsole::SetLine("");
}

// ---- items ----

void GiveItem(bool announce, bool equip)
{
    if (!InGame() || Restoring() || !RunsServer())
        return;
    GameState::Hold hold;
    GameObject* character = ReadObject();
    if (!character || !character->IsActor())
        return;
    const char* rest = TextConsole::RestOfLine();
    script::Role* role = rest ? FindRole(rest) : nullptr;
    TextConsole::SetLine("");
    if (!role || role->aiType != kItemAi)
        return;
    const uint32_t id = Server::SpawnObject(0, role, character->Position(), Quaternion::Identity());
    GameObject* item = id ? ObjectRegistry::Global().Find(id) : nullptr;
    if (!item)
        return;
    auto& actor = static_cast<Actor&>(*character);
    const auto given = static_cast<int32_t>(actor.nextItemNumber_);
    if (actor.GiveItem(*item, announce) && equip)
        actor.UseItem(given, announce);
}

// One raw draw of the server's generator picks among n.
size_t Draw(size_t n) { return (ServerRandom::Next() / 2u) % n; }

// Ten times the role's aggression, rounded down as the role's rating is (the
// product taken in double, so 0.7 gives 6): the state an item takes.
void TakeRoleAsItem(GameObject& object, script::Role* role)
{
    object.SetRole(role);
    // Without a character record there is no value: the item keeps its state.
    if (!role->character)
        return;
    const double value = std::floor(double(role->character->aggression) * 10.0);
    object.ApplyRoleValue(std::isnan(value) ? 0 : int32_t(std::clamp(value, double(INT32_MIN), double(INT32_MAX))));
}

// A role target (the word stays when `consume` is false) or an id; false
// after printing string 6074 for a negative id.
bool ReadTarget(script::Role*& role, int32_t& id, bool consume)
{
    role = FindRole(TextConsole::PeekWord());
    if (role) {
        if (consume)
            TextConsole::ReadWord();
        return true;
    }
    id = TextConsole::ReadInt(-1);
    if (id >= 0)
        return true;
    Say(kBadId);
    return false;
}

// ---- the console unit ----

bool SelectId(int32_t id)
{
    if (id < 0)
        id = UnderCursor();
    if (id < 0) {
        Say(kNothingUnderCursor);
        return false;
    }
    g_unit.id = id;
    g_unit.none = false;
    return true;
}

Actor* ConsoleActor()
{
    GameObject* object = g_unit.id >= 0 ? ObjectRegistry::Global().Find(uint32_t(g_unit.id)) : nullptr;
    return object && object->IsActor() ? static_cast<Actor*>(object) : nullptr;
}

float ServerSeconds() { return ServerLink::Get().Seconds(); }

// The guards of the waypoint commands; false after printing why.
bool ConsoleUnitChosen()
{
    if (!InGame() || Restoring())
        return false;
    if (g_unit.none) {
        Say(kNoConsoleUnit);
        return false;
    }
    return RunsServer();
}

void AddRoutePoints(bool patrol)
{
    if (!ConsoleUnitChosen())
        return;
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    GameState::Hold hold;
    Actor* actor = ConsoleActor();
    if (!actor)
        return;
    actor->AppendWaypoint(at, 0);
    // A patrol point also stays on the patrol list, which the AI returns to.
    if (patrol)
        actor->AppendSparePoint(at, 1);
}

void TeleportUnit(bool orientate)
{
    if (!RunsServer() || g_unit.id < 0)
        return;
    Vec3 at;
    Quaternion turn = Quaternion::Identity();
    if (!TextConsole::ReadPosition(at, orientate ? &turn : nullptr)) {
        if (orientate)
            TextConsole::Print("Position or orientation missing.");
        return;
    }
    Quaternion placed;
    {
        GameState::Hold hold;
        GameObject* unit = ObjectRegistry::Global().Find(uint32_t(g_unit.id));
        Level* level = Level::Current();
        if (!unit || !level)
            return;
        CollisionPolygon* polygon = nullptr;
        {
            LockGuard guard(level->lock_, false);
            polygon = level->FindPolygonAt(at);
            if (polygon)
                at = *polygon->Centre();
        }
        // Nowhere to stand: the unit stays where it is.
        if (!polygon)
            return;
        unit->SetPosition(at);
        if (orientate)
            unit->SetOrientation(turn);
        unit->TakeMovementPolygon(polygon, at);
        placed = unit->Orientation();
    }
    ScriptMessages::Builder message(76);
    message.I32(g_unit.id).F32(Server::ClientClock().Seconds()).Point(at);
    message.F32(placed.x).F32(placed.y).F32(placed.z).F32(placed.w);
    ScriptMessages::Send(message, true);
}

// Leaves its side's list (when listed) around a change and joins again.
template <class Change> void Relist(GameObject& object, Change change)
{
    const auto& list = SideLists::Global().Side(object.Side());
    const bool listed = std::find(list.begin(), list.end(), &object) != list.end();
    if (listed)
        SideLists::Global().Remove(object);
    change();
    if (listed)
        SideLists::Global().Add(object);
}

void SetObjectFlag(uint32_t bit)
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    if (GameObject* object = ReadObject())
        object->flags_ |= bit;
}

// ---- track objects ----

// Each object named after the leading argument, until a word that names
// none; objects of other kinds are skipped.
template <class Apply> void ForEachTrackObject(Apply apply)
{
    while (TextConsole::NextIsWord()) {
        GameObject* object = nullptr;
        TextConsole::ReadObjectById(object);
        if (!object)
            break;
        if (object->IsAlive() && object->IsKind(Kind8Object::kAiType))
            apply(static_cast<Kind8Object&>(*object));
    }
}

// Seconds as ticks of the server clock, held within what an int keeps.
int64_t LoopTicks(float seconds)
{
    const double ticks = double(seconds) * double(ServerLink::Get().TicksPerSecond());
    if (!(ticks > 0.0))
        return 0;
    return int64_t(std::min(std::floor(ticks), double(INT32_MAX)));
}

void SendIdIfServer(uint32_t type, bool inGame)
{
    if ((inGame && !InGame()) || Restoring() || !RunsServer())
        return;
    const int32_t id = TextConsole::ReadInt(-1);
    if (id >= 0)
        SendId(type, id);
}

void KeepScript(bool once)
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = ReadObject();
    if (!object)
        return;
    const char* rest = TextConsole::RestOfLine();
    const std::string name = rest ? rest : "";
    TextConsole::SetLine("");
    if (!name.empty() && ScriptNameRefused(name))
        return;
    object->Associate(name.empty() ? nullptr : name.c_str(), once);
}

void StoreBound(Vec3& bound)
{
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        bound = at;
}

// The role a line names after its other arguments; null after printing why.
script::Role* ReadArmourRole()
{
    const std::string name = TextConsole::ReadRestOfLine();
    if (name.empty()) {
        TextConsole::Print("No role ID specified.");
        return nullptr;
    }
    script::Role* role = FindRole(name);
    if (!role)
        TextConsole::Print("No such role.");
    return role;
}

void ListObjects(bool oneTeam, int32_t team)
{
    if (!RunsClient())
        return;
    for (WorldObject* object : WorldObjectTable::Snapshot()) {
        if (oneTeam && object->Side() != team)
            continue;
        const script::Role* role = object->GetRole();
        const std::string name = role && !role->identifier.empty() ? role->identifier : TextConsole::Text(7035);
        const std::string line =
            std::string(TextConsole::Text(7032)) + std::to_string(object->GetId()) + TextConsole::Text(7034) + name;
        TextConsole::Print(line.c_str());
    }
}

} // namespace

ConsoleUnit& Unit() { return g_unit; }
WanderBounds& Bounds() { return g_bounds; }
ClientHooks& Client() { return g_client; }

// ---- spawning and teams ----

void Add() { SpawnUnits(-1, 1); }

void AddTeam()
{
    if (Restoring())
        return;
    if (const int32_t team = ReadTeam(); team >= 0)
        SpawnUnits(team, 1);
}

void Spawn() { SpawnUnits(-1, CountForDifficulty()); }

void SpawnTeam()
{
    if (Restoring())
        return;
    if (const int32_t team = ReadTeam(); team >= 0)
        SpawnUnits(team, CountForDifficulty());
}

void Easy() { OnDifficulty(0); }
void Medium() { OnDifficulty(1); }
void Hard() { OnDifficulty(2); }

void Delete()
{
    if (!InGame() || !RunsServer())
        return;
    const int32_t id = TextConsole::ReadInt(0);
    if (id < 0 || !Server::DeleteObject(uint32_t(id)))
        Say(kNoObject);
}

void DeleteTeam()
{
    if (!InGame() || !RunsServer())
        return;
    const int32_t team = TextConsole::ReadInt(0);
    if (IsTeam(team))
        Server::DeleteTeam(team, TeamTable::OwnSide());
}

void President()
{
    if (TeamTable::GameType() != 3)
        return;
    Vec3 a{0, 0, 0}, b{0, 0, 0};
    if (const Level* level = Level::Current()) {
        for (const LevelDummy& dummy : level->dummies_) {
            if (strcasecmp(dummy.name.c_str(), "dumpresa") == 0)
                a = dummy.position;
            else if (strcasecmp(dummy.name.c_str(), "dumpresb") == 0)
                b = dummy.position;
        }
    }
    LockedRandom& random = ServerRandom::Get();
    const float rx = random.NextFraction(), ry = random.NextFraction(), rz = random.NextFraction();
    const Vec3 at{b.x + (a.x - b.x) * rx, b.y + (a.y - b.y) * ry, b.z + (a.z - b.z) * rz};
    script::Role* role = RoleTable::Global().FindByName("president");
    if (!role) {
        TextConsole::Print("No president role found");
        return;
    }
    if (RunsServer())
        Server::SpawnObject(0, role, at, Quaternion::Identity());
}

// ---- items ----

void Give() { GiveItem(false, false); }
void GiveAndSay() { GiveItem(true, false); }
void GiveAndEquip() { GiveItem(false, true); }
void GiveAndEquipAndSay() { GiveItem(true, true); }

void Heap()
{
    if (!InGame() || Restoring() || !RunsServer())
        return;
    script::Role* target = nullptr;
    int32_t id = -1;
    if (!ReadTarget(target, id, false))
        return;
    std::vector<script::Role*> candidates;
    while (script::Role* role = FindRole(TextConsole::PeekWord())) {
        TextConsole::ReadWord();
        candidates.push_back(role);
    }
    if (candidates.empty())
        return;
    GameState::Hold hold;
    if (target) {
        for (GameObject* object : ObjectRegistry::Global().Snapshot())
            if (object->GetRole() == target)
                object->SetRole(candidates[Draw(candidates.size())]);
        return;
    }
    GameObject* object = ObjectRegistry::Global().Find(uint32_t(id));
    if (!object) {
        Say(kNoObject);
        return;
    }
    if (!object->IsAlive())
        return;
    script::Role* chosen = candidates[Draw(candidates.size())];
    if (object->IsKind(kItemAi))
        TakeRoleAsItem(*object, chosen);
    else
        object->SetRole(chosen);
}

void Vulnerability()
{
    if (!InGame() || Restoring())
        return;
    script::Role* target = nullptr;
    int32_t id = -1;
    if (!ReadTarget(target, id, true))
        return;
    script::Role* attacker = FindRole(TextConsole::ReadWord());
    if (!attacker || !RunsServer())
        return;
    script::VulnerabilityEntry entry;
    entry.attacker = attacker;
    entry.seconds = TextConsole::ReadInt(0);
    const std::string kind = TextConsole::ReadWord();
    if (strcasecmp(kind.c_str(), "SHUTDOWN") == 0) {
        entry.kind = script::VulnerabilityEntry::kShutdown;
    } else if (strcasecmp(kind.c_str(), "DESTROY") == 0) {
        entry.kind = script::VulnerabilityEntry::kDestroy;
    } else {
        entry.kind = script::VulnerabilityEntry::kRunCommand;
        entry.command = TextConsole::ReadWord();
        if (ScriptNameRefused(entry.command))
            return;
    }
    entry.projectile = FindRole(TextConsole::ReadWord());
    const ::Vulnerability own = ::Vulnerability::From(entry);
    GameState::Hold hold;
    if (target) {
        target->vulnerabilities.push_back(entry);
        for (GameObject* object : ObjectRegistry::Global().Snapshot())
            if (object->GetRole() == target && object->IsActor())
                static_cast<Actor*>(object)->vulnerabilities_.push_back(own);
        return;
    }
    GameObject* object = ObjectRegistry::Global().Find(uint32_t(id));
    if (object && object->IsActor())
        static_cast<Actor*>(object)->vulnerabilities_.push_back(own);
}

// ---- the console unit and the selection ----

void Select()
{
    if (!InGame())
        return;
    SelectId(TextConsole::ReadInt(-1));
}

void Watch()
{
    if (InGame())
        SelectId(TextConsole::ReadInt(-1));
    g_unit.none = false;
    if (g_client.watch)
        g_client.watch(g_unit.id);
}

void GetSelected()
{
    if (!InGame() || !RunsClient() || !g_client.selectedUnit)
        return;
    const int32_t id = g_client.selectedUnit();
    if (id < 0)
        return;
    NamedValueList::Global().SetResult(float(id));
    const std::string text = std::string(TextConsole::Text(7032)) + std::to_string(id) + TextConsole::Text(7018);
    TextConsole::Print(text.c_str());
    TextConsole::ExecuteLine(("SELECT " + std::to_string(id)).c_str());
}

void PlayerSelect()
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    if (GameObject* object = ReadObject())
        SendId(128, int32_t(object->GetId()));
}

void GetActorName()
{
    if (!InGame())
        return;
    const int32_t id = UnderCursor();
    if (id < 0) {
        Say(kNothingUnderCursor);
        return;
    }
    if (const WorldObject* object = WorldObjectTable::FindById(uint32_t(id)))
        if (object->GetRole() && !object->GetRole()->identifier.empty())
            TextConsole::Print(object->GetRole()->identifier.c_str());
    std::string name;
    if (NamedValueList::Global().FindByValue(float(id), name))
        TextConsole::Print(name.c_str());
}

void Goto()
{
    if (Restoring() || g_unit.none || !RunsServer())
        return;
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    GameState::Hold hold;
    Actor* actor = ConsoleActor();
    if (!actor || !actor->GetCharacter())
        return;
    actor->SetDestination(at, ServerSeconds());
    actor->aiState_ = kActivityMoving;
}

void SetActivity()
{
    if (!InGame() || Restoring())
        return;
    if (g_unit.none) {
        Say(kNoConsoleUnit);
        return;
    }
    const std::string word = TextConsole::ReadWord();
    if (strcasecmp(word.c_str(), "GOTO") == 0) {
        Goto();
        return;
    }
    if (!RunsServer())
        return;
    GameState::Hold hold;
    GameObject* unit = g_unit.id >= 0 ? ObjectRegistry::Global().Find(uint32_t(g_unit.id)) : nullptr;
    if (!unit)
        return;
    if (strcasecmp(word.c_str(), "PATROL") == 0) {
        unit->aiState_ = kActivityMoving;
    } else if (strcasecmp(word.c_str(), "STOP") == 0) {
        unit->aiState_ = kActivityStopped;
        if (unit->IsActor())
            static_cast<Actor*>(unit)->Stop(ServerSeconds());
    }
}

void AddWaypoint() { AddRoutePoints(false); }
void AddPatrolPoint() { AddRoutePoints(true); }
void Teleport() { TeleportUnit(false); }
void TeleportAndOrientate() { TeleportUnit(true); }

void Board()
{
    if (Restoring() || !RunsServer())
        return;
    const int32_t id = TextConsole::ReadInt(-1);
    if (id >= 0)
        SendId(114, id);
}

void GiveControl()
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = ReadObject();
    if (!object)
        return;
    const int32_t team = TextConsole::ReadInt(0);
    if (!IsTeam(team) || team == object->Side())
        return;
    ScriptMessages::Send(ScriptMessages::Builder(57).U32(object->GetId()).I32(team));
    Relist(*object, [&] { object->SetSide(team); });
}

void Hunter() { SetObjectFlag(kObjectHunter); }
void FlareFirer() { SetObjectFlag(kObjectFlareFirer); }

void Controls()
{
    const std::string word = TextConsole::ReadWord();
    const bool off = strcasecmp(word.c_str(), "OFF") == 0, on = strcasecmp(word.c_str(), "ON") == 0;
    if (off || on) {
        PlayerControlsOff = off;
        if (g_client.edgeScrolling)
            g_client.edgeScrolling(on);
        return;
    }
    const std::string text = std::string("Controls are currently ") + TextConsole::Text(PlayerControlsOff ? 7008 : 7007);
    TextConsole::Print(text.c_str());
}

// ---- AI and track objects ----

void SetAi()
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = ReadObject();
    if (!object)
        return;
    const int32_t type = TextConsole::ReadInt(0);
    if (type < 0 || type > kLastAiType)
        return;
    Relist(*object, [&] { Ai::SetType(*object, type, ServerLink::Get().Now()); });
}

void SetTrack()
{
    if (Restoring() || !RunsServer())
        return;
    const int32_t id = TextConsole::ReadInt(-1);
    if (id < 0)
        return;
    Vec3 points[4];
    Quaternion turn = Quaternion::Identity();
    // A point that could not be read would go out as whatever was in memory.
    for (Vec3& point : points)
        if (!TextConsole::ReadPosition(point, &turn))
            return;
    const bool riders = TextConsole::ReadOnOff() == 1;
    ScriptMessages::Builder message(102);
    message.I32(id);
    for (const Vec3& point : points)
        message.Point(point);
    message.F32(turn.x).F32(turn.y).F32(turn.z).F32(turn.w).U8(riders ? 1 : 0);
    ScriptMessages::Send(message);
    GameState::Hold hold;
    if (GameObject* object = ObjectRegistry::Global().Find(uint32_t(id)))
        object->SetTrack(points, turn, riders);
}

void RunTrack()
{
    if (Restoring() || !RunsServer())
        return;
    const int32_t id = TextConsole::ReadInt(-1);
    if (id < 0)
        return;
    GameState::Hold hold;
    if (GameObject* object = ObjectRegistry::Global().Find(uint32_t(id)))
        object->StartTrack();
}

void SetSpeed()
{
    if (!RunsServer())
        return;
    const float factor = TextConsole::ReadFloat(1.0f);
    GameState::Hold hold;
    ForEachTrackObject([&](Kind8Object& track) {
        // A speed that is not above 0 is refused; the clients keep theirs too.
        if (track.SetSpeed(factor / 10.0f))
            ScriptMessages::Send(ScriptMessages::Builder(104).U32(track.GetId()).F32(factor));
    });
}

void SetLoopTime()
{
    if (!RunsServer())
        return;
    const float seconds = TextConsole::ReadFloat(10.0f);
    GameState::Hold hold;
    ForEachTrackObject([&](Kind8Object& track) {
        track.SetLoopTime(LoopTicks(seconds));
        ScriptMessages::Send(ScriptMessages::Builder(105).U32(track.GetId()).F32(seconds));
    });
}

void Pause()
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = ReadObject();
    if (object && object->IsKind(Kind8Object::kAiType))
        static_cast<Kind8Object*>(object)->Pause();
}

void Unpause()
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = ReadObject();
    if (object && object->IsKind(Kind8Object::kAiType))
        static_cast<Kind8Object*>(object)->Resume();
}

// ---- unit properties and scripts ----

void Defogger() { SendIdIfServer(116, false); }
void Fogger() { SendIdIfServer(117, false); }
void RemoveBoundingBox() { SendIdIfServer(120, true); }

void Frag()
{
    if (Restoring() || !RunsServer())
        return;
    GameState::Hold hold;
    if (GameObject* object = ReadObject())
        object->Destroy();
}

void Anim()
{
    if (Restoring() || !RunsServer())
        return;
    const int32_t id = TextConsole::ReadInt(-1);
    const int32_t sequence = TextConsole::ReadInt(3);
    if (id >= 0)
        ScriptMessages::Send(ScriptMessages::Builder(119).I32(id).I32(sequence));
}

void Shadow()
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    if (GameObject* object = ReadObject())
        SendId(129, int32_t(object->GetId()));
}

void Reflect()
{
    if (!InGame())
        return;
    const int32_t id = UnderCursor();
    if (id >= 0 && g_client.addSphereMap)
        g_client.addSphereMap(id);
}

void SetScale()
{
    if (!InGame())
        return;
    const float scale = TextConsole::ReadFloat(1.0f);
    const int32_t id = UnderCursor();
    if (id >= 0 && g_client.setScale)
        g_client.setScale(id, scale);
}

void Speak()
{
    const int32_t id = TextConsole::ReadInt(-1);
    if (id < 0) {
        Say(kBadId);
        return;
    }
    if (!RunsServer())
        return;
    std::string text;
    {
        GameState::Hold hold;
        GameObject* speaker = ObjectRegistry::Global().Find(uint32_t(id));
        if (!speaker) {
            Say(kNoObject);
            return;
        }
        if (!speaker->IsAlive())
            return;
        bool heard = false;
        for (GameObject* listener : ObjectRegistry::Global().Snapshot()) {
            const script::CharacterRecord* character = listener->GetCharacter();
            if (!character || !listener->IsAlive())
                continue;
            if ((listener->Position() - speaker->Position()).LengthSquared() < character->hearingRangeSquared) {
                heard = true;
                break;
            }
        }
        if (!heard)
            return;
    }
    if (TextConsole::NextIsNumber()) {
        // Wide enough that 3000 + n cannot wrap.
        const int64_t number = int64_t(3000) + TextConsole::ReadInt(0);
        text = number >= 0 && number <= INT32_MAX ? TextConsole::Text(uint32_t(number)) : "";
    } else {
        text = TextConsole::ReadRestOfLine();
    }
    ScriptMessages::Send(ScriptMessages::Builder(112).I32(id).Text(text));
}

void Associate() { KeepScript(true); }
void Link() { KeepScript(false); }

void Requires()
{
    if (!RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = ReadObject();
    if (!object)
        return;
    const std::string name = TextConsole::ReadWord();
    object->SetRequiredRole(name.empty() ? nullptr : name.c_str());
}

void SetUpperLeftBound() { StoreBound(g_bounds.upperLeft); }
void SetLowerRightBound() { StoreBound(g_bounds.lowerRight); }

void GetRoleArmour()
{
    const script::Role* role = ReadArmourRole();
    if (!role)
        return;
    // The line is kept to 19 characters, as the program always showed it.
    const std::string text = ("Armour value: " + std::to_string(role->armour)).substr(0, 19);
    TextConsole::Print(text.c_str());
}

void SetRoleArmour()
{
    const int32_t value = TextConsole::ReadInt(-1);
    if (value < 0) {
        TextConsole::Print("New armour value missing or negative.");
        return;
    }
    script::Role* role = ReadArmourRole();
    if (!role)
        return;
    GameState::Hold hold; // the server thread reads roles
    role->armour = value;
}

void ListUnits() { ListObjects(false, 0); }

void ListTeam()
{
    const int32_t team = TextConsole::ReadInt(0);
    ListObjects(true, team);
}

} // namespace WorldCommands

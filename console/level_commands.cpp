#include "console/level_commands.h"

#include "app/app_state.h"
#include "console/command_script.h"
#include "console/named_values.h"
#include "console/readers.h"
#include "console/text_console.h"
#include "objects/game_object.h"
#include "objects/level_triggers.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "Veapi/ve_object.h"
#include "session/doors.h"
#include "session/game_state.h"
#include "session/server_thread.h"
#include "session/session_placeholders.h"
#include "world/level.h"

#include <cmath>
#include <strings.h>
#include <vector>

namespace LevelCommands {
namespace {

constexpr uint32_t kNotInGame = 6056;
constexpr uint32_t kNoCursorPoint = 6057;

bool Restoring() { return CommandScript::RestoringSavedGame; }

struct KeywordRow {
    const char* keyword;
    TriggerKind kind;
};
constexpr KeywordRow kKeywords[] = {
    {"DEATH", TriggerKind::Death},           {"LOCATION", TriggerKind::Location},
    {"LOCATION_ALL", TriggerKind::LocationAll}, {"INSTANTDEATH", TriggerKind::InstantDeath},
    {"INSTANTDISPLACE", TriggerKind::InstantDisplace}, {"TIME", TriggerKind::Time},
    {"ESCORT", TriggerKind::Escort},         {"PROXIMITY", TriggerKind::Proximity},
    {"DOOR", TriggerKind::Doors},            {"DOORS", TriggerKind::Doors},
    {"DOOR_ONCE", TriggerKind::DoorOnce},    {"DOORS_EITHER", TriggerKind::DoorsEither},
    {"FOUR_DOORS", TriggerKind::FourDoors},  {"LIGHT_UP", TriggerKind::LightUp},
    {"DEFOG", TriggerKind::Defog},           {"SHOT", TriggerKind::Shot},
};

std::vector<std::string> ReadNames()
{
    std::vector<std::string> names;
    for (std::string word = TextConsole::ReadWord(); !word.empty(); word = TextConsole::ReadWord())
        names.push_back(word);
    return names;
}

// A door message to every client, guaranteed.
void SendDoor(uint32_t type, int32_t number)
{
    const uint32_t message[2] = {type, static_cast<uint32_t>(number)};
    Server::SendToClients(message, sizeof message, true);
}

// A client applies it when the message arrives; without one, here, or the
// server's level would keep a door its clients have switched.
void SendAndApplyDoor(uint32_t type, int32_t number)
{
    SendDoor(type, number);
    if (!Client::IsRunning())
        type == Doors::kOpenMessage ? Doors::Open(number) : Doors::Close(number);
}

void SwitchDoor(uint32_t type)
{
    if (Restoring() || !Server::IsRunning())
        return;
    SendAndApplyDoor(type, TextConsole::ReadInt(0));
}

void SwitchLift(bool attach)
{
    if (!Server::IsRunning())
        return;
    GameState::Hold hold;
    GameObject* object = ReadObjectById();
    Level* level = Level::Current();
    if (!object || !level || !object->Shape() || !object->Shape()->Root())
        return;
    CollisionMesh* mesh = level->FindMesh(object->Shape()->Root());
    if (!mesh)
        return;
    attach ? Doors::Attach(*level, *mesh) : Doors::Detach(*level, *mesh);
}

void ChangeObjectives(void (*change)(TeamRecord&, int32_t))
{
    const int32_t key = TextConsole::ReadInt(-1);
    if (key < 0)
        return;
    for (uint32_t team = 0; team < TeamTable::Count(); ++team)
        change(*TeamTable::Find(static_cast<int32_t>(team)), key);
}

} // namespace

bool ReadPosition(Vec3& out)
{
    if (!IsInGameState(CurrentAppState())) {
        TextConsole::Print(TextConsole::Text(kNotInGame));
        return false;
    }
    if (TextConsole::NextIsNumber()) {
        out.x = TextConsole::ReadFloat(0);
        out.y = TextConsole::ReadFloat(0);
        out.z = TextConsole::ReadFloat(0);
        return true;
    }
    const std::string word = TextConsole::ReadWord();
    if (word.empty()) {
        TextConsole::Print(TextConsole::Text(kNoCursorPoint));
        return false;
    }
    if (const Level* level = Level::Current()) {
        for (const LevelDummy& dummy : level->dummies_) {
            if (strcasecmp(dummy.name.c_str(), word.c_str()) == 0) {
                out = dummy.position;
                return true;
            }
        }
    }
    TextConsole::Print("Invalid dummy object specified.");
    return false;
}

GameObject* ReadObjectById()
{
    float value = 0;
    if (!NamedValueList::Global().Get(TextConsole::ReadWord(), value))
        return nullptr;
    const float rounded = std::nearbyint(value);
    if (!(rounded >= 0.0f && rounded <= 4294967295.0f))
        return nullptr;
    GameObject* object = ObjectRegistry::Global().Find(static_cast<uint32_t>(rounded));
    return object && object->IsAlive() ? object : nullptr;
}

void InstallTriggerNames()
{
    LevelTriggers::Hooks().namedValue = [](const std::string& name, float& value) {
        return NamedValueList::Global().Get(name, value);
    };
}

void AddTrigger()
{
    if (Restoring() || !Server::IsRunning())
        return;
    const std::string keyword = TextConsole::ReadWord();
    const KeywordRow* row = nullptr;
    for (const KeywordRow& r : kKeywords)
        if (strcasecmp(r.keyword, keyword.c_str()) == 0)
            row = &r;
    if (!row)
        return;
    Vec3 p[4] = {};
    float value = 0;
    std::vector<std::string> names;
    std::string script;
    const std::string_view word(row->keyword);
    switch (row->kind) {
    case TriggerKind::Death:
        script = TextConsole::ReadWord();
        names = ReadNames();
        break;
    case TriggerKind::Location:
    case TriggerKind::LocationAll:
        if (!ReadPosition(p[0]))
            return;
        value = float(TextConsole::ReadInt(0));
        script = TextConsole::ReadRestOfLine();
        break;
    case TriggerKind::InstantDeath:
        if (!ReadPosition(p[0]))
            return;
        value = float(TextConsole::ReadInt(0));
        break;
    case TriggerKind::InstantDisplace:
        if (!ReadPosition(p[0]))
            return;
        value = float(TextConsole::ReadInt(0));
        if (!ReadPosition(p[1]))
            return;
        break;
    case TriggerKind::Time:
        value = float(TextConsole::ReadInt(0));
        script = TextConsole::ReadRestOfLine();
        break;
    case TriggerKind::Escort:
        if (!ReadPosition(p[0]))
            return;
        value = float(TextConsole::ReadInt(2));
        script = TextConsole::ReadWord();
        names = ReadNames();
        break;
    case TriggerKind::Proximity:
        value = float(TextConsole::ReadInt(2));
        names.push_back(TextConsole::ReadWord());
        script = TextConsole::ReadWord();
        break;
    case TriggerKind::Doors:
    case TriggerKind::DoorsEither:
        if (!ReadPosition(p[0]))
            return;
        if (word == "DOOR")
            p[1] = p[0];
        else if (!ReadPosition(p[1]))
            return;
        value = float(TextConsole::ReadInt(2));
        names = ReadNames();
        break;
    case TriggerKind::DoorOnce:
        if (!ReadPosition(p[0]))
            return;
        value = float(TextConsole::ReadInt(2));
        names = ReadNames();
        break;
    case TriggerKind::FourDoors:
        for (Vec3& position : p)
            if (!ReadPosition(position))
                return;
        value = float(TextConsole::ReadInt(2));
        script = TextConsole::ReadRestOfLine();
        break;
    case TriggerKind::LightUp:
        ReadPosition(p[0]);
        value = float(TextConsole::ReadInt(1));
        script = TextConsole::ReadRestOfLine();
        break;
    case TriggerKind::Defog: {
        ReadPosition(p[1]);
        value = float(TextConsole::ReadInt(10));
        float clearing = value;
        if (TextConsole::RestOfLine() && ReadPosition(p[0]))
            clearing = float(TextConsole::ReadInt(10));
        else
            p[0] = p[1];
        p[2] = {clearing, clearing, clearing};
        break;
    }
    case TriggerKind::Shot:
        ReadPosition(p[0]);
        ReadPosition(p[1]);
        value = float(TextConsole::ReadInt(8));
        script = TextConsole::ReadWord();
        if (!RoleTable::Global().FindByName(script))
            return;
        break;
    }
    LevelTriggers::Add(uint32_t(row->kind), p, value, names, script);
}

void RemoveTrigger()
{
    if (Restoring() || !Server::IsRunning())
        return;
    if (strcasecmp(TextConsole::ReadWord().c_str(), "SHOT") != 0)
        return;
    Vec3 at{};
    if (ReadPosition(at))
        LevelTriggers::RemoveShot(at);
}

void Door()
{
    if (Restoring())
        return;
    Vec3 at{};
    // An unread position would declare a door at a point nothing set.
    if (!ReadPosition(at))
        return;
    const int32_t number = TextConsole::ReadInt(-1);
    Level* level = Level::Current();
    if (number < 0 || !level)
        return;
    Doors::Declare(*level, at, number);
}

void OpenDoor() { SwitchDoor(Doors::kOpenMessage); }
void CloseDoor() { SwitchDoor(Doors::kCloseMessage); }

void ToggleDoor()
{
    if (Restoring() || !Server::IsRunning())
        return;
    const int32_t number = TextConsole::ReadInt(0);
    // One message per entry, chosen before any is applied: a client applying
    // them in turn sees the same flags.
    std::vector<uint32_t> switches;
    for (const DoorEntry& entry : Doors::All())
        if (entry.number == number && !entry.polygons.empty())
            switches.push_back(entry.closed ? Doors::kOpenMessage : Doors::kCloseMessage);
    for (uint32_t type : switches)
        SendAndApplyDoor(type, number);
}

void Attach() { SwitchLift(true); }
void Detach() { SwitchLift(false); }

void AddObjective()
{
    const int32_t team = TextConsole::ReadInt(-1);
    const int32_t kind = Objectives::KindOf(TextConsole::ReadWord());
    const int32_t key = TextConsole::ReadInt(-1);
    const int32_t count = TextConsole::ReadInt(-1);
    const int32_t prefix = TextConsole::ReadInt(0);
    const int32_t suffix = TextConsole::ReadInt(0);
    const int32_t description = TextConsole::ReadInt(0);
    TeamRecord* record = team >= 0 && uint32_t(team) < TeamTable::Count() ? TeamTable::Find(team) : nullptr;
    if (record)
        Objectives::Add(*record, kind, key, count, prefix, suffix, description);
}

void CompleteObjective() { ChangeObjectives(Objectives::Complete); }
void FailObjective() { ChangeObjectives(Objectives::Fail); }

} // namespace LevelCommands

// Any bytes as level-script lines over the world and unit commands, in a
// small level with units, an item, a lift and the president's dummies. No
// line may crash, send a block the message-size table refuses, or leave an
// object at a position that is not finite.
#include "app/app_state.h"
#include "console/console.h"
#include "console/developer_commands.h"
#include "console/named_values.h"
#include "console/script_messages.h"
#include "objects/object_registry.h"
#include "objects/path_mover.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "script/records.h"
#include "session/message_sizes.h"
#include "session/server_objects.h"
#include "world/level.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace {

int64_t g_now = 0;
int64_t Now() { return g_now; }
int64_t Tps() { return 1000; }

std::deque<script::Role>& Roles()
{
    static std::deque<script::Role> roles;
    return roles;
}

script::Role& NewRole(const char* name, int32_t aiType, bool character)
{
    script::Role& r = Roles().emplace_back();
    r.identifier = name;
    r.aiType = aiType;
    if (character) {
        r.character.emplace();
        r.character->strength = 50;
        r.character->weapon = -1;
        r.character->hearingRangeSquared = 400.0f;
        r.character->aggression = 0.7f;
    }
    RoleTable::Global().File(r);
    return r;
}

bool Checked(std::span<const uint8_t> block, bool)
{
    if (!MessageSizes::Fits(MessageSizes::Direction::kToClient, block))
        __builtin_trap();
    return true;
}

void Populate()
{
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    ObjectRegistry::Global().ResetIds();
    script::Role* grunt = RoleTable::Global().FindByName("grunt");
    script::Role* lift = RoleTable::Global().FindByName("lift");
    NamedValueList::Global().Set("hero", float(Server::SpawnObject(1, grunt, {1, 0, 1}, Quaternion::Identity())));
    NamedValueList::Global().Set("lift", float(Server::SpawnObject(0, lift, {2, 0, 2}, Quaternion::Identity())));
    Server::SpawnObject(2, grunt, {5, 0, 5}, Quaternion::Identity());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = [] {
        TextConsole::SetClocks({Now, Now, Tps});
        TextConsole::Create();
        // Leaving the process or the session and reading files are out of reach.
        for (const char* name : {TextConsole::Text(9000), TextConsole::Text(9001)})
            CommandTable::Global().Remove(name, ConsoleControl::Quit);
        CommandTable::Global().Remove(TextConsole::Text(9002), DeveloperCommands::LeaveGame);
        CommandTable::Global().Remove("BATCH", CommandScript::CommandBatch);
        ScriptMessages::SetSink(Checked);
        ScriptMessages::SetRunsServer([] { return true; });
        SetAppState(AppState::Playing);
        TeamTable::Build(4, 1, 3);
        NewRole("grunt", 16, true);
        NewRole("crate", 10, false);
        NewRole("medkit", 10, true);
        NewRole("lift", Kind8Object::kAiType, false);
        NewRole("president", 16, true);
        static CollisionSource floor;
        floor.points = {{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};
        floor.quads.push_back({{0, 1, 2, 3}, Vec3(0, -1, 0), 0});
        static auto level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &floor);
        level->BuildCellGrid(4, 1, 4);
        level->dummies_.push_back({"dumpresa", {8, 0, 8}});
        level->dummies_.push_back({"dumpresb", {1, 0, 1}});
        Level::Current() = level.get();
        return true;
    }();
    (void)started;
    Populate();
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        TextConsole::ExecuteLine(text.substr(start, end - start).c_str(), {LineSource::HostFile, "fuzz", 1});
        start = end + 1;
    }
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        const Vec3& p = object->Position();
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            __builtin_trap();
    }
    PlayerControlsOff = false;
    return 0;
}

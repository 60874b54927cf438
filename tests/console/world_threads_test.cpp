// World commands on the game thread while the real server thread runs its
// passes: every line takes the hand-over before it touches an object, so
// under the thread sanitizer (PRESET=tsan) a missing one shows as a race.
#include "app/app_state.h"
#include "console/console.h"
#include "console/named_values.h"
#include "console/world_commands.h"
#include "objects/ai.h"
#include "objects/think_routines.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "platform/thread.h"
#include "script/records.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/server_objects.h"
#include "session/server_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <string>

namespace {

std::atomic<int> g_thinks{0};

int32_t Drift(GameObject& object, uint64_t now)
{
    g_thinks.fetch_add(1, std::memory_order_relaxed);
    object.nextThink_ = now;
    object.SetPosition(object.Position() + Vec3{static_cast<float>(AiRandom::Next() % 3) - 1.0f, 0, 0});
    return 0;
}

TEST(WorldCommandThreads, ScriptLinesDuringServerPasses)
{
    std::deque<script::Role> roles;
    auto role = [&](const char* name, int32_t aiType) -> script::Role& {
        script::Role& r = roles.emplace_back();
        r.identifier = name;
        r.aiType = aiType;
        r.character.emplace();
        r.character->strength = 10;
        r.character->weapon = 2147483647;
        r.character->hearingRangeSquared = 1e6f;
        RoleTable::Global().File(r);
        return r;
    };
    RoleTable::Global().Clear();
    role("walker", 1);
    role("pile", 16);
    role("gun", 16);

    Ai::SetRoutine(1, &Drift);
    Server::InstallObjectHooks();
    ServerToClientQueue.Clear();
    TextConsole::Create();
    SetAppState(AppState::Playing);
    WorldCommands::difficulty = 2;
    ASSERT_TRUE(Server::Start(nullptr));
    {
        GameState::Hold hold;
        TeamTable::Build(4, 1, 0);
        Server::ResetObjectTables();
        AiPlayerSlots::Add(2); // the side spawned walkers join thinks on the server
    }
    Server::BeginLevel();

    const uint64_t startPasses = Server::PassCount();
    for (int i = 0; i < 200; ++i) {
        Server::Wake();
        TextConsole::ExecuteLine("SPAWN walker 1 0 1");
        TextConsole::ExecuteLine("ADD pile 0 0 0");
        TextConsole::ExecuteLine(("SPEAK " + std::to_string(i % 40 + 1) + " hello").c_str());
        TextConsole::ExecuteLine("HEAP pile gun pile");
        TextConsole::ExecuteLine("GIVE CONTROL res 3");
        TextConsole::ExecuteLine("AI res 16");
        TextConsole::ExecuteLine("HUNTER res");
        if (i % 10 == 9)
            TextConsole::ExecuteLine("DELETE TEAM 3");
        while (!ServerToClientQueue.Pop().IsEmpty()) {
        }
        platform::YieldThread();
    }
    while (Server::PassCount() < startPasses + 20) {
        Server::Wake();
        platform::YieldThread();
    }
    size_t onThree = 0;
    {
        GameState::Hold hold;
        onThree = SideLists::Global().Side(3).size();
        for (GameObject* object : SideLists::Global().Side(2))
            EXPECT_EQ(object->Side(), 2);
    }
    Server::EndLevel();
    Server::Stop();

    EXPECT_GT(g_thinks.load(), 0);
    EXPECT_EQ(onThree, 0u) << "the last DELETE TEAM took every unit given to team 3";
    EXPECT_EQ(ObjectRegistry::Global().Count(), 0u);
    TextConsole::Shutdown();
    SetAppState(AppState::None);
    WorldCommands::difficulty = 0;
    Ai::InstallRoutines();
    Server::SetHooks({});
    ServerLink::Install({});
    TeamTable::Clear();
    AiPlayerSlots::Clear();
    RoleTable::Global().Clear();
}

} // namespace

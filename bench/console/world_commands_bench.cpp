// 1000 ADD lines through the console beside 1000 direct Server::SpawnObject
// calls: what the dispatcher, the readers and the role lookup add to a spawn.
#include "app/app_state.h"
#include "console/console.h"
#include "console/script_messages.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "script/records.h"
#include "session/server_objects.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kSpawns = 1000;

script::Role& Grunt()
{
    static script::Role role = [] {
        script::Role r;
        r.identifier = "grunt";
        r.aiType = 16; // idle: no think routine to run
        r.character.emplace();
        r.character->weapon = 2147483647;
        return r;
    }();
    return role;
}

void Prepare()
{
    static const bool once = [] {
        RoleTable::Global().File(Grunt());
        ScriptMessages::SetRunsServer([] { return true; });
        TextConsole::Create();
        SetAppState(AppState::Playing);
        return true;
    }();
    (void)once;
}

void Release(benchmark::State& state)
{
    state.PauseTiming();
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    ObjectRegistry::Global().ResetIds();
    state.ResumeTiming();
}

void AddLines(benchmark::State& state)
{
    Prepare();
    for (auto _ : state) {
        for (int i = 0; i < kSpawns; ++i)
            TextConsole::ExecuteLine("ADD grunt 1 2 3");
        Release(state);
    }
    state.SetItemsProcessed(state.iterations() * kSpawns);
}
BENCHMARK(AddLines)->Unit(benchmark::kMicrosecond);

void DirectSpawns(benchmark::State& state)
{
    Prepare();
    for (auto _ : state) {
        for (int i = 0; i < kSpawns; ++i)
            benchmark::DoNotOptimize(Server::SpawnObject(2, &Grunt(), {1, 2, 3}, Quaternion::Identity()));
        Release(state);
    }
    state.SetItemsProcessed(state.iterations() * kSpawns);
}
BENCHMARK(DirectSpawns)->Unit(benchmark::kMicrosecond);

} // namespace

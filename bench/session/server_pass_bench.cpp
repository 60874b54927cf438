// One server pass over 200 plain objects (a held snapshot of the registry,
// then MoveAndHit and Update on each) beside the same updates over a plain
// std::vector of the objects: the registry walk and the held references
// are the difference.
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/server_link.h"
#include "script/records.h"
#include "session/server_objects.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kObjects = 200;

struct World {
    World()
    {
        role.character.emplace();
        role.character->strength = 100;
        ServerLink link;
        link.send = [](const void*, uint32_t, bool) { return true; };
        ServerLink::Install(std::move(link));
        for (int i = 0; i < kObjects; ++i)
            objects.push_back(new GameObject(1, &role, {float(i), 0, 0}, Quaternion::Identity(), 0,
                                             ObjectRegistry::Global().TakeNextId()));
    }
    ~World()
    {
        ObjectRegistry::Global().ReleaseAll();
        ObjectRegistry::Global().ResetIds();
        ServerLink::Install({});
    }
    script::Role role;
    std::vector<GameObject*> objects;
};

void BM_ServerTick(benchmark::State& state)
{
    World world;
    uint64_t now = 0;
    for (auto _ : state) {
        now += 50000;
        Server::Tick(now, static_cast<float>(now) * 1e-6f);
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_ServerTick);

void BM_VectorSnapshotPass(benchmark::State& state)
{
    World world;
    uint64_t now = 0;
    for (auto _ : state) {
        now += 50000;
        const float seconds = static_cast<float>(now) * 1e-6f;
        const std::vector<GameObject*> snapshot = world.objects;
        for (GameObject* o : snapshot)
            o->MoveAndHit(now, seconds);
        for (GameObject* o : snapshot)
            o->Update(now, seconds);
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_VectorSnapshotPass);

} // namespace

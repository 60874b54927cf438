// The client registry's per-frame drivers over a level's worth of replicas
// (also with every walker sliding over a floor with its mover), and its id
// lookup against a standard hash map.
#include "../../tests/objects/navigation_fixture.h"
#include "objects/typed_objects.h"
#include "script/records.h"

#include <benchmark/benchmark.h>

#include <deque>
#include <unordered_map>

namespace {

struct World {
    std::deque<script::Role> roles;

    explicit World(int count)
    {
        ClientServices::Get().ownSide = 1;
        WorldObjectTable::DestroyAll();
        WorldObjectTable::ResetIds();
        for (int aiType : {2, 0}) {
            script::Role& role = roles.emplace_back();
            role.aiType = aiType;
            role.character.emplace();
            role.character->strength = 100;
            role.character->weapon = aiType == 0 ? 3 : 2147483647;
            role.character->walkingSpeed = 2 * 65536;
            role.character->turningSpeed = 2048;
        }
        for (int i = 0; i < count; ++i) {
            auto* made = static_cast<MovingObject*>(WorldObject::CreateByRole(
                1 + i % 2, &roles[static_cast<size_t>(i % 2)], {static_cast<float>(i), 0, 0}, Quaternion::Identity()));
            made->Activate(0, 0);
            MotionRecord record;
            record.position = made->Position();
            made->ApplyMoving({static_cast<float>(i) + 5.0f, 0, 40.0f}, record, {0, 0, 40.0f});
        }
    }
    ~World() { WorldObjectTable::DestroyAll(); }
};

void UpdateAll200(benchmark::State& state)
{
    World world(200);
    uint64_t frame = 0;
    for (auto _ : state) {
        ++frame;
        WorldObjectTable::UpdateAll(frame * 16667, static_cast<float>(frame) * 0.016667f);
    }
}
BENCHMARK(UpdateAll200);

// The same walkers on a 256 x 64 floor: each update also advances a mover.
void UpdateAll200WithMovers(benchmark::State& state)
{
    navtest::GridLevel floor = navtest::MakeGridLevel(std::vector<std::string>(64, std::string(256, '.')));
    Level::Current() = floor.level.get();
    {
        World world(200);
        uint64_t frame = 0;
        for (auto _ : state) {
            ++frame;
            WorldObjectTable::UpdateAll(frame * 16667, static_cast<float>(frame) * 0.016667f);
        }
    }
    Level::Current() = nullptr;
}
BENCHMARK(UpdateAll200WithMovers);

void DrawAll200(benchmark::State& state)
{
    World world(200);
    int64_t queued = 0;
    WorldObjectTable::DrawHook() = [&](const ClientDraw&) { ++queued; };
    for (auto _ : state)
        WorldObjectTable::DrawAll();
    WorldObjectTable::DrawHook() = nullptr;
    benchmark::DoNotOptimize(queued);
}
BENCHMARK(DrawAll200);

void FindById1000(benchmark::State& state)
{
    World world(1000);
    uint32_t id = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(WorldObjectTable::FindById(id));
        id = (id + 7) % 1000;
    }
}
BENCHMARK(FindById1000);

void UnorderedMapFind1000(benchmark::State& state)
{
    World world(1000);
    std::unordered_map<uint32_t, WorldObject*> map;
    for (WorldObject* object : WorldObjectTable::Snapshot())
        map.emplace(object->GetId(), object);
    uint32_t id = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.find(id));
        id = (id + 7) % 1000;
    }
}
BENCHMARK(UnorderedMapFind1000);

} // namespace

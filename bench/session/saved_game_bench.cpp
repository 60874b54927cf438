// Writing and parsing a full save of 500 plain objects, beside one plain
// copy of the same bytes: the cost of the field-by-field form.
#include "session/saved_game.h"

#include "objects/typed_objects.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

SavedGame::File FiveHundredObjects()
{
    SavedGame::File file;
    file.levelScript = "level.tvs";
    file.companion = "level.tcs";
    file.levelStart = false;
    SavedGame::World world;
    world.nextObjectId = 501;
    for (uint32_t id = 1; id <= 500; ++id) {
        SavedGame::ObjectRecord record;
        record.info = SavedGame::FindClass(static_cast<uint32_t>(SavedGame::ClassTag::kPlain));
        record.image.assign(record.info->size, 0);
        record.image[0] = 1;
        record.image[4] = 1;
        record.roleId = 0;
        record.objectId = id;
        record.state.assign(8, 0);
        world.serverObjects.push_back(std::move(record));
    }
    file.world = std::move(world);
    return file;
}

void WriteSave(benchmark::State& state)
{
    SavedGame::File file = FiveHundredObjects();
    for (auto _ : state)
        benchmark::DoNotOptimize(SavedGame::Write(file));
}
BENCHMARK(WriteSave);

void ParseSave(benchmark::State& state)
{
    auto bytes = SavedGame::Write(FiveHundredObjects());
    for (auto _ : state) {
        SavedGame::File file;
        benchmark::DoNotOptimize(SavedGame::Parse(bytes, file));
    }
}
BENCHMARK(ParseSave);

void CopySameBytes(benchmark::State& state)
{
    auto bytes = SavedGame::Write(FiveHundredObjects());
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(CopySameBytes);

// 500 replicas (walkers with queued orders) through their own image and
// state writers and readers, beside one copy of the same bytes.
struct Replicas {
    std::vector<WorldObject*> objects;
    std::vector<std::vector<uint8_t>> images, states;
    Replicas()
    {
        for (uint32_t id = 0; id < 500; ++id) {
            auto* m = new MovingObject(1, nullptr, {float(id), 0, 0}, Quaternion::Identity(), id);
            for (int i = 0; i < 3; ++i)
                m->AppendOrder({LocalOrder::kWaypoint, i, 0, 0, {1, 2, 3}, 7, 0});
            objects.push_back(m);
        }
        Save();
    }
    ~Replicas() { WorldObjectTable::DestroyAll(); }
    void Save()
    {
        images.assign(objects.size(), std::vector<uint8_t>(464, 0));
        states.assign(objects.size(), {});
        for (size_t i = 0; i < objects.size(); ++i) {
            objects[i]->WriteImage(images[i]);
            trevok::ByteWriter out(states[i]);
            objects[i]->SaveState(out);
        }
    }
    void Load()
    {
        for (size_t i = 0; i < objects.size(); ++i) {
            trevok::ByteReader in(states[i]);
            objects[i]->LoadState(in, images[i]);
            objects[i]->FixUpAfterLoad();
        }
    }
};

void SaveReplicas(benchmark::State& state)
{
    Replicas replicas;
    for (auto _ : state) {
        replicas.Save();
        benchmark::DoNotOptimize(replicas.states.data());
    }
}
BENCHMARK(SaveReplicas);

void LoadReplicas(benchmark::State& state)
{
    Replicas replicas;
    for (auto _ : state) {
        replicas.Load();
        benchmark::DoNotOptimize(replicas.objects.data());
    }
}
BENCHMARK(LoadReplicas);

void CopyReplicaBytes(benchmark::State& state)
{
    Replicas replicas;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < replicas.images.size(); ++i) {
        bytes.insert(bytes.end(), replicas.images[i].begin(), replicas.images[i].end());
        bytes.insert(bytes.end(), replicas.states[i].begin(), replicas.states[i].end());
    }
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(CopyReplicaBytes);

} // namespace

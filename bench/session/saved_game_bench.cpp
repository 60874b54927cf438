// Writing and parsing a full save of 500 plain objects, beside one plain
// copy of the same bytes: the cost of the field-by-field form.
#include "session/saved_game.h"

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

} // namespace

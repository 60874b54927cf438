// Loading the sample's model files end to end as a level does: the file, its
// environment and texture table, every object's shape (merged) and every
// named hierarchy with its level-of-detail shapes, then freeing it all.
#include "Veapi/texture_manager.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "chunk/object_chunks.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::filesystem::path SampleFile(const char* name)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    return std::filesystem::path(root ? root : TREVOK_SAMPLE_DATA_DIR) / "rifs" / name;
}

void LoadModelFile(benchmark::State& state, const char* name)
{
    const std::filesystem::path path = SampleFile(name);
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no sample data: build the sample_data target first");
        return;
    }
    size_t shapes = 0;
    for (auto _ : state) {
        trevok::EnvironmentRecordPtr record = trevok::LoadEnvironmentFile(path);
        if (!record) {
            state.SkipWithError("the sample file does not load");
            return;
        }
        std::vector<trevok::ObjectChunk*> objects;
        record->file_->GetObjects(objects);
        std::vector<std::string> names;
        for (auto* o : objects)
            names.push_back(o->Name());
        std::vector<VeShape*> built;
        for (const std::string& n : names)
            if (VeShape* s = trevok::LoadObjectFromChunks(*record, n, nullptr, nullptr, 1))
                built.push_back(s);
        std::vector<const std::string*> models;
        trevok::FindHierarchyChunks(*record, models);
        std::vector<HierarchyPtr> trees;
        for (const std::string* m : models)
            if (auto tree = trevok::LoadHierarchyFromChunks(*m, *record))
                trees.push_back(std::move(tree));
        shapes = built.size();
        benchmark::DoNotOptimize(trees.data());
        trees.clear();
        for (VeShape* s : built)
            s->Release();
        record.reset();
        TextureManager::PurgeUnused();
    }
    state.counters["objects"] = double(shapes);
}

BENCHMARK_CAPTURE(LoadModelFile, models, "models.rif")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LoadModelFile, robot_hierarchy, "robot_hierarchy.rif")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LoadModelFile, loader_level, "loader_level.rif")->Unit(benchmark::kMicrosecond);

} // namespace

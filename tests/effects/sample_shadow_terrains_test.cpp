// The generated shadow terrains as levels: each gives the edge count it was
// folded for, the shadow grid that count calls for, and the same records
// again from its cache file on the next load.
#include "effects/static_shadows.h"

#include "Veapi/shape_builder.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "chunk/chunk_file.h"
#include "chunk/environment_record.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "world/level.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The file's one object as a level, its bounds from the shape.
std::unique_ptr<Level> LoadTerrain(const fs::path& path)
{
    auto file = trevok::ChunkFile::Open(path);
    if (!file || file->ErrorCode() != trevok::kChunkOk)
        return nullptr;
    trevok::EnvironmentRecord millimetres;
    millimetres.scale_ = 0.001f;
    std::vector<trevok::ObjectChunk*> objects;
    file->GetObjects(objects);
    if (objects.size() != 1 || !objects[0]->GetShape())
        return nullptr;
    VeShape* shape = BuildShape(*objects[0]->GetShape(), nullptr, millimetres, 0);
    std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(shape, false));
    const Vec3 lower = shape->min_, upper = shape->max_;
    shape->Release();
    auto level = std::make_unique<Level>(std::move(tree), Vec3(0, 0, 0), nullptr);
    level->levelFileTime_ = 1234;
    level->minimum_ = lower;
    level->maximum_ = upper;
    level->floorHeight_ = upper.y + 1.0f;
    return level;
}

TEST(SampleShadowTerrains, EdgeCountsChooseTheirGridAndComeBackFromTheCache)
{
    const fs::path rifs = fs::path(TREVOK_SAMPLE_DATA_DIR) / "rifs";
    if (!fs::exists(rifs / "shadow_terrain_8000.rif"))
        GTEST_SKIP() << "sample data not generated";
    const fs::path dir = fs::temp_directory_path() / ("shadow_terrains_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const struct {
        const char* file;
        size_t edges;
        int side;
    } rows[] = {
        {"shadow_terrain_7999.rif", 7999, 1},
        {"shadow_terrain_8000.rif", 8000, 2},
        {"shadow_terrain_18000.rif", 18000, 3},
    };
    const Vec3 sun = SunDirection();
    SetSunDirection({1.0f, 0.1f, 0.0f});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        StaticShadows::SetLevelScript(dir / (std::string(row.file) + ".tvs"));
        for (const bool fromCache : {false, true}) {
            SCOPED_TRACE(fromCache ? "second load" : "first load");
            std::unique_ptr<Level> level = LoadTerrain(rifs / row.file);
            ASSERT_NE(level, nullptr);
            StaticShadows::LoadOrBuild(*level);
            const LevelShadowData& data = StaticShadows::DataOf(*level);
            EXPECT_EQ(data.edges.size(), row.edges);
            EXPECT_EQ(data.computeCount, fromCache ? 0u : 1u);
            EXPECT_EQ(data.side, row.side);
            ASSERT_EQ(data.cells.size(), size_t(row.side * row.side));
            // A low sun across the folds finds silhouettes in every cell.
            for (const ShadowCell& cell : data.cells)
                EXPECT_FALSE(cell.edges.empty());
        }
    }
    StaticShadows::SetLevelScript({});
    SetSunDirection(sun);
    fs::remove_all(dir);
}

} // namespace

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

#include "cgal_edge_oracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The file's one object shape; null when the file does not hold exactly one.
trevok::ShapeChunk* OnlyShape(trevok::ChunkFile& file)
{
    std::vector<trevok::ObjectChunk*> objects;
    file.GetObjects(objects);
    return objects.size() == 1 ? objects[0]->GetShape() : nullptr;
}

std::unique_ptr<trevok::ChunkFile> OpenTerrain(const fs::path& path)
{
    auto file = trevok::ChunkFile::Open(path);
    if (!file || file->ErrorCode() != trevok::kChunkOk || !OnlyShape(*file))
        return nullptr;
    return file;
}

// The file's one object as a level, its bounds from the shape.
std::unique_ptr<Level> LoadTerrain(const fs::path& path)
{
    auto file = OpenTerrain(path);
    if (!file)
        return nullptr;
    trevok::EnvironmentRecord millimetres;
    millimetres.scale_ = 0.001f;
    VeShape* shape = BuildShape(*OnlyShape(*file), nullptr, millimetres, 0);
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

#ifdef TREVOK_HAVE_CGAL
// The model's polygons straight from the file, in its own millimetres: a
// uniform scale keeps which faces meet at an angle and which way they face.
shadowtest::OracleMesh OracleOf(const fs::path& path)
{
    shadowtest::OracleMesh m;
    auto file = OpenTerrain(path);
    if (!file)
        return m;
    const trevok::ShapeData& d = OnlyShape(*file)->Data();
    for (const trevok::ShapePoint& p : d.points_)
        m.points.push_back({double(p.x), double(p.y), double(p.z)});
    for (const trevok::ShapePolygon& poly : d.polygons_)
        m.faces.emplace_back(poly.vertices_, poly.vertices_ + poly.vertexCount_);
    return m;
}

std::vector<uint8_t> Bytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Each terrain's edge count as CGAL finds it from the file, and, for suns
// from several sides, the silhouettes in the level's cells against CGAL's:
// every sun change rebuilds the cells from the same records, never
// recomputing them nor rewriting the cache.
TEST(SampleShadowTerrains, EdgesAndSilhouettesAgreeWithCgalAcrossSunChanges)
{
    const fs::path rifs = fs::path(TREVOK_SAMPLE_DATA_DIR) / "rifs";
    if (!fs::exists(rifs / "shadow_terrain_8000.rif"))
        GTEST_SKIP() << "sample data not generated";
    const fs::path dir = fs::temp_directory_path() / ("shadow_terrains_cgal_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const struct {
        const char* file;
        size_t edges;
        int side;
    } terrains[] = {
        {"shadow_terrain_7999.rif", 7999, 1},
        {"shadow_terrain_8000.rif", 8000, 2},
        {"shadow_terrain_18000.rif", 18000, 3},
    };
    // Folds slope one in four; none of these suns lies in a face's plane.
    const struct {
        Vec3 direction;
        bool casts;
    } suns[] = {
        {{1.0f, 0.1f, 0.0f}, true},     // across the folds of one direction
        {{0.2f, 0.1f, 1.0f}, true},     // across the other direction's
        {{0.6f, 0.1f, 0.25f}, true},    // some of both
        {{-0.3f, 0.4f, -0.7f}, false},  // high enough to light every face
    };
    const Vec3 sunWas = SunDirection();
    SetSunDirection({0.0f, 1.0f, 0.0f});
    for (const auto& terrain : terrains) {
        SCOPED_TRACE(terrain.file);
        const shadowtest::CgalEdges cgal(OracleOf(rifs / terrain.file));
        ASSERT_TRUE(cgal.Valid());
        EXPECT_EQ(cgal.Creases(), terrain.edges);
        const fs::path script = dir / (std::string(terrain.file) + ".tvs");
        StaticShadows::SetLevelScript(script);
        std::unique_ptr<Level> level = LoadTerrain(rifs / terrain.file);
        ASSERT_NE(level, nullptr);
        Level::Current() = level.get();
        StaticShadows::LoadOrBuild(*level);
        const LevelShadowData& data = StaticShadows::DataOf(*level);
        EXPECT_EQ(data.edges.size(), cgal.Creases());
        EXPECT_EQ(data.side, terrain.side);
        const fs::path cache = dir / ShadowCache::FileNameFor(script.filename().string());
        const std::vector<uint8_t> cached = Bytes(cache);
        ASSERT_EQ(cached.size(), ShadowCache::kHeaderBytes + ShadowEdge::kBytes * terrain.edges);
        const ShadowEdge* const records = data.edges.data();
        for (const auto& sun : suns) {
            const Vec3& d = sun.direction;
            SCOPED_TRACE(::testing::Message() << "sun " << d.x << ", " << d.y << ", " << d.z);
            SetSunDirection(d);
            // Our ends back in whole millimetres, to name the same edges.
            auto millimetres = [](const Vec3& v) {
                return std::array<double, 3>{double(std::lround(double(v.x) * 1000.0)),
                                             double(std::lround(double(v.y) * 1000.0)),
                                             double(std::lround(double(v.z) * 1000.0))};
            };
            std::set<shadowtest::CgalEdges::Ends> silhouettes;
            for (const ShadowCell& cell : data.cells)
                for (const ShadowEdge* e : cell.edges)
                    silhouettes.insert(shadowtest::CgalEdges::MakeEnds(millimetres(e->a), millimetres(e->b)));
            const std::set<shadowtest::CgalEdges::Ends> expected = cgal.Silhouettes(SunDirection());
            EXPECT_EQ(silhouettes.size(), expected.size());
            EXPECT_TRUE(silhouettes == expected);
            EXPECT_EQ(silhouettes.empty(), !sun.casts);
            EXPECT_EQ(data.cells.size(), size_t(terrain.side * terrain.side));
            EXPECT_EQ(data.computeCount, 1u);
            EXPECT_EQ(data.edges.data(), records);
            EXPECT_EQ(data.edges.size(), terrain.edges);
        }
        EXPECT_EQ(Bytes(cache), cached);
        Level::Current() = nullptr;
    }
    StaticShadows::SetLevelScript({});
    SetSunDirection(sunWas);
    fs::remove_all(dir);
}
#endif

} // namespace

// The model caches over a small chunk file written to a scratch folder.
#include <gtest/gtest.h>

#include "Veapi/hierarchy.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_shape.h"
#include "chunk/chunk_families.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "objects/level_shapes.h"
#include "objects/shape_cache.h"
#include "world/map_build.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace trevok;

namespace {

ShapeData Triangle()
{
    ShapeData d;
    d.points_ = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
    d.vertexNormals_.assign(3, {0, 0, 1});
    ShapePolygon p;
    p.type_ = 0;
    p.vertexCount_ = 3;
    p.vertices_[0] = 0, p.vertices_[1] = 1, p.vertices_[2] = 2;
    d.polygons_ = {p};
    d.polygonNormals_ = {{0, 0, 1}};
    d.pointCount_ = 3, d.polygonCount_ = 1;
    d.maxCorner_ = {100, 100, 0};
    return d;
}

// A model file with the object "Crate" and the hierarchy "Robot" showing it.
std::vector<uint8_t> ModelImage()
{
    EnsureChunkFamiliesRegistered();
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();
    auto* shape = new ShapeChunk(root, Triangle());
    shape->SetName("Crate");
    ObjectHeader h;
    h.name_ = "Crate";
    h.orientation_[3] = 1;
    (new ObjectChunk(root, h))->LinkShape(shape);
    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "Robot");
    new HierarchyDataChunk(new HierarchyChunk(model), "Crate");
    file->BeforeSave();
    return file->PlainImage();
}

class ShapeCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TextureManager::Clear();
        dir_ = fs::temp_directory_path() / ("shape-cache-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        const auto image = ModelImage();
        std::ofstream(dir_ / "Models.rif", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        ChunkFileCache::SetFolderSource([this] { return std::optional<fs::path>(dir_); });
    }
    void TearDown() override
    {
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
        ChunkFileCache::SetFolderSource(nullptr);
        TextureManager::Clear();
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_F(ShapeCacheTest, NameHashesFoldCaseAsDocumented)
{
    EXPECT_EQ(FileNameHash("AB"), (uint32_t('a') + 'b') & 63);
    EXPECT_EQ(NamePairKey::Hash("a", "b"), (uint32_t('a') ^ uint32_t('B')) & 63);
    EXPECT_EQ(NamePairKey::Hash("MODELS.RIF", "crate"), NamePairKey::Hash("models.rif", "CRATE"));
}

TEST_F(ShapeCacheTest, RequestsShareOneShapePerPairIgnoringCase)
{
    struct Case {
        const char* file;
        const char* object;
        bool found;
        int32_t uses;  // of the shared shape after the request
        size_t shapes, files;
    } cases[] = {
        {"Models.rif", "Crate", true, 1, 1, 1},
        {"MODELS.RIF", "crate", true, 2, 1, 1},  // same shape, one more use
        {"models.rif", "missing", false, 2, 1, 1},  // file stays loaded, nothing filed
        {"absent.rif", "Crate", false, 2, 1, 2},  // a failed load stays filed, empty
        {"..\\Models.rif", "Crate", false, 2, 1, 3},  // never outside the folder
    };
    VeShape* first = nullptr;
    for (const Case& c : cases) {
        VeShape* s = ShapeCache::Get(c.file, c.object);
        EXPECT_EQ(s != nullptr, c.found) << c.file << " " << c.object;
        if (!first)
            first = s;
        if (s) {
            EXPECT_EQ(s, first) << c.file << " " << c.object;
        }
        ASSERT_TRUE(first);
        EXPECT_EQ(first->UseCount(), c.uses) << c.file << " " << c.object;
        EXPECT_EQ(first->HoldCount(), 1);
        EXPECT_EQ(ShapeCache::Count(), c.shapes);
        EXPECT_EQ(ChunkFileCache::Count(), c.files);
    }
    ASSERT_NE(ChunkFileCache::Find("models.RIF"), nullptr);
    EXPECT_NE(ChunkFileCache::Find("models.RIF")->record, nullptr);
    EXPECT_EQ(ChunkFileCache::Find("absent.rif")->record, nullptr);
    first->Release();
    first->Release();
}

TEST_F(ShapeCacheTest, CachedPairsAnswerAfterTheFilesAreFreedAndGone)
{
    VeShape* shape = ShapeCache::Get("Models.rif", "Crate");
    Hierarchy* tree = HierarchyCache::Get("Models.rif", "Robot");
    ASSERT_TRUE(shape);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->holdCount_, 1);
    ChunkFileCache::FreeAll();
    EXPECT_EQ(ChunkFileCache::Count(), 0u);
    fs::remove(dir_ / "Models.rif");

    EXPECT_EQ(ShapeCache::Get("models.rif", "CRATE"), shape);
    EXPECT_EQ(HierarchyCache::Get("MODELS.rif", "robot"), tree);
    EXPECT_EQ(shape->UseCount(), 2);
    EXPECT_EQ(tree->useCount_, 2);
    EXPECT_EQ(ChunkFileCache::Count(), 0u);  // the file was never asked for
    // An uncached pair of the removed file now finds nothing.
    EXPECT_EQ(HierarchyCache::Get("Models.rif", "Other"), nullptr);
    for (int i = 0; i < 2; ++i) {
        shape->Release();
        tree->Release();
    }
}

TEST_F(ShapeCacheTest, ListHierarchiesReplacesTheListAndLoadsOnDemand)
{
    std::vector<const std::string*> list{nullptr, nullptr};
    ChunkFileCache::ListHierarchies("MODELS.RIF", list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(*list[0], "Robot");
    ChunkFileCache::ListHierarchies("absent.rif", list);
    EXPECT_TRUE(list.empty());
}

} // namespace

namespace {

TEST_F(ShapeCacheTest, LevelShapeRequestsShareTheCachedModels)
{
    LevelServices services;
    UseModelCaches(services);
    {
        script::ShapeRef a = services.CachedShape("Models.rif", "Crate");
        script::ShapeRef b = services.CachedShape("MODELS.RIF", "crate");
        script::ShapeRef tree = services.HierarchyShape("models.rif", "ROBOT", std::nullopt, std::nullopt);
        ASSERT_TRUE(a);
        EXPECT_EQ(a.shape, b.shape);
        EXPECT_TRUE(tree);
        EXPECT_EQ(ShapeCache::Count(), 1u);
        EXPECT_EQ(HierarchyCache::Count(), 1u);
        EXPECT_EQ(ChunkFileCache::Count(), 1u);  // the file was read once
        EXPECT_EQ(static_cast<VeShape*>(a.shape.get())->UseCount(), 2);
        EXPECT_FALSE(services.CachedShape("Models.rif", "missing"));
    }
    // The records gave their uses back; the cache still holds the shape.
    VeShape* again = ShapeCache::Get("models.rif", "crate");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->UseCount(), 1);
    EXPECT_EQ(again->HoldCount(), 1);
    again->Release();
}

} // namespace

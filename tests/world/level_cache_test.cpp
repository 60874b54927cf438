// The level cache: a written cache reads back as the same tree and polygons;
// any damage, another time stamp or another vertex limit is a miss; the
// cache never lands on the level file or its script and is never half
// written.
#include "world/level_cache.h"

#include "Veapi/bounding_box.h"
#include "Veapi/mesh_data.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>
#include <cstring>
#include <functional>
#include <unistd.h>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A node with one textured sub-mesh of `vertices` vertices.
ShapeInstance* TexturedNode(const char* texture, uint32_t vertices, float at)
{
    auto* shape = new VeShape;
    shape->min_ = {at, 0, 0};
    shape->max_ = {at + 1, 1, 1};
    SubMesh* m = shape->AddSubMesh(vertices, vertices, VeShape::kPrimitiveFormat, false);
    for (size_t i = 0; i < m->vertices.size(); ++i)
        m->vertices[i] = static_cast<uint8_t>(i * 7 + vertices);
    for (uint32_t i = 0; i < vertices; ++i)
        m->indices[i] = static_cast<uint16_t>(vertices - 1 - i);
    TextureEntry* t = TextureManager::Find(texture);
    shape->AddTexture(t);
    TextureManager::Unuse(t);
    m->texture = t;
    ShapeInstance* node = ShapeInstance::FromShape(shape, true);
    shape->Release();
    return node;
}

// A root without a shape and two textured children, as a cut level is.
std::unique_ptr<ShapeInstance> CutTree()
{
    auto root = std::make_unique<ShapeInstance>();
    root->box_ = std::make_unique<BoundingBox>(0.f, 0.f, 0.f, 2.f, 1.f, 1.f);
    root->AppendChild(TexturedNode("floor.bmp", 3, 0));
    root->AppendChild(TexturedNode("wall.bmp", 6, 1));
    return root;
}

CollisionSource Polygons()
{
    CollisionSource c;
    c.points = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
    GeometryTriangle t;
    t.corners[0] = 0, t.corners[1] = 1, t.corners[2] = 2;
    t.normal = {0, -1, 0};
    t.flags = 5;
    GeometryQuad q;
    q.corners[0] = 0, q.corners[1] = 1, q.corners[2] = 2, q.corners[3] = 3;
    q.normal = {0, -1, 0};
    q.flags = 9;
    c.triangles = {t};
    c.quads = {q};
    return c;
}

const LevelCacheKey kKey{0x8000'0000'1234'5678ull, 700};
const Vec3 kVector{1, 2, 3};

void ExpectSameNode(ShapeInstance& a, ShapeInstance& b)
{
    ASSERT_EQ(a.slots_[0] != nullptr, b.slots_[0] != nullptr);
    ASSERT_TRUE(a.box_ && b.box_);
    for (int c : {0, 5}) {
        EXPECT_EQ(a.box_->Corner(c).x, b.box_->Corner(c).x);
        EXPECT_EQ(a.box_->Corner(c).y, b.box_->Corner(c).y);
    }
    if (a.slots_[0]) {
        auto& ma = a.slots_[0]->SubMeshes();
        auto& mb = b.slots_[0]->SubMeshes();
        ASSERT_EQ(ma.Count(), mb.Count());
        auto ib = mb.begin();
        for (SubMesh* x : ma) {
            SubMesh* y = *ib;
            ++ib;
            EXPECT_EQ(x->format, y->format);
            EXPECT_EQ(x->vertices, y->vertices);
            EXPECT_EQ(x->indices, y->indices);
            EXPECT_EQ(x->texture->Name(), y->texture->Name());
        }
    }
    ASSERT_EQ(a.children_.Count(), b.children_.Count());
    auto cb = b.children_.begin();
    for (ShapeInstance* child : a.children_) {
        ExpectSameNode(*child, **cb);
        ++cb;
    }
}

TEST(LevelCacheTest, RoundTripKeepsTreeAndPolygonsInBothForms)
{
    auto tree = CutTree();
    const CollisionSource polygons = Polygons();
    for (bool compress : {true, false}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        const auto image = LevelCache::Encode(kKey, kVector, *tree, polygons, compress);
        float marker;
        std::memcpy(&marker, image.data() + 8, 4);
        EXPECT_EQ(marker == FLT_MAX, compress);  // the marker says what follows
        std::string why;
        auto content = LevelCache::Decode(image, kKey, &why);
        ASSERT_TRUE(content) << why;
        EXPECT_EQ(content->vector.z, 3);
        ExpectSameNode(*tree, *content->tree);
        ASSERT_EQ(content->collision.points.size(), 4u);
        ASSERT_EQ(content->collision.quads.size(), 1u);
        EXPECT_EQ(content->collision.quads[0].corners[3], 3);
        EXPECT_EQ(content->collision.triangles[0].flags, 5);
    }
}

TEST(LevelCacheTest, OneNodeRecordHasItsDocumentedSize)
{
    std::unique_ptr<ShapeInstance> node(TexturedNode("abcd", 5, 0));
    std::vector<uint8_t> bytes;
    trevok::ByteWriter w(bytes);
    Shape::WriteMeshData(w, *node);
    EXPECT_EQ(bytes.size(), 36u + 16 + (4 + 1) + 32 * 5 + 2 * 5);

    ShapeInstance empty;
    empty.box_ = std::make_unique<BoundingBox>(0.f, 0.f, 0.f, 1.f, 1.f, 1.f);
    bytes.clear();
    Shape::WriteMeshData(w, empty);
    EXPECT_EQ(bytes.size(), 32u);
}

TEST(LevelCacheTest, DamagedOrForeignCachesAreMisses)
{
    auto tree = CutTree();
    const auto good = LevelCache::Encode(kKey, kVector, *tree, Polygons());
    const auto plain = LevelCache::Encode(kKey, kVector, *tree, Polygons(), false);
    struct Case {
        const char* name;
        std::vector<uint8_t> image;
        LevelCacheKey key;
        bool sameContentAllowed = false;  // a flip in the stream's padding changes nothing
    };
    std::vector<Case> cases = {
        {"empty", {}, kKey},
        {"header only", {good.begin(), good.begin() + 20}, kKey},
        {"stale time", good, {kKey.fileTime + 1, kKey.vertexLimit}},
        {"other vertex limit", good, {kKey.fileTime, 701}},
        {"plain, other vertex limit", plain, {kKey.fileTime, 701}},
    };
    for (size_t cut : {good.size() - 1, good.size() / 2, size_t(21)})
        cases.push_back({"truncated", {good.begin(), good.begin() + static_cast<long>(cut)}, kKey});
    for (size_t cut : {plain.size() - 1, plain.size() - 5, plain.size() / 2})
        cases.push_back({"plain truncated", {plain.begin(), plain.begin() + static_cast<long>(cut)}, kKey});
    for (const auto* source : {&good, &plain})
        for (size_t at : {size_t(3), size_t(9), size_t(16), size_t(24), source->size() / 2, source->size() - 1}) {
            auto flipped = *source;
            flipped[at] ^= 0x10;
            cases.push_back({source == &good ? "bit flipped" : "plain bit flipped", flipped, kKey, true});
        }
    auto longer = plain;
    longer.push_back(0);
    cases.push_back({"bytes past the end", longer, kKey});

    for (const Case& c : cases) {
        std::string why;
        auto content = LevelCache::Decode(c.image, c.key, &why);
        if (content && c.sameContentAllowed) {
            EXPECT_EQ(LevelCache::Encode(kKey, content->vector, *content->tree, content->collision, false), plain)
                << c.name << ": damage read as another level";
            continue;
        }
        EXPECT_FALSE(content) << c.name << " of " << c.image.size();
        EXPECT_FALSE(why.empty()) << c.name;
    }
}

TEST(LevelCacheTest, MeshReaderRefusesImpossibleCounts)
{
    struct Case {
        const char* name;
        std::function<void(trevok::ByteWriter&)> write;
    };
    const auto bounds = [](trevok::ByteWriter& w) {
        for (int i = 0; i < 6; ++i)
            w.F32(0);
    };
    const Case cases[] = {
        {"child count past the image", [&](trevok::ByteWriter& w) { bounds(w); w.U32(0); w.U32(1000); }},
        {"shape flag 2", [&](trevok::ByteWriter& w) { bounds(w); w.U32(2); w.U32(0); }},
        {"sub-mesh count past the image", [&](trevok::ByteWriter& w) { bounds(w); w.U32(1); w.U32(0); w.U32(99); }},
        {"name without zero",
         [&](trevok::ByteWriter& w) {
             bounds(w); w.U32(1); w.U32(0); w.U32(1);
             w.U32(0); w.U32(0); w.U32(0x112); w.U32(2); w.U8('a'); w.U8('b');
         }},
        {"index past vertices",
         [&](trevok::ByteWriter& w) {
             bounds(w); w.U32(1); w.U32(0); w.U32(1);
             w.U32(1); w.U32(1); w.U32(0x112); w.U32(1); w.U8(0); w.Zeros(32); w.U16(1);
         }},
        {"nesting past the limit",
         [&](trevok::ByteWriter& w) {
             for (int d = 0; d <= MeshData::kMaxDepth + 1; ++d) { bounds(w); w.U32(0); w.U32(1); }
             bounds(w); w.U32(0); w.U32(0);
         }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        trevok::ByteWriter w(bytes);
        c.write(w);
        trevok::ByteReader in(bytes);
        std::string error;
        EXPECT_EQ(MeshData::ReadMeshData(in, &error), nullptr) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

TEST(LevelCacheTest, CachePathNeverNamesItsSources)
{
    struct Case {
        const char* level;
        const char* script;
        const char* cache;
    };
    const Case cases[] = {
        {"rifs/level.rif", "", "rifs/level.cut"},
        {"rifs/a", "", "rifs/a.cut"},
        {"rifs/LEVEL.CUT", "", "rifs/LEVEL.cut.cut"},
        {"rifs/levelmap", "rifs/levelmap.cut", "rifs/levelmap.cut.cut"},
        {"rifs/x.map", "rifs/X.CUT", "rifs/x.cut.cut"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LevelCache::PathFor(c.level, c.script), fs::path(c.cache)) << c.level;
}

TEST(LevelCacheTest, FileTimeCountsFrom1601)
{
    const fs::path file = fs::temp_directory_path() / ("level_cache_time_" + std::to_string(::getpid()));
    { std::ofstream(file) << "x"; }
    // 2020-01-01 00:00:00 UTC.
    const auto at = std::chrono::file_clock::from_sys(std::chrono::sys_seconds{std::chrono::sys_days{std::chrono::year{2020} / 1 / 1}});
    fs::last_write_time(file, at);
    EXPECT_EQ(LevelCache::FileTime(file), 132223104000000000ull);
    fs::remove(file);
    EXPECT_EQ(LevelCache::FileTime(file), 0u);
}

TEST(LevelCacheTest, WriteReplacesWholeAndLeavesNoTemporary)
{
    const fs::path dir = fs::temp_directory_path() / ("level_cache_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path cache = dir / "level.cut";
    { std::ofstream(cache) << "old"; }
    auto tree = CutTree();
    const auto image = LevelCache::Encode(kKey, kVector, *tree, Polygons());
    ASSERT_TRUE(LevelCache::Write(cache, image));
    EXPECT_FALSE(fs::exists(dir / "level.cut.tmp"));
    EXPECT_TRUE(LevelCache::Read(cache, kKey));
    // A folder that is not there fails and creates nothing.
    EXPECT_FALSE(LevelCache::Write(dir / "missing" / "level.cut", image));
    EXPECT_FALSE(LevelCache::Read(dir / "missing" / "level.cut", kKey));
    fs::remove_all(dir);
}

} // namespace

namespace {

// A cache laid out by hand from the documented layout, not by the writer.
TEST(LevelCacheTest, HandMadePlainCacheReads)
{
    const fs::path file = fs::path(TREVOK_FIXTURES_DIR) / "world" / "level_cache" / "plain_700.cut";
    std::string why;
    auto content = LevelCache::Read(file, {0x8000'0000'1234'5678ull, 700}, &why);
    ASSERT_TRUE(content) << why;
    EXPECT_EQ(content->vector.y, 2);
    ASSERT_TRUE(content->tree->slots_[0]);
    SubMesh* mesh = *content->tree->slots_[0]->SubMeshes().begin();
    EXPECT_EQ(mesh->texture->Name(), "floor.bmp");
    EXPECT_EQ(mesh->vertices[95], 95);
    EXPECT_EQ(mesh->indices, (std::vector<uint16_t>{0, 1, 2}));
    ASSERT_EQ(content->collision.triangles.size(), 1u);
    EXPECT_EQ(content->collision.triangles[0].flags, 4);
    EXPECT_FALSE(LevelCache::Read(file, {0x8000'0000'1234'5678ull, 4096}));
}

} // namespace

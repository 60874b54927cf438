// Building drawable shapes from shape-chunk polygon data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Veapi/shape_builder.h"
#include "Veapi/texture_manager.h"
#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/shape_chunks.h"

using trevok::ShapeData;
using trevok::ShapePolygon;

namespace {

constexpr int32_t kTexturedType = 5;

ShapePolygon Poly(std::initializer_list<int32_t> corners, int32_t type = 0, int32_t texture = 0, int32_t uvSet = 0)
{
    ShapePolygon p;
    p.type_ = type;
    p.vertexCount_ = int32_t(corners.size());
    int i = 0;
    for (int32_t c : corners)
        p.vertices_[i++] = c;
    p.SetTextureNumber(texture);
    p.SetUvIndex(uvSet);
    return p;
}

void AddPoint(ShapeData& d, int32_t x, int32_t y, int32_t z)
{
    d.points_.push_back({x, y, z});
    d.vertexNormals_.push_back({0, 0, 1});
}

void Finish(ShapeData& d)
{
    d.pointCount_ = int32_t(d.points_.size());
    d.polygonCount_ = int32_t(d.polygons_.size());
    d.polygonNormals_.assign(d.polygons_.size(), {0, 0, 1});
    d.uvSetCount_ = int32_t(d.uvSets_.size());
}

struct Vtx {
    float x, y, z, nx, ny, nz;
    uint32_t colour;
    float u, v;
};

Vtx VertexOf(SubMesh& m, uint32_t index)
{
    Vtx v;
    std::memcpy(&v, m.vertices.data() + size_t(index) * sizeof(Vtx), sizeof(Vtx));
    return v;
}

std::vector<SubMesh*> Meshes(VeShape& s)
{
    std::vector<SubMesh*> out;
    for (SubMesh* m : s.SubMeshes())
        out.push_back(m);
    return out;
}

class ShapeBuilder : public ::testing::Test {
protected:
    void TearDown() override { TextureManager::Clear(); }
};

// A quad (points 0-3, texture 0) and a triangle (points 2, 3, 4, texture 1)
// sharing two points.
ShapeData QuadAndTriangle()
{
    ShapeData d;
    AddPoint(d, 0, 0, 0);
    AddPoint(d, 10, 0, 0);
    AddPoint(d, 10, 10, 0);
    AddPoint(d, 0, 10, 0);
    AddPoint(d, 20, 10, 0);
    trevok::ShapeUvSet quadUv;
    quadUv.count_ = 4;
    quadUv.pairs_[0] = {0, 0};
    quadUv.pairs_[1] = {64, 0};
    quadUv.pairs_[2] = {64, 64};
    quadUv.pairs_[3] = {0, 64};
    trevok::ShapeUvSet triUv;
    triUv.count_ = 3;
    triUv.pairs_[0] = {0, 0};
    triUv.pairs_[1] = {32, 0};
    triUv.pairs_[2] = {32, 16};
    d.uvSets_ = {quadUv, triUv};
    d.polygons_ = {Poly({0, 1, 2, 3}, kTexturedType, 0, 0), Poly({2, 3, 4}, kTexturedType, 1, 1)};
    d.maxCorner_ = {20, 10, 0};
    Finish(d);
    return d;
}

// An environment without a file: scale 1 unless given, no texture table.
trevok::EnvironmentRecord Plain(float scale = 1.0f)
{
    trevok::EnvironmentRecord e;
    e.scale_ = scale;
    return e;
}

trevok::EnvironmentRecord TwoTextures()
{
    trevok::EnvironmentRecord e = Plain(0.5f);
    e.hasTextureTable_ = true;
    e.textures_ = {{"wall.bmp", 64, 64}, {"floor.bmp", 32, 16}};
    return e;
}

TEST_F(ShapeBuilder, QuadAndTriangleGroupByTextureAndWeld)
{
    ShapeData d = QuadAndTriangle();
    VeShape* s = BuildShape(d, nullptr, TwoTextures(), 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->UseCount(), 1);
    auto meshes = Meshes(*s);
    ASSERT_EQ(meshes.size(), 2u);
    TextureEntry* wall = TextureManager::Find("wall.bmp");
    TextureEntry* floor = TextureManager::Find("floor.bmp");
    // Groups are made from the last to the first: the floor's sub-mesh comes first.
    SubMesh& tri = *meshes[0];
    SubMesh& quad = *meshes[1];
    EXPECT_EQ(tri.texture, floor);
    EXPECT_EQ(quad.texture, wall);
    EXPECT_EQ(quad.format, ShapeBuild::kVertexFormat);
    EXPECT_EQ(quad.Stride(), 36u);
    EXPECT_EQ(quad.vertexCount, 4u);
    EXPECT_EQ(quad.indexCount, 6u);
    EXPECT_EQ(quad.vertices.size(), 4u * 36u);
    EXPECT_EQ(tri.vertexCount, 3u);
    EXPECT_EQ(tri.indexCount, 3u);

    // The triangle's corners are taken 3, 2, 1: scaled positions, uv over the table size.
    const Vtx first = VertexOf(tri, tri.indices[0]);
    EXPECT_FLOAT_EQ(first.x, 10.0f);
    EXPECT_FLOAT_EQ(first.y, 5.0f);
    EXPECT_FLOAT_EQ(first.u, 1.0f);
    EXPECT_FLOAT_EQ(first.v, 1.0f);
    EXPECT_EQ(first.colour, 0xFFFFFFFFu);
    const Vtx last = VertexOf(tri, tri.indices[2]);
    EXPECT_FLOAT_EQ(last.x, 5.0f);
    EXPECT_FLOAT_EQ(last.u, 0.0f);
    // Quad: (4, 3, 1) then (3, 2, 1), sharing corners 3 and 1.
    EXPECT_EQ(std::vector<uint16_t>(quad.indices.begin(), quad.indices.end()),
              (std::vector<uint16_t>{0, 1, 2, 1, 3, 2}));
    EXPECT_FLOAT_EQ(VertexOf(quad, 3).x, 5.0f);  // corner 2
    EXPECT_FLOAT_EQ(VertexOf(quad, 3).u, 1.0f);

    // Both textures used, no null texture; each keeps one use for the shape.
    EXPECT_EQ(s->Textures().Count(), 2);
    EXPECT_EQ(s->BoundTextures().Count(), 2);
    EXPECT_EQ(wall->UseCount(), 2);  // the shape's and this test's Find

    // Welded geometry: every polygon, five distinct points.
    ASSERT_TRUE(s->geometry_);
    const auto tris = s->geometry_->triangles;
    const auto quads = s->geometry_->quads;
    const auto points = s->geometry_->points;
    ASSERT_EQ(tris.size(), 1u);
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(points.size(), 5u);
    EXPECT_FLOAT_EQ(points[size_t(tris[0].corners[2])].x, 10.0f);
    s->Release();
}

TEST_F(ShapeBuilder, UnusedTextureIsGivenBackAndNoNullTextureNeeded)
{
    ShapeData d = QuadAndTriangle();
    d.polygons_.erase(d.polygons_.begin());
    Finish(d);
    VeShape* s = BuildShape(d, nullptr, TwoTextures(), 0);
    auto meshes = Meshes(*s);
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_EQ(std::vector<uint16_t>(meshes[0]->indices.begin(), meshes[0]->indices.end()),
              (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_FLOAT_EQ(VertexOf(*meshes[0], 0).x, 10.0f);  // corner 3 is point 4
    TextureEntry* wall = TextureManager::Find("wall.bmp");
    EXPECT_EQ(wall->UseCount(), 1);  // only this test's Find is left
    EXPECT_EQ(s->Textures().Count(), 1);
    s->Release();
}

TEST_F(ShapeBuilder, CornersDifferingOnlyInTintWeldWithTheFirstWrittenColour)
{
    ShapeData d;
    AddPoint(d, 0, 0, 0);
    AddPoint(d, 1, 0, 0);
    AddPoint(d, 1, 1, 0);
    AddPoint(d, 0, 0, 0);  // same place as point 0
    d.polygons_ = {Poly({0, 1, 2, 3})};
    Finish(d);
    const std::vector<uint32_t> tint{0x00112233, 0x11, 0x22, 0x00445566};
    VeShape* s = BuildShape(d, &tint, Plain(), 0);
    auto meshes = Meshes(*s);
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_EQ(meshes[0]->vertexCount, 3u);
    EXPECT_EQ(meshes[0]->indexCount, 6u);
    EXPECT_EQ(VertexOf(*meshes[0], 0).colour, 0xFF445566u);  // corner 4 is written first
    EXPECT_EQ(s->geometry_->points.size(), 3u);
    const auto quads = s->geometry_->quads;
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].corners[0], quads[0].corners[3]);
    s->Release();
}

TEST_F(ShapeBuilder, HiddenAndDamagedPolygons)
{
    struct Case {
        const char* what;
        ShapePolygon polygon;
        int32_t flags;
        size_t meshes, geometryTriangles;
    };
    const Case cases[] = {
        {"drawn", Poly({0, 1, 2}), 0, 1, 1},
        {"hidden by flag bit 0", Poly({0, 1, 2}), 0x3, 0, 1},
        {"too few corners", Poly({0, 1}), 0, 0, 0},
        {"corner names a missing point", Poly({0, 1, 99}), 0, 0, 0},
        {"negative corner", Poly({0, -1, 2}), 0, 0, 0},
        {"texture number past the table", Poly({0, 1, 2}, kTexturedType, 7, 0), 0, 1, 1},
        {"uv set missing", Poly({0, 1, 2}, kTexturedType, 0, 5), 0, 1, 1},
    };
    for (const Case& c : cases) {
        ShapeData d;
        AddPoint(d, 0, 0, 0);
        AddPoint(d, 1, 0, 0);
        AddPoint(d, 1, 1, 0);
        d.polygons_ = {c.polygon};
        d.polygons_[0].flags_ = c.flags;
        Finish(d);
        trevok::EnvironmentRecord setup = Plain();
        setup.hasTextureTable_ = true;
        setup.textures_ = {{"t.bmp", 8, 8}};
        VeShape* s = BuildShape(d, nullptr, setup, 0);
        EXPECT_EQ(Meshes(*s).size(), c.meshes) << c.what;
        const auto tris = s->geometry_->triangles;
        ASSERT_EQ(tris.size(), c.geometryTriangles) << c.what;
        if (!tris.empty()) {
            EXPECT_EQ(tris[0].flags, c.flags & ShapeBuild::kGeometryFlagMask) << c.what;
        }
        s->Release();
        TextureManager::Clear();
    }
}

TEST_F(ShapeBuilder, BoundingSphere)
{
    struct Case {
        trevok::ShapePoint max, centre;
        float centreRadius;
        Vec3 wantCentre;
        float wantRadius;
    };
    const Case cases[] = {
        {{4, 0, 0}, {0, 0, 0}, 0.0f, {1, 0, 0}, 1.0f},
        {{4, 0, 0}, {2, 2, 2}, 3.0f, {1, 1, 1}, 1.5f},
    };
    for (const Case& c : cases) {
        ShapeData d;
        d.maxCorner_ = c.max;
        d.centre_ = c.centre;
        d.centreRadius_ = c.centreRadius;
        trevok::EnvironmentRecord setup = Plain(0.5f);
        VeShape* s = BuildShape(d, nullptr, setup, 0);
        EXPECT_FLOAT_EQ(s->sphereCentre_.x, c.wantCentre.x);
        EXPECT_FLOAT_EQ(s->sphereCentre_.y, c.wantCentre.y);
        EXPECT_FLOAT_EQ(s->sphereRadius_, c.wantRadius);
        EXPECT_FLOAT_EQ(s->max_.x, 2.0f);
        EXPECT_TRUE(s->flags_ & VeShape::kSkipBoxTest);
        s->Release();
    }
}

// `triangles` untextured triangles after `leading` (polygon 0, built last);
// distinct corners unless `shared`.
ShapeData ManyTriangles(int triangles, bool shared, std::vector<ShapePolygon> leading = {})
{
    ShapeData d;
    const int pointSets = shared ? 1 : triangles;
    for (int i = 0; i < pointSets; ++i) {
        AddPoint(d, i, 0, 0);
        AddPoint(d, i, 1, 0);
        AddPoint(d, i, 1, 1);
    }
    const int32_t base = int32_t(d.points_.size());
    d.polygons_ = leading;
    for (auto& p : d.polygons_)
        for (int c = 0; c < p.vertexCount_; ++c)
            p.vertices_[c] += base;
    for (int i = 0; i < triangles; ++i) {
        const int32_t b = shared ? 0 : 3 * i;
        d.polygons_.push_back(Poly({b, b + 1, b + 2}));
    }
    return d;
}

TEST_F(ShapeBuilder, VertexLimitCutsGroupsIntoSubMeshes)
{
    struct Case {
        const char* what;
        int triangles;
        bool shared;
        std::vector<uint32_t> vertexCounts;
    };
    const Case cases[] = {
        {"10000 distinct triangles fill one", 10000, false, {30000}},
        {"10001 distinct triangles need two", 10001, false, {30000, 3}},
        {"10001 welded triangles leave the second empty", 10001, true, {3}},
    };
    for (const Case& c : cases) {
        ShapeData d = ManyTriangles(c.triangles, c.shared);
        Finish(d);
        VeShape* s = BuildShape(d, nullptr, Plain(), 0);
        std::vector<uint32_t> counts;
        uint32_t indices = 0;
        for (SubMesh* m : s->SubMeshes()) {
            counts.push_back(m->vertexCount);
            indices += m->indexCount;
            EXPECT_EQ(m->vertices.size(), size_t(m->vertexCount) * 36) << c.what;
            for (uint16_t i : m->indices)
                ASSERT_LT(i, m->vertexCount) << c.what;
        }
        EXPECT_EQ(counts, c.vertexCounts) << c.what;
        EXPECT_EQ(indices, uint32_t(3 * c.triangles)) << c.what;
        s->Release();
    }
}

TEST_F(ShapeBuilder, QuadCutAtTheLimitIsNotDrawnTwice)
{
    // 9999 distinct triangles take 29997 vertices, the quad's first triangle the
    // last three; its second triangle moves on alone.
    ShapeData d = ManyTriangles(9999, false, {Poly({0, 1, 2, 3})});
    AddPoint(d, -1, 0, 0);
    AddPoint(d, -1, 1, 0);
    AddPoint(d, -1, 1, 1);
    AddPoint(d, -1, 0, 1);
    Finish(d);
    VeShape* s = BuildShape(d, nullptr, Plain(), 0);
    auto meshes = Meshes(*s);
    ASSERT_EQ(meshes.size(), 2u);
    EXPECT_EQ(meshes[0]->vertexCount, 30000u);
    EXPECT_EQ(meshes[0]->indexCount, 30000u);
    EXPECT_EQ(meshes[1]->vertexCount, 3u);
    EXPECT_EQ(meshes[1]->indexCount, 3u);
    EXPECT_FLOAT_EQ(VertexOf(*meshes[1], meshes[1]->indices[0]).z, 1.0f);  // corner 3 of the quad
    s->Release();
}

TEST_F(ShapeBuilder, MergeTableJoinsTrianglesInTheKeptGeometryOnly)
{
    ShapeData d;
    AddPoint(d, 0, 0, 0);
    AddPoint(d, 1, 0, 0);
    AddPoint(d, 1, 1, 0);
    AddPoint(d, 0, 1, 0);
    d.polygons_ = {Poly({0, 1, 2}), Poly({0, 2, 3})};
    Finish(d);
    const std::vector<int32_t> merge{1, 0};
    VeShape* s = BuildShape(d, nullptr, Plain(), ShapeBuild::kMergeTrianglePairs, &merge);
    auto meshes = Meshes(*s);
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_EQ(meshes[0]->indexCount, 6u);
    EXPECT_EQ(d.polygons_.size(), 1u);
    EXPECT_EQ(s->geometry_->quads.size(), 1u);
    EXPECT_TRUE(s->geometry_->triangles.empty());
    s->Release();
}

TEST_F(ShapeBuilder, ChunkMergeDataIsAppliedAndTheStoredPolygonsFollow)
{
    ShapeData d;
    AddPoint(d, 0, 0, 0);
    AddPoint(d, 1, 0, 0);
    AddPoint(d, 1, 1, 0);
    AddPoint(d, 0, 1, 0);
    d.polygons_ = {Poly({0, 1, 2}), Poly({0, 2, 3})};
    Finish(d);
    trevok::ShapeChunk chunk(nullptr, d);
    new trevok::MergeDataChunk(&chunk, std::vector<int32_t>{1, 0});
    ASSERT_TRUE(chunk.FindChild(trevok::chunk_id::kMergeData));
    VeShape* s = BuildShape(chunk, nullptr, Plain(), ShapeBuild::kMergeTrianglePairs);
    EXPECT_FALSE(chunk.FindChild(trevok::chunk_id::kMergeData));
    EXPECT_EQ(s->geometry_->quads.size(), 1u);
    auto* stored = chunk.FindChildAs<trevok::PolygonsChunk>(trevok::chunk_id::kPolygons);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Records().size(), 1u);
    s->Release();
}

bool InTable(const std::string& name)
{
    for (TextureEntry* e : TextureManager::InRecentOrder())
        if (e->Name() == name)
            return true;
    return false;
}

TEST_F(ShapeBuilder, SharedTextureIsPurgedOnlyAfterTheLastShape)
{
    struct Case {
        const char* what;
        bool firstGoesFirst;
    };
    const Case cases[] = {{"built first, freed first", true}, {"built first, freed last", false}};
    for (const Case& c : cases) {
        ShapeData d = QuadAndTriangle();
        const trevok::EnvironmentRecord env = TwoTextures();
        VeShape* shapes[2] = {BuildShape(d, nullptr, env, 0), BuildShape(d, nullptr, env, 0)};
        TextureEntry* wall = TextureManager::Find("wall.bmp");
        wall->Unuse();  // this look-up's own use
        EXPECT_EQ(wall->KeepCount(), 2) << c.what;
        EXPECT_EQ(wall->Width(), 64u) << c.what;  // size from the table

        const int order[2] = {c.firstGoesFirst ? 0 : 1, c.firstGoesFirst ? 1 : 0};
        shapes[order[0]]->Release();
        TextureManager::PurgeUnused();
        ASSERT_TRUE(InTable("wall.bmp")) << c.what;
        EXPECT_EQ(wall->KeepCount(), 1) << c.what;
        EXPECT_EQ(wall->UseCount(), 1) << c.what;

        shapes[order[1]]->Release();
        TextureManager::PurgeUnused();
        EXPECT_FALSE(InTable("wall.bmp")) << c.what;
        EXPECT_FALSE(InTable("floor.bmp")) << c.what;
        TextureManager::Clear();
    }
}

TEST_F(ShapeBuilder, BuildingAChunkTwiceGivesTheSameShape)
{
    ShapeData d = QuadAndTriangle();
    d.polygons_ = {Poly({0, 1, 2}), Poly({0, 2, 3}), Poly({2, 3, 4})};
    Finish(d);
    trevok::ShapeChunk chunk(nullptr, d);
    new trevok::MergeDataChunk(&chunk, std::vector<int32_t>{1, 0, -1});
    const trevok::EnvironmentRecord env = TwoTextures();
    VeShape* first = BuildShape(chunk, nullptr, env, ShapeBuild::kMergeTrianglePairs);
    VeShape* second = BuildShape(chunk, nullptr, env, ShapeBuild::kMergeTrianglePairs);
    auto a = Meshes(*first), b = Meshes(*second);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i]->vertices, b[i]->vertices);
        EXPECT_EQ(a[i]->indices, b[i]->indices);
    }
    EXPECT_EQ(first->geometry_->quads.size(), 1u);
    EXPECT_EQ(second->geometry_->quads.size(), 1u);
    EXPECT_EQ(first->geometry_->triangles.size(), second->geometry_->triangles.size());
    first->Release();
    second->Release();
}

TEST_F(ShapeBuilder, SampleModelFileBuilds)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path path = std::filesystem::path(root ? root : "") / "rifs" / "models.rif";
    if (!root || !std::filesystem::exists(path))
        GTEST_SKIP() << "no sample data";
    auto file = trevok::ChunkFile::Open(path);
    ASSERT_EQ(file->ErrorCode(), trevok::kChunkOk);
    std::vector<trevok::ShapeChunk*> shapes;
    file->GetShapes(shapes);
    ASSERT_FALSE(shapes.empty());
    for (trevok::ShapeChunk* chunk : shapes) {
        VeShape* s = BuildShape(*chunk, nullptr, Plain(), ShapeBuild::kMergeTrianglePairs);
        uint32_t triangles = 0;
        for (SubMesh* m : s->SubMeshes()) {
            EXPECT_LE(m->vertexCount, ShapeBuild::kSubMeshVertexLimit);
            for (uint16_t i : m->indices)
                ASSERT_LT(i, m->vertexCount);
            triangles += m->indexCount / 3;
        }
        EXPECT_GT(triangles, 0u);
        EXPECT_FALSE(s->geometry_->points.empty());
        EXPECT_FALSE(chunk->FindChild(trevok::chunk_id::kMergeData));
        s->Release();
    }
}

} // namespace

namespace {

// Damaged tables and arrays from a file give finite vertices, never reads
// past an array: each case is one textured triangle with one fault.
TEST(ShapeBuilderInputs, OutOfRangeValuesAreClampedNotRead)
{
    struct Case {
        const char* what;
        uint32_t width, height;
        int32_t texture, uvSet;
        size_t normals;
        float wantU;  // of corner 3, whose stored u is 8
        bool textured;
    };
    const Case cases[] = {
        {"all in range", 16, 16, 0, 0, 3, 0.5f, true},
        {"zero texture width", 0, 0, 0, 0, 3, 8.0f, true},
        {"texture number past the slots", 16, 16, 9, 0, 3, 0.0f, false},
        {"uv set past the sets", 16, 16, 0, 4, 3, 0.0f, true},
        {"fewer vertex normals than points", 16, 16, 0, 0, 1, 0.5f, true},
    };
    for (const Case& c : cases) {
        ShapeData d;
        AddPoint(d, 0, 0, 0);
        AddPoint(d, 1, 0, 0);
        AddPoint(d, 1, 1, 0);
        d.vertexNormals_.resize(c.normals);
        trevok::ShapeUvSet uv;
        uv.count_ = 3;
        uv.pairs_[2] = {8, 8};
        d.uvSets_ = {uv};
        d.polygons_ = {Poly({0, 1, 2}, kTexturedType, c.texture, c.uvSet)};
        Finish(d);
        trevok::EnvironmentRecord env = Plain();
        env.hasTextureTable_ = true;
        env.textures_ = {{"t.bmp", c.width, c.height}};
        VeShape* s = BuildShape(d, nullptr, env, 0);
        auto meshes = Meshes(*s);
        ASSERT_EQ(meshes.size(), 1u) << c.what;
        EXPECT_EQ(meshes[0]->texture != nullptr, c.textured) << c.what;
        for (uint32_t i = 0; i < meshes[0]->vertexCount; ++i) {
            const Vtx v = VertexOf(*meshes[0], i);
            for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v})
                EXPECT_TRUE(std::isfinite(f)) << c.what;
        }
        EXPECT_FLOAT_EQ(VertexOf(*meshes[0], meshes[0]->indices[0]).u, c.wantU) << c.what;
        s->Release();
        TextureManager::Clear();
    }
}

} // namespace

// Shape data and shape chunks: texture words, merging triangles into quads,
// rebuilding children, object links and levels of detail.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <gtest/gtest.h>

using namespace trevok;
using namespace chunktest;

namespace {

ShapePolygon Tri(int32_t type, int32_t a, int32_t b, int32_t c, int32_t uvSet = 0)
{
    ShapePolygon p;
    p.type_ = type;
    p.vertexCount_ = 3;
    p.vertices_[0] = a;
    p.vertices_[1] = b;
    p.vertices_[2] = c;
    p.SetUvIndex(uvSet);
    return p;
}

ShapeUvSet Uv(std::initializer_list<ShapeUv> pairs)
{
    ShapeUvSet s;
    for (auto p : pairs)
        s.pairs_[s.count_++] = p;
    return s;
}

} // namespace

TEST(ShapePolygon, UvIndexKeepsBits16To19InTheTextureWord)
{
    const int32_t cases[] = {0, 1, 0xFFFF, 0x10000, 0x12345, 0xFFFFF};
    for (int32_t index : cases) {
        ShapePolygon p;
        p.SetTextureNumber(0xABC);
        p.SetUvIndex(index);
        EXPECT_EQ(p.GetUvIndex(), index) << index;
        EXPECT_EQ(p.GetTextureNumber(), 0xABC) << index;
        if (index <= 0xFFFF) {
            EXPECT_EQ(p.textureWord_ & 0xF000, 0) << index;
        }
    }
}

TEST(ShapeValues, FixedNormaliseAndTruncatingScale)
{
    ShapePoint p{3, 4, 0};
    ASSERT_TRUE(NormaliseFixed(p));
    EXPECT_EQ(p, (ShapePoint{39321, 52428, 0}));
    ShapePoint zero{};
    EXPECT_FALSE(NormaliseFixed(zero));
    ShapeData d;
    d.points_ = {{-3, 3, 7}};
    d.maxCorner_ = {5, 5, 5};
    d.radius_ = 10;
    d.Scale(0.5);
    EXPECT_EQ(d.points_[0], (ShapePoint{-1, 1, 3}));
    EXPECT_EQ(d.maxCorner_, (ShapePoint{2, 2, 2}));
    EXPECT_EQ(d.radius_, 5.0f);
    ShapeVector v{0, 0, 0};
    EXPECT_FALSE(Normalise(v));
    EXPECT_EQ(Cross({1, 0, 0}, {0, 1, 0}).z, 1.0);
}

TEST(ShapeData, MergePolygonsJoinsTrianglePairs)
{
    struct Case {
        const char* name;
        std::vector<ShapePolygon> polygons;
        std::vector<int32_t> table;
        std::vector<int32_t> counts; // vertex counts of the result
    } cases[] = {
        {"shared edge joins", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3)}, {1, 0}, {4}},
        {"one shared vertex does not", {Tri(1, 0, 1, 2), Tri(1, 2, 3, 4)}, {1, 0}, {3, 3}},
        {"no shared vertex does not", {Tri(1, 0, 1, 2), Tri(1, 3, 4, 5)}, {1, 0}, {3, 3}},
        {"different types do not", {Tri(1, 0, 1, 2), Tri(2, 0, 2, 3)}, {1, 0}, {3, 3}},
        {"unpaired entries pass through", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3)}, {-1, -1}, {3, 3}},
        // the second names the first, which passed through unjoined: both stay
        {"one-way pairing keeps both polygons", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3)}, {-1, 0}, {3, 3}},
        // the first takes the second, which must not come out a second time
        {"a joined partner is not emitted again", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3)}, {1, -1}, {4}},
        {"a polygon named by two is joined once", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3), Tri(1, 2, 3, 4)}, {1, -1, 1},
         {4, 3}},
        {"a polygon naming itself stays", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3)}, {0, -1}, {3, 3}},
        {"partner outside the shape joins nothing", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3)}, {7, -1}, {3, 3}},
        {"short table", {Tri(1, 0, 1, 2), Tri(1, 0, 2, 3)}, {}, {3, 3}},
    };
    for (const auto& c : cases) {
        ShapeData d;
        d.points_.resize(6);
        d.polygons_ = c.polygons;
        d.polygonCount_ = static_cast<int32_t>(c.polygons.size());
        d.polygonNormals_.resize(c.polygons.size());
        for (size_t i = 0; i < c.polygons.size(); ++i) {
            d.polygons_[i].normalIndex_ = static_cast<int32_t>(i);
            d.polygonNormals_[i].x = static_cast<float>(i + 1);
        }
        d.MergePolygons(c.table);
        std::vector<int32_t> counts;
        for (size_t i = 0; i < d.polygons_.size(); ++i) {
            counts.push_back(d.polygons_[i].vertexCount_);
            EXPECT_EQ(d.polygons_[i].normalIndex_, static_cast<int32_t>(i)) << c.name;
        }
        EXPECT_EQ(counts, c.counts) << c.name;
        EXPECT_EQ(d.polygonCount_, static_cast<int32_t>(d.polygons_.size())) << c.name;
        EXPECT_EQ(d.polygonNormals_.size(), d.polygons_.size()) << c.name;
    }
}

TEST(ShapeData, MergedQuadWalksTheOutline)
{
    ShapeData d;
    d.points_.resize(4);
    d.polygons_ = {Tri(1, 0, 1, 2), Tri(1, 2, 1, 3)};
    d.polygonNormals_.resize(2);
    d.MergePolygons({1, 0});
    ASSERT_EQ(d.polygons_.size(), 1u);
    const auto& q = d.polygons_[0];
    EXPECT_EQ(std::vector<int32_t>(q.vertices_, q.vertices_ + 4), (std::vector<int32_t>{0, 1, 3, 2}));
}

TEST(ShapeData, TexturedMergeNeedsMatchingUvAtSharedVertices)
{
    for (bool matching : {true, false}) {
        ShapeData d;
        d.points_.resize(4);
        d.uvSets_ = {Uv({{0, 0}, {1, 0}, {1, 1}}), Uv({{0, 0}, {1, 1}, {0, matching ? 1.0f : 0.5f}}),
                     Uv({{0, 0}, {matching ? 1.0f : 0.9f, 1}, {0, 1}})};
        d.polygons_ = {Tri(5, 0, 1, 2, 0), Tri(5, 0, 2, 3, 2)};
        d.polygonNormals_.resize(2);
        d.MergePolygons({1, 0});
        if (matching) {
            ASSERT_EQ(d.polygons_.size(), 1u);
            EXPECT_EQ(d.uvSets_[0].count_, 4);
            EXPECT_EQ(d.uvSets_[0].pairs_[3].v, 1.0f);
        } else {
            EXPECT_EQ(d.polygons_.size(), 2u);
        }
    }
}

TEST(ShapeData, FailedTexturedJoinLeavesTheTextureCoordinatesAlone)
{
    // One shared vertex with the same coordinates there: the walk closes on itself.
    ShapeData d;
    d.points_.resize(5);
    d.uvSets_ = {Uv({{0, 0}, {1, 0}, {1, 1}}), Uv({{1, 1}, {0, 1}, {0, 0.5f}})};
    d.polygons_ = {Tri(5, 0, 1, 2, 0), Tri(5, 2, 3, 4, 1)};
    d.polygonNormals_.resize(2);
    const auto before = d.uvSets_;
    d.MergePolygons({1, 0});
    EXPECT_EQ(d.polygons_.size(), 2u);
    EXPECT_EQ(d.uvSets_, before);
}

TEST(ShapeChunk, BuiltFromDataWritesTheLayoutAndRebuildsOnUpdate)
{
    auto file = ChunkFile::CreateEmpty();
    ShapeData d;
    d.points_ = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
    d.pointCount_ = 3;
    d.polygons_ = {Tri(1, 0, 1, 2)};
    d.polygonCount_ = 1;
    d.textureNames_ = {"a", "bc"};
    d.maxCorner_ = {10, 10, 0};
    d.shapeFlags_ = 2;
    auto* shape = new ShapeChunk(file.get(), d);
    const char* order[] = {"SHPRAWVT", "SHPPOLYS", "SHPTEXFN", "SHPCENTR", "SHPFLAGS", "SHPHEAD1"};
    Chunk* c = shape->FirstChild();
    for (const char* id : order) {
        ASSERT_TRUE(c) << id;
        EXPECT_TRUE(c->Is(id)) << c->Identifier() << " instead of " << id;
        c = c->Next();
    }
    EXPECT_EQ(shape->Data().centre_, (ShapePoint{5, 5, 0}));
    auto block = shape->BuildBlock();
    // The polygon record: 3 indices then -1 in slots 4 and 5.
    auto* polys = shape->FindChild("SHPPOLYS");
    EXPECT_EQ(polys->ComputeSize(), 48);
    EXPECT_EQ(shape->GetHeader()->ComputeSize(), 80);
    EXPECT_EQ(shape->FindChild("SHPTEXFN")->ComputeSize(), 24);

    ShapeData changed = d;
    changed.points_.push_back({5, 5, 5});
    changed.pointCount_ = 4;
    shape->Update(changed);
    auto* points = shape->FindChildAs<ShapePointsChunk>("SHPRAWVT");
    ASSERT_TRUE(points);
    EXPECT_EQ(points->Records().size(), 4u);
    EXPECT_TRUE(shape->GetHeader()); // the header stays
    EXPECT_EQ(shape->CountChildren("SHPRAWVT"), 1);

    auto* clone = shape->Clone();
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone->Data().points_, changed.points_);
    EXPECT_EQ(clone->GetHeader()->shapeId_, -1);
    EXPECT_NE(clone->GetHeader(), shape->GetHeader());
}

TEST(ShapeChunk, VertexFlagsReadAfterPointsSetThePointCount)
{
    auto points = MakeChunk("SHPRAWVT", Bytes().I32(1).I32(2).I32(3).I32(4).I32(5).I32(6).b);
    auto flags = MakeChunk("SHPVFLAG", Bytes().I32(9).I32(9).I32(9).b);
    for (bool withFlags : {false, true}) {
        auto body = points;
        if (withFlags)
            body.insert(body.end(), flags.begin(), flags.end());
        auto file = ChunkFile::FromFileImage(PlainFile({MakeChunk("VQNSHAPE", body)}));
        ASSERT_EQ(file->ErrorCode(), kChunkOk);
        auto* shape = file->FindChildAs<ShapeChunk>("VQNSHAPE");
        ASSERT_TRUE(shape);
        EXPECT_EQ(shape->Data().pointCount_, withFlags ? 3 : 2);
        EXPECT_EQ(shape->Data().points_.size(), 2u); // arrays keep their own sizes
    }
}

TEST(ShapeChunk, DeletingEitherSideOfAnObjectLinkLeavesNoDanglingLink)
{
    for (bool deleteShape : {true, false}) {
        auto file = ChunkFile::CreateEmpty();
        auto* shape = new ShapeChunk(file.get(), ShapeData{});
        ObjectHeader h;
        h.name_ = "crate";
        auto* object = new ObjectChunk(file.get(), h);
        h.name_ = "barrel";
        auto* other = new ObjectChunk(file.get(), h);
        object->LinkShape(shape);
        other->LinkShape(shape);
        ASSERT_EQ(object->GetShape(), shape);
        ASSERT_EQ(shape->GetUsers().size(), 2u);
        if (deleteShape) {
            delete shape;
            EXPECT_EQ(object->GetShape(), nullptr);
            EXPECT_EQ(other->GetShape(), nullptr);
        } else {
            // Only the deleted object leaves; a user linked after it stays.
            delete object;
            EXPECT_EQ(shape->GetUsers(), std::vector<ObjectChunk*>{other});
            EXPECT_EQ(other->GetShape(), shape);
        }
    }
}

TEST(ShapeChunk, ExternalObjectNameWithoutFileName)
{
    auto file = ChunkFile::CreateEmpty();
    auto* ext = new ExternalFileChunk(file.get(), "far.rif");
    auto* name = new ExternalObjectNameChunk(ext, "door");
    EXPECT_EQ(name->displayName_, "door@*NotFound*");
    EXPECT_EQ(ext->GetDisplayName(), "door@*NotFound*");
    EXPECT_EQ(ext->FindChildAs<ExternalFileNameChunk>("SHPEXTFN")->ComputeSize(), 32);
}

TEST(ObjectChunk, LevelsOfDetailFollowNamedSiblings)
{
    auto file = ChunkFile::CreateEmpty();
    auto object = [&](const char* name) {
        ObjectHeader h;
        h.name_ = name;
        return new ObjectChunk(file.get(), h);
    };
    ObjectChunk* base = object("N");
    ObjectChunk* l1 = object("L1#N");
    object("L3#N");
    uint32_t orientation[4] = {};
    new DummyObjectChunk(file.get(), "L3#N", {}, {}, {}, orientation);
    std::vector<ObjectChunk*> levels;
    EXPECT_EQ(base->GetLevelsOfDetail(levels), 2);
    ASSERT_EQ(levels.size(), 10u);
    EXPECT_EQ(levels[0], base);
    EXPECT_EQ(levels[1], l1);
    EXPECT_EQ(levels[2], l1);
    for (size_t i = 3; i < 10; ++i)
        EXPECT_EQ(levels[i], nullptr) << i;
}

TEST(ObjectChunk, OldTrackQuaternionsAreConvertedOnce)
{
    auto record = Bytes();
    for (float f : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f}) {
        uint32_t w;
        std::memcpy(&w, &f, 4);
        record.I32(static_cast<int32_t>(w));
    }
    for (int i = 0; i < 11; ++i)
        record.I32(i);
    auto image = PlainFile({MakeChunk("OBJTRAK2", Bytes().I32(1).Add(record.b).I32(5).I32(0).b)});
    auto file = ChunkFile::FromFileImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk);
    auto written = file->PlainImage();
    // (q0, q1, q2, q3) -> (-q3, q0, q1, -q2), and A gains bit 31.
    const float expected[] = {-4, 1, 2, -3, -8, 5, 6, -7};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(F32At(written, 28 + 4 * static_cast<size_t>(i)), expected[i]) << i;
    EXPECT_EQ(written[28 + 76 + 3], 0x80);
    EXPECT_EQ(written[28 + 76], 5);
    auto again = ChunkFile::FromFileImage(written);
    EXPECT_EQ(again->PlainImage(), written);
}

TEST(DummyObject, TextIsReplacedCreatedAndDeleted)
{
    auto file = ChunkFile::CreateEmpty();
    uint32_t orientation[4] = {};
    auto* dummy = new DummyObjectChunk(file.get(), "", {}, {}, {}, orientation);
    EXPECT_EQ(dummy->GetText(), nullptr);
    EXPECT_EQ(dummy->GetData()->ComputeSize(), 68); // empty name: one NUL and padding
    std::string text = "abcd";
    dummy->SetText(&text);
    ASSERT_TRUE(dummy->GetText());
    EXPECT_EQ(*dummy->GetText(), "abcd");
    std::string empty;
    dummy->SetText(&empty);
    EXPECT_EQ(dummy->GetText(), nullptr);
    EXPECT_EQ(dummy->CountChildren("DUMOBJTX"), 0);
}

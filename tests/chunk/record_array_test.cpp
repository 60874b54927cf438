// The shape chunks that hold one array of fixed-size records: whole records
// are read, a remainder shorter than a record stays with the chunk and is
// written back, and the shape's data receives the same array.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/huffman_coder.h"
#include "chunk/record_array.h"
#include "chunk/shape_chunks.h"

#include <gtest/gtest.h>

#include <functional>

using namespace trevok;
using namespace chunktest;

namespace {

struct ArrayCase {
    const char* id;
    size_t recordSize;
    // What the shape's data holds after reading `records` records of `Record(i)` words.
    size_t (*shapeCount)(const ShapeData&);
    int32_t (*firstWordInShape)(const ShapeData&);
};

// Record i is the words 100 * i + w, except polygon vertex slots, which end with -1.
std::vector<uint8_t> Records(const ArrayCase& c, int count)
{
    Bytes b;
    const bool polygon = c.recordSize == 36;
    for (int i = 0; i < count; ++i)
        for (size_t w = 0; w < c.recordSize / 4; ++w)
            b.I32(polygon && w >= 7 ? -1 : static_cast<int32_t>(100 * i + static_cast<int32_t>(w)));
    return b.b;
}

// The ways a file image reaches the loader: from memory (the loader copies what it
// keeps), opened from a file or expanded (the chunks may keep referring to the image).
struct LoadPath {
    const char* name;
    std::function<std::unique_ptr<ChunkFile>(const std::vector<uint8_t>& image)> load;
};

std::vector<LoadPath> LoadPaths()
{
    auto open = [](const std::vector<uint8_t>& stored) {
        const auto dir = TempDir("record_arrays");
        WriteBytes(dir / "file.rif", stored);
        auto file = ChunkFile::Open(dir / "file.rif");
        std::filesystem::remove_all(dir);
        return file;
    };
    return {
        {"from memory", [](const std::vector<uint8_t>& image) { return ChunkFile::FromFileImage(image); }},
        {"opened", open},
        {"opened compressed", [open](const std::vector<uint8_t>& image) { return open(HuffmanCoder::Compress(image)); }},
    };
}

} // namespace

TEST(RecordArrayChunks, WholeRecordsAreReadAndARemainderIsKeptAndWrittenBack)
{
    const ArrayCase cases[] = {
        {chunk_id::kShapePoints, 12, [](const ShapeData& d) { return d.points_.size(); },
         [](const ShapeData& d) { return d.points_.empty() ? -1 : d.points_.back().x; }},
        {chunk_id::kVertexFlags, 4, [](const ShapeData& d) { return d.vertexFlags_.size(); },
         [](const ShapeData& d) { return d.vertexFlags_.empty() ? -1 : d.vertexFlags_.back(); }},
        {chunk_id::kVertexNormals, 12, [](const ShapeData& d) { return d.vertexNormals_.size(); },
         [](const ShapeData& d) {
             return d.vertexNormals_.empty() ? -1 : std::bit_cast<int32_t>(d.vertexNormals_.back().x);
         }},
        {chunk_id::kPolygonNormals, 12, [](const ShapeData& d) { return d.polygonNormals_.size(); },
         [](const ShapeData& d) {
             return d.polygonNormals_.empty() ? -1 : std::bit_cast<int32_t>(d.polygonNormals_.back().x);
         }},
        {chunk_id::kPolygons, 36, [](const ShapeData& d) { return d.polygons_.size(); },
         [](const ShapeData& d) { return d.polygons_.empty() ? -1 : d.polygons_.back().type_; }},
    };
    for (const LoadPath& path : LoadPaths()) {
        for (const ArrayCase& c : cases) {
            for (size_t remainder : {size_t{0}, size_t{1}, c.recordSize - 1}) {
                SCOPED_TRACE(std::string(path.name) + ", " + c.id + ", remainder " + std::to_string(remainder));
                auto payload = Records(c, 3);
                for (size_t i = 0; i < remainder; ++i)
                    payload.push_back(static_cast<uint8_t>(0xA0 + i));
                const auto chunk = MakeChunk(c.id, payload);
                auto file = path.load(PlainFile({MakeChunk(chunk_id::kShape, chunk)}));
                ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
                auto* shape = file->FindChildAs<ShapeChunk>(chunk_id::kShape);
                ASSERT_NE(shape, nullptr);
                EXPECT_EQ(c.shapeCount(shape->Data()), 3u);
                EXPECT_EQ(c.firstWordInShape(shape->Data()), 200);
                Chunk* child = shape->FindChild(c.id);
                ASSERT_NE(child, nullptr);
                EXPECT_EQ(child->BuildBlock(), chunk);
            }
        }
    }
}

// A polygon's vertex count is the number of slots before the first -1, at most
// four; the slots past it read 0 and the header words come through unchanged.
TEST(RecordArrayChunks, PolygonVertexCountEndsAtTheFirstMinusOne)
{
    const struct {
        std::vector<int32_t> slots;
        int count;
    } cases[] = {
        {{-1, 5, 6, 7, 8}, 0}, {{4, -1, 6, 7, -1}, 1}, {{4, 5, -1, -1, 8}, 2},
        {{4, 5, 6, -1, -1}, 3}, {{4, 5, 6, 7, -1}, 4}, {{4, 5, 6, 7, 8}, 4},
    };
    for (const auto& c : cases) {
        Bytes b;
        b.I32(5).I32(-2).I32(0x40000001).I32(0x7FF);
        for (int32_t v : c.slots)
            b.I32(v);
        auto file = ChunkFile::FromFileImage(PlainFile({MakeChunk(chunk_id::kShape, MakeChunk(chunk_id::kPolygons, b.b))}));
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
        auto* shape = file->FindChildAs<ShapeChunk>(chunk_id::kShape);
        ASSERT_NE(shape, nullptr);
        const auto& polygons = shape->Data().polygons_;
        ASSERT_EQ(polygons.size(), 1u);
        const ShapePolygon& p = polygons[0];
        EXPECT_EQ(p.vertexCount_, c.count);
        for (int i = 0; i < kMaxPolygonVertices; ++i)
            EXPECT_EQ(p.vertices_[i], i < c.count ? c.slots[static_cast<size_t>(i)] : 0) << "slot " << i;
        EXPECT_EQ(p.type_, 5);
        EXPECT_EQ(p.normalIndex_, -2);
        EXPECT_EQ(p.flags_, 0x40000001);
        EXPECT_EQ(p.textureWord_, 0x7FF);
    }
}

// A counted array whose count the payload cannot hold is refused, whatever the
// count: negative, one too many, or far beyond.
TEST(RecordArrayChunks, CountedArraysRefuseCountsThePayloadCannotHold)
{
    for (int32_t count : {-1, -7, 3, 1 << 30}) {
        SCOPED_TRACE(count);
        const auto bytes = Bytes().I32(count).I32(1).I32(2).I32(3).I32(4).I32(5).I32(6).b;
        ByteReader r(bytes);
        std::vector<std::array<int32_t, 3>> triples{{9, 9, 9}};
        EXPECT_FALSE(ReadCountedRecords(r, triples));
        EXPECT_FALSE(r.Ok());
        EXPECT_TRUE(triples.empty());
    }
    const auto bytes = Bytes().I32(2).I32(1).I32(2).I32(3).I32(4).I32(5).I32(6).I32(77).b;
    ByteReader r(bytes);
    std::vector<std::array<int32_t, 3>> triples;
    ASSERT_TRUE(ReadCountedRecords(r, triples));
    EXPECT_EQ(triples, (std::vector<std::array<int32_t, 3>>{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(r.Remaining(), 4u);
}

// The chunk saves the records as they were stored, whatever is later done to the
// shape's copy, on every load path; a polygon record writes back as a decoded one
// does (slots after the first -1 as -1, a fifth index dropped). A chunk taken out
// of its tree still has its records once the tree is gone.
TEST(RecordArrayChunks, StoredRecordsOutliveEditsOfTheShapeAndTheTree)
{
    Bytes polygons;
    for (const auto& slots : {std::vector<int32_t>{1, 2, -1, 7, 8}, std::vector<int32_t>{4, 5, 6, 7, 8}}) {
        polygons.I32(5).I32(0).I32(0).I32(3);
        for (int32_t v : slots)
            polygons.I32(v);
    }
    const auto pointsChunk = MakeChunk(chunk_id::kShapePoints, Bytes().I32(1).I32(2).I32(3).I32(4).I32(5).I32(6).b);
    const auto image =
        PlainFile({MakeChunk(chunk_id::kShape, Bytes().Add(MakeChunk(chunk_id::kPolygons, polygons.b)).Add(pointsChunk).b)});
    const auto decoded = ChunkFile::FromFileImage(image);
    ASSERT_EQ(decoded->ErrorCode(), kChunkOk) << decoded->ErrorMessage();
    const auto written = decoded->PlainImage();
    ASSERT_NE(written, image); // the polygon slots are written as decoded
    const auto* decodedShape = decoded->FindChildAs<ShapeChunk>(chunk_id::kShape);
    ASSERT_NE(decodedShape, nullptr);
    const auto storedPolygons = decodedShape->Data().polygons_;

    for (const LoadPath& path : LoadPaths()) {
        SCOPED_TRACE(path.name);
        auto file = path.load(image);
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
        auto* shape = file->FindChildAs<ShapeChunk>(chunk_id::kShape);
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(shape->Data().polygons_, storedPolygons);
        shape->Data().polygons_[0].type_ = 99;
        shape->Data().points_.clear();
        EXPECT_EQ(file->PlainImage(), written);

        auto* polys = shape->FindChildAs<PolygonsChunk>(chunk_id::kPolygons);
        auto* points = shape->FindChildAs<ShapePointsChunk>(chunk_id::kShapePoints);
        ASSERT_TRUE(polys && points);
        polys->Unlink();
        points->Unlink();
        file.reset();
        EXPECT_EQ(polys->Records(), storedPolygons);
        EXPECT_EQ(points->Records(), (std::vector<ShapePoint>{{1, 2, 3}, {4, 5, 6}}));
        EXPECT_EQ(points->BuildBlock(), pointsChunk);
        points->Records().push_back({7, 8, 9});
        EXPECT_EQ(points->ComputeSize(), 12 + 36);
        delete polys;
        delete points;
    }
}

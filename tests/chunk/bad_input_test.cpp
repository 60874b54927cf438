// Damaged chunk files load with the documented error code and a message, never a
// crash, a hang or an allocation sized by a bad number.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/huffman_coder.h"
#include "chunk/object_chunks.h"

#include <gtest/gtest.h>

using namespace trevok;
using namespace chunktest;

namespace {

std::vector<uint8_t> WithI32(std::vector<uint8_t> b, size_t at, int32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    return b;
}

std::vector<uint8_t> WithCounts(std::vector<uint8_t> b, const std::vector<int32_t>& counts)
{
    for (size_t i = 0; i < counts.size(); ++i)
        b = WithI32(std::move(b), 16 + 4 * i, counts[i]);
    return b;
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> b, size_t n)
{
    b.resize(n);
    return b;
}

// RBOBJECT holding a child whose size field is given.
std::vector<uint8_t> ObjectWithChild(int32_t childSize, size_t childBytes = 16)
{
    return PlainFile({MakeChunk("RBOBJECT", MakeChunk("ZZCHILD", std::vector<uint8_t>(childBytes - 12, 0), childSize))});
}

// OBINTDT chunks nested `depth` deep around one OBJNOTES, built front to back.
std::vector<uint8_t> Nested(int depth)
{
    const int64_t inner = 16;
    const int64_t total = 12 + 12 * int64_t{depth} + inner;
    Bytes b;
    b.Raw("VQNINFF2").I32(static_cast<int32_t>(total));
    for (int i = 0; i < depth; ++i)
        b.Id("OBINTDT").I32(static_cast<int32_t>(total - 12 - 12 * int64_t{i}));
    b.Id("OBJNOTES").I32(16).I32(1);
    return b.b;
}

std::vector<uint8_t> CompressedLights()
{
    return HuffmanCoder::Compress(ReadBytes(FixturePath("lights.rif")));
}

struct BadCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t code;
    const char* message; // a part of the message naming the fault
};

} // namespace

TEST(BadInput, EachDamageGivesItsLoadErrorAndMessage)
{
    auto objects = ReadBytes(FixturePath("objects.rif"));
    auto compressed = CompressedLights();
    const BadCase cases[] = {
        {"empty file", {}, kChunkReadFailed, "shorter than"},
        {"identifier cut short", Truncated(objects, 5), kChunkReadFailed, "shorter than"},
        {"size field cut short", Truncated(objects, 10), kChunkReadFailed, "header"},
        {"unknown identifier", Bytes().Raw("VQNINFF3").I32(12).b, kChunkBadData, "not a chunk file"},
        {"plain file truncated", Truncated(objects, objects.size() - 1), kChunkBadData, "differs from the file's length"},
        {"plain file one byte longer", [&] { auto b = objects; b.push_back(0); return b; }(), kChunkBadData,
         "differs"},
        {"root size negative", WithI32(objects, 8, -12), kChunkBadData, "differs"},
        {"child larger than the file", WithI32(objects, 20, 100000), kChunkBadData, "runs past"},
        {"child size zero", ObjectWithChild(0), kChunkBadData, "below 12"},
        {"child size negative", ObjectWithChild(-16), kChunkBadData, "below 12"},
        {"child size eleven", ObjectWithChild(11), kChunkBadData, "below 12"},
        {"last child one byte past its parent", ObjectWithChild(17), kChunkBadData, "runs past"},
        {"bytes left after the last child", PlainFile({MakeChunk("RBOBJECT", {1, 2, 3, 4, 5})}), kChunkBadData,
         "left over"},
        {"nesting too deep", Nested(kMaxChunkDepth + 5), kChunkBadData, "nested deeper"},
        {"count larger than its payload", PlainFile({MakeChunk("VMDARRAY", Bytes().I32(0x10000000).I32(1).b)}),
         kChunkBadData, "too short"},
        {"negative count", PlainFile({MakeChunk("ALTLOCAT", Bytes().I32(0).I32(0).I32(-1).b)}), kChunkBadData,
         "too short"},
        {"name without its NUL", PlainFile({MakeChunk("RBOBJECT", MakeChunk("OBJHEAD1", std::vector<uint8_t>(64, 'x')))}),
         kChunkBadData, "too short"},
        {"uv set with five pairs",
         PlainFile({MakeChunk("VQNSHAPE", MakeChunk("SHPUVCRD", Bytes().I32(1).I32(5).Add(std::vector<uint8_t>(40, 0)).b))}),
         kChunkBadData, "at most 4"},
        {"compressed header cut short", Truncated(compressed, 200), kChunkBadData, "header cut short"},
        {"compressed stream cut short", Truncated(compressed, compressed.size() - 8), kChunkBadData,
         "exceeds the file"},
        {"code counts do not add up", WithI32(compressed, 16 + 4 * 7, compressed[16 + 4 * 7] + 1), kChunkBadData, "add up"},
        {"negative code count", WithI32(compressed, 16, -1), kChunkBadData, "bad code count"},
        {"more codes than 11 bits hold", WithCounts(compressed, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255}), kChunkBadData,
         "more codes"},
        {"expanded length beyond the stream", WithI32(compressed, 12, 0x7fffffff), kChunkBadData,
         "exceeds what the stream"},
        {"negative expanded length", WithI32(compressed, 12, -5), kChunkBadData, "negative"},
        {"expanded image shorter than a header", HuffmanCoder::Compress(std::vector<uint8_t>{'V', 'Q'}),
         kChunkBadData, "shorter than its 12-byte header"},
    };
    for (const auto& c : cases) {
        auto file = ChunkFile::FromFileImage(c.bytes, "bad.rif");
        EXPECT_EQ(file->ErrorCode(), c.code) << c.name;
        EXPECT_NE(file->ErrorMessage().find(c.message), std::string::npos)
            << c.name << ": " << file->ErrorMessage();
        EXPECT_EQ(file->ErrorMessage().rfind("bad.rif", 0), 0u) << c.name << ": " << file->ErrorMessage();
    }
}

TEST(BadInput, MissingFileIsAReadFailure)
{
    auto file = ChunkFile::Open("/nonexistent/folder/none.rif");
    EXPECT_EQ(file->ErrorCode(), kChunkReadFailed);
    EXPECT_NE(file->ErrorMessage().find("none.rif"), std::string::npos);
}

TEST(BadInput, ChildrenBeforeTheFaultStayAndTheMessageGivesTheOffset)
{
    auto image = PlainFile({MakeChunk("RIFVERIN", Bytes().I32(2).b),
                            MakeChunk("RBOBJECT", [] {
                                auto b = MakeChunk("OBINTDT");
                                auto bad = MakeChunk("ZZBROKEN", std::vector<uint8_t>(4, 0), 17);
                                b.insert(b.end(), bad.begin(), bad.end());
                                return b;
                            }())});
    auto file = ChunkFile::FromFileImage(image, "partial.rif");
    EXPECT_EQ(file->ErrorCode(), kChunkBadData);
    EXPECT_TRUE(file->FindChild("RIFVERIN"));
    auto* object = file->FindChildAs<ObjectChunk>("RBOBJECT");
    ASSERT_TRUE(object);
    EXPECT_TRUE(object->FindChild("OBINTDT"));
    // ZZBROKEN starts at 12 (root header) + 16 (RIFVERIN) + 12 (RBOBJECT header) + 12 (OBINTDT).
    EXPECT_NE(file->ErrorMessage().find("offset 52"), std::string::npos) << file->ErrorMessage();
    EXPECT_NE(file->ErrorMessage().find("ZZBROKEN"), std::string::npos) << file->ErrorMessage();
}

// A file nested far deeper than the limit: no stack exhaustion.
TEST(BadInput, HostileNestingIsRefusedWithoutRecursingIntoIt)
{
    auto image = Nested(5000); // far past the depth limit, cheap to build
    auto file = ChunkFile::FromFileImage(image);
    EXPECT_EQ(file->ErrorCode(), kChunkBadData);
}

TEST(BadInput, NestingUpToTheLimitLoads)
{
    auto file = ChunkFile::FromFileImage(Nested(kMaxChunkDepth - 1));
    EXPECT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    EXPECT_EQ(file->PlainImage(), Nested(kMaxChunkDepth - 1));
    EXPECT_EQ(ChunkFile::FromFileImage(Nested(kMaxChunkDepth))->ErrorCode(), kChunkBadData);
}

// Table indices and shape numbers come from the file: huge or negative ones must
// neither size an allocation nor index out of bounds.
TEST(BadInput, HugeOrNegativeIndicesAllocateNothing)
{
    auto objhead = [](int32_t tableIndex, int32_t shapeNumber) {
        Bytes b;
        b.I32(0).Raw(std::string(16, '\0'));
        for (int i = 0; i < 7; ++i)
            b.I32(0);
        b.I32(tableIndex).I32(0).I32(shapeNumber).Raw(std::string("o\0\0\0", 4));
        return MakeChunk("RBOBJECT", MakeChunk("OBJHEAD1", b.b));
    };
    auto shape = [](int32_t id) {
        Bytes b;
        b.I32(0).Raw(std::string(16, '\0')).I32(id);
        for (int i = 0; i < 10; ++i)
            b.I32(0);
        b.I32(0); // no object names
        return MakeChunk("VQNSHAPE", MakeChunk("SHPHEAD1", b.b));
    };
    struct Case {
        const char* name;
        int32_t tableIndex, shapeNumber, shapeId;
        bool linked;
    } cases[] = {
        {"largest numbers", 0x7fffffff, 0x7ffffffe, 0x7ffffffe, true},
        {"negative numbers", -7, -5, -5, false},
        {"ordinary", 3, 9, 9, true},
    };
    for (const auto& c : cases) {
        ResetShapeNumbersForTesting();
        auto file = ChunkFile::FromFileImage(PlainFile({shape(c.shapeId), objhead(c.tableIndex, c.shapeNumber)}));
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << c.name;
        std::vector<ObjectChunk*> objects;
        file->GetObjects(objects);
        ASSERT_EQ(objects.size(), 1u) << c.name;
        EXPECT_EQ(objects[0]->GetShape() != nullptr, c.linked) << c.name;
        EXPECT_EQ(file->GetObjectByIndex(c.tableIndex), c.name == std::string("ordinary") ? objects[0] : nullptr)
            << c.name;
        EXPECT_LE(file->ObjectCount(), 4) << c.name;
    }
}

#include "hierarchy_test_util.h"

#include "chunk/object_chunks.h"

namespace trevok::test {
namespace {

TEST(HierarchyChunks, HandBuiltFileReadsEveryFieldAndWritesBackUnchanged)
{
    ByteVector image = ReadFixture("hierarchy_model.rif");
    auto file = LoadImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();

    auto* model = file->FindChildAs<HierarchyChunk>("OBJCHIER");
    ASSERT_NE(model, nullptr);
    ASSERT_NE(model->GetName(), nullptr);
    EXPECT_EQ(model->GetName()->name_, "robot");
    ASSERT_NE(model->GetBounds(), nullptr);
    EXPECT_EQ(model->GetBounds()->minimum_[2], -3);
    EXPECT_EQ(model->GetBounds()->maximum_[0], 4);

    std::vector<HierarchyChunk*> parts;
    model->GetSubHierarchies(parts);
    ASSERT_EQ(parts.size(), 1u);
    ASSERT_NE(parts[0]->GetData(), nullptr);
    EXPECT_EQ(parts[0]->GetData()->objectName_, "torso");
    EXPECT_EQ(parts[0]->GetData()->values_, (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(parts[0]->GetData()->GetObject(), nullptr);
    std::vector<HierarchyChunk*> sub;
    parts[0]->GetSubHierarchies(sub);
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_EQ(sub[0]->GetData()->objectName_, "head");

    auto* distances = file->FindChildAs<DegradationDistancesChunk>("HIDEGDIS");
    ASSERT_NE(distances, nullptr);
    EXPECT_EQ(distances->distances_, (std::vector<int32_t>{0, 10000, 20000}));

    auto* set = file->FindChildAs<ShapeSetChunk>("OBHALTSH");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->index_, 0);
    EXPECT_EQ(set->name_, "female set");
    EXPECT_EQ(set->replacements_, (std::vector<ShapeReplacement>{{"head", "head_f"}, {"arm", "arm_f"}}));
    EXPECT_EQ(set->properties_ & kShapeSetFemale, kShapeSetFemale);
    EXPECT_EQ(set->values_[2], 11);

    auto* collection = file->FindChildAs<ShapeSetCollectionChunk>("HSETCOLL");
    ASSERT_NE(collection, nullptr);
    EXPECT_EQ(collection->index_, 4);
    EXPECT_EQ(collection->name_, "sokra");
    EXPECT_EQ(collection->setIndexes_, (std::vector<int32_t>{0, 5}));
    EXPECT_EQ(collection->voiceIndex_, 3);
    EXPECT_EQ(collection->value_, 77);
    EXPECT_EQ(collection->FindShapeSet(0), set);
    EXPECT_EQ(collection->FindShapeSet(5), nullptr);

    EXPECT_EQ(file->PlainImage(), image);
}

TEST(HierarchyChunks, NewChunksHaveTheStoredSizes)
{
    auto file = ChunkFile::CreateEmpty();
    struct Case {
        const char* what;
        Chunk* chunk;
        int32_t size;
    };
    const int32_t lo[3] = {1, 2, 3}, hi[3] = {4, 5, 6};
    auto* withPairs = new ShapeSetChunk(file.get(), 9, "abcde");
    withPairs->replacements_ = {{"abc", "abcd"}};
    Case cases[] = {
        {"part data without values or object", new HierarchyDataChunk(file.get(), ""), 24},
        {"part data with two values and a 5-character object", [&] {
             auto* d = new HierarchyDataChunk(file.get(), "torso");
             d->values_ = {1, 2};
             return d;
         }(),
         36},
        {"name of four characters", new HierarchyNameChunk(file.get(), "abcd"), 20},
        {"empty name", new HierarchyNameChunk(file.get(), ""), 16},
        {"shape set without pairs", new ShapeSetChunk(file.get(), 0, "abc"), 40},
        {"shape set with a pair", withPairs, 44 + 4 + 8},
        {"collection", new ShapeSetCollectionChunk(file.get(), 1, "abcd"), 36},
        {"three distances", new DegradationDistancesChunk(file.get(), 3), 28},
        {"box", new HierarchyBoundsChunk(file.get(), lo, hi), 36},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.chunk->ComputeSize(), c.size) << c.what;
        EXPECT_EQ(Written(*c.chunk).size(), static_cast<size_t>(c.size)) << c.what;
    }
}

TEST(HierarchyChunks, ShapeSetTakesTheSmallestFreeIndex)
{
    struct Case {
        std::vector<int32_t> used;
        int32_t expected;
    };
    const Case cases[] = {{{}, 0}, {{0, 1, 3}, 2}, {{3, 1, 0}, 2}, {{1, 2}, 0}, {{0, 0, 1}, 2}};
    for (const auto& c : cases) {
        auto file = ChunkFile::CreateEmpty();
        for (int32_t i : c.used)
            new ShapeSetChunk(file.get(), i, "set");
        EXPECT_EQ((new ShapeSetChunk(file.get(), "new"))->index_, c.expected);
    }
}

TEST(HierarchyChunks, DegradationDistancesStepByTenThousand)
{
    auto file = ChunkFile::CreateEmpty();
    EXPECT_EQ((new DegradationDistancesChunk(file.get(), 3))->distances_, (std::vector<int32_t>{0, 10000, 20000}));
}

TEST(HierarchyChunks, PartDataResolvesItsObjectByExactName)
{
    RegisterFamilies();
    auto file = ChunkFile::CreateEmpty();
    ObjectHeader header;
    header.name_ = "Torso";
    auto* object = new ObjectChunk(file.get(), header);
    auto* model = new HierarchyChunk(file.get());

    auto* exact = new HierarchyDataChunk(model, "Torso");
    EXPECT_EQ(exact->GetObject(), object);
    auto* otherCase = new HierarchyDataChunk(model, "torso");
    EXPECT_EQ(otherCase->GetObject(), nullptr);
    auto* none = new HierarchyDataChunk(model, "");
    EXPECT_EQ(none->GetObject(), nullptr);

    // A deleted object is never handed out; the name stays and is written back.
    delete object;
    EXPECT_EQ(exact->GetObject(), nullptr);
    EXPECT_EQ(exact->objectName_, "Torso");
}

// Truncated or inconsistent payloads are refused with the load error, naming the chunk.
TEST(HierarchyChunks, DamagedPayloadsAreRefusedWithTheLoadError)
{
    struct Case {
        const char* what;
        ByteVector chunk;
    };
    const Case cases[] = {
        {"part data cut inside its values", ChunkOf("OBJHIERD", Bytes().I32({3, 1}).b)},
        {"part data with a negative count", ChunkOf("OBJHIERD", Bytes().I32({-1}).Padded("a").b)},
        {"part data whose name has no NUL", ChunkOf("OBJHIERD", Bytes().I32({0}).Raw("abcd").b)},
        {"name without NUL", ChunkOf("OBHIERNM", Bytes().Raw("abcdefgh").b)},
        {"shape set claiming a million pairs", ChunkOf("OBHALTSH", Bytes().I32({0}).Padded("s").I32({1000000}).b)},
        {"shape set cut before its values", ChunkOf("OBHALTSH", Bytes().I32({0}).Padded("s").I32({0, 1}).b)},
        {"collection with more indexes than bytes", ChunkOf("HSETCOLL", Bytes().I32({0}).Padded("c").I32({5, 1}).b)},
        {"distances with a huge count", ChunkOf("HIDEGDIS", Bytes().I32({0x7FFFFFFF}).b)},
        {"box of five values", ChunkOf("HIERBBOX", Bytes().I32({1, 2, 3, 4, 5}).b)},
        {"hierarchy whose child runs past it", ChunkOf("OBJCHIER", Bytes().Raw("OBHIERNM").I32({100}).b)},
    };
    for (const auto& c : cases) {
        auto file = LoadImage(PlainFile({c.chunk}));
        EXPECT_EQ(file->ErrorCode(), kChunkBadData) << c.what;
        EXPECT_NE(file->ErrorMessage().find(std::string(reinterpret_cast<const char*>(c.chunk.data()), 8)),
                  std::string::npos)
            << c.what << ": " << file->ErrorMessage();
    }
}

} // namespace
} // namespace trevok::test

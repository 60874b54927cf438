#include "hierarchy_test_util.h"

#include "chunk/object_chunks.h"
#include "chunk/sound_chunks.h"

namespace trevok::test {
namespace {

TEST(SoundChunks, HandBuiltFileReadsEveryFieldAndWritesBackUnchanged)
{
    ByteVector image = ReadFixture("sound_placed.rif");
    auto file = LoadImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();

    std::vector<Chunk*> placed;
    file->FindChildren("SOUNDOB2", placed);
    ASSERT_EQ(placed.size(), 2u);
    auto* hum = dynamic_cast<SoundObjectChunk*>(placed[0]);
    auto* buzz = dynamic_cast<SoundObjectChunk*>(placed[1]);
    ASSERT_TRUE(hum && buzz);
    EXPECT_EQ(hum->point_[2], 3);
    EXPECT_EQ(hum->values_[6], 7);
    EXPECT_EQ(hum->name_, "hum");
    EXPECT_FALSE(hum->second_.has_value());
    EXPECT_EQ(buzz->point_[0], -4);
    EXPECT_EQ(buzz->name_, "buzz");
    EXPECT_EQ(buzz->second_, "loop");

    SoundExtraChunk* extra = hum->FindExtra();
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra->FindSound(), hum);
    EXPECT_NE(hum->FindAlternativeLocations(), nullptr);
    EXPECT_EQ(buzz->FindExtra(), nullptr);

    auto* indexed = file->FindChildAs<IndexedSoundChunk>("INDSOUND");
    ASSERT_NE(indexed, nullptr);
    EXPECT_EQ(indexed->index_, 1);
    EXPECT_EQ(indexed->name_, "");
    EXPECT_TRUE(indexed->extra_.empty());

    EXPECT_EQ(file->PlainImage(), image);
}

TEST(SoundChunks, PlacedSoundSizeFollowsTheStoredRule)
{
    struct Case {
        const char* name;
        std::optional<std::string> second;
        int32_t size;
    };
    const Case cases[] = {
        {"abcd", std::nullopt, 60}, // 58 rounded down to 56, plus 4
        {"ab", std::nullopt, 60},   // the rule leaves four spare bytes
        {"abc", std::nullopt, 60},
        {"", std::nullopt, 56},
        {"ab", "cd", 60},
        {"abcd", "efgh", 64},
    };
    const int32_t point[3] = {1, 2, 3};
    for (const auto& c : cases) {
        auto file = ChunkFile::CreateEmpty();
        auto* s = new SoundObjectChunk(file.get(), point, c.name);
        s->second_ = c.second;
        EXPECT_EQ(s->ComputeSize(), c.size) << c.name;
        ByteVector block = Written(*s);
        ASSERT_EQ(block.size(), static_cast<size_t>(c.size));
        // Read back through a file: the same bytes again.
        auto reread = LoadImage(PlainFile({block}));
        ASSERT_EQ(reread->ErrorCode(), kChunkOk) << reread->ErrorMessage();
        EXPECT_EQ(reread->PlainImage(), PlainFile({block})) << c.name;
    }
}

// A file may hold an empty second text in the tight size (two bytes for the NULs
// only); it is held as none and still written back in the size it came in.
TEST(SoundChunks, EmptySecondTextWritesBackInItsStoredSize)
{
    ByteVector tight = ChunkOf("SOUNDOB2", Bytes().Zeros(40).Raw("ab").Zeros(2).b); // 56 bytes
    ByteVector spare = ChunkOf("SOUNDOB2", Bytes().Zeros(40).Raw("ab").Zeros(6).b); // 60 bytes
    for (const auto& chunk : {tight, spare}) {
        auto file = LoadImage(PlainFile({chunk}));
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
        auto* s = file->FindChildAs<SoundObjectChunk>("SOUNDOB2");
        ASSERT_NE(s, nullptr);
        EXPECT_FALSE(s->second_.has_value());
        EXPECT_EQ(file->PlainImage(), PlainFile({chunk}));
    }
}

TEST(SoundChunks, NewChunksHaveTheStoredSizes)
{
    auto file = ChunkFile::CreateEmpty();
    auto* withValues = new IndexedSoundChunk(file.get(), 3, "abcde");
    withValues->extra_ = {1, 2};
    struct Case {
        Chunk* chunk;
        int32_t size;
    } cases[] = {
        {new IndexedSoundChunk(file.get(), 0, ""), 44},
        {withValues, 44 + 8 + 4},
        {new SoundNameChunk(file.get(), "abcd"), 20},
        {new SoundNameChunk(file.get(), "abc"), 16},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.chunk->ComputeSize(), c.size) << c.chunk->Identifier();
        EXPECT_EQ(Written(*c.chunk).size(), static_cast<size_t>(c.size));
    }
}

TEST(SoundChunks, ExtraDataIsCreatedOnceAndFoundByExactName)
{
    RegisterFamilies();
    auto file = ChunkFile::CreateEmpty();
    const int32_t point[3] = {};
    auto* a = new SoundObjectChunk(file.get(), point, "Alarm");
    auto* b = new SoundObjectChunk(file.get(), point, "alarm");
    AlternativeLocationsChunk* first = a->GetOrCreateAlternativeLocations();
    AlternativeLocationsChunk* second = a->GetOrCreateAlternativeLocations();
    EXPECT_EQ(first, second);
    EXPECT_EQ(file->CountChildren("SOUNDEXD"), 1);
    EXPECT_EQ(a->FindExtra()->CountChildren("ALTLOCAT"), 1);
    EXPECT_EQ(b->FindExtra(), nullptr);
    EXPECT_EQ(a->FindExtra()->FindSound(), a);
    EXPECT_EQ(a->ComputeNameDigest(), NameDigest::Of("Alarm"));
}

TEST(SoundChunks, DamagedPayloadsAreRefusedWithTheLoadError)
{
    const DamagedChunk cases[] = {
        {"placed sound cut inside its values", ChunkOf("SOUNDOB2", Bytes().Zeros(20).b)},
        {"placed sound without a NUL after its name", ChunkOf("SOUNDOB2", Bytes().Zeros(40).Raw("abcd").b)},
        {"placed sound without its second text", ChunkOf("SOUNDOB2", Bytes().Zeros(40).Raw("abc").Zeros(1).b)},
        {"sound name without NUL", ChunkOf("SOUNDNAM", Bytes().Raw("abcd").b)},
        {"indexed sound cut before its count", ChunkOf("INDSOUND", Bytes().I32({1}).Padded("a").I32({0, 0, 0}).b)},
        {"indexed sound with a huge count", ChunkOf("INDSOUND", Bytes().I32({1}).Padded("a").Zeros(20).I32({1 << 30}).b)},
        {"indexed sound with a negative count", ChunkOf("INDSOUND", Bytes().I32({1}).Padded("a").Zeros(20).I32({-1}).b)},
        {"extra data whose child runs past it", ChunkOf("SOUNDEXD", Bytes().Raw("SOUNDNAM").I32({40}).b)},
    };
    ExpectEachRefused(cases);
}

} // namespace
} // namespace trevok::test

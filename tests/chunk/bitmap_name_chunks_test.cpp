#include "hierarchy_test_util.h"

#include "chunk/bitmap_name_chunks.h"

namespace trevok::test {
namespace {

Md5Value DigestOf(uint8_t first)
{
    Md5Value d{};
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<uint8_t>(first + i);
    return d;
}

TEST(BitmapNameChunks, HandBuiltFileReadsEveryFieldAndWritesBackUnchanged)
{
    ByteVector image = ReadFixture("bitmap_name_lists.rif");
    auto file = LoadImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();

    auto* names = file->FindChildAs<BitmapNamesChunk>("BMPNAMES");
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(names->Entries().size(), 2u);
    const BitmapNameEntry& wall = names->Entries()[0];
    EXPECT_EQ(wall.name_, "wall");
    EXPECT_EQ(wall.flags_, 0x10C);
    EXPECT_EQ(wall.stamp_, 0x12345u);
    EXPECT_EQ(wall.extra_, 0xABCu);
    EXPECT_EQ(wall.word_, 6);
    EXPECT_EQ(wall.Width(), 64);
    EXPECT_EQ(wall.Height(), 32);
    EXPECT_EQ(names->Entries()[1].name_, "floor1.bmp");
    EXPECT_EQ(names->HighestBitmapNumber(), 3);
    EXPECT_EQ(names->GetVersion(), 4);
    EXPECT_EQ(names->GetExtension().flags_, 0x81);
    EXPECT_EQ(names->GetExtension().block_[47], 47);
    EXPECT_EQ(names->GetDigest(wall), DigestOf(100));
    EXPECT_EQ(names->GetDigest(names->Entries()[1]), std::nullopt);

    auto* shape = file->FindChildAs<ShapeBitmapNamesChunk>("SHBMPNAM");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->Entries().at(0).name_, "a");
    EXPECT_EQ(shape->first_, "shape");
    EXPECT_EQ(shape->second_, "obj");
    EXPECT_EQ(shape->GetExtension().flags_, 2);
    EXPECT_EQ(shape->GetVersion(), 7);
    // The wall digest belongs to the file's list, not to the shape's.
    EXPECT_EQ(shape->FindDigestChunk("wall"), nullptr);

    auto* empty = file->FindChildAs<BitmapListChunk>("BMPLSTST");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->Entries().empty());

    auto* match = file->FindChildAs<ImageMatchChunk>("MATCHIMG");
    ASSERT_NE(match, nullptr);
    EXPECT_EQ(match->words_[1], 2);
    EXPECT_EQ(match->flags_, 3);
    ASSERT_EQ(match->matches_.size(), 1u);
    EXPECT_EQ(match->matches_[0].words_[2], 6);
    ImageDescriptor old(1, "OLD", "A", "b");
    EXPECT_EQ(match->FindReplacement(old).strings_[0], "new");
    ImageDescriptor other(2, "old", "a", "b");
    EXPECT_EQ(&match->FindReplacement(other), &other);

    EXPECT_EQ(file->PlainImage(), image);
}

TEST(BitmapNameChunks, NewChunksHaveTheStoredSizes)
{
    auto file = ChunkFile::CreateEmpty();
    auto* list = new BitmapNamesChunk(file.get());
    list->AddEntry(BitmapNameEntry("abcd"));
    auto* shape = new ShapeBitmapNamesChunk(file.get(), "", "");
    auto* shapeNamed = new ShapeBitmapNamesChunk(file.get(), "abc", "de");
    auto* match = new ImageMatchChunk(file.get());
    match->matches_.push_back(ImageMatch{{}, ImageDescriptor(1, "a", "", ""), ImageDescriptor(1, "abcd", "e", "")});
    struct Case {
        Chunk* chunk;
        int32_t size;
    } cases[] = {
        {list, 16 + 28}, // 20 fixed bytes, four characters, NUL, three pad bytes
        {new BitmapListChunk(file.get()), 16},
        {shape, 16 + 4 + 56},
        {shapeNamed, 16 + 8 + 56},
        {new BitmapNameVersionChunk(file.get(), 1), 16},
        {new BitmapNameExtensionChunk(file.get()), 64},
        {new BitmapMd5IdChunk(file.get(), "wall", "", "", {}, 0, 0), 48},
        {new BitmapMd5IdChunk(file.get(), "", "", "", {}, 0, 0), 44},
        {new ImageMatchChunk(file.get()), 28},
        {match, 28 + 12 + 20 + 24},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.chunk->ComputeSize(), c.size) << c.chunk->Identifier();
        EXPECT_EQ(Written(*c.chunk).size(), static_cast<size_t>(c.size)) << c.chunk->Identifier();
    }
}

TEST(BitmapNameChunks, OldHeaderVersionMovesIntoAVersionChunk)
{
    ByteVector entry = Bytes().I32({0x10C, 0, 0, 6, 0}).Padded("x").b;
    ByteVector payload = Bytes().I32({2 | 3 << 16}).Append(entry).Append(entry).b;
    auto file = LoadImage(PlainFile({ChunkOf("BMPNAMES", payload)}));
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    auto* list = file->FindChildAs<BitmapNamesChunk>("BMPNAMES");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Entries().size(), 2u);
    EXPECT_EQ(file->CountChildren("BMNAMVER"), 1);
    EXPECT_EQ(list->GetVersion(), 3);
    ByteVector written = Written(*list);
    EXPECT_EQ(written[12], 2);
    EXPECT_EQ(written[14], 0);
    EXPECT_EQ(written[15], 0);
}

// Of several version chunks the highest is kept, however many siblings there are.
TEST(BitmapNameChunks, VersionKeepsTheHighestOfAnyNumberOfSiblings)
{
    struct Case {
        std::vector<int32_t> versions;
        int32_t expected;
    };
    const Case cases[] = {{{2, 5}, 5}, {{5, 2}, 5}, {{5, 2, 9}, 9}, {{9, 2, 5}, 9},
                          {{2, 9, 5, 1}, 9}, {{3, 3}, 3}, {{7}, 7}, {{}, 0}};
    for (const auto& c : cases) {
        RegisterFamilies();
        auto file = ChunkFile::CreateEmpty();
        auto* list = new BitmapNamesChunk(file.get());
        for (int32_t v : c.versions)
            new BitmapNameVersionChunk(file.get(), v);
        EXPECT_EQ(list->GetVersion(), c.expected);
        EXPECT_EQ(file->CountChildren("BMNAMVER"), c.versions.empty() ? 0 : 1);
        list->IncrementVersion();
        EXPECT_EQ(list->GetVersion(), c.versions.empty() ? 1 : c.expected + 1);
    }
}

TEST(BitmapNameChunks, ExtensionIsCreatedOnceBesideTheList)
{
    auto file = ChunkFile::CreateEmpty();
    auto* list = new BitmapListChunk(file.get());
    list->GetExtension().flags_ = 5;
    EXPECT_EQ(list->GetExtension().flags_, 5);
    EXPECT_EQ(file->CountChildren("BMNAMEXT"), 1);
    EXPECT_EQ(file->FindChild("BMNAMEXT")->ComputeSize(), 64);
}

TEST(BitmapNameChunks, DigestsAreTrustedWhileTheStampIsUnchanged)
{
    RegisterFamilies();
    auto file = ChunkFile::CreateEmpty();
    new FileNameChunk(file.get(), "level.rif");
    auto* names = new BitmapNamesChunk(file.get());
    auto* files = new BitmapListChunk(file.get());
    auto* shape = new ShapeBitmapNamesChunk(file.get(), "crate", "");
    shape->GetExtension().flags_ = 2;
    BitmapNameEntry entry("wood", 3);
    EXPECT_EQ(entry.stamp_, 0x300u);

    names->SetDigest(entry, DigestOf(1));
    files->SetDigest(entry, DigestOf(2));
    shape->SetDigest(entry, DigestOf(3));
    EXPECT_EQ(file->CountChildren("BMPMD5ID"), 3);
    EXPECT_EQ(names->GetDigest(entry), DigestOf(1));
    EXPECT_EQ(files->GetDigest(entry), DigestOf(2));
    EXPECT_EQ(shape->GetDigest(entry), DigestOf(3));
    EXPECT_EQ(files->FindDigestChunk("wood")->second_, "level.rif");
    EXPECT_EQ(shape->FindDigestChunk("wood")->flags_ & 1, 1);

    // Same stamp: the digest changes in place.
    names->SetDigest(entry, DigestOf(9));
    EXPECT_EQ(file->CountChildren("BMPMD5ID"), 3);
    EXPECT_EQ(names->GetDigest(entry), DigestOf(9));

    // A changed stamp is not trusted; setting replaces the chunk.
    BitmapNameEntry changed = entry;
    changed.stamp_ = 0x301;
    EXPECT_EQ(names->GetDigest(changed), std::nullopt);
    names->SetDigest(changed, DigestOf(4));
    EXPECT_EQ(file->CountChildren("BMPMD5ID"), 3);
    EXPECT_EQ(names->GetDigest(changed), DigestOf(4));

    files->RemoveDigest("wood");
    EXPECT_EQ(file->CountChildren("BMPMD5ID"), 2);
    EXPECT_EQ(files->GetDigest(entry), std::nullopt);
}

// Flags words and descriptor types keep all 32 bits through a read and a write.
TEST(BitmapNameChunks, FlagsAndDescriptorWordsKeepAllTheirBits)
{
    const int32_t flags = static_cast<int32_t>(0xA5C3F081u);
    auto file = ChunkFile::CreateEmpty();
    auto* shape = new ShapeBitmapNamesChunk(file.get(), "s", "t");
    shape->GetExtension().flags_ = flags;
    auto* ext = new BitmapNameExtensionChunk(file.get());
    ext->extension_.flags_ = flags;
    new BitmapMd5IdChunk(file.get(), "n", "", "", {}, 1, flags);
    auto* match = new ImageMatchChunk(file.get());
    match->flags_ = flags;
    match->matches_.push_back(ImageMatch{{}, ImageDescriptor(flags, "a", "", ""), ImageDescriptor(flags + 1, "b", "", "")});

    ByteVector image = file->PlainImage();
    auto reread = LoadImage(image);
    ASSERT_EQ(reread->ErrorCode(), kChunkOk) << reread->ErrorMessage();
    auto* s = reread->FindChildAs<ShapeBitmapNamesChunk>("SHBMPNAM");
    auto* e = reread->FindChildAs<BitmapNameExtensionChunk>("BMNAMEXT");
    auto* d = reread->FindChildAs<BitmapMd5IdChunk>("BMPMD5ID");
    auto* m = reread->FindChildAs<ImageMatchChunk>("MATCHIMG");
    ASSERT_TRUE(s && e && d && m);
    EXPECT_EQ(s->GetExtension().flags_, flags);
    EXPECT_EQ(e->extension_.flags_, flags);
    EXPECT_EQ(d->flags_, flags);
    EXPECT_EQ(m->flags_, flags);
    EXPECT_EQ(m->matches_.at(0).replacement_.type_, flags);
    EXPECT_EQ(m->matches_.at(0).source_.type_, flags + 1);
    EXPECT_EQ(reread->PlainImage(), image);
}

// The count shares its header word with an old version field: a list never grows
// past what 16 bits can count, so the header cannot be corrupted.
TEST(BitmapNameChunks, ListLongerThanItsCountFieldIsRefused)
{
    auto file = ChunkFile::CreateEmpty();
    auto* list = new BitmapNamesChunk(file.get());
    for (size_t i = 0; i < kMaxBitmapEntries; ++i)
        ASSERT_TRUE(list->AddEntry(BitmapNameEntry("")));
    EXPECT_FALSE(list->AddEntry(BitmapNameEntry("one too many")));
    EXPECT_EQ(list->Entries().size(), kMaxBitmapEntries);
    ByteVector written = Written(*list);
    EXPECT_EQ(written.size(), 16 + 24 * kMaxBitmapEntries);
    EXPECT_EQ(written[12], 0xFF);
    EXPECT_EQ(written[13], 0xFF);
    EXPECT_EQ(written[14], 0);
    EXPECT_EQ(written[15], 0);
}

TEST(BitmapNameChunks, EntryDefaultsAndNames)
{
    BitmapNameEntry e("Stone.BMP");
    e.flags_ = 0;
    e.word_ = 0;
    e.ApplyDefaults();
    EXPECT_EQ(e.flags_, 0x10C);
    EXPECT_EQ(e.word_, 6);
    e.flags_ = 0x100;
    e.word_ = 9;
    e.ApplyDefaults();
    EXPECT_EQ(e.word_, 9);
    EXPECT_TRUE(e.SameName(BitmapNameEntry("stone.bmp")));
    EXPECT_FALSE(BitmapNameEntry("").SameName(BitmapNameEntry("")));
    EXPECT_EQ(BitmapNameEntry("x", 0x1001).stamp_, 0x00100u); // 20 bits kept
}

TEST(BitmapNameChunks, DamagedPayloadsAreRefusedWithTheLoadError)
{
    const ByteVector entry = Bytes().I32({0x10C, 0, 0, 6, 0}).Padded("x").b;
    const DamagedChunk cases[] = {
        {"list claiming more entries than it holds", ChunkOf("BMPNAMES", Bytes().I32({3}).Append(entry).b)},
        {"list whose entry name has no NUL", ChunkOf("BMPLSTST", Bytes().I32({1, 0, 0, 0, 6, 0}).Raw("abcd").b)},
        {"shape list cut before its block", ChunkOf("SHBMPNAM", Bytes().I32({0}).Raw("a\0b\0").I32({0, 0}).b)},
        {"version of two bytes", ChunkOf("BMNAMVER", {1, 0})},
        {"extension cut short", ChunkOf("BMNAMEXT", Bytes().I32({0}).Zeros(40).b)},
        {"digest without strings", ChunkOf("BMPMD5ID", Bytes().I32({0, 0, 0}).Zeros(16).b)},
        {"match table claiming a million matches", ChunkOf("MATCHIMG", Bytes().I32({0, 0, 0, 1000000}).b)},
        {"match cut inside its source", ChunkOf("MATCHIMG", Bytes().I32({0, 0, 0, 1, 0, 0, 0}).I32({1, 0, 0, 0}).Raw("a\0\0\0").b)},
    };
    ExpectEachRefused(cases);
}

} // namespace
} // namespace trevok::test

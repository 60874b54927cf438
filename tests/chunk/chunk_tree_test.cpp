// The chunk tree and registry: lookups, parent-specific registrations, raw
// chunks kept in place, file scans.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace trevok;
using namespace chunktest;

namespace {

class MarkerChunk : public UnregisteredChunk {
public:
    MarkerChunk(ParentChunk* parent, const ChunkBytes& bytes, int tag) : UnregisteredChunk(parent, bytes), tag_(tag) {}
    int tag_;
};

template <int Tag>
Chunk* BuildMarker(ParentChunk* parent, const ChunkBytes& bytes)
{
    return new MarkerChunk(parent, bytes, Tag);
}

int TagOf(Chunk* c)
{
    auto* m = dynamic_cast<MarkerChunk*>(c);
    return m ? m->tag_ : 0;
}

} // namespace

TEST(ChunkRegistry, ParentIdentifierSelectsTheBuilderAndLaterRegistrationsWin)
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register("TSTCHILD", "TSTPARA", BuildMarker<1>);
    reg.Register("TSTCHILD", "TSTPARB", BuildMarker<2>);
    reg.Register("TSTANY", "", BuildMarker<3>);
    reg.Register("TSTLATE", "", BuildMarker<4>);
    reg.Register("TSTLATE", "", BuildMarker<5>);
    reg.Register("TSTPARA", "", BuildChunk<ParentChunk>);
    reg.Register("TSTPARB", "", BuildChunk<ParentChunk>);
    reg.Register("TSTPARC", "", BuildChunk<ParentChunk>);

    auto kids = [](std::string_view parent) {
        return MakeChunk(parent, [] {
            std::vector<uint8_t> b;
            for (auto id : {"TSTCHILD", "TSTANY", "TSTLATE"}) {
                auto c = MakeChunk(id, {1, 2, 3, 4});
                b.insert(b.end(), c.begin(), c.end());
            }
            return b;
        }());
    };
    auto image = PlainFile({kids("TSTPARA"), kids("TSTPARB"), kids("TSTPARC")});
    auto file = ChunkFile::FromFileImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    struct Case {
        const char* parent;
        int child, any, late;
    } cases[] = {{"TSTPARA", 1, 3, 5}, {"TSTPARB", 2, 3, 5}, {"TSTPARC", 0, 3, 5}};
    for (const auto& c : cases) {
        auto* parent = file->FindChildAs<ParentChunk>(c.parent);
        ASSERT_TRUE(parent) << c.parent;
        EXPECT_EQ(TagOf(parent->FindChild("TSTCHILD")), c.child) << c.parent;
        EXPECT_EQ(TagOf(parent->FindChild("TSTANY")), c.any) << c.parent;
        EXPECT_EQ(TagOf(parent->FindChild("TSTLATE")), c.late) << c.parent;
        EXPECT_TRUE(parent->FindChild("TSTCHILD")->IsUnregistered());
    }
    EXPECT_EQ(file->PlainImage(), image);
}

TEST(ChunkTree, SevenCharacterIdentifiersAndChildLists)
{
    auto image = PlainFile({MakeChunk("MODZONE", Bytes().I32(1).I32(2).b), MakeChunk("AAAAAAAA"), MakeChunk("MODZONE", Bytes().I32(3).I32(4).b)});
    auto file = ChunkFile::FromFileImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk);
    auto* zone = dynamic_cast<WordsChunk*>(file->FindChild("MODZONE"));
    ASSERT_TRUE(zone);
    EXPECT_EQ(zone->Int(0), 1);
    EXPECT_EQ(file->CountChildren("MODZONE"), 2);
    std::vector<Chunk*> list{nullptr, nullptr, nullptr, nullptr};
    file->FindChildren("MODZONE", list);
    ASSERT_EQ(list.size(), 2u); // emptied first
    EXPECT_EQ(dynamic_cast<WordsChunk*>(list[1])->Int(0), 3);
    file->Children(list);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->GetRoot(), file.get());

    // Unlinking the middle and the ends keeps the list whole in both directions.
    delete list[1];
    EXPECT_EQ(file->FirstChild()->Next(), list[2]);
    EXPECT_EQ(list[2]->Previous(), list[0]);
    delete list[0];
    EXPECT_EQ(file->FirstChild(), list[2]);
    EXPECT_EQ(file->LastChild(), list[2]);
    delete list[2];
    EXPECT_EQ(file->FirstChild(), nullptr);
    EXPECT_EQ(file->LastChild(), nullptr);
}

TEST(ChunkTree, UnknownChunksAtSeveralDepthsStayInPlace)
{
    auto file = ChunkFile::Open(FixturePath("unknown_depths.rif"));
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    EXPECT_TRUE(file->FindChild("ZZTOPLVL")->IsUnregistered());
    auto* object = file->FindChildAs<ObjectChunk>("RBOBJECT");
    ASSERT_TRUE(object);
    EXPECT_TRUE(object->FindChild("ZZINOBJ")->IsUnregistered());
    auto* internal = object->FindChildAs<ParentChunk>("OBINTDT");
    ASSERT_TRUE(internal);
    ASSERT_TRUE(internal->FirstChild());
    EXPECT_TRUE(internal->FirstChild()->Is("ZZDEEPER"));
    EXPECT_TRUE(internal->FirstChild()->IsUnregistered());
    auto* shape = file->FindChildAs<ShapeChunk>("VQNSHAPE");
    ASSERT_TRUE(shape);
    EXPECT_TRUE(shape->FirstChild()->IsUnregistered());
    // SHPHEAD1 is registered under VQNSHAPE only; elsewhere it is raw bytes.
    EXPECT_TRUE(file->FindChild("ZZPARENT")->IsUnregistered());
    auto* sub = file->FindChild("SUBSHAPE");
    ASSERT_TRUE(sub);
    // Whether or not the sub-shape family is registered, its header stays raw.
    if (auto* subParent = dynamic_cast<ParentChunk*>(sub)) {
        ASSERT_TRUE(subParent->FindChild("SHPHEAD1"));
        EXPECT_TRUE(subParent->FindChild("SHPHEAD1")->IsUnregistered());
    } else {
        EXPECT_TRUE(sub->IsUnregistered());
    }

    // Edited and saved, the raw chunks keep their bytes and places.
    object->Header().position_[0] = 1234;
    auto dir = TempDir("unknown");
    ASSERT_TRUE(file->Save(dir / "u.rif"));
    auto again = ChunkFile::Open(dir / "u.rif");
    ASSERT_EQ(again->ErrorCode(), kChunkOk);
    auto before = ReadBytes(FixturePath("unknown_depths.rif"));
    auto after = again->PlainImage();
    ASSERT_EQ(after.size(), before.size());
    size_t differing = 0;
    for (size_t i = 0; i < before.size(); ++i)
        differing += before[i] != after[i];
    EXPECT_LE(differing, 4u); // only the edited position word
    std::filesystem::remove_all(dir);
}

TEST(ChunkTree, ScanFileListsChildOffsetsWithoutLoading)
{
    auto inner = MakeChunk("OBJHEAD1", std::vector<uint8_t>(4, 0));
    auto object = MakeChunk("RBOBJECT", [&] {
        auto b = MakeChunk("OBINTDT");
        b.insert(b.end(), inner.begin(), inner.end());
        b.insert(b.end(), inner.begin(), inner.end());
        return b;
    }());
    auto dir = TempDir("scan");
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<long> offsets;
    } cases[] = {
        {"two", object, {24, 40}},
        {"past the end", MakeChunk("RBOBJECT", std::vector<uint8_t>(28, 0), 200), {}},
        // a child of size 0 would never advance: the scan stops there
        {"zero size", MakeChunk("RBOBJECT", MakeChunk("OBJHEAD1", std::vector<uint8_t>(16, 0), 0)), {}},
        {"negative size", MakeChunk("RBOBJECT", MakeChunk("OBJHEAD1", std::vector<uint8_t>(16, 0), -24)), {}},
    };
    for (const auto& c : cases) {
        WriteBytes(dir / "scan.bin", c.bytes);
        std::FILE* f = std::fopen((dir / "scan.bin").c_str(), "rb");
        ASSERT_TRUE(f);
        std::vector<long> offsets{99};
        ScanFileForChunks(offsets, f, "OBJHEAD1");
        EXPECT_EQ(offsets, c.offsets) << c.name;
        std::fclose(f);
    }
    std::filesystem::remove_all(dir);
}

TEST(ChunkTree, PartialPassWritesOnlyFlaggedEditableChunks)
{
    auto file = ChunkFile::FromFileImage(ReadBytes(FixturePath("objects.rif")));
    ASSERT_EQ(file->ErrorCode(), kChunkOk);
    std::vector<ObjectChunk*> objects;
    file->GetObjects(objects);
    auto full = file->BuildBlock();
    auto none = file->BuildPartialBlock();
    // Objects and the environment drop out; the version and shape stay.
    size_t dropped = 0;
    for (Chunk* c = file->FirstChild(); c; c = c->Next())
        if (c->Is("RBOBJECT") || c->Is("VQNENVDT"))
            dropped += static_cast<size_t>(c->ComputeSize());
    EXPECT_EQ(none.size(), full.size() - dropped);
    objects[1]->writeInPartialPass_ = 1;
    auto one = file->BuildPartialBlock();
    EXPECT_EQ(one.size(), none.size() + static_cast<size_t>(objects[1]->ComputeSize()));
    EXPECT_EQ(objects[1]->writeInPartialPass_, 0); // cleared once written
}

// Chunks read from a file may be taken out of the tree and kept: they stay whole
// after the tree and every other chunk of the file are gone, and may be deleted
// in any order, on any thread.
TEST(ChunkTree, ChunksTakenFromALoadOutliveTheTree)
{
    const size_t blocks = ChunkArena::BlocksAlive();
    std::vector<std::vector<uint8_t>> chunks;
    for (int32_t i = 0; i < 3000; ++i)
        chunks.push_back(MakeChunk("TSTKEEP", Bytes().I32(i).I32(~i).b));
    auto file = ChunkFile::FromFileImage(PlainFile(chunks));
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    std::vector<Chunk*> kept;
    int index = 0;
    for (Chunk* c = file->FirstChild(); c;) {
        Chunk* next = c->Next();
        if (index++ % 7 == 0) {
            c->Unlink();
            kept.push_back(c);
        }
        c = next;
    }
    file.reset();
    // Memory freed too early would now be handed out again and overwritten.
    std::vector<std::unique_ptr<ChunkFile>> churn;
    for (int i = 0; i < 4; ++i)
        churn.push_back(ChunkFile::FromFileImage(PlainFile(std::vector<std::vector<uint8_t>>(500, MakeChunk("TSTOVER", std::vector<uint8_t>(8, 0xEE))))));
    ASSERT_EQ(kept.size(), (chunks.size() + 6) / 7);
    for (size_t k = 0; k < kept.size(); ++k) {
        auto* raw = dynamic_cast<UnregisteredChunk*>(kept[k]);
        ASSERT_NE(raw, nullptr);
        const auto i = static_cast<int32_t>(7 * k);
        EXPECT_EQ(std::vector<uint8_t>(raw->Payload().begin(), raw->Payload().end()), Bytes().I32(i).I32(~i).b) << k;
    }
    std::thread other([&] {
        for (size_t k = 0; k < kept.size(); k += 2)
            delete kept[k];
    });
    other.join();
    for (size_t k = 1; k < kept.size(); k += 2)
        delete kept[k];
    churn.clear();
    EXPECT_EQ(ChunkArena::BlocksAlive(), blocks);
}

// Tearing down trees of nested chunks (whole files, a subtree on its own, a
// tree whose chunks come from several loads) hands every arena block back.
TEST(ChunkTree, TeardownsReturnEveryArenaBlock)
{
    const size_t before = ChunkArena::BlocksAlive();
    auto level = [](int objects) {
        auto file = ChunkFile::CreateEmpty();
        new ShapeChunk(file.get(), ShapeData{});
        for (int i = 0; i < objects; ++i)
            new ObjectChunk(file.get(), ObjectHeader{});
        return ChunkFile::FromFileImage(file->PlainImage());
    };
    {
        auto a = level(4000);
        auto b = level(3000);
        ASSERT_EQ(a->ErrorCode(), kChunkOk);
        ASSERT_EQ(b->ErrorCode(), kChunkOk);
        // A subtree deleted on its own, and chunks of one load moved under another's root.
        delete a->FindChildAs<ObjectChunk>(chunk_id::kObject);
        for (int i = 0; i < 1000; ++i) {
            Chunk* moved = b->FirstChild();
            moved->Unlink();
            a->AppendChild(moved);
        }
        b.reset();
    }
    EXPECT_EQ(ChunkArena::BlocksAlive(), before);
}

// An object's and a shape's header is the first header child of its class,
// however the children change after the first lookup.
TEST(ChunkTree, HeaderLookupsFollowTheChildren)
{
    auto file = ChunkFile::CreateEmpty();
    auto* object = new ObjectChunk(file.get(), ObjectHeader{});
    auto* shape = new ShapeChunk(file.get(), ShapeData{});
    struct Side {
        const char* name;
        ParentChunk* owner;
        std::function<Chunk*()> header;
        std::function<Chunk*()> add;
    } sides[] = {
        {"object", object, [&] { return object->GetHeaderChunk(); }, [&] { return new ObjectHeaderChunk(object); }},
        {"shape", shape, [&] { return shape->GetHeader(); }, [&] { return new ShapeHeaderChunk(shape); }},
    };
    for (const Side& side : sides) {
        SCOPED_TRACE(side.name);
        Chunk* first = side.header();
        ASSERT_NE(first, nullptr);
        Chunk* second = side.add();
        EXPECT_EQ(side.header(), first);
        delete first;
        EXPECT_EQ(side.header(), second);
        second->Unlink();
        EXPECT_EQ(side.header(), nullptr);
        // An unregistered chunk with the header's identifier is no header.
        new UnregisteredChunk(side.owner, second->Identifier(), {});
        EXPECT_EQ(side.header(), nullptr);
        side.owner->AppendChild(second);
        EXPECT_EQ(side.header(), second);
    }
}

#include "rifdump_test_support.h"

#include "chunk/chunk_file.h"
#include "tools/rifdump/tool_chunks.h"

#include <gtest/gtest.h>

#include <typeindex>

using namespace rifdumptest;
using namespace trevok;
using namespace trevok::rifdump;

namespace {

std::unique_ptr<ChunkFile> Load(const std::vector<uint8_t>& image)
{
    RegisterRifdumpChunks();
    return ChunkFile::FromFileImage(image, "test.rif");
}

// Every chunk of the tree with that identifier, depth first in file order.
void FindAll(const ParentChunk& parent, std::string_view id, std::vector<Chunk*>& out)
{
    for (Chunk* c = parent.FirstChild(); c; c = c->Next()) {
        if (c->Is(id))
            out.push_back(c);
        if (auto* p = dynamic_cast<ParentChunk*>(c))
            FindAll(*p, id, out);
    }
}

Chunk* FindFirst(const ParentChunk& parent, std::string_view id)
{
    std::vector<Chunk*> all;
    FindAll(parent, id, all);
    return all.empty() ? nullptr : all.front();
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    Bytes b;
    for (auto w : words)
        b.U32(w);
    return b.b;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts)
{
    Bytes b;
    for (const auto& p : parts)
        b.Add(p);
    return b.b;
}

TEST(ToolChunks, EveryTypeLoadsTypedAndWritesBackItsBytes)
{
    auto image = ReadBytes(FixturePath("tool_chunks.rif"));
    auto file = Load(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    EXPECT_EQ(file->PlainImage(), image);

    const std::pair<const char*, std::type_index> kTypes[] = {
        {"KZMGENER", typeid(GeneratorChunk)},
        {"KZMGENEX", typeid(GeneratorExtraChunk)},
        {"KZMGENNM", typeid(GeneratorNameChunk)},
        {"GENEXSET", typeid(GeneratorExtraSetChunk)},
        {"GLOGENDC", typeid(GlobalGeneratorDataChunk)},
        {"KZMSTART", typeid(StartChunk)},
        {"KZMCABLE", typeid(CableChunk)},
        {"KZMENVIR", typeid(rifdump::EnvironmentChunk)},
        {"KZMDECAL", typeid(DecalChunk)},
        {"PARGENER", typeid(ParticleGeneratorChunk)},
        {"PARGENDA", typeid(ParticleGeneratorDataChunk)},
        {"R6GENDAT", typeid(R6GeneratorDataChunk)},
        {"VQNENUMS", typeid(EnumsChunk)},
        {"ENUMHEAD", typeid(EnumHeaderChunk)},
        {"BMPENUMS", typeid(BitmapEnumsChunk)},
        {"FRAGTYPE", typeid(FragmentTypeChunk)},
        {"FRGTYPDC", typeid(FragmentTypeDataChunk)},
        {"FRGTYPSC", typeid(FragmentTypeShapeChunk)},
        {"FRGSOUND", typeid(FragmentSoundChunk)},
        {"RSPRITES", typeid(SpriteSetChunk)},
        {"ASPRHEAD", typeid(SpriteSetHeaderChunk)},
        {"SPRIHEAD", typeid(SpriteHeaderChunk)},
        {"SPRITEPC", typeid(SpritePCChunk)},
        {"SPRITESA", typeid(SpriteSAChunk)},
        {"SPRITEPS", typeid(SpritePSChunk)},
        {"SPRACTIO", typeid(SpriteActionChunk)},
        {"SPRITVER", typeid(SpriteVersionChunk)},
        {"SPRBMPSC", typeid(SpriteBitmapScaleChunk)},
        {"SPRBMPCE", typeid(SpriteBitmapCentreChunk)},
        {"SPREXTEN", typeid(SpriteExtentChunk)},
        {"KZMPATH2", typeid(PathChunk)},
        {"PNOTINBB", typeid(PNotInBBChunk)},
        {"KZMSTRAT", typeid(StrategyChunk)},
        {"KZMEXSTR", typeid(ExtraStrategyChunk)},
        {"VIOBJECT", typeid(VisibleObjectChunk)},
        {"VOBJPROP", typeid(VisibleObjectPropertiesChunk)},
        {"CAMORIGN", typeid(CameraOriginChunk)},
        {"WAYPOINT", typeid(WaypointChunk)},
        {"AIMODMAS", typeid(AIModuleMasterChunk)},
        {"AIMODSLA", typeid(AIModuleSlaveChunk)},
    };
    for (const auto& [id, type] : kTypes) {
        Chunk* c = FindFirst(*file, id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_EQ(std::type_index(typeid(*c)), type) << id;
    }
}

TEST(ToolChunks, SpriteActionListsMakeOnlyActionsTyped)
{
    auto file = Load(ReadBytes(FixturePath("tool_chunks.rif")));
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();

    auto* list = dynamic_cast<SpritePCChunk*>(FindFirst(*file, "SPRITEPC"));
    ASSERT_NE(list, nullptr);
    // SPRISIZE is registered, yet under a sprite-action list it stays raw.
    Chunk* size = list->FindChild("SPRISIZE");
    ASSERT_NE(size, nullptr);
    EXPECT_TRUE(size->IsUnregistered());
    auto* sizes = dynamic_cast<SpriteHeaderChunk*>(FindFirst(*file, "SPRIHEAD"));
    ASSERT_NE(sizes, nullptr);
    EXPECT_NE(sizes->FindChildAs<SpriteSizeChunk>("SPRISIZE"), nullptr);

    // A top-level SPRITEPC has no SPRIHEAD parent: raw bytes.
    std::vector<Chunk*> top;
    file->FindChildren("SPRITEPC", top);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_TRUE(top[0]->IsUnregistered());

    auto* action = list->FindChildAs<SpriteActionChunk>("SPRACTIO");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->ComputeSize(), 12 + 24 + 2 * 44); // 1 x 2 x 1 frames
}

struct UpgradeCase {
    const char* name_;
    std::vector<uint8_t> stored_;  // one chunk as a file holds it
    std::vector<uint8_t> written_; // the same chunk written back after a load
};

std::vector<UpgradeCase> UpgradeCases()
{
    const uint32_t top = 0x80000000u;
    std::vector<UpgradeCase> cases;
    cases.push_back({"EnvironmentOfFourWordsGetsDefaults",
                     MakeChunk("KZMENVIR", Words({8, 0x1234})),
                     MakeChunk("KZMENVIR", Words({24, 200, 200, 200, 0x17, 30}))});
    cases.push_back({"EnvironmentOfSixteenBytesGetsFlagsAndSixth",
                     MakeChunk("KZMENVIR", Words({16, 1, 2, 3})),
                     MakeChunk("KZMENVIR", Words({24, 1, 2, 3, 0x17, 30}))});
    cases.push_back({"EnvironmentFlagsSetAndCleared",
                     MakeChunk("KZMENVIR", Words({20, 1, 2, 3, 0xFF | 0x100})),
                     MakeChunk("KZMENVIR", Words({24, 1, 2, 3, 0x17 | 0x100, 30}))});
    cases.push_back({"EnvironmentOfCurrentSizeKept",
                     MakeChunk("KZMENVIR", Words({28, 1, 2, 3, 0xFF, 5, 6})),
                     MakeChunk("KZMENVIR", Words({28, 1, 2, 3, 0xFF, 5, 6}))});
    {
        auto head = Join({Words({1, 2}), {'w', 'x', 'y', 'z'}, Words({3, 4})});
        Bytes grown;
        grown.Add(head).U32(64).U32(9).Zeros(56);
        cases.push_back({"ExtraSetBlockGrowsToSixtyFourBytes", MakeChunk("GENEXSET", Join({head, Words({8, 9})})),
                         MakeChunk("GENEXSET", grown.b)});
    }
    cases.push_back({"Strategy62MarksItselfCurrent",
                     MakeChunk("KZMSTRAT", Words({1, 2, 62, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8})),
                     MakeChunk("KZMSTRAT", Words({1, 2, 62, 0, 0, 1, 2, 3, 4 | top, 0, 0, 0, 0}))});
    cases.push_back({"Strategy62AlreadyCurrentKept",
                     MakeChunk("KZMSTRAT", Words({1, 2, 62, 0, 0, 1, 2, 3, 4 | top, 5, 6, 7, 8})),
                     MakeChunk("KZMSTRAT", Words({1, 2, 62, 0, 0, 1, 2, 3, 4 | top, 5, 6, 7, 8}))});
    cases.push_back({"Strategy1003UpgradesItsFirstEightWords",
                     MakeChunk("KZMSTRAT", Words({1, 2, 1003, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9, 9, 9, 9, 9})),
                     MakeChunk("KZMSTRAT",
                           Words({1, 2, 1003, 0, 0, 1, 2, 3, 4 | top, 0, 0, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9}))});
    cases.push_back({"Strategy1000ClearsItsFirstWord",
                     MakeChunk("KZMSTRAT", Words({1, 2, 1000, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19})),
                     MakeChunk("KZMSTRAT", Words({1, 2, 1000, 0, 0, 0, 12, 13, 14, 15, 16 | top, 17, 18, 19}))});
    // Three records; the split point 1 becomes a mark in each record's third word.
    cases.push_back({"Strategy68SplitBecomesRecordMarks",
                     MakeChunk("KZMSTRAT", Words({1, 2, 68, 0, 0, 4, 4, 4, 4, 3, 10, 11, 7, 20, 21, 7, 30, 31, 7,
                                              1, 5, 6, 1, 0x10, 1, 2, 3, 4, 5, 6, 7, 8})),
                     MakeChunk("KZMSTRAT", Words({1, 2, 68, 0, 0, 4, 4, 4, 4, 3, 10, 11, 0, 20, 21, 1, 30, 31, 1,
                                              1, 5, 6, 0, 0x10 | top, 1, 2, 3, 4, 5, 6, 7, 8}))});
    // A KZMEXSTR holds kinds 50 to 54 only; another kind's body is kept as it is.
    cases.push_back({"ExtraStrategyOfOtherKindKeptAsItIs",
                     MakeChunk("KZMEXSTR", Words({1, 2, 62, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8})),
                     MakeChunk("KZMEXSTR", Words({1, 2, 62, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}))});
    {
        auto waypoint = [](uint32_t flags) {
            Bytes w;
            w.Zeros(36).U32(flags).U32(0).U32(0).U32(0);
            return w.b;
        };
        const uint32_t mark = kWaypointGroupMark;
        // Marks on the first two: the last one starts the second group and is the one written back.
        cases.push_back({"WaypointGroupMarkKeptOnTheLastMarked",
                         MakeChunk("WAYPOINT", Join({Words({3}), waypoint(mark | 1), waypoint(mark | 2), waypoint(3),
                                                 Words({7, 8})})),
                         MakeChunk("WAYPOINT", Join({Words({3}), waypoint(1), waypoint(mark | 2), waypoint(3),
                                                 Words({7, 8})}))});
    }
    return cases;
}

TEST(ToolChunks, OlderBodiesAreBroughtUpToDateOnLoad)
{
    for (const auto& c : UpgradeCases()) {
        SCOPED_TRACE(c.name_);
        auto file = Load(PlainFile({c.stored_}));
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
        ASSERT_NE(file->FirstChild(), nullptr);
        EXPECT_FALSE(file->FirstChild()->IsUnregistered());
        EXPECT_EQ(file->FirstChild()->BuildBlock(), c.written_);
    }
}

TEST(ToolChunks, WaypointGroupsSplitAtTheLastMark)
{
    auto waypoint = [](uint32_t flags) {
        Bytes w;
        w.Zeros(36).U32(flags).U32(0).U32(1).U32(5).U32(6).U32(1).Raw("gate").Zeros(4).U32(9);
        return w.b;
    };
    const struct {
        std::vector<uint32_t> flags_;
        uint32_t first_, second_;
    } cases[] = {
        {{0, 0, 0}, 3, 0},
        {{kWaypointGroupMark, 0, 0}, 0, 3},
        {{0, kWaypointGroupMark, 0, kWaypointGroupMark}, 3, 1},
        {{}, 0, 0},
    };
    for (const auto& c : cases) {
        Bytes body;
        body.U32(static_cast<uint32_t>(c.flags_.size()));
        for (auto f : c.flags_)
            body.Add(waypoint(f));
        body.U32(1).U32(2);
        auto file = Load(PlainFile({MakeChunk("WAYPOINT", body.b)}));
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
        auto* w = file->FindChildAs<WaypointChunk>("WAYPOINT");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->firstGroupLength_, c.first_);
        EXPECT_EQ(w->secondGroupLength_, c.second_);
    }
}

TEST(ToolChunks, DamagedBodiesFailTheLoadWithoutHugeAllocations)
{
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        // 2^22 x 2^22 x 2^22 frames: the product wraps to 0 in 64 bits.
        {"SpriteActionFactorsOverflow", MakeChunk("SPRACTIO", Words({0, 0x400000, 0x400000, 0x400000, 0, 0}))},
        {"SpriteActionFramesMissing", MakeChunk("SPRACTIO", Words({0, 1, 1, 2, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}))},
        {"DecalCountTimesSizeWraps", MakeChunk("KZMDECAL", Words({0xFFFFFFFF, 0xFFFFFFFF}))},
        {"DecalRecordsMissing", MakeChunk("KZMDECAL", Words({3, 8, 1, 2, 3, 4}))},
        {"WaypointCountHuge", MakeChunk("WAYPOINT", Words({0x7FFFFFFF, 0, 0}))},
        {"ExtraSetBlockBelowItsSizeWord", MakeChunk("GENEXSET", Words({1, 2, 0, 3, 4, 2}))},
        {"ExtraSetBlockPastTheBody", MakeChunk("GENEXSET", Words({1, 2, 0, 3, 4, 100, 0}))},
        {"EnvironmentBlockOfSizeZero", MakeChunk("KZMENVIR", Words({0, 1, 2}))},
        {"PNotInBBTooShort", MakeChunk("PNOTINBB", Words({1}))},
        {"StrategyEntryCountHuge", MakeChunk("KZMSTRAT", Words({1, 2, 72, 0, 0, 0x40000000}))},
        {"BitmapEnumsCountHuge", MakeChunk("BMPENUMS", Join({Words({1, 2}), {'a', 0, 0, 0}, Words({0xFFFFFF})}))},
        {"GeneratorNameWithoutItsNul", MakeChunk("KZMGENNM", {'a', 'b', 'c', 'd'})},
        {"SpriteListChildRunsPastItsEnd",
         MakeChunk("SPRIHEAD", MakeChunk("SPRITEPS", Join({MakeChunk("SPRACTIO", Words({0, 0, 0, 0, 0, 0})), {'S', 'P', 'R', 'A',
                                                                                                 'C', 'T', 'I', 'O',
                                                                                                 200, 0, 0, 0}})))},
        {"SpriteListChildSizeBelowItsHeader", MakeChunk("SPRIHEAD", MakeChunk("SPRITESA", Join({{'X', 'X', 'X', 'X', 'X',
                                                                                           'X', 'X', 'X'},
                                                                                          Words({4})})))},
    };
    for (const auto& [name, chunk] : cases) {
        SCOPED_TRACE(name);
        auto file = Load(PlainFile({chunk}));
        EXPECT_EQ(file->ErrorCode(), kChunkBadData);
        EXPECT_FALSE(file->ErrorMessage().empty());
    }
}

struct LinkedModules {
    std::unique_ptr<ChunkFile> file_;
    AIModuleMasterChunk* master_ = nullptr;
    std::vector<AIModuleSlaveChunk*> slaves_;
};

LinkedModules LoadModules()
{
    LinkedModules m;
    m.file_ = Load(ReadBytes(FixturePath("tool_chunks.rif")));
    m.master_ = dynamic_cast<AIModuleMasterChunk*>(FindFirst(*m.file_, "AIMODMAS"));
    std::vector<Chunk*> slaves;
    m.file_->FindChildren("AIMODSLA", slaves);
    for (auto* s : slaves)
        m.slaves_.push_back(dynamic_cast<AIModuleSlaveChunk*>(s));
    return m;
}

TEST(ToolChunks, SlavesLinkToTheMasterOfTheObjectTheyName)
{
    auto m = LoadModules();
    ASSERT_EQ(m.file_->ErrorCode(), kChunkOk) << m.file_->ErrorMessage();
    ASSERT_NE(m.master_, nullptr);
    ASSERT_EQ(m.slaves_.size(), 2u);
    // The first names object 3, which holds the master; no object has index 5.
    EXPECT_EQ(m.slaves_[0]->Master(), m.master_);
    EXPECT_EQ(m.slaves_[1]->Master(), nullptr);
    EXPECT_EQ(m.master_->slaves_, std::vector<AIModuleSlaveChunk*>{m.slaves_[0]});

    // A file that is not a chunk-file root leaves a slave unlinked.
    ParentChunk loose(nullptr, "LOOSEPAR");
    auto slaveBytes = MakeChunk("AIMODSLA", Words({3}));
    loose.ReadChildren(slaveBytes);
    loose.AfterLoad();
    auto* alone = loose.FindChildAs<AIModuleSlaveChunk>("AIMODSLA");
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(alone->Master(), nullptr);
}

TEST(ToolChunks, EitherEndOfALinkMayBeDeletedFirst)
{
    {
        auto m = LoadModules();
        ASSERT_NE(m.master_, nullptr);
        delete m.master_;
        EXPECT_EQ(m.slaves_[0]->Master(), nullptr);
    }
    {
        auto m = LoadModules();
        ASSERT_NE(m.master_, nullptr);
        delete m.slaves_[0];
        EXPECT_TRUE(m.master_->slaves_.empty());
    }
}

} // namespace

// Cut-scene chunks against cutscene.rif, written by hand from the layouts.
#include <gtest/gtest.h>

#include "chunk/chunk_families.h"
#include "chunk/chunk_file.h"
#include "chunk/cutscene_chunks.h"
#include "chunk/md5.h"
#include "chunk_test_support.h"

#include <bit>

namespace {

using namespace trevok;
using namespace chunktest;

class CutsceneChunks : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureChunkFamiliesRegistered();
        bytes_ = ReadBytes(FixturePath("cutscene.rif"));
        ASSERT_FALSE(bytes_.empty());
        file_ = ChunkFile::FromFileImage(bytes_, "cutscene.rif");
        ASSERT_EQ(file_->ErrorCode(), kChunkOk) << file_->ErrorMessage();
        Chunk* special = static_cast<ParentChunk*>(file_->FindChild(chunk_id::kEnvironment))
                             ->FindChild(chunk_id::kSpecialObjects);
        ASSERT_TRUE(special);
        cutscene_ = static_cast<ParentChunk*>(special)->FindChildAs<CutsceneChunk>(chunk_id::kCutscene);
        ASSERT_TRUE(cutscene_);
    }

    CutsceneEventChunk* Events()
    {
        std::vector<CutsceneUserChunk*> users;
        cutscene_->GetUsers(users);
        std::vector<CutsceneTrackChunk*> tracks;
        users.at(0)->GetTracks(tracks);
        std::vector<CutsceneEventChunk*> events;
        tracks.at(0)->GetEvents(events);
        return events.at(0);
    }

    std::vector<uint8_t> bytes_;
    std::unique_ptr<ChunkFile> file_;
    CutsceneChunk* cutscene_ = nullptr;
};

TEST_F(CutsceneChunks, FileRoundTripsByteForByte)
{
    EXPECT_EQ(file_->PlainImage(), bytes_);
}

TEST_F(CutsceneChunks, AccessorsReachEveryPart)
{
    ASSERT_TRUE(cutscene_->GetData());
    EXPECT_EQ(cutscene_->GetData()->name_, "intro");
    std::vector<CutsceneUserChunk*> users;
    cutscene_->GetUsers(users);
    ASSERT_EQ(users.size(), 1u);
    const CutsceneUserChunk& user = *users[0];
    EXPECT_EQ(user.GetData()->name_, "pilot");
    EXPECT_FLOAT_EQ(user.GetData()->FloatWord(1), 1.5f);
    EXPECT_EQ(user.GetData()->Word(4), 0);  // 0: the tracks take their own field of view
    EXPECT_FLOAT_EQ(user.GetData()->FloatWord(5), 4.0f);
    ASSERT_TRUE(user.GetHierarchyName());
    EXPECT_EQ(*user.GetHierarchyName(), "Robot");
    EXPECT_EQ(user.GetSoundProperties()->Word(2), 127);
    EXPECT_TRUE(user.GetPositions()->records_.empty());
    EXPECT_EQ(user.GetPositions()->trailing_[2], 9);

    std::vector<CutsceneTrackChunk*> tracks;
    user.GetTracks(tracks);
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_TRUE(tracks[0]->GetName());
    EXPECT_EQ(*tracks[0]->GetName(), "camera");
    ASSERT_EQ(tracks[0]->GetPoints()->points_.size(), 2u);
    EXPECT_EQ(tracks[0]->GetPoints()->points_[1][2], 3000);
    EXPECT_TRUE(tracks[0]->GetPoints()->Flag(8));
    EXPECT_FALSE(tracks[0]->GetPoints()->Flag(9));
    EXPECT_FLOAT_EQ(tracks[0]->GetFieldOfView()->FieldOfView(), 75.0f);
    EXPECT_FLOAT_EQ(Events()->StartTime(), 0.5f);
    EXPECT_EQ(Events()->name_, "events");
}

TEST_F(CutsceneChunks, EventsOfEveryTypeAndAnUnknownOneKeptRaw)
{
    const CutsceneEventChunk& list = *Events();
    ASSERT_EQ(list.events_.size(), 11u);
    const struct {
        int32_t type;
        size_t size;
    } want[] = {{1, 44}, {2, 52}, {3, 40}, {4, 44}, {5, 72}, {6, 40}, {7, 36}, {8, 52}, {9, 40}, {10, 40}, {11, 32}};
    for (size_t i = 0; i < list.events_.size(); ++i) {
        const CutsceneEvent& e = *list.events_[i];
        EXPECT_EQ(e.type_, want[i].type);
        EXPECT_EQ(e.Size(), want[i].size) << "type " << e.type_;
        EXPECT_EQ(e.time_, int32_t(100 * (i + 1)));
        EXPECT_EQ(e.secondValue_, 7);
    }
    auto* eight = dynamic_cast<const CutsceneWordsEvent*>(list.events_[7].get());
    ASSERT_TRUE(eight);
    EXPECT_FLOAT_EQ(eight->FloatWord(2), 2.0f);
    auto* named = dynamic_cast<const CutsceneNamedEvent*>(list.events_[4].get());
    ASSERT_TRUE(named);
    EXPECT_EQ(named->name_, "wave");
    EXPECT_EQ(named->words_[9], 9);
    auto* raw = dynamic_cast<const CutsceneRawEvent*>(list.events_[10].get());
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->bytes_, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(CutsceneChunks, DataBuiltInMemoryCarriesTheNameDigest)
{
    CutsceneChunk made(nullptr, "intro", 1, 2, 3);
    const Md5Value d = Md5::Digest(std::string_view("Cutscene:intro"));
    EXPECT_EQ(made.GetData()->words_[5], int32_t(d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24));
    EXPECT_EQ(made.GetData()->words_, cutscene_->GetData()->words_);
    EXPECT_EQ(made.GetData()->BuildBlock(), cutscene_->GetData()->BuildBlock());
}

TEST(CutsceneChunkSizes, FreshChunksHaveTheirLayoutsSizes)
{
    ParentChunk parent(nullptr, "TESTROOT");
    CutsceneEventChunk events(&parent, "");
    const struct {
        const char* what;
        Chunk* chunk;
        int32_t size;
    } cases[] = {
        {"user data, empty name", new CutsceneUserDataChunk(&parent), 64},
        {"hierarchy 'Robot'", new CutsceneUserHierarchyChunk(&parent, "Robot"), 32},
        {"sound settings", new CutsceneUserSoundChunk(&parent), 36},
        {"no positions", new CutsceneUserPositionsChunk(&parent), 28},
        {"track name 'cam'", new CutsceneTrackNameChunk(&parent, "cam"), 24},
        {"no points", new CutscenePointsChunk(&parent), 64},
        {"field of view", new CutsceneFovChunk(&parent), 24},
        {"no events", &events, 32},
        {"data 'intro'", new CutsceneDataChunk(&parent, "intro", 0, 0, 0), 48},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.chunk->ComputeSize(), c.size) << c.what;
    EXPECT_FLOAT_EQ(CutsceneFovChunk(nullptr).FieldOfView(), 90.0f);
    EXPECT_EQ(CutsceneUserSoundChunk(nullptr).words_, (std::vector<int32_t>{10000, 20000, 127, 0, 0, 0}));
}

TEST(CutsceneEvents, FreshRecordsHoldTheirDefaults)
{
    const struct {
        int32_t type;
        std::vector<int32_t> words;
    } cases[] = {
        {1, {0, 0, -1, 0, 0}},        {2, {0, 0, 0, -1, 0, 0, 0}}, {3, {0, -1, 0, 0}},
        {4, {0, 0, 0, 0, 0}},         {6, {0, -1, 0, 0}},          {7, {0, 0, 0}},
        {8, {0, 0, 0, -1, 0, 0, 0}}, {9, {std::bit_cast<int32_t>(90.0f), 0, 0, 0}},
    };
    for (const auto& c : cases) {
        CutsceneWordsEvent e(c.type);
        EXPECT_EQ(e.words_, c.words) << "type " << c.type;
        EXPECT_EQ(e.value_, -1);
    }
    EXPECT_EQ(CutsceneRoundedEvent().words_[0], 3000);
}

// A track's event list holding the given records after the header words.
std::vector<uint8_t> EventFile(int32_t count, const std::vector<uint8_t>& records)
{
    Bytes payload;
    payload.U32(0).U32(0).U32(0).Raw(std::string("ev\0\0", 4)).I32(count).Add(records);
    return PlainFile({MakeChunk("CUTEVENT", payload.b)});
}

std::vector<uint8_t> Event(int32_t type, int32_t size, const std::vector<uint8_t>& fields)
{
    Bytes b;
    b.I32(type).I32(size).I32(0).I32(-1).I32(0).I32(0).Add(fields);
    return b.b;
}

TEST(CutsceneEvents, TypeTenKeepsTheWholePartOfItsValue)
{
    EnsureChunkFamiliesRegistered();
    const struct {
        float stored, written;
    } cases[] = {{2.7f, 2.0f}, {-2.7f, -2.0f}, {1e20f, 2147483647.0f}};
    for (const auto& c : cases) {
        Bytes fields;
        fields.U32(std::bit_cast<uint32_t>(c.stored)).I32(3000).I32(0).I32(0);
        auto file = ChunkFile::FromFileImage(EventFile(1, Event(10, 40, fields.b)), "ten.rif");
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
        const std::vector<uint8_t> out = file->PlainImage();
        EXPECT_EQ(F32At(out, out.size() - 16), c.written) << c.stored;
    }
}

TEST(CutsceneEvents, RecordsAdvanceByTheirCheckedStoredSize)
{
    EnsureChunkFamiliesRegistered();
    const std::vector<uint8_t> four(4, 0xAB);
    const struct {
        const char* what;
        int32_t count;
        std::vector<uint8_t> records;
        bool loads;
    } cases[] = {
        {"a size shorter than the header", 1, Event(1, 20, {}), false},
        {"a size past the chunk", 1, Event(11, 64, four), false},
        {"a count past the chunk", 1000000, Event(11, 28, four), false},
        {"a negative count", -1, {}, false},
        // Kept raw: a known type of another size keeps every byte it has.
        {"a known type of another size", 1, Event(7, 28, four), true},
        {"two records back to back", 2, [&] {
             auto b = Event(11, 28, four);
             auto c = Event(7, 36, std::vector<uint8_t>(12, 0));
             b.insert(b.end(), c.begin(), c.end());
             return b;
         }(), true},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> image = EventFile(c.count, c.records);
        auto file = ChunkFile::FromFileImage(image, "events.rif");
        if (!c.loads) {
            EXPECT_EQ(file->ErrorCode(), kChunkBadData) << c.what;
            EXPECT_NE(file->ErrorMessage().find("CUTEVENT"), std::string::npos) << c.what << ": " << file->ErrorMessage();
            continue;
        }
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << c.what << ": " << file->ErrorMessage();
        EXPECT_EQ(file->PlainImage(), image) << c.what;
    }
}

} // namespace

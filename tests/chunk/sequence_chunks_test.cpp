#include "hierarchy_test_util.h"

#include "chunk/sequence_chunks.h"
#include "chunk/sound_chunks.h"

#include <cmath>

namespace trevok::test {
namespace {

constexpr int32_t kTicksPerSecond = 1000000;
const float kIdentity[4] = {0, 0, 0, 1};

struct FrameSpec {
    int32_t frameNumber;
    int32_t time; // 16.16 fraction of the length
    int32_t position[3];
    uint32_t flags = 0;
    float rotation[4] = {0, 0, 0, 1};
};

struct SequenceSpec {
    int32_t index = 0;
    std::vector<FrameSpec> frames;
    int32_t milliseconds = -1; // -1: no OBASEQTM
    bool speed = false;
    int32_t speedValue = 0, heading = 0;
    int32_t flags = -1; // -1: no OBASEQFL
};

SequenceChunk* MakeSequence(ParentChunk* list, const SequenceSpec& spec)
{
    auto* seq = new SequenceChunk(list);
    new SequenceHeaderChunk(seq, 1, spec.index, "seq");
    for (const auto& f : spec.frames)
        new SequenceFrameChunk(seq, f.rotation, f.position, f.time, f.frameNumber, f.flags);
    if (spec.milliseconds >= 0)
        new SequenceTimeChunk(seq, spec.milliseconds);
    if (spec.speed)
        new SequenceSpeedChunk(seq, spec.speedValue, spec.heading, 0);
    if (spec.flags >= 0)
        seq->SetFlags(spec.flags);
    return seq;
}

class RecordingSounds : public SequenceSoundSystem {
public:
    int32_t LoadSoundChunks(const std::string& name) override
    {
        loads_.push_back(name);
        return name == "missing" ? 0 : 7;
    }
    int32_t MakeVariant(int32_t id, int32_t volume, float pitch, float inner, float outer) override
    {
        variants_.push_back({static_cast<float>(id), static_cast<float>(volume), pitch, inner, outer});
        return 100 + static_cast<int32_t>(variants_.size());
    }
    std::vector<std::string> loads_;
    std::vector<std::array<float, 5>> variants_;
};

struct Built {
    SequenceTables tables;
    SequenceBuildContext context;
    std::unique_ptr<Sequence> sequence;
};

std::unique_ptr<Built> Build(const SequenceSpec& spec)
{
    auto file = ChunkFile::CreateEmpty();
    auto* list = new SequenceListChunk(file.get());
    auto* seq = MakeSequence(list, spec);
    auto built = std::make_unique<Built>();
    built->context.ticksPerSecond_ = kTicksPerSecond;
    built->context.tables_ = &built->tables;
    built->sequence = BuildSequence(*seq, built->context);
    return built;
}

// Frame times, spans, key flags and sequence flags in clock ticks (1 MHz here).
TEST(SequenceBuilding, KeysComeOutInClockTicks)
{
    const float s = std::sqrt(0.5f);
    struct Case {
        const char* what;
        SequenceSpec spec;
        int32_t length;
        int32_t sequenceFlags;
        std::vector<int32_t> times, spans, keyFlags;
        std::vector<Vec3> positions;
    };
    const Case cases[] = {
        {"zero-length sequence", {0, {{0, 0, {5, 0, 0}}, {1, 0x8000, {9, 0, 0}}}, 0}, 0, 3, {0, 0}, {0, 0}, {2, 2},
         {{0.005f, 0, 0}, {0.009f, 0, 0}}},
        {"one frame, no time chunk: one second", {0, {{0, 0, {0, 0, 0}}}}, kTicksPerSecond, 3, {0}, {kTicksPerSecond},
         {0}, {{0, 0, 0}}},
        {"one frame at 250 ms", {0, {{0, 0, {1000, 2000, 3000}}}, 250}, 250000, 3, {0}, {250000}, {0},
         {{1, 2, 3}}},
        {"delta first", {0, {{0, 0, {1000, 0, 0}, kFrameReference}, {1, 0x8000, {3000, 0, 0}}}, 2000}, 2000000, 7,
         {0, 1000000}, {1000000, 1000000}, {kKeyReference | kKeyMoves, kKeyMoves}, {{0, 0, 0}, {2, 0, 0}}},
        {"delta middle, frames stored 2, 0, 1, reference turned a quarter about y",
         {0,
          {{2, 0xC000, {0, 0, 1000}},
           {0, 0, {1000, 0, 1000}},
           {1, 0x8000, {0, 0, 1000}, kFrameReference, {0, s, 0, s}}},
          1000},
         1000000, 7, {0, 500000, 750000}, {500000, 250000, 250000},
         {kKeyMoves | kKeyRotates, kKeyReference | kKeyRotates, kKeyMoves},
         {{0, 0, 1}, {0, 0, 0}, {0, 0, 0}}},
        {"upper-body sequence moving at 2 m/s", {0, {{0, 0, {0, 0, 0}}}, 500, true, 2000, 90, kSequenceUpperBody},
         500000, 3, {0}, {500000}, {0}, {{0, 0, 0}}},
        {"lower-body sequence", {0, {{0, 0, {0, 0, 0}}, {1, 0x10000, {0, 0, 0}}}, 100, false, 0, 0, kSequenceLowerBody},
         100000, 3, {0, 100000}, {100000, 0}, {0, 0}, {{0, 0, 0}, {0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto built = Build(c.spec);
        ASSERT_NE(built->sequence, nullptr);
        const Sequence& seq = *built->sequence;
        EXPECT_EQ(seq.length_, c.length);
        EXPECT_EQ(seq.flags_, c.sequenceFlags);
        ASSERT_EQ(seq.keys_.size(), c.times.size());
        for (size_t i = 0; i < seq.keys_.size(); ++i) {
            const SequenceKey& k = seq.keys_[i];
            EXPECT_EQ(k.ordinal_, static_cast<int32_t>(i));
            EXPECT_EQ(k.time_, c.times[i]) << "key " << i;
            EXPECT_EQ(k.span_, c.spans[i]) << "key " << i;
            EXPECT_EQ(k.flags_, c.keyFlags[i]) << "key " << i;
            EXPECT_NEAR(k.position_.x, c.positions[i].x, 1e-5) << "key " << i;
            EXPECT_NEAR(k.position_.y, c.positions[i].y, 1e-5) << "key " << i;
            EXPECT_NEAR(k.position_.z, c.positions[i].z, 1e-5) << "key " << i;
        }
        EXPECT_TRUE(seq.sounds_.empty());
    }
}

TEST(SequenceBuilding, ReferenceFrameBecomesTheIdentity)
{
    const float s = std::sqrt(0.5f);
    auto built = Build({0, {{0, 0, {500, 600, 700}, kFrameReference, {s, 0, 0, s}}}, 1000});
    ASSERT_NE(built->sequence, nullptr);
    const SequenceKey& k = built->sequence->keys_[0];
    EXPECT_NEAR(k.position_.x, 0, 1e-6);
    EXPECT_NEAR(std::fabs(k.rotation_.w), 1, 1e-6);
    EXPECT_NEAR(k.rotation_.x, 0, 1e-6);
}

TEST(SequenceBuilding, SpeedAndHeadingGoToTheSharedTables)
{
    auto built = Build({5, {{0, 0, {0, 0, 0}}}, 500, true, 2500, 90});
    ASSERT_NE(built->sequence, nullptr);
    EXPECT_FLOAT_EQ(built->tables.speed_[5], 2.5f);
    double a = 90.0 / 360.0 * 6.2830556;
    EXPECT_FLOAT_EQ(built->tables.direction_[5].x, static_cast<float>(std::sin(a)));
    EXPECT_FLOAT_EQ(built->tables.direction_[5].z, static_cast<float>(std::cos(a)));
    EXPECT_EQ(built->tables.length_[5], 500000);
    EXPECT_FLOAT_EQ(built->tables.ticksPerFraction_[5], 500000.0f / 65536.0f);
}

TEST(SequenceBuilding, LaterPartsKeepTheFirstLengthOfAnIndex)
{
    auto file = ChunkFile::CreateEmpty();
    auto* list = new SequenceListChunk(file.get());
    auto* first = MakeSequence(list, {2, {{0, 0, {0, 0, 0}}, {1, 0x8000, {0, 0, 0}}}, 400});
    auto* second = MakeSequence(list, {2, {{0, 0, {0, 0, 0}}, {1, 0x8000, {0, 0, 0}}}, 900});
    SequenceTables tables;
    SequenceBuildContext context;
    context.ticksPerSecond_ = kTicksPerSecond;
    context.tables_ = &tables;
    auto a = BuildSequence(*first, context);
    auto b = BuildSequence(*second, context);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->length_, 400000);
    EXPECT_EQ(b->keys_[1].time_, 200000);
}

TEST(SequenceBuilding, SoundsStartAtTheirKeysNewestFirstAmongEqualTimes)
{
    auto file = ChunkFile::CreateEmpty();
    auto* clank = new IndexedSoundChunk(file.get(), 2, "clank");
    const int32_t values[5] = {500, 9000, 64, 256, 0};
    std::copy(values, values + 5, clank->values_);
    auto* missing = new IndexedSoundChunk(file.get(), 3, "missing");
    auto* list = new SequenceListChunk(file.get());
    auto* seq = MakeSequence(list, {0,
                                    {{0, 0x8000, {0, 0, 0}, 2u << kFrameSoundShift},
                                     {1, 0x8000, {0, 0, 0}, 3u << kFrameSoundShift},
                                     {2, 0, {0, 0, 0}, 9u << kFrameSoundShift},
                                     {3, 0, {0, 0, 0}}},
                                    1000});
    SequenceTables tables;
    RecordingSounds sounds;
    SequenceBuildContext context;
    context.ticksPerSecond_ = kTicksPerSecond;
    context.tables_ = &tables;
    context.soundSystem_ = &sounds;
    context.sounds_[2] = clank;
    context.sounds_[3] = missing;
    auto built = BuildSequence(*seq, context);
    ASSERT_NE(built, nullptr);
    // Index 9 names no sound of the file and starts nothing; a sound that fails to load keeps its id.
    EXPECT_EQ(built->sounds_, (std::vector<SequenceSound>{{500000, 0}, {500000, 101}}));
    ASSERT_EQ(sounds.variants_.size(), 1u);
    EXPECT_EQ(sounds.variants_[0], (std::array<float, 5>{7, 50, 2, 0.5f, 9}));
}

// Frame times and sound values come from the file: extreme ones saturate instead of
// overflowing.
TEST(SequenceBuilding, ExtremeFrameTimesAndSoundValuesDoNotOverflow)
{
    auto file = ChunkFile::CreateEmpty();
    auto* loud = new IndexedSoundChunk(file.get(), 1, "loud");
    loud->values_[2] = INT32_MAX;
    auto* list = new SequenceListChunk(file.get());
    auto* seq = MakeSequence(
        list, {0, {{0, INT32_MIN, {0, 0, 0}, 1u << kFrameSoundShift}, {1, INT32_MAX, {0, 0, 0}}}, 1000});
    SequenceTables tables;
    RecordingSounds sounds;
    SequenceBuildContext context;
    context.ticksPerSecond_ = kTicksPerSecond;
    context.tables_ = &tables;
    context.soundSystem_ = &sounds;
    context.sounds_[1] = loud;
    auto built = BuildSequence(*seq, context);
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(built->keys_[0].time_, INT32_MIN);
    EXPECT_EQ(built->keys_[1].time_, INT32_MAX);
    EXPECT_EQ(built->keys_[0].span_, INT32_MAX);
    EXPECT_EQ(built->keys_[1].span_, 1000000 - INT32_MAX);
    ASSERT_EQ(sounds.variants_.size(), 1u);
    EXPECT_EQ(sounds.variants_[0][1], static_cast<float>(int64_t{INT32_MAX} * 100 / 128));
}

TEST(SequenceBuilding, SetIsIndexedBySequenceIndex)
{
    struct Case {
        const char* what;
        std::vector<int32_t> indexes; // one sequence per entry; -2 means one without frames
        std::vector<int32_t> table;   // index held by each entry, -1 for none
    };
    const Case cases[] = {
        {"indexes 0 and 3", {3, 0}, {0, -1, -1, 3}},
        {"one sequence at 2", {2}, {-1, -1, 2}},
        {"index outside the 128 slots is skipped", {200, 1, -5}, {-1, 1}},
        {"the first of two with one index plays", {1, 1}, {-1, 1}},
        {"a sequence without frames is skipped", {-2, 0}, {0}},
        {"no sequence builds", {-2}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto file = ChunkFile::CreateEmpty();
        auto* list = new SequenceListChunk(file.get());
        std::vector<SequenceChunk*> made;
        for (int32_t i : c.indexes)
            made.push_back(i == -2 ? MakeSequence(list, {0, {}}) : MakeSequence(list, {i, {{0, 0, {i, 0, 0}}}}));
        SequenceTables tables;
        SequenceBuildContext context;
        context.ticksPerSecond_ = kTicksPerSecond;
        context.tables_ = &tables;
        auto set = BuildSequenceSet(*list, context);
        if (c.table.empty()) {
            EXPECT_EQ(set, nullptr);
            continue;
        }
        ASSERT_NE(set, nullptr);
        ASSERT_EQ(set->entries_.size(), c.table.size());
        for (size_t i = 0; i < c.table.size(); ++i) {
            if (c.table[i] < 0) {
                EXPECT_EQ(set->entries_[i], nullptr) << i;
            } else {
                ASSERT_NE(set->entries_[i], nullptr) << i;
                EXPECT_EQ(set->entries_[i]->index_, c.table[i]);
            }
        }
    }
}

TEST(SequenceChunks, HandBuiltFileReadsEveryFieldAndWritesBackUnchanged)
{
    ByteVector image = ReadFixture("sequence_model.rif");
    auto file = LoadImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();

    auto* model = file->FindChildAs<HierarchyChunk>("OBJCHIER");
    ASSERT_NE(model, nullptr);
    std::vector<HierarchyChunk*> parts;
    model->GetSubHierarchies(parts);
    ASSERT_EQ(parts.size(), 1u);
    SequenceListChunk* list = parts[0]->GetSequenceList();
    ASSERT_NE(list, nullptr);
    std::vector<SequenceChunk*> seqs;
    list->GetSequences(seqs);
    ASSERT_EQ(seqs.size(), 2u);

    SequenceChunk* walk = list->FindSequence(12, 0);
    ASSERT_EQ(walk, seqs[0]);
    EXPECT_EQ(list->FindSequence(12, 3), nullptr);
    EXPECT_EQ(walk->GetHeader()->first_, kFixedOne);
    EXPECT_EQ(walk->GetHeader()->values_, std::vector<int32_t>{99});
    EXPECT_EQ(walk->GetHeader()->name_, "walk");
    EXPECT_EQ(walk->GetTime(), 1500);
    EXPECT_EQ(walk->GetSpeed(), 2000);
    EXPECT_EQ(walk->GetFlags(), kSequenceUpperBody);
    ASSERT_NE(walk->GetBounds(), nullptr);
    EXPECT_EQ(walk->GetBounds()->maximum_[1], 1800);
    std::vector<SequenceFrameChunk*> frames;
    walk->GetFrames(frames);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]->frameNumber_, 1);
    EXPECT_EQ(frames[0]->time_, 0x8000);
    EXPECT_EQ(frames[0]->position_[2], 30);
    EXPECT_EQ(frames[0]->flags_, 1u);
    EXPECT_EQ(frames[1]->values_, (std::vector<int32_t>{-5, 6}));

    SequenceChunk* wave = seqs[1];
    EXPECT_EQ(wave->GetHeader()->index_, 3);
    EXPECT_EQ(wave->GetTime(), 0);
    wave->GetFrames(frames);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0]->IsReference());
    EXPECT_EQ(frames[0]->Sound(), 2);
    EXPECT_EQ(frames[0]->flags_ & kFrameFreeFlagsMask, 0x8002u);

    auto* all = file->FindChildAs<AllSequencesChunk>("OBANALLS");
    ASSERT_NE(all, nullptr);
    ASSERT_EQ(all->records_.size(), 1u);
    EXPECT_EQ(all->records_[0].values_[2], 9);
    EXPECT_EQ(all->records_[0].entries_.at(0)[8], 9);

    // Built with the file's own sound table: the delta frame of "wave" starts "clank".
    auto* clank = file->FindChildAs<IndexedSoundChunk>("INDSOUND");
    ASSERT_NE(clank, nullptr);
    SequenceTables tables;
    RecordingSounds sounds;
    SequenceBuildContext context;
    context.ticksPerSecond_ = kTicksPerSecond;
    context.tables_ = &tables;
    context.soundSystem_ = &sounds;
    context.sounds_[static_cast<size_t>(clank->index_)] = clank;
    auto set = BuildSequenceSet(*list, context);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->entries_.size(), 4u);
    EXPECT_EQ(set->entries_[0]->length_, 1500000);
    EXPECT_EQ(set->entries_[0]->keys_[1].time_, 750000);
    EXPECT_EQ(set->entries_[3]->flags_, 7);
    EXPECT_EQ(set->entries_[3]->sounds_.size(), 1u);
    EXPECT_EQ(sounds.loads_, std::vector<std::string>{"clank"});

    EXPECT_EQ(file->PlainImage(), image);
}

TEST(SequenceChunks, NewChunksHaveTheStoredSizes)
{
    auto file = ChunkFile::CreateEmpty();
    const int32_t pos[3] = {1, 2, 3};
    auto* frame = new SequenceFrameChunk(file.get(), kIdentity, pos, 0, 0, 0);
    frame->values_ = {1, 2};
    auto* header = new SequenceHeaderChunk(file.get(), 1, 2, "abcde");
    header->values_ = {4};
    auto* all = new AllSequencesChunk(file.get());
    all->records_.resize(2);
    all->records_[1].entries_.resize(3);
    struct Case {
        Chunk* chunk;
        int32_t size;
    } cases[] = {
        {new SequenceHeaderChunk(file.get(), -1, -1, ""), 32},
        {header, 32 + 4 + 4},
        {new SequenceFrameChunk(file.get(), kIdentity, pos, 0, 0, 0), 56},
        {frame, 64},
        {new SequenceTimeChunk(file.get(), 1), 16},
        {new SequenceSpeedChunk(file.get(), 1, 2, 3), 24},
        {new SequenceFlagsChunk(file.get(), 1), 16},
        {new AllSequencesChunk(file.get()), 16},
        {all, 16 * 3 + 36 * 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.chunk->ComputeSize(), c.size) << c.chunk->Identifier();
        EXPECT_EQ(Written(*c.chunk).size(), static_cast<size_t>(c.size)) << c.chunk->Identifier();
    }
}

TEST(SequenceChunks, SetSoundKeepsTheOtherFlagBits)
{
    struct Case {
        int32_t n;
        uint32_t flags;
    };
    const Case cases[] = {{0, 0x80008001u}, {5, 0x85008001u}, {127, 0xFF008001u}, {-1, 0x83008001u}, {128, 0x83008001u}};
    const int32_t pos[3] = {};
    for (const auto& c : cases) {
        auto file = ChunkFile::CreateEmpty();
        auto* frame = new SequenceFrameChunk(file.get(), kIdentity, pos, 0, 0, 0x83008001u);
        frame->SetSound(c.n);
        EXPECT_EQ(frame->flags_, c.flags) << c.n;
    }
}

TEST(SequenceChunks, DirectionAndFlagsAccessors)
{
    auto file = ChunkFile::CreateEmpty();
    auto* seq = new SequenceChunk(file.get());
    Vec3 d;
    EXPECT_FALSE(seq->GetDirection(d));
    EXPECT_EQ(d, (Vec3{0, 0, 1}));
    EXPECT_EQ(seq->GetFlags(), 0);
    seq->SetFlags(kSequenceLowerBody);
    seq->SetFlags(kSequenceUpperBody);
    EXPECT_EQ(seq->CountChildren("OBASEQFL"), 1);
    EXPECT_EQ(seq->GetFlags(), kSequenceUpperBody);
    new SequenceSpeedChunk(seq, 100, 180, 0);
    EXPECT_TRUE(seq->GetDirection(d));
    EXPECT_NEAR(d.z, -1, 1e-5);
}

TEST(SequenceChunks, OneFrameCopyKeepsNameNumbersAndTheReferenceMark)
{
    auto file = ChunkFile::CreateEmpty();
    auto* list = new SequenceListChunk(file.get());
    auto* source = MakeSequence(list, {7, {{0, 0, {0, 0, 0}}, {1, 10, {0, 0, 0}, kFrameReference}}});
    const float rotation[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    const int32_t position[3] = {4, 5, 6};
    auto* copy = new SequenceChunk(list, *source, rotation, position);
    ASSERT_NE(copy->GetHeader(), nullptr);
    EXPECT_EQ(copy->GetHeader()->first_, kFixedOne);
    EXPECT_EQ(copy->GetHeader()->number_, 1);
    EXPECT_EQ(copy->GetHeader()->index_, 7);
    EXPECT_EQ(copy->GetHeader()->name_, "seq");
    std::vector<SequenceFrameChunk*> frames;
    copy->GetFrames(frames);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->flags_, kFrameReference);
    EXPECT_EQ(frames[0]->position_[2], 6);
    EXPECT_EQ(frames[0]->rotation_[3], 0.5f);
}

TEST(SequenceChunks, DamagedPayloadsAreRefusedWithTheLoadError)
{
    const DamagedChunk cases[] = {
        {"header cut before its name", ChunkOf("OBASEQHD", Bytes().I32({0x10000, 1, 0, 0}).b)},
        {"header with more values than bytes", ChunkOf("OBASEQHD", Bytes().I32({0x10000, 1, 0, 50}).Padded("a").b)},
        {"header with a negative count", ChunkOf("OBASEQHD", Bytes().I32({0x10000, 1, 0, -3}).Padded("a").b)},
        {"frame of 40 bytes", ChunkOf("OBASEQFR", Bytes().Zeros(40).b)},
        {"frame with a huge count", ChunkOf("OBASEQFR", Bytes().Zeros(40).I32({0x40000000}).b)},
        {"empty time", ChunkOf("OBASEQTM", {})},
        {"speed of two values", ChunkOf("OBASEQSP", Bytes().I32({1, 2}).b)},
        {"flags of two bytes", ChunkOf("OBASEQFL", {1, 0})},
        {"all-sequences with a huge record count", ChunkOf("OBANALLS", Bytes().I32({0x10000000}).b)},
        {"all-sequences with a huge entry count", ChunkOf("OBANALLS", Bytes().I32({1, 0x1000000, 0, 0, 0}).b)},
        {"sequence list whose child runs past it", ChunkOf("OBANSEQS", Bytes().Raw("OBANSEQC").I32({13}).b)},
        {"sequence whose child header is cut", ChunkOf("OBANSEQC", Bytes().Raw("OBASEQTM").b)},
    };
    ExpectEachRefused(cases);
}

} // namespace
} // namespace trevok::test

// The generated robot model: it loads, writes back byte for byte, and holds what
// the generator put in (nodes, sequences with flags, delta frames and sounds, shape
// sets and a collection, the bitmap-name list, a placed sound, shape extras).
#include "hierarchy_test_util.h"

#include "chunk/bitmap_name_chunks.h"
#include "chunk/sequence_chunks.h"
#include "chunk/shape_extra_chunks.h"
#include "chunk/sound_chunks.h"

namespace trevok::test {
namespace {

std::filesystem::path SampleRifs()
{
    const char* dir = std::getenv("TREVOK_SAMPLE_DATA");
    return std::filesystem::path(dir ? dir : "sample-data") / "rifs";
}

TEST(HierarchySampleFile, PlainAndCompressedFilesWriteBackUnchanged)
{
    ByteVector plain, compressed;
    std::string error;
    if (ReadChunkFileImage(SampleRifs() / "robot_hierarchy_plain.rif", plain, error) != kChunkOk ||
        ReadChunkFileImage(SampleRifs() / "robot_hierarchy.rif", compressed, error) != kChunkOk)
        GTEST_SKIP() << "no sample data in " << SampleRifs();
    auto fromPlain = LoadImage(plain);
    ASSERT_EQ(fromPlain->ErrorCode(), kChunkOk) << fromPlain->ErrorMessage();
    EXPECT_EQ(fromPlain->PlainImage(), plain);

    auto fromCompressed = LoadImage(compressed);
    ASSERT_EQ(fromCompressed->ErrorCode(), kChunkOk) << fromCompressed->ErrorMessage();
    EXPECT_TRUE(fromCompressed->WasCompressed());
    ByteVector expanded = fromCompressed->PlainImage();
    auto again = LoadImage(expanded);
    ASSERT_EQ(again->ErrorCode(), kChunkOk) << again->ErrorMessage();
    EXPECT_EQ(again->PlainImage(), expanded);
}

TEST(HierarchySampleFile, HoldsTheRobotWithItsSequencesShapeSetsAndBitmaps)
{
    ByteVector plain;
    std::string error;
    if (ReadChunkFileImage(SampleRifs() / "robot_hierarchy_plain.rif", plain, error) != kChunkOk)
        GTEST_SKIP() << "no sample data in " << SampleRifs();
    auto file = LoadImage(plain);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();

    auto& model = Must(file->FindChildAs<HierarchyChunk>("OBJCHIER"));
    EXPECT_EQ(Must(model.GetName()).name_, "Robot");
    EXPECT_NE(model.GetSequenceList(), nullptr); // the copy the dump tool lists
    std::vector<HierarchyChunk*> root, legsParts, torsoParts;
    model.GetSubHierarchies(root);
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(Must(root[0]->GetData()).objectName_, "robot_legs");
    root[0]->GetSubHierarchies(legsParts);
    ASSERT_EQ(legsParts.size(), 1u);
    HierarchyChunk* torso = legsParts[0];
    EXPECT_EQ(Must(torso->GetData()).objectName_, "robot_torso");
    EXPECT_NE(Must(torso->GetData()).GetObject(), nullptr);
    torso->GetSubHierarchies(torsoParts);
    ASSERT_EQ(torsoParts.size(), 3u);
    EXPECT_EQ(Must(torsoParts[2]->GetData()).objectName_, "robot_arm_r");

    SequenceTables tables;
    SequenceBuildContext context;
    context.ticksPerSecond_ = 1000;
    context.tables_ = &tables;
    for (Chunk* c = file->FirstChild(); c; c = c->Next())
        if (auto* s = dynamic_cast<IndexedSoundChunk*>(c))
            context.sounds_.at(static_cast<size_t>(s->index_)) = s;
    auto set = BuildSequenceSet(Must(torso->GetSequenceList()), context);
    ASSERT_NE(set, nullptr);
    // Through 96, placing an item; firing (2), aiming (12, 13) and crouching
    // (19, 20) between. The gun's pitch (5) is the arms'.
    ASSERT_EQ(set->entries_.size(), 97u);
    EXPECT_EQ(set->entries_[4], nullptr);
    EXPECT_EQ(set->entries_[5], nullptr);
    for (size_t index : {2u, 12u, 13u, 19u, 20u, 96u})
        EXPECT_NE(set->entries_[index], nullptr) << index;
    EXPECT_EQ(set->entries_[0]->length_, 1000);
    EXPECT_EQ(set->entries_[1]->sounds_.size(), 2u);
    EXPECT_EQ(set->entries_[2]->flags_, 7); // delta first
    EXPECT_EQ(set->entries_[3]->flags_, 7); // delta in the middle
    EXPECT_EQ(set->entries_[3]->length_, 1000); // no time chunk: one second
    EXPECT_TRUE(set->entries_[2]->hasBounds_);
    EXPECT_EQ(set->entries_[2]->sounds_.size(), 1u) << "the shot";
    auto arm = BuildSequenceSet(Must(torsoParts[2]->GetSequenceList()), context);
    ASSERT_NE(arm, nullptr);
    ASSERT_EQ(arm->entries_.size(), 6u);
    ASSERT_NE(arm->entries_[5], nullptr);
    EXPECT_EQ(arm->entries_[5]->keys_.size(), 3u) << "down, level, up";
    EXPECT_FLOAT_EQ(tables.speed_[1], 1.5f);

    auto& heavy = Must(file->FindChildAs<ShapeSetChunk>("OBHALTSH"));
    EXPECT_EQ(heavy.name_, "Heavy");
    auto& scout = Must(file->FindChildAs<ShapeSetCollectionChunk>("HSETCOLL"));
    EXPECT_EQ(scout.name_, "Scout");
    EXPECT_EQ(Must(scout.FindShapeSet(1)).properties_, kShapeSetFemale);

    auto& hum = Must(file->FindChildAs<SoundObjectChunk>("SOUNDOB2"));
    EXPECT_NE(hum.FindAlternativeLocations(), nullptr);
    bool blinks = false;
    for (Chunk* c = file->FirstChild(); c; c = c->Next())
        if (auto* shape = dynamic_cast<ShapeChunk*>(c))
            if (auto* anim = shape->FindChildAs<ShapeAnimSequenceChunk>("ANIMSEQU")) {
                blinks = anim->Record().frames_.size() == 3;
                auto& morph = Must(shape->FindChildAs<ShapeMorphChunk>("SHPMORPH"));
                auto& frames = Must(morph.FindChildAs<ShapeMorphFramesChunk>("FRMMORPH"));
                ASSERT_EQ(frames.Frames().size(), 1u);
                EXPECT_EQ(frames.Frames()[0].endSub_, morph.FindSubShape(1));
            }
    EXPECT_TRUE(blinks);

    auto& env = Must(file->FindChildAs<ParentChunk>("VQNENVDT"));
    auto& names = Must(env.FindChildAs<BitmapNamesChunk>("BMPNAMES"));
    ASSERT_EQ(names.Entries().size(), 2u);
    EXPECT_EQ(names.GetVersion(), 1);
    EXPECT_TRUE(names.GetDigest(names.Entries()[0]).has_value());
    EXPECT_EQ(names.HighestBitmapNumber(), 1);
}

} // namespace
} // namespace trevok::test

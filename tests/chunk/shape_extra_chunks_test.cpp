#include "hierarchy_test_util.h"

#include "chunk/shape_extra_chunks.h"

#include <cmath>

namespace trevok::test {
namespace {

ShapeData Triangle()
{
    ShapeData d;
    d.points_ = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
    d.pointCount_ = 3;
    ShapePolygon p;
    p.type_ = 1;
    p.vertexCount_ = 3;
    p.vertices_[0] = 0;
    p.vertices_[1] = 1;
    p.vertices_[2] = 2;
    d.polygons_ = {p};
    d.polygonCount_ = 1;
    d.polygonNormals_ = {{0, 0, 1}};
    d.maxCorner_ = {100, 100, 0};
    return d;
}

ShapeAnimFrame Frame(std::string name, int32_t firstWord, int32_t z)
{
    ShapeAnimFrame f;
    f.name_ = std::move(name);
    f.words_[0] = firstWord;
    f.points_ = {{0, 0, z}, {100, 0, z}, {0, 100, z}};
    f.polygonNormals_ = {{0, 0, 1}};
    return f;
}

TEST(ShapeExtraChunks, HandBuiltFileReadsEveryFieldAndWritesBackUnchanged)
{
    ByteVector image = ReadFixture("shape_extra_morph_anim.rif");
    auto file = LoadImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    auto* shape = file->FindChildAs<ShapeChunk>("VQNSHAPE");
    ASSERT_NE(shape, nullptr);

    auto* morph = shape->FindChildAs<ShapeMorphChunk>("SHPMORPH");
    ASSERT_NE(morph, nullptr);
    EXPECT_EQ(morph->BaseShape(), shape);
    SubShapeChunk* sub = morph->FindSubShape(1);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->GetFileName(), "morph1.rif");
    EXPECT_EQ(sub->Data().pointCount_, 3);
    EXPECT_EQ(sub->Data().polygonCount_, 1);
    EXPECT_EQ(sub->Data().minCorner_.z, 10);
    EXPECT_EQ(sub->Data().points_.at(2).z, 10);
    auto* frames = morph->FindChildAs<ShapeMorphFramesChunk>("FRMMORPH");
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(frames->words_[1], 6);
    auto list = frames->Frames();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].startBase_, shape);
    EXPECT_EQ(list[0].endSub_, sub);
    EXPECT_EQ(list[0].value_, 100);
    EXPECT_EQ(list[1].startSub_, sub);
    EXPECT_EQ(list[1].endBase_, shape);
    EXPECT_EQ(list[1].value_, 200);

    auto* anim = shape->FindChildAs<ShapeAnimSequenceChunk>("ANIMSEQU");
    ASSERT_NE(anim, nullptr);
    const ShapeAnimSequence& rec = anim->Record();
    EXPECT_EQ(rec.number_, 0);
    EXPECT_EQ(rec.params_[2], 3);
    EXPECT_EQ(rec.word_, 4);
    EXPECT_EQ(rec.name_, "wave");
    ASSERT_EQ(rec.frames_.size(), 2u);
    ASSERT_TRUE(rec.frames_[0] && rec.frames_[1]);
    EXPECT_EQ(rec.frames_[0]->name_, "f0");
    EXPECT_EQ(rec.frames_[0]->words_[3], 3);
    EXPECT_EQ(rec.frames_[1]->points_.at(1), (ShapePoint{100, 0, 10}));
    // Normals and bounds over both frames, computed after loading.
    ASSERT_EQ(rec.vertexNormals_.size(), 3u);
    EXPECT_EQ(rec.vertexNormals_[0], (ShapeNormal{0, 0, 1}));
    EXPECT_EQ(rec.maxCorner_, (ShapePoint{100, 100, 10}));
    EXPECT_EQ(rec.minCorner_, (ShapePoint{0, 0, 0}));
    EXPECT_FLOAT_EQ(rec.radius_, static_cast<float>(std::sqrt(10100.0)));

    auto* frags = shape->FindChildAs<ShapeFragmentsChunk>("SHPFRAGS");
    ASSERT_NE(frags, nullptr);
    EXPECT_EQ(Must(frags->FindChildAs<ShapeFragmentDataChunk>("FRAGDATA")).words_, (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(Must(frags->FindChildAs<ShapeFragmentLocationChunk>("FRAGLOCN")).words_.at(6), 7);
    auto& type = Must(frags->FindChildAs<ShapeFragmentTypeChunk>("SHPFRGTP"));
    EXPECT_EQ(type.name_, "shard");
    EXPECT_EQ(type.words_[1], 9);
    EXPECT_NE(shape->FindChildAs<ShapeAltTexturesChunk>("ASALTTEX"), nullptr);
    EXPECT_EQ(Must(shape->FindChildAs<AnimShapeCentreChunk>("ANSHCEN2")).words_.at(4), 5);
    auto* pc = shape->FindChildAs<ShapePcInfoChunk>("SHPPCINF");
    EXPECT_EQ(pc->word_, 7);
    EXPECT_EQ(pc->triples_.at(0), (std::array<int32_t, 3>{1, 2, 3}));
    auto* props = shape->FindChildAs<ShapePropertiesChunk>("SHPPRPRO");
    EXPECT_EQ(props->ResolveLinks(), (std::vector<int32_t>{2, 1}));
    EXPECT_EQ(props->second_, std::vector<int32_t>{9});
    EXPECT_EQ(Must(shape->FindChildAs<ConnectedShapeTypeChunk>("CONSTYPE")).Type(), 3);

    EXPECT_EQ(file->PlainImage(), image);
}

TEST(ShapeExtraChunks, NewChunksHaveTheStoredSizes)
{
    auto file = ChunkFile::CreateEmpty();
    ShapeAnimSequence named;
    named.name_ = "ab";
    ShapeAnimSequence longer;
    longer.name_ = "abcde";
    const int32_t words[4] = {};
    auto* pc = new ShapePcInfoChunk(file.get());
    pc->triples_.resize(2);
    auto* props = new ShapePropertiesChunk(file.get(), 0, {1, 2, 3});
    props->second_ = {4};
    auto* morph = new ShapeMorphFramesChunk(file.get());
    morph->triples_.resize(2);
    struct Case {
        Chunk* chunk;
        int32_t size;
    } cases[] = {
        {new ShapeAnimSequenceDataChunk(file.get(), ShapeAnimSequence{}), 36},
        {new ShapeAnimSequenceDataChunk(file.get(), named), 40},
        {new ShapeAnimSequenceDataChunk(file.get(), longer), 40},
        {new ShapeAnimFrameDataChunk(file.get(), 0, words, ""), 36},
        {new ShapeAnimFrameDataChunk(file.get(), 0, words, "abc"), 40},
        {new SubShapeHeaderChunk(file.get()), 56},
        {new ShapeFileNameChunk(file.get(), "abcd"), 20},
        {new ShapePcInfoChunk(file.get()), 20},
        {pc, 44},
        {new ShapeFragmentDataChunk(file.get()), 28},
        {new ShapeFragmentLocationChunk(file.get()), 40},
        {new ShapeFragmentTypeChunk(file.get(), "abc"), 24},
        {new AnimShapeCentreChunk(file.get()), 32},
        {new ConnectedShapeTypeChunk(file.get(), 3), 16},
        {new ShapePropertiesChunk(file.get(), 0, {}), 24},
        {props, 24 + 16},
        {new ShapeMorphFramesChunk(file.get()), 24},
        {morph, 48},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.chunk->ComputeSize(), c.size) << c.chunk->Identifier();
        EXPECT_EQ(Written(*c.chunk).size(), static_cast<size_t>(c.size)) << c.chunk->Identifier();
    }
}

ByteVector AnimFrame(int32_t index)
{
    return ChunkOf("ANIMFRAM", Bytes()
                                   .Append(ChunkOf("ANIFRADT", Bytes().I32({index, 0, 0, 0, 0}).Zeros(4).b))
                                   .Append(ChunkOf("SHPRAWVT", Bytes().I32({1, 2, 3}).b))
                                   .Append(ChunkOf("SHPPNORM", Bytes().F32({0, 0, 1}).b))
                                   .b);
}

// A sequence that cannot be assembled is of no use to the game and is not offered
// as one, but its bytes are kept and written back, so a save loses nothing.
TEST(ShapeExtraChunks, SequenceThatFailsToAssembleIsKeptAsBytes)
{
    const ByteVector data = ChunkOf("ANISEQDT", Bytes().I32({0, 0, 0, 0, 0}).Zeros(4).b);
    const ByteVector noNormals =
        ChunkOf("ANIMFRAM", Bytes().Append(ChunkOf("ANIFRADT", Bytes().I32({0, 0, 0, 0, 0}).Zeros(4).b)).b);
    struct Case {
        const char* what;
        ByteVector payload;
        bool assembles;
    };
    const Case cases[] = {
        {"frames 0 and 1", Bytes().Append(data).Append(AnimFrame(0)).Append(AnimFrame(1)).b, true},
        {"frames stored 1 then 0", Bytes().Append(data).Append(AnimFrame(1)).Append(AnimFrame(0)).b, true},
        {"no frames", data, true},
        {"two frames with index 0", Bytes().Append(data).Append(AnimFrame(0)).Append(AnimFrame(0)).b, false},
        {"frames 0 and 2", Bytes().Append(data).Append(AnimFrame(0)).Append(AnimFrame(2)).b, false},
        {"a negative frame index", Bytes().Append(data).Append(AnimFrame(-1)).b, false},
        {"no sequence data", AnimFrame(0), false},
        {"a frame without polygon normals", Bytes().Append(data).Append(noNormals).b, false},
    };
    for (const auto& c : cases) {
        ByteVector image = PlainFile({ChunkOf("ANIMSEQU", c.payload)});
        auto file = LoadImage(image);
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << c.what << ": " << file->ErrorMessage();
        Chunk* chunk = file->FindChild("ANIMSEQU");
        ASSERT_NE(chunk, nullptr) << c.what;
        EXPECT_EQ(dynamic_cast<ShapeAnimSequenceChunk*>(chunk) != nullptr, c.assembles) << c.what;
        EXPECT_EQ(file->PlainImage(), image) << c.what;
    }
}

// Frames marked removed are left out and the others are numbered without gaps, so
// the written sequence assembles again.
TEST(ShapeExtraChunks, SequenceWithMarkedFramesWritesBackWithoutIndexGaps)
{
    RegisterFamilies();
    auto file = ChunkFile::CreateEmpty();
    auto* shape = new ShapeChunk(file.get(), Triangle());
    ShapeAnimSequence rec;
    rec.number_ = 4;
    rec.name_ = "bend";
    rec.frames_ = {Frame("a", 0, 1), Frame("b", kAnimFrameRemoved, 2), std::nullopt, Frame("c", 1, 3)};
    new ShapeAnimSequenceChunk(shape, rec);

    auto reread = LoadImage(PlainFile({Written(*shape)}));
    ASSERT_EQ(reread->ErrorCode(), kChunkOk) << reread->ErrorMessage();
    auto* anim = Must(reread->FindChildAs<ShapeChunk>("VQNSHAPE")).FindChildAs<ShapeAnimSequenceChunk>("ANIMSEQU");
    ASSERT_NE(anim, nullptr);
    const auto& frames = anim->Record().frames_;
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]->name_, "a");
    EXPECT_EQ(frames[1]->name_, "c");
    EXPECT_EQ(frames[1]->words_[0], 1);
    EXPECT_EQ(anim->Record().name_, "bend");
    EXPECT_EQ(anim->Record().number_, 4);
}

TEST(ShapeExtraChunks, RemovingMarkedFramesKeepsTheOrder)
{
    auto file = ChunkFile::CreateEmpty();
    auto* shape = new ShapeChunk(file.get(), Triangle());
    ShapeAnimSequence rec;
    rec.frames_ = {Frame("a", kAnimFrameRemoved, 0), Frame("b", 0, 0), Frame("c", kAnimFrameRemoved | 1, 0),
                   Frame("d", 2, 0)};
    auto* anim = new ShapeAnimSequenceChunk(shape, rec);
    anim->SetFrameWord(1, kAnimFrameRemoved);
    anim->SetFrameWord(9, kAnimFrameRemoved); // out of range: ignored
    anim->RemoveMarkedFrames();
    ASSERT_EQ(anim->Record().frames_.size(), 1u);
    EXPECT_EQ(anim->Record().frames_[0]->name_, "d");

    // Away from a shape nothing is removed.
    auto* loose = new ShapeAnimSequenceChunk(file.get(), rec);
    loose->RemoveMarkedFrames();
    EXPECT_EQ(loose->Record().frames_.size(), 4u);
}

TEST(ShapeExtraChunks, EditsOfALoadedSequenceAreSaved)
{
    auto file = LoadImage(ReadFixture("shape_extra_morph_anim.rif"));
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    auto& anim = Must(Must(file->FindChildAs<ShapeChunk>("VQNSHAPE")).FindChildAs<ShapeAnimSequenceChunk>("ANIMSEQU"));
    anim.SetFirstParameter(77);
    anim.SetFrameWord(0, kAnimFrameRemoved);
    anim.RemoveMarkedFrames();
    file->BeforeSave();

    auto reread = LoadImage(file->PlainImage());
    ASSERT_EQ(reread->ErrorCode(), kChunkOk) << reread->ErrorMessage();
    auto& again =
        Must(Must(reread->FindChildAs<ShapeChunk>("VQNSHAPE")).FindChildAs<ShapeAnimSequenceChunk>("ANIMSEQU"));
    EXPECT_EQ(again.Record().params_[0], 77);
    ASSERT_EQ(again.Record().frames_.size(), 1u);
    EXPECT_EQ(again.Record().frames_[0]->name_, "");
}

TEST(ShapeExtraChunks, NormalsAndBoundsCountOnlyVerticesOfKeptPolygons)
{
    ShapeData shape = Triangle();
    shape.points_.push_back({0, 0, 0});
    shape.pointCount_ = 4;
    ShapePolygon lone = shape.polygons_[0];
    lone.vertices_[0] = 3;
    lone.vertices_[1] = 3;
    lone.vertices_[2] = 9; // names no point: skipped, never read
    shape.polygons_.push_back(lone);
    shape.polygonCount_ = 2;
    ShapeAnimSequence rec;
    ShapeAnimFrame f = Frame("", 0, 5);
    f.points_.push_back({-500, 0, 0});
    rec.frames_ = {f};

    rec.ComputeNormalsAndBounds(shape);
    EXPECT_EQ(rec.minCorner_.x, -500);
    EXPECT_EQ(rec.vertexNormals_.at(3), (ShapeNormal{1, 0, 0})); // only polygon 0 has a normal in the frame
    const std::vector<int32_t> leaveOut = {1};
    rec.ComputeNormalsAndBounds(shape, &leaveOut);
    EXPECT_EQ(rec.minCorner_, (ShapePoint{0, 0, 5}));
    EXPECT_EQ(rec.maxCorner_, (ShapePoint{100, 100, 5}));
}

// A header's point count is a number read from the file: the normals of a sequence
// never reach past the points the shape and its frames hold.
TEST(ShapeExtraChunks, HeaderPointCountIsNotTrustedBeyondThePointsHeld)
{
    ByteVector header = ChunkOf("SHPHEAD1", Bytes().I32({0}).Zeros(16).I32({-1, 0x7FFFFFFF, 1}).Zeros(28).I32({0, 0}).b);
    ByteVector data = ChunkOf("ANISEQDT", Bytes().I32({0, 0, 0, 0, 0}).Zeros(4).b);
    ByteVector image = PlainFile({ChunkOf(
        "VQNSHAPE", Bytes().Append(header).Append(ChunkOf("ANIMSEQU", Bytes().Append(data).Append(AnimFrame(0)).b)).b)});
    auto file = LoadImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    auto& anim = Must(Must(file->FindChildAs<ShapeChunk>("VQNSHAPE")).FindChildAs<ShapeAnimSequenceChunk>("ANIMSEQU"));
    EXPECT_EQ(anim.Record().vertexNormals_.size(), 1u);
    EXPECT_EQ(anim.Record().maxCorner_, (ShapePoint{1, 2, 3}));
    EXPECT_EQ(file->PlainImage(), image);
}

TEST(ShapeExtraChunks, NewSubShapesAreNumberedAboveTheHighest)
{
    RegisterFamilies();
    auto file = ChunkFile::CreateEmpty();
    auto* shape = new ShapeChunk(file.get(), Triangle());
    new MergeDataChunk(shape, std::vector<int32_t>{-1});
    auto* morph = new ShapeMorphChunk(shape);
    auto* three = new SubShapeChunk(morph, Triangle());
    three->GetHeader()->number_ = 3;
    auto* a = morph->AddSubShape("a.rif");
    auto* seven = new SubShapeChunk(morph, Triangle());
    seven->GetHeader()->number_ = 7;
    auto* b = morph->AddSubShape("b.rif");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(morph->AddSubShape("A.RIF"), nullptr);
    EXPECT_NE(a->FindChild("SHPMRGDT"), nullptr);
    EXPECT_EQ(a->GetHeader()->number_, -1);

    file->BeforeSave();
    EXPECT_EQ(a->GetHeader()->number_, 8);
    EXPECT_EQ(b->GetHeader()->number_, 9);
    EXPECT_EQ(three->GetHeader()->number_, 3);

    auto* loose = new ShapeMorphChunk(file.get());
    EXPECT_EQ(loose->AddSubShape("c.rif"), nullptr);
}

TEST(ShapeExtraChunks, MorphFramesWriteSixNumbersAndReadBack)
{
    RegisterFamilies();
    auto file = ChunkFile::CreateEmpty();
    auto* shape = new ShapeChunk(file.get(), Triangle());
    auto* morph = new ShapeMorphChunk(shape);
    auto* a = morph->AddSubShape("a.rif");
    auto* b = morph->AddSubShape("b.rif");
    auto* frames = new ShapeMorphFramesChunk(morph);
    frames->AddFrame({nullptr, shape, a, nullptr, 11});
    frames->AddFrame({a, nullptr, b, nullptr, 22});
    file->BeforeSave();
    EXPECT_EQ(frames->triples_, (std::vector<std::array<int32_t, 3>>{{-1, 1, 11}, {1, 2, 22}}));

    auto reread = LoadImage(file->PlainImage());
    ASSERT_EQ(reread->ErrorCode(), kChunkOk) << reread->ErrorMessage();
    auto* shape2 = &Must(reread->FindChildAs<ShapeChunk>("VQNSHAPE"));
    auto* morph2 = &Must(shape2->FindChildAs<ShapeMorphChunk>("SHPMORPH"));
    auto list = Must(morph2->FindChildAs<ShapeMorphFramesChunk>("FRMMORPH")).Frames();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].startBase_, shape2);
    EXPECT_EQ(list[0].endSub_, morph2->FindSubShape(1));
    EXPECT_EQ(list[1].value_, 22);
    EXPECT_EQ(list[1].endSub_, morph2->FindSubShape(2));
}

// A frame naming a sub-shape that is not there is not offered, but its numbers are
// written back in their place.
TEST(ShapeExtraChunks, UnmatchedMorphFrameKeepsItsNumbers)
{
    ByteVector sub = ChunkOf("SUBSHAPE", ChunkOf("SUBSHPHD", Bytes().I32({0, 1}).Zeros(36).b));
    ByteVector frames = ChunkOf("FRMMORPH", Bytes().I32({0, 0, 3, 1, 5, 10, -1, 1, 20, 5, -1, 30}).b);
    ByteVector image = PlainFile({ChunkOf("VQNSHAPE", ChunkOf("SHPMORPH", Bytes().Append(sub).Append(frames).b))});
    auto file = LoadImage(image);
    ASSERT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    auto& morph = Must(Must(file->FindChildAs<ShapeChunk>("VQNSHAPE")).FindChildAs<ShapeMorphChunk>("SHPMORPH"));
    auto* chunk = &Must(morph.FindChildAs<ShapeMorphFramesChunk>("FRMMORPH"));
    ASSERT_EQ(chunk->Frames().size(), 1u);
    EXPECT_EQ(chunk->Frames()[0].value_, 20);
    file->BeforeSave();
    EXPECT_EQ(file->PlainImage(), image);
}

TEST(ShapeExtraChunks, PropertyLinksAreFollowedWithinTheEntries)
{
    struct Case {
        const char* what;
        uint32_t head;
        std::vector<int32_t> entries;
        std::optional<std::vector<int32_t>> offsets;
    };
    const Case cases[] = {
        {"head alone", 0xFFFF0001u, {0, 0}, std::vector<int32_t>{1}},
        {"chain of three", 0x00010000u, {0, 0x00020001, static_cast<int32_t>(0xFFFF0002u)},
         std::vector<int32_t>{0, 1, 2}},
        {"offset outside the entries", 0xFFFF0005u, {0, 0}, std::nullopt},
        {"next link outside the entries", 0x00070000u, {0, 0}, std::nullopt},
        {"chain that loops", 0x00000000u, {0x00000000}, std::nullopt},
        {"no entries", 0xFFFF0000u, {}, std::nullopt},
    };
    for (const auto& c : cases) {
        auto file = ChunkFile::CreateEmpty();
        auto* props = new ShapePropertiesChunk(file.get(), static_cast<int32_t>(c.head), c.entries);
        EXPECT_EQ(props->ResolveLinks(), c.offsets) << c.what;
        // The entries stay, so a save writes them back.
        EXPECT_EQ(props->entries_, c.entries) << c.what;
    }
}

TEST(ShapeExtraChunks, ConnectedShapeTakesAttributesButKeepsVertices)
{
    auto file = ChunkFile::CreateEmpty();
    auto* shape = new ShapeChunk(file.get(), Triangle());
    auto* con = new ConnectedShapeChunk(shape, 0x1205);
    ShapePolygon attr;
    attr.type_ = 5;
    attr.textureWord_ = 7;
    attr.vertexCount_ = 3;
    new PolygonsChunk(con, std::vector<ShapePolygon>{attr});
    ShapeUvSet set;
    set.count_ = 3;
    new UvCoordsChunk(con, std::vector<ShapeUvSet>{set});
    ASSERT_TRUE(con->Resolve());
    EXPECT_EQ(con->Data().polygons_.at(0).type_, 5);
    EXPECT_EQ(con->Data().polygons_.at(0).vertices_[2], 2);
    EXPECT_EQ(con->Data().uvSets_.size(), 1u);
    EXPECT_EQ(FindConnectedShape(*shape, 5), con);
    EXPECT_EQ(FindConnectedShape(*shape, 0x1205), nullptr);

    auto* wrongCount = new ConnectedShapeChunk(shape, 1);
    new PolygonsChunk(wrongCount, std::vector<ShapePolygon>{attr, attr});
    EXPECT_FALSE(wrongCount->Resolve());
    auto* orphan = new ConnectedShapeChunk(file.get(), 1);
    EXPECT_FALSE(orphan->Resolve());
}

TEST(ShapeExtraChunks, DamagedPayloadsAreRefusedWithTheLoadError)
{
    struct Case {
        const char* what;
        ByteVector chunk;
    };
    const Case cases[] = {
        {"morph frames claiming more triples than bytes",
         ChunkOf("SHPMORPH", ChunkOf("FRMMORPH", Bytes().I32({0, 0, 2, 1, 2, 3}).b))},
        {"morph frames with a negative count", ChunkOf("SHPMORPH", ChunkOf("FRMMORPH", Bytes().I32({0, 0, -1}).b))},
        {"sub-shape header cut short", ChunkOf("SUBSHAPE", ChunkOf("SUBSHPHD", Bytes().I32({0, 1, 2}).b))},
        {"file name without NUL", ChunkOf("SHPFNAME", Bytes().Raw("abcd").b)},
        {"pc info with a huge count", ChunkOf("SHPPCINF", Bytes().I32({0, 0x20000000}).b)},
        {"fragment data of three words", ChunkOf("FRAGDATA", Bytes().I32({1, 2, 3}).b)},
        {"fragment location of six words", ChunkOf("FRAGLOCN", Bytes().I32({1, 2, 3, 4, 5, 6}).b)},
        {"fragment type cut before its words", ChunkOf("SHPFRGTP", Bytes().Padded("abc").I32({1}).b)},
        {"sequence data without its name", ChunkOf("ANIMSEQU", ChunkOf("ANISEQDT", Bytes().I32({0, 0, 0, 0, 0}).b))},
        {"frame data cut short", ChunkOf("ANIMSEQU", ChunkOf("ANIMFRAM", ChunkOf("ANIFRADT", Bytes().I32({0}).b)))},
        {"centre of four words", ChunkOf("ANSHCEN2", Bytes().I32({1, 2, 3, 4}).b)},
        {"empty connected-shape type", ChunkOf("CONSTYPE", {})},
        {"properties with more entries than bytes", ChunkOf("SHPPRPRO", Bytes().I32({4, 0, 1, 2}).b)},
        {"properties with a huge second count", ChunkOf("SHPPRPRO", Bytes().I32({0, 0, 0x7FFFFFFF}).b)},
        {"fragments whose child runs past them", ChunkOf("SHPFRAGS", Bytes().Raw("FRAGDATA").I32({28}).b)},
    };
    for (const auto& c : cases) {
        auto file = LoadImage(PlainFile({ChunkOf("VQNSHAPE", c.chunk)}));
        EXPECT_EQ(file->ErrorCode(), kChunkBadData) << c.what;
        EXPECT_FALSE(file->ErrorMessage().empty()) << c.what;
    }
}

} // namespace
} // namespace trevok::test

// Hand-built fixtures (tests/fixtures/chunk/make_fixtures.py writes them from the
// layouts) read field by field, and written back byte-identical.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/huffman_coder.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <gtest/gtest.h>

#include <bit>

using namespace trevok;
using chunktest::FixturePath;
using chunktest::ReadBytes;

namespace {

std::unique_ptr<ChunkFile> OpenFixture(const std::string& name)
{
    auto file = ChunkFile::Open(FixturePath(name));
    EXPECT_EQ(file->ErrorCode(), kChunkOk) << file->ErrorMessage();
    return file;
}

template <class T>
T* Find(ParentChunk* parent, std::string_view id)
{
    auto* c = parent ? parent->FindChildAs<T>(id) : nullptr;
    EXPECT_NE(c, nullptr) << "no " << id;
    return c;
}

} // namespace

class FixtureRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureRoundTrip, PlainAndCompressedWriteBackTheSameBytes)
{
    auto bytes = ReadBytes(FixturePath(GetParam()));
    ASSERT_FALSE(bytes.empty());
    auto file = OpenFixture(GetParam());
    EXPECT_FALSE(file->WasCompressed());
    EXPECT_EQ(file->PlainImage(), bytes) << "plain write-back differs";

    auto dir = chunktest::TempDir("roundtrip");
    auto compressedPath = dir / "compressed.rif";
    auto compressed = HuffmanCoder::Compress(bytes);
    chunktest::WriteBytes(compressedPath, compressed);
    auto again = ChunkFile::Open(compressedPath);
    ASSERT_EQ(again->ErrorCode(), kChunkOk) << again->ErrorMessage();
    EXPECT_TRUE(again->WasCompressed());
    EXPECT_EQ(again->PlainImage(), bytes) << "compressed file expands to other bytes";
    EXPECT_EQ(HuffmanCoder::Compress(again->PlainImage()), compressed) << "compressed write-back differs";
    std::filesystem::remove_all(dir);
}

// Saving numbers shapes and raises their versions; a tree without shape headers
// saves to exactly the bytes it was read from.
TEST_P(FixtureRoundTrip, SaveWritesTheCompressedForm)
{
    auto bytes = ReadBytes(FixturePath(GetParam()));
    auto file = OpenFixture(GetParam());
    bool numbered = false;
    std::vector<ShapeChunk*> shapes;
    file->GetShapes(shapes);
    for (auto* s : shapes)
        numbered |= s->GetHeader() != nullptr;
    auto dir = chunktest::TempDir("save");
    ASSERT_TRUE(file->Save(dir / "saved.rif"));
    auto saved = ReadBytes(dir / "saved.rif");
    ASSERT_GE(saved.size(), kCompressedHeaderSize);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 8), "VQNCRIF1");
    auto again = ChunkFile::Open(dir / "saved.rif");
    ASSERT_EQ(again->ErrorCode(), kChunkOk) << again->ErrorMessage();
    if (!numbered) {
        EXPECT_EQ(again->PlainImage(), bytes);
    }
    EXPECT_EQ(HuffmanCoder::Compress(again->PlainImage()), saved);
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureRoundTrip,
                         ::testing::Values("objects.rif", "lights.rif", "environment.rif", "shape.rif",
                                           "unknown_depths.rif"));

TEST(ObjectFixture, FieldsAndShapeLink)
{
    ResetShapeNumbersForTesting();
    auto file = OpenFixture("objects.rif");
    auto* version = Find<VersionChunk>(file.get(), "RIFVERIN");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->version_, 3);

    std::vector<ObjectChunk*> objects;
    file->GetObjects(objects);
    ASSERT_EQ(objects.size(), 2u);
    ObjectChunk* crate = objects[0];
    const ObjectHeader& h = crate->Header();
    EXPECT_EQ(h.name_, "crate");
    EXPECT_EQ(h.position_[0], 100);
    EXPECT_EQ(h.position_[1], -200);
    EXPECT_EQ(h.position_[2], 300);
    EXPECT_EQ(h.orientation_[3], 1.0f);
    EXPECT_EQ(h.mirrored_, 1);
    EXPECT_EQ(h.tableIndex_, 0);
    auto* head = crate->GetHeaderChunk();
    ASSERT_TRUE(head);
    EXPECT_EQ(head->ComputeSize(), 80); // 72 + "crate" + NUL, rounded up
    EXPECT_EQ(head->flags_, 0x101);
    EXPECT_EQ(std::string(head->editor_.data()), "Ed");
    EXPECT_EQ(head->revision_, 4);
    EXPECT_EQ(head->shapeNumber_, 7);
    EXPECT_EQ(crate->locked_, 1);
    // Digest of the environment's file name followed by the object name.
    EXPECT_EQ(h.digest_, NameDigest::Of("level01.rifcrate"));

    // The shape numbered 7 is linked to the object that names it; "barrel" names 99 (no shape).
    std::vector<ShapeChunk*> shapes;
    file->GetShapes(shapes);
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(crate->GetShape(), shapes[0]);
    EXPECT_EQ(objects[1]->GetShape(), nullptr);
    ASSERT_EQ(shapes[0]->GetUsers().size(), 1u);
    EXPECT_EQ(HighestShapeNumber(), 7);

    EXPECT_EQ(file->GetObjectByIndex(1), objects[1]);
    EXPECT_EQ(file->GetObjectByIndex(-1), nullptr);
    EXPECT_EQ(file->GetObjectByIndex(2), nullptr);

    auto* notes = Find<ObjectNotesChunk>(Find<ParentChunk>(crate, "OBINTDT"), "OBJNOTES");
    ASSERT_TRUE(notes);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(notes->bytes_.data())), "Enter notes here");

    auto* array = crate->GetModuleArray();
    ASSERT_TRUE(array);
    ASSERT_EQ(array->entries_.size(), 2u);
    EXPECT_EQ(array->entries_[1].objectIndex_, 3);
    EXPECT_EQ(array->entries_[1].entryIndex_, 1);
    EXPECT_EQ(array->entries_[1].value1_, 21);
    EXPECT_EQ(array->entries_[1].value2_, 22);
    auto* modules = Find<ParentChunk>(crate, "MODULEDT");
    auto* adjacent = Find<AdjacentModulesChunk>(modules, "ADJMDLEP");
    ASSERT_TRUE(adjacent);
    ASSERT_EQ(adjacent->entries_.size(), 1u);
    EXPECT_EQ(adjacent->entries_[0].values_[3], 8);
    auto* zone = Find<WordsChunk>(modules, "MODZONE");
    ASSERT_TRUE(zone);
    EXPECT_EQ(zone->Int(0), -1);
    auto* acoustics = Find<WordsChunk>(modules, "MODACOUS");
    ASSERT_TRUE(acoustics);
    EXPECT_EQ(acoustics->Float(1), -1.0f);

    auto* track = Find<ObjectTrackChunk>(crate, "OBJTRAK2");
    ASSERT_TRUE(track);
    ASSERT_EQ(track->records_.size(), 1u);
    EXPECT_EQ(std::bit_cast<float>(track->records_[0].words_[2]), -0.75f); // already converted: untouched
    EXPECT_EQ(track->records_[0].words_[18], 110u);
    EXPECT_EQ(static_cast<uint32_t>(track->a_), 0x80000005u);
    EXPECT_EQ(track->b_, 9);
    auto* sound = Find<TrackSoundChunk>(crate, "TRAKSOUN");
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->soundName_, "hum");
    EXPECT_EQ(sound->values_[1], 40000);
    auto* category = Find<TrackSoundCategoryChunk>(crate, "TRSNDCAT");
    ASSERT_TRUE(category);
    EXPECT_EQ(category->ComputeSize(), 28); // four characters: NUL and three zero bytes
    EXPECT_EQ(category->text_, "door");
    EXPECT_EQ(category->values_[1], 2);
    auto* locations = Find<AlternativeLocationsChunk>(crate, "ALTLOCAT");
    ASSERT_TRUE(locations);
    ASSERT_EQ(locations->locations_.size(), 1u);
    EXPECT_EQ(locations->locations_[0].words_[8], 9u);
    EXPECT_EQ(locations->values_[0], 4);
}

TEST(LightFixture, Fields)
{
    auto file = OpenFixture("lights.rif");
    auto* set = Find<LightSetChunk>(file.get(), "LIGHTSET");
    ASSERT_TRUE(set);
    auto* header = Find<LightSetHeaderChunk>(set, "LTSETHDR");
    ASSERT_TRUE(header);
    EXPECT_EQ(ShortNameText(header->name_), "SUNLIGHT"); // all 8 used, no terminator
    EXPECT_EQ(header->value_, 3);
    auto* light = Find<WordsChunk>(set, "STDLIGHT");
    ASSERT_TRUE(light);
    ASSERT_EQ(light->words_.size(), 21u);
    EXPECT_EQ(light->words_[20], 0x1014u);
    auto* intensity = Find<VertexIntensityChunk>(file.get(), "SHPVTINT");
    ASSERT_TRUE(intensity);
    EXPECT_EQ(ShortNameText(intensity->name_), "lamp");
    EXPECT_EQ(intensity->intensities_, (std::vector<int32_t>{10, 20, 30}));
    auto* ambience = Find<WordsChunk>(file.get(), "AMBIENCE");
    ASSERT_TRUE(ambience);
    EXPECT_EQ(ambience->Int(0), 64);
    auto* scale = Find<LightScaleChunk>(file.get(), "LITSCALE");
    ASSERT_TRUE(scale);
    EXPECT_EQ(scale->scale_.mode_, 2);
    EXPECT_EQ(scale->scale_.scaleA_, 2.0f);
    EXPECT_EQ(scale->scale_.thresholdA_, 100);
    EXPECT_EQ(scale->scale_.offsetA_, 0);
    EXPECT_EQ(scale->scale_.thresholdB_, 50);
    EXPECT_EQ(scale->scale_.offsetB_, 10);
    EXPECT_EQ(scale->scale_.values_[2], 9);
    auto* objectLights = Find<ObjectLightsChunk>(file.get(), "PLOBJLIT");
    ASSERT_TRUE(objectLights);
    EXPECT_EQ(objectLights->words_[14], 15u);
    EXPECT_EQ(objectLights->lights_, (std::vector<int32_t>{40, 41}));
    std::vector<DummyObjectChunk*> dummies;
    file->GetDummyObjects(dummies);
    ASSERT_EQ(dummies.size(), 1u);
    auto* data = dummies[0]->GetData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->name_, "L3#crate");
    EXPECT_EQ(std::bit_cast<float>(data->position_.words_[2]), 3.0f);
    EXPECT_EQ(std::bit_cast<float>(data->first_.words_[1]), 1.0f);
    EXPECT_EQ(std::bit_cast<float>(data->orientation_[3]), 1.0f);
    ASSERT_TRUE(dummies[0]->GetText());
    EXPECT_EQ(*dummies[0]->GetText(), "spot");
    EXPECT_EQ(Find<DummyObjectTextChunk>(dummies[0], "DUMOBJTX")->ComputeSize(), 20);
}

TEST(LightScale, MapsLevelsThroughThresholdOffsetAndScale)
{
    LightScale s;
    s.thresholdA_ = 100;
    s.offsetA_ = 0;
    s.scaleA_ = 2.0f;
    const int cases[][2] = {{50, 50}, {100, 100}, {150, 200}, {200, 255}, {0, 0}, {255, 255}};
    for (auto [in, out] : cases)
        EXPECT_EQ(s.ScaleA(in), out) << in;
    s.scaleB_ = 0.1f;
    s.thresholdB_ = 100;
    s.offsetB_ = -50;
    EXPECT_EQ(s.ScaleB(120), 100); // below the threshold after scaling: the threshold
}

TEST(EnvironmentFixture, Fields)
{
    auto file = OpenFixture("environment.rif");
    EnvironmentChunk* env = file->GetEnvironmentData();
    ASSERT_TRUE(env);
    auto* head = env->GetHeaderChunk();
    ASSERT_TRUE(head);
    EXPECT_EQ(std::string(head->editor_.data(), 16), "SixteenCharsName");
    EXPECT_EQ(head->revision_, 12);
    EXPECT_EQ(env->locked_, 1);
    EXPECT_EQ(env->FileName(), "town.rif");
    auto* dir = Find<SoundDirectoryChunk>(env, "SOUNDDIR");
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->folder_, "sound\\town");
    auto* scale = Find<SoundScaleChunk>(env, "ENVSDSCL");
    ASSERT_TRUE(scale);
    EXPECT_EQ(scale->scale_, 1000.0);
    auto* acoustics = Find<WordsChunk>(env, "ENVACOUS");
    ASSERT_TRUE(acoustics);
    EXPECT_EQ(acoustics->Float(1), 2.0f);
    auto* ids = Find<TextureIdListChunk>(env, "RANTEXID");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->ComputeSize(), 36);
    EXPECT_EQ(ids->text_, "");
    EXPECT_EQ(ids->ids_, (std::vector<int32_t>{17, 23}));
    EXPECT_EQ(ids->values_[1], 6);
    auto* special = Find<ParentChunk>(env, "SPECLOBJ");
    ASSERT_TRUE(special);
    ASSERT_TRUE(special->FirstChild());
    EXPECT_TRUE(special->FirstChild()->IsUnregistered());
}

TEST(ShapeFixture, FieldsFillTheShapeData)
{
    auto file = OpenFixture("shape.rif");
    std::vector<ShapeChunk*> shapes;
    file->GetShapes(shapes);
    ASSERT_EQ(shapes.size(), 1u);
    const ShapeData& d = shapes[0]->Data();
    ASSERT_EQ(d.points_.size(), 4u);
    EXPECT_EQ(d.points_[2], (ShapePoint{100, 100, 0}));
    EXPECT_EQ(d.pointCount_, 4); // from the header, read last
    EXPECT_EQ(d.vertexFlags_, (std::vector<int32_t>{1, 2, 3, 4}));
    ASSERT_EQ(d.vertexNormals_.size(), 4u);
    EXPECT_EQ(d.vertexNormals_[3].z, 1.0f);
    ASSERT_EQ(d.polygonNormals_.size(), 2u);
    EXPECT_EQ(d.polygonNormals_[1].z, -1.0f);
    ASSERT_EQ(d.polygons_.size(), 2u);
    EXPECT_EQ(d.polygons_[0].type_, 5);
    EXPECT_EQ(d.polygons_[0].vertexCount_, 3);
    EXPECT_EQ(d.polygons_[0].GetTextureNumber(), 2);
    EXPECT_EQ(d.polygons_[0].GetUvIndex(), 1);
    EXPECT_EQ(d.polygons_[1].vertexCount_, 4);
    EXPECT_EQ(d.polygons_[1].vertices_[3], 1);
    EXPECT_EQ(d.polygons_[1].flags_, 1);
    ASSERT_EQ(d.uvSets_.size(), 2u);
    EXPECT_EQ(d.uvSets_[0].count_, 3);
    EXPECT_EQ(d.uvSets_[0].pairs_[2].v, 1.0f);
    EXPECT_EQ(d.uvSets_[1].count_, 0);
    EXPECT_EQ(d.textureNames_, (std::vector<std::string>{"a", "bc"}));
    EXPECT_EQ(Find<TextureNamesChunk>(shapes[0], "SHPTEXFN")->ComputeSize(), 24);
    EXPECT_EQ(d.centre_, (ShapePoint{50, 50, 0}));
    EXPECT_EQ(d.centreRadius_, 70.5f);
    EXPECT_EQ(d.shapeFlags_, 0x40);
    EXPECT_EQ(d.radius_, 141.5f);
    EXPECT_EQ(d.maxCorner_, (ShapePoint{100, 100, 0}));
    EXPECT_EQ(d.minCorner_, (ShapePoint{0, 0, 0}));
    auto* merge = Find<MergeDataChunk>(shapes[0], "SHPMRGDT");
    ASSERT_TRUE(merge);
    EXPECT_EQ(merge->Records(), (std::vector<int32_t>{-1, -1}));
    auto* header = shapes[0]->GetHeader();
    ASSERT_TRUE(header);
    EXPECT_EQ(header->headerWord_, 77);
    EXPECT_EQ(header->name_, "SixteenCharShape");
    EXPECT_EQ(header->shapeId_, 12);
    EXPECT_EQ(header->version_, 3);
    EXPECT_EQ(header->objectNames_, (std::vector<std::string>{"crate", "barrel"}));
    auto* external = Find<ExternalFileChunk>(shapes[0], "SHPEXTFL");
    ASSERT_TRUE(external);
    auto* extName = Find<ExternalFileNameChunk>(external, "SHPEXTFN");
    ASSERT_TRUE(extName);
    EXPECT_EQ(extName->name_, "ext.rif");
    EXPECT_EQ(extName->value_, 1.0);
    EXPECT_EQ(extName->word_, -1);
    EXPECT_EQ(external->GetDisplayName(), "door@ext.rif");
}

TEST(CompressedFixture, HandMadeCompressedFileExpandsToItsContent)
{
    auto plain = ReadBytes(FixturePath("lights.rif"));
    auto image = ReadBytes(FixturePath("lights_compressed.rif"));
    std::vector<uint8_t> expanded;
    std::string why;
    ASSERT_TRUE(HuffmanCoder::Decompress(image, expanded, &why)) << why;
    EXPECT_EQ(expanded, plain);
    auto file = OpenFixture("lights_compressed.rif");
    EXPECT_TRUE(file->WasCompressed());
    EXPECT_EQ(file->PlainImage(), plain);
}

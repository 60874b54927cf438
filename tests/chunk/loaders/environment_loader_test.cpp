// The game-side loaders over small files built here through the chunk library.
#include <gtest/gtest.h>

#include "Veapi/ve_shape.h"
#include "Veapi/texture_manager.h"
#include "app/ref_counted.h"
#include "chunk/bitmap_name_chunks.h"
#include "chunk/chunk_families.h"
#include "chunk/cutscene_chunks.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/light_chunks.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "chunk/sound_chunks.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using namespace trevok;

// One textured triangle of `size` file units.
ShapeData Triangle(int32_t size)
{
    ShapeData d;
    d.points_ = {{0, 0, 0}, {size, 0, 0}, {0, size, 0}};
    d.vertexNormals_.assign(3, {0, 0, 1});
    ShapePolygon p;
    p.type_ = 5;
    p.vertexCount_ = 3;
    p.vertices_[0] = 0, p.vertices_[1] = 1, p.vertices_[2] = 2;
    p.SetTextureNumber(2);
    p.SetUvIndex(0);
    d.polygons_ = {p};
    d.polygonNormals_ = {{0, 0, 1}};
    ShapeUvSet uv;
    uv.count_ = 3;
    uv.pairs_[1] = {16, 0};
    uv.pairs_[2] = {0, 16};
    d.uvSets_ = {uv};
    d.pointCount_ = 3, d.polygonCount_ = 1, d.uvSetCount_ = 1;
    d.maxCorner_ = {size, size, 0};
    return d;
}

ObjectChunk* AddObject(ChunkFile* root, const std::string& name, int32_t size, int32_t id, const int32_t at[3])
{
    auto* shape = new ShapeChunk(root, Triangle(size));
    shape->SetName(name);
    shape->GetHeader()->shapeId_ = id;
    ObjectHeader h;
    h.name_ = name;
    for (int i = 0; i < 3; ++i)
        h.position_[i] = at[i];
    h.orientation_[3] = 1;
    auto* object = new ObjectChunk(root, h);
    object->LinkShape(shape);
    return object;
}

BitmapNameEntry Bitmap(const char* name, int32_t number, int32_t width, int32_t height)
{
    BitmapNameEntry e(name);
    e.number_ = number;
    e.imageSize_ = width | (height << 16);
    return e;
}

// A level file: scale 2 thousandths, textures 0 and 2 (1 unnamed), sounds by
// index, two objects whose names differ only in case, a marker, and a model
// "Robot" whose root part shows "body" with a child part showing "arm".
std::vector<uint8_t> LevelImage(bool withEnvironment = true, int32_t distances = 0)
{
    EnsureChunkFamiliesRegistered();
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();
    if (withEnvironment) {
        auto* env = new EnvironmentChunk(root);
        new SoundScaleChunk(env, 2.0);
        auto* names = new BitmapNamesChunk(env);
        names->AddEntry(Bitmap("stone.bmp", 0, 64, 32));
        names->AddEntry(Bitmap("moss.bmp", 2, 16, 16));
        new IndexedSoundChunk(env, 5, "not-the-root.wav");
    }
    new IndexedSoundChunk(root, 3, "first.wav");
    new IndexedSoundChunk(root, 3, "second.wav");
    new IndexedSoundChunk(root, 200, "past-the-table.wav");
    const int32_t at[3] = {1000, 2000, 3000};
    AddObject(root, "Crate", 100, 1, at);
    AddObject(root, "CRATE", 200, 2, at);
    AddObject(root, "body", 300, 3, at);
    AddObject(root, "arm", 400, 4, at);
    new DummyObjectChunk(root, "marker", DummyVector{{1000, 2000, 3000}}, DummyVector{{1, 2, 3}},
                         DummyVector{{uint32_t(-4), 5, 6}}, std::array<uint32_t, 4>{0, 0, 0, 0x3F800000}.data());
    if (distances > 0)
        new DegradationDistancesChunk(root, distances);
    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "Robot");
    const int32_t lo[3] = {-10, -20, -30}, hi[3] = {10, 20, 30};
    new HierarchyBoundsChunk(model, lo, hi);
    auto* body = new HierarchyChunk(model);
    new HierarchyDataChunk(body, "body");
    auto* arm = new HierarchyChunk(body);
    new HierarchyDataChunk(arm, "arm");
    auto* unnamed = new HierarchyChunk(root);
    new HierarchyChunk(unnamed);
    file->BeforeSave();  // numbers the shapes and records them in their objects
    return file->PlainImage();
}

class Loaders : public ::testing::Test {
protected:
    void SetUp() override { TextureManager::Clear(); }
    void TearDown() override { TextureManager::Clear(); }

    EnvironmentRecordPtr Load(bool withEnvironment = true)
    {
        image_ = LevelImage(withEnvironment);
        std::string error;
        EnvironmentRecordPtr r = LoadEnvironmentImage(image_, "level.rif", &error);
        EXPECT_TRUE(r) << error;
        return r;
    }
    std::vector<uint8_t> image_;
};

TEST_F(Loaders, EnvironmentGivesScaleTextureTableAndRootSounds)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    float scale = 0;
    GetEnvironmentScale(scale, *r);
    EXPECT_FLOAT_EQ(scale, 0.002f);
    ASSERT_TRUE(r->hasTextureTable_);
    ASSERT_EQ(r->textures_.size(), 3u);
    EXPECT_EQ(r->textures_[0].name_, "stone.bmp");
    EXPECT_GE(r->textures_[0].width_, 64u);
    EXPECT_GE(r->textures_[0].height_, 32u);
    EXPECT_TRUE(r->textures_[1].name_.empty());
    EXPECT_EQ(r->textures_[2].name_, "moss.bmp");
    ASSERT_TRUE(r->sounds_[3]);
    EXPECT_EQ(r->sounds_[3]->name_, "second.wav");  // the later one wins
    EXPECT_FALSE(r->sounds_[5]);                    // under the environment, not the root
    FreeEnvironmentRecord(r);
    EXPECT_FALSE(r);
}

TEST_F(Loaders, FileWithoutEnvironmentHasTheDefaults)
{
    EnvironmentRecordPtr r = Load(false);
    ASSERT_TRUE(r);
    EXPECT_FLOAT_EQ(r->scale_, 0.001f);
    EXPECT_FALSE(r->hasTextureTable_);
    EXPECT_TRUE(r->textures_.empty());
}

TEST_F(Loaders, DamagedFileGivesNoRecordAndSaysWhy)
{
    std::vector<uint8_t> image = LevelImage();
    image.resize(image.size() / 2);
    std::string error;
    EXPECT_FALSE(LoadEnvironmentImage(image, "half.rif", &error));
    EXPECT_NE(error.find("half.rif"), std::string::npos) << error;
}

TEST_F(Loaders, HighestBitmapNumberIsBoundedBeforeItSizesTheTable)
{
    EnsureChunkFamiliesRegistered();
    auto file = ChunkFile::CreateEmpty();
    auto* env = new EnvironmentChunk(file.get());
    auto* names = new BitmapNamesChunk(env);
    names->AddEntry(Bitmap("far.bmp", 0x7FFFFFFF, 8, 8));
    names->AddEntry(Bitmap("negative.bmp", -5, 8, 8));
    names->AddEntry(Bitmap("near.bmp", 1, 8, 8));
    const std::vector<uint8_t> image = file->PlainImage();
    EnvironmentRecordPtr r = LoadEnvironmentImage(image);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->textures_.size(), 2u);
    EXPECT_EQ(r->textures_[1].name_, "near.bmp");
}

TEST_F(Loaders, ObjectNamesAreComparedIgnoringCase)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    const struct {
        const char* name;
        size_t found;
    } cases[] = {{"crate", 2}, {"CrAtE", 2}, {"body", 1}, {"nothing", 0}, {"crat", 0}};
    for (const auto& c : cases) {
        std::vector<ObjectChunk*> list{nullptr};
        FilterObjectsByName(list, *r, c.name);
        EXPECT_EQ(list.size(), c.found) << c.name;
    }
}

TEST_F(Loaders, ObjectShapeIsTheFirstOfItsNameWithPositionScaled)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    Vec3 at;
    Quaternion turn;
    VeShape* s = LoadObjectFromChunks(*r, "cRaTe", &at, &turn, 1);
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(s->max_.x, 0.2f);  // the first "Crate", 100 units at 0.002
    EXPECT_FLOAT_EQ(at.x, 2.0f);
    EXPECT_FLOAT_EQ(at.z, 6.0f);
    EXPECT_FLOAT_EQ(turn.w, 1.0f);
    // Texture 2 of the table, named once by the shape.
    TextureEntry* moss = TextureManager::Find("moss.bmp");
    EXPECT_EQ(moss->KeepCount(), 1);
    EXPECT_EQ(moss->Width(), r->textures_[2].width_);
    EXPECT_EQ(LoadObjectFromChunks(*r, "missing", nullptr, nullptr, 0), nullptr);
    s->Release();
    EXPECT_EQ(moss->KeepCount(), 0);
}

bool InTable(const std::string& name)
{
    for (TextureEntry* e : TextureManager::InRecentOrder())
        if (e->Name() == name)
            return true;
    return false;
}

TEST_F(Loaders, LevelTexturesKeepOnlyWhatTheShapesNamed)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    VeShape* s = LoadObjectFromChunks(*r, "crate", nullptr, nullptr, 0);
    ASSERT_TRUE(s);
    ASSERT_TRUE(InTable("stone.bmp"));  // looked up for its slot, then given back
    LoadLevelTextures();
    EXPECT_FALSE(InTable("stone.bmp"));
    EXPECT_TRUE(InTable("moss.bmp"));
    s->Release();
    LoadLevelTextures();
    EXPECT_FALSE(InTable("moss.bmp"));
}

TEST_F(Loaders, OnlyShapeNeedsExactlyOneShape)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    EXPECT_EQ(LoadOnlyShape(*r), nullptr);  // four shapes

    EnsureChunkFamiliesRegistered();
    auto one = ChunkFile::CreateEmpty();
    new ShapeChunk(one.get(), Triangle(10));
    one->BeforeSave();
    const std::vector<uint8_t> image = one->PlainImage();
    EnvironmentRecordPtr single = LoadEnvironmentImage(image);
    ASSERT_TRUE(single);
    VeShape* s = LoadOnlyShape(*single);
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(s->max_.x, 0.01f);
    s->Release();
}

TEST_F(Loaders, MarkersAreScaledAndMovedByTheOrigin)
{
    EnvironmentRecordPtr r = Load(false);
    ASSERT_TRUE(r);
    std::vector<ChunkObject> markers;
    LoadDummyObjects(markers, *r, Vec3(1, 2, 3));
    ASSERT_EQ(markers.size(), 1u);
    const ChunkObject& m = markers[0];
    EXPECT_EQ(m.name_, "marker");
    EXPECT_NEAR(m.position_.x, 0.0f, 1e-6f);
    EXPECT_NEAR(m.position_.y, 0.0f, 1e-6f);
    EXPECT_NEAR(m.position_.z, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(m.first_.z, 3.0f);
    EXPECT_FLOAT_EQ(m.second_.x, -4.0f);  // integer triples, not scaled
    EXPECT_FLOAT_EQ(m.rotation_.w, 1.0f);
    EXPECT_FALSE(m.hasText_);
}

TEST_F(Loaders, HierarchyNamesComeInFileOrder)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    std::vector<const std::string*> names{nullptr};
    FindHierarchyChunks(*r, names);
    ASSERT_EQ(names.size(), 1u);  // the unnamed one is left out
    EXPECT_EQ(*names[0], "Robot");
}

TEST_F(Loaders, HierarchyLoadsByNameInAnyCase)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    HierarchyPtr robot = LoadHierarchyFromChunks("rObOt", *r);
    ASSERT_TRUE(robot);
    EXPECT_EQ(robot->name_, "body");
    EXPECT_EQ(robot->useCount_, 1);
    // Every level shows the same object: one shape, one use per slot.
    ASSERT_TRUE(robot->shapes_[0]);
    for (const auto& slot : robot->shapes_)
        EXPECT_EQ(slot, robot->shapes_[0]);
    EXPECT_EQ(robot->shapes_[0]->UseCount(), kLevelsOfDetail);
    // No distances in the file: the default for every level.
    for (int32_t d : robot->distances_)
        EXPECT_EQ(d, kDefaultSwitchDistance);
    ASSERT_TRUE(robot->boundsValid_);
    EXPECT_FLOAT_EQ(robot->maximum_.y, 0.04f);
    EXPECT_FLOAT_EQ(robot->minimum_.z, -0.06f);
    ASSERT_EQ(robot->children_.Count(), 1);
    EXPECT_EQ((*robot->children_.At(0))->name_, "arm");
    EXPECT_FALSE((*robot->children_.At(0))->boundsValid_);

    EXPECT_FALSE(LoadHierarchyFromChunks("nobody", *r));
    // The unnamed hierarchy is never matched, even by an empty name.
    EXPECT_FALSE(LoadHierarchyFromChunks("", *r));
}

// The loaded tree is the engine's own record: its node search and use counts
// work on it, and its last use gives back every shape use its slots took.
TEST_F(Loaders, LoadedTreeWorksWithTheTreeOperations)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    HierarchyPtr robot = LoadHierarchyFromChunks("Robot", *r);
    ASSERT_TRUE(robot);
    Hierarchy* arm = robot->FindNode("ARM");
    ASSERT_TRUE(arm);
    EXPECT_EQ(arm, *robot->children_.At(0));
    ASSERT_TRUE(robot->shapes_[0]);
    RefPtr<VeShape> body(robot->shapes_[0]);
    EXPECT_EQ(body->UseCount(), kLevelsOfDetail + 1);
    Hierarchy* tree = robot.release();
    tree->AddHold();
    tree->Release();  // the hold keeps the nodes; the shapes' uses are given back
    EXPECT_EQ(body->UseCount(), 1);
    EXPECT_EQ(arm->holdCount_, 1);
    EXPECT_EQ(tree->FindNode("arm"), arm);
    tree->ReleaseHold();
}

TEST_F(Loaders, SwitchDistancesAShortListDoesNotGiveKeepTheDefault)
{
    const struct {
        int32_t stored;
        std::array<int32_t, kLevelsOfDetail> want;
    } cases[] = {
        {3, {0, 10000, 20000, 20000, 20000, 20000, 20000, 20000, 20000, 20000}},
        {12, {0, 10000, 20000, 30000, 40000, 50000, 60000, 70000, 80000, 90000}},
    };
    for (const auto& c : cases) {
        image_ = LevelImage(true, c.stored);
        EnvironmentRecordPtr r = LoadEnvironmentImage(image_);
        ASSERT_TRUE(r);
        HierarchyPtr robot = LoadHierarchyFromChunks("Robot", *r);
        ASSERT_TRUE(robot);
        EXPECT_TRUE(std::equal(c.want.begin(), c.want.end(), std::begin(robot->distances_))) << c.stored << " stored";
    }
}

TEST_F(Loaders, RecordWithoutAFileGivesNothing)
{
    EnvironmentRecord empty;
    EXPECT_EQ(LoadObjectFromChunks(empty, "crate", nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(LoadOnlyShape(empty), nullptr);
    EXPECT_FALSE(LoadHierarchyFromChunks("Robot", empty));
    EXPECT_EQ(FindEnvironmentCutscene(empty, "intro"), nullptr);
    std::vector<ObjectChunk*> objects{nullptr};
    FilterObjectsByName(objects, empty, "crate");
    EXPECT_TRUE(objects.empty());
    std::vector<ChunkObject> markers;
    LoadDummyObjects(markers, empty, Vec3(0, 0, 0));
    EXPECT_TRUE(markers.empty());
}

TEST_F(Loaders, ShapesOutliveTheirRecord)
{
    EnvironmentRecordPtr r = Load();
    ASSERT_TRUE(r);
    HierarchyPtr robot = LoadHierarchyFromChunks("Robot", *r);
    ASSERT_TRUE(robot);
    FreeEnvironmentRecord(r);
    ASSERT_TRUE(robot->shapes_[0]);
    EXPECT_FALSE(robot->shapes_[0]->SubMeshes().Count() == 0);
    EXPECT_EQ(robot->shapes_[0]->geometry_->points.size(), 3u);
}

} // namespace

namespace {

struct RecordingReceiver : trevok::CutsceneReceiver {
    void Load(const trevok::CutsceneChunk& cutscene, float scale, const Vec3& origin) override
    {
        loaded = &cutscene;
        gotScale = scale;
        gotOrigin = origin;
    }
    const trevok::CutsceneChunk* loaded = nullptr;
    float gotScale = 0;
    Vec3 gotOrigin{0, 0, 0};
};

TEST(LoaderCutscenes, FoundByNameInAnyCaseAndHandedOver)
{
    const std::filesystem::path path = std::filesystem::path(TREVOK_FIXTURES_DIR) / "chunk" / "cutscene.rif";
    std::string error;
    trevok::EnvironmentRecordPtr r = trevok::LoadEnvironmentFile(path, &error);
    ASSERT_TRUE(r) << error;
    const struct {
        const char* name;
        bool found;
    } cases[] = {{"intro", true}, {"INTRO", true}, {"outro", false}, {"", false}};
    for (const auto& c : cases) {
        RecordingReceiver receiver;
        EXPECT_EQ(trevok::LoadEnvironmentSpecials(receiver, *r, c.name, Vec3(1, 2, 3)), c.found) << c.name;
        EXPECT_EQ(receiver.loaded != nullptr, c.found) << c.name;
        if (c.found) {
            EXPECT_FLOAT_EQ(receiver.gotScale, 0.001f);
            EXPECT_FLOAT_EQ(receiver.gotOrigin.z, 3.0f);
            EXPECT_EQ(receiver.loaded->GetData()->name_, "intro");
        }
    }
}

} // namespace

namespace {

TEST(LoaderSampleLevel, LoadsWithItsTableSoundsLevelsOfDetailAndCutscene)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path path = std::filesystem::path(root ? root : "") / "rifs" / "loader_level.rif";
    if (!root || !std::filesystem::exists(path))
        GTEST_SKIP() << "no sample data";
    TextureManager::Clear();
    std::string error;
    // Named as the game's data names it.
    trevok::EnvironmentRecordPtr r = trevok::LoadEnvironmentFile(root, "RIFS\\Loader_Level.RIF", &error);
    ASSERT_TRUE(r) << error;
    EXPECT_FALSE(trevok::LoadEnvironmentFile(std::filesystem::path(root) / "rifs", "..\\rifs\\loader_level.rif"));
    EXPECT_FLOAT_EQ(r->scale_, 0.001f);
    ASSERT_EQ(r->textures_.size(), 3u);
    EXPECT_EQ(r->textures_[0].name_, "Gradient24.BMP");
    ASSERT_TRUE(r->sounds_[3]);
    EXPECT_EQ(r->sounds_[3]->name_, "lift_hum");

    std::vector<trevok::ObjectChunk*> panels;
    trevok::FilterObjectsByName(panels, *r, "panel");
    EXPECT_EQ(panels.size(), 2u);

    HierarchyPtr lift = trevok::LoadHierarchyFromChunks("lift", *r);
    ASSERT_TRUE(lift);
    EXPECT_EQ(lift->name_, "lift_base");
    // Level 0 shows the base, levels 1 to 9 share its lower detail.
    ASSERT_TRUE(lift->shapes_[0] && lift->shapes_[1]);
    EXPECT_NE(lift->shapes_[0], lift->shapes_[1]);
    EXPECT_EQ(lift->shapes_[0]->UseCount(), 1);
    EXPECT_EQ(lift->shapes_[1]->UseCount(), trevok::kLevelsOfDetail - 1);
    EXPECT_EQ(lift->distances_[1], 15000);
    EXPECT_EQ(lift->distances_[9], 90000);
    ASSERT_EQ(lift->children_.Count(), 1);
    EXPECT_EQ((*lift->children_.At(0))->name_, "lift_cage");

    const trevok::CutsceneChunk* intro = trevok::FindEnvironmentCutscene(*r, "INTRO");
    ASSERT_TRUE(intro);
    std::vector<trevok::CutsceneUserChunk*> users;
    intro->GetUsers(users);
    ASSERT_EQ(users.size(), 1u);
    ASSERT_TRUE(users[0]->GetHierarchyName());
    EXPECT_EQ(*users[0]->GetHierarchyName(), "Lift");
    lift.reset();
    TextureManager::Clear();
}

} // namespace

namespace {

TEST(LoaderSampleRobot, RootCarriesTheModelsVelocityPerSequence)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path path = std::filesystem::path(root ? root : "") / "rifs" / "robot_hierarchy.rif";
    if (!root || !std::filesystem::exists(path))
        GTEST_SKIP() << "no sample data";
    TextureManager::Clear();
    trevok::EnvironmentRecordPtr r = trevok::LoadEnvironmentFile(path);
    ASSERT_TRUE(r);
    HierarchyPtr robot = trevok::LoadHierarchyFromChunks("robot", *r);
    ASSERT_TRUE(robot);
    ASSERT_TRUE(robot->sequences_);
    const size_t n = robot->sequences_->entries_.size();
    ASSERT_GT(n, 1u);
    ASSERT_EQ(robot->perSecond_.size(), n);
    ASSERT_EQ(robot->perTick_.size(), n);
    const Vec3 stand = robot->perSecond_[0], walk = robot->perSecond_[1];
    EXPECT_FLOAT_EQ(stand.x * stand.x + stand.y * stand.y + stand.z * stand.z, 0.0f);
    EXPECT_NEAR(std::sqrt(walk.x * walk.x + walk.y * walk.y + walk.z * walk.z), 1.5f, 1e-3f);  // 1500 thousandths
    ASSERT_EQ(robot->speeds_.size(), n);
    EXPECT_FLOAT_EQ(robot->speeds_[1], 1.5f) << "the walk's speed as stored, for the walk factor";
    // Children carry no model velocity.
    for (const auto& child : robot->children_)
        EXPECT_TRUE(child->perSecond_.empty());
    robot.reset();
    TextureManager::Clear();
}

} // namespace

namespace {

// game_level.rif is written by hand from the layouts, so a mistake made the
// same way in the chunk writer and reader cannot hide here.
class HandBuiltLevel : public ::testing::Test {
protected:
    void SetUp() override
    {
        TextureManager::Clear();
        const auto path = std::filesystem::path(TREVOK_FIXTURES_DIR) / "chunk" / "game_level.rif";
        std::string error;
        record_ = trevok::LoadEnvironmentFile(path, &error);
        ASSERT_TRUE(record_) << error;
    }
    void TearDown() override
    {
        record_.reset();
        TextureManager::Clear();
    }
    trevok::EnvironmentRecordPtr record_;
};

TEST_F(HandBuiltLevel, EnvironmentMarkersAndModel)
{
    std::ifstream in(std::filesystem::path(TREVOK_FIXTURES_DIR) / "chunk" / "game_level.rif", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(record_->file_->PlainImage(), bytes);  // nothing the loaders read is lost on saving

    EXPECT_FLOAT_EQ(record_->scale_, 0.002f);
    ASSERT_EQ(record_->textures_.size(), 3u);
    EXPECT_EQ(record_->textures_[2].name_, "floor.bmp");
    ASSERT_TRUE(record_->sounds_[4]);
    EXPECT_EQ(record_->sounds_[4]->name_, "hum");

    std::vector<trevok::ChunkObject> markers;
    trevok::LoadDummyObjects(markers, *record_, Vec3(0, 0, 0));
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].name_, "start");
    EXPECT_FLOAT_EQ(markers[0].position_.z, 3.0f);

    HierarchyPtr model = trevok::LoadHierarchyFromChunks("CRATE MODEL", *record_);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->distances_[9], 90000);
    EXPECT_FLOAT_EQ(model->maximum_.y, 0.2f);
    ASSERT_TRUE(model->shapes_[0]);
    EXPECT_FLOAT_EQ(model->shapes_[0]->max_.x, 0.2f);
}

TEST_F(HandBuiltLevel, ObjectShapeTakesTableSizesAndTints)
{
    std::vector<trevok::ObjectChunk*> crates;
    trevok::FilterObjectsByName(crates, *record_, "Crate");
    EXPECT_EQ(crates.size(), 2u);

    Vec3 at;
    VeShape* s = trevok::LoadObjectFromChunks(*record_, "crate", &at, nullptr, 0);
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(at.x, 2.0f);
    std::vector<SubMesh*> meshes;
    for (SubMesh* m : s->SubMeshes())
        meshes.push_back(m);
    ASSERT_EQ(meshes.size(), 2u);  // the floor's triangle first, then the wall's square
    EXPECT_EQ(meshes[0]->texture->Name(), "floor.bmp");
    EXPECT_EQ(meshes[1]->texture->Name(), "wall.bmp");
    EXPECT_EQ(meshes[1]->vertexCount, 4u);
    // The square's first triangle is corners 4, 3, 1; corner 3 is point 2:
    // (100, 100) scaled, u 32 over a 64-texel table entry, the point's tint.
    const auto* v = reinterpret_cast<const float*>(meshes[1]->vertices.data() + size_t(meshes[1]->indices[1]) * 36);
    uint32_t colour;
    std::memcpy(&colour, v + 6, 4);
    EXPECT_FLOAT_EQ(v[0], 0.2f);
    EXPECT_FLOAT_EQ(v[1], 0.2f);
    EXPECT_FLOAT_EQ(v[7], 0.5f);
    EXPECT_EQ(colour, 0xFF708090u);
    s->Release();

    VeShape* plain = trevok::LoadObjectFromChunks(*record_, "CRATE", nullptr, nullptr, 0);
    ASSERT_TRUE(plain);  // the first of that name is the tinted one, in any case
    plain->Release();
}

} // namespace

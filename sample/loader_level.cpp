// Sample level file for the game-side loaders: an environment with a texture
// table and indexed sounds, a lift model whose parts are named and whose base
// has a second level of detail, two panels whose object names differ only in
// letter case, a marker and an opening cut-scene, written as rifs/loader_level.rif.
#include "sample/generator.h"

#include "chunk/bitmap_name_chunks.h"
#include "chunk/chunk_file.h"
#include "chunk/cutscene_chunks.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "chunk/sound_chunks.h"

#include <bit>
#include <cstdio>

namespace {

using namespace trevok;

// The texel of graphics/gradient24.bmp the panel shows all over; its colour
// follows from the gradient's formula, so a drawing test can predict it.
constexpr float kPanelTexelU = 120.5f, kPanelTexelV = 4.5f;

// A square of side `size` in the x-y plane facing -z; texture 0 when textured.
ShapeData Square(int32_t size, bool textured)
{
    ShapeData d;
    d.points_ = {{0, 0, 0}, {0, size, 0}, {size, size, 0}, {size, 0, 0}};
    d.vertexNormals_.assign(4, {0, 0, -1});
    ShapePolygon p;
    p.type_ = textured ? 5 : 1;
    p.vertexCount_ = 4;
    for (int i = 0; i < 4; ++i)
        p.vertices_[i] = i;
    p.SetTextureNumber(0);
    p.SetUvIndex(0);
    d.polygons_ = {p};
    d.polygonNormals_ = {{0, 0, -1}};
    ShapeUvSet uv;
    uv.count_ = 4;
    for (auto& pair : uv.pairs_)
        pair = {kPanelTexelU, kPanelTexelV};
    d.uvSets_ = {uv};
    d.pointCount_ = 4, d.polygonCount_ = 1, d.uvSetCount_ = 1;
    d.maxCorner_ = {size, size, 0};
    d.vertexFlags_.assign(4, 0);
    return d;
}

ObjectChunk* AddObject(ChunkFile* root, const char* name, const ShapeData& shape, int32_t id, int32_t x)
{
    auto* s = new ShapeChunk(root, shape);
    s->SetName(name);
    s->GetHeader()->shapeId_ = id;  // fixed ids keep the output the same on every build
    ObjectHeader h;
    h.name_ = name;
    h.position_[0] = x;
    h.orientation_[3] = 1;
    auto* object = new ObjectChunk(root, h);
    object->LinkShape(s);
    return object;
}

BitmapNameEntry Bitmap(const char* name, int32_t number, int32_t width, int32_t height)
{
    BitmapNameEntry e(name, number);
    e.number_ = number;
    e.imageSize_ = width | (height << 16);
    return e;
}

void AddCutscene(ParentChunk* special)
{
    auto* cutscene = new CutsceneChunk(special, "Intro", 0, 0, 0);
    auto* user = new CutsceneUserChunk(cutscene);
    user->GetData()->name_ = "lift";
    new CutsceneUserHierarchyChunk(user, "Lift");
    new CutsceneUserSoundChunk(user);
    auto* positions = new CutsceneUserPositionsChunk(user);
    positions->records_.push_back({0, 0, 0, 0, 0, 0, 0, 0, 0});
    auto* track = new CutsceneTrackChunk(user, "camera");
    auto* points = new CutscenePointsChunk(track);
    points->points_ = {{0, 1000, -4000, 0}, {2000, 1000, -3000, 1000}};
    new CutsceneFovChunk(track);
    auto* events = new CutsceneEventChunk(track, "cues");
    for (int32_t type = 1; type <= 10; ++type) {
        std::unique_ptr<CutsceneEvent> e;
        if (type == CutsceneNamedEvent::kType) {
            auto named = std::make_unique<CutsceneNamedEvent>();
            named->name_ = "lift_hum";
            e = std::move(named);
        } else if (type == CutsceneRoundedEvent::kType) {
            e = std::make_unique<CutsceneRoundedEvent>();
        } else {
            e = std::make_unique<CutsceneWordsEvent>(type);
        }
        e->time_ = 250 * type;
        events->events_.push_back(std::move(e));
    }
}

std::unique_ptr<ChunkFile> BuildLoaderLevel()
{
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();

    auto* env = new EnvironmentChunk(root);
    new FileNameChunk(env, "loader_level.rif");
    new SoundScaleChunk(env, 1.0);
    auto* names = new BitmapNamesChunk(env);
    // References keep the original spelling; the files on disk are lower case.
    names->AddEntry(Bitmap("Gradient24.BMP", 0, 128, 64));
    names->AddEntry(Bitmap("checker8.bmp", 2, 64, 64));
    AddCutscene(new ParentChunk(env, chunk_id::kSpecialObjects));

    new IndexedSoundChunk(root, 0, "door_open");
    new IndexedSoundChunk(root, 3, "lift_hum");

    AddObject(root, "Panel", Square(2000, true), 101, 0);
    AddObject(root, "PANEL", Square(500, true), 102, 3000);
    AddObject(root, "lift_base", Square(1000, true), 103, 0);
    AddObject(root, "L1#lift_base", Square(1000, false), 104, 0);
    AddObject(root, "lift_cage", Square(800, true), 105, 0);

    const uint32_t turn[4] = {0, 0, 0, std::bit_cast<uint32_t>(1.0f)};
    new DummyObjectChunk(root, "spawn", DummyVector{{1000, 0, 2000}}, DummyVector{{0, 0, 1}},
                         DummyVector{{0, 1, 0}}, turn);

    auto* distances = new DegradationDistancesChunk(root, kLevelsOfDetail);
    distances->distances_[1] = 15000;
    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "Lift");
    const int32_t lo[3] = {0, 0, 0}, hi[3] = {1000, 1800, 0};
    new HierarchyBoundsChunk(model, lo, hi);
    auto* base = new HierarchyChunk(model);
    new HierarchyDataChunk(base, "lift_base");
    auto* cage = new HierarchyChunk(base);
    new HierarchyDataChunk(cage, "lift_cage");
    return file;
}

bool WriteLoaderLevel(const sample::Context& ctx)
{
    const auto dir = ctx.out / "rifs";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!BuildLoaderLevel()->Save(dir / "loader_level.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / "loader_level.rif").c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kLoaderLevel(22, "loader level", WriteLoaderLevel);

} // namespace

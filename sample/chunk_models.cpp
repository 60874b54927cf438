// Sample model file: shapes (a box, a ramp, a terrain grid), objects placed with
// them, a light set, dummy markers and an environment, written through the chunk
// library as a compressed and a plain file under rifs/. y grows downward:
// heights above the ground are negative.
#include "sample/generator.h"
#include "sample/shape_helpers.h"

#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace {

using namespace trevok;
using sample::Finish;
using sample::Polygon;
using sample::Quad;

// A box of half-size h standing on y = 0 (file units are millimetres).
ShapeData Box(int32_t h)
{
    ShapeData d;
    for (int i = 0; i < 8; ++i)
        d.points_.push_back({i & 1 ? h : -h, i & 2 ? -2 * h : 0, i & 4 ? h : -h});
    d.uvSets_ = {Quad()};
    d.textureNames_ = {"crate.bmp"};
    const std::initializer_list<int32_t> faces[] = {{1, 3, 2, 0}, {6, 7, 5, 4}, {4, 5, 1, 0},
                                                    {3, 7, 6, 2}, {2, 6, 4, 0}, {5, 7, 3, 1}};
    for (const auto& f : faces)
        d.polygons_.push_back(Polygon(20, f, 0, 0));
    Finish(d);
    return d;
}

ShapeData Ramp()
{
    ShapeData d;
    // Rising 1 m over 3 m of z.
    d.points_ = {{-1000, 0, 0}, {1000, 0, 0}, {1000, 0, 3000}, {-1000, 0, 3000}, {1000, -1000, 3000}, {-1000, -1000, 3000}};
    // Faces wound outward.
    d.polygons_ = {Polygon(1, {0, 3, 2, 1}, 0, 0), Polygon(1, {0, 1, 4, 5}, 0, 0), Polygon(1, {3, 5, 4, 2}, 0, 0),
                   Polygon(1, {0, 5, 3}, 0, 0), Polygon(1, {1, 2, 4}, 0, 0)};
    d.shapeFlags_ = 1;
    Finish(d);
    return d;
}

// A grid of triangles with a merge table pairing each cell's two triangles.
ShapeData Terrain(int cells, std::vector<int32_t>& merge)
{
    ShapeData d;
    const int n = cells + 1;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            double h = 400 * std::sin(x * 0.7) * std::cos(z * 0.5);
            d.points_.push_back({x * 2000, static_cast<int32_t>(std::lround(-h)), z * 2000});
        }
    d.textureNames_ = {"grass.bmp", "rock.bmp"};
    d.uvSets_ = {Quad()};
    for (int z = 0; z < cells; ++z)
        for (int x = 0; x < cells; ++x) {
            int32_t a = z * n + x, b = a + 1, c = a + n + 1, e = a + n;
            int32_t tex = (x + z) % 2;
            int32_t i = static_cast<int32_t>(d.polygons_.size());
            // Wound to face up.
            d.polygons_.push_back(Polygon(5, {c, e, a}, 0, tex));
            d.polygons_.push_back(Polygon(5, {b, c, a}, 0, tex));
            merge.push_back(i + 1);
            merge.push_back(i);
        }
    Finish(d);
    return d;
}

ObjectChunk* Place(ChunkFile* file, const char* name, int32_t x, int32_t y, int32_t z, float turn, ShapeChunk* shape)
{
    ObjectHeader h;
    h.name_ = name;
    h.position_[0] = x;
    h.position_[1] = y;
    h.position_[2] = z;
    h.orientation_[0] = 0;
    h.orientation_[1] = std::sin(turn / 2);
    h.orientation_[2] = 0;
    h.orientation_[3] = std::cos(turn / 2);
    auto* object = new ObjectChunk(file, h);
    object->LinkShape(shape);
    return object;
}

std::unique_ptr<ChunkFile> BuildModels()
{
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();

    auto* env = new EnvironmentChunk(root);
    new FileNameChunk(env, "models.rif");
    new SoundDirectoryChunk(env, "sound\\sample");
    new SoundScaleChunk(env, 1000.0);
    NewAcousticsChunk(env, "ENVACOUS", 0, 2.0f, 0);
    auto* ids = new TextureIdListChunk(env, "terrain");
    ids->ids_ = {1, 2};

    std::vector<int32_t> merge;
    ShapeData shapes[] = {Box(500), Ramp(), Terrain(6, merge)};
    const char* names[] = {"box", "ramp", "terrain"};
    ShapeChunk* made[3];
    for (int i = 0; i < 3; ++i) {
        made[i] = new ShapeChunk(root, shapes[i]);
        made[i]->SetName(names[i]);
        // Fixed ids keep the output the same whatever was loaded before.
        made[i]->GetHeader()->shapeId_ = i + 1;
    }
    new MergeDataChunk(made[2], merge);

    Place(root, "crate", 2000, 0, 4000, 0.0f, made[0]);
    Place(root, "crate2", 3500, 0, 4200, 0.6f, made[0]);
    Place(root, "ramp", 8000, 0, 2000, 1.57f, made[1]);
    auto* ground = Place(root, "ground", 0, 0, 0, 0.0f, made[2]);
    auto* modules = new ParentChunk(ground, "MODULEDT");
    NewAcousticsChunk(modules, "MODACOUS", -1, -1.0f, 0);

    auto* lights = new LightSetChunk(root, "daylight");
    std::array<uint32_t, kStandardLightWords> sun{};
    for (size_t i = 0; i < sun.size(); ++i)
        sun[i] = std::bit_cast<uint32_t>(float(i) * 0.25f);
    NewStandardLightChunk(lights, sun);
    NewAmbienceChunk(root, 48);
    auto* scale = new LightScaleChunk(root, 1);
    scale->scale_.thresholdA_ = 64;
    scale->scale_.scaleA_ = 1.5f;

    uint32_t facing[4] = {0, 0, 0, std::bit_cast<uint32_t>(1.0f)};
    auto forward = DummyVector::Of(0, 0, 1);
    auto up = DummyVector::Of(0, -1, 0);
    new DummyObjectChunk(root, "spawn01", DummyVector::Of(1000, 0, 1000), forward, up, facing);
    auto* camera = new DummyObjectChunk(root, "camera01", DummyVector::Of(-4000, -6000, -4000), forward, up, facing);
    std::string text = "overlooks the ramp";
    camera->SetText(&text);
    return file;
}

bool WriteModels(const sample::Context& ctx)
{
    auto dir = ctx.out / "rifs";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    // Two separate builds, so both files carry the same shape versions.
    if (!BuildModels()->Save(dir / "models.rif") || !BuildModels()->SavePlain(dir / "models_plain.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / "models.rif").c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kModels(20, "chunk models", WriteModels);

} // namespace

// Sample level model: a walled floor, a ramp up to a platform with a drop
// beyond it, a barrier square the movers may not enter, and a doorway whose
// floor and leaf are a separate door object (its floor carries class bit
// 0x2000, so closing the door cuts its links). Written through the chunk
// library as rifs/sample_level.rif; file units are millimetres, y grows
// downward.
#include "sample/generator.h"
#include "sample/shape_helpers.h"

#include "chunk/chunk_file.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <array>
#include <bit>
#include <cstdio>
#include <map>
#include <tuple>

namespace {

using namespace trevok;

constexpr int32_t kMetre = 1000;
constexpr int32_t kBarrierFlag = 0x40000;
constexpr int32_t kDoorClass = 0x2000;
constexpr int32_t kUntextured = 1;

// Adds points once, so polygons that meet share their corners.
struct LevelShape {
    ShapeData data;
    std::map<std::tuple<int32_t, int32_t, int32_t>, int32_t> index;

    int32_t Point(int32_t x, int32_t y, int32_t z)
    {
        const auto key = std::make_tuple(x * kMetre, y * kMetre, z * kMetre);
        auto [it, added] = index.emplace(key, static_cast<int32_t>(data.points_.size()));
        if (added)
            data.points_.push_back({std::get<0>(key), std::get<1>(key), std::get<2>(key)});
        return it->second;
    }
    // A horizontal square at height y, wound to face up.
    void Floor(int32_t x0, int32_t z0, int32_t x1, int32_t z1, int32_t y, int32_t flags = 0)
    {
        Quad4(Point(x0, y, z0), Point(x1, y, z0), Point(x1, y, z1), Point(x0, y, z1), flags);
    }
    void Quad4(int32_t a, int32_t b, int32_t c, int32_t d, int32_t flags = 0)
    {
        ShapePolygon p = sample::Polygon(kUntextured, {a, b, c, d}, 0, 0);
        p.flags_ = flags;
        data.polygons_.push_back(p);
    }
};

ShapeData LevelData()
{
    LevelShape s;
    // The main floor, 20 m square in 5 m squares; the far corner square is
    // a barrier.
    for (int32_t x = 0; x < 20; x += 5)
        for (int32_t z = 0; z < 20; z += 5)
            s.Floor(x, z, x + 5, z + 5, 0, x == 15 && z == 15 ? kBarrierFlag : 0);
    // Walls 3 m high along x = 0 and z = 0, facing in.
    for (int32_t i = 0; i < 20; i += 5) {
        s.Quad4(s.Point(i, 0, 0), s.Point(i, -3, 0), s.Point(i + 5, -3, 0), s.Point(i + 5, 0, 0));
        s.Quad4(s.Point(0, 0, i + 5), s.Point(0, -3, i + 5), s.Point(0, -3, i), s.Point(0, 0, i));
    }
    // A ramp rising 2 m from the floor's edge to a platform.
    s.Quad4(s.Point(20, 0, 0), s.Point(25, -2, 0), s.Point(25, -2, 5), s.Point(20, 0, 5));
    s.Floor(25, 0, 30, 5, -2);
    // Beyond the platform a 5 m drop to a pit floor.
    s.Quad4(s.Point(30, -2, 0), s.Point(30, 3, 0), s.Point(30, 3, 5), s.Point(30, -2, 5));
    s.Floor(30, 0, 35, 5, 3);
    // The room beyond the doorway.
    s.Floor(25, 10, 30, 15, 0);
    sample::Finish(s.data);
    return s.data;
}

// In the door object's frame: its floor across the doorway and its leaf.
ShapeData DoorData()
{
    LevelShape s;
    s.Floor(0, 0, 5, 5, 0, kDoorClass);
    s.Quad4(s.Point(2, 0, 0), s.Point(2, -3, 0), s.Point(2, -3, 5), s.Point(2, 0, 5));
    sample::Finish(s.data);
    return s.data;
}

ObjectChunk* Place(ChunkFile* file, const char* name, int32_t x, int32_t z, ShapeChunk* shape)
{
    ObjectHeader h;
    h.name_ = name;
    h.position_[0] = x * kMetre;
    h.position_[2] = z * kMetre;
    h.orientation_[3] = 1;
    auto* object = new ObjectChunk(file, h);
    object->LinkShape(shape);
    return object;
}

// One light of the level's lighting chunks: {type, flags, range, falloff},
// diffuse, specular and ambient colours, position, direction and two
// attenuations; lengths in file units.
void AddLight(LightSetChunk* set, int32_t type, float range, const std::array<float, 3>& colour,
              const std::array<float, 3>& at, const std::array<float, 3>& direction)
{
    std::array<float, kStandardLightWords> v{};
    v[2] = range;
    v[3] = 1.0f;
    for (size_t i = 0; i < 3; ++i) {
        v[4 + i] = colour[i];       // diffuse
        v[13 + i] = at[i];
        v[16 + i] = direction[i];
    }
    v[19] = 1.0f; // constant attenuation
    std::array<uint32_t, kStandardLightWords> words{};
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = std::bit_cast<uint32_t>(v[i]);
    words[0] = uint32_t(type);
    NewStandardLightChunk(set, words);
}

bool WriteSampleLevel(const sample::Context& ctx)
{
    auto file = ChunkFile::CreateEmpty();
    auto* level = new ShapeChunk(file.get(), LevelData());
    level->SetName("sample_level");
    level->GetHeader()->shapeId_ = 101; // fixed: the output never depends on load order
    auto* door = new ShapeChunk(file.get(), DoorData());
    door->SetName("door");
    door->GetHeader()->shapeId_ = 102;
    Place(file.get(), "level", 0, 0, level);
    Place(file.get(), "door01", 20, 10, door);
    // A grey sun, and a warm lamp over the platform.
    auto* lights = new LightSetChunk(file.get(), "level");
    AddLight(lights, 3, 0, {0.6f, 0.6f, 0.6f}, {0, 0, 0}, {0.3f, 1, 0.2f});
    AddLight(lights, 1, 8 * kMetre, {1.0f, 0.7f, 0.3f}, {27.5f * kMetre, -4.0f * kMetre, 2.5f * kMetre}, {0, 1, 0});

    auto dir = ctx.out / "rifs";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!file->Save(dir / "sample_level.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / "sample_level.rif").c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kSampleLevel(21, "sample level", WriteSampleLevel);

} // namespace

// Starting a level from its cache against cutting it again: a generated
// ground of 100 352 triangles, cut to pieces of at most 700 vertices.
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/level.h"
#include "world/level_cache.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr int kSide = 224;  // 224 x 224 cells of two triangles
constexpr uint32_t kVertexLimit = 700;
const LevelCacheKey kKey{1, kVertexLimit};

// The ground as a shape with its collision geometry.
VeShape* Ground()
{
    auto* shape = new VeShape;
    const uint32_t n = kSide + 1;
    SubMesh* m = shape->AddSubMesh(n * n, kSide * kSide * 6, VeShape::kPrimitiveFormat, false);
    auto geometry = std::make_unique<ShapeGeometry>();
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t k = 0; k < n; ++k) {
            const float p[8] = {float(i), -std::sin(i * 0.3f) * std::cos(k * 0.2f) * 3, float(k), 0, -1, 0,
                                float(i) / 8, float(k) / 8};
            std::memcpy(m->vertices.data() + size_t(i * n + k) * 32, p, 32);
            geometry->points.push_back({p[0], p[1], p[2]});
        }
    size_t at = 0;
    for (uint32_t i = 0; i < kSide; ++i)
        for (uint32_t k = 0; k < kSide; ++k) {
            const uint16_t a = uint16_t(i * n + k), b = uint16_t((i + 1) * n + k);
            for (uint16_t v : {a, b, uint16_t(b + 1), a, uint16_t(b + 1), uint16_t(a + 1)})
                m->indices[at++] = v;
            geometry->triangles.push_back({{a, b, b + 1}, {0, -1, 0}, 0});
            geometry->triangles.push_back({{a, b + 1, a + 1}, {0, -1, 0}, 0});
        }
    TextureEntry* t = TextureManager::Find("ground.bmp");
    shape->AddTexture(t);
    TextureManager::Unuse(t);
    m->texture = t;
    shape->min_ = {0, -3, 0};
    shape->max_ = {float(kSide), 3, float(kSide)};
    shape->geometry_ = std::move(geometry);
    return shape;
}

// What the level build does without a cache: cut, encode, make the level.
std::vector<uint8_t> Rebuild()
{
    VeShape* shape = Ground();
    const CollisionSource collision = CollisionSource::FromShape(*shape->geometry_);
    std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(shape, true));
    shape->Release();
    tree->SplitByVertexLimit(kVertexLimit);
    auto image = LevelCache::Encode(kKey, Vec3(0, 0, 0), *tree, collision);
    Level level(std::move(tree), Vec3(0, 0, 0), &collision);
    return image;
}

void BM_LevelRebuild(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state)
        bytes = Rebuild().size();
    state.counters["cache_bytes"] = double(bytes);
}
BENCHMARK(BM_LevelRebuild)->Unit(benchmark::kMillisecond);

void BM_LevelCacheRead(benchmark::State& state)
{
    const std::vector<uint8_t> image = Rebuild();
    for (auto _ : state) {
        auto content = LevelCache::Decode(image, kKey);
        if (!content)
            state.SkipWithError("cache did not read back");
        Level level(std::move(content->tree), content->vector, &content->collision);
        benchmark::DoNotOptimize(level.statusPolygons_);
    }
}
BENCHMARK(BM_LevelCacheRead)->Unit(benchmark::kMillisecond);

} // namespace

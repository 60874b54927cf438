// Clip codes per vertex, and ten thousand bounding boxes culled and drawn
// through their box batches, on the display as the game opens it
// (off-screen when no X display is given).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/ve3d.h"

namespace {

std::vector<Vec3> Points(size_t n)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-2.0f, 2.0f), z(0.0f, 150.0f);
    std::vector<Vec3> p(n);
    for (Vec3& v : p)
        v = {d(rng), d(rng), z(rng)};
    return p;
}

// Arg: the plane mask. 0x3F all six planes, 0x7F all six before the divide,
// 0x03 only the two x planes (an object already inside the others).
void ClipCodesPerVertex(benchmark::State& state)
{
    const auto points = Points(4096);
    ClipCodes::SetPlanes(1.0f, 100.0f);
    const ClipCodes::Function f = ClipCodes::Table[state.range(0)];
    for (auto _ : state) {
        uint32_t all = 0;
        for (const Vec3& p : points)
            all |= f(p);
        benchmark::DoNotOptimize(all);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(points.size()));
}
BENCHMARK(ClipCodesPerVertex)->Arg(0x03)->Arg(0x3F)->Arg(0x7F);

bool OpenDisplay()
{
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    InstallSceneHooks();
    return Display::Startup(nullptr) && Display::SetMode(640, 480, 32, 0) > 0 && Display::OpenDevice();
}

struct Boxes {
    std::unique_ptr<Camera> camera;
    std::vector<std::unique_ptr<BoundingBox>> boxes;

    Boxes()
    {
        camera = std::make_unique<Camera>();
        camera->SetViewSize(2.0f * 640.0f / 480.0f, 2.0f);
        camera->SetNearFar(1.0f, 100.0f);
        camera->SetCurrent();
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> xy(-60.0f, 60.0f), z(-20.0f, 120.0f);
        for (int i = 0; i < 10000; ++i) {
            const float x = xy(rng), y = xy(rng), d = z(rng);
            boxes.push_back(std::make_unique<BoundingBox>(x, y, d, x + 1, y + 1, d + 1));
        }
    }
};

void CullTenThousandBoxes(benchmark::State& state)
{
    if (!OpenDisplay()) {
        state.SkipWithError("no display");
        return;
    }
    {
        Boxes scene;
        int visible = 0;
        for (auto _ : state) {
            visible = 0;
            for (auto& b : scene.boxes)
                visible += b->ClipFlags() == 0;
            benchmark::DoNotOptimize(visible);
        }
        state.counters["visible"] = visible;
        state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
    }
    Display::Shutdown();
}
BENCHMARK(CullTenThousandBoxes)->Unit(benchmark::kMillisecond);

// Each batch's buffer drawn once as the twelve edges of its boxes.
void DrawTenThousandBoxes(benchmark::State& state)
{
    if (!OpenDisplay()) {
        state.SkipWithError("no display");
        return;
    }
    {
        Boxes scene;
        static constexpr uint16_t kEdges[24] = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4, 0, 7, 1, 6, 2, 5, 3, 4};
        std::vector<uint16_t> indices;
        for (uint16_t box = 0; box < 150; ++box)
            for (uint16_t e : kEdges)
                indices.push_back(uint16_t(box * 8 + e));
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::kLines));
        for (auto _ : state) {
            Display::BeginScene();
            Display::Clear();
            scene.camera->SetCurrent();
            RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::kLines));
            for (int i = 0; i < BoxBatch::BatchCount(); ++i) {
                BoxBatch* b = BoxBatch::BatchAt(i);
                if (b->Buffer())
                    Display::Device()->DrawIndexedPrimitiveVB(gfx::Primitive::LineList, *b->Buffer(), indices.data(),
                                                              b->VertexCount() / 8 * 24);
            }
            Display::EndFrame(nullptr, nullptr);
        }
        state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
    }
    Display::Shutdown();
}
BENCHMARK(DrawTenThousandBoxes)->Unit(benchmark::kMillisecond);

} // namespace

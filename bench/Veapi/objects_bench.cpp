// The render queue at 5000 requests a frame (without a device, so the
// queue's own work is measured) and node pose evaluation per node.
#include <benchmark/benchmark.h>

#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "tests/Veapi/model_support.h"

namespace {

using namespace modeltest;

constexpr int kRequests = 5000;

// 5000 requests over 500 objects, four plain materials, one sorted, and
// eight textures of which one is translucent under a material with an alternate.
void QueueAddAndFlush(benchmark::State& state)
{
    std::vector<RenderMaterial*> materials;
    for (int i = 0; i < 5; ++i)
        materials.push_back(new RenderMaterial);
    materials[4]->sorted_ = 1;
    materials[0]->SetAlternate(materials[1]);
    std::vector<List<TextureEntry*>> textures(8);
    for (int i = 0; i < 8; ++i) {
        TextureEntry* t = TextureManager::Find("bench" + std::to_string(i));
        t->SetOptions(i == 7 ? 8 : 0);
        textures[size_t(i)].PushBack(t);
    }
    std::vector<VeObject*> objects;
    for (int i = 0; i < 500; ++i) {
        objects.push_back(VeObject::FromShape(nullptr, false));
        objects.back()->placement_.SetPosition({0, float(i % 37), 0});
    }
    for (auto _ : state) {
        for (int r = 0; r < kRequests; ++r)
            objects[size_t(r) % objects.size()]->QueueDraw(0, nullptr, nullptr, materials[size_t(r) % 5], 0, 0,
                                                          nullptr, nullptr, &textures[size_t(r) % 8]);
        RenderQueue::Flush();
    }
    state.SetItemsProcessed(state.iterations() * kRequests);
    for (VeObject* o : objects)
        o->Release();
    for (RenderMaterial* m : materials)
        m->Release();
    TextureManager::Clear();
}
BENCHMARK(QueueAddAndFlush)->Unit(benchmark::kMicrosecond);

// A chain of nodes each with a two-key sequence, posed at a new time each pass.
void PoseEvaluationPerNode(benchmark::State& state)
{
    const int nodes = int(state.range(0));
    Hierarchy* root = nullptr;
    Hierarchy* last = nullptr;
    for (int i = 0; i < nodes; ++i) {
        std::vector<std::unique_ptr<Sequence>> s;
        s.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {400, {1, 0, 0}, 1.2f}, {700, {0, 1, 0}, -0.4f}}));
        Hierarchy* h = MakeNode("part" + std::to_string(i), MakeSet(std::move(s)));
        if (last)
            last->children_.PushBack(h);
        else
            root = h;
        last = h;
    }
    VeObject* object = VeObject::FromHierarchy(root, false);
    const int32_t speed = 0x10000;
    object->PlaySequence(0, &speed, -1, 0, nullptr, 0, true);
    gfx::Matrix world;
    uint64_t time = 0;
    for (auto _ : state) {
        time += 13;
        object->Root()->Draw(0, time, world, 0, DrawFlag::kRecomputeMatrices | DrawFlag::kAnimateOnly, 0, nullptr);
        benchmark::DoNotOptimize(object->Root()->nodeMatrix_);
    }
    state.SetItemsProcessed(state.iterations() * nodes);
    object->Release();
    root->Release();
}
BENCHMARK(PoseEvaluationPerNode)->Arg(1)->Arg(16);

} // namespace

// Quads into the interface's sprite batch against a plain vertex append of
// the same quads (the floor a batch without clipping could reach), and the
// HUD's text for a frame with 100 units on screen.
#include "objects/teams.h"
#include "objects/unit.h"
#include "script/records.h"
#include "ui/hud_view.h"
#include "ui/hud.h"
#include "ui/sprite_batch.h"

#include <benchmark/benchmark.h>

#include <deque>
#include <vector>

namespace {

void SpriteBatchQuads(benchmark::State& state)
{
    size_t drawn = 0;
    SpriteBatch batch([&](std::span<const ScreenVertex> v, std::span<const uint16_t>, RenderMaterial*) {
        drawn += v.size();
    });
    batch.SetScreen(1280, 1024);
    float x = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            // Every eighth quad crosses the left edge and is clipped.
            const float left = (i & 7) == 0 ? -8.0f : x;
            batch.DrawQuad({left, left + 16, 100, 116}, {0.1f, 0.2f, 0.3f, 0.4f}, 0xFFFFFFFFu, 0.5f);
            x = x > 1200 ? 0 : x + 3;
        }
        batch.Flush();
    }
    benchmark::DoNotOptimize(drawn);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(SpriteBatchQuads);

// The same quads appended with no clipping or limits.
void PlainAppendQuads(benchmark::State& state)
{
    std::vector<ScreenVertex> vertices;
    std::vector<uint16_t> indices;
    vertices.reserve(4096);
    indices.reserve(6144);
    float x = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            if (vertices.size() > 2037) {
                benchmark::DoNotOptimize(vertices.data());
                vertices.clear();
                indices.clear();
            }
            const auto first = uint16_t(vertices.size());
            vertices.push_back({x, 100, 0.5f, 2, 0xFFFFFFFFu, 0, 0.1f, 0.3f});
            vertices.push_back({x + 16, 100, 0.5f, 2, 0xFFFFFFFFu, 0, 0.2f, 0.3f});
            vertices.push_back({x + 16, 116, 0.5f, 2, 0xFFFFFFFFu, 0, 0.2f, 0.4f});
            vertices.push_back({x, 116, 0.5f, 2, 0xFFFFFFFFu, 0, 0.1f, 0.4f});
            for (uint16_t k : {0, 1, 2, 0, 2, 3})
                indices.push_back(uint16_t(first + k));
            x = x > 1200 ? 0 : x + 3;
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(PlainAppendQuads);

struct BenchView : HudView {
    std::span<WorldObject* const> Objects() override { return objects; }
    std::span<WorldObject* const> Selected() override { return selected; }
    bool IsPaused() override { return true; }
    uint32_t Modifiers() override { return kModifierCtrl; }
    std::vector<WorldObject*> objects, selected;
};

// 100 client replicas: a third of another side, every tenth with a
// countdown, the first one selected.
void HudFrameWith100Units(benchmark::State& state)
{
    TeamTable::Build(4, 1, 0);
    ClientServices::Get().ownSide = 1;
    std::deque<script::Role> roles;
    BenchView view;
    for (uint32_t i = 1; i <= 100; ++i) {
        script::Role& role = roles.emplace_back();
        role.identifier = "Sentry";
        role.character.emplace();
        role.character->weapon = 3;
        WorldObject* unit = WorldObject::CreateFromMessage(i % 3 == 0 ? 2 : 1, &role,
                                                           {float(i % 10) - 5, 0, float(i)}, Quaternion::Identity(), i);
        if (i % 10 == 0)
            unit->SetProgress(0, float(i % 17));
        view.objects.push_back(unit);
    }
    view.selected = {view.objects[0]};
    HudView::Install(&view);
    int64_t now = 0;
    for (auto _ : state) {
        auto lines = Hud::BuildFrame(now += 16, 0.03f, 0.03f);
        WorldObject* target = Hud::ChooseTarget(*view.objects[0], 0, 0, view.objects);
        benchmark::DoNotOptimize(lines.data());
        benchmark::DoNotOptimize(target);
    }
    HudView::Install(nullptr);
    WorldObjectTable::DestroyAll();
    TeamTable::Clear();
}
BENCHMARK(HudFrameWith100Units);

} // namespace

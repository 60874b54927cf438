// Particles and text as a frame meets them: a full pool of 4096 particles
// updated (and drawn), and a console page of text queued and flushed.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/font.h"
#include "Veapi/particles.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"

namespace {

bool OpenDisplay()
{
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    InstallSceneHooks();
    return Display::Startup(nullptr) && Display::SetMode(640, 480, 32, 0) > 0 && Display::OpenDevice();
}

// Emitters in front of the camera that keep the pool full.
void FillPool()
{
    Particles::SetTickRate(1000);
    Particles::Startup();
    Particles::FloorHeight() = 1e6f;
    for (int group : {0, 3, 5, 7}) {
        ParticleEmitterDesc d;
        d.group = group;
        d.rate = 2000.0f;
        d.life = 1000000;
        Particles::CreateEmitter(d, {float(group) - 3.0f, 0, 20});
    }
    while (Particles::LiveCount() < Particles::kPoolSize)
        Particles::Update(50);
}

void ParticlesUpdate4096(benchmark::State& state)
{
    FillPool();
    for (auto _ : state)
        Particles::Update(16);
    state.counters["live"] = Particles::LiveCount();
    Particles::Shutdown();
}
BENCHMARK(ParticlesUpdate4096)->Unit(benchmark::kMicrosecond);

void ParticlesUpdateAndDraw4096(benchmark::State& state)
{
    if (!OpenDisplay()) {
        state.SkipWithError("no display");
        return;
    }
    Camera camera;
    camera.SetViewSize(2.0f * 640.0f / 480.0f, 2.0f);
    camera.SetNearFar(1.0f, 100.0f);
    camera.SetCurrent();
    FillPool();
    Display::Hooks().drawParticles = [] { Particles::Draw(); };
    for (auto _ : state) {
        Display::BeginScene();
        Display::Clear();
        Particles::Update(16);
        Display::EndFrame(nullptr, nullptr);
    }
    state.counters["live"] = Particles::LiveCount();
    Particles::Shutdown();
    Display::Shutdown();
}
BENCHMARK(ParticlesUpdateAndDraw4096)->Unit(benchmark::kMicrosecond);

void ConsolePageQueuedAndFlushed(benchmark::State& state)
{
    if (!OpenDisplay()) {
        state.SkipWithError("no display");
        return;
    }
    std::vector<int32_t> widths(256, 7);
    std::vector<uint8_t> rows(FontGlyphs::kGlyphs);
    for (int i = 0; i < FontGlyphs::kGlyphs; ++i)
        rows[size_t(i)] = uint8_t(i / 25);
    std::string error;
    TextureEntry* texture = TextureManager::Find("bench font");
    Font* font = Font::Load(texture, 12, widths, rows, error);
    if (!font) {
        state.SkipWithError(error.c_str());
        return;
    }
    // 40 lines of 80 characters: the console filling a 640 x 480 screen.
    std::vector<std::string> page;
    for (int line = 0; line < 40; ++line) {
        std::string text;
        for (int i = 0; i < 80; ++i)
            text.push_back(char(33 + (line * 7 + i) % 94));
        page.push_back(text);
    }
    const float height = font->LineHeight();
    for (auto _ : state) {
        for (size_t line = 0; line < page.size(); ++line)
            font->DrawString(0.0f, float(line) * height, 1.0f, 1.0f, page[line], 0.0f, 0xFFFFFFFFu, -1,
                             TextFlags::kOneLine, 0, 0);
        benchmark::DoNotOptimize(font->Flush());
    }
    state.counters["glyphs"] = 3200;
    font->Unload();
    texture->Unuse();
    Display::Shutdown();
}
BENCHMARK(ConsolePageQueuedAndFlushed)->Unit(benchmark::kMicrosecond);

} // namespace

// Frame begin and end with nothing drawn, and texture uploads, on the display
// as the game opens it (off-screen when no X display is given).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "Veapi/ve3d.h"
#include "platform/gfx.h"

namespace {

bool OpenDisplay(int depth)
{
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    return Display::Startup(nullptr) && Display::SetMode(640, 480, depth, 0) > 0 && Display::OpenDevice();
}

void FrameBeginEnd(benchmark::State& state)
{
    if (!OpenDisplay(int(state.range(0)))) {
        state.SkipWithError("no display");
        return;
    }
    for (auto _ : state) {
        Display::BeginScene();
        Display::Clear();
        Display::EndFrame(nullptr, nullptr);
    }
    Display::Shutdown();
}
BENCHMARK(FrameBeginEnd)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

void TextureUpload256(benchmark::State& state)
{
    if (!OpenDisplay(32)) {
        state.SkipWithError("no display");
        return;
    }
    const gfx::FormatDesc formats[] = {gfx::Rgb565(), gfx::Argb8888(), gfx::Dxt(gfx::kDxt1), gfx::Palette8()};
    auto texture = gfx::Texture::Create(256, 256, formats[state.range(0)], 1);
    uint32_t pitch = 0;
    uint8_t* p = texture->Lock(0, pitch);
    for (uint32_t i = 0; i < pitch * 64; ++i)
        p[i] = uint8_t(i * 7);
    for (auto _ : state) {
        texture->Lock(0, pitch);
        texture->Unlock(0);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(texture->Bytes()));
    texture.reset();
    Display::Shutdown();
}
BENCHMARK(TextureUpload256)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

} // namespace

namespace {

// Many small screen quads a frame, as text and particles draw them.
void SmallDraws(benchmark::State& state)
{
    if (!OpenDisplay(32)) {
        state.SkipWithError("no display");
        return;
    }
    struct V {
        float x, y, z, rhw;
        uint32_t diffuse, specular;
        float u, v;
    };
    const V quad[] = {{10, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {18, 10, 0.5f, 1, 0xFFFFFFFF, 0, 1, 0},
                      {18, 18, 0.5f, 1, 0xFFFFFFFF, 0, 1, 1}, {10, 18, 0.5f, 1, 0xFFFFFFFF, 0, 0, 1}};
    Display::BeginScene();
    for (auto _ : state)
        Display::Device()->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfTLVertex, quad, 4);
    Display::EndFrame(nullptr, nullptr);
    state.SetItemsProcessed(int64_t(state.iterations()));
    Display::Shutdown();
}
BENCHMARK(SmallDraws)->Unit(benchmark::kMicrosecond);

} // namespace

// Loading a 1024 x 1024 picture as a texture, against reading the file's bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Veapi/iff.h"
#include "Veapi/iff_image_reader.h"
#include "Veapi/texture_loader.h"
#include "platform/gfx_surface.h"

namespace {

constexpr uint32_t kSide = 1024;

// Per process, so parallel benchmark runs keep their inputs apart.
std::string TempName(const char* name)
{
    return "/tmp/trevok-bench-" + std::to_string(getpid()) + "-" + name;
}

void Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

std::string Bmp24()
{
    static std::string path = [] {
        std::string p = TempName("1024.bmp");
        std::vector<uint8_t> out = {'B', 'M'};
        auto le32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out.push_back(uint8_t(v >> (8 * i)));
        };
        uint32_t image = kSide * kSide * 3;
        le32(54 + image);
        le32(0);
        le32(54);
        le32(40);
        le32(kSide);
        le32(kSide);
        out.insert(out.end(), {1, 0, 24, 0});
        for (int i = 0; i < 6; ++i)
            le32(0);
        for (uint32_t y = 0; y < kSide; ++y)
            for (uint32_t x = 0; x < kSide; ++x)
                out.insert(out.end(), {uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
        Save(p, out);
        return p;
    }();
    return path;
}

std::string Ilbm(bool compress)
{
    std::string p = TempName(compress ? "1024-rle.rim" : "1024-raw.rim");
    ve::RegisterIffImageFormat();
    auto* form = new ve::IffForm(ve::kIffIlbm);
    auto* bmhd = new ve::IlbmBmhd;
    bmhd->width = bmhd->height = uint16_t(kSide);
    bmhd->planes = 8;
    bmhd->compression = compress;
    form->Append(bmhd);
    auto* cmap = new ve::IlbmCmap;
    for (uint32_t i = 0; i < 256; ++i)
        cmap->rgb.insert(cmap->rgb.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    form->Append(cmap);
    std::vector<uint32_t> values(size_t(kSide) * kSide);
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x)
            values[size_t(y) * kSide + x] = ((x / 32) + (y / 32) * 7) & 255;
    auto* body = new ve::IlbmBody;
    body->Encode(values, kSide, kSide, 8, compress);
    form->Append(body);
    ve::IffDocument doc;
    doc.SetRoot(form);
    doc.WriteFile(p);
    return p;
}

struct Device {
    gfx::MemorySurfaceFactory factory;
    gfx::DeviceCaps caps;
    Device()
    {
        caps.maxTextureWidth = caps.maxTextureHeight = 4096;
        ve::TextureLoader::RegisterBuiltinFormats();
        ve::TextureLoader::SetDevice(&factory, &caps);
        ve::TextureLoader::SetDefaultFormat(gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff));
    }
};

// ByteRun1 expansion of everything after the BODY header: the least any ILBM
// reader has to do beyond reading the file.
size_t ExpandBody(const std::vector<uint8_t>& file, size_t size, std::vector<uint8_t>& out)
{
    static const uint8_t kBody[] = {'B', 'O', 'D', 'Y'};
    auto at = std::search(file.begin(), file.begin() + std::ptrdiff_t(size), kBody, kBody + 4);
    size_t i = size_t(at - file.begin()) + 8, o = 0;
    while (i < size && o < out.size()) {
        int8_t n = int8_t(file[i++]);
        if (n >= 0) {
            size_t count = std::min<size_t>({size_t(n) + 1, size - i, out.size() - o});
            std::memcpy(out.data() + o, file.data() + i, count);
            i += count;
            o += count;
        } else if (n != -128 && i < size) {
            size_t count = std::min<size_t>(size_t(1 - n), out.size() - o);
            std::memset(out.data() + o, file[i++], count);
            o += count;
        }
    }
    return o;
}

void ReadBytes(benchmark::State& state, const std::string& path, bool expand = false)
{
    std::vector<uint8_t> buffer(size_t(kSide) * kSide * 4);
    std::vector<uint8_t> body(size_t(kSide) * kSide);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
        std::fclose(f);
        if (expand)
            n = ExpandBody(buffer, n, body);
        benchmark::DoNotOptimize(n);
    }
}

void LoadTexture(benchmark::State& state, const std::string& path)
{
    Device device;
    for (auto _ : state) {
        gfx::Surface* s = ve::TextureLoader::LoadTexture("s", path.c_str());
        if (!s) {
            state.SkipWithError("load failed");
            return;
        }
        s->Release();
    }
}

void BM_ReadBmpBytes(benchmark::State& state) { ReadBytes(state, Bmp24()); }
void BM_LoadBmp24(benchmark::State& state) { LoadTexture(state, Bmp24()); }
void BM_ReadIlbmBytes(benchmark::State& state) { ReadBytes(state, Ilbm(state.range(0)), state.range(0) != 0); }
void BM_LoadIlbm(benchmark::State& state) { LoadTexture(state, Ilbm(state.range(0))); }

BENCHMARK(BM_ReadBmpBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadIlbmBytes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadIlbm)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

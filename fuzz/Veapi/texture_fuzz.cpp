// Feeds arbitrary bytes to one image reader through the texture loader, as a
// texture, a mip-mapped texture, a palettised plain surface, a colour-keyed
// 16-bit texture and a kept image reloaded.
#include <cstring>

#include "Veapi/texture_loader.h"
#include "platform/gfx_surface.h"

namespace {

bool Accepts(const uint8_t* data, size_t size)
{
#if defined(TEXTURE_FUZZ_BMP)
    return size >= 2 && std::memcmp(data, "BM", 2) == 0;
#elif defined(TEXTURE_FUZZ_PNM)
    return size >= 2 && data[0] == 'P' && (data[1] == '4' || data[1] == '5' || data[1] == '6');
#else
    return size >= 4 && (std::memcmp(data, "FORM", 4) == 0 || std::memcmp(data, "LIST", 4) == 0 ||
                         std::memcmp(data, "CAT ", 4) == 0);
#endif
}

void Drop(gfx::Surface* s)
{
    if (s)
        s->Release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!Accepts(data, size) || size > (1u << 20))
        return 0;
    static gfx::MemorySurfaceFactory factory;
    static gfx::DeviceCaps caps = [] {
        gfx::DeviceCaps c;
        c.maxTextureWidth = c.maxTextureHeight = 1024;
        return c;
    }();
    using ve::TextureLoader;
    TextureLoader::RegisterBuiltinFormats();
    TextureLoader::SetDevice(&factory, &caps);
    auto x = uint32_t(size);

    TextureLoader::SetDefaultFormat(gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff));
    TextureLoader::AddFormat(gfx::FourCCFormat(gfx::kFourCCDxt1), 1, true, 0, true);
    TextureLoader::SetSurfaceFormat(gfx::PaletteFormat(8));
    ve::ImageReader* kept = nullptr;
    Drop(TextureLoader::LoadTexture("pxB", data, x, &kept));
    if (kept) {
        Drop(TextureLoader::LoadTexture("rf", kept, ve::kLoadMipMapped));
        TextureLoader::Release(kept);
    }
    Drop(TextureLoader::LoadTexture("pxfm", data, x, ve::kLoadMipMapped, 1u));
    Drop(TextureLoader::LoadSurface("px", data, x));
    ve::LoadRect rects[2] = {{0, 0, 8, 8, 0, 0, nullptr}, {4, 4, 64, 12, 0, 0, nullptr}};
    TextureLoader::LoadTexture("pxfa", data, x, ve::kLoadMipMapped, 2u, rects);
    Drop(rects[0].surface);
    Drop(rects[1].surface);

    TextureLoader::SetDefaultFormat(gfx::RgbFormat(16, 0xf800, 0x07e0, 0x001f));
    Drop(TextureLoader::LoadTexture("pxf", data, x, ve::kLoadColourKey | ve::kLoadStaging));
    return 0;
}

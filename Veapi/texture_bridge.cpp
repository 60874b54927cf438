#include "Veapi/texture_bridge.h"

#include <algorithm>
#include <cstring>

#include "Veapi/texture_loader.h"
#include "platform/gfx.h"
#include "platform/gfx_surface.h"

namespace ve {
namespace {

gfx::MemorySurfaceFactory& Memory()
{
    static gfx::MemorySurfaceFactory factory;
    return factory;
}

gfx::FormatDesc DisplayFormat(const gfx::PixelFormatDesc& f)
{
    if (f.flags & gfx::kPfFourCC)
        return gfx::Dxt(f.fourCC);
    if (f.flags & gfx::kPfPaletteIndexed8)
        return gfx::Palette8();
    gfx::FormatDesc d;
    d.flags = gfx::kFmtRgb | (f.alphaMask ? gfx::kFmtAlpha : 0);
    d.bits = f.bitCount;
    d.redMask = f.redMask;
    d.greenMask = f.greenMask;
    d.blueMask = f.blueMask;
    d.alphaMask = f.alphaMask;
    return d;
}

bool CopyLevels(gfx::Surface* top, gfx::Texture& texture)
{
    gfx::Surface* level = top;
    level->AddRef();
    bool ok = true;
    for (uint32_t i = 0; level && i < texture.Levels() && ok; ++i) {
        uint32_t pitch = 0;
        uint8_t* dst = texture.Lock(i, pitch);
        if (!dst) {
            ok = false;
            break;
        }
        uint32_t rows = gfx::RowCount(level->Format(), level->Height());
        uint32_t bytes = std::min(pitch, level->Pitch());
        for (uint32_t r = 0; r < rows; ++r)
            std::memcpy(dst + size_t(r) * pitch, level->Pixels().data() + size_t(r) * level->Pitch(), bytes);
        ok = texture.Unlock(i);
        gfx::Surface* next = nullptr;
        level->GetAttachedSurface(gfx::kCapsTexture | gfx::kCapsMipMap, &next);
        level->Release();
        level = next;
    }
    if (level)
        level->Release();
    if (ok && top->GetPalette()) {
        std::vector<uint32_t> argb;
        for (const gfx::PaletteEntry& e : top->GetPalette()->Entries())
            argb.push_back(0xff000000u | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue);
        texture.SetPalette(argb);
    }
    return ok;
}

} // namespace

void InstallTextureLoader(uint32_t maxTextureSize)
{
    static gfx::DeviceCaps caps;
    caps.maxTextureWidth = caps.maxTextureHeight = maxTextureSize;
    TextureLoader::RegisterBuiltinFormats();
    TextureLoader::SetDevice(&Memory(), &caps);
    gfx::PixelFormatDesc xrgb = gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff);
    gfx::PixelFormatDesc argb = gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff, 0xff000000);
    TextureLoader::SetDefaultFormat(xrgb);
    TextureLoader::SetSurfaceFormat(xrgb);
    // The last format that fits wins: alpha and colour keys need the alpha
    // channel; compressed files stay compressed.
    TextureLoader::AddFormat(xrgb, 0, false, 0, false);
    TextureLoader::AddFormat(argb, 8, true, 0, false);
    TextureLoader::AddFormat(gfx::FourCCFormat(gfx::kFourCCDxt1), 1, true, 0, true);
    TextureLoader::AddFormat(gfx::FourCCFormat(gfx::kFourCCDxt3), 8, true, 0, true);
}

bool LoadTextureForManager(const TextureLoadRequest& request, TextureLoadResult& result)
{
    uint32_t w = 0, h = 0, ox = 0, oy = 0;
    ImageReader* kept = nullptr;
    gfx::Surface* loaded;
    if (request.image) {
        auto* image = static_cast<ImageReader*>(request.image.get());
        loaded = TextureLoader::LoadTexture("rWHfm", image, &w, &h, request.options, request.reduction);
    } else {
        loaded = TextureLoader::LoadTexture("sfWHOXOYBm", request.path.c_str(), request.options, &w, &h, &ox,
                                            &oy, &kept, request.reduction);
    }
    if (!loaded)
        return false;
    gfx::SurfaceDesc desc;
    loaded->GetDesc(desc);
    uint32_t levels = desc.mipMapCount ? desc.mipMapCount : 1;
    gfx::FormatDesc format = DisplayFormat(desc.pixelFormat);
    gfx::Texture* target = request.target;
    std::unique_ptr<gfx::Texture> made;
    if (target && (target->Width() != w || target->Height() != h || !(target->Format() == format) ||
                   target->Levels() != levels))
        target = nullptr;  // a texture of another shape is not refilled
    if (!target && !request.target) {
        made = gfx::Texture::Create(w, h, format, levels);
        target = made.get();
    }
    bool ok = target && CopyLevels(loaded, *target);
    loaded->Release();
    if (!ok) {
        if (kept)
            TextureLoader::Release(kept);
        return false;
    }
    result.surface = std::move(made);
    result.width = w;
    result.height = h;
    result.chargeSize = uint32_t(target->Bytes());
    result.chargeFactor = 4096;
    if (kept)
        result.image = std::shared_ptr<void>(static_cast<void*>(kept), [](void* p) {
            TextureLoader::Release(static_cast<ImageReader*>(p));
        });
    return true;
}

} // namespace ve

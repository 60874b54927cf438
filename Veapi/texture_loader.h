// Turns an image (a file by path, an open descriptor, bounded memory or a kept
// image) into surfaces of the graphics layer: a texture or a plain surface in a
// pixel format chosen among what the device offers. Calls take a string of
// option letters followed by their arguments, printf style. The texture
// manager and the video textures call it, from the thread that owns the device.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "Veapi/image_reader.h"
#include "app/ref_counted.h"
#include "platform/gfx_surface.h"

namespace ve {

// Loader error codes (TextureLoader::LastError).
enum TextureError : uint32_t {
    kTexOk = 0,
    kTexGfxFailed = 1,         // a graphics-layer call failed
    kTexBadOptions = 2,        // bad option string, no source, or mip-mapping a plain surface
    kTexNoDevice = 3,          // no surface factory, invalid surface format, caps unknown
    kTexOpenFailed = 4,        // the file could not be opened (or closed)
    kTexReadFailed = 5,        // the medium reports a read or write failure
    kTexEndOfData = 6,         // the data ended early
    kTexUnknownFormat = 7,     // no reader for the first bytes, or a header form not taken
    kTexBadImage = 8,          // malformed image
    kTexPaletteMismatch = 9,   // the palette does not fit the palettised target
    kTexTargetMismatch = 11,   // the given target surface does not match
    kTexOddMipRect = 12,       // a rectangle's left or top is odd at a mip level
    kTexUnalignedRect = 13,    // a rectangle of a compressed image is off the 4-pixel grid
    kTexCompressedPalette = 14 // a compressed image cannot go into a palettised target
};

// Load flags (option 'f').
constexpr uint32_t kLoadColourKey = 0x0001;
constexpr uint32_t kLoadKeyFromImage = 0x0002;
constexpr uint32_t kLoadStaging = 0x0004;
constexpr uint32_t kLoadKeyWithAlpha = 0x0008;
constexpr uint32_t kLoadVideoMemory = 0x0010;
constexpr uint32_t kLoadImageFlags = 0x0020;
constexpr uint32_t kLoadTextureFormat = 0x0040;
constexpr uint32_t kLoadRectSize = 0x0080;
constexpr uint32_t kLoadRestoreLost = 0x0100;
constexpr uint32_t kLoadOnlyIfLost = 0x0200;
constexpr uint32_t kLoadMipMapped = 0x0400;
constexpr uint32_t kLoadAllLevels = 0x1000;

// The loader's description of a surface format.
struct PixelFormat {
    static constexpr uint8_t kPalettised = 0x01;
    static constexpr uint8_t kHasAlpha = 0x02;
    static constexpr uint8_t kValid = 0x04;
    static constexpr uint8_t kTransparent = 0x08;  // the image gives a transparent colour

    uint8_t flags = 0;
    uint32_t bits = 0;
    uint32_t redPos = 0, redLoss = 0, greenPos = 0, greenLoss = 0;
    uint32_t bluePos = 0, blueLoss = 0, alphaPos = 0, alphaLoss = 0;
    gfx::PixelFormatDesc desc;

    // 0, or 2 for a format the loader cannot fill.
    int FromDDPixelFormat(const gfx::PixelFormatDesc* format);
    bool Valid() const { return flags & kValid; }
    bool Palettised() const { return flags & kPalettised; }
    bool HasAlpha() const { return flags & kHasAlpha; }
    bool HasFourCC() const { return desc.flags & gfx::kPfFourCC; }
    uint32_t FourCC() const { return HasFourCC() ? desc.fourCC : 0; }
    // (value >> loss) << position per colour channel, with the alpha mask ORed in.
    uint32_t Pack(uint8_t r, uint8_t g, uint8_t b) const
    {
        return ((uint32_t(r) >> redLoss) << redPos) | ((uint32_t(g) >> greenLoss) << greenPos) |
               ((uint32_t(b) >> blueLoss) << bluePos) | desc.alphaMask;
    }
};

// A rectangle of option 'a': image pixels, right and bottom exclusive.
struct LoadRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    uint32_t outWidth = 0, outHeight = 0;
    gfx::Surface* surface = nullptr;  // in (with 't') or out
};

using ImageReaderFactory = ImageReader* (*)();
using LoadCallback = void (*)(void* context);

class TextureLoader {
public:
    // Options: s path | h descriptor | p address (needs x) | r kept image; x byte
    // limit; N consumed out; f flags; W/H surface size out; OX/OY image size out;
    // B kept image out; t target surface; c callback, context; a count, rects;
    // m levels to drop | n largest dimension; A alpha bits out.
    static gfx::Surface* LoadTexture(const char* format, ...);
    static gfx::Surface* LoadSurface(const char* format, ...);
    static gfx::Surface* Load(bool texture, const char* format, va_list args);

    static void RegisterFormat(const void* magic, uint32_t length, ImageReaderFactory factory);
    // BMP, PNM and IFF, as at program start.
    static void RegisterBuiltinFormats();

    static void SetDirectDraw(gfx::SurfaceFactory* factory);
    static int SetDevice(gfx::SurfaceFactory* factory, const gfx::DeviceCaps* caps);
    static void ClearDirectDraw();
    static int ReadDeviceCaps(const gfx::DeviceCaps* caps);
    static int SetDefaultFormat(const gfx::PixelFormatDesc& format);
    static int AddFormat(const gfx::PixelFormatDesc& format, uint32_t alphaBits, bool colourKeyCapable,
                         uint32_t paletteLimit, bool compressionBound);
    static int SetSurfaceFormat(const gfx::PixelFormatDesc& format);
    static int AdjustTextureSize(uint32_t* outWidth, uint32_t* outHeight, uint32_t width,
                                 uint32_t height, uint32_t flags);
    // The copy into a device texture when the device cannot copy directly:
    // `source` into the A8R8G8B8 surface `wide`, converted into `narrow` (of
    // the final surface's format; 16-bit pixels channel by channel, 24 and
    // 32-bit ones by their colour bytes), then `narrow` into `final`. All
    // four have the same size. False (error 1) when any step fails.
    static bool ConvertBySoftware(gfx::Surface* source, gfx::Surface* wide, gfx::Surface* narrow,
                                  gfx::Surface* final);
    // Drops one reference of a kept image: 2 when given none, else 0.
    static int Release(ImageReader* kept);
    // Frees the format candidates and the reader registry.
    static void Shutdown();

    static uint32_t LastError();
    static int LastOsError();
    static int LastGfxResult();
    static void NoteGfxResult(int result);
    // The display the loader creates surfaces on (null when none is set).
    static gfx::SurfaceFactory* Display();

    // For readers: the first error of a load wins.
    static void Fail(uint32_t code);
    static void FailOs(uint32_t code, int osError);
    static PixelFormat& SurfaceFormat();
    static const PixelFormat& TargetFormat();
};

} // namespace ve

// Surfaces of the graphics layer: textures and off-screen surfaces with a pixel
// format (RGB, palettised, DXT1/DXT3), locked through a CPU-side copy of their
// pixels. The texture loader fills them; the display backs them with GL textures.
#pragma once

#include "platform/ref_counted.h"
#include "platform/unfilled_bytes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace gfx {

// Results of surface calls; 0 is success.
enum Result : int32_t {
    kOk = 0,
    kErrGeneric = -1,
    kErrInvalidParams = -2,
    kErrOutOfMemory = -3,
    kErrNotFound = -4,
    kErrSurfaceLost = -5,
    kErrLocked = -6,
    kErrUnsupported = -7,
};

// Pixel-format flags.
constexpr uint32_t kPfAlphaPixels = 0x0001;
constexpr uint32_t kPfAlpha = 0x0002;
constexpr uint32_t kPfFourCC = 0x0004;
constexpr uint32_t kPfPaletteIndexed4 = 0x0008;
constexpr uint32_t kPfPaletteIndexedTo8 = 0x0010;
constexpr uint32_t kPfPaletteIndexed8 = 0x0020;
constexpr uint32_t kPfRgb = 0x0040;
constexpr uint32_t kPfYuv = 0x0200;
constexpr uint32_t kPfZBuffer = 0x0400;
constexpr uint32_t kPfPaletteIndexed1 = 0x0800;
constexpr uint32_t kPfPaletteIndexed2 = 0x1000;
constexpr uint32_t kPfZPixels = 0x2000;

constexpr uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kFourCCDxt1 = MakeFourCC('D', 'X', 'T', '1');
constexpr uint32_t kFourCCDxt3 = MakeFourCC('D', 'X', 'T', '3');

// A surface's pixel layout: 32 bytes, the size field first.
struct PixelFormatDesc {
    uint32_t size = 32;
    uint32_t flags = 0;
    uint32_t fourCC = 0;
    uint32_t bitCount = 0;
    uint32_t redMask = 0;
    uint32_t greenMask = 0;
    uint32_t blueMask = 0;
    uint32_t alphaMask = 0;
};

bool operator==(const PixelFormatDesc& a, const PixelFormatDesc& b);

PixelFormatDesc RgbFormat(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0);
PixelFormatDesc PaletteFormat(uint32_t bits);
PixelFormatDesc FourCCFormat(uint32_t fourCC);

// Surface capabilities.
constexpr uint32_t kCapsComplex = 0x00000008;
constexpr uint32_t kCapsOffscreenPlain = 0x00000040;
constexpr uint32_t kCapsSystemMemory = 0x00000800;
constexpr uint32_t kCapsTexture = 0x00001000;
constexpr uint32_t kCapsVideoMemory = 0x00004000;
constexpr uint32_t kCapsMipMap = 0x00400000;
constexpr uint32_t kCapsNonLocalVidMem = 0x08000000;
constexpr uint32_t kCapsLocalVidMem = 0x10000000;
constexpr uint32_t kCaps2TextureManage = 0x00000010;
constexpr uint32_t kCaps2DoNotPersist = 0x00040000;

// Which fields of a SurfaceDesc are meaningful.
constexpr uint32_t kSdCaps = 0x00000001;
constexpr uint32_t kSdHeight = 0x00000002;
constexpr uint32_t kSdWidth = 0x00000004;
constexpr uint32_t kSdPitch = 0x00000008;
constexpr uint32_t kSdPixelFormat = 0x00001000;
constexpr uint32_t kSdMipMapCount = 0x00020000;
constexpr uint32_t kSdLinearSize = 0x00080000;
constexpr uint32_t kSdTextureStage = 0x00100000;

struct SurfaceDesc {
    uint32_t flags = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;  // bytes per row; for DXT formats bytes per row of 4x4 blocks
    uint32_t mipMapCount = 0;
    uint32_t textureStage = 0;
    PixelFormatDesc pixelFormat;
    uint32_t caps = 0;
    uint32_t caps2 = 0;
    // The creator writes every pixel of the top level before anything reads
    // it, so its bytes need not start zeroed. Rows with padding bytes and
    // block formats are zeroed all the same.
    bool topLevelWritten = false;
};

// Pixel storage; a surface made with its rows to be written whole skips the zero fill.
using PixelBytes = platform::UnfilledBytes;

struct PaletteEntry {
    uint8_t red = 0, green = 0, blue = 0, flags = 0;
};

// Palette capabilities: entry count by depth.
constexpr uint32_t kPalCaps4Bit = 0x001;
constexpr uint32_t kPalCaps8BitEntries = 0x002;
constexpr uint32_t kPalCaps8Bit = 0x004;
constexpr uint32_t kPalCapsAllow256 = 0x040;
constexpr uint32_t kPalCaps1Bit = 0x100;
constexpr uint32_t kPalCaps2Bit = 0x200;

// Reference counted like every object of the layer: created with a count of 1.
class Palette : public RefCounted {
public:
    Palette(uint32_t caps, const PaletteEntry* entries, uint32_t count);
    uint32_t Caps() const { return caps_; }
    const std::vector<PaletteEntry>& Entries() const { return entries_; }

private:
    ~Palette() override = default;
    uint32_t caps_;
    std::vector<PaletteEntry> entries_;
};

class Surface : public RefCounted {
public:
    // Builds one level; mip chains are built by SurfaceFactory::CreateSurface.
    // `zeroed` false leaves the pixels unfilled where every byte of every row
    // is a pixel's (the creator then writes them all).
    Surface(uint32_t width, uint32_t height, const PixelFormatDesc& format, uint32_t caps,
            uint32_t caps2, bool zeroed = true);
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Fills caps, size, pitch, pixel format and, for a mip chain, the level count.
    void GetDesc(SurfaceDesc& desc) const;
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint32_t Pitch() const { return pitch_; }
    const PixelFormatDesc& Format() const { return format_; }
    uint32_t Caps() const { return caps_; }

    Result Lock(void** bits, uint32_t* pitch);
    Result Unlock();
    // Bumped at each unlock, so a backend knows when to upload the pixels again.
    uint32_t Generation() const { return generation_; }
    PixelBytes& Pixels() { return pixels_; }
    const PixelBytes& Pixels() const { return pixels_; }

    // Source colour key: pixels whose value lies in [low, high] are transparent.
    Result SetColorKey(uint32_t low, uint32_t high);
    bool ColorKey(uint32_t* low, uint32_t* high) const;

    Result SetPalette(Palette* palette);
    Palette* GetPalette() const { return palette_; }

    // The next smaller level of a mip chain (one reference for the caller).
    Result GetAttachedSurface(uint32_t caps, Surface** next);

    bool IsLost() const { return lost_; }
    Result Restore();
    void MarkLost() { lost_ = true; }

    // Copies the whole source into this surface, converting the format: RGB,
    // palettised and DXT1/DXT3 sources; RGB targets or the same format.
    Result Blt(Surface* source);

    // Decodes one pixel as 0xAARRGGBB (for readers of the pixels and tests).
    uint32_t ReadArgb(uint32_t x, uint32_t y) const;

private:
    friend class MemorySurfaceFactory;
    ~Surface() override;

    uint32_t width_, height_, pitch_ = 0;
    PixelFormatDesc format_;
    uint32_t caps_, caps2_;
    PixelBytes pixels_;
    bool locked_ = false;
    bool lost_ = false;
    uint32_t generation_ = 0;
    bool hasKey_ = false;
    uint32_t keyLow_ = 0, keyHigh_ = 0;
    Palette* palette_ = nullptr;
    Surface* next_ = nullptr;  // owned: the next mip level
    uint32_t levels_ = 0;      // levels from this one down, when part of a mip chain
};

// Bytes a level of this format needs per row (per row of blocks for DXT formats).
uint32_t RowPitch(const PixelFormatDesc& format, uint32_t width);
uint32_t RowCount(const PixelFormatDesc& format, uint32_t height);

// Decodes one 4x4 block of DXT1 (8 bytes) or DXT3 (16 bytes) into 16 ARGB pixels.
void DecodeDxtBlock(uint32_t fourCC, const uint8_t* block, uint32_t argb[16]);

// The display's colour ramps, 0 to 65535 per entry.
struct GammaRamp {
    uint16_t red[256] = {}, green[256] = {}, blue[256] = {};
};

// Creates surfaces and palettes: what the texture loader asks of the display.
class SurfaceFactory {
public:
    virtual ~SurfaceFactory() = default;
    // A description with kSdMipMapCount and kCapsMipMap builds the whole chain.
    virtual Result CreateSurface(const SurfaceDesc& desc, Surface** surface) = 0;
    virtual Result CreatePalette(uint32_t caps, const PaletteEntry* entries, Palette** palette) = 0;
    // Whether the display's gamma ramp can be read and set.
    virtual bool HasPrimaryGamma() const { return false; }
    virtual Result GetGammaRamp(GammaRamp&) { return kErrUnsupported; }
    virtual Result SetGammaRamp(const GammaRamp&) { return kErrUnsupported; }
};

// Keeps every surface in memory. A texture asked for in video memory, or with
// no memory placement, reports video memory, as a managed texture would. The
// gamma ramp is kept too (identity at first), so callers can be tested.
class MemorySurfaceFactory : public SurfaceFactory {
public:
    MemorySurfaceFactory();
    Result CreateSurface(const SurfaceDesc& desc, Surface** surface) override;
    Result CreatePalette(uint32_t caps, const PaletteEntry* entries, Palette** palette) override;
    bool HasPrimaryGamma() const override { return true; }
    Result GetGammaRamp(GammaRamp& ramp) override;
    Result SetGammaRamp(const GammaRamp& ramp) override;

private:
    GammaRamp gamma_;
};

// The texture capabilities of a device that the loader needs.
constexpr uint32_t kDevCapsTextureSystemMemory = 0x00000100;
constexpr uint32_t kDevCapsTextureVideoMemory = 0x00000200;
constexpr uint32_t kDevCapsTextureNonLocalVidMem = 0x00001000;
constexpr uint32_t kTexCapsPow2 = 0x00000002;
constexpr uint32_t kTexCapsSquareOnly = 0x00000020;

struct DeviceCaps {
    uint32_t devCaps = kDevCapsTextureVideoMemory;
    uint32_t textureCaps = 0;
    uint32_t minTextureWidth = 1, minTextureHeight = 1;
    uint32_t maxTextureWidth = 2048, maxTextureHeight = 2048;
};

} // namespace gfx

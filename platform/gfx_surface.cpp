#include "platform/gfx_surface.h"

#include <bit>
#include <cstring>
#include <new>

namespace gfx {

bool operator==(const PixelFormatDesc& a, const PixelFormatDesc& b)
{
    return a.flags == b.flags && a.fourCC == b.fourCC && a.bitCount == b.bitCount &&
           a.redMask == b.redMask && a.greenMask == b.greenMask && a.blueMask == b.blueMask &&
           a.alphaMask == b.alphaMask;
}

PixelFormatDesc RgbFormat(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    PixelFormatDesc f;
    f.flags = kPfRgb | (a ? kPfAlphaPixels : 0);
    f.bitCount = bits;
    f.redMask = r;
    f.greenMask = g;
    f.blueMask = b;
    f.alphaMask = a;
    return f;
}

PixelFormatDesc PaletteFormat(uint32_t bits)
{
    PixelFormatDesc f;
    f.flags = kPfRgb | (bits == 1   ? kPfPaletteIndexed1
                        : bits == 2 ? kPfPaletteIndexed2
                        : bits == 4 ? kPfPaletteIndexed4
                                    : kPfPaletteIndexed8);
    f.bitCount = bits;
    return f;
}

PixelFormatDesc FourCCFormat(uint32_t fourCC)
{
    PixelFormatDesc f;
    f.flags = kPfFourCC;
    f.fourCC = fourCC;
    return f;
}

static bool IsDxt(const PixelFormatDesc& f)
{
    return (f.flags & kPfFourCC) && (f.fourCC == kFourCCDxt1 || f.fourCC == kFourCCDxt3);
}

static uint32_t PaletteBits(const PixelFormatDesc& f)
{
    if (f.flags & kPfPaletteIndexed8)
        return 8;
    if (f.flags & kPfPaletteIndexed4)
        return 4;
    if (f.flags & kPfPaletteIndexed2)
        return 2;
    if (f.flags & kPfPaletteIndexed1)
        return 1;
    return 0;
}

static uint32_t BitsPerPixel(const PixelFormatDesc& f)
{
    if (uint32_t p = PaletteBits(f))
        return p;
    return f.bitCount;
}

uint32_t RowPitch(const PixelFormatDesc& format, uint32_t width)
{
    if (format.flags & kPfFourCC) {
        uint32_t blocks = (width + 3) / 4;
        return blocks * (format.fourCC == kFourCCDxt1 ? 8u : 16u);
    }
    uint64_t bytes = (uint64_t(width) * BitsPerPixel(format) + 7) / 8;
    return uint32_t((bytes + 3) & ~uint64_t(3));
}

uint32_t RowCount(const PixelFormatDesc& format, uint32_t height)
{
    return (format.flags & kPfFourCC) ? (height + 3) / 4 : height;
}

Palette::Palette(uint32_t caps, const PaletteEntry* entries, uint32_t count)
    : caps_(caps), entries_(entries, entries + count)
{
}

Surface::Surface(uint32_t width, uint32_t height, const PixelFormatDesc& format, uint32_t caps,
                 uint32_t caps2, bool zeroed)
    : width_(width), height_(height), format_(format), caps_(caps), caps2_(caps2)
{
    pitch_ = RowPitch(format, width);
    const size_t bytes = size_t(pitch_) * RowCount(format, height);
    // Padding at a row's end is no pixel's, so no writer of pixels fills it.
    const bool rowsArePixels = !(format.flags & kPfFourCC) && uint64_t(pitch_) * 8 == uint64_t(width) * BitsPerPixel(format);
    if (zeroed || !rowsArePixels)
        pixels_.assign(bytes, 0);
    else
        pixels_.resize(bytes);
}

Surface::~Surface()
{
    if (palette_)
        palette_->Release();
    if (next_)
        next_->Release();
}

void Surface::GetDesc(SurfaceDesc& desc) const
{
    desc = SurfaceDesc{};
    desc.flags = kSdCaps | kSdWidth | kSdHeight | kSdPitch | kSdPixelFormat;
    desc.width = width_;
    desc.height = height_;
    desc.pitch = pitch_;
    desc.pixelFormat = format_;
    desc.caps = caps_;
    desc.caps2 = caps2_;
    if (levels_ > 0) {
        desc.flags |= kSdMipMapCount;
        desc.mipMapCount = levels_;
    }
}

Result Surface::Lock(void** bits, uint32_t* pitch)
{
    if (lost_)
        return kErrSurfaceLost;
    if (locked_)
        return kErrLocked;
    locked_ = true;
    *bits = pixels_.data();
    *pitch = pitch_;
    return kOk;
}

Result Surface::Unlock()
{
    if (!locked_)
        return kErrInvalidParams;
    locked_ = false;
    ++generation_;
    return kOk;
}

Result Surface::SetColorKey(uint32_t low, uint32_t high)
{
    hasKey_ = true;
    keyLow_ = low;
    keyHigh_ = high;
    return kOk;
}

bool Surface::ColorKey(uint32_t* low, uint32_t* high) const
{
    if (low)
        *low = keyLow_;
    if (high)
        *high = keyHigh_;
    return hasKey_;
}

Result Surface::SetPalette(Palette* palette)
{
    if (palette)
        palette->AddRef();
    if (palette_)
        palette_->Release();
    palette_ = palette;
    return kOk;
}

Result Surface::GetAttachedSurface(uint32_t caps, Surface** next)
{
    *next = nullptr;
    if (!next_ || (next_->caps_ & caps) != caps)
        return kErrNotFound;
    next_->AddRef();
    *next = next_;
    return kOk;
}

Result Surface::Restore()
{
    lost_ = false;
    return kOk;
}

static uint32_t Expand565(uint16_t c, uint32_t alpha)
{
    uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    r = (r << 3) | (r >> 2);
    g = (g << 2) | (g >> 4);
    b = (b << 3) | (b >> 2);
    return alpha << 24 | r << 16 | g << 8 | b;
}

static uint32_t Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xff; }

void DecodeDxtBlock(uint32_t fourCC, const uint8_t* block, uint32_t argb[16])
{
    const uint8_t* colour = block;
    uint64_t alphas = 0;
    bool explicitAlpha = fourCC != kFourCCDxt1;
    if (explicitAlpha) {
        for (int i = 7; i >= 0; --i)
            alphas = alphas << 8 | block[i];
        colour = block + 8;
    }
    uint16_t c0 = uint16_t(colour[0] | colour[1] << 8);
    uint16_t c1 = uint16_t(colour[2] | colour[3] << 8);
    uint32_t table[4];
    table[0] = Expand565(c0, 255);
    table[1] = Expand565(c1, 255);
    auto mix = [&](uint32_t wa, uint32_t wb, uint32_t div) {
        uint32_t out = 0xff000000;
        for (int shift : {16, 8, 0})
            out |= ((wa * Channel(table[0], shift) + wb * Channel(table[1], shift)) / div) << shift;
        return out;
    };
    // Four colours always with explicit alpha; DXT1 switches to three and
    // transparent black when the first colour is not the larger.
    if (explicitAlpha || c0 > c1) {
        table[2] = mix(2, 1, 3);
        table[3] = mix(1, 2, 3);
    } else {
        table[2] = mix(1, 1, 2);
        table[3] = 0;
    }
    uint32_t indices = uint32_t(colour[4] | colour[5] << 8 | colour[6] << 16) | uint32_t(colour[7]) << 24;
    for (int i = 0; i < 16; ++i) {
        uint32_t px = table[(indices >> (2 * i)) & 3];
        if (explicitAlpha) {
            uint32_t a = uint32_t(alphas >> (4 * i)) & 15;
            px = (px & 0x00ffffff) | (a * 17) << 24;
        }
        argb[i] = px;
    }
}

static uint32_t MaskShift(uint32_t mask) { return mask ? uint32_t(std::countr_zero(mask)) : 0; }

static uint32_t ExpandChannel(uint32_t pixel, uint32_t mask, uint32_t absent)
{
    if (!mask)
        return absent;
    uint32_t bits = uint32_t(std::popcount(mask));
    uint32_t v = (pixel & mask) >> MaskShift(mask);
    if (bits >= 8)
        return v >> (bits - 8);
    // Replicate the bits so that full scale stays full scale.
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += int(bits))
        out = out << bits | v;
    int total = ((8 + int(bits) - 1) / int(bits)) * int(bits);
    return (out >> (total - 8)) & 0xff;
}

static uint32_t LoadRaw(const uint8_t* p, uint32_t bytes)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes; ++i)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

uint32_t Surface::ReadArgb(uint32_t x, uint32_t y) const
{
    if (x >= width_ || y >= height_)
        return 0;
    const uint8_t* row = pixels_.data() + size_t(pitch_) * (IsDxt(format_) ? y / 4 : y);
    if (IsDxt(format_)) {
        uint32_t blockBytes = format_.fourCC == kFourCCDxt1 ? 8 : 16;
        uint32_t argb[16];
        DecodeDxtBlock(format_.fourCC, row + (x / 4) * blockBytes, argb);
        return argb[(y % 4) * 4 + x % 4];
    }
    if (uint32_t bits = PaletteBits(format_)) {
        uint32_t bitPos = x * bits;
        uint32_t index = (row[bitPos / 8] >> (bitPos % 8)) & ((1u << bits) - 1);
        if (!palette_ || index >= palette_->Entries().size())
            return 0xff000000;
        const PaletteEntry& e = palette_->Entries()[index];
        return 0xff000000 | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
    }
    uint32_t bytes = format_.bitCount / 8;
    if (bytes == 0)
        return 0;
    uint32_t px = LoadRaw(row + size_t(x) * bytes, bytes);
    return ExpandChannel(px, format_.alphaMask, 255) << 24 |
           ExpandChannel(px, format_.redMask, 0) << 16 | ExpandChannel(px, format_.greenMask, 0) << 8 |
           ExpandChannel(px, format_.blueMask, 0);
}

static uint32_t PackArgb(const PixelFormatDesc& f, uint32_t argb)
{
    auto put = [](uint32_t v8, uint32_t mask) -> uint32_t {
        if (!mask)
            return 0;
        uint32_t bits = uint32_t(std::popcount(mask));
        uint32_t v = bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits);
        return (v << MaskShift(mask)) & mask;
    };
    return put(Channel(argb, 16), f.redMask) | put(Channel(argb, 8), f.greenMask) |
           put(Channel(argb, 0), f.blueMask) | put(Channel(argb, 24), f.alphaMask);
}

Result Surface::Blt(Surface* source)
{
    if (!source || source == this)
        return kErrInvalidParams;
    if (lost_ || source->lost_)
        return kErrSurfaceLost;
    if (locked_ || source->locked_)
        return kErrLocked;
    if (source->width_ != width_ || source->height_ != height_)
        return kErrUnsupported;
    if (source->format_ == format_) {
        pixels_ = source->pixels_;
        ++generation_;
        return kOk;
    }
    bool rgbTarget = (format_.flags & kPfRgb) && !PaletteBits(format_) && format_.bitCount >= 8 &&
                     format_.bitCount % 8 == 0;
    if (!rgbTarget)
        return kErrUnsupported;
    uint32_t bytes = format_.bitCount / 8;
    for (uint32_t y = 0; y < height_; ++y) {
        uint8_t* row = pixels_.data() + size_t(pitch_) * y;
        for (uint32_t x = 0; x < width_; ++x) {
            uint32_t v = PackArgb(format_, source->ReadArgb(x, y));
            for (uint32_t i = 0; i < bytes; ++i)
                row[size_t(x) * bytes + i] = uint8_t(v >> (8 * i));
        }
    }
    ++generation_;
    return kOk;
}

MemorySurfaceFactory::MemorySurfaceFactory()
{
    for (uint32_t i = 0; i < 256; ++i)
        gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = uint16_t(i * 257);
}

Result MemorySurfaceFactory::GetGammaRamp(GammaRamp& ramp)
{
    ramp = gamma_;
    return kOk;
}

Result MemorySurfaceFactory::SetGammaRamp(const GammaRamp& ramp)
{
    gamma_ = ramp;
    return kOk;
}

Result MemorySurfaceFactory::CreateSurface(const SurfaceDesc& desc, Surface** surface)
{
    *surface = nullptr;
    if (!(desc.flags & kSdWidth) || !(desc.flags & kSdHeight) || desc.width == 0 || desc.height == 0)
        return kErrInvalidParams;
    PixelFormatDesc format = (desc.flags & kSdPixelFormat) ? desc.pixelFormat
                                                           : RgbFormat(32, 0xff0000, 0xff00, 0xff);
    if ((format.flags & kPfFourCC) && !IsDxt(format))
        return kErrUnsupported;
    if (!(format.flags & kPfFourCC) && BitsPerPixel(format) == 0)
        return kErrInvalidParams;
    uint32_t caps = (desc.flags & kSdCaps) ? desc.caps : kCapsOffscreenPlain;
    // Surfaces live in memory; what a driver would place in video memory says so.
    if (!(caps & (kCapsSystemMemory | kCapsVideoMemory)))
        caps |= kCapsVideoMemory | kCapsLocalVidMem;
    uint32_t levels = 1;
    if ((desc.flags & kSdMipMapCount) && (caps & kCapsMipMap))
        levels = desc.mipMapCount;
    if (levels == 0 || levels > 32 || uint64_t(desc.width) * desc.height > (uint64_t(1) << 26))
        return kErrInvalidParams;
    try {
        Surface* top = nullptr;
        Surface* previous = nullptr;
        uint32_t w = desc.width, h = desc.height;
        for (uint32_t i = 0; i < levels; ++i) {
            auto* s = new Surface(w, h, format, caps, desc.caps2, !(i == 0 && desc.topLevelWritten));
            if (levels > 1)
                s->levels_ = levels - i;
            if (previous)
                previous->next_ = s;
            else
                top = s;
            previous = s;
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
        }
        *surface = top;
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    return kOk;
}

Result MemorySurfaceFactory::CreatePalette(uint32_t caps, const PaletteEntry* entries,
                                           Palette** palette)
{
    uint32_t count = (caps & kPalCaps8Bit)   ? 256
                     : (caps & kPalCaps4Bit) ? 16
                     : (caps & kPalCaps2Bit) ? 4
                     : (caps & kPalCaps1Bit) ? 2
                                             : 0;
    if (!count || !entries) {
        *palette = nullptr;
        return kErrInvalidParams;
    }
    *palette = new Palette(caps, entries, count);
    return kOk;
}

} // namespace gfx

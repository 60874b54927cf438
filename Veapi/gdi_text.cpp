#include "Veapi/gdi_text.h"

#include "Veapi/font.h"
#include "Veapi/texture_manager.h"
#include "platform/gfx.h"
#include "platform/gfx_surface.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

namespace {

struct GdiStyle {
    const Font* font = nullptr;
    uint32_t text = 0xFFFFFFFFu;
    uint32_t background = kGdiTransparent;
};
GdiStyle g_style;

// One channel of a packed pixel as 0..255.
uint32_t Channel(uint32_t pixel, uint32_t mask)
{
    if (!mask)
        return 0;
    const uint32_t value = (pixel & mask) >> std::countr_zero(mask);
    const uint32_t max = mask >> std::countr_zero(mask);
    return value * 255u / max;
}

uint32_t Pack(uint32_t argb, const gfx::PixelFormatDesc& f)
{
    auto put = [](uint32_t value8, uint32_t mask) -> uint32_t {
        if (!mask)
            return 0;
        const uint32_t max = mask >> std::countr_zero(mask);
        return ((value8 * max + 127u) / 255u) << std::countr_zero(mask);
    };
    return put((argb >> 16) & 0xFF, f.redMask) | put((argb >> 8) & 0xFF, f.greenMask) | put(argb & 0xFF, f.blueMask) |
           put(argb >> 24, f.alphaMask);
}

uint32_t ReadPixel(const uint8_t* row, int32_t x, uint32_t bytes)
{
    const uint8_t* p = row + size_t(x) * bytes;
    return bytes == 2 ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
}

void WritePixel(uint8_t* row, int32_t x, uint32_t bytes, uint32_t value)
{
    uint8_t* p = row + size_t(x) * bytes;
    for (uint32_t i = 0; i < bytes; ++i)
        p[i] = uint8_t(value >> (8 * i));
}

// The font texture's top level, read in place: the copy is never changed, so
// it is not unlocked (which would upload it again).
struct GlyphPixels {
    const uint8_t* bits = nullptr;
    uint32_t pitch = 0, width = 0, height = 0, bytes = 0;
    gfx::FormatDesc format;

    bool Covered(int32_t x, int32_t y) const
    {
        if (x < 0 || y < 0 || uint32_t(x) >= width || uint32_t(y) >= height)
            return false;
        const uint32_t texel = ReadPixel(bits + size_t(y) * pitch, x, bytes);
        const uint32_t level = format.alphaMask ? Channel(texel, format.alphaMask)
                                                : std::max({Channel(texel, format.redMask),
                                                            Channel(texel, format.greenMask),
                                                            Channel(texel, format.blueMask)});
        return level >= 128;
    }
};

bool FindGlyphPixels(const Font& font, GlyphPixels& out)
{
    TextureEntry* entry = font.Texture();
    gfx::Texture* texture = entry ? entry->Surface() : nullptr;
    if (!texture)
        return false;
    const gfx::FormatDesc& f = texture->Format();
    if (!(f.flags & gfx::kFmtRgb) || (f.bits != 16 && f.bits != 32))
        return false;
    out.bits = texture->Lock(0, out.pitch);
    out.width = texture->Width();
    out.height = texture->Height();
    out.bytes = f.bits / 8;
    out.format = f;
    return out.bits != nullptr;
}

bool TargetFormatUsable(const gfx::PixelFormatDesc& f)
{
    return (f.flags & gfx::kPfRgb) && (f.bitCount == 16 || f.bitCount == 32);
}

} // namespace

void SetGdiTextStyle(const Font* font, uint32_t textColour, uint32_t backgroundColour)
{
    g_style = {font, textColour, backgroundColour};
}

bool MeasureGdiText(std::string_view text, int32_t& width, int32_t& height)
{
    width = height = 0;
    if (!g_style.font)
        return false;
    int64_t pen = 0;
    for (const char ch : text)
        pen += std::max(GlyphAdvance(g_style.font->Widths(), ch), 0);
    width = int32_t(std::min<int64_t>(pen, INT32_MAX));
    height = g_style.font->LineHeightPixels();
    return true;
}

bool DrawGdiText(std::string_view text, gfx::Surface& surface, int32_t x, int32_t y, const GdiRect* clip)
{
    const Font* font = g_style.font;
    GlyphPixels glyphs;
    if (!font || !FindGlyphPixels(*font, glyphs) || !TargetFormatUsable(surface.Format()))
        return false;
    void* bits = nullptr;
    uint32_t pitch = 0;
    if (surface.Lock(&bits, &pitch) != gfx::kOk)
        return false;
    const gfx::PixelFormatDesc& format = surface.Format();
    const uint32_t bytes = format.bitCount / 8;
    // Everything written lies inside both the surface and the rectangle.
    int64_t left = 0, top = 0, right = surface.Width(), bottom = surface.Height();
    if (clip) {
        left = std::max<int64_t>(left, clip->left);
        top = std::max<int64_t>(top, clip->top);
        right = std::min<int64_t>(right, clip->right);
        bottom = std::min<int64_t>(bottom, clip->bottom);
    }
    auto fill = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t value) {
        x0 = std::max(x0, left), y0 = std::max(y0, top), x1 = std::min(x1, right), y1 = std::min(y1, bottom);
        for (int64_t py = y0; py < y1; ++py)
            for (int64_t px = x0; px < x1; ++px)
                WritePixel(static_cast<uint8_t*>(bits) + size_t(py) * pitch, int32_t(px), bytes, value);
    };
    const bool opaque = g_style.background != kGdiTransparent;
    const uint32_t textValue = Pack(g_style.text, format), backgroundValue = Pack(g_style.background, format);
    if (opaque && clip)
        fill(left, top, right, bottom, backgroundValue);

    const int32_t lineHeight = font->LineHeightPixels();
    const GlyphTable& table = font->Glyphs();
    int64_t pen = x;
    for (const char ch : text) {
        const int32_t advance = std::max(GlyphAdvance(font->Widths(), ch), 0);
        if (opaque)
            fill(pen, y, pen + advance, int64_t(y) + lineHeight, backgroundValue);
        const int glyph = GlyphIndexOf(ch);
        const int32_t u0 = int32_t(std::lround(table.left[glyph] * float(glyphs.width)));
        const int32_t v0 = int32_t(std::lround(table.top[glyph] * float(glyphs.height)));
        const int32_t u1 = int32_t(std::lround(table.right[glyph] * float(glyphs.width)));
        const int32_t v1 = int32_t(std::lround(table.bottom[glyph] * float(glyphs.height)));
        for (int32_t v = v0; v < v1; ++v)
            for (int32_t u = u0; u < u1; ++u)
                if (glyphs.Covered(u, v)) {
                    const int64_t px = pen + (u - u0), py = int64_t(y) + (v - v0);
                    fill(px, py, px + 1, py + 1, textValue);
                }
        pen += advance;
    }
    surface.Unlock();
    return true;
}

// Developer text helpers: a line of text written straight into a surface's
// pixels with a bitmap font, for tool screens drawn without the 3-D queue.
// One text style (font, text colour, background) is kept for all of them.
// A glyph texel covers its pixel when its alpha (or, in a format without
// alpha, its brightest channel) is at least half; there is no blending.
#pragma once

#include <cstdint>
#include <string_view>

class Font;
namespace gfx {
class Surface;
}

// A background of this value leaves the surface's pixels under the text.
inline constexpr uint32_t kGdiTransparent = 0x1000000u;

struct GdiRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

// Colours are packed 0xAARRGGBB; the font is not owned and must outlive its use.
void SetGdiTextStyle(const Font* font, uint32_t textColour, uint32_t backgroundColour);
// Writes the text with its top-left at (x, y): each character cell is filled
// with the background unless it is transparent, then the glyph's covered
// texels take the text colour. With a rectangle, nothing is written outside
// it and an opaque background fills all of it first. Nothing is ever written
// outside the surface. False without a font with glyph pixels, for a surface
// that is not 16- or 32-bit RGB, or when the surface cannot be locked.
bool DrawGdiText(std::string_view text, gfx::Surface& surface, int32_t x, int32_t y, const GdiRect* clip = nullptr);
// The text's size in pixels in the style's font; false without a font.
bool MeasureGdiText(std::string_view text, int32_t& width, int32_t& height);

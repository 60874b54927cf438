// Bitmap fonts: one 256 x 256 texture holding up to 100 glyphs (character
// codes 32 to 131) in rows, a pixel width per code and a line height. This
// part places the glyphs in the texture; text layout and the queue build on it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace FontGlyphs {
constexpr int kFirstCode = 32;
constexpr int kGlyphs = 100;
constexpr int kTextureSize = 256;
} // namespace FontGlyphs

// Texture rectangles of the glyphs, u from left to right and v from top to bottom.
struct GlyphTable {
    float left[FontGlyphs::kGlyphs] = {}, right[FontGlyphs::kGlyphs] = {};
    float top[FontGlyphs::kGlyphs] = {}, bottom[FontGlyphs::kGlyphs] = {};
};

// Lays the glyphs out row by row from texel (1, 1): 3 texels between glyphs
// of a row, a line height between rows. `widths` is indexed by character code,
// `rows` by glyph. False, with the reason in `error`, when a table is short,
// a width or the line height is negative or a glyph would leave the texture.
bool BuildGlyphTable(int32_t lineHeight, std::span<const int32_t> widths, std::span<const uint8_t> rows,
                     GlyphTable& table, std::string& error);

// Lines the text takes between pen x = 0 and `width` pixels: a newline ends a
// line; a word that would pass the edge moves to the next line, its leading
// space ending the old one; a character passing the edge starts a new line.
// `oneLine` turns wrapping off (newlines still count). Empty text is no line.
int CountTextLines(std::span<const int32_t> widths, std::string_view text, int32_t width, bool oneLine);

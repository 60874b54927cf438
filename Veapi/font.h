// Bitmap fonts: one 256 x 256 texture holding up to 100 glyphs (character
// codes 32 to 131) in rows, a pixel width per code and a line height. Game
// code queues strings during the frame (Font::DrawString, rectangles in
// screen fractions); the display's end of frame flushes every font, laying
// the strings out into textured quads. The same layout measures text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/list.h"

namespace FontGlyphs {
constexpr int kFirstCode = 32;
constexpr int kGlyphs = 100;
constexpr int kTextureSize = 256;
constexpr int kWidthCodes = 256;      // the width table is indexed by any byte
constexpr char kFallback = '?';       // drawn for codes that have no glyph
constexpr char kCursor = '_';
} // namespace FontGlyphs

// String flags of Font::DrawString. The cursor (0x4) is the '_' glyph before
// the character at the cursor position, or after the text; the second
// colour (0x10) marks the last character drawn, the newest of a text being
// revealed; outline copies (0x20) sit one pixel left, right and below.
// Upward text (0x40) keeps its last line at the given top.
namespace TextFlags {
constexpr uint32_t kMeasure = 0x1, kCentre = 0x2, kCursor = 0x4, kOneLine = 0x8, kSecondColour = 0x10,
                   kOutline = 0x20, kUpward = 0x40, kCutAtBottom = 0x80;
} // namespace TextFlags

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

// Pixel width a character takes: its table width for codes with a glyph, the
// fallback glyph's width for any other code.
int32_t GlyphAdvance(std::span<const int32_t> widths, char ch);
// Glyph drawn for a character (0..99): the fallback for codes without one.
int GlyphIndexOf(char ch);

// One character placed by the layout.
struct PlacedChar {
    size_t index;   // into the text
    int32_t line;   // from 0
    int64_t pen;    // pixels from the line's left edge
};
// Walks the text with the wrapping rules of CountTextLines, calling `visit`
// for each character that is drawn (newlines and spaces ending a line are
// not). Returns the number of lines.
template <typename Visit>
int WalkText(std::span<const int32_t> widths, std::string_view text, int32_t width, bool oneLine, Visit&& visit);

class Camera;
class DynamicVertexBuffer;
class QuadBatch;
class RenderMaterial;
class TextureEntry;

struct QueuedString {
    int32_t left = 0, right = 0, top = 0;  // pixels
    std::string text;
    int32_t length = 0;
    float depth = 0;
    uint32_t colour = 0, flags = 0;
    int32_t cursor = 0;
    uint32_t secondColour = 0;
    float scale = 1.0f;
};

class Font {
public:
    static constexpr uint32_t kDefaultOutline = 0xFF000000u;

    // Builds the font on a texture entry (one use taken), with its vertex
    // buffer and material when a device is open, and lists it. Null with the
    // reason in `error` when the tables do not fit.
    static Font* Load(TextureEntry* texture, int32_t lineHeight, std::span<const int32_t> widths,
                      std::span<const uint8_t> rows, std::string& error);
    // A font file from `fontsDir` naming its texture inside `graphicsDir`
    // (both data paths, any case). Null with file, position and fault in
    // `error` for a damaged file or a missing texture.
    static Font* LoadFile(const std::filesystem::path& fontsDir, const std::string& name,
                          const std::filesystem::path& graphicsDir, std::string& error);
    // Drops the texture, unlists and deletes the font with what it queued.
    void Unload();

    // Lays the text out in the rectangle (screen fractions) and, unless
    // measuring, queues it. Returns the lines laid out; 0 when the text
    // starts above the screen or `firstLine` lies beyond it. A negative
    // `maxLength` draws the whole text. `scale` sizes the glyphs, their
    // advances and the line height; text wraps at the rectangle's edge in
    // scaled pixels. A scale that is not a positive finite number draws at 1.
    int DrawString(float left, float top, float right, float bottom, std::string_view text, float depth,
                   uint32_t colour, int32_t maxLength, uint32_t flags, int32_t cursor, uint32_t secondColour,
                   int32_t firstLine = 0, float scale = 1.0f);
    // Line height as a fraction of the screen height.
    float LineHeight() const;
    int32_t LineHeightPixels() const { return lineHeight_; }
    // Draws and frees the queue; false when any draw failed.
    bool Flush();
    // One glyph quad at pixel x, y (its top-left); flushes the buffer first
    // when it is full. `clipTop` pixels of the glyph's top are cut off; the
    // quad is `scale` times the glyph's size.
    void DrawGlyph(int glyph, float x, float y, float z, float rhw, uint32_t colour, float clipTop = 0.0f,
                   float scale = 1.0f);
    void SetCamera(Camera* camera) { camera_ = camera; }
    int32_t QueuedCount() const { return queue_.Count(); }
    std::span<const int32_t> Widths() const { return widths_; }
    const GlyphTable& Glyphs() const { return glyphs_; }
    TextureEntry* Texture() const { return texture_; }

    static List<Font*>& All();
    // Flushes every listed font; the display calls it at the end of a frame.
    static bool FlushAll();
    // Colour of outline copies (flag 0x20); its alpha is the string's.
    static uint32_t& OutlineColour();

    // Unlists the font; Unload also drops its texture.
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

private:
    Font();
    bool DrawQueued(const QueuedString& s);
    void MakeMaterial();

    GlyphTable glyphs_;
    std::vector<int32_t> widths_;
    int32_t lineHeight_ = 0;
    TextureEntry* texture_ = nullptr;
    std::unique_ptr<DynamicVertexBuffer> buffer_;
    std::unique_ptr<QuadBatch> batch_;
    RenderMaterial* material_ = nullptr;
    Camera* camera_ = nullptr;
    List<QueuedString> queue_;
};

// ---- Font files ------------------------------------------------------------------
// "TVFN", version 1, line height, texture data path (u16 length, bytes),
// width count (132..256) and widths (i32 each), then 100 row numbers.
struct FontFile {
    int32_t lineHeight = 0;
    std::string texture;
    std::vector<int32_t> widths;
    std::vector<uint8_t> rows;
};
bool ReadFontFile(std::span<const uint8_t> bytes, FontFile& out, std::string& error);
std::vector<uint8_t> WriteFontFile(const FontFile& font);

template <typename Visit>
int WalkText(std::span<const int32_t> widths, std::string_view text, int32_t width, bool oneLine, Visit&& visit)
{
    if (text.empty())
        return 0;
    int line = 0;
    int64_t pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\n') {
            ++line;
            pen = 0;
            continue;
        }
        const int64_t w = GlyphAdvance(widths, ch);
        if (oneLine) {
            visit(PlacedChar{i, line, pen});
            pen += w;
            continue;
        }
        if (ch == ' ') {
            int64_t word = w;
            for (size_t j = i + 1; j < text.size() && text[j] != ' ' && text[j] != '\n'; ++j)
                word += GlyphAdvance(widths, text[j]);
            if (pen > 0 && pen + word > width) {
                ++line;
                pen = 0;  // the space ends the line and is not drawn
                continue;
            }
            visit(PlacedChar{i, line, pen});
            pen += w;
            continue;
        }
        if (pen > 0 && pen + w > width) {
            ++line;
            pen = 0;
        }
        visit(PlacedChar{i, line, pen});
        pen += w;
    }
    return line + 1;
}

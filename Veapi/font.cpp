#include "Veapi/font.h"

using namespace FontGlyphs;

bool BuildGlyphTable(int32_t lineHeight, std::span<const int32_t> widths, std::span<const uint8_t> rows,
                     GlyphTable& table, std::string& error)
{
    if (widths.size() < size_t(kFirstCode + kGlyphs)) {
        error = "font width table holds " + std::to_string(widths.size()) + " codes, needs " +
                std::to_string(kFirstCode + kGlyphs);
        return false;
    }
    if (rows.size() < size_t(kGlyphs)) {
        error = "font row table holds " + std::to_string(rows.size()) + " glyphs, needs " +
                std::to_string(kGlyphs);
        return false;
    }
    if (lineHeight <= 0 || lineHeight > kTextureSize) {
        error = "font line height " + std::to_string(lineHeight) + " is outside 1.." +
                std::to_string(kTextureSize);
        return false;
    }
    constexpr float kTexel = 1.0f / float(kTextureSize);
    int64_t x = 1, y = 1;
    for (int i = 0; i < kGlyphs; ++i) {
        const int64_t w = widths[size_t(kFirstCode + i)];
        // A glyph past the texture would sample its neighbours' texels or wrap.
        if (w < 0 || x + w + 1 > kTextureSize || y + lineHeight - 1 > kTextureSize) {
            error = "font glyph " + std::to_string(i) + " (code " + std::to_string(kFirstCode + i) + ", width " +
                    std::to_string(w) + ") at texel " + std::to_string(x) + "," + std::to_string(y) +
                    " does not fit the texture";
            return false;
        }
        table.left[i] = float(x) * kTexel;
        table.right[i] = float(x + w + 1) * kTexel;
        table.top[i] = float(y) * kTexel;
        table.bottom[i] = float(y + lineHeight - 1) * kTexel;
        if (i + 1 < kGlyphs && rows[size_t(i + 1)] == rows[size_t(i)]) {
            x += w + 3;
        } else {
            x = 1;
            y += lineHeight;
        }
    }
    return true;
}

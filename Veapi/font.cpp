#include "Veapi/font.h"

#include <algorithm>

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

int CountTextLines(std::span<const int32_t> widths, std::string_view text, int32_t width, bool oneLine)
{
    if (text.empty())
        return 0;
    // Codes outside the table draw nothing and take no room.
    auto widthOf = [&](char ch) -> int64_t {
        const auto code = size_t(uint8_t(ch));
        return code < widths.size() ? std::max<int64_t>(widths[code], 0) : 0;
    };
    int lines = 1;
    int64_t pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\n') {
            ++lines;
            pen = 0;
            continue;
        }
        if (oneLine) {
            pen += widthOf(ch);
            continue;
        }
        if (ch == ' ') {
            int64_t word = widthOf(' ');
            for (size_t j = i + 1; j < text.size() && text[j] != ' ' && text[j] != '\n'; ++j)
                word += widthOf(text[j]);
            if (pen > 0 && pen + word > width) {
                ++lines;
                pen = 0;  // the space ends the line and is not drawn
                continue;
            }
            pen += widthOf(' ');
            continue;
        }
        const int64_t w = widthOf(ch);
        if (pen > 0 && pen + w > width) {
            ++lines;
            pen = 0;
        }
        pen += w;
    }
    return lines;
}

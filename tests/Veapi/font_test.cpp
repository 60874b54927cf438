#include "Veapi/font.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace FontGlyphs;

struct Tables {
    std::vector<int32_t> widths = std::vector<int32_t>(256, 10);
    std::vector<uint8_t> rows = std::vector<uint8_t>(kGlyphs, 0);
};

TEST(FontGlyphTable, GlyphsFillRowsAndWrapToTheNextRow)
{
    Tables t;
    for (int i = 0; i < kGlyphs; ++i)
        t.rows[size_t(i)] = uint8_t(i / 10);  // ten glyphs a row
    t.widths[32] = 4;   // the space
    t.widths[33] = 7;
    GlyphTable g;
    std::string error;
    ASSERT_TRUE(BuildGlyphTable(16, t.widths, t.rows, g, error)) << error;
    struct Expect {
        int glyph;
        int left, right, top, bottom;  // texels
    } cases[] = {
        {0, 1, 6, 1, 16},       // x from 1, right edge one texel past the width
        {1, 8, 16, 1, 16},      // 1 + 4 + 3
        {2, 18, 29, 1, 16},     // 8 + 7 + 3
        {9, 18 + 7 * 13, 18 + 7 * 13 + 11, 1, 16},
        {10, 1, 12, 17, 32},    // next row: back to x = 1, down one line
        {99, 1 + 9 * 13, 1 + 9 * 13 + 11, 145, 160},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.glyph);
        EXPECT_FLOAT_EQ(g.left[e.glyph], float(e.left) / 256.0f);
        EXPECT_FLOAT_EQ(g.right[e.glyph], float(e.right) / 256.0f);
        EXPECT_FLOAT_EQ(g.top[e.glyph], float(e.top) / 256.0f);
        EXPECT_FLOAT_EQ(g.bottom[e.glyph], float(e.bottom) / 256.0f);
    }
}

TEST(FontGlyphTable, RefusesTablesThatDoNotFit)
{
    struct Case {
        const char* name;
        size_t widthCodes, rowGlyphs;
        int32_t lineHeight;
        int wideCode;  // code given width 300, or 0
        const char* says;
    } cases[] = {
        {"short width table", 131, 100, 16, 0, "width table holds 131"},
        {"short row table", 256, 99, 16, 0, "row table holds 99"},
        {"no line height", 256, 100, 0, 0, "line height 0"},
        {"a glyph wider than the texture", 256, 100, 16, 40, "glyph 8 (code 40"},
        {"rows past the bottom", 256, 100, 3, 0, "glyph 85 (code 117"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tables t;
        t.widths.resize(c.widthCodes);
        t.rows.resize(c.rowGlyphs);
        for (size_t i = 0; i < t.rows.size(); ++i)
            t.rows[i] = uint8_t(i);  // one glyph a row
        if (c.wideCode)
            t.widths[size_t(c.wideCode)] = 300;
        GlyphTable g;
        std::string error;
        EXPECT_FALSE(BuildGlyphTable(c.lineHeight, t.widths, t.rows, g, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

} // namespace

namespace {

TEST(FontLayout, LinesWrapAtWordsAndAtTheEdge)
{
    std::vector<int32_t> widths(256, 10);
    widths[' '] = 5;
    struct Case {
        const char* text;
        int32_t width;
        bool oneLine;
        int lines;
    } cases[] = {
        {"", 100, false, 0},
        {"abc", 100, false, 1},
        {"abc\ndef", 100, false, 2},
        {"abc\n", 100, false, 2},
        {"abcd fghij", 100, false, 1},         // 40 + 5 + 50 fits
        {"abcde fghij", 100, false, 2},        // 50 + 5 + 50 passes: the space ends the line
        {"abcdefghijkl", 100, false, 2},       // the 11th character passes the edge
        {"abcdefghijklmnopqrstu", 100, false, 3},
        {"abcde fghijk", 100, true, 1},        // one line: no wrapping
        {"ab\ncd", 10, true, 2},               // newlines still count
        {"a", 0, false, 1},                    // a first character always fits somewhere
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CountTextLines(widths, c.text, c.width, c.oneLine), c.lines);
    }
}

} // namespace

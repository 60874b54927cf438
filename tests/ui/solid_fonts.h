// The console's three fonts for display tests: every glyph cell is solid,
// so each character draws as a box of the text colour.
#pragma once

#include "console/console.h"
#include "console/console_draw.h"
#include "Veapi/font.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace uitest {

// Writes "<root>/fonts/*.fnt" and their texture "<root>/graphics/font.bmp"
// (10-pixel lines, 6-pixel glyphs); the texture loader must fill it white.
inline void WriteSolidFonts(const std::filesystem::path& root)
{
    std::filesystem::create_directories(root / "fonts");
    std::filesystem::create_directories(root / "graphics");
    std::ofstream(root / "graphics" / "font.bmp") << "x";
    FontFile file;
    file.lineHeight = 10;
    file.texture = "font.bmp";
    file.widths.assign(FontGlyphs::kWidthCodes, 6);
    for (int i = 0; i < FontGlyphs::kGlyphs; ++i)
        file.rows.push_back(uint8_t(i / 20));
    const std::vector<uint8_t> bytes = WriteFontFile(file);
    for (const char* name : ConsoleFonts::kFiles)
        std::ofstream(root / "fonts" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace uitest

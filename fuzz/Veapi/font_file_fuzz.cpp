// Font files from data: whatever reads back writes the same leading bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "Veapi/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FontFile font;
    std::string error;
    if (!ReadFontFile(std::span<const uint8_t>(data, size), font, error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    const std::vector<uint8_t> bytes = WriteFontFile(font);
    if (bytes.size() > size || !std::equal(bytes.begin(), bytes.end(), data))
        std::abort();
    GlyphTable table;
    BuildGlyphTable(font.lineHeight, font.widths, font.rows, table, error);
    return 0;
}

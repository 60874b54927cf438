// Subtitle files from data: any bytes give rows without tabs or line ends,
// with the two special bytes always replaced.
#include "media/cutscene.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // the first byte picks the section name among the file's own lines
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string name = "intro";
    if (size > 1) {
        const size_t start = text.find('\n', data[0] % size);
        if (start != std::string::npos)
            name = text.substr(start + 1, text.find('\n', start + 1) - start - 1);
    }
    std::istringstream in(text);
    for (const std::string& row : trevok::ReadSubtitles(in, name))
        for (const char c : row)
            if (c == '\t' || c == '\n' || static_cast<unsigned char>(c) == 146 || static_cast<unsigned char>(c) == 133)
                std::abort();
    return 0;
}

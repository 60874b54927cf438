// Screenshots of the visible screen as uncompressed 24-bit BMP files
// ("Screen.bmp", then "Screen1.bmp", ...). The encoder is separate from the
// device so any 16-, 24- or 32-bit picture can be turned into a file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Veapi/ve3d.h"

// A whole BMP file: 54-byte header, rows bottom-up in blue, green, red,
// each padded to a multiple of 4 bytes. `pixels` holds `height` rows of
// `pitch` bytes, top row first; 16-bit pixels widen through `packing`.
std::vector<uint8_t> EncodeScreenBmp(const uint8_t* pixels, int pitch, int width, int height, int bits,
                                     const ColourPacking& packing);

class Screenshot {
public:
    // The first of "Screen.bmp", "Screen1.bmp", "Screen2.bmp" ... not in `dir`.
    static std::filesystem::path NextName(const std::filesystem::path& dir);
    // Writes what the player sees into `dir`; the path written, or empty when
    // there is no screen or its pixels cannot be read (then no file is made).
    static std::filesystem::path Save(const std::filesystem::path& dir = ".");
};

// The effects' textures: the sprite sheet whose rectangles the effect shapes
// cut out (each rectangle in a colour of its own, so a wrong rectangle shows),
// the reflection and shiny-ground maps, the scanner overlay, the four
// liquids and the sheet of ammunition colours that item models paint their
// colour bands from. Plain 24-bit PNM pictures under the graphics folder.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sample/generator.h"

namespace sample {
namespace {

namespace fs = std::filesystem;

struct Rgb {
    uint8_t r, g, b;
};

using Shader = Rgb (*)(float u, float v);

bool WritePnm(const fs::path& path, uint32_t size, Shader shade)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << size << ' ' << size << "\n255\n";
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x) {
            const Rgb c = shade((float(x) + 0.5f) / float(size), (float(y) + 0.5f) / float(size));
            out.put(char(c.r)).put(char(c.g)).put(char(c.b));
        }
    if (!out) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

uint8_t Byte(float v) { return uint8_t(std::lround(std::fmin(std::fmax(v, 0.0f), 1.0f) * 255.0f)); }

bool Inside(float u, float v, float left, float top, float right, float bottom)
{
    return u >= left && u < right && v >= top && v < bottom;
}

// The second sprite's rectangle red, the third sprite's triangle (its u
// wraps from 0 to 0.5 below zero) blue, the rest dark grey.
} // namespace

int AlphaJunkClass(float u, float v)
{
    if (Inside(u, v, 0.5102539f, 0.5278320f, 0.7231445f, 0.7416992f))
        return 1;
    if (u >= 0.5f && v < 1.0f - 2.0f * (1.0f - u))
        return 2;
    return 0;
}

namespace {

// A lit sphere seen head-on: bright at the centre, dark at the rim.
Rgb Reflect(float u, float v)
{
    const float du = 2 * u - 1, dv = 2 * v - 1;
    const float z = std::sqrt(std::fmax(0.0f, 1.0f - du * du - dv * dv));
    return {Byte(0.2f + 0.8f * z), Byte(0.3f + 0.7f * z), Byte(0.5f + 0.5f * z)};
}

Rgb Shiny(float u, float v)
{
    const bool tile = (int(u * 8) + int(v * 8)) % 2 == 0;
    return tile ? Rgb{200, 200, 210} : Rgb{120, 120, 140};
}

// Scan lines over a dim green field; the overlay multiplies the frame.
Rgb Scanner(float, float v) { return int(v * 128) % 2 == 0 ? Rgb{180, 255, 180} : Rgb{120, 200, 120}; }

// Six upright bands, one per ammunition colour group, left to right.
Rgb AmmoColours(float u, float)
{
    static constexpr Rgb kBands[6] = {{160, 160, 160}, {230, 200, 40}, {220, 50, 40},
                                      {50, 90, 230},   {60, 200, 70},  {170, 70, 200}};
    return kBands[std::min(int(u * 6), 5)];
}

Rgb Wave(float u, float v, Rgb a, Rgb b)
{
    const float t = 0.5f + 0.5f * std::sin(6.2831853f * (2 * u + 3 * v));
    return {uint8_t(a.r + (b.r - a.r) * t), uint8_t(a.g + (b.g - a.g) * t), uint8_t(a.b + (b.b - a.b) * t)};
}

Rgb Water(float u, float v) { return Wave(u, v, {20, 60, 140}, {60, 140, 220}); }
Rgb Lava(float u, float v) { return Wave(u, v, {160, 30, 0}, {255, 170, 20}); }
Rgb Swamp(float u, float v) { return Wave(u, v, {40, 60, 20}, {90, 110, 40}); }
Rgb Oil(float u, float v) { return Wave(u, v, {10, 10, 15}, {60, 40, 70}); }

bool WriteEffectTextures(const Context& ctx)
{
    const fs::path g = ctx.out / "graphics";
    struct File {
        const char* path;
        uint32_t size;
        Shader shade;
    };
    const File files[] = {
        {"units/reflect.rim", 128, Reflect},      {"ground/shiny.rim", 64, Shiny},
        {"bitmaps/scanner.rim", 128, Scanner},
        {"bitmaps/water.rim", 64, Water},         {"bitmaps/lava.rim", 64, Lava},
        {"bitmaps/swamp.rim", 64, Swamp},         {"bitmaps/oil.rim", 64, Oil},
        {"bitmaps/ammocolours.rim", 96, AmmoColours},
    };
    for (const File& f : files)
        if (!WritePnm(g / f.path, f.size, f.shade))
            return false;
    return true;
}

const StepRegistration kEffectTextures(32, "effect textures", WriteEffectTextures);

} // namespace
} // namespace sample

#include "Veapi/screenshot.h"

#include <fstream>

#include "platform/gfx.h"

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

uint8_t Widen(uint32_t pixel, const ChannelPacking& p)
{
    return uint8_t(((pixel >> p.shift) << p.loss) & 0xFF);
}

} // namespace

std::vector<uint8_t> EncodeScreenBmp(const uint8_t* pixels, int pitch, int width, int height, int bits,
                                     const ColourPacking& packing)
{
    if (!pixels || width <= 0 || height <= 0 || (bits != 16 && bits != 24 && bits != 32) ||
        pitch < width * (bits / 8))
        return {};
    const size_t row = (size_t(width) * 3 + 3) & ~size_t(3);
    const size_t image = row * size_t(height);
    std::vector<uint8_t> out(54 + image, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, uint32_t(54 + image));
    Put32(out, 10, 54);
    Put32(out, 14, 40);
    Put32(out, 18, uint32_t(width));
    Put32(out, 22, uint32_t(height));
    Put16(out, 26, 1);
    Put16(out, 28, 24);
    Put32(out, 34, uint32_t(image));
    for (int y = 0; y < height; ++y) {
        // The top screen row is the last row of the file.
        const uint8_t* src = pixels + size_t(y) * size_t(pitch);
        uint8_t* dst = &out[54 + size_t(height - 1 - y) * row];
        for (int x = 0; x < width; ++x, dst += 3) {
            if (bits == 16) {
                const uint32_t p = uint32_t(src[x * 2]) | uint32_t(src[x * 2 + 1]) << 8;
                dst[0] = Widen(p, packing.blue);
                dst[1] = Widen(p, packing.green);
                dst[2] = Widen(p, packing.red);
            } else {
                const uint8_t* p = src + size_t(x) * size_t(bits / 8);
                dst[0] = p[0];
                dst[1] = p[1];
                dst[2] = p[2];
            }
        }
    }
    return out;
}

std::filesystem::path Screenshot::NextName(const std::filesystem::path& dir)
{
    std::filesystem::path name = dir / "Screen.bmp";
    for (int n = 1; std::filesystem::exists(name); ++n)
        name = dir / ("Screen" + std::to_string(n) + ".bmp");
    return name;
}

std::filesystem::path Screenshot::Save(const std::filesystem::path& dir)
{
    if (!gfx::HasScreen())
        return {};
    // Pixels first: a screen that cannot be read leaves no empty file behind.
    std::vector<uint8_t> pixels;
    int pitch = 0;
    if (!gfx::ReadScreen(true, pixels, pitch))
        return {};
    const std::vector<uint8_t> bmp =
        EncodeScreenBmp(pixels.data(), pitch, Display::Width(), Display::Height(), Display::Depth(), Display::Packing());
    if (bmp.empty())
        return {};
    const std::filesystem::path name = NextName(dir);
    std::ofstream file(name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
    file.close();
    if (!file) {
        std::error_code ec;
        std::filesystem::remove(name, ec);
        return {};
    }
    return name;
}

// Sample textures: procedural pictures in every format the texture loader
// reads (BMP 8 and 24 bits, PNM, IFF pictures with and without ByteRun1, with
// alpha planes, mip-map chains and S3TC blocks), under graphics/ and bitmaps/.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Veapi/iff.h"
#include "Veapi/iff_image_reader.h"
#include "platform/gfx_surface.h"
#include "sample/generator.h"

namespace sample {
namespace {

namespace fs = std::filesystem;

struct Rgb {
    uint8_t r, g, b;
};

bool Save(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

void Le16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Le32(std::vector<uint8_t>& out, uint32_t v)
{
    Le16(out, v & 0xffff);
    Le16(out, v >> 16);
}

// A bottom-up Windows bitmap: indices with a palette, or 24-bit colour.
std::vector<uint8_t> Bmp(uint32_t w, uint32_t h, const std::vector<Rgb>& palette,
                         const std::vector<uint8_t>& indices, const std::vector<Rgb>& colours)
{
    bool indexed = !palette.empty();
    uint32_t rowBytes = indexed ? w : w * 3;
    uint32_t pad = (4 - rowBytes % 4) % 4;
    uint32_t offset = 14 + 40 + uint32_t(palette.size()) * 4;
    uint32_t imageSize = (rowBytes + pad) * h;
    std::vector<uint8_t> out = {'B', 'M'};
    Le32(out, offset + imageSize);
    Le32(out, 0);
    Le32(out, offset);
    Le32(out, 40);
    Le32(out, w);
    Le32(out, h);
    Le16(out, 1);
    Le16(out, indexed ? 8 : 24);
    Le32(out, 0);
    Le32(out, imageSize);
    Le32(out, 2835);
    Le32(out, 2835);
    Le32(out, uint32_t(palette.size()));
    Le32(out, 0);
    for (const Rgb& c : palette)
        out.insert(out.end(), {c.b, c.g, c.r, 0});
    for (uint32_t y = h; y-- > 0;) {
        for (uint32_t x = 0; x < w; ++x) {
            if (indexed) {
                out.push_back(indices[size_t(y) * w + x]);
            } else {
                const Rgb& c = colours[size_t(y) * w + x];
                out.insert(out.end(), {c.b, c.g, c.r});
            }
        }
        out.insert(out.end(), pad, 0);
    }
    return out;
}

std::vector<uint8_t> Pnm(const char* magic, uint32_t w, uint32_t h, const std::vector<uint8_t>& samples,
                         bool withMaximum)
{
    std::string header = std::string(magic) + "\n# trevok sample\n" + std::to_string(w) + " " +
                         std::to_string(h) + "\n" + (withMaximum ? "255\n" : "");
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

ve::IffForm* Picture(uint32_t w, uint32_t h, const std::vector<Rgb>& palette, const std::vector<uint32_t>& values,
                     bool compress, const std::vector<uint32_t>* alpha = nullptr)
{
    ve::RegisterIffImageFormat();
    auto* form = new ve::IffForm(ve::kIffIlbm);
    auto* bmhd = new ve::IlbmBmhd;
    bmhd->width = uint16_t(w);
    bmhd->height = uint16_t(h);
    bmhd->planes = 8;
    bmhd->compression = compress ? 1 : 0;
    bmhd->pageWidth = int16_t(w);
    bmhd->pageHeight = int16_t(h);
    form->Append(bmhd);
    auto* cmap = new ve::IlbmCmap;
    for (const Rgb& c : palette)
        cmap->rgb.insert(cmap->rgb.end(), {c.r, c.g, c.b});
    form->Append(cmap);
    auto* body = new ve::IlbmBody;
    body->Encode(values, w, h, 8, compress);
    form->Append(body);
    if (alpha) {
        auto* alph = new ve::IlbmAlph;
        alph->width = uint16_t(w);
        alph->height = uint16_t(h);
        alph->planes = 8;
        alph->compression = compress ? 1 : 0;
        alph->Encode(*alpha, w, h, 8, compress);
        form->Append(alph);
    }
    return form;
}

bool SaveDocument(const fs::path& path, ve::IffContainer* root)
{
    ve::IffDocument doc;
    doc.SetRoot(root);
    ve::BufferMedium out;
    if (!doc.Write(&out)) {
        std::fprintf(stderr, "sample_gen: cannot encode %s\n", path.c_str());
        return false;
    }
    return Save(path, out.Bytes());
}

// A 256-colour ramp palette: hue bands in the low bits, brightness in the high.
std::vector<Rgb> RampPalette()
{
    std::vector<Rgb> p(256);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t band = i / 32, level = i % 32;
        uint8_t v = uint8_t(level * 8 + 7);
        p[i] = {uint8_t(band & 1 ? v : v / 4), uint8_t(band & 2 ? v : v / 4), uint8_t(band & 4 ? v : v / 4)};
    }
    return p;
}

std::vector<uint32_t> Checker(uint32_t w, uint32_t h, uint32_t cell, uint32_t a, uint32_t b)
{
    std::vector<uint32_t> v(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            v[size_t(y) * w + x] = ((x / cell + y / cell) % 2) ? a : b;
    return v;
}

std::vector<Rgb> Gradient(uint32_t w, uint32_t h)
{
    std::vector<Rgb> c(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            c[size_t(y) * w + x] = {uint8_t(x * 255 / (w - 1)), uint8_t(y * 255 / (h - 1)),
                                    uint8_t(((x / 8 + y / 8) % 2) * 96 + 64)};
    return c;
}

bool WriteBitmaps(const Context& ctx)
{
    const fs::path g = ctx.out / "graphics";
    std::vector<Rgb> ramp = RampPalette();

    // BMP: an 8-bit checker of two ramp colours and a 24-bit gradient.
    std::vector<uint32_t> checker = Checker(64, 64, 8, 31, 95);
    std::vector<uint8_t> idx(checker.begin(), checker.end());
    if (!Save(g / "checker8.bmp", Bmp(64, 64, ramp, idx, {})) ||
        !Save(g / "gradient24.bmp", Bmp(128, 64, {}, {}, Gradient(128, 64))))
        return false;

    // PNM: colour, grey and bitmap forms.
    std::vector<Rgb> grad = Gradient(64, 32);
    std::vector<uint8_t> p6, p5, p4;
    for (const Rgb& c : grad)
        p6.insert(p6.end(), {c.r, c.g, c.b});
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 64; ++x)
            p5.push_back(uint8_t((x * 4) ^ (y * 8)));
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t byte = 0; byte < 8; ++byte)
            p4.push_back(((y / 4) % 2) ? 0xf0 : 0x0f);
    if (!Save(g / "gradient.ppm", Pnm("P6", 64, 32, p6, true)) ||
        !Save(g / "pattern.pgm", Pnm("P5", 64, 32, p5, true)) ||
        !Save(g / "stripes.pbm", Pnm("P4", 64, 32, p4, false)))
        return false;

    // IFF pictures, ByteRun1-coded and not.
    std::vector<uint32_t> tiles(64 * 64);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64; ++x)
            tiles[y * 64 + x] = ((x / 16 + y / 16) % 4) * 32 + (x % 16 + y % 16);
    if (!SaveDocument(g / "tiles.rim", Picture(64, 64, ramp, tiles, true)) ||
        !SaveDocument(g / "tiles_raw.rim", Picture(64, 64, ramp, tiles, false)))
        return false;

    // A mip-map chain 64, 32, ... 1: each level a checker of another colour.
    auto* mipm = new ve::IffForm(ve::kIffMipm);
    mipm->Append(new ve::MipmCont);
    mipm->Append(Picture(64, 64, ramp, Checker(64, 64, 8, 31, 63), true));
    for (uint32_t size = 32, level = 1; size >= 1; size /= 2, ++level) {
        auto* list = new ve::IffList(ve::kIffIlbm);
        list->Append(Picture(size, size, ramp, Checker(size, size, std::max(1u, 8u >> level), 31 + 32 * (level % 7), 63),
                             true));
        mipm->Append(list);
    }
    if (!SaveDocument(g / "mipmapped.rim", mipm))
        return false;

    // S3TC: a 32 x 32 DXT1 picture of two-colour blocks.
    auto* s3form = new ve::IffForm(ve::kIffIlbm);
    auto* bmhd = new ve::IlbmBmhd;
    bmhd->width = bmhd->height = 32;
    s3form->Append(bmhd);
    auto* s3tc = new ve::IlbmS3tc;
    s3tc->fourCC = gfx::kFourCCDxt1;
    s3tc->width = s3tc->height = 32;
    for (uint32_t by = 0; by < 8; ++by)
        for (uint32_t bx = 0; bx < 8; ++bx) {
            uint16_t c0 = uint16_t(0xf800 | (bx * 8) << 5), c1 = uint16_t(by * 4);
            s3tc->data.insert(s3tc->data.end(), {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8),
                                                 0x50, 0x50, 0xfa, 0xfa});
        }
    s3form->Append(s3tc);
    if (!SaveDocument(g / "blocks.rim", s3form))
        return false;

    // The interface's own bitmaps: soft particle dots with alpha, the briefing screen.
    const fs::path b = ctx.out / "bitmaps";
    std::vector<Rgb> white(256);
    for (uint32_t i = 0; i < 256; ++i)
        white[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    std::vector<uint32_t> dots(64 * 64), alpha(64 * 64);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64; ++x) {
            // Four 32 x 32 cells, each a round dot fading to its edge.
            double dx = double(x % 32) - 15.5, dy = double(y % 32) - 15.5;
            double r = std::sqrt(dx * dx + dy * dy) / 16.0;
            uint32_t a = r >= 1.0 ? 0 : uint32_t((1.0 - r) * 255.0);
            dots[y * 64 + x] = 255 - (x / 32 + 2 * (y / 32)) * 32;
            alpha[y * 64 + x] = a;
        }
    if (!SaveDocument(b / "particles.rim", Picture(64, 64, white, dots, true, &alpha)))
        return false;
    std::vector<uint32_t> screen(640 * 480);
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; ++x) {
            bool frame = x < 8 || y < 8 || x >= 632 || y >= 472 || (y >= 64 && y < 68);
            bool grid = (x % 40 == 0) || (y % 40 == 0);
            screen[y * 640 + x] = frame ? 159 : grid ? 100 : 64 + (y * 24 / 480);
        }
    return SaveDocument(b / "briefingscreen.rim", Picture(640, 480, ramp, screen, true));
}

const StepRegistration kTextures(30, "textures", WriteBitmaps);

} // namespace
} // namespace sample

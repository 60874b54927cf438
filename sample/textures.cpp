// Sample textures: procedural pictures in every format the texture loader
// reads (BMP 8 and 24 bits, PNM, IFF pictures with and without ByteRun1, with
// alpha planes, mip-map chains and S3TC blocks), under graphics/ and bitmaps/.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Veapi/font.h"
#include "Veapi/iff.h"
#include "Veapi/particles.h"
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

    // The interface's own bitmaps: the briefing screen, which the loading
    // screen shows too, in the graphics folder's "bitmaps" as the game looks.
    const fs::path b = g / "bitmaps";
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

// ---- Fonts and particle dots ------------------------------------------------------

// A 5 x 7 face for codes 32 to 126: five columns a character, bit 0 the top row.
const uint8_t kFace[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x56, 0x20, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x2A, 0x1C, 0x7F, 0x1C, 0x2A}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00}, {0x08, 0x14, 0x22, 0x41, 0x00}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x51, 0x09, 0x06}, {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x09, 0x01},
    {0x3E, 0x41, 0x49, 0x49, 0x7A}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x0C, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x3F, 0x40, 0x38, 0x40, 0x3F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x07, 0x08, 0x70, 0x08, 0x07}, {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x00},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40}, {0x00, 0x01, 0x02, 0x04, 0x00}, {0x20, 0x54, 0x54, 0x54, 0x78},
    {0x7F, 0x48, 0x44, 0x44, 0x38}, {0x38, 0x44, 0x44, 0x44, 0x20}, {0x38, 0x44, 0x44, 0x48, 0x7F},
    {0x38, 0x54, 0x54, 0x54, 0x18}, {0x08, 0x7E, 0x09, 0x01, 0x02}, {0x0C, 0x52, 0x52, 0x52, 0x3E},
    {0x7F, 0x08, 0x04, 0x04, 0x78}, {0x00, 0x44, 0x7D, 0x40, 0x00}, {0x20, 0x40, 0x44, 0x3D, 0x00},
    {0x7F, 0x10, 0x28, 0x44, 0x00}, {0x00, 0x41, 0x7F, 0x40, 0x00}, {0x7C, 0x04, 0x18, 0x04, 0x78},
    {0x7C, 0x08, 0x04, 0x04, 0x78}, {0x38, 0x44, 0x44, 0x44, 0x38}, {0x7C, 0x14, 0x14, 0x14, 0x08},
    {0x08, 0x14, 0x14, 0x18, 0x7C}, {0x7C, 0x08, 0x04, 0x04, 0x08}, {0x48, 0x54, 0x54, 0x54, 0x20},
    {0x04, 0x3F, 0x44, 0x40, 0x20}, {0x3C, 0x40, 0x40, 0x20, 0x7C}, {0x1C, 0x20, 0x40, 0x20, 0x1C},
    {0x3C, 0x40, 0x30, 0x40, 0x3C}, {0x44, 0x28, 0x10, 0x28, 0x44}, {0x0C, 0x50, 0x50, 0x50, 0x3C},
    {0x44, 0x64, 0x54, 0x4C, 0x44}, {0x00, 0x08, 0x36, 0x41, 0x00}, {0x00, 0x00, 0x7F, 0x00, 0x00},
    {0x00, 0x41, 0x36, 0x08, 0x00}, {0x10, 0x08, 0x08, 0x10, 0x08},
};

struct FontStyle {
    const char* file;     // in the fonts directory
    const char* texture;  // as the font file names it, inside the graphics directory
    int scale, lineHeight;
};

// Glyphs are white; the alpha plane carries their shape.
bool WriteFont(const Context& ctx, const FontStyle& style)
{
    const int32_t w = 6 * style.scale;
    FontFile font;
    font.lineHeight = style.lineHeight;
    font.texture = style.texture;
    font.widths.assign(FontGlyphs::kWidthCodes, 0);
    font.rows.assign(FontGlyphs::kGlyphs, 0);
    const int perRow = (FontGlyphs::kTextureSize - 1) / (w + 3);
    for (int i = 0; i < FontGlyphs::kGlyphs; ++i) {
        font.widths[size_t(FontGlyphs::kFirstCode + i)] = i == 0 ? 4 * style.scale : w;
        font.rows[size_t(i)] = uint8_t(i / perRow);
    }
    GlyphTable table;
    std::string error;
    if (!BuildGlyphTable(font.lineHeight, font.widths, font.rows, table, error)) {
        std::fprintf(stderr, "sample_gen: font %s: %s\n", style.file, error.c_str());
        return false;
    }
    constexpr uint32_t kSize = FontGlyphs::kTextureSize;
    std::vector<uint32_t> colour(kSize * kSize, 255), alpha(kSize * kSize, 0);
    for (int i = 0; i < 95; ++i) {
        const int x0 = int(std::lround(table.left[i] * float(kSize))) + style.scale;
        const int y0 = int(std::lround(table.top[i] * float(kSize))) + style.scale;
        for (int col = 0; col < 5; ++col)
            for (int row = 0; row < 7; ++row)
                if (kFace[i][col] >> row & 1)
                    for (int dy = 0; dy < style.scale; ++dy)
                        for (int dx = 0; dx < style.scale; ++dx)
                            alpha[size_t(y0 + row * style.scale + dy) * kSize + size_t(x0 + col * style.scale + dx)] = 255;
    }
    std::vector<Rgb> grey(256);
    for (uint32_t i = 0; i < 256; ++i)
        grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    std::string texture = style.texture;
    std::replace(texture.begin(), texture.end(), '\\', '/');
    std::transform(texture.begin(), texture.end(), texture.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return SaveDocument(ctx.out / "graphics" / texture, Picture(kSize, kSize, grey, colour, true, &alpha)) &&
           Save(ctx.out / "fonts" / style.file, WriteFontFile(font));
}

// One soft dot in each particle group's texture rectangle.
bool WriteParticleDots(const Context& ctx)
{
    constexpr uint32_t kSize = 256;
    std::vector<uint32_t> colour(kSize * kSize, 255), alpha(kSize * kSize, 0);
    ParticleGroup group;
    for (int g = 0; g <= 10; ++g) {
        group.Setup(g, 0.001f);
        const float l = std::min(group.texLeft, group.texRight) * kSize, r = std::max(group.texLeft, group.texRight) * kSize;
        const float t = std::min(group.texTop, group.texBottom) * kSize, b = std::max(group.texTop, group.texBottom) * kSize;
        const float cx = (l + r) / 2, cy = (t + b) / 2;
        const float rx = std::max((r - l) / 2, 1.0f), ry = std::max((b - t) / 2, 1.0f);
        for (uint32_t y = uint32_t(t); y <= uint32_t(b) && y < kSize; ++y)
            for (uint32_t x = uint32_t(l); x <= uint32_t(r) && x < kSize; ++x) {
                const float dx = (float(x) + 0.5f - cx) / rx, dy = (float(y) + 0.5f - cy) / ry;
                const float d = std::sqrt(dx * dx + dy * dy);
                alpha[y * kSize + x] = std::max(alpha[y * kSize + x], d >= 1.0f ? 0u : uint32_t((1.0f - d) * 255.0f));
            }
    }
    std::vector<Rgb> grey(256);
    for (uint32_t i = 0; i < 256; ++i)
        grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    return SaveDocument(ctx.out / "graphics" / "bitmaps" / "particles.rim",
                        Picture(kSize, kSize, grey, colour, true, &alpha));
}

bool WriteFontsAndParticles(const Context& ctx)
{
    const FontStyle styles[] = {
        {"small font.fnt", "bitmaps\\SMALL FONT.RIM", 1, 10},
        {"large font.fnt", "bitmaps\\LARGE FONT.RIM", 2, 18},
        {"small font 2.fnt", "bitmaps\\small font 2.RIM", 1, 11},
    };
    for (const FontStyle& style : styles)
        if (!WriteFont(ctx, style))
            return false;
    return WriteParticleDots(ctx);
}

const StepRegistration kFonts(31, "fonts and particle dots", WriteFontsAndParticles);

// The shadows' texture: a soft blob in the sprite's rectangle and a dark
// footprint in the footprint rectangle, transparent elsewhere.
bool WriteShadowTexture(const Context& ctx)
{
    constexpr uint32_t kSize = 1024;
    std::vector<uint32_t> colour(kSize * kSize, 0), alpha(kSize * kSize, 0);
    const float cx = (457.0f + 504.0f) / 2, cy = (515.0f + 565.0f) / 2, rx = 23.5f, ry = 25.0f;
    for (uint32_t y = 515; y < 565; ++y)
        for (uint32_t x = 457; x < 504; ++x) {
            const float dx = (float(x) + 0.5f - cx) / rx, dy = (float(y) + 0.5f - cy) / ry;
            const float d = std::sqrt(dx * dx + dy * dy);
            alpha[y * kSize + x] = d >= 1.0f ? 0u : uint32_t((1.0f - d) * 255.0f);
        }
    for (uint32_t y = 526; y < 556; ++y)
        for (uint32_t x = 745; x < 776; ++x)
            alpha[y * kSize + x] = 200;
    // The colours mark the effect shapes' sprites, one colour each.
    const std::vector<Rgb> classes = {{40, 40, 40}, {230, 40, 40}, {40, 60, 230}};
    for (uint32_t y = 0; y < kSize; ++y)
        for (uint32_t x = 0; x < kSize; ++x)
            colour[y * kSize + x] = uint32_t(AlphaJunkClass((float(x) + 0.5f) / kSize, (float(y) + 0.5f) / kSize));
    return SaveDocument(ctx.out / "graphics" / "units" / "alpha junk.rim",
                        Picture(kSize, kSize, classes, colour, true, &alpha));
}

const StepRegistration kShadowTexture(32, "shadow texture", WriteShadowTexture);

} // namespace
} // namespace sample

// What each reader makes of the hand-built fixtures, pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "Veapi/iff_image_reader.h"
#include "Veapi/texture_loader.h"
#include "texture_support.h"

using namespace texture_test;
using ve::TextureLoader;

namespace {

struct PixelCase {
    const char* fixture;
    uint32_t width, height;
    std::vector<uint32_t> rgb;  // top row first
};

TEST(ImageReaders, HandBuiltFilesDecodeToTheirPixels)
{
    LoaderSetup setup;
    const PixelCase cases[] = {
        {"bmp_8bit_4x2.bmp", 4, 2, {0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0xffffff, 0x0000ff, 0x00ff00, 0xff0000}},
        {"bmp_24bit_3x2.bmp", 3, 2, {0x0a141e, 0x28323c, 0x46505a, 0xff0000, 0x00ff00, 0x0000ff}},
        // A 24-bit picture whose colours-used field is set stays 24-bit.
        {"bmp_24bit_colours_used.bmp", 3, 2, {0x0a141e, 0x28323c, 0x46505a, 0xff0000, 0x00ff00, 0x0000ff}},
        // 10 pixels of 1 bit: two bytes and two bytes of padding a row.
        {"bmp_1bit_10x2.bmp", 10, 2,
         {0xffffff, 0, 0xffffff, 0, 0xffffff, 0, 0xffffff, 0, 0xffffff, 0xffffff,
          0, 0xffffff, 0, 0xffffff, 0, 0xffffff, 0, 0xffffff, 0, 0}},
        {"bmp_4bit_core.bmp", 3, 1, {0xff0000, 0x00ff00, 0x000000}},
        {"bmp_8bit_implicit_256.bmp", 2, 1, {0xc83764, 0xff007f}},
        {"pnm_p6_comment.ppm", 2, 1, {0xff0000, 0x0000ff}},
        {"pnm_p5_max15.pgm", 4, 1, {0x000000, 0x111111, 0xeeeeee, 0xffffff}},
        // A set bit is black; the last 7 bits of each row's second byte are unused.
        {"pnm_p4_9x2.pbm", 9, 2,
         {0, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0,
          0xffffff, 0, 0, 0, 0, 0, 0, 0, 0xffffff}},
        {"ilbm_4x2_2planes.iff", 4, 2, {0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0xffffff, 0x0000ff, 0x00ff00, 0xff0000}},
        {"ilbm_4x2_2planes_rle.iff", 4, 2, {0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0xffffff, 0x0000ff, 0x00ff00, 0xff0000}},
        {"ilbm_list_prop.iff", 4, 2, {0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0xffffff, 0x0000ff, 0x00ff00, 0xff0000}},
    };
    for (const PixelCase& c : cases) {
        uint32_t ox = 0, oy = 0;
        SurfaceRef s(TextureLoader::LoadSurface("sOXOY", Fixture(c.fixture).c_str(), &ox, &oy));
        ASSERT_TRUE(s) << c.fixture << ": error " << TextureLoader::LastError();
        EXPECT_EQ(ox, c.width) << c.fixture;
        EXPECT_EQ(oy, c.height) << c.fixture;
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x)
                EXPECT_EQ(s->ReadArgb(x, y) & 0xffffff, c.rgb[y * c.width + x])
                    << c.fixture << " at " << x << "," << y;
    }
}

// A true-colour bitmap in surfaces of every channel order and depth: each
// pixel keeps its colour (within the channel's precision), and the texture's
// padding column repeats the row's last pixel.
TEST(ImageReaders, TrueColourBitmapFillsEverySurfaceFormat)
{
    struct FormatCase {
        const char* name;
        gfx::PixelFormatDesc format;
        int tolerance; // per channel, from the format's precision
    };
    const FormatCase formats[] = {
        {"xrgb", Xrgb32(), 0},
        {"argb", Argb32(), 0},
        {"xbgr", gfx::RgbFormat(32, 0xff, 0xff00, 0xff0000), 0},
        {"rgb565", Rgb565(), 8},
    };
    const uint32_t want[] = {0x0a141e, 0x28323c, 0x46505a, 0xff0000, 0x00ff00, 0x0000ff};
    for (const FormatCase& f : formats) {
        SCOPED_TRACE(f.name);
        LoaderSetup setup(f.format);
        uint32_t w = 0;
        SurfaceRef s(TextureLoader::LoadTexture("sW", Fixture("bmp_24bit_3x2.bmp").c_str(), &w));
        ASSERT_TRUE(s) << "error " << TextureLoader::LastError();
        ASSERT_EQ(w, 4u) << "a 3-wide picture in a 4-wide texture";
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 4; ++x) {
                const uint32_t got = s->ReadArgb(x, y), expected = want[y * 3 + std::min(x, 2u)];
                for (int shift : {0, 8, 16}) {
                    const int g = int(got >> shift) & 255, e = int(expected >> shift) & 255;
                    EXPECT_LE(std::abs(g - e), f.tolerance) << x << "," << y << " channel at " << shift;
                }
                if (f.format.alphaMask) {
                    EXPECT_EQ(got >> 24, 255u) << x << "," << y;
                }
            }
    }
}

TEST(ImageReaders, BitmapPaletteStaysIndexedInAPalettisedSurface)
{
    LoaderSetup setup;
    TextureLoader::SetSurfaceFormat(gfx::PaletteFormat(4));
    SurfaceRef s(TextureLoader::LoadSurface("s", Fixture("bmp_8bit_4x2.bmp").c_str()));
    ASSERT_TRUE(s);
    // 4-bit indices, first pixel in the low bits.
    EXPECT_EQ(s->Pixels()[0], 0x10);
    EXPECT_EQ(s->Pixels()[1], 0x32);
    ASSERT_NE(s->GetPalette(), nullptr);
    EXPECT_EQ(s->GetPalette()->Entries().size(), 16u);
    EXPECT_EQ(s->GetPalette()->Entries()[2].blue, 255);
}

TEST(IffImageReader, ChoosesThePictureWhosePaletteFits)
{
    LoaderSetup setup;
    std::string file = Fixture("ilbm_16_and_256.iff");
    // A 32-bit target and a 256-entry palette both take the 256-colour picture.
    SurfaceRef rgb(TextureLoader::LoadTexture("s", file.c_str()));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->ReadArgb(0, 0) & 0xffffff, 0xc8c8c8u);
    TextureLoader::SetSurfaceFormat(gfx::PaletteFormat(8));
    SurfaceRef pal(TextureLoader::LoadSurface("s", file.c_str()));
    ASSERT_TRUE(pal);
    EXPECT_EQ(pal->ReadArgb(0, 0) & 0xffffff, 0xc8c8c8u);
    // A 16-entry surface takes the 16-colour picture.
    TextureLoader::SetSurfaceFormat(gfx::PaletteFormat(4));
    SurfaceRef small(TextureLoader::LoadSurface("s", file.c_str()));
    ASSERT_TRUE(small) << TextureLoader::LastError();
    EXPECT_EQ(small->ReadArgb(0, 0) & 0xffffff, 0x101010u);
    // A texture format limited to 16 palette entries is passed over.
    setup.Reset(Xrgb32());
    TextureLoader::AddFormat(gfx::PaletteFormat(4), 0, true, 16, false);
    SurfaceRef chosen(TextureLoader::LoadTexture("s", file.c_str()));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->Format().bitCount, 32u);
    TextureLoader::SetSurfaceFormat(gfx::PaletteFormat(2));
    EXPECT_EQ(TextureLoader::LoadSurface("s", file.c_str()), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexPaletteMismatch);
}

std::vector<uint8_t> WriteDoc(ve::IffContainer* root)
{
    ve::IffDocument doc;
    doc.SetRoot(root);
    ve::BufferMedium out;
    EXPECT_TRUE(doc.Write(&out));
    return out.Bytes();
}

ve::IffForm* Picture(uint32_t w, uint32_t h, const std::vector<uint8_t>& palette,
                     const std::vector<uint32_t>& values, uint8_t masking, uint16_t transparent, bool compress)
{
    ve::RegisterIffImageFormat();
    auto* form = new ve::IffForm(ve::kIffIlbm);
    auto* bmhd = new ve::IlbmBmhd;
    bmhd->width = uint16_t(w);
    bmhd->height = uint16_t(h);
    bmhd->planes = 8;
    bmhd->masking = masking;
    bmhd->transparent = transparent;
    bmhd->compression = compress;
    form->Append(bmhd);
    auto* cmap = new ve::IlbmCmap;
    cmap->rgb = palette;
    form->Append(cmap);
    auto* body = new ve::IlbmBody;
    body->Encode(values, w, h, 8, compress);
    form->Append(body);
    return form;
}

TEST(IffImageReader, TransparentIndexIsTheOnlyPixelEqualToTheKey)
{
    LoaderSetup setup(Rgb565());
    struct Case {
        const char* what;
        uint16_t transparent;
        std::vector<uint8_t> palette;
        uint16_t key, moved;
    };
    const Case cases[] = {
        // Index 1 packs to 0 like the black key: green moves up one step.
        {"black key", 0, {0, 0, 0, 3, 2, 5}, 0x0000, 0x0020},
        // Index 1 packs to pure red like the red key: green is the cheapest move.
        {"red key", 0, {255, 0, 0, 250, 1, 2}, 0xf800, 0xf820},
        // Blue up is taken when it costs least.
        {"blue up", 0, {0, 0, 0, 0, 0, 7}, 0x0000, 0x0001},
    };
    for (const Case& c : cases) {
        for (bool compress : {false, true}) {
            std::vector<uint8_t> file =
                WriteDoc(Picture(2, 1, c.palette, {0, 1}, 2, c.transparent, compress));
            SurfaceRef s(TextureLoader::LoadTexture("px", file.data(), uint32_t(file.size())));
            ASSERT_TRUE(s) << c.what << " " << TextureLoader::LastError();
            const auto* px = reinterpret_cast<const uint16_t*>(s->Pixels().data());
            EXPECT_EQ(px[0], c.key) << c.what;
            EXPECT_EQ(px[1], c.moved) << c.what;
            uint32_t low = 0, high = 0;
            EXPECT_TRUE(s->ColorKey(&low, &high)) << c.what;
            EXPECT_EQ(low, c.key) << c.what;
        }
    }
    // Masking 0: no key, and the colour stays as it packs.
    std::vector<uint8_t> plain = WriteDoc(Picture(2, 1, {0, 0, 0, 3, 2, 5}, {0, 1}, 0, 0, false));
    SurfaceRef s(TextureLoader::LoadTexture("pxf", plain.data(), uint32_t(plain.size()), ve::kLoadColourKey));
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->ColorKey(nullptr, nullptr)) << "the picture's masking decides";
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(s->Pixels().data())[1], 0u);
}

// A palette picture narrower than its texture, in a 32-bit and a 16-bit
// surface: each pixel takes its palette colour and the padding column repeats
// the row's last pixel.
TEST(IffImageReader, PalettePictureFillsItsTextureRow)
{
    const std::vector<uint8_t> palette = {0x10, 0x20, 0x30, 0x48, 0x50, 0x68, 0xf8, 0x80, 0x08};
    const uint32_t want[] = {0x102030, 0x485068, 0xf88008, 0xf88008};
    for (const gfx::PixelFormatDesc& format : {Xrgb32(), Rgb565()}) {
        SCOPED_TRACE(format.bitCount);
        LoaderSetup setup(format);
        std::vector<uint8_t> file = WriteDoc(Picture(3, 1, palette, {0, 1, 2}, 0, 0, false));
        uint32_t w = 0;
        SurfaceRef s(TextureLoader::LoadTexture("pxW", file.data(), uint32_t(file.size()), &w));
        ASSERT_TRUE(s) << TextureLoader::LastError();
        ASSERT_EQ(w, 4u);
        for (uint32_t x = 0; x < 4; ++x)
            for (int shift : {0, 8, 16})
                EXPECT_LE(std::abs(int(s->ReadArgb(x, 0) >> shift & 255) - int(want[x] >> shift & 255)), 8)
                    << x << " channel at " << shift;
    }
}

// Levels of one chain each bring their own palette; one reader converts them
// all, so no level may take the colours of the one before it.
TEST(IffImageReader, EachMipLevelTakesItsOwnPalette)
{
    struct Level {
        uint32_t side;
        std::vector<uint8_t> palette;
        uint32_t rgb;
    };
    const Level levels[] = {{4, {0xff, 0, 0, 0, 0, 0}, 0xff0000},
                            {2, {0, 0, 0xff, 0, 0, 0}, 0x0000ff},
                            {1, {0, 0xff, 0, 0, 0, 0}, 0x00ff00}};
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress);
        LoaderSetup setup;
        auto* mipm = new ve::IffForm(ve::kIffMipm);
        mipm->Append(new ve::MipmCont);
        for (const Level& l : levels) {
            auto* picture = Picture(l.side, l.side, l.palette, std::vector<uint32_t>(l.side * l.side, 0), 0, 0, compress);
            if (&l == levels) {
                mipm->Append(picture);
                continue;
            }
            auto* list = new ve::IffList(ve::kIffIlbm);
            list->Append(picture);
            mipm->Append(list);
        }
        std::vector<uint8_t> file = WriteDoc(mipm);
        SurfaceRef top(TextureLoader::LoadTexture("pxf", file.data(), uint32_t(file.size()), ve::kLoadMipMapped));
        ASSERT_TRUE(top) << TextureLoader::LastError();
        gfx::Surface* level = top.s;
        level->AddRef();
        for (const Level& l : levels) {
            ASSERT_NE(level, nullptr) << l.side;
            EXPECT_EQ(level->ReadArgb(0, 0) & 0xffffff, l.rgb) << "level of side " << l.side;
            gfx::Surface* next = nullptr;
            level->GetAttachedSurface(gfx::kCapsTexture | gfx::kCapsMipMap, &next);
            level->Release();
            level = next;
        }
        if (level)
            level->Release();
    }
}

TEST(IffImageReader, AlphaPlanesGoIntoTheAlphaChannel)
{
    LoaderSetup setup(Argb32());
    TextureLoader::AddFormat(Argb32(), 8, true, 0, false);
    uint32_t alphaBits = 0;
    SurfaceRef s(TextureLoader::LoadTexture("sA", Fixture("ilbm_alpha_2x1.iff").c_str(), &alphaBits));
    ASSERT_TRUE(s) << TextureLoader::LastError();
    EXPECT_EQ(alphaBits, 8u);
    EXPECT_EQ(s->ReadArgb(0, 0), 0x40ff0000u);
    EXPECT_EQ(s->ReadArgb(1, 0), 0xc000ff00u);
    // Without alpha planes the format's alpha mask makes every pixel opaque.
    SurfaceRef opaque(TextureLoader::LoadTexture("s", Fixture("ilbm_4x2_2planes.iff").c_str()));
    ASSERT_TRUE(opaque);
    EXPECT_EQ(opaque->ReadArgb(0, 0), 0xffff0000u);
}

TEST(IffImageReader, S3tcReportsItsAlphaBits)
{
    LoaderSetup setup;
    TextureLoader::AddFormat(gfx::FourCCFormat(gfx::kFourCCDxt1), 1, true, 0, true);
    struct Case {
        uint8_t tran;
        uint32_t alphaBits;
    };
    for (Case c : {Case{0, 0}, Case{1, 1}}) {
        ve::RegisterIffImageFormat();
        auto* form = new ve::IffForm(ve::kIffIlbm);
        auto* bmhd = new ve::IlbmBmhd;
        bmhd->width = 6;  // not a whole number of blocks
        bmhd->height = 4;
        form->Append(bmhd);
        auto* s3tc = new ve::IlbmS3tc;
        s3tc->fourCC = gfx::kFourCCDxt1;
        s3tc->width = 8;
        s3tc->height = 4;
        // Block 0 red (indices 0), block 1 blue (every index 1, the second colour).
        s3tc->data = {0x00, 0xf8, 0, 0, 0, 0, 0, 0, 0x00, 0xf8, 0x1f, 0x00, 0x55, 0x55, 0x55, 0x55};
        form->Append(s3tc);
        auto* tran = new ve::IlbmTran;
        tran->enabled = c.tran;
        form->Append(tran);
        std::vector<uint8_t> file = WriteDoc(form);
        uint32_t bits = 99, w = 0;
        SurfaceRef s(TextureLoader::LoadTexture("pxAW", file.data(), uint32_t(file.size()), &bits, &w));
        ASSERT_TRUE(s) << TextureLoader::LastError();
        EXPECT_EQ(bits, c.alphaBits);
        EXPECT_EQ(w, 8u);
        // The second block is copied whole though the picture ends inside it.
        EXPECT_EQ(s->ReadArgb(5, 0) & 0xffffff, 0x0000ffu);
        EXPECT_EQ(s->ReadArgb(7, 3) & 0xffffff, 0x0000ffu);
    }
}

} // namespace

namespace {

// A bottom-up bitmap of the given bits (8 with a grey palette, or 24) whose
// pixel at (x, y), top row first, has the value (x * 3 + y * 7) & 255 in each
// channel it stores.
std::vector<uint8_t> LargeBmp(uint32_t width, uint32_t height, uint16_t bits)
{
    const uint32_t colours = bits == 8 ? 256 : 0;
    const uint32_t rowBytes = (width * bits / 8 + 3) & ~3u;
    const uint32_t offset = 54 + 4 * colours;
    std::vector<uint8_t> out = {'B', 'M'};
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    };
    le32(offset + rowBytes * height);
    le32(0);
    le32(offset);
    le32(40);
    le32(width);
    le32(height);
    out.insert(out.end(), {1, 0, uint8_t(bits), 0});
    le32(0);
    le32(rowBytes * height);
    le32(0);
    le32(0);
    le32(colours);
    le32(0);
    for (uint32_t i = 0; i < colours; ++i)
        out.insert(out.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = height - 1 - row;
        size_t start = out.size();
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t v = uint8_t(x * 3 + y * 7);
            if (bits == 8)
                out.push_back(v);
            else
                out.insert(out.end(), {v, uint8_t(v ^ 0x55), uint8_t(v ^ 0xAA)}); // blue, green, red
        }
        out.resize(start + rowBytes, 0);
    }
    return out;
}

} // namespace

// Pictures larger than one read of rows, with padded rows: every row comes out
// where it belongs, across the reads.
TEST(ImageReaders, LargeBitmapsDecodeEveryRowAcrossReads)
{
    LoaderSetup setup;
    TempDir dir;
    for (uint16_t bits : {uint16_t(8), uint16_t(24)}) {
        SCOPED_TRACE(bits);
        const uint32_t width = 1023, height = 1100; // rows padded; more than a megabyte
        const std::string path = dir / ("large" + std::to_string(bits) + ".bmp");
        WriteBytes(path, LargeBmp(width, height, bits));
        uint32_t ox = 0, oy = 0;
        SurfaceRef s(TextureLoader::LoadSurface("sOXOY", path.c_str(), &ox, &oy));
        ASSERT_TRUE(s) << "error " << TextureLoader::LastError();
        ASSERT_EQ(ox, width);
        ASSERT_EQ(oy, height);
        int wrong = 0;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; x += 61) {
                const uint8_t v = uint8_t(x * 3 + y * 7);
                const uint32_t want = bits == 8 ? uint32_t(v) * 0x010101
                                                : uint32_t(v ^ 0xAA) << 16 | uint32_t(v ^ 0x55) << 8 | v;
                wrong += (s->ReadArgb(x, y) & 0xffffff) != want;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// The plane decoder against the plain reading of planar rows, one bit at a
// time: plane counts below, at and above eight, widths off a byte's edge and
// around the decoder's steps of 16, 128 and 512 pixels.
TEST(IffImageReader, PlaneRowsDecodeToTheValueOfEveryBit)
{
    struct Case {
        uint32_t width, planes;
    };
    const Case cases[] = {{1, 1},   {7, 3},   {8, 8},    {9, 8},    {17, 5},   {33, 12},  {16, 24},
                          {23, 32}, {128, 8}, {131, 8}, {259, 5}, {400, 32}, {256, 1}, {300, 7},
                          {512, 8}, {1171, 8}, {1100, 3}, {1536, 1}, {1040, 9}};
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return uint8_t(seed >> 16);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " wide, " + std::to_string(c.planes) + " planes");
        const uint32_t height = 3, rowBytes = (c.width + 7) / 8;
        std::vector<uint8_t> data(size_t(rowBytes) * c.planes * height);
        for (uint8_t& b : data)
            b = next();
        // Up to eight planes the rows can also come as one byte a pixel.
        for (bool indices : {false, true}) {
            if (indices && c.planes > 8)
                continue;
            ve::PlaneDecoder decoder;
            decoder.Start(data, 0, c.width, height, c.planes, false);
            for (uint32_t y = 0; y < height; ++y) {
                ASSERT_TRUE(indices ? decoder.NextIndexRow() : decoder.NextRow());
                const uint8_t* row = data.data() + size_t(y) * rowBytes * c.planes;
                for (uint32_t x = 0; x < c.width; ++x) {
                    uint32_t want = 0;
                    for (uint32_t p = 0; p < c.planes; ++p)
                        want |= uint32_t((row[p * rowBytes + x / 8] >> (7 - x % 8)) & 1) << p;
                    const uint32_t got = indices ? decoder.Indices()[x] : decoder.Values()[x];
                    ASSERT_EQ(got, want) << "row " << y << " pixel " << x << (indices ? " as a byte" : "");
                }
            }
            EXPECT_FALSE(indices ? decoder.NextIndexRow() : decoder.NextRow());
        }
    }
}

// True-colour rows of every width around the conversion's steps of four and
// six pixels, rows unpadded (width 4, 8) or padded: every pixel lands, and
// none is read from the next row or past the file.
TEST(ImageReaders, TrueColourRowsOfEveryWidthKeepEachPixel)
{
    LoaderSetup setup;
    TempDir dir;
    for (uint32_t width : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 17u, 33u}) {
        SCOPED_TRACE(width);
        const uint32_t height = 3;
        const std::string path = dir / ("w" + std::to_string(width) + ".bmp");
        WriteBytes(path, LargeBmp(width, height, 24));
        uint32_t ox = 0, oy = 0;
        SurfaceRef s(TextureLoader::LoadSurface("sOXOY", path.c_str(), &ox, &oy));
        ASSERT_TRUE(s) << "error " << TextureLoader::LastError();
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t v = uint8_t(x * 3 + y * 7);
                const uint32_t want = uint32_t(v ^ 0xAA) << 16 | uint32_t(v ^ 0x55) << 8 | v;
                ASSERT_EQ(s->ReadArgb(x, y) & 0xffffff, want) << "pixel " << x << ", " << y;
            }
    }
}

// Palette rows of widths around the steps the row conversion takes (eight
// or sixty-four entries at a time where it can) and the plane spread's (16,
// 128 and 512 pixels), plain and ByteRun1-coded: every pixel gets its own
// entry, and the column past the picture repeats the last one.
TEST(IffImageReader, PaletteRowsOfEveryWidthTakeEachEntry)
{
    LoaderSetup setup(Xrgb32());
    std::vector<uint8_t> palette;
    for (uint32_t i = 0; i < 256; ++i)
        palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    auto entry = [&](uint32_t i) { return uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint8_t(i * 7); };
    TempDir dir;
    for (bool compress : {false, true})
        for (uint32_t width : {1u, 7u, 8u, 9u, 16u, 37u, 63u, 64u, 129u, 200u, 256u, 600u, 1100u}) {
            SCOPED_TRACE(std::to_string(width) + (compress ? " ByteRun1" : ""));
            const uint32_t height = 2;
            std::vector<uint32_t> values;
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < width; ++x)
                    values.push_back((x * 13 + y * 5) & 255);
            std::vector<uint8_t> file = WriteDoc(Picture(width, height, palette, values, 0, 0, compress));
            WriteBytes(dir / "picture", file);
            // From memory, and from a file whose rows are read where they lie.
            for (bool fromFile : {false, true}) {
                uint32_t w = 0;
                SurfaceRef s(fromFile ? TextureLoader::LoadTexture("sW", (dir / "picture").c_str(), &w)
                                      : TextureLoader::LoadTexture("pxW", file.data(), uint32_t(file.size()), &w));
                ASSERT_TRUE(s) << TextureLoader::LastError();
                for (uint32_t y = 0; y < height; ++y) {
                    for (uint32_t x = 0; x < width; ++x)
                        ASSERT_EQ(s->ReadArgb(x, y) & 0xffffff, entry(values[y * width + x])) << x << ", " << y;
                    if (width < w) {
                        EXPECT_EQ(s->ReadArgb(width, y) & 0xffffff, entry(values[y * width + width - 1]))
                            << "row " << y;
                    }
                }
            }
        }
}

// A picture loaded from a file keeps its rows where the file's bytes lie only
// while the load runs: a kept picture reloads its own pixels after the
// buffer that held its file has gone to another file of the same size.
TEST(IffImageReader, KeptPictureReloadsItsOwnRowsAfterItsFileIsGone)
{
    std::vector<uint8_t> palette;
    for (uint32_t i = 0; i < 256; ++i)
        palette.insert(palette.end(), {uint8_t(i), uint8_t(i * 5), uint8_t(255 - i)});
    auto values = [](uint32_t side, uint32_t seed) {
        std::vector<uint32_t> v(size_t(side) * side);
        for (uint32_t i = 0; i < v.size(); ++i)
            v[i] = (i * 7 + seed * 101) & 255;
        return v;
    };
    struct Case {
        const char* what;
        gfx::PixelFormatDesc format;
        uint32_t flags;
        std::function<ve::IffContainer*(uint32_t seed)> make;
    };
    const Case cases[] = {
        {"plain rows", Xrgb32(), 0,
         [&](uint32_t seed) { return Picture(64, 64, palette, values(64, seed), 0, 0, false); }},
        {"ByteRun1 rows", Xrgb32(), 0,
         [&](uint32_t seed) { return Picture(64, 64, palette, values(64, seed), 0, 0, true); }},
        {"alpha planes", Argb32(), 0,
         [&](uint32_t seed) {
             ve::IffForm* form = Picture(64, 64, palette, values(64, seed), 0, 0, false);
             auto* alph = new ve::IlbmAlph;
             alph->width = alph->height = 64;
             alph->planes = 8;
             alph->Encode(values(64, seed + 1), 64, 64, 8, false);
             form->Append(alph);
             return form;
         }},
        {"mip levels", Xrgb32(), ve::kLoadMipMapped,
         [&](uint32_t seed) {
             auto* mipm = new ve::IffForm(ve::kIffMipm);
             mipm->Append(new ve::MipmCont);
             mipm->Append(Picture(64, 64, palette, values(64, seed), 0, 0, false));
             for (uint32_t side = 32; side >= 1; side /= 2) {
                 auto* list = new ve::IffList(ve::kIffIlbm);
                 list->Append(Picture(side, side, palette, values(side, seed + side), 0, 0, false));
                 mipm->Append(list);
             }
             return mipm;
         }},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoaderSetup setup(c.format);
        if (c.format.alphaMask)
            TextureLoader::AddFormat(c.format, 8, true, 0, false);
        WriteBytes(dir / "kept", WriteDoc(c.make(1)));
        WriteBytes(dir / "other", WriteDoc(c.make(2)));
        ve::ImageReader* kept = nullptr;
        SurfaceRef first(TextureLoader::LoadTexture("sBf", (dir / "kept").c_str(), &kept, c.flags));
        ASSERT_TRUE(first) << TextureLoader::LastError();
        ASSERT_NE(kept, nullptr);
        SurfaceRef other(TextureLoader::LoadTexture("sf", (dir / "other").c_str(), c.flags));
        ASSERT_TRUE(other) << TextureLoader::LastError();
        ASSERT_NE(LevelBytes(other.s), LevelBytes(first.s)) << "the two files must differ";
        SurfaceRef again(TextureLoader::LoadTexture("rf", kept, c.flags));
        ASSERT_TRUE(again) << TextureLoader::LastError();
        EXPECT_EQ(LevelBytes(again.s), LevelBytes(first.s));
        EXPECT_EQ(TextureLoader::Release(kept), 0);
    }
}

// Decoded pixels against what independent tools decode from the same files.
#include <gtest/gtest.h>

#include "Veapi/iff_image_reader.h"
#include "Veapi/texture_loader.h"
#include "texture_support.h"

using namespace texture_test;
using ve::TextureLoader;

namespace {

// Procedural sources: a smooth true-colour picture and pictures of few colours.
std::vector<uint8_t> SourcePpm(const std::string& kind, uint32_t w, uint32_t h)
{
    std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t c;
            if (kind == "photo") {
                out.insert(out.end(), {uint8_t(x * 7), uint8_t(y * 11), uint8_t((x + y) * 5)});
                continue;
            }
            if (kind == "pal12")
                c = (x / 4 + y / 3) % 12;
            else
                c = (x / 2 + y) % 40;
            out.insert(out.end(), {uint8_t(c * 6), uint8_t(255 - c * 6), uint8_t(c * 73)});
        }
    return out;
}

std::string Fill(std::string pattern, const std::string& key, const std::string& value)
{
    for (size_t at; (at = pattern.find(key)) != std::string::npos;)
        pattern.replace(at, key.size(), value);
    return pattern;
}

struct OracleCase {
    const char* name;
    const char* source;  // "photo", "pal12" or "pal40"
    const char* tool;
    const char* make;       // {src} -> {img}
    const char* reference;  // {img} -> {ref}, a P6 file of maximum 255
};

void PrintTo(const OracleCase& c, std::ostream* os) { *os << c.name; }

const char* kMagickRef = "convert {img} -depth 8 ppm:{ref}";
const char* kNetpbmRef = "ilbmtoppm {img} > {ref}";

const OracleCase kCases[] = {
    {"bmp3_8bit", "pal40", "convert", "convert {src} -type Palette -compress None BMP3:{img}", kMagickRef},
    {"bmp2_8bit", "pal40", "convert", "convert {src} -type Palette -compress None BMP2:{img}", kMagickRef},
    {"bmp3_4bit", "pal12", "convert", "convert {src} -type Palette -compress None BMP3:{img}", kMagickRef},
    {"bmp2_4bit", "pal12", "convert", "convert {src} -type Palette -compress None BMP2:{img}", kMagickRef},
    {"bmp3_1bit", "photo", "convert", "convert {src} -monochrome -compress None BMP3:{img}", kMagickRef},
    {"bmp3_24bit", "photo", "convert", "convert {src} -type TrueColor BMP3:{img}", kMagickRef},
    {"bmp2_24bit", "photo", "convert", "convert {src} -type TrueColor BMP2:{img}", kMagickRef},
    {"pnm_p6", "photo", "convert", "convert {src} ppm:{img}", kMagickRef},
    {"pnm_p5", "photo", "convert", "convert {src} -colorspace Gray pgm:{img}", kMagickRef},
    {"pnm_p4", "photo", "convert", "convert {src} -monochrome pbm:{img}", kMagickRef},
    {"ilbm_palette_rle", "pal40", "ppmtoilbm", "ppmtoilbm -maxplanes 8 {src} > {img}", kNetpbmRef},
    {"ilbm_palette_raw", "pal40", "ppmtoilbm", "ppmtoilbm -maxplanes 8 -nocompress {src} > {img}", kNetpbmRef},
    {"ilbm_4planes_rle", "pal12", "ppmtoilbm", "ppmtoilbm {src} > {img}", kNetpbmRef},
    {"ilbm_24bit_rle", "photo", "ppmtoilbm", "ppmtoilbm -24force {src} > {img}", kNetpbmRef},
    {"ilbm_24bit_raw", "photo", "ppmtoilbm", "ppmtoilbm -24force -nocompress {src} > {img}", kNetpbmRef},
};

class ImageOracle : public ::testing::TestWithParam<std::tuple<OracleCase, uint32_t>> {};

TEST_P(ImageOracle, PixelsEqualTheToolsDecoding)
{
    const auto& [c, width] = GetParam();
    if (!HaveTool(c.tool) || !HaveTool(c.reference == kNetpbmRef ? "ilbmtoppm" : "convert"))
        GTEST_SKIP() << c.tool << " is not installed";
    TempDir dir;
    const uint32_t height = 23;
    WriteBytes(dir / "src.ppm", SourcePpm(c.source, width, height));
    std::string src = dir / "src.ppm", img = dir / "image", ref = dir / "ref.ppm";
    ASSERT_TRUE(RunTool(Fill(Fill(c.make, "{src}", src), "{img}", img))) << c.make;
    ASSERT_TRUE(RunTool(Fill(Fill(c.reference, "{img}", img), "{ref}", ref))) << c.reference;
    Image expected;
    ASSERT_TRUE(ReadPpm(ref, expected));

    LoaderSetup setup;
    uint32_t ox = 0, oy = 0;
    SurfaceRef s(TextureLoader::LoadSurface("sOXOY", img.c_str(), &ox, &oy));
    ASSERT_TRUE(s) << c.name << ": error " << TextureLoader::LastError();
    ASSERT_EQ(ox, expected.width);
    ASSERT_EQ(oy, expected.height);
    int wrong = 0;
    for (uint32_t y = 0; y < expected.height; ++y)
        for (uint32_t x = 0; x < expected.width; ++x)
            if ((s->ReadArgb(x, y) & 0xffffff) != expected.At(x, y) && ++wrong <= 3)
                ADD_FAILURE() << c.name << " at " << x << "," << y << ": " << std::hex
                              << (s->ReadArgb(x, y) & 0xffffff) << " != " << expected.At(x, y);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageOracle,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(32u, 37u)),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).name) + "_w" +
                                    std::to_string(std::get<1>(param.param));
                         });

// S3TC blocks: our texture of an "S3TC" chunk against the tool's decoding of a
// DDS file holding the same blocks.
std::vector<uint8_t> Blocks(uint32_t fourCC, uint32_t count)
{
    uint32_t size = fourCC == gfx::kFourCCDxt1 ? 8 : 16;
    std::vector<uint8_t> out;
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245 + 12345;
        return uint8_t(seed >> 16);
    };
    for (uint32_t i = 0; i < count; ++i) {
        std::vector<uint8_t> b(size);
        for (auto& v : b)
            v = next();
        uint8_t* colour = b.data() + size - 8;
        // Every other block with the first colour not the larger: three colours and black.
        bool threeColour = i % 2 == 1;
        uint16_t c0 = uint16_t(colour[0] | colour[1] << 8), c1 = uint16_t(colour[2] | colour[3] << 8);
        if ((c0 > c1) == threeColour) {
            std::swap(colour[0], colour[2]);
            std::swap(colour[1], colour[3]);
        }
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

std::vector<uint8_t> Dds(uint32_t fourCC, uint32_t w, uint32_t h, const std::vector<uint8_t>& blocks)
{
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    auto put = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    };
    put(124);
    put(0x1 | 0x2 | 0x4 | 0x1000 | 0x80000);
    put(h);
    put(w);
    put(uint32_t(blocks.size()));
    put(0);
    put(0);
    for (int i = 0; i < 11; ++i)
        put(0);
    put(32);
    put(0x4);
    put(fourCC);
    for (int i = 0; i < 5; ++i)
        put(0);
    put(0x1000);
    for (int i = 0; i < 4; ++i)
        put(0);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

std::vector<uint8_t> S3tcDocument(uint32_t fourCC, uint32_t w, uint32_t h, const std::vector<uint8_t>& blocks)
{
    ve::RegisterIffImageFormat();
    auto* form = new ve::IffForm(ve::kIffIlbm);
    auto* bmhd = new ve::IlbmBmhd;
    bmhd->width = uint16_t(w);
    bmhd->height = uint16_t(h);
    form->Append(bmhd);
    auto* s3tc = new ve::IlbmS3tc;
    s3tc->fourCC = fourCC;
    s3tc->width = uint16_t(w);
    s3tc->height = uint16_t(h);
    s3tc->data = blocks;
    form->Append(s3tc);
    ve::IffDocument doc;
    doc.SetRoot(form);
    ve::BufferMedium out;
    EXPECT_TRUE(doc.Write(&out));
    return out.Bytes();
}

TEST(S3tcOracle, BlocksDecodeAsTheToolDecodesThem)
{
    if (!HaveTool("convert"))
        GTEST_SKIP() << "convert is not installed";
    LoaderSetup setup;
    for (uint32_t fourCC : {gfx::kFourCCDxt1, gfx::kFourCCDxt3}) {
        const uint32_t w = 16, h = 8;
        std::vector<uint8_t> blocks = Blocks(fourCC, (w / 4) * (h / 4));
        TempDir dir;
        WriteBytes(dir / "blocks.dds", Dds(fourCC, w, h, blocks));
        ASSERT_TRUE(RunTool("convert " + (dir / "blocks.dds") + " -depth 8 ppm:" + (dir / "ref.ppm")));
        Image expected;
        ASSERT_TRUE(ReadPpm(dir / "ref.ppm", expected));
        std::vector<uint8_t> file = S3tcDocument(fourCC, w, h, blocks);
        SurfaceRef s(TextureLoader::LoadTexture("px", file.data(), uint32_t(file.size())));
        ASSERT_TRUE(s) << TextureLoader::LastError();
        EXPECT_FALSE(s->Format().flags & gfx::kPfFourCC) << "copied into the 32-bit device texture";
        int wrong = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                if ((s->ReadArgb(x, y) & 0xffffff) != expected.At(x, y) && ++wrong <= 3)
                    ADD_FAILURE() << std::hex << fourCC << " at " << std::dec << x << "," << y << ": "
                                  << std::hex << (s->ReadArgb(x, y) & 0xffffff) << " != " << expected.At(x, y);
        EXPECT_EQ(wrong, 0);
    }
}

} // namespace

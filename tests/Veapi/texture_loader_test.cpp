#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include <filesystem>

#include "Veapi/texture_loader.h"
#include "texture_support.h"

using namespace texture_test;
using ve::TextureLoader;

namespace {

uint32_t Rgb(const gfx::Surface* s, uint32_t x, uint32_t y) { return s->ReadArgb(x, y) & 0xffffff; }

// A device whose surface creation always fails.
class FailingFactory : public gfx::SurfaceFactory {
public:
    gfx::Result CreateSurface(const gfx::SurfaceDesc&, gfx::Surface** s) override
    {
        *s = nullptr;
        return gfx::kErrOutOfMemory;
    }
    gfx::Result CreatePalette(uint32_t, const gfx::PaletteEntry*, gfx::Palette** p) override
    {
        *p = nullptr;
        return gfx::kErrOutOfMemory;
    }
};

TEST(TextureLoaderOptions, BadFormatStringsFailBeforeAnythingIsRead)
{
    LoaderSetup setup;
    std::string path = Fixture("bmp_8bit_4x2.bmp");
    uint32_t w = 0, h = 0, n = 0;
    ve::ImageReader* kept = nullptr;
    ve::LoadRect rect;
    ve::KeptImage image(1, 1, 0, 0, 0, 0, false, {}, {}, {});
    static const char bytes[] = "BM";
    const char* p = path.c_str();
    struct Case {
        const char* what;
        std::function<gfx::Surface*()> load;
    };
    const Case cases[] = {
        {"two sources", [&] { return TextureLoader::LoadTexture("ss", p, p); }},
        {"unknown letter", [&] { return TextureLoader::LoadTexture("sq", p); }},
        {"O at the end", [&] { return TextureLoader::LoadTexture("sO", p, &w); }},
        {"O then another letter", [&] { return TextureLoader::LoadTexture("sOW", p, &w); }},
        {"m after n", [&] { return TextureLoader::LoadTexture("snm", p, 256u, 1u); }},
        {"no source", [&] { return TextureLoader::LoadTexture("W", &w); }},
        {"r after B", [&] { return TextureLoader::LoadTexture("Br", &kept, &image); }},
        {"x after r", [&] { return TextureLoader::LoadTexture("rx", &image, 10u); }},
        {"N after r", [&] { return TextureLoader::LoadTexture("rN", &image, &n); }},
        {"B after r", [&] { return TextureLoader::LoadTexture("rB", &image, &kept); }},
        {"a after W", [&] { return TextureLoader::LoadTexture("sWa", p, &w, 1u, &rect); }},
        {"a after H", [&] { return TextureLoader::LoadTexture("sHa", p, &h, 1u, &rect); }},
        {"W after a", [&] { return TextureLoader::LoadTexture("saW", p, 1u, &rect, &w); }},
        {"memory without a size", [&] { return TextureLoader::LoadTexture("p", bytes); }},
        {"mip-mapped plain surface", [&] { return TextureLoader::LoadSurface("sf", p, ve::kLoadMipMapped); }},
    };
    for (const Case& c : cases) {
        gfx::Surface* s = c.load();
        EXPECT_EQ(s, nullptr) << c.what;
        EXPECT_EQ(TextureLoader::LastError(), ve::kTexBadOptions) << c.what;
    }
    // X and Y alone are ignored; 't' after 'a' takes no argument.
    SurfaceRef ok(TextureLoader::LoadTexture("XsY", path.c_str()));
    EXPECT_TRUE(ok) << TextureLoader::LastError();
    ve::LoadRect rects[1] = {{0, 0, 2, 2, 0, 0, nullptr}};
    SurfaceRef none(TextureLoader::LoadTexture("sat", path.c_str(), 1u, rects));
    EXPECT_EQ(TextureLoader::LastError(), 0u);
}

struct ErrorCase {
    const char* fixture;
    bool texture;
    uint32_t expected;
};

TEST(TextureLoaderErrors, EachCodeIsReachedByAFileThatShowsIt)
{
    LoaderSetup setup;
    const ErrorCase cases[] = {
        {"does_not_exist.bmp", true, ve::kTexOpenFailed},
        {"bmp_truncated.bmp", true, ve::kTexEndOfData},
        {"pnm_unknown_p7.pam", true, ve::kTexUnknownFormat},
        {"bmp_header108.bmp", true, ve::kTexUnknownFormat},
        {"bmp_rle8.bmp", true, ve::kTexUnknownFormat},
        {"pnm_p6_max65535.ppm", true, ve::kTexUnknownFormat},
        {"bmp_planes2.bmp", true, ve::kTexBadImage},
        {"bmp_300_colours.bmp", true, ve::kTexBadImage},
        {"bmp_zero_width.bmp", true, ve::kTexBadImage},
        {"pnm_p6_no_linefeed.ppm", true, ve::kTexBadImage},
        {"pnm_p6_max0.ppm", true, ve::kTexBadImage},
        {"ilbm_masking1.iff", true, ve::kTexBadImage},
        {"ilbm_no_cmap.iff", true, ve::kTexBadImage},
        {"ilbm_body_short.iff", true, ve::kTexBadImage},
        {"iff_size_past_end.iff", true, ve::kTexBadImage},
        {"iff_bad_root.iff", true, ve::kTexUnknownFormat},
        {"s3tc_short_data.iff", true, ve::kTexBadImage},
        {"bmp_colours_used_huge.bmp", true, ve::kTexBadImage},
        {"bmp_offset_inside_palette.bmp", true, ve::kTexBadImage},
        {"bmp_too_wide.bmp", true, ve::kTexBadImage},
        {"pnm_p6_cut_in_header.ppm", true, ve::kTexEndOfData},
        {"pnm_p6_long_number.ppm", true, ve::kTexBadImage},
    };
    for (const ErrorCase& c : cases) {
        gfx::Surface* s = TextureLoader::LoadTexture("s", Fixture(c.fixture).c_str());
        EXPECT_EQ(s, nullptr) << c.fixture;
        EXPECT_EQ(TextureLoader::LastError(), c.expected) << c.fixture;
        if (s)
            s->Release();
    }
    gfx::Surface* s = TextureLoader::LoadTexture("s", Fixture("does_not_exist.bmp").c_str());
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(TextureLoader::LastOsError(), ENOENT);
}

// Names of what is no image file: refused at the open, unread and unwaited.
TEST(TextureLoaderErrors, NamedFilesThatCannotBeImagesAreRefusedUnread)
{
    LoaderSetup setup;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("trevok-textures-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "folder.bmp");
    ASSERT_EQ(::mkfifo((folder / "fifo.bmp").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", folder / "zeros.bmp");
    std::ofstream(folder / "huge.bmp").close();
    std::filesystem::resize_file(folder / "huge.bmp", uint64_t{1} << 30); // sparse
    struct Case {
        const char* name;
        int osError;
    };
    const Case cases[] = {{"folder.bmp", EISDIR}, {"fifo.bmp", EINVAL}, {"zeros.bmp", EINVAL}, {"huge.bmp", EFBIG}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextureLoader::LoadTexture("s", (folder / c.name).c_str()), nullptr);
        EXPECT_EQ(TextureLoader::LastError(), ve::kTexOpenFailed);
        EXPECT_EQ(TextureLoader::LastOsError(), c.osError);
    }
    std::filesystem::remove_all(folder);
}

TEST(TextureLoaderErrors, DeviceAndTargetFailures)
{
    LoaderSetup setup;
    std::string bmp = Fixture("bmp_8bit_4x2.bmp");

    // 1: the device refuses to make the surface.
    FailingFactory failing;
    TextureLoader::SetDirectDraw(&failing);
    EXPECT_EQ(TextureLoader::LoadTexture("s", bmp.c_str()), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexGfxFailed);

    // 3: no device at all, and a texture before the caps are known.
    TextureLoader::ClearDirectDraw();
    EXPECT_EQ(TextureLoader::LoadTexture("s", bmp.c_str()), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexNoDevice);
    TextureLoader::SetDirectDraw(&setup.factory);
    EXPECT_EQ(TextureLoader::LoadTexture("s", bmp.c_str()), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexNoDevice);
    setup.Reset(Xrgb32());

    // 5: the descriptor cannot be read (a directory).
    int dir = ::open(Fixture("").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    EXPECT_EQ(TextureLoader::LoadTexture("h", dir), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexReadFailed);
    EXPECT_EQ(TextureLoader::LastOsError(), EISDIR);
    ::close(dir);

    // 9: 4 colours do not fit a 1-bit palettised surface.
    TextureLoader::SetSurfaceFormat(gfx::PaletteFormat(1));
    EXPECT_EQ(TextureLoader::LoadSurface("s", bmp.c_str()), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexPaletteMismatch);
    TextureLoader::SetSurfaceFormat(Xrgb32());

    // 11: a target surface of another size.
    gfx::SurfaceDesc d;
    d.flags = gfx::kSdCaps | gfx::kSdWidth | gfx::kSdHeight | gfx::kSdPixelFormat;
    d.width = 8;
    d.height = 8;
    d.caps = gfx::kCapsTexture;
    d.pixelFormat = Xrgb32();
    gfx::Surface* wrong = nullptr;
    ASSERT_EQ(setup.factory.CreateSurface(d, &wrong), gfx::kOk);
    EXPECT_EQ(TextureLoader::LoadTexture("st", bmp.c_str(), wrong), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexTargetMismatch);
    EXPECT_EQ(wrong->RefCount(), 1) << "a given surface keeps only the caller's reference";
    wrong->Release();

    // 12: a rectangle with an odd left edge reaches a mip level.
    ve::LoadRect odd[1] = {{1, 0, 5, 4, 0, 0, nullptr}};
    EXPECT_EQ(TextureLoader::LoadTexture("sfa", Fixture("mipm_3levels.iff").c_str(), ve::kLoadMipMapped, 1u, odd),
              nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexOddMipRect);
    EXPECT_EQ(odd[0].surface, nullptr);

    // 13: a rectangle of a compressed image off the 4-pixel grid.
    ve::LoadRect unaligned[1] = {{2, 0, 4, 4, 0, 0, nullptr}};
    EXPECT_EQ(TextureLoader::LoadTexture("sa", Fixture("s3tc_dxt1_4x4.iff").c_str(), 1u, unaligned), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexUnalignedRect);

    // 14: a compressed image cannot become a palettised texture.
    setup.Reset(gfx::PaletteFormat(8));
    EXPECT_EQ(TextureLoader::LoadTexture("s", Fixture("s3tc_dxt1_4x4.iff").c_str()), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexCompressedPalette);
}

TEST(TextureLoaderDispatch, FirstBytesChooseTheReader)
{
    LoaderSetup setup;
    // "BM" picks the BMP reader whatever follows: here its header size is refused.
    const uint8_t bm[] = {'B', 'M', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 0, 0, 0, 0, 7, 0, 0, 0};
    EXPECT_EQ(TextureLoader::LoadTexture("px", bm, uint32_t(sizeof bm)), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexUnknownFormat);
    const uint8_t p7[] = {'P', '7', '\n', '1'};
    EXPECT_EQ(TextureLoader::LoadTexture("px", p7, uint32_t(sizeof p7)), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexUnknownFormat);
}

TEST(TextureLoaderSources, MemoryIsReadOnlyWithinItsSize)
{
    LoaderSetup setup;
    std::vector<uint8_t> bytes = ReadBytes(Fixture("bmp_24bit_3x2.bmp"));
    // Exactly sized copies: a read past the end would be caught by the sanitizers.
    for (size_t cut : {bytes.size(), bytes.size() - 1, size_t(20), size_t(3)}) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
        uint32_t consumed = 0;
        SurfaceRef s(TextureLoader::LoadTexture("pxN", part.data(), uint32_t(part.size()), &consumed));
        if (cut == bytes.size()) {
            ASSERT_TRUE(s) << TextureLoader::LastError();
            EXPECT_EQ(Rgb(s.s, 2, 1), 0x0000ffu);
            EXPECT_EQ(consumed, bytes.size());
        } else {
            EXPECT_FALSE(s) << cut;
            EXPECT_EQ(TextureLoader::LastError(), ve::kTexEndOfData) << cut;
        }
    }
}

TEST(TextureLoaderSources, HandleReadsFromItsPositionAndStaysOpen)
{
    LoaderSetup setup;
    TempDir dir;
    std::vector<uint8_t> one = ReadBytes(Fixture("bmp_24bit_3x2.bmp"));
    std::vector<uint8_t> two = ReadBytes(Fixture("bmp_8bit_4x2.bmp"));
    std::vector<uint8_t> both = one;
    both.insert(both.end(), two.begin(), two.end());
    WriteBytes(dir / "pair.bin", both);
    int fd = ::open((dir / "pair.bin").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    uint32_t consumed = 0, w = 0;
    SurfaceRef first(TextureLoader::LoadTexture("hNOX", fd, &consumed, &w));
    ASSERT_TRUE(first);
    EXPECT_EQ(consumed, one.size());
    EXPECT_EQ(w, 3u);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), off_t(one.size()));
    SurfaceRef second(TextureLoader::LoadTexture("hOX", fd, &w));
    ASSERT_TRUE(second) << TextureLoader::LastError();
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(::close(fd), 0) << "the caller's descriptor stays open";
}

TEST(TextureLoaderSizes, PowerOfTwoDeviceRoundsUpButReportsTheImageSize)
{
    LoaderSetup setup;
    setup.caps.textureCaps = gfx::kTexCapsPow2;
    setup.Reset(Xrgb32());
    TempDir dir;
    std::vector<uint8_t> ppm = {'P', '6', '\n', '3', '0', '0', ' ', '2', '0', '0', '\n', '2', '5', '5', '\n'};
    ppm.resize(ppm.size() + 300 * 200 * 3, 7);
    WriteBytes(dir / "big.ppm", ppm);
    uint32_t w = 0, h = 0, ox = 0, oy = 0;
    SurfaceRef s(TextureLoader::LoadTexture("sWHOXOY", (dir / "big.ppm").c_str(), &w, &h, &ox, &oy));
    ASSERT_TRUE(s);
    EXPECT_EQ(w, 512u);
    EXPECT_EQ(h, 256u);
    EXPECT_EQ(ox, 300u);
    EXPECT_EQ(oy, 200u);
    // The row is widened by one repeated pixel; the rest stays as it was.
    EXPECT_EQ(Rgb(s.s, 300, 0), 0x070707u);
    EXPECT_EQ(Rgb(s.s, 301, 0), 0u);
}

TEST(TextureLoaderRows, ShortRowRepeatsItsLastPixelOnce)
{
    LoaderSetup setup;
    TempDir dir;
    std::vector<uint8_t> ppm = {'P', '6', '\n', '1', '3', ' ', '1', '\n', '2', '5', '5', '\n'};
    for (int x = 0; x < 13; ++x)
        ppm.insert(ppm.end(), {uint8_t(x * 10), 0, 0});
    WriteBytes(dir / "row.ppm", ppm);
    ve::LoadRect rect[1] = {{0, 0, 13, 1, 0, 0, nullptr}};
    // Sized by the rectangle: 16 x 4 holding a 13 x 1 picture.
    rect[0].right = 16;
    TextureLoader::LoadSurface("saf", (dir / "row.ppm").c_str(), 1u, rect, ve::kLoadRectSize);
    ASSERT_EQ(TextureLoader::LastError(), 0u);
    SurfaceRef s(rect[0].surface);
    ASSERT_TRUE(s);
    EXPECT_EQ(rect[0].outWidth, 16u);
    EXPECT_EQ(Rgb(s.s, 12, 0), 0x780000u);
    EXPECT_EQ(Rgb(s.s, 13, 0), 0x780000u);
    EXPECT_EQ(Rgb(s.s, 14, 0), 0u);
    EXPECT_EQ(Rgb(s.s, 15, 0), 0u);
    // The last row is repeated into the taller surface.
    EXPECT_EQ(Rgb(s.s, 5, 1), 0x320000u);
    EXPECT_EQ(Rgb(s.s, 5, 2), 0u);
}

TEST(TextureLoaderColourKey, BlackThatIsNotTheKeyStaysVisible)
{
    LoaderSetup setup(Rgb565());
    // Palette: index 0 (the key) red, index 3 black. Only index 0 may become 0.
    TempDir dir;
    std::vector<uint8_t> bmp = ReadBytes(Fixture("bmp_8bit_4x2.bmp"));
    // Entry 3 (white) becomes black: the palette starts at 14 + 40, 4 bytes an entry.
    bmp[54 + 12] = bmp[54 + 13] = bmp[54 + 14] = 0;
    WriteBytes(dir / "key.bmp", bmp);
    SurfaceRef s(TextureLoader::LoadTexture("sf", (dir / "key.bmp").c_str(), ve::kLoadColourKey));
    ASSERT_TRUE(s);
    const auto* row0 = reinterpret_cast<const uint16_t*>(s->Pixels().data());
    EXPECT_EQ(row0[0], 0u) << "index 0 is the key";
    EXPECT_EQ(row0[3], 0x0020u) << "black moves to the lowest green bit";
    EXPECT_EQ(row0[1], 0x07e0u);
    uint32_t low = 1, high = 1;
    EXPECT_TRUE(s->ColorKey(&low, &high));
    EXPECT_EQ(low, 0u);
    EXPECT_EQ(high, 0u);

    // With an alpha mask every pixel stays non-zero: only the key is 0.
    setup.Reset(gfx::RgbFormat(16, 0x7c00, 0x03e0, 0x001f, 0x8000));
    SurfaceRef a(TextureLoader::LoadTexture("sf", (dir / "key.bmp").c_str(), ve::kLoadColourKey));
    ASSERT_TRUE(a);
    const auto* arow = reinterpret_cast<const uint16_t*>(a->Pixels().data());
    EXPECT_EQ(arow[0], 0u);
    EXPECT_EQ(arow[3], 0x8000u);
}

TEST(TextureLoaderKeep, KeptImageReloadsWithoutItsFile)
{
    LoaderSetup setup;
    TempDir dir;
    for (const char* name : {"bmp_24bit_3x2.bmp", "ilbm_4x2_2planes.iff"}) {
        std::filesystem::copy_file(Fixture(name), dir / "copy");
        ve::ImageReader* kept = nullptr;
        SurfaceRef first(TextureLoader::LoadTexture("sB", (dir / "copy").c_str(), &kept));
        ASSERT_TRUE(first) << name;
        ASSERT_NE(kept, nullptr);
        std::filesystem::remove(dir / "copy");
        SurfaceRef again(TextureLoader::LoadTexture("r", kept));
        ASSERT_TRUE(again) << name << " " << TextureLoader::LastError();
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 3; ++x)
                EXPECT_EQ(again->ReadArgb(x, y), first->ReadArgb(x, y)) << name << x << y;
        EXPECT_EQ(TextureLoader::Release(kept), 0);
    }
    EXPECT_EQ(TextureLoader::Release(nullptr), 2);
}

TEST(TextureLoaderLevels, LargestDimensionDropsLevelsWhereThereAreAny)
{
    LoaderSetup setup;
    uint32_t w = 0, h = 0;
    // 8, 4, 2, 1: a largest dimension of 2 drops two levels.
    SurfaceRef mip(TextureLoader::LoadTexture("snWH", Fixture("mipm_3levels.iff").c_str(), 2u, &w, &h));
    ASSERT_TRUE(mip) << TextureLoader::LastError();
    EXPECT_EQ(w, 4u) << "2 x 2 level in a surface rounded up to 4";
    EXPECT_EQ(Rgb(mip.s, 0, 0), 0xffffffu) << "the 2 x 2 level holds index 3";
    // 'm' drops one: the first list becomes the top level.
    SurfaceRef one(TextureLoader::LoadTexture("smOX", Fixture("mipm_3levels.iff").c_str(), 1u, &w));
    ASSERT_TRUE(one);
    EXPECT_EQ(w, 8u) << "OX gives the whole image";
    EXPECT_EQ(one->Width(), 4u);
    EXPECT_EQ(Rgb(one.s, 0, 0), 0x0000ffu);
    // A picture without levels is loaded whole.
    SurfaceRef flat(TextureLoader::LoadTexture("snW", Fixture("bmp_8bit_4x2.bmp").c_str(), 1u, &w));
    ASSERT_TRUE(flat);
    EXPECT_EQ(w, 4u);
}

TEST(TextureLoaderLevels, MipMappedTextureHoldsEveryLevel)
{
    LoaderSetup setup;
    SurfaceRef top(TextureLoader::LoadTexture("sf", Fixture("mipm_3levels.iff").c_str(), ve::kLoadMipMapped));
    ASSERT_TRUE(top) << TextureLoader::LastError();
    gfx::SurfaceDesc d;
    top->GetDesc(d);
    EXPECT_EQ(d.mipMapCount, 4u);
    const uint32_t expected[] = {0x00ff00, 0x0000ff, 0xffffff, 0xff0000};
    gfx::Surface* level = top.s;
    level->AddRef();
    for (uint32_t i = 0; i < 4; ++i) {
        ASSERT_NE(level, nullptr) << i;
        EXPECT_EQ(Rgb(level, 0, 0), expected[i]) << "level " << i;
        gfx::Surface* next = nullptr;
        level->GetAttachedSurface(gfx::kCapsTexture | gfx::kCapsMipMap, &next);
        level->Release();
        level = next;
    }
    EXPECT_EQ(level, nullptr);
}

TEST(TextureLoaderTarget, RefillsAGivenSurface)
{
    LoaderSetup setup;
    std::string bmp = Fixture("bmp_24bit_3x2.bmp");
    SurfaceRef first(TextureLoader::LoadTexture("s", bmp.c_str()));
    ASSERT_TRUE(first);
    std::fill(first->Pixels().begin(), first->Pixels().end(), 0);
    gfx::Surface* again = TextureLoader::LoadTexture("st", bmp.c_str(), first.s);
    ASSERT_EQ(again, first.s) << TextureLoader::LastError();
    again->Release();
    EXPECT_EQ(Rgb(first.s, 0, 0), 0x0a141eu);
    // 0x100 | 0x200: a surface that was not lost is left as it is.
    std::fill(first->Pixels().begin(), first->Pixels().end(), 0);
    gfx::Surface* kept = TextureLoader::LoadTexture("stf", bmp.c_str(), first.s, ve::kLoadRestoreLost | ve::kLoadOnlyIfLost);
    ASSERT_EQ(kept, first.s);
    kept->Release();
    EXPECT_EQ(Rgb(first.s, 0, 0), 0u);
    first->MarkLost();
    kept = TextureLoader::LoadTexture("stf", bmp.c_str(), first.s, ve::kLoadRestoreLost | ve::kLoadOnlyIfLost);
    ASSERT_EQ(kept, first.s);
    kept->Release();
    EXPECT_FALSE(first->IsLost());
    EXPECT_EQ(Rgb(first.s, 0, 0), 0x0a141eu);
}

TEST(TextureLoaderRects, EachRectangleGetsItsOwnSurface)
{
    LoaderSetup setup;
    // Rows 0 and 1 of the fixture: red green blue white / white blue green red.
    ve::LoadRect rects[3] = {{0, 0, 2, 2, 0, 0, nullptr}, {2, 1, 4, 2, 0, 0, nullptr}, {4, 0, 6, 2, 0, 0, nullptr}};
    EXPECT_EQ(TextureLoader::LoadSurface("sa", Fixture("bmp_8bit_4x2.bmp").c_str(), 3u, rects), nullptr);
    ASSERT_EQ(TextureLoader::LastError(), 0u);
    SurfaceRef a(rects[0].surface), b(rects[1].surface);
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    EXPECT_EQ(rects[2].surface, nullptr) << "a rectangle right of the image is skipped";
    EXPECT_EQ(rects[0].outWidth, 4u);
    EXPECT_EQ(Rgb(a.s, 0, 0), 0xff0000u);
    EXPECT_EQ(Rgb(a.s, 1, 1), 0x0000ffu);
    EXPECT_EQ(Rgb(b.s, 0, 0), 0x00ff00u);
    EXPECT_EQ(Rgb(b.s, 1, 0), 0xff0000u);
    EXPECT_EQ(Rgb(b.s, 2, 0), 0xff0000u) << "the row's last pixel once more";
}

TEST(TextureLoaderStaging, RowsGoThroughSystemMemoryIntoTheDeviceTexture)
{
    LoaderSetup setup;
    SurfaceRef s(TextureLoader::LoadTexture("sf", Fixture("bmp_24bit_3x2.bmp").c_str(), ve::kLoadStaging));
    ASSERT_TRUE(s) << TextureLoader::LastError();
    EXPECT_TRUE(s->Caps() & gfx::kCapsVideoMemory);
    EXPECT_EQ(Rgb(s.s, 2, 1), 0x0000ffu);
    // A plain surface taking a texture format lands in system memory.
    SurfaceRef sys(TextureLoader::LoadSurface("sf", Fixture("bmp_24bit_3x2.bmp").c_str(), ve::kLoadTextureFormat));
    ASSERT_TRUE(sys);
    EXPECT_TRUE(sys->Caps() & gfx::kCapsSystemMemory);
    EXPECT_TRUE(sys->Caps() & gfx::kCapsTexture);
    EXPECT_EQ(TextureLoader::LoadTexture("px", nullptr, 10u), nullptr);
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexOpenFailed);
}

// Fills each top level the loader says it writes whole with a pattern, so a
// byte left unwritten keeps the pattern and differs between two patterns.
class PatternFactory : public gfx::MemorySurfaceFactory {
public:
    uint8_t pattern = 0;
    int promised = 0;
    gfx::Result CreateSurface(const gfx::SurfaceDesc& desc, gfx::Surface** s) override
    {
        const gfx::Result r = MemorySurfaceFactory::CreateSurface(desc, s);
        if (r == gfx::kOk && desc.topLevelWritten) {
            ++promised;
            std::fill((*s)->Pixels().begin(), (*s)->Pixels().end(), pattern);
        }
        return r;
    }
};

TEST(TextureLoaderUnfilledSurfaces, EveryByteOfAnUnzeroedSurfaceIsWritten)
{
    using Load = std::function<std::vector<gfx::Surface*>()>;
    auto one = [](gfx::Surface* s) { return std::vector<gfx::Surface*>{s}; };
    auto texture = [one](const char* name, uint32_t flags = 0) -> Load {
        return [=] { return one(TextureLoader::LoadTexture("sf", Fixture(name).c_str(), flags)); };
    };
    struct Case {
        const char* what;
        gfx::PixelFormatDesc format;
        Load load;
    };
    const Case cases[] = {
        {"24-bit picture, 32-bit texture", Xrgb32(), texture("bmp_24bit_3x2.bmp")},
        {"rows padded to four bytes", gfx::RgbFormat(24, 0xff0000, 0xff00, 0xff), texture("bmp_24bit_3x2.bmp")},
        {"16-bit rows", Rgb565(), texture("bmp_8bit_4x2.bmp")},
        {"16-bit rows with padding", Rgb565(), texture("bmp_24bit_3x2.bmp")},
        {"palettised", gfx::PaletteFormat(8), texture("bmp_8bit_4x2.bmp")},
        {"one-bit picture", Xrgb32(), texture("bmp_1bit_10x2.bmp")},
        {"planes", Argb32(), texture("ilbm_4x2_2planes.iff")},
        {"packed planes", Argb32(), texture("ilbm_4x2_2planes_rle.iff")},
        {"alpha planes", Argb32(), texture("ilbm_alpha_2x1.iff")},
        {"mip levels", Xrgb32(), texture("mipm_3levels.iff", ve::kLoadMipMapped)},
        {"staged", Xrgb32(), texture("bmp_24bit_3x2.bmp", ve::kLoadStaging)},
        {"sized by the rectangle",
         Xrgb32(),
         [] {
             ve::LoadRect rect[1] = {{0, 0, 16, 2, 0, 0, nullptr}};
             TextureLoader::LoadSurface("saf", Fixture("bmp_8bit_4x2.bmp").c_str(), 1u, rect, ve::kLoadRectSize);
             return std::vector<gfx::Surface*>{rect[0].surface};
         }},
        {"rectangles",
         Xrgb32(),
         [] {
             ve::LoadRect rects[2] = {{0, 0, 2, 2, 0, 0, nullptr}, {1, 1, 4, 2, 0, 0, nullptr}};
             TextureLoader::LoadSurface("sa", Fixture("bmp_8bit_4x2.bmp").c_str(), 2u, rects);
             return std::vector<gfx::Surface*>{rects[0].surface, rects[1].surface};
         }},
    };
    // Every byte of every level, as the loads left them.
    auto bytesOf = [](const std::vector<gfx::Surface*>& surfaces) {
        std::vector<std::vector<uint8_t>> all;
        for (gfx::Surface* s : surfaces) {
            for (std::vector<uint8_t>& level : LevelBytes(s))
                all.push_back(std::move(level));
            if (s)
                s->Release();
        }
        return all;
    };
    int promised = 0;
    for (const Case& c : cases) {
        std::vector<std::vector<uint8_t>> seen[2];
        for (int run = 0; run < 2; ++run) {
            LoaderSetup setup;
            PatternFactory factory;
            factory.pattern = run ? 0xff : 0x5a;
            TextureLoader::SetDevice(&factory, &setup.caps);
            TextureLoader::SetDefaultFormat(c.format);
            TextureLoader::SetSurfaceFormat(c.format);
            std::vector<gfx::Surface*> made = c.load();
            EXPECT_EQ(TextureLoader::LastError(), 0u) << c.what;
            seen[run] = bytesOf(made);
            promised += factory.promised;
            TextureLoader::ClearDirectDraw();
        }
        EXPECT_FALSE(seen[0].empty()) << c.what;
        EXPECT_EQ(seen[0], seen[1]) << c.what;
    }
    // The check means something only if some loads skip the zero fill.
    EXPECT_GT(promised, 0);
}

TEST(PixelFormatDescription, RefusesWhatTheLoaderCannotFill)
{
    struct Case {
        const char* what;
        gfx::PixelFormatDesc desc;
        int result;
    };
    gfx::PixelFormatDesc twoPalettes = gfx::PaletteFormat(8);
    twoPalettes.flags |= gfx::kPfPaletteIndexed4;
    gfx::PixelFormatDesc palAlpha = gfx::PaletteFormat(8);
    palAlpha.flags |= gfx::kPfAlphaPixels;
    gfx::PixelFormatDesc alphaNoMask = Xrgb32();
    alphaNoMask.flags |= gfx::kPfAlphaPixels;
    gfx::PixelFormatDesc odd = gfx::RgbFormat(12, 0xf00, 0xf0, 0xf);
    gfx::PixelFormatDesc zbuf = Xrgb32();
    zbuf.flags |= gfx::kPfZBuffer;
    const Case cases[] = {
        {"x8r8g8b8", Xrgb32(), 0},        {"a8r8g8b8", Argb32(), 0},
        {"palette 8", gfx::PaletteFormat(8), 0}, {"dxt1", gfx::FourCCFormat(gfx::kFourCCDxt1), 0},
        {"two palette depths", twoPalettes, 2}, {"palette with alpha", palAlpha, 2},
        {"alpha without mask", alphaNoMask, 2}, {"12 bits", odd, 2},
        {"z-buffer", zbuf, 2},
    };
    for (const Case& c : cases) {
        ve::PixelFormat f;
        EXPECT_EQ(f.FromDDPixelFormat(&c.desc), c.result) << c.what;
        EXPECT_EQ(f.Valid(), c.result == 0) << c.what;
    }
    ve::PixelFormat f;
    EXPECT_EQ(f.FromDDPixelFormat(nullptr), 2);
    gfx::PixelFormatDesc r565 = Rgb565();
    ASSERT_EQ(f.FromDDPixelFormat(&r565), 0);
    EXPECT_EQ(f.Pack(255, 255, 255), 0xffffu);
    EXPECT_EQ(f.Pack(8, 4, 8), 0x0821u);
    gfx::PixelFormatDesc dxt = gfx::FourCCFormat(gfx::kFourCCDxt1);
    ASSERT_EQ(f.FromDDPixelFormat(&dxt), 0);
    EXPECT_EQ(f.bits, 16u);
    EXPECT_TRUE(f.HasAlpha());
}

TEST(TextureLoaderChoice, LastQualifyingCandidateWins)
{
    LoaderSetup setup;
    TextureLoader::AddFormat(gfx::PaletteFormat(8), 0, false, 0, false);
    TextureLoader::AddFormat(Rgb565(), 0, true, 0, false);
    TextureLoader::AddFormat(gfx::FourCCFormat(gfx::kFourCCDxt1), 1, true, 0, true);
    // A palettised picture: the 565 format comes later and qualifies too.
    SurfaceRef pal(TextureLoader::LoadTexture("s", Fixture("bmp_8bit_4x2.bmp").c_str()));
    ASSERT_TRUE(pal);
    EXPECT_EQ(pal->Format().bitCount, 16u);
    // The DXT1 candidate is bound to compressed images.
    SurfaceRef dxt(TextureLoader::LoadTexture("s", Fixture("s3tc_dxt1_4x4.iff").c_str()));
    ASSERT_TRUE(dxt) << TextureLoader::LastError();
    EXPECT_TRUE(dxt->Format().flags & gfx::kPfFourCC);
    EXPECT_EQ(Rgb(dxt.s, 0, 0), 0xff0000u);
    EXPECT_EQ(Rgb(dxt.s, 1, 0), 0x0000ffu);
    // Without the 565 candidate and with a colour key the palettised one is passed over.
    TextureLoader::SetDefaultFormat(Xrgb32());
    TextureLoader::AddFormat(gfx::PaletteFormat(8), 0, false, 0, false);
    SurfaceRef keyed(TextureLoader::LoadTexture("sf", Fixture("bmp_8bit_4x2.bmp").c_str(), ve::kLoadColourKey));
    ASSERT_TRUE(keyed);
    EXPECT_EQ(keyed->Format().bitCount, 32u);
    SurfaceRef plain(TextureLoader::LoadTexture("s", Fixture("bmp_8bit_4x2.bmp").c_str()));
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->Format().flags & gfx::kPfPaletteIndexed8);
    EXPECT_EQ(plain->Pixels()[1], 1u);
    EXPECT_EQ(Rgb(plain.s, 1, 0), 0x00ff00u) << "the palette goes with the surface";
}

} // namespace

#include "Veapi/gamma_control.h"

namespace {

TEST(GammaControl, RampIsReadAndSetOnlyWhereTheDisplayOffersOne)
{
    LoaderSetup setup;
    SurfaceRef primary(TextureLoader::LoadSurface("s", Fixture("bmp_24bit_3x2.bmp").c_str()));
    ASSERT_TRUE(primary);
    ASSERT_TRUE(ve::GammaControl::Open(primary.s));
    const gfx::GammaRamp* ramp = ve::GammaControl::GetRamp();
    ASSERT_NE(ramp, nullptr);
    EXPECT_EQ(ramp->green[255], 65535);
    gfx::GammaRamp dim = *ramp;
    for (auto& v : dim.red)
        v = uint16_t(v / 2);
    EXPECT_TRUE(ve::GammaControl::SetRamp(dim));
    EXPECT_EQ(ve::GammaControl::GetRamp()->red[255], 32767);
    ve::GammaControl::Close();
    EXPECT_EQ(ve::GammaControl::GetRamp(), nullptr);

    FailingFactory noGamma;
    TextureLoader::SetDirectDraw(&noGamma);
    EXPECT_FALSE(ve::GammaControl::Open(primary.s));
    EXPECT_FALSE(ve::GammaControl::SetRamp(dim));
}

} // namespace

namespace {

SurfaceRef MakePlain(gfx::MemorySurfaceFactory& factory, const gfx::PixelFormatDesc& format, uint32_t width)
{
    gfx::SurfaceDesc d;
    d.flags = gfx::kSdCaps | gfx::kSdHeight | gfx::kSdWidth | gfx::kSdPixelFormat;
    d.width = width;
    d.height = 1;
    d.pixelFormat = format;
    d.caps = gfx::kCapsOffscreenPlain | gfx::kCapsSystemMemory;
    gfx::Surface* s = nullptr;
    factory.CreateSurface(d, &s);
    return SurfaceRef(s);
}

} // namespace

// The software copy a device falls back on when it cannot copy a level into
// a texture's format: each narrow format gets the exact packed pixel.
TEST(TextureLoaderSoftwareCopy, EachNarrowFormatGetsTheChannelsShiftedIntoPlace)
{
    LoaderSetup setup;
    struct Case {
        const char* name;
        gfx::PixelFormatDesc narrow;
        std::vector<uint8_t> pixel; // bytes of the first pixel of the final surface
    };
    // A = 0xF0, R = 0x80, G = 0x40, B = 0x08: each representable in every format.
    const Case cases[] = {
        {"R5G6B5", Rgb565(), {0x01, 0x82}},
        {"A4R4G4B4", gfx::RgbFormat(16, 0x0f00, 0x00f0, 0x000f, 0xf000), {0x40, 0xf8}},
        {"X1R5G5B5", gfx::RgbFormat(16, 0x7c00, 0x03e0, 0x001f), {0x01, 0x41}},
        {"R8G8B8", gfx::RgbFormat(24, 0xff0000, 0xff00, 0xff), {0x08, 0x40, 0x80}},
        {"X8R8G8B8", Xrgb32(), {0x08, 0x40, 0x80, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SurfaceRef source = MakePlain(setup.factory, Argb32(), 2);
        SurfaceRef wide = MakePlain(setup.factory, Argb32(), 2);
        SurfaceRef narrow = MakePlain(setup.factory, c.narrow, 2);
        SurfaceRef final = MakePlain(setup.factory, c.narrow, 2);
        ASSERT_TRUE(source && wide && narrow && final);
        const uint8_t argb[] = {0x08, 0x40, 0x80, 0xf0, 0x08, 0x40, 0x80, 0xf0};
        std::copy(std::begin(argb), std::end(argb), source->Pixels().begin());
        ASSERT_TRUE(TextureLoader::ConvertBySoftware(source.s, wide.s, narrow.s, final.s));
        const gfx::PixelBytes& got = final->Pixels();
        EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + long(c.pixel.size())), c.pixel);
    }
    // An 8-bit palettised format cannot hold three colour bytes: refused, nothing overrun.
    SurfaceRef source = MakePlain(setup.factory, Argb32(), 2);
    SurfaceRef wide = MakePlain(setup.factory, Argb32(), 2);
    SurfaceRef narrow = MakePlain(setup.factory, gfx::PaletteFormat(8), 2);
    SurfaceRef final = MakePlain(setup.factory, gfx::PaletteFormat(8), 2);
    ASSERT_TRUE(source && wide && narrow && final);
    EXPECT_FALSE(TextureLoader::ConvertBySoftware(source.s, wide.s, narrow.s, final.s));
    EXPECT_EQ(TextureLoader::LastError(), ve::kTexGfxFailed);
}

// The sample data's textures load, each as what later subsystems take it for.
#include <gtest/gtest.h>

#include "Veapi/texture_loader.h"
#include "texture_support.h"

using namespace texture_test;
using ve::TextureLoader;

namespace {

TEST(SampleTextures, EveryFileLoadsAsItsSubsystemExpects)
{
    // Tests run in the build folder, where the data set is written.
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    if (!root)
        root = "sample-data";
    if (!std::filesystem::exists(std::string(root) + "/graphics/bitmaps/particles.rim"))
        GTEST_SKIP() << "the sample data set is not built";
    LoaderSetup setup(Argb32());
    TextureLoader::AddFormat(Argb32(), 8, true, 0, false);
    struct Case {
        const char* path;
        uint32_t width, height, levels, alphaBits;
    };
    const Case cases[] = {
        {"graphics/checker8.bmp", 64, 64, 1, 0},    {"graphics/gradient24.bmp", 128, 64, 1, 0},
        {"graphics/gradient.ppm", 64, 32, 1, 0},    {"graphics/pattern.pgm", 64, 32, 1, 0},
        {"graphics/stripes.pbm", 64, 32, 1, 0},     {"graphics/tiles.rim", 64, 64, 1, 0},
        {"graphics/tiles_raw.rim", 64, 64, 1, 0},   {"graphics/mipmapped.rim", 64, 64, 7, 0},
        {"graphics/blocks.rim", 32, 32, 1, 0},      {"graphics/bitmaps/particles.rim", 256, 256, 1, 8},
        {"graphics/bitmaps/briefingscreen.rim", 640, 480, 1, 0},
    };
    for (const Case& c : cases) {
        std::string path = std::string(root) + "/" + c.path;
        uint32_t ox = 0, oy = 0, alpha = 99;
        SurfaceRef s(TextureLoader::LoadTexture("sfOXOYA", path.c_str(), ve::kLoadMipMapped, &ox, &oy, &alpha));
        ASSERT_TRUE(s) << c.path << ": error " << TextureLoader::LastError();
        EXPECT_EQ(ox, c.width) << c.path;
        EXPECT_EQ(oy, c.height) << c.path;
        gfx::SurfaceDesc d;
        s->GetDesc(d);
        EXPECT_EQ(d.mipMapCount ? d.mipMapCount : 1, c.levels) << c.path;
        // Alpha the picture carries shows; opaque pictures fill the alpha channel.
        if (c.alphaBits)
            EXPECT_LT(s->ReadArgb(0, 0) >> 24, 0x10u) << c.path << ": the dot's corner is transparent";
        else
            EXPECT_EQ(s->ReadArgb(0, 0) >> 24, 0xffu) << c.path;
    }
}

} // namespace

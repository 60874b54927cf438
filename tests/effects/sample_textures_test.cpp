// The sample data's effect textures load, and the sprite sheet shows each
// rectangle the effect shapes cut out in a colour of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Veapi/texture_loader.h"
#include "Veapi/texture_support.h"

using namespace texture_test;
using ve::TextureLoader;

namespace {

TEST(SampleEffectTextures, LoadAndShowTheirRectangles)
{
    const char* env = std::getenv("TREVOK_SAMPLE_DATA");
    const std::string root = env ? env : "sample-data";
    if (!std::filesystem::exists(root + "/graphics/units/alpha junk.rim"))
        GTEST_SKIP() << "the sample data set is not built";
    LoaderSetup setup(Argb32());
    struct Case {
        const char* path;
        uint32_t size;
    };
    const Case cases[] = {{"units/alpha junk.rim", 1024}, {"units/reflect.rim", 128}, {"ground/shiny.rim", 64},
                          {"bitmaps/scanner.rim", 128},  {"bitmaps/water.rim", 64}, {"bitmaps/lava.rim", 64},
                          {"bitmaps/swamp.rim", 64},     {"bitmaps/oil.rim", 64},  {"bitmaps/ammocolours.rim", 96}};
    for (const Case& c : cases) {
        const std::string path = root + "/graphics/" + c.path;
        uint32_t w = 0, h = 0, alpha = 0;
        SurfaceRef s(TextureLoader::LoadTexture("sfOXOYA", path.c_str(), 0, &w, &h, &alpha));
        ASSERT_TRUE(s) << c.path << ": error " << TextureLoader::LastError();
        EXPECT_EQ(w, c.size) << c.path;
        if (std::string(c.path) == "units/alpha junk.rim") {
            // The second sprite's rectangle is red, the third's triangle blue.
            EXPECT_EQ(s->ReadArgb(634, 650) & 0xFFFFFF, 0xE62828u);
            EXPECT_EQ(s->ReadArgb(1002, 802) & 0xFFFFFF, 0x283CE6u);
            EXPECT_EQ(s->ReadArgb(40, 40) & 0xFFFFFF, 0x282828u);
        }
        if (std::string(c.path) == "bitmaps/ammocolours.rim") {
            // Six upright bands of 16 texels, one per colour group.
            const uint32_t bands[6] = {0xA0A0A0u, 0xE6C828u, 0xDC3228u, 0x325AE6u, 0x3CC846u, 0xAA46C8u};
            for (uint32_t g = 0; g < 6; ++g)
                for (const uint32_t y : {0u, 95u})
                    EXPECT_EQ(s->ReadArgb(16 * g + 8, y) & 0xFFFFFF, bands[g]) << g;
        }
    }
}

} // namespace

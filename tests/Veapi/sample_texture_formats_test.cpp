// The sample's 8-bit-alpha textures (particle dots, font glyphs) load with
// the display's default options, where the device offers no 8-bit alpha
// format unless 32-bit textures are preferred.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "Veapi/texture_loader.h"
#include "Veapi/texture_manager.h"
#include "camera_fixture.h"

namespace {

std::filesystem::path SampleGraphics()
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    return std::filesystem::path(root ? root : "sample-data") / "graphics";
}

struct SampleTexture {
    const char* name;
    uint32_t bits;     // of the format the loader chose
    bool alphaPlane;   // the image has 8-bit alpha, so the entry is translucent
};

void PrintTo(const SampleTexture& t, std::ostream* out)
{
    *out << t.name;
}

class SampleAlphaTextures : public scenetest::SceneTest, public ::testing::WithParamInterface<SampleTexture> {};

TEST_P(SampleAlphaTextures, LoadUnderTheDefaultOptions)
{
    if (!std::filesystem::exists(SampleGraphics() / "bitmaps"))
        GTEST_SKIP() << "the sample data set is not built";
    ASSERT_FALSE(Display::Options().prefer32BitTextures);
    StartScene(320, 240);
    TextureManager::SetGraphicsDirectory(SampleGraphics());
    const SampleTexture& t = GetParam();
    TextureEntry* entry = TextureManager::Find(t.name);
    ASSERT_NE(entry, nullptr);
    TextureManager::Use(entry);
    TextureManager::LoadPending();
    EXPECT_NE(entry->Surface(), nullptr) << t.name << ": loader error " << ve::TextureLoader::LastError();
    EXPECT_EQ(ve::TextureLoader::TargetFormat().bits, t.bits) << t.name;
    if (t.alphaPlane) {
        EXPECT_NE(entry->Options(), 0u) << t.name;
    }
    // Not Clear(): the display still holds its null texture until tear-down.
    TextureManager::Unuse(entry);
}

// Images without alpha keep their smaller formats.
INSTANTIATE_TEST_SUITE_P(AlphaPlanes, SampleAlphaTextures,
                         testing::Values(SampleTexture{"bitmaps\\particles.rim", 32, true},
                                         SampleTexture{"bitmaps\\small font.rim", 32, true},
                                         SampleTexture{"bitmaps\\large font.rim", 32, true},
                                         SampleTexture{"gradient24.bmp", 16, false},
                                         SampleTexture{"tiles.rim", 8, false}),
                         [](const auto& param) { return std::to_string(param.index); });

} // namespace

// The sample's 8-bit-alpha textures (particle dots, font glyphs) load with
// the display's default options, where the device offers no 8-bit alpha
// format unless 32-bit textures are preferred.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "Veapi/texture_loader.h"
#include "Veapi/texture_manager.h"
#include "camera_fixture.h"

namespace {

std::filesystem::path SampleGraphics()
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    return std::filesystem::path(root ? root : "sample-data") / "graphics";
}

class SampleAlphaTextures : public scenetest::SceneTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleAlphaTextures, LoadUnderTheDefaultOptions)
{
    if (!std::filesystem::exists(SampleGraphics() / "bitmaps"))
        GTEST_SKIP() << "the sample data set is not built";
    ASSERT_FALSE(Display::Options().prefer32BitTextures);
    StartScene(320, 240);
    TextureManager::SetGraphicsDirectory(SampleGraphics());
    TextureEntry* entry = TextureManager::Find(GetParam());
    ASSERT_NE(entry, nullptr);
    TextureManager::Use(entry);
    TextureManager::LoadPending();
    EXPECT_NE(entry->Surface(), nullptr) << GetParam() << ": loader error " << ve::TextureLoader::LastError();
    EXPECT_NE(entry->Options(), 0u) << "the alpha plane is kept";
    TextureManager::Clear();
}

INSTANTIATE_TEST_SUITE_P(AlphaPlanes, SampleAlphaTextures,
                         testing::Values("bitmaps\\particles.rim", "bitmaps\\small font.rim",
                                         "bitmaps\\large font.rim"));

} // namespace

// The texture manager loading real files through the texture loader, and
// rebuilding a lost texture from the kept image.
#include <fstream>

#include "Veapi/texture_bridge.h"
#include "display_fixture.h"
#include "texture_support.h"

namespace {

class TextureBridgeTest : public displaytest::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        // Fixture paths first: the folder below becomes the current one.
        std::vector<std::filesystem::path> files;
        for (const char* name : {"bmp_24bit_3x2.bmp", "mipm_3levels.iff", "s3tc_dxt1_4x4.iff"})
            files.push_back(std::filesystem::absolute(texture_test::Fixture(name)));
        dir_ = std::make_unique<displaytest::TempDir>();
        std::filesystem::create_directories(dir_->Path() / "graphics" / "bitmaps");
        for (const auto& f : files)
            std::filesystem::copy_file(f, dir_->Path() / "graphics" / "bitmaps" / f.filename());
        TextureManager::SetGraphicsDirectory(dir_->Path() / "graphics");
        ve::InstallTextureLoader();
        TextureManager::SetLoader(ve::LoadTextureForManager);
        Start();
    }
    void TearDown() override
    {
        DisplayTest::TearDown();
        dir_.reset();
    }
    static uint32_t Pixel32(gfx::Texture* t, uint32_t x, uint32_t y)
    {
        uint32_t pitch = 0;
        const uint8_t* p = t->Lock(0, pitch) + size_t(y) * pitch + size_t(x) * 4;
        uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        t->Unlock(0);
        return v;
    }
    std::unique_ptr<displaytest::TempDir> dir_;
};

TEST_F(TextureBridgeTest, ManagerLoadsFilesByTheirDataNames)
{
    TextureEntry* bmp = TextureManager::Find("Bitmaps\\BMP_24bit_3x2.bmp");
    TextureEntry* mip = TextureManager::Find("bitmaps\\mipm_3levels.iff");
    TextureEntry* dxt = TextureManager::Find("bitmaps\\s3tc_dxt1_4x4.iff");
    TextureManager::LoadPending();
    ASSERT_NE(bmp->Surface(), nullptr);
    EXPECT_EQ(bmp->Width(), 4u);
    EXPECT_EQ(Pixel32(bmp->Surface(), 2, 1) & 0xffffff, 0x0000ffu);
    EXPECT_TRUE(bmp->HasImage());
    ASSERT_NE(mip->Surface(), nullptr);
    EXPECT_EQ(mip->Surface()->Width(), 8u);
    ASSERT_NE(dxt->Surface(), nullptr);
    EXPECT_EQ(dxt->Surface()->Format().fourCC, gfx::kDxt1) << "S3TC files stay compressed";
}

TEST_F(TextureBridgeTest, LostTextureIsRebuiltFromTheKeptImage)
{
    TextureEntry* bmp = TextureManager::Find("bitmaps\\bmp_24bit_3x2.bmp");
    TextureManager::LoadPending();
    ASSERT_NE(bmp->Surface(), nullptr);
    std::filesystem::remove(dir_->Path() / "graphics" / "bitmaps" / "bmp_24bit_3x2.bmp");
    bmp->Surface()->MarkLost();
    TextureManager::RestoreAll();
    ASSERT_NE(bmp->Surface(), nullptr);
    EXPECT_FALSE(bmp->Surface()->IsLost());
    EXPECT_EQ(Pixel32(bmp->Surface(), 0, 0) & 0xffffff, 0x0a141eu);
}

} // namespace

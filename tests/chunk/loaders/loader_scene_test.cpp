// The sample level's panel and lift, loaded through the loaders and drawn:
// a screenshot shows the panel's texture colour where the panel stands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Veapi/camera_fixture.h"
#include "Veapi/screenshot.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"

namespace {

using scenetest::Rgb;

std::filesystem::path SampleRoot()
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    return root ? root : "";
}

// The pixel (x, y) of a 24-bit bottom-up BMP file, top row 0.
Rgb BmpPixel(const std::vector<uint8_t>& bmp, int x, int y)
{
    auto word = [&](size_t at) { return int(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24); };
    const int offset = word(10), width = word(18), height = word(22);
    const int row = (width * 3 + 3) & ~3;
    const size_t at = size_t(offset) + size_t(height - 1 - y) * size_t(row) + size_t(x) * 3;
    return {bmp[at + 2], bmp[at + 1], bmp[at]};
}

// The texel the sample panel shows, as the gradient image is made: red
// across, green down, blue in 8-pixel checks (either row order of the file).
bool PanelColour(const Rgb& c)
{
    const int r = 120 * 255 / 127;
    const bool green = std::abs(c.g - 4 * 255 / 63) <= 8 || std::abs(c.g - 59 * 255 / 63) <= 8;
    const bool blue = std::abs(c.b - 64) <= 8 || std::abs(c.b - 160) <= 8;
    return std::abs(c.r - r) <= 8 && green && blue;
}

class LoaderScene : public scenetest::SceneTest {};

TEST_F(LoaderScene, SamplePanelShowsItsTextureWhereItStands)
{
    const std::filesystem::path level = SampleRoot() / "rifs" / "loader_level.rif";
    if (!std::filesystem::exists(level))
        GTEST_SKIP() << "no sample data";
    TextureManager::SetGraphicsDirectory(SampleRoot() / "graphics");
    StartScene(320, 240);

    std::string error;
    trevok::EnvironmentRecordPtr record = trevok::LoadEnvironmentFile(level, &error);
    ASSERT_TRUE(record) << error;
    VeShape* panel = trevok::LoadObjectFromChunks(*record, "panel", nullptr, nullptr, 1);
    ASSERT_TRUE(panel);
    HierarchyPtr lift = trevok::LoadHierarchyFromChunks("LIFT", *record);
    ASSERT_TRUE(lift);
    ASSERT_TRUE(lift->shapes_[0]);
    trevok::FreeEnvironmentRecord(record);  // what was built stays drawable
    trevok::LoadLevelTextures();

    BeginFrame(0xFF000000);
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
    LightSet* lights = FrontLight();
    lights->Material().emissive = {1, 1, 1, 1};  // the texture's own colour whatever the normals
    lights->Apply();
    RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
    // The 2-unit panel at distance 10 spans 24 pixels right and down of the centre.
    panel->Draw(scenetest::Translation(0, 0, 10), nullptr, 0);
    // The lift's base to the left, 1 unit across.
    lift->shapes_[0]->Draw(scenetest::Translation(-6, 0, 10), nullptr, 0);
    EndFrame();

    displaytest::TempDir dir;
    const std::filesystem::path shot = Screenshot::Save(dir.Path());
    ASSERT_FALSE(shot.empty());
    std::ifstream in(shot, std::ios::binary);
    const std::vector<uint8_t> bmp{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(bmp.size(), 54u);

    const Rgb inside = BmpPixel(bmp, 172, 132), base = BmpPixel(bmp, 160 - 66, 126);
    EXPECT_TRUE(PanelColour(inside)) << inside.r << " " << inside.g << " " << inside.b;
    EXPECT_TRUE(PanelColour(base)) << base.r << " " << base.g << " " << base.b;
    const Rgb left = BmpPixel(bmp, 150, 132), above = BmpPixel(bmp, 172, 110);
    EXPECT_EQ(left.r + left.g + left.b, 0) << "nothing left of the panel";
    EXPECT_EQ(above.r + above.g + above.b, 0) << "nothing above the panel";
    panel->Release();
    lights->Release();
}

// The sample robot's parts are lit by their vertex normals: under a light
// from the camera's side, with no glow of its own, the legs' front face is
// not black.
TEST_F(LoaderScene, SampleRobotIsLitByItsNormals)
{
    const std::filesystem::path file = SampleRoot() / "rifs" / "robot_hierarchy.rif";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no sample data";
    TextureManager::SetGraphicsDirectory(SampleRoot() / "graphics");
    StartScene(320, 240);
    std::string error;
    trevok::EnvironmentRecordPtr record = trevok::LoadEnvironmentFile(file, &error);
    ASSERT_TRUE(record) << error;
    HierarchyPtr robot = trevok::LoadHierarchyFromChunks("ROBOT", *record);
    ASSERT_TRUE(robot);
    ASSERT_EQ(robot->name_, "robot_legs");
    VeShape* legs = robot->shapes_[0];
    ASSERT_TRUE(legs);
    trevok::LoadLevelTextures();

    BeginFrame(0xFF000000);
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
    LightSet* lights = FrontLight();
    lights->Material().emissive = {0, 0, 0, 1};
    lights->Apply();
    RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
    // The legs rise 0.9 from their foot (y grows downward): centred on the
    // screen at distance 3.
    legs->Draw(scenetest::Translation(0, 0.45f, 3), nullptr, 0);
    EndFrame();
    const Rgb centre = Pixel(160, 120);
    EXPECT_GT(centre.r + centre.g + centre.b, 60) << centre.r << " " << centre.g << " " << centre.b;
    lights->Release();
}

} // namespace

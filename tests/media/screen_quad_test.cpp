// Screen pictures on screen: a coloured quad, one image on one texture, an
// image in tiles and a video's quad, each placed over a rectangle in front
// of the camera and read back as a player sees them.
#include "media/screen_quads.h"

#include "Veapi/camera_fixture.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_object.h"
#include "sample/media_writer.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

using scenetest::Rgb;

constexpr uint32_t kBackground = 0xFF000000;

// A binary PPM whose left half is `left` and right half `right`.
void WriteHalves(const std::filesystem::path& path, int width, int height, Rgb left, Rgb right)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb& c = x < width / 2 ? left : right;
            const char px[3] = {char(c.r), char(c.g), char(c.b)};
            out.write(px, 3);
        }
}

class ScreenQuads : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("screen_quad_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                std::to_string(::getpid())); // two builds' suites may run at once
        std::filesystem::create_directories(dir_);
        StartScene();
    }
    void TearDown() override
    {
        std::filesystem::remove_all(dir_);
        SceneTest::TearDown();
    }

    // The picture over the middle of the screen at depth 5 (the camera sees
    // 2 x 2 world units per unit of depth across its height), drawn alone.
    void Show(AnimatedTexture& picture)
    {
        picture.SetRect(-4, -2.5f, 4, 2.5f);
        picture.SetZ(5);
        BeginFrame(kBackground);
        picture.Draw(nullptr);
        RenderQueue::Flush();
        EndFrame();
    }
    static bool Near(const Rgb& a, const Rgb& b, int tolerance = 12)
    {
        return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
               std::abs(a.b - b.b) <= tolerance;
    }

    std::filesystem::path dir_;
};

TEST_F(ScreenQuads, AColourQuadShowsItsColourOverItsRectangleOnly)
{
    const struct {
        const char* name;
        float r, g, b, a;
        Rgb expected;
    } cases[] = {
        {"opaque orange", 1.0f, 0.5f, 0.0f, 1.0f, {255, 128, 0}},
        {"half-transparent white over black", 1.0f, 1.0f, 1.0f, 0.5f, {128, 128, 128}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ColourQuad quad(c.r, c.g, c.b, c.a);
        EXPECT_TRUE(quad.Restore());
        Show(quad);
        EXPECT_TRUE(Near(Pixel(160, 120), c.expected)) << Pixel(160, 120).r << " " << Pixel(160, 120).g;
        EXPECT_TRUE(Near(Pixel(5, 5), {0, 0, 0}, 2)) << "outside the rectangle";
    }
}

TEST_F(ScreenQuads, ATextureQuadShowsItsImageAndComesBackAfterARelease)
{
    // 100 x 60: the texture is rounded up, and only the image's part shows.
    WriteHalves(dir_ / "Halves.PPM", 100, 60, {255, 0, 0}, {0, 0, 255});
    bool ok = false;
    TextureQuad quad(dir_, "halves.ppm", ok); // any case
    ASSERT_TRUE(ok);
    EXPECT_EQ(quad.Width(), 100u);
    EXPECT_EQ(quad.Height(), 60u);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "loaded" : "restored");
        Show(quad);
        EXPECT_TRUE(Near(Pixel(100, 120), {255, 0, 0})) << "left half";
        EXPECT_TRUE(Near(Pixel(220, 120), {0, 0, 255})) << "right half";
        EXPECT_TRUE(Near(Pixel(5, 5), {0, 0, 0}, 2));
        quad.Release();
        EXPECT_EQ(quad.Quad(), nullptr);
        EXPECT_EQ(quad.Texture(), nullptr);
        EXPECT_TRUE(AnimatedTextures::RestoreAll());
    }

    bool missing = true;
    TextureQuad none(dir_, "no_such_image.ppm", missing);
    EXPECT_FALSE(missing);
    EXPECT_EQ(none.Quad(), nullptr);
}

TEST_F(ScreenQuads, AScreenImageInTilesShowsTheWholePicture)
{
    const struct {
        const char* name;
        int width, height;
        uint32_t tile;
        size_t tiles;
    } cases[] = {
        {"cut tiles at the right and bottom", 200, 120, 64, 4 * 2},
        {"one tile", 64, 64, 64, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteHalves(dir_ / "screen.ppm", c.width, c.height, {0, 255, 0}, {255, 255, 0});
        bool ok = false;
        ScreenImage image(dir_, "screen.ppm", ok, c.tile);
        ASSERT_TRUE(ok);
        EXPECT_EQ(image.TileCount(), c.tiles);
        EXPECT_EQ(image.Halvings(), 0u);
        Show(image);
        // The rectangle covers pixels 64 to 256 across and 60 to 180 down.
        EXPECT_TRUE(Near(Pixel(70, 66), {0, 255, 0})) << "first tile";
        EXPECT_TRUE(Near(Pixel(250, 174), {255, 255, 0})) << "last tile, cut at the right and bottom";
        EXPECT_TRUE(Near(Pixel(5, 5), {0, 0, 0}, 2));
        image.Release();
        EXPECT_EQ(image.TileCount(), 0u);
        EXPECT_TRUE(image.Restore());
        EXPECT_EQ(image.TileCount(), c.tiles);
    }
}

TEST_F(ScreenQuads, BothVideoKindsShowTheirFrameOnTheQuad)
{
    const auto file = dir_ / "clip.bik";
    // Studio-range white, then a second frame.
    test_media::WriteY4m(file, 96, 64, {{235, 128, 128}, {16, 128, 128}});
    const struct {
        const char* name;
        bool screen;
        uint32_t width, height;
    } kinds[] = {{"video texture: a square power-of-two side", false, 128, 128},
                 {"video screen: the video's own size", true, 96, 64}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.name);
        bool ok = false;
        std::unique_ptr<VideoTexture> video = k.screen ? std::make_unique<VideoScreen>(file, 0, ok)
                                                       : std::make_unique<VideoTexture>(file, 0, ok);
        ASSERT_TRUE(ok);
        ASSERT_NE(video->Texture(), nullptr);
        EXPECT_EQ(video->Texture()->Width(), k.width);
        EXPECT_EQ(video->Texture()->Height(), k.height);
        double now = 0;
        video->SetClock([&] { return now; });
        ASSERT_TRUE(video->Update());
        Show(*video);
        EXPECT_TRUE(Near(Pixel(160, 120), {255, 255, 255}, 16));
        EXPECT_TRUE(Near(Pixel(5, 5), {0, 0, 0}, 2));
    }
}

} // namespace

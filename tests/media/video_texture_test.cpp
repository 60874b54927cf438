// Video textures: power-of-two sides, frames decoded into the texture's
// pixels, the end of a video, and the list of animated textures.
#include <gtest/gtest.h>

#include "Veapi/render_queue.h"
#include "app/app_state.h"
#include "app/directories.h"
#include "media/video_texture.h"
#include "platform/audio.h"
#include "recording_sound_system.h"
#include "sample/media_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

// A studio-range YUV colour to 5-6-5, the textbook way.
uint16_t Rgb565Of(test_media::Yuv c)
{
    const double y = 1.164 * (c.y - 16), u = c.u - 128.0, v = c.v - 128.0;
    const auto clamp = [](double x) { return std::clamp(int(std::lround(x)), 0, 255); };
    const int r = clamp(y + 1.596 * v), g = clamp(y - 0.392 * u - 0.813 * v), b = clamp(y + 2.017 * u);
    return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// Channels may differ by one step: the scaler rounds its own way.
bool Near565(uint16_t a, uint16_t b)
{
    const auto near = [](int x, int y) { return std::abs(x - y) <= 1; };
    return near(a >> 11, b >> 11) && near((a >> 5) & 63, (b >> 5) & 63) && near(a & 31, b & 31);
}

class VideoFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("video_test_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        // textures need the graphics layer: off-screen when no display is given
        const char* display = std::getenv("DISPLAY");
        if ((!display || !*display) && !std::getenv("SDL_VIDEODRIVER"))
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ASSERT_TRUE(gfx::Open(nullptr));
    }
    void TearDown() override
    {
        gfx::Close();
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
};

TEST(VideoTextureSides, PowerOfTwoSquareHoldingThePicture)
{
    const struct {
        uint32_t w, h, side;
    } cases[] = {{320, 240, 512}, {256, 256, 256}, {1, 1, 1}, {100, 300, 512}, {640, 480, 1024}};
    for (const auto& c : cases)
        EXPECT_EQ(VideoTexture::TextureSide(c.w, c.h), c.side) << c.w << "x" << c.h;
}

TEST_F(VideoFiles, FramesArriveInTheTextureOnTimeThenTheVideoEnds)
{
    const std::vector<test_media::Yuv> frames = {{16, 128, 128}, {235, 128, 128}, {81, 90, 240}, {145, 54, 34}};
    for (const auto& [w, h] : {std::pair{320, 240}, std::pair{64, 64}}) {
        const auto file = dir_ / "clip.bik";
        test_media::WriteY4m(file, w, h, frames);
        bool ok = false;
        VideoTexture video(file, 0, ok);
        ASSERT_TRUE(ok) << w;
        ASSERT_NE(video.Texture(), nullptr);
        EXPECT_EQ(video.Texture()->Width(), VideoTexture::TextureSide(w, h));
        double now = 0;
        video.SetClock([&] { return now; });
        for (size_t i = 0; i < frames.size(); ++i) {
            now = double(i) / 25.0;
            ASSERT_TRUE(video.Update()) << w << " frame " << i;
            EXPECT_EQ(video.Frame(), int64_t(i + 1));
            EXPECT_TRUE(video.Update()); // not yet due: nothing decoded
            EXPECT_EQ(video.Frame(), int64_t(i + 1));
            uint32_t pitch = 0;
            const uint8_t* bits = video.Texture()->Lock(0, pitch);
            const auto at = [&](int x, int y) { return uint16_t(bits[y * pitch + x * 2] | bits[y * pitch + x * 2 + 1] << 8); };
            const uint16_t want = Rgb565Of(frames[i]);
            EXPECT_TRUE(Near565(at(0, 0), want)) << w << " frame " << i << ": " << at(0, 0) << " vs " << want;
            EXPECT_TRUE(Near565(at(w - 1, h - 1), want)) << w << " frame " << i;
            if (uint32_t(w) < video.Side()) {
                EXPECT_EQ(at(w, 0), 0) << "outside the picture stays black";
            }
            video.Texture()->Unlock(0);
        }
        uint32_t pitch = 0;
        const std::vector<uint8_t> last(video.Texture()->Lock(0, pitch), video.Texture()->Lock(0, pitch) + pitch * 4);
        video.Texture()->Unlock(0);
        now = 10;
        EXPECT_FALSE(video.Update());
        EXPECT_FALSE(video.Update());
        EXPECT_TRUE(std::equal(last.begin(), last.end(), video.Texture()->Lock(0, pitch)));
        video.Texture()->Unlock(0);
        video.Rewind();
        EXPECT_TRUE(video.Update());
        EXPECT_EQ(video.Frame(), 1);
    }
}

// The movie's sound plays through the output the sound system lends; with
// none (the 3-D or silent systems) the pictures run all the same.
TEST_F(VideoFiles, SoundGoesToTheSoundSystemsOutputWhenItLendsOne)
{
    const auto file = dir_ / "talk.bik";
    test_media::WriteAvi(file, 32, 16, std::vector<test_media::Rgb>(10, {200, 40, 40}), 8000,
                         [](uint32_t i) { return int16_t(i % 2 ? 12000 : -12000); });
    for (bool lends : {true, false}) {
        auto device = platform::audio::Device::OpenLoopback(8000);
        if (!device)
            GTEST_SKIP() << "no loopback audio device";
        auto system = std::make_unique<RecordingSoundSystem>();
        system->output = lends ? device.get() : nullptr;
        SoundSystem::Install(std::move(system));
        {
            bool ok = false;
            VideoTexture video(file, 0, ok);
            ASSERT_TRUE(ok);
            EXPECT_EQ(video.HasSound(), lends);
            double now = 0;
            video.SetClock([&] { return now; });
            int peak = 0;
            for (int frame = 0; frame < 8; ++frame) {
                now = frame / 25.0;
                ASSERT_TRUE(video.Update()) << frame;
                for (int16_t v : device->Render(320))
                    peak = std::max(peak, std::abs(int(v)));
            }
            EXPECT_EQ(video.Frame(), 8);
            if (lends)
                EXPECT_GT(peak, 2000) << "the sound is heard";
            else
                EXPECT_LT(peak, 100) << "nothing is heard";
        }
        SoundSystem::Shutdown();
    }
}

TEST_F(VideoFiles, ListFollowsTheTexturesAndReleasesAndRestoresThem)
{
    test_media::WriteY4m(dir_ / "clip.y4m", 32, 32, {{16, 128, 128}});
    EXPECT_EQ(AnimatedTexture::Count(), 0u);
    {
        bool ok = false;
        VideoTexture a(dir_ / "clip.y4m", 0, ok), b(dir_ / "clip.y4m", 0, ok);
        EXPECT_EQ(AnimatedTexture::Count(), 2u);
        AnimatedTextures::ReleaseAll();
        EXPECT_EQ(a.Texture(), nullptr);
        EXPECT_TRUE(AnimatedTextures::RestoreAll());
        EXPECT_NE(b.Texture(), nullptr);
    }
    EXPECT_EQ(AnimatedTexture::Count(), 0u);
    bool ok = false;
    VideoTexture again(dir_ / "clip.y4m", 0, ok);
    EXPECT_EQ(AnimatedTexture::Count(), 1u);
}

TEST_F(VideoFiles, IntroVideoStartsOnlyWithItsFileAndEndsAfterItsLastFrame)
{
    const std::filesystem::path saved = app::DataDirectories::Global().StartDirectory();
    const char* savedPath = app::DataDirectories::Global().Path(app::kFmvsDirectory);
    const std::string keep = savedPath ? savedPath : "";
    app::DataDirectories::Global().SetStartDirectory(dir_);
    std::filesystem::create_directories(dir_ / "fmvs");
    app::DataDirectories::Global().SetPath(app::kFmvsDirectory, "fmvs");

    SetAppState(AppState::Splash);
    EXPECT_FALSE(IntroVideo::Start());
    EXPECT_EQ(CurrentAppState(), AppState::Video); // the caller moves on to the title screen
    EXPECT_EQ(IntroVideo::Current(), nullptr);
    EXPECT_FALSE(IntroVideo::Update());

    test_media::WriteY4m(dir_ / "fmvs" / "DZ.BIK", 16, 16, {{16, 128, 128}, {235, 128, 128}});
    SetAppState(AppState::Splash);
    ASSERT_TRUE(IntroVideo::Start());
    EXPECT_EQ(CurrentAppState(), AppState::Video);
    double now = 0;
    IntroVideo::Current()->SetClock([&] { return now; });
    int shown = 0;
    for (; shown < 10 && IntroVideo::Update(); ++shown)
        now += 1.0 / 25;
    EXPECT_EQ(shown, 2);
    // Each update queued the quad for the frame's end.
    EXPECT_EQ(RenderQueue::Count(), 2u);
    RenderQueue::Clear();
    IntroVideo::Stop();
    EXPECT_EQ(IntroVideo::Current(), nullptr);

    app::DataDirectories::Global().SetPath(app::kFmvsDirectory, savedPath ? keep.c_str() : nullptr);
    app::DataDirectories::Global().SetStartDirectory(saved);
}

} // namespace

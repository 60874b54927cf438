// Movies with pictures and sound in one file: both streams can be taken in
// turn or one after the other, and each arrives whole and in order.
#include <gtest/gtest.h>

#include "platform/video.h"
#include "sample/media_writer.h"

#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int kRate = 8000, kFrames = 12;

int16_t Tone(uint32_t i) { return int16_t(9000 * std::sin(double(i) * 0.2)); }

class MovieFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = std::filesystem::temp_directory_path() / ("movie_test_" + std::to_string(::getpid()) + ".bik");
        std::vector<test_media::Rgb> frames;
        for (int i = 0; i < kFrames; ++i)
            frames.push_back({uint8_t(i * 20), 0, 0});
        test_media::WriteAvi(path_, 16, 8, frames, kRate, Tone);
    }
    void TearDown() override { std::filesystem::remove(path_); }
    std::filesystem::path path_;
};

TEST_F(MovieFile, PicturesAndSoundInEitherOrder)
{
    for (bool turns : {true, false}) {
        std::string error;
        auto movie = platform::video::Movie::Open(path_, &error);
        ASSERT_NE(movie, nullptr) << error;
        ASSERT_EQ(movie->Info().audioRate, kRate);
        ASSERT_EQ(movie->Info().width, 16);
        std::vector<uint16_t> picture(16 * 8);
        std::vector<int16_t> sound;
        int pictures = 0;
        bool picturesDone = false, soundDone = false;
        while (!picturesDone || !soundDone) {
            if (!picturesDone) {
                const auto step = movie->NextFrame(picture.data(), 16, 8, platform::video::PixelLayout::Rgb565);
                ASSERT_NE(step, platform::video::Step::Damaged);
                if (step == platform::video::Step::Ok) {
                    // Red in the top five bits, one frame's colour after another.
                    EXPECT_NEAR(picture[0] >> 11, (pictures * 20) >> 3, 1) << pictures;
                    ++pictures;
                } else {
                    picturesDone = true;
                }
                if (!turns)
                    continue;  // every picture first, then the sound
            }
            if (!soundDone) {
                const auto step = movie->NextSound(sound);
                ASSERT_NE(step, platform::video::Step::Damaged);
                soundDone = step == platform::video::Step::End;
            }
        }
        EXPECT_EQ(pictures, kFrames) << (turns ? "in turns" : "pictures first");
        ASSERT_EQ(sound.size(), size_t(kFrames * kRate / 25)) << (turns ? "in turns" : "pictures first");
        for (size_t i = 0; i < sound.size(); i += 97)
            EXPECT_EQ(sound[i], Tone(uint32_t(i))) << i;
    }
}

TEST_F(MovieFile, RewindStartsBothStreamsAgain)
{
    auto movie = platform::video::Movie::Open(path_);
    ASSERT_NE(movie, nullptr);
    std::vector<uint16_t> picture(16 * 8);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(movie->NextFrame(picture.data(), 16, 8, platform::video::PixelLayout::Rgb565),
                  platform::video::Step::Ok);
    ASSERT_TRUE(movie->Rewind());
    std::vector<int16_t> sound;
    ASSERT_EQ(movie->NextSound(sound), platform::video::Step::Ok);
    ASSERT_FALSE(sound.empty());
    EXPECT_EQ(sound[0], Tone(0)) << "the sound starts at its start, not where the pictures left it";
    EXPECT_EQ(sound[1], Tone(1));
}

} // namespace

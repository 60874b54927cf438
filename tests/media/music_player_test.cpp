// The music thread: tracks loop until stopped, bad files leave the player
// idle or end the track, and stopping always joins the thread.
#include <gtest/gtest.h>

#include "app/directories.h"
#include "media/music_player.h"
#include "sample/media_writer.h"
#include "platform/thread.h"

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

class MusicData : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = app::DataDirectories::Global().StartDirectory();
        root_ = std::filesystem::temp_directory_path() /
                ("music_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(root_ / "Sound" / "Music");
        app::DataDirectories::Global().SetStartDirectory(root_);
        // a tenth of a second of tone, so a track loops many times while a test waits
        test_media::WriteWave(root_ / "Sound" / "Music" / "track1.bik", 8000, 2, 800, [](uint32_t f, int c) {
            return int16_t(8000 * std::sin(f * 0.1 + c));
        });
        // Longer than the silent player's lead, so its first pass takes real time.
        test_media::WriteWave(root_ / "Sound" / "Music" / "long.bik", 8000, 1, 16000, [](uint32_t f, int) {
            return int16_t(8000 * std::sin(f * 0.1));
        });
        test_media::WriteWave(root_ / "Sound" / "Music" / "silent.bik", 8000, 1, 0, nullptr);
        std::ofstream(root_ / "Sound" / "Music" / "garbage.bik") << "this is not a movie of any kind";
    }
    void TearDown() override
    {
        app::DataDirectories::Global().SetStartDirectory(saved_);
        std::filesystem::remove_all(root_);
    }

    // Waits (bounded, so a fault fails instead of hanging) until `done`.
    template <class F>
    static bool WaitFor(F done)
    {
        for (int i = 0; i < 1000 && !done(); ++i)
            platform::SleepMilliseconds(5);
        return done();
    }

    std::filesystem::path root_, saved_;
};

TEST_F(MusicData, TracksOpenOrLeaveThePlayerIdle)
{
    const struct {
        const char* path;
        bool plays;
        bool ends; // the thread stops decoding by itself
    } cases[] = {
        {"sound\\music\\TRACK1.BIK", true, false},
        {"sound\\music\\silent.bik", true, true}, // nothing to loop over: it must not spin
        {"sound\\music\\garbage.bik", false, false},
        {"sound\\music\\missing.bik", false, false},
        {"..\\outside.bik", false, false},
    };
    for (const auto& c : cases) {
        MusicPlayer player;
        EXPECT_EQ(MusicPlayer::Play(&player, c.path), c.plays) << c.path;
        EXPECT_EQ(player.ThreadRunning(), c.plays) << c.path;
        EXPECT_EQ(player.track, c.plays ? c.path : "") << c.path;
        if (c.ends) {
            EXPECT_TRUE(WaitFor([&] { return player.TrackEnded(); })) << c.path;
        } else if (c.plays) {
            EXPECT_TRUE(WaitFor([&] { return player.Passes() >= 3; })) << c.path << ": the track loops";
        }
        EXPECT_TRUE(MusicPlayer::Stop(&player)) << c.path;
        EXPECT_FALSE(player.ThreadRunning()) << c.path;
        EXPECT_EQ(player.track, "") << c.path;
    }
}

TEST_F(MusicData, PlayingAgainRestartsAndStopWhenIdleIsHarmless)
{
    MusicPlayer player;
    EXPECT_TRUE(MusicPlayer::Stop(&player));
    EXPECT_EQ(MusicPlayer::Close(&player), 0);
    ASSERT_TRUE(MusicPlayer::Play(&player, "sound\\music\\long.bik"));
    ASSERT_TRUE(WaitFor([&] { return player.Passes() >= 2; }));
    ASSERT_TRUE(MusicPlayer::Play(&player, "sound\\music\\long.bik"));
    EXPECT_EQ(player.Passes(), 1u); // from the beginning, on a new thread
    EXPECT_TRUE(player.ThreadRunning());
    EXPECT_EQ(MusicPlayer::Close(&player), 1);
    EXPECT_FALSE(player.ThreadRunning());
}

TEST_F(MusicData, StopRequestsRacingTheThreadAlwaysJoin)
{
    // many short lives: a stop request that is lost or read torn hangs here
    // (and the thread-sanitizer build reports any unsynchronised access)
    MusicPlayer player;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(MusicPlayer::Play(&player, "sound\\music\\track1.bik"));
        if (i % 2)
            MusicPlayer::Pause(&player);
        MusicPlayer::Stop(&player);
        ASSERT_FALSE(player.ThreadRunning());
    }
}

} // namespace

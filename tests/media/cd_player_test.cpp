// CD audio: playlists, end notices moving to the next track, and fades, over
// a disc made of short wave files.
#include <gtest/gtest.h>

#include "media/cd_player.h"
#include "platform/audio.h"
#include "platform/thread.h"
#include "sample/media_writer.h"

#include <cmath>
#include <filesystem>

namespace {

class CdDisc : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = std::filesystem::temp_directory_path() /
                  (std::string("cd_test_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        // three tracks of 50 ms; the fourth file lies past a gap and is no track
        for (const char* name : {"track01.wav", "TRACK02.WAV", "track03.flac", "track05.wav"})
            test_media::WriteWave(folder_ / name, 8000, 1, 400,
                                  [](uint32_t f, int) { return int16_t(10000 * std::sin(f * 0.3)); });
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::unique_ptr<CdPlayer> Player(platform::audio::Device* device = nullptr)
    {
        return std::make_unique<CdPlayer>(std::make_shared<CdDevice>(platform::cd::Drive::Open(folder_, device)));
    }
    static void TrackEnds(CdPlayer& cd) { cd.OnMciNotify(CdPlayer::kNotifySuccessful, cd.Device().deviceId); }

    std::filesystem::path folder_;
};

TEST_F(CdDisc, PlaylistDropsRepeatsByMovingTheLastEntryIn)
{
    auto cd = Player();
    const struct {
        std::vector<int32_t> given, kept;
    } cases[] = {
        {{3, 5, 3, 7}, {3, 5, 7}},
        {{1, 1, 1}, {1}},
        {{2, 4, 2, 4, 6}, {2, 4, 6}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        cd->SetPlaylist(c.given.data(), int(c.given.size()), true);
        EXPECT_EQ(cd->Playlist(), c.kept);
        EXPECT_EQ(cd->Remaining(), c.kept);
        EXPECT_EQ(cd->Position(), -1);
    }
}

TEST_F(CdDisc, TracksFollowEachOtherLoopOrStopAndSkipWhatTheDiscLacks)
{
    const struct {
        const char* what;
        std::vector<int32_t> playlist;
        bool loop;
        std::vector<int32_t> heard; // the current track after start and each end; 0: stopped
    } cases[] = {
        {"looping", {1, 2}, true, {1, 2, 1, 2}},
        {"once", {1, 2}, false, {1, 2, 0}},
        {"beyond the disc", {3, 9, 1}, false, {3, 0, 0}}, // waits on 9 for the next command
        {"past a gap", {5}, true, {0}},
    };
    for (const auto& c : cases) {
        auto cd = Player();
        ASSERT_EQ(cd->Device().trackCount, 3) << c.what;
        EXPECT_NEAR(cd->Device().Drive()->TrackSeconds(3), 0.05, 1e-3) << c.what;
        cd->SetPlaylist(c.playlist.data(), int(c.playlist.size()), c.loop);
        CdPlayer::Poll(cd.get());
        for (size_t i = 0; i < c.heard.size(); ++i) {
            if (i > 0)
                TrackEnds(*cd);
            const bool playing = cd->Mode() == platform::cd::kPlaying;
            EXPECT_EQ(playing ? cd->Device().currentTrack : 0, c.heard[i]) << c.what << " step " << i;
        }
    }
}

TEST_F(CdDisc, AnEndedTrackNotifiesTheNextOne)
{
    auto cd = Player();
    const int32_t tracks[] = {1, 2};
    cd->SetPlaylist(tracks, 2, false);
    ASSERT_TRUE(cd->NextTrack());
    // bounded waits: a lost notice fails instead of hanging
    for (int i = 0; i < 400 && cd->Device().currentTrack != 2; ++i) {
        cd->Update();
        platform::SleepMilliseconds(5);
    }
    EXPECT_EQ(cd->Device().currentTrack, 2);
    for (int i = 0; i < 400 && cd->Mode() == platform::cd::kPlaying; ++i) {
        cd->Update();
        platform::SleepMilliseconds(5);
    }
    EXPECT_EQ(cd->Mode(), platform::cd::kStopped);
}

TEST_F(CdDisc, RemovingThePlayingTrackMovesOn)
{
    auto cd = Player();
    const int32_t tracks[] = {1, 2, 3};
    cd->SetPlaylist(tracks, 3, false);
    ASSERT_TRUE(cd->NextTrack());
    ASSERT_EQ(cd->Device().currentTrack, 1);
    const int32_t gone[] = {1};
    cd->RemoveTracks(gone, 1);
    EXPECT_EQ(cd->Device().currentTrack, 2);
    EXPECT_EQ(cd->Remaining(), (std::vector<int32_t>{2, 3}));
}

TEST_F(CdDisc, WithoutADiscNothingPlaysAndVolumeIsIgnored)
{
    std::filesystem::remove_all(folder_);
    auto cd = Player();
    EXPECT_EQ(cd->Mode(), platform::cd::kNotReady);
    const int32_t tracks[] = {1};
    cd->SetPlaylist(tracks, 1, true);
    EXPECT_FALSE(cd->NextTrack());
    EXPECT_FALSE(cd->Stop());
    cd->SetVolume(100);
    EXPECT_EQ(cd->Volume(), 0);
}

TEST_F(CdDisc, FadesReachTheirTargetAndStop)
{
    const struct {
        const char* what;
        int32_t from, to;
        float seconds;
        std::vector<std::pair<int64_t, int32_t>> at; // tick, volume
        int64_t endTick;                             // first tick with the fade over
    } cases[] = {
        {"up over 2 s", 0, 65535, 2.0f, {{0, 0}, {1000, 32767}, {1999, 65502}, {2000, 65535}}, 2000},
        {"down over 1 s", 40000, 0, 1.0f, {{0, 40000}, {250, 30000}, {1000, 0}}, 1000},
        {"to where it is", 500, 500, 3.0f, {{0, 500}}, 0},
        {"in no time", 65535, 0, 0.0f, {{0, 0}}, 0},
    };
    for (const auto& c : cases) {
        auto cd = Player();
        int64_t now = 0;
        cd->SetClock([&] { return now; }, 1000);
        cd->StartFade(c.from, c.to, c.seconds);
        for (const auto& [tick, volume] : c.at) {
            now = tick;
            cd->UpdateFade();
            EXPECT_EQ(cd->Volume(), volume) << c.what << " at " << tick;
            EXPECT_EQ(cd->Fading(), tick < c.endTick) << c.what << " at " << tick;
        }
    }
}

TEST_F(CdDisc, VolumeIsTheTracksOwnGainOnTheAudioLayer)
{
    auto device = platform::audio::Device::OpenLoopback(8000);
    if (!device)
        GTEST_SKIP() << "no loopback audio device";
    const auto loudness = [&](int32_t volume) {
        auto cd = Player(device.get());
        cd->SetVolume(volume);
        const int32_t tracks[] = {1};
        cd->SetPlaylist(tracks, 1, false);
        EXPECT_TRUE(cd->NextTrack());
        int peak = 0;
        for (int16_t s : device->Render(300))
            peak = std::max(peak, std::abs(int(s)));
        return peak;
    };
    EXPECT_LE(loudness(0), 4); // the mixer's dither at most
    EXPECT_GT(loudness(65535), 2000);
}

} // namespace

// Streamed music: one movie file's sound decoded on a thread of its own and
// played through the sound system's output (or paced by the clock and
// dropped when the sound system is silent). The game keeps one player; the
// main loop switches tracks, the keys and menus stop and start it.
#pragma once

#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform::video {
class Movie;
}
namespace platform::audio {
class Device;
}

class MusicPlayer {
public:
    MusicPlayer();
    ~MusicPlayer(); // stops the thread: the player never outlives its track
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // The game's one player: made by Create (cleared, idle), stopped and
    // freed by Destroy, before the sound system goes; null outside them.
    static MusicPlayer* Global();
    static MusicPlayer* Create();
    static void Destroy();

    // Each takes the player (null does nothing); game thread only.
    static void Clear(MusicPlayer* player);
    // Stops what plays and starts `path` (a data path under the data root)
    // from its beginning; false, and idle, when it does not open.
    static bool Play(MusicPlayer* player, const char* path);
    static bool Stop(MusicPlayer* player);
    static int32_t Close(MusicPlayer* player);
    static void RaisePriority(MusicPlayer* player);
    static bool Pause(MusicPlayer* player);
    static bool Resume(MusicPlayer* player);

    int state = 0;     // 1 once a track was started
    std::string track; // the data path playing, "" when idle

    bool ThreadRunning() const { return thread_.IsRunning(); }
    // The track stopped on a damaged file and only waits to be stopped.
    bool TrackEnded() const { return ended_.load(); }
    // How many times the track started from its beginning (a loop adds one).
    uint32_t Passes() const { return passes_.load(); }
    // Sample frames decoded since Play.
    uint64_t FramesDecoded() const { return frames_.load(); }

private:
    void ThreadMain();
    void StopThread();

    std::unique_ptr<platform::video::Movie> movie_; // the thread's alone while it runs
    platform::audio::Device* device_ = nullptr; // the sound system's output, set before the thread starts
    platform::Thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> ended_{false};
    std::atomic<uint32_t> passes_{0};
    std::atomic<uint64_t> frames_{0};
};

// The CD drive stand-in: a disc's audio tracks are audio files named
// "trackNN.*" (any letter case, any format the movie layer decodes) in one
// folder, numbered from 1 without gaps. A track plays as one voice of the
// audio layer; the "mixer line" is that voice's gain, never the system's
// mixer. Without a device a track plays by the clock, unheard.
#pragma once

#include "platform/audio.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace platform::cd {

// The drive's modes, as the CD player keeps them.
enum Mode : int32_t { kNotReady = 524, kStopped = 525, kPlaying = 526, kPaused = 529 };

class Drive {
public:
    // Reads the folder's tracks (none, or no folder: mode not ready). The
    // device, when given, must outlive the drive.
    static std::unique_ptr<Drive> Open(const std::filesystem::path& folder, audio::Device* device);
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    int TrackCount() const { return int(tracks_.size()); }
    // Length in seconds of track n (1-based); 0 outside the disc.
    double TrackSeconds(int track) const;
    // Reads the mode; a track that has played out leaves the drive stopped
    // and sets the end notice.
    Mode ReadMode();
    // Plays track n from its start; false outside the disc or when it does
    // not decode.
    bool Play(int track);
    void Stop();
    // True once per track that played to its end.
    bool TakeEndNotice();

    // The volume line: 0 .. 65535, full at opening.
    void SetVolume(uint32_t value);
    uint32_t Volume() const { return volume_; }

private:
    Drive() = default;
    struct Track {
        std::filesystem::path file;
        double seconds = 0;
    };
    std::vector<Track> tracks_;
    audio::Device* device_ = nullptr;
    std::unique_ptr<audio::Buffer> buffer_;
    std::unique_ptr<audio::Source> source_;
    std::chrono::steady_clock::time_point ends_;
    bool playing_ = false;
    bool endNotice_ = false;
    uint32_t volume_ = 65535;
};

} // namespace platform::cd

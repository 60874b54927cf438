// CD audio for level scripts: a playlist of track numbers played one after
// the other (moving on when a track ends), looped or not, and a volume fade
// over time. The disc is the data's folder of track files (platform/cd);
// without tracks the device stays "not ready" and every request does nothing.
// The window procedure passes end notices in, the main loop steps the fade.
#pragma once

#include "platform/cd.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

// The drive and its volume line, shared by every player built on it.
class CdDevice {
public:
    // A device over `drive`; null gives a device with no disc.
    explicit CdDevice(std::unique_ptr<platform::cd::Drive> drive);
    ~CdDevice(); // puts the line back to its volume at opening

    int32_t firstTrack = -1; // 1 when the disc has tracks
    int32_t trackCount = 0;
    int32_t currentTrack = -1;
    int32_t deviceId = -1; // -1 until opened
    int32_t mode = platform::cd::kNotReady;

    platform::cd::Drive* Drive() const { return drive_.get(); }
    bool HasVolumeLine() const { return drive_ != nullptr && trackCount > 0; }
    int32_t ReadMode();

private:
    std::unique_ptr<platform::cd::Drive> drive_;
    uint32_t volumeAtOpening_ = 65535;
};

class CdPlayer {
public:
    static constexpr uint32_t kNotifySuccessful = 1;

    // Uses `device`, or opens the data's "cd" folder when null.
    explicit CdPlayer(std::shared_ptr<CdDevice> device = nullptr);
    ~CdPlayer();

    // The game's one player, from Create at start-up to Destroy at shut-down
    // (before the sound system goes); null outside them.
    static CdPlayer* Global();
    static CdPlayer* Create();
    static void Destroy();

    void SetPlaylist(const int32_t* tracks, int count, bool loop);
    void AddTracks(const int32_t* tracks, int count);
    void RemoveTracks(const int32_t* tracks, int count);
    void Rewind();
    static void Poll(CdPlayer* player);
    bool NextTrack();
    bool Stop();
    void OnMciNotify(uint32_t flags, int32_t deviceId);
    void SetVolume(int32_t value);
    void FadeTo(int32_t target, float seconds);
    void StartFade(int32_t from, int32_t to, float seconds);
    void UpdateFade();
    // Once a frame: end notices from the drive, then the fade.
    void Update();

    // The window procedure's view.
    void Notify(uint64_t wparam, int64_t lparam) { OnMciNotify(uint32_t(wparam), int32_t(lparam)); }
    void RefreshState() { mode_ = device_->ReadMode(); }
    bool IsWaitingForDisc() const { return mode_ == platform::cd::kNotReady; }
    bool IsStopped() const { return mode_ == platform::cd::kStopped; }

    // The fade's clock in ticks (the real-time clock by default).
    void SetClock(std::function<int64_t()> now, int64_t ticksPerSecond);

    const std::vector<int32_t>& Playlist() const { return playlist_; }
    const std::vector<int32_t>& Remaining() const { return remaining_; }
    int32_t Position() const { return position_; }
    int32_t Mode() const { return mode_; }
    bool Fading() const { return fading_; }
    int32_t Volume() const;
    CdDevice& Device() { return *device_; }

private:
    void ApplyVolume(int32_t value);

    std::vector<int32_t> playlist_, remaining_;
    std::shared_ptr<CdDevice> device_;
    int32_t position_ = -1;
    bool loop_ = true;
    int32_t mode_ = platform::cd::kNotReady, previousMode_ = platform::cd::kNotReady;
    bool fading_ = false;
    int32_t fadeFrom_ = 0, fadeTo_ = 0;
    double fadeTicks_ = 0; // the fade's length in clock ticks
    int64_t fadeStart_ = 0;
    std::function<int64_t()> now_;
    int64_t ticksPerSecond_ = 1000;
};

// The main loop's per-frame step of the CD player: end notices and the fade.
struct VolumeFader {
    static VolumeFader*& Global(); // always set: the one fader lives as long as the program
    static void Update(VolumeFader* fader);
};

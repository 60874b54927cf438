#include "media/cd_player.h"

#include "app/app_time.h"
#include "app/directories.h"
#include "media/sound_system.h"
#include "platform/data_path.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t kDeviceId = 1; // the one drive there is

std::unique_ptr<platform::cd::Drive> OpenDataDrive()
{
    const auto folder = platform::ResolveDataPath(app::DataDirectories::Global().StartDirectory(), "cd");
    if (!folder)
        return nullptr;
    platform::audio::Device* device = SoundSystem::Global() ? SoundSystem::Global()->OutputDevice() : nullptr;
    return platform::cd::Drive::Open(*folder, device);
}

} // namespace

CdDevice::CdDevice(std::unique_ptr<platform::cd::Drive> drive) : drive_(std::move(drive))
{
    if (!drive_)
        return;
    deviceId = kDeviceId;
    mode = drive_->ReadMode();
    if (mode == platform::cd::kNotReady)
        return;
    trackCount = drive_->TrackCount();
    firstTrack = trackCount > 0 ? 1 : -1;
    volumeAtOpening_ = drive_->Volume();
}

CdDevice::~CdDevice()
{
    if (!drive_)
        return;
    drive_->SetVolume(volumeAtOpening_);
    drive_->Stop();
}

int32_t CdDevice::ReadMode()
{
    if (drive_)
        mode = drive_->ReadMode();
    return mode;
}

CdPlayer::CdPlayer(std::shared_ptr<CdDevice> device)
    : device_(device ? std::move(device) : std::make_shared<CdDevice>(OpenDataDrive())),
      now_([] { return AppTime::RealNow(); }), ticksPerSecond_(AppTime::TicksPerSecond())
{
    mode_ = previousMode_ = device_->mode;
}

CdPlayer::~CdPlayer()
{
    // the last player stops the disc; the device restores the line when freed
    if (device_.use_count() == 1)
        Stop();
}

namespace {

// Game thread only.
std::unique_ptr<CdPlayer>& GamePlayer()
{
    static std::unique_ptr<CdPlayer> player;
    return player;
}

} // namespace

CdPlayer* CdPlayer::Global()
{
    return GamePlayer().get();
}

CdPlayer* CdPlayer::Create()
{
    if (!GamePlayer())
        GamePlayer() = std::make_unique<CdPlayer>();
    return GamePlayer().get();
}

void CdPlayer::Destroy()
{
    GamePlayer().reset();
}

void CdPlayer::SetPlaylist(const int32_t* tracks, int count, bool loop)
{
    playlist_.assign(tracks, tracks + std::max(count, 0));
    // a repeated number is replaced by the list's last entry, and the list shortened
    for (size_t i = 0; i < playlist_.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (playlist_[j] == playlist_[i]) {
                playlist_[i] = playlist_.back();
                playlist_.pop_back();
                --i;
                break;
            }
    remaining_ = playlist_;
    loop_ = loop;
    position_ = -1;
}

void CdPlayer::AddTracks(const int32_t* tracks, int count)
{
    playlist_.insert(playlist_.end(), tracks, tracks + std::max(count, 0));
    remaining_.insert(remaining_.end(), tracks, tracks + std::max(count, 0));
}

void CdPlayer::RemoveTracks(const int32_t* tracks, int count)
{
    const auto gone = [&](int32_t n) { return std::find(tracks, tracks + std::max(count, 0), n) != tracks + count; };
    std::erase_if(playlist_, gone);
    // the position follows its track through the removal; a removed current
    // track leaves it just before the one that followed
    int32_t before = 0;
    for (int32_t i = 0; i < position_ && i < int32_t(remaining_.size()); ++i)
        before += gone(remaining_[size_t(i)]) ? 1 : 0;
    const bool currentGone = position_ >= 0 && position_ < int32_t(remaining_.size()) &&
                             gone(remaining_[size_t(position_)]);
    std::erase_if(remaining_, gone);
    position_ -= before + (currentGone ? 1 : 0);
    if (mode_ == platform::cd::kPlaying) {
        Stop();
        NextTrack();
    }
}

void CdPlayer::Rewind()
{
    remaining_ = playlist_;
    position_ = -1;
}

void CdPlayer::Poll(CdPlayer* player)
{
    if (!player)
        return;
    player->mode_ = player->device_->ReadMode();
    if (player->mode_ == platform::cd::kStopped)
        player->NextTrack();
}

bool CdPlayer::NextTrack()
{
    if (remaining_.empty()) {
        remaining_ = playlist_;
        position_ = -1;
        return false;
    }
    ++position_;
    if (position_ >= int32_t(remaining_.size())) {
        position_ = 0;
        if (!loop_)
            return false;
    }
    if (mode_ != platform::cd::kNotReady)
        Stop();
    const int32_t track = remaining_[size_t(position_)];
    CdDevice& d = *device_;
    if (mode_ == platform::cd::kStopped && track >= d.firstTrack && d.firstTrack > 0 && track <= d.trackCount &&
        d.Drive() && d.Drive()->Play(track)) {
        d.currentTrack = track;
        mode_ = d.mode = platform::cd::kPlaying;
        return true;
    }
    --position_;
    return false;
}

bool CdPlayer::Stop()
{
    if (mode_ == platform::cd::kNotReady)
        return false;
    if (platform::cd::Drive* drive = device_->Drive())
        drive->Stop();
    mode_ = device_->mode = platform::cd::kStopped;
    return true;
}

void CdPlayer::OnMciNotify(uint32_t flags, int32_t deviceId)
{
    if (deviceId != device_->deviceId)
        return;
    if (flags == kNotifySuccessful) {
        mode_ = device_->mode = platform::cd::kStopped;
        NextTrack();
    } else {
        mode_ = device_->ReadMode();
    }
}

void CdPlayer::ApplyVolume(int32_t value)
{
    if (device_->HasVolumeLine())
        device_->Drive()->SetVolume(uint32_t(std::clamp(value, 0, 65535)));
}

int32_t CdPlayer::Volume() const
{
    return device_->HasVolumeLine() ? int32_t(device_->Drive()->Volume()) : 0;
}

void CdPlayer::SetVolume(int32_t value)
{
    ApplyVolume(value);
}

void CdPlayer::FadeTo(int32_t target, float seconds)
{
    StartFade(Volume(), target, seconds);
}

void CdPlayer::StartFade(int32_t from, int32_t to, float seconds)
{
    fading_ = true;
    fadeFrom_ = from;
    fadeTo_ = to;
    fadeStart_ = now_();
    fadeTicks_ = double(ticksPerSecond_) * double(seconds);
    UpdateFade();
}

void CdPlayer::UpdateFade()
{
    if (!fading_)
        return;
    // steps so far, worked in one expression so the last tick lands on the target exactly
    const double span = double(fadeTo_) - double(fadeFrom_);
    const double c = fadeTicks_ > 0 ? double(now_() - fadeStart_) * span / fadeTicks_ : span;
    int32_t volume;
    // reaching the target, starting on it or having no time to fade ends the fade
    if (std::abs(span) <= std::abs(c)) {
        volume = fadeTo_;
        fading_ = false;
    } else {
        volume = fadeFrom_ + int32_t(c);
    }
    ApplyVolume(volume);
}

void CdPlayer::Update()
{
    if (platform::cd::Drive* drive = device_->Drive(); drive && mode_ == platform::cd::kPlaying)
        if (drive->TakeEndNotice())
            OnMciNotify(kNotifySuccessful, device_->deviceId);
    UpdateFade();
}

void CdPlayer::SetClock(std::function<int64_t()> now, int64_t ticksPerSecond)
{
    now_ = std::move(now);
    ticksPerSecond_ = ticksPerSecond;
}

VolumeFader*& VolumeFader::Global()
{
    static VolumeFader fader;
    static VolumeFader* global = &fader;
    return global;
}

void VolumeFader::Update(VolumeFader* fader)
{
    if (fader)
        if (CdPlayer* cd = CdPlayer::Global())
            cd->Update();
}

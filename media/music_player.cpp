#include "media/music_player.h"

#include "app/directories.h"
#include "media/sound_system.h"
#include "platform/audio_stream.h"
#include "platform/data_path.h"
#include "platform/video.h"

#include <chrono>
#include <vector>

namespace {

constexpr uint32_t kIdleMilliseconds = 20; // the wait whenever the music is ahead
constexpr double kBufferSeconds = 0.1;     // sound handed over at a time
constexpr double kLeadSeconds = 0.25;      // how far a silent player runs ahead of the clock

} // namespace

MusicPlayer::MusicPlayer() = default;

MusicPlayer::~MusicPlayer()
{
    StopThread();
}

namespace {

// Game thread only. At namespace scope, made before main: the shell's exit
// handlers, registered later, still destroy the player through it.
std::unique_ptr<MusicPlayer> g_gamePlayer;

std::unique_ptr<MusicPlayer>& GamePlayer() { return g_gamePlayer; }

} // namespace

MusicPlayer* MusicPlayer::Global()
{
    return GamePlayer().get();
}

MusicPlayer* MusicPlayer::Create()
{
    if (!GamePlayer())
        GamePlayer() = std::make_unique<MusicPlayer>();
    return GamePlayer().get();
}

void MusicPlayer::Destroy()
{
    Close(GamePlayer().get());
    GamePlayer().reset();
}

void MusicPlayer::Clear(MusicPlayer* player)
{
    if (!player)
        return;
    player->StopThread();
    player->state = 0;
    player->track.clear();
}

bool MusicPlayer::Play(MusicPlayer* player, const char* path)
{
    if (!player)
        return false;
    Stop(player);
    player->state = 1;
    const auto file =
        platform::ResolveDataPath(app::DataDirectories::Global().StartDirectory(), path ? path : "");
    if (!file)
        return false;
    player->movie_ = platform::video::Movie::Open(*file);
    if (!player->movie_ || player->movie_->Info().audioRate == 0) {
        player->movie_.reset();
        return false;
    }
    // the output is looked up here, on the game thread that owns the sound system
    SoundSystem* sound = SoundSystem::Global();
    player->device_ = sound ? sound->OutputDevice() : nullptr;
    player->stopRequested_ = false;
    player->ended_ = false;
    player->passes_ = 1;
    player->frames_ = 0;
    if (!player->thread_.Start([player] { player->ThreadMain(); })) {
        player->movie_.reset();
        return false;
    }
    player->track = path;
    return true;
}

void MusicPlayer::StopThread()
{
    // the request is an atomic flag: the thread reads it every pass and the
    // join is the answer, so no handle is shared unsynchronised
    stopRequested_ = true;
    thread_.Join();
    movie_.reset();
    paused_ = false;
}

bool MusicPlayer::Stop(MusicPlayer* player)
{
    if (player) {
        player->StopThread();
        player->track.clear();
    }
    return true;
}

int32_t MusicPlayer::Close(MusicPlayer* player)
{
    if (!player)
        return 0;
    const int32_t closed = player->movie_ ? 1 : 0;
    Stop(player);
    return closed;
}

void MusicPlayer::RaisePriority(MusicPlayer* player)
{
    if (player)
        player->thread_.SetPriority(platform::ThreadPriority::kAboveNormal);
}

bool MusicPlayer::Pause(MusicPlayer* player)
{
    if (player)
        player->paused_ = true;
    return player != nullptr;
}

bool MusicPlayer::Resume(MusicPlayer* player)
{
    if (player)
        player->paused_ = false;
    return player != nullptr;
}

void MusicPlayer::ThreadMain()
{
    using Clock = std::chrono::steady_clock;
    platform::video::Movie& movie = *movie_;
    const platform::video::MovieInfo info = movie.Info();
    std::unique_ptr<platform::audio::Stream> stream;
    if (device_)
        stream = platform::audio::Stream::Open(*device_, {info.audioChannels, 16, info.audioRate});

    const size_t chunk = size_t(kBufferSeconds * info.audioRate) * size_t(info.audioChannels);
    std::vector<int16_t> samples;
    bool streamPaused = false;
    bool soundThisPass = false;
    double heard = 0; // seconds of sound handed over, for the silent pacing
    Clock::time_point started = Clock::now();
    while (!stopRequested_.load()) {
        if (ended_.load() || paused_.load()) {
            if (stream && paused_.load() != streamPaused)
                stream->SetPaused(streamPaused = paused_.load());
            if (!stream && paused_.load())
                started += std::chrono::milliseconds(kIdleMilliseconds);
            platform::SleepMilliseconds(kIdleMilliseconds);
            continue;
        }
        if (streamPaused)
            stream->SetPaused(streamPaused = false);
        const bool early = stream ? !stream->HasRoom()
                                  : heard - std::chrono::duration<double>(Clock::now() - started).count() > kLeadSeconds;
        if (early) {
            platform::SleepMilliseconds(kIdleMilliseconds);
            continue;
        }
        samples.clear();
        platform::video::Step step = platform::video::Step::Ok;
        while (samples.size() < chunk && (step = movie.NextSound(samples)) == platform::video::Step::Ok) {
        }
        frames_ += samples.size() / size_t(info.audioChannels);
        if (!samples.empty()) {
            soundThisPass = true;
            heard += double(samples.size() / size_t(info.audioChannels)) / info.audioRate;
            if (stream)
                stream->Push(samples);
        }
        if (step == platform::video::Step::Damaged) {
            ended_ = true; // a damaged file ends the track instead of retrying it for ever
        } else if (step == platform::video::Step::End) {
            // the track loops; a pass without any sound would only spin
            if (!soundThisPass || !movie.Rewind())
                ended_ = true;
            else
                ++passes_;
            soundThisPass = false;
        }
    }
}

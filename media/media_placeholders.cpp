#include "media/media_placeholders.h"

namespace {

// The services' one owner each: what start-up installs lives until shut-down
// or, at the latest, the end of the process. At namespace scope, so that they
// outlive the exit handlers start-up registers (which shut the services down).
std::unique_ptr<MusicPlayer> g_music;

std::unique_ptr<MusicPlayer>& MusicOwner() { return g_music; }

} // namespace

MusicPlayer* MusicPlayer::Global() { return MusicOwner().get(); }

MusicPlayer* MusicPlayer::Start()
{
    if (!MusicOwner())
        MusicOwner() = std::make_unique<MusicPlayer>();
    return MusicOwner().get();
}

void MusicPlayer::Shutdown()
{
    if (MusicOwner())
        Close(MusicOwner().get());
    MusicOwner().reset();
}

void MusicPlayer::Clear(MusicPlayer* player) { *player = MusicPlayer{}; }

void MusicPlayer::Play(MusicPlayer* player, const char* fileName)
{
    if (!player)
        return;
    Stop(player);
    player->track = fileName ? fileName : "";
    player->threadRunning = true;
}

bool MusicPlayer::Stop(MusicPlayer* player)
{
    if (player) {
        player->threadRunning = false;
        player->track.clear();
    }
    return true;
}

void MusicPlayer::Close(MusicPlayer* player) { Stop(player); }

VolumeFader* VolumeFader::Global() { return nullptr; }

void VolumeFader::Update(VolumeFader*) {}

namespace IntroVideo {
bool Update() { return false; }
void Stop() {}
} // namespace IntroVideo

namespace AnimatedTextures {
void ReleaseAll() {}
bool RestoreAll() { return false; }
} // namespace AnimatedTextures

// No CD device exists until the media subsystem lands.
CdPlayer* CdPlayer::Global() { return nullptr; }
void CdPlayer::Shutdown() {}

void CdPlayer::Notify(uint64_t, int64_t) {}
void CdPlayer::RefreshState() {}
void CdPlayer::Poll(CdPlayer*) {}

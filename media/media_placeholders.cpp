#include "media/media_placeholders.h"

MusicPlayer*& MusicPlayer::Global()
{
    static MusicPlayer* global = nullptr;
    return global;
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

VolumeFader*& VolumeFader::Global()
{
    static VolumeFader* global = nullptr;
    return global;
}

void VolumeFader::Update(VolumeFader*) {}

namespace IntroVideo {
bool Update() { return false; }
void Stop() {}
} // namespace IntroVideo

namespace AnimatedTextures {
void ReleaseAll() {}
bool RestoreAll() { return false; }
} // namespace AnimatedTextures

CdPlayer*& CdPlayer::Global()
{
    static CdPlayer* global = nullptr;
    return global;
}

void CdPlayer::Notify(uint64_t, int64_t) {}
void CdPlayer::RefreshState() {}
void CdPlayer::Poll(CdPlayer*) {}

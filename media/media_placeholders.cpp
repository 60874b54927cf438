#include "media/media_placeholders.h"

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

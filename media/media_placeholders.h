// Placeholders for the video and CD services that the shell calls:
// the real interfaces with the least behaviour start-up and the main loop
// need. The sound system and the music player are real.
#pragma once

#include "media/music_player.h"
#include "media/sound_system.h"

#include <cstdint>
#include <string>

struct VolumeFader {
    static VolumeFader*& Global(); // null: no fade runs
    static void Update(VolumeFader* fader);
};

namespace IntroVideo {
bool Update(); // false when finished (at once: there is no video yet)
void Stop();
} // namespace IntroVideo

namespace AnimatedTextures {
void ReleaseAll();
bool RestoreAll();
} // namespace AnimatedTextures

struct CdPlayer {
    static CdPlayer*& Global(); // null: no CD audio
    void Notify(uint64_t wparam, int64_t lparam);
    void RefreshState();
    bool IsWaitingForDisc() const { return false; }
    bool IsStopped() const { return true; }
    static void Poll(CdPlayer* player);
};

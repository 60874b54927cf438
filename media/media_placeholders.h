// Placeholders for the music, video and CD services that the shell calls:
// the real interfaces with the least behaviour start-up and the main loop
// need. The sound system itself is real (media/sound_system.h).
#pragma once

#include "media/sound_system.h"

#include <cstdint>
#include <memory>
#include <string>

struct MusicPlayer {
    int state = 0;
    std::string track; // what plays, "" when stopped
    bool threadRunning = false;

    // The one player, owned here from Start to Shutdown (or the end of the
    // process); null outside that time.
    static MusicPlayer* Global();
    // Makes the player, cleared, when there is none; returns it.
    static MusicPlayer* Start();
    // Closes and destroys the player.
    static void Shutdown();
    static void Clear(MusicPlayer* player);
    static void Play(MusicPlayer* player, const char* fileName);
    static bool Stop(MusicPlayer* player);
    static void Close(MusicPlayer* player);
};

struct VolumeFader {
    static VolumeFader* Global(); // null: no fade runs
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
    static CdPlayer* Global(); // null: no CD audio
    static void Shutdown();
    void Notify(uint64_t wparam, int64_t lparam);
    void RefreshState();
    bool IsWaitingForDisc() const { return false; }
    bool IsStopped() const { return true; }
    static void Poll(CdPlayer* player);
};

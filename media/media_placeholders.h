// Placeholders for the video services that the shell calls:
// the real interfaces with the least behaviour start-up and the main loop
// need. Sound, music and CD audio are real.
#pragma once

#include "media/cd_player.h"
#include "media/music_player.h"
#include "media/sound_system.h"

#include <cstdint>
#include <string>


namespace IntroVideo {
bool Update(); // false when finished (at once: there is no video yet)
void Stop();
} // namespace IntroVideo

namespace AnimatedTextures {
void ReleaseAll();
bool RestoreAll();
} // namespace AnimatedTextures


// The level-script commands that stage the camera and the screen: placing
// and easing the camera, scripted moves, borders, cursor, EPW and vision
// switches and the CD player. Install hands their handlers to the console's
// table; game thread only.
#pragma once

#include "app/maths.h"

#include <array>
#include <cstdint>
#include <deque>

namespace CameraCommands {
void Install();

struct SavedCamera {
    Vec3 focus{0, 0, 0};
    float roll = 0, pitch = 0, heading = 0, zoom = 0;
};
SavedCamera& Saved();

// Widescreen borders, read each frame by the camera controller.
struct Borders {
    bool on = false;
    float requiredWidth = 0, width = 0, speed = 0;
};
Borders& GetBorders();

extern bool cursorShown; // 1 at start
extern bool epwEnabled;  // 1 at start
extern bool visionCones;
// The shell's pause toggle (PAUSE GAME); nothing until installed.
extern void (*togglePause)();

// One PLAY ENVIRONMENTAL SOUND: the sound and the block the sound system
// was handed (0, 5.0, 50.0, 100, then zeros).
struct EnvironmentalSound {
    uint32_t id = 0;
    std::array<int32_t, 11> block{};
};
const std::deque<EnvironmentalSound>& EnvironmentalSounds();
// Level stop: the records go with the level.
void ClearEnvironmentalSounds();

// Most tracks one CD PLAY line takes.
inline constexpr int kMaxPlayTracks = 20;
} // namespace CameraCommands

// The recon view: the camera rides behind the first selected unit and the
// pointer's movement turns the view. Angles are in 4096 steps a turn.
#pragma once

class WorldObject;

namespace ReconView {
inline constexpr float kPitchUp = 682.0f, kPitchDown = -341.0f;

bool IsActive();
// Whether the view rides with that unit now.
bool Follows(const WorldObject* unit);
float Heading();
float Pitch();
void SetAngles(float heading, float pitch);
// Turns by the pointer's movement since the last frame: the heading wraps
// into 0..4096, the pitch stops at -341 and 682. `sensitivity` is +2 or -2
// (the mouse-inversion option).
void Turn(float dx, float dy, float sensitivity);
void Toggle(bool on);
void Update();
} // namespace ReconView

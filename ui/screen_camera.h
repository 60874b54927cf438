// The camera of everything placed in screen fractions (x right, y down, both
// 0 to 1 across the whole screen): still images, the briefing and the menu
// screens' quads. Orthographic, so a quad's rectangle is exactly what shows.
#pragma once

class Camera;

namespace ScreenCamera {
// Made on first use and kept to the end of the program (the camera list
// outlives every screen).
Camera* Get();
// Depth of screen quads: between the camera's planes.
inline constexpr float kQuadDepth = 7.5f;
} // namespace ScreenCamera

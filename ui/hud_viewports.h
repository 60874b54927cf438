// The game view's cameras beside the main one: the overview camera and the
// HUD's text, overlay and inset-window cameras. SetUp gives every camera its
// depth planes and viewport once the display is set up.
#pragma once

class Camera;

namespace HudViewports {

void SetUp();
// The overlay camera's view at one unit from the eye.
inline constexpr float kOverlayViewWidth = 8.0f / 3.0f, kOverlayViewHeight = 2.0f;

Camera& Overview();
Camera& HudText();
Camera& HudOverlay();
Camera& InsetWindow();
Camera& SmallInset();

} // namespace HudViewports

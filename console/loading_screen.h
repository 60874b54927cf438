// The loading screen as the player sees it while a level loads: the
// briefing-screen picture over the whole screen, the loading text and a hint
// in the console's fonts, and the red bar along the bottom. The session keeps
// the screen's text and progress and draws through the hooks installed here.
#pragma once

#include <string>

namespace LoadingScreenView {

inline constexpr const char* kBackground = "bitmaps\\briefingscreen.rim";  // in the graphics folder
inline constexpr float kHintScale = 0.5f;
inline constexpr float kHintLeft = 0.1f, kHintTop = 0.84f;

// The session's loading-screen hooks (once, where the console starts).
void Install();

// The background picture; a missing one leaves the screen black.
void OpenBackground();
void FreeBackground();
bool HasBackground();

// Clears the screen, draws one whole loading frame and presents it; nothing
// without a ready display device.
void DrawFrame(const std::string& text, const std::string& hint, float progress);

} // namespace LoadingScreenView

// The still screens the main loop shows at start-up and after a lost game:
// one full-screen image each, held until a deadline.
#pragma once

#include <cstdint>

namespace Screens {
// The shared screen deadline (real-time ticks), set by each Enter.
int64_t& Deadline();
// Whether a still image is held now.
bool HasImage();
} // namespace Screens

namespace LogoScreen {
bool Enter(); // state 4, deadline now + 5 s; true when its image loaded
void Draw();
void Leave();
} // namespace LogoScreen
namespace SplashScreen {
bool Enter(); // state 2, now + 10 s
void Draw();
void Leave();
} // namespace SplashScreen
namespace TitleScreen {
bool Enter(); // state 1, now + 10 s
void Draw();
void Leave();
} // namespace TitleScreen
namespace TrainingReminder {
bool Enter(); // state 3, now + 10 s
void Draw();
void Leave();
} // namespace TrainingReminder

// Placeholders for the level-effect services the shell calls.
#pragma once

#include <cstdint>

namespace BallisticObjects {
void UpdateAll(int64_t gameTime);
}

namespace Effects {
void Startup();
void Shutdown();
void UpdateAndDrawAll(int64_t gameTime);
} // namespace Effects

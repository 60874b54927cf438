#include "effects/effects_placeholders.h"

namespace BallisticObjects {
void UpdateAll(int64_t) {}
}

namespace Effects {
void Startup() {}
void Shutdown() {}
void UpdateAndDrawAll(int64_t) {}
} // namespace Effects

#include "media/media_placeholders.h"

namespace IntroVideo {
bool Update() { return false; }
void Stop() {}
} // namespace IntroVideo

namespace AnimatedTextures {
void ReleaseAll() {}
bool RestoreAll() { return false; }
} // namespace AnimatedTextures


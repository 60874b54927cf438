// The lighting a game session puts on the shared light sets while it runs,
// and what it leaves behind when it ends.
#pragma once

namespace SceneLighting {
// The scene set: a dim grey glow and one white light from above; the
// secondary scene set nearly dark; the dark set black.
void SetGame();
// The scene set without lights, glowing white (the screens outside a game).
void Clear();
} // namespace SceneLighting

// The level's shadow edges after a full saved-game load. The level load
// passes them over while a save is restored; the load builds them once the
// world is back, in shadow mode 4 when the map asks for them.
#pragma once

namespace SavedShadows {
void Install();
} // namespace SavedShadows

// Hands the client's server-message rows the effect builders they start:
// the big explosion, spotlights, explosion areas, pulsing lights, texture
// animations on a replica, its smoke and its shadow, and REFLECT's sphere
// map. The effects' start-up
// installs them.
#pragma once

namespace Effects {
void InstallClientHooks();
} // namespace Effects

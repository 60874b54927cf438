// Hands the client's server-message rows the effect builders they start:
// the big explosion, spotlights, explosion areas, pulsing lights and texture
// animations on a replica. The effects' start-up installs them.
#pragma once

namespace Effects {
void InstallClientHooks();
} // namespace Effects

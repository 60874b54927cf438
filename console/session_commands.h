// The console's part in a session: the six commands a session registers
// while it runs (game speed and fog), and the hooks through which the level
// start queues and runs the companion file and the level stop resets the
// script state.
#pragma once

namespace SessionCommands {

// Installs the session's hooks into the console (once, at table setup).
void Install();

void GameSpeed();
void Fog();
void FogColour();
void FogValue();
void FogTransition();
void FogUpdate();

} // namespace SessionCommands

// Placeholders for the fog-of-war services the main loop calls; no fog
// exists until the fog of war lands. The level itself is world/level.h.
#pragma once

#include "world/level.h"

class FogOfWar {
public:
    static FogOfWar*& Global(); // null: no fog
    static void Restore(FogOfWar* fog);
    static void Update(FogOfWar* fog);
};

// Placeholders for the level and fog-of-war services the main loop calls;
// no level exists until the world subsystem lands.
#pragma once

class FogOfWar {
public:
    static FogOfWar*& Global(); // null: no fog
    static void Restore(FogOfWar* fog);
    static void Update(FogOfWar* fog);
};

class Level {
public:
    static Level*& Current(); // null: no level loaded
    static void Draw(Level* level);
    static void CopyGlobalLightValues(Level* level);
};

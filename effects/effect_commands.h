// The level-script commands that light the level and add effects: the sun,
// ambient light, lights and coronas, liquids, weather, electricity, shapes,
// explosions and screen fades. Install hands their handlers to the console's
// table; game thread only.
#pragma once

#include "app/maths.h"

#include <string>

class Light;
class LightSet;

namespace EffectCommands {
void Install();
// Shows the particle tester of a type at a position; installed by the
// interface, which owns the tester (nothing until it does).
extern void (*particleTester)(const Vec3& position, int type);
} // namespace EffectCommands

namespace SunLight {
// Angles are in 4096ths of a turn.
struct State {
    float secondAngle = 4096.0f / 3.0f;
    Vec3 direction{1, 0, 0};
    Colour colour;
    Light* light = nullptr; // the directional light of the level's set, or null
};
State& Get();
// The level's light set (the loaded level's unless a test installs another).
void SetLightSource(LightSet* (*lights)());
LightSet* Lights();
// Level load: the second angle back to 120 degrees and the level's sun light.
void ResetForLevel(Light* light);
// The sun light, when there is one, made again with the held colour and
// direction.
void ReplaceLight();
// The level state block carries the sun's colour and direction through a
// saved game: the sun commands keep it current, and a full load takes them
// back from it before the level's sun light is made.
void TakeFromLevelState();

// The direction from the first angle in degrees and the second angle held;
// the sun light follows it in a game.
void SetSunDirection(float degrees);
// The first angle in degrees that the direction and the second angle give;
// quotients outside the cosine table are clamped onto it.
float RecoverFirstSunAngle();
} // namespace SunLight

// The weather area effects read (lightning, rays, rain) and its third value.
namespace Weather {
extern float thirdValue;
// The rain (true) or snow emitter as the weather commands make it.
void MakeWeatherEmitter(bool rain);
} // namespace Weather

// "explosion" 5, "bigexplosion" 6, ... ; any other word is reported and gives 5.
int ParseParticleType(const std::string& word);

// The nearest liquid's operations and AddLiquidFromArguments, for tests.
void AddLiquidFromArguments(const char* texture, bool clear, bool ripples);

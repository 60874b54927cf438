// The builders of the effect records, called by console commands, server
// messages, projectile replicas and moving objects, and the operations on
// effects already running. Game thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/maths.h"

class EffectObject;
class ParticleEmitter;
struct EffectRecord;

// What effects read of the world around them. The weather area is set by the
// weather commands and the level load; the rest are queries of higher layers
// (the squad, the level surface) that they install.
struct EffectEnvironment {
    Vec3 weatherPosition{0, -30, 0};
    Vec3 weatherExtent{10, 10, 10};
    // Positions of the squad's characters, in squad order.
    std::vector<Vec3> (*squadPositions)() = [] { return std::vector<Vec3>{}; };
    // The point set onto the level surface below it.
    Vec3 (*snapToSurface)(const Vec3& point) = [](const Vec3& p) { return p; };
    // Whether the level has a polygon under the point.
    bool (*polygonBelow)(const Vec3& point) = [](const Vec3&) { return true; };
    // Screen width in pixels (line widths scale with it).
    int32_t (*screenWidth)() = [] { return int32_t(1024); };
};
EffectEnvironment& EffectWorld();

// A uniform random number in [-1, 1) from the shared additive generator,
// drawn under its one lock.
float EffectRandom();

namespace Effects {
// Lights (kinds 0, 2, 5, 7, 15).
void AddFlash(const Vec3& position, int64_t now);
// The same flash on the round cone shape, 1 s long, growing to `size`.
void AddConeFlash(const Vec3& position, int64_t now, float size);
void AddFacingFlash(const Vec3& position, int64_t now, float seconds);
void AddLightRay(int64_t now, const Vec3& position, const Colour& colour);
void SetRayColour(const Colour& colour);
void AddSpotlight(const Vec3& position, int64_t now);
void AddShieldShell(EffectObject* object, int64_t now);
struct PulseColours {
    Colour first, second;
    float periodSeconds = 1.0f;
};
void AddPulsingLight(bool active, const Vec3& position, const PulseColours& colours);

// Lines (kinds 3, 4, 13, 14).
struct ElectricityRequest {
    Vec3 end{0, 0, 0};
    bool withLights = false;
    float amplitude = 1.0f;
    EffectObject* object = nullptr;  // the record takes its own reference
};
void AddElectricity(int64_t now, const Vec3& start, const ElectricityRequest& request);
void AddLightning(int64_t now);
void RemoveAllElectricity();
bool DeactivateElectricity(const Vec3& point);
// False (nothing added) for points that are not finite.
bool AddLaserFence(const Vec3& start, const Vec3& end);
void AddBeamTrace(int64_t now, const Vec3& start, const Vec3& end, const Colour& colour, float width);
void AddCursorTrace(int64_t delay, int64_t now, const Vec3& first, const Vec3& second, const Vec3& third,
                    const Colour& colour);

// Shapes and areas (kinds 8, 10, 11, 12, 16, 17, 18).
struct RingParams {
    int32_t sides = 16;
    float minimumRadius = 1.0f, maximumRadius = 2.0f;
};
void AddRing(int64_t now, const Vec3& position, const RingParams& params);
struct BasinParams {
    int32_t sides = 16;
    float lowerRadius = 1.0f, upperRadius = 2.0f;
};
void AddBasin(int64_t now, const Vec3& position, const BasinParams& params);
struct FadeParams {
    Colour start, end;
    float holdSeconds = 0.0f;
};
void AddScreenFade(float seconds, const FadeParams& params);
void AddDestructionEffect(EffectObject* object, int64_t now);
void AddExplosionArea(const Vec3& first, const Vec3& second);
// `offsets` holds count (u, v) pairs; a count of 0 adds nothing.
void AddTextureAnimation(EffectObject* object, int32_t count, const float* offsets);
void AddGroundCrackle(int64_t now, const Vec3& position);

// Liquids (kind 9).
struct LiquidParams {
    float rippleHeight = 1.0f;
    Vec3 first{0, 0, 0}, second{10, 0, 10};
    std::string texture;
    bool clear = false, fogged = false, ripples = false;
};
void AddLiquid(int64_t now, int32_t detail, const LiquidParams& params);
EffectRecord* FindNearestLiquid(const Vec3& position);

// Reflections (kind 6). Null object: the level.
void AddSphereMapToActor(EffectObject* object);
} // namespace Effects

namespace LiquidEffect {
void ChangeLevel(EffectRecord& record, float amount, int64_t now);
void SetSpeed(EffectRecord& record, float value);
void SetDirection(EffectRecord& record, const Vec3& direction);
} // namespace LiquidEffect

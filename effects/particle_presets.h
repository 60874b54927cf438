// Ready-made particle effects started at a world position by commands,
// server messages, weapons and debris. Each fills an emitter description and
// asks the particle system for an emitter that is made only when the
// position is on screen; fogged positions (fog value above 253) start
// nothing, except the group-8 burst and the corona.
#pragma once

#include <cstdint>
#include <vector>

#include "Veapi/particles.h"
#include "app/maths.h"

namespace ParticleEffects {

enum class Preset {
    Fire, Sparks, Explosion, GroundBlast, BigBurst, Corona, ShotImpact, Group8Burst,
    Count
};

// The description a single-emitter preset requests at a position with a
// fog value (the fog value only sets the alpha of those that depend on it).
ParticleEmitterDesc Describe(Preset preset, const Vec3& position, uint32_t fogValue);
// Whether the preset starts nothing at that fog value.
bool Fogged(Preset preset, uint32_t fogValue);

void SpawnFire(const Vec3& position);
void SpawnSparks(const Vec3& position);
void SpawnExplosion(const Vec3& position);
void SpawnGroundBlast(const Vec3& position);
void SpawnBigBurst(const Vec3& position);
void SpawnShotImpact(const Vec3& position);
void SpawnGroup8Burst(const Vec3& position);
// A lasting emitter the caller stops later; made even where fogged.
ParticleEmitter* CreateCorona(const Vec3& position, const Colour& colour);

void SpawnDebrisExplosion(const Vec3& position);
void SpawnBigExplosion(const Vec3& position, int64_t now);
void SpawnExplosionWithSmoke(const Vec3& position);
void SpawnDirectional(const Vec3& position, float dx, float dz);

// Where requests go: by default the particle system with the game camera,
// made only when the position is on screen. Tests count them.
using Sink = ParticleEmitter* (*)(const ParticleEmitterDesc& desc, const Vec3& position);
void SetSink(Sink sink);
ParticleEmitter* Request(const ParticleEmitterDesc& desc, const Vec3& position);

} // namespace ParticleEffects

namespace Effects {
// The fog-of-war value at a position (0 without fog).
uint32_t FogAt(const Vec3& position);
using FogReader = uint32_t (*)(const Vec3& position);
void SetFogReader(FogReader reader);
} // namespace Effects

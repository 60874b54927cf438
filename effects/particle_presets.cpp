#include "effects/particle_presets.h"

#include <cmath>

#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/effect_maths.h"
#include "world/fog_of_war.h"

namespace {

ParticleEffects::Sink g_sink = nullptr;
Effects::FogReader g_fogReader = nullptr;

constexpr int32_t kContinuous = 0, kCounted = 2;

Colour Rgba(float r, float g, float b, float a)
{
    Colour c;
    c.Set(r, g, b, a);
    return c;
}

Colour Transparent() { return Rgba(0, 0, 0, 0); }

ParticleEmitterDesc Counted(int32_t group, uint32_t count, float rate)
{
    ParticleEmitterDesc d;
    d.group = group;
    d.mode = kCounted;
    d.durationOrCount = count;
    d.rate = rate;
    return d;
}

bool FogTested(ParticleEffects::Preset p)
{
    return p != ParticleEffects::Preset::Group8Burst && p != ParticleEffects::Preset::Corona;
}

void SpawnPreset(ParticleEffects::Preset preset, const Vec3& position)
{
    const uint32_t fog = Effects::FogAt(position);
    if (ParticleEffects::Fogged(preset, fog))
        return;
    ParticleEffects::Request(ParticleEffects::Describe(preset, position, fog), position);
}

} // namespace

namespace ParticleEffects {

bool Fogged(Preset preset, uint32_t fogValue) { return FogTested(preset) && fogValue > 253; }

ParticleEmitterDesc Describe(Preset preset, const Vec3& position, uint32_t fogValue)
{
    const float fogAlpha = EffectMaths::FogAlphaScaled(fogValue);
    ParticleEmitterDesc d;
    switch (preset) {
    case Preset::Fire:
        d = Counted(3, 1, 50.0f);
        d.colour1 = Rgba(0.8f, 0.8f, 0.2f, 1.0f);
        d.colour2 = Transparent();
        d.scale1 = 0.1f;
        d.scale2 = 0.0f;
        d.life = uint32_t(Effects::SecondsToTicks(0.25));
        break;
    case Preset::Sparks:
        d = Counted(12, 100, 20.0f);
        d.particleVelocity = {0, -3, 0};
        d.colour1 = Rgba(0.2f, 0.7f, 0.9f, 0.6f);
        d.colour2 = Transparent();
        break;
    case Preset::Explosion:
        d = Counted(5, 10, 25.0f);
        d.particleVelocity = {0, -1, 0};
        d.emitterVelocity = {0, -2.1f, 0};
        d.colour1 = Rgba(0.1f, 0.1f, 0.4f, 0.5f);
        d.colour2 = Transparent();
        d.spawner = true;
        d.scale1 = d.scale2 = 0.3f;
        break;
    case Preset::GroundBlast:
        d = Counted(6, 2, 50.0f);
        d.colour1 = Rgba(1, 1, 1, fogAlpha);
        d.colour2 = Transparent();
        d.scale1 = d.scale2 = 0.2f;
        break;
    case Preset::BigBurst:
        d = Counted(6, 10, 20.0f);
        d.colour2 = Transparent();
        d.addLight = d.flicker = true;
        d.lightPosition = position + Vec3{0, -3, 0};
        break;
    case Preset::Corona:
        d.group = 7;
        d.mode = kContinuous;
        d.rate = 1.0f;
        break;
    case Preset::ShotImpact:
        d = Counted(4, 5, 5.0f);
        d.colour1 = Rgba(0.6f, 0.4f, 0.25f, fogAlpha);
        d.colour2 = Transparent();
        break;
    case Preset::Group8Burst:
        d = Counted(8, 1, 10.0f);
        d.colour1 = Rgba(1, 1, 1, 0.8f);
        d.colour2 = Transparent();
        d.scale1 = 0.1f;
        d.scale2 = 1.0f;
        break;
    case Preset::Count:
        break;
    }
    return d;
}

void SpawnFire(const Vec3& position) { SpawnPreset(Preset::Fire, position); }
void SpawnSparks(const Vec3& position) { SpawnPreset(Preset::Sparks, position); }
void SpawnExplosion(const Vec3& position) { SpawnPreset(Preset::Explosion, position); }
void SpawnGroundBlast(const Vec3& position) { SpawnPreset(Preset::GroundBlast, position); }
void SpawnBigBurst(const Vec3& position) { SpawnPreset(Preset::BigBurst, position); }
void SpawnShotImpact(const Vec3& position) { SpawnPreset(Preset::ShotImpact, position); }
void SpawnGroup8Burst(const Vec3& position) { SpawnPreset(Preset::Group8Burst, position); }

ParticleEmitter* CreateCorona(const Vec3& position, const Colour& colour)
{
    ParticleEmitterDesc d = Describe(Preset::Corona, position, 0);
    d.colour1 = colour;
    // The end colour keeps the packed value with zero floats.
    d.colour2.packed = colour.Packed();
    d.colour2.red = d.colour2.green = d.colour2.blue = d.colour2.alpha = 0.0f;
    d.colour2.flags = Colour::kPackedValid | Colour::kFloatValid;
    return Particles::CreateEmitter(d, position);
}

void SpawnDebrisExplosion(const Vec3& position)
{
    if (Effects::FogAt(position) > 253)
        return;
    ParticleEmitterDesc blast = Counted(6, 2, 4.0f);
    blast.addLight = blast.flicker = true;
    Request(blast, position);
    ParticleEmitterDesc trail = Counted(9, 4, 10.0f);
    trail.kind = 3;
    trail.colour1 = Rgba(0.8f, 0.1f, 0.1f, 1.0f);
    trail.colour2 = Transparent();
    trail.lightColour = Rgba(0.7f, 0.1f, 0.1f, 1.0f);
    trail.spawner = true;
    trail.emitterVelocity = {0, -4, 0};
    Request(trail, position);
}

void SpawnBigExplosion(const Vec3& position, int64_t now)
{
    if (Effects::FogAt(position) > 253)
        return;
    ParticleEmitterDesc blast = Counted(6, 2, 4.0f);
    blast.addLight = true;
    Request(blast, position);
    ParticleEmitterDesc fire = Counted(3, 10, 40.0f);
    fire.colour1 = Rgba(0.3f, 0.2f, 0.15f, 1.0f);
    fire.spin = 10000.0f;
    fire.emitterVelocity = {0, EffectRandom(), 0};
    Request(fire, position);
    ParticleEmitterDesc flames = Counted(3, 30, 20.0f);
    flames.particleVelocity = {0, -3, 0};
    flames.colour1 = Rgba(0.6f, 0.2f, 0.15f, 1.0f);
    Request(flames, position);
    Effects::AddFlash(position, now);
}

void SpawnExplosionWithSmoke(const Vec3& position)
{
    if (Effects::FogAt(position) > 253)
        return;
    ParticleEmitterDesc blast = Counted(6, 4, 3.0f);
    blast.addLight = blast.flicker = true;
    blast.scale1 = blast.scale2 = 0.8f;
    blast.lightColour = Rgba(1.0f, 0.3f, 0.5f, 1.0f);
    blast.lightSpecular = Rgba(0.9f, 0.6f, 0.2f, 1.0f);
    Request(blast, position);
    ParticleEmitterDesc smoke = Counted(0, 100, 30.0f);
    smoke.particleVelocity = {0, -1, 0};
    smoke.colour1 = smoke.colour2 = Rgba(0.1f, 0.1f, 0.12f, 1.0f);
    Request(smoke, position);
}

void SpawnDirectional(const Vec3& position, float dx, float dz)
{
    if (Effects::FogAt(position) > 253)
        return;
    ParticleEmitterDesc first = Counted(3, 7, 15.0f);
    first.particleVelocity = {0, -0.65f, 0};
    first.emitterVelocity = {0.1f * dx, -0.1f, 0.1f * dz};
    first.colour1 = Rgba(0.5f, 0.1f, 0.1f, 0.8f);
    first.colour2 = Transparent();
    first.spawner = true;
    first.spin = 10000.0f;
    first.life = uint32_t(Effects::SecondsToTicks(0.5));
    Request(first, position);
    // Pairs laid out along the blast's heading, thinning with distance.
    const float heading = std::atan2(dx, dz);
    for (int step = 0; step < 5; ++step) {
        const float along = 0.6f * float(step + 1);
        const Vec3 at = position + Vec3{std::sin(heading) * along, 0, std::cos(heading) * along};
        ParticleEmitterDesc a = Counted(3, uint32_t(7 - step), 15.0f);
        a.colour1 = Rgba(0.3f, 0.6f - 0.1f * float(step), 0.1f, 0.8f);
        a.colour2 = Transparent();
        Request(a, at);
        ParticleEmitterDesc b = Counted(3, uint32_t((10 - step) / 2), 15.0f);
        b.colour1 = a.colour1;
        b.colour2 = Transparent();
        Request(b, at);
    }
    ParticleEmitterDesc smoke = Counted(0, 50, 30.0f);
    smoke.particleVelocity = {0, -1, 0};
    smoke.colour1 = Rgba(0.11f, 0.1f, 0.12f, 1.0f);
    smoke.scale1 = 1.0f;
    smoke.scale2 = 5.0f;
    Request(smoke, position);
}

void SetSink(Sink sink) { g_sink = sink; }

ParticleEmitter* Request(const ParticleEmitterDesc& desc, const Vec3& position)
{
    if (g_sink)
        return g_sink(desc, position);
    return Particles::CreateEmitterIfVisible(desc, position, Effects::GameCamera());
}

} // namespace ParticleEffects

namespace Effects {

uint32_t FogAt(const Vec3& position)
{
    if (g_fogReader)
        return g_fogReader(position);
    const FogOfWar* fog = FogOfWar::Global();
    return fog ? fog->VisibilityAt(position) : 0;
}

void SetFogReader(FogReader reader) { g_fogReader = reader; }

} // namespace Effects

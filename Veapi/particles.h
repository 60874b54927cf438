// Particles: smoke, steam, snow, fire, shot puffs, explosions, trails, rain
// and sparks. Thirteen fixed groups (texture rectangle, material, motion
// constants), one pool of 4096 particles shared by all of them, and the
// emitters that effects, weapons and console commands create. The game frame
// calls Particles::Update with the game-clock delta; the display's end of
// frame calls Particles::Draw. Velocities of emitters and particles are in
// world units per timer tick, group constants in seconds as tabled.
#pragma once

#include <cstdint>
#include <memory>

#include "app/maths.h"
#include "app/read_write_lock.h"

class BoundingBox;
class Camera;
class Light;
class RenderMaterial;
class TextureEntry;

// The additive lagged generator of BSD random(): degree 31, separation 3,
// over its own state. Next() gives the whole new front word.
class ParticleRandom {
public:
    static constexpr int kDegree = 31, kSeparation = 3;
    ParticleRandom();
    // Starts from a given state, front and rear positions within it.
    ParticleRandom(const uint32_t (&state)[kDegree], int front, int rear);
    uint32_t Next();
    // In [-1, 1): bits 1..23 of the next word as the mantissa of [2, 4), minus 3.
    float NextSigned();

private:
    uint32_t state_[kDegree];
    int front_ = kSeparation, rear_ = 0;
};

struct ParticleEmitterDesc {
    int32_t group = 0;
    int32_t kind = 5;
    int32_t mode = 0;        // 0 continuous, 1 timed, 2 counted
    uint32_t durationOrCount = 0;  // ticks (mode 1) or particles (mode 2)
    float rate = 10.0f;      // particles per second
    Vec3 particleVelocity{0, 0, 0};  // units per second, as both velocities here
    Vec3 emitterVelocity{0, 0, 0};
    Colour colour1, colour2;
    bool addLight = false, flicker = false;
    Colour lightColour, lightSpecular;
    Vec3 lightPosition{0, 0, 0};
    bool spawner = false;
    uint8_t userByte = 0;
    float scale1 = 1.0f, scale2 = 1.0f;
    float spin = 0.0f;       // 4096ths of a turn per second
    uint32_t life = 0;       // ticks; 0: the group's lifetime and spread
};

struct Particle {
    Vec3 position, velocity;
    int32_t group = 0;
    uint32_t life = 0;       // remaining, ticks
    float alphaDecrease = 0; // per tick
    uint32_t drawWord = 0;
    float angle = 0, spin = 0;  // 4096ths of a turn; spin per tick
    Particle* next = nullptr;

    // Advances by `elapsed` ticks; true when it died (its time ran out or it
    // fell below the particle floor).
    bool Update(uint32_t elapsed);
};

class ParticleEmitter;

struct ParticleGroup {
    static constexpr int kCount = 13;
    float screenSizeX = 0, screenSizeY = 0;
    float texLeft = 0, texTop = 0, texRight = 0, texBottom = 0;
    RenderMaterial* material = nullptr;
    uint32_t drawMode = 0;
    int32_t index = 0;
    ParticleEmitter* emitters = nullptr;
    Vec3 turbulencePerTick{0, 0, 0};
    Vec3 accelerationPerTick{0, 0, 0}, halfAccelerationPerTick{0, 0, 0};
    Vec3 emitterAccelerationPerTick{0, 0, 0};
    float startAlpha = 0;
    float sizeX = 0, sizeY = 0;
    bool sameMaterialAsPrevious = false;
    Vec3 turbulence{0, 0, 0}, acceleration{0, 0, 0};
    float streakLength = 0, windResponse = 0;
    Vec3 randomVelocity{0, 0, 0}, childRandomVelocity{0, 0, 0}, emitterAcceleration{0, 0, 0};
    int32_t lifetime = 0, lifetimeSpread = 0;  // 16.16 seconds
    float lifetimeSeconds = 0;

    // Table values of group `index`, and what derives from them at
    // `secondsPerTick`. The material is made separately (it needs a device).
    void Setup(int groupIndex, float secondsPerTick);
};

class ParticleEmitter {
public:
    static constexpr uint32_t kDyingFlag = 4;
    // Set and cleared by the emitter's owner (a corona not yet placed, the
    // emitter of a calm creature); the system only keeps it.
    static constexpr uint32_t kOwnerMark = 2;
    enum Mode : int32_t { Continuous = 0, Timed = 1, Counted = 2, Dying = 3 };

    ParticleEmitter(const ParticleEmitterDesc& desc, const Vec3& position);
    ~ParticleEmitter();
    ParticleEmitter(const ParticleEmitter&) = delete;
    ParticleEmitter& operator=(const ParticleEmitter&) = delete;

    void SetPosition(const Vec3& position);
    void Move(const Vec3& delta);
    // Emits no more; its particles run out and then it is freed.
    void Stop();
    // A world box the particles stay in: while `visibility` is at most
    // 0.99609375 the box is tested against the view before drawing, and an
    // emitter whose box cannot be seen is hidden.
    void SetBounds(const Vec3& minimum, const Vec3& maximum, float visibility);
    bool Hidden() const { return hidden_; }
    // Kept from drawing (a corona whose object is out of sight); an emitter
    // with bounds decides again each frame.
    void SetHidden(bool hidden) { hidden_ = hidden; }
    void SetOwnerMark(bool on) { flags_ = on ? flags_ | kOwnerMark : flags_ & ~kOwnerMark; }
    // A held emitter makes no particles but lives on (the light of a lift
    // that rests only while the lift runs); its particles run out as usual.
    void SetHeld(bool held) { held_ = held; }
    bool Held() const { return held_; }
    // How much fog covers the emitter: 0 clear to 1 hidden; its particles
    // fade by it. Out-of-range values are clamped, a value that is not a
    // number hides.
    void SetFogFactor(float factor);
    float FogFactor() const { return fogFactor_; }
    // True when it has finished and may be freed.
    bool Update(uint32_t elapsed);

    int32_t Group() const { return group_; }
    int32_t Mode() const { return mode_; }
    uint32_t Flags() const { return flags_; }
    uint64_t Remaining() const { return remaining_; }
    uint32_t Period() const { return period_; }
    const Vec3& Position() const { return position_; }
    const Vec3& Velocity() const { return velocity_; }  // units per tick
    Light* PointLight() const { return light_; }
    bool Spawner() const { return spawner_; }
    const Colour& Colour1() const { return colour1_; }
    int32_t ParticleCount() const;
    Particle* Particles() const { return particles_; }
    ParticleEmitter* Next() const { return next_; }

private:
    friend class Particles;
    void StartDying();
    void RemoveLight();
    void MoveTo(const Vec3& position);
    void Spawn(uint32_t count);
    void Emit(uint32_t count, uint32_t elapsed);
    uint32_t NewParticleLife();

    int32_t group_ = 0, kind_ = 5;
    uint32_t flags_ = 0;
    Vec3 previous_{0, 0, 0}, position_{0, 0, 0};
    bool moved_ = false;
    int32_t mode_ = Continuous;
    uint64_t remaining_ = 0;
    uint64_t accumulator_ = 0;
    uint32_t period_ = 0;    // ticks between particles; 0 emits nothing
    float rate_ = 0;
    Colour colour1_, colour2_;
    Vec3 baseVelocity_{0, 0, 0}, randomVelocityPerTick_{0, 0, 0}, velocity_{0, 0, 0};
    uint32_t life_ = 0, lifeSpread_ = 0;
    float spinPerTick_ = 0;
    Particle* particles_ = nullptr;
    bool spawner_ = false, flicker_ = false, flickerPhase_ = false;
    bool hidden_ = false, held_ = false;
    uint8_t userByte_ = 0;
    float scale1_ = 1, scale2_ = 1;
    ParticleEmitterDesc desc_;  // what spawned children copy
    Light* light_ = nullptr;
    std::unique_ptr<BoundingBox> box_;
    float visibility_ = 1.0f;
    float fogFactor_ = 0.0f;
    ParticleEmitter* next_ = nullptr;
};

class Particles {
public:
    static constexpr int kPoolSize = 4096;
    static constexpr int kFullRateLimit = 2048;

    // Groups, pool and (with a device) the particle texture and materials.
    static void Startup();
    static void Shutdown();
    static bool Started();
    static void Reset();
    static void Update(uint32_t elapsed);
    static void Draw();
    static void RecompileMaterials();

    // Made and linked into its group; null when the group index is unknown.
    static ParticleEmitter* CreateEmitter(const ParticleEmitterDesc& desc, const Vec3& position);
    // Null when the position does not project onto the screen of `camera`;
    // without a camera the emitter is always made.
    static ParticleEmitter* CreateEmitterIfVisible(const ParticleEmitterDesc& desc, const Vec3& position,
                                                   Camera* camera);

    // 16.16: 1.0 up to 2048 live particles, falling to 0 at 4096.
    static int32_t ThrottleFor(int32_t live);
    static int32_t LiveCount();
    static int32_t FreeCount();
    static ParticleGroup& Group(int index);
    static int32_t EmitterCount(int group);

    // Timer ticks per second; start-up takes the game clock's rate.
    static void SetTickRate(int32_t ticksPerSecond);
    static int32_t TickRate();
    static Vec3& Wind();
    static float& FloorHeight();
    // Where snow and rain appear: a centre and half-extents.
    static Vec3& EmissionBoxCentre();
    static Vec3& EmissionBoxHalfExtent();
    static ParticleRandom& Random();
    static ReadWriteLock& Lock();
    // Time spent updating and drawing, processor-clock units (cycles >> 10).
    static int64_t& UpdateTime();
    static int64_t& DrawTime();
    // Group index of a console keyword, or -1.
    static int GroupByName(const char* name);

private:
    friend class ParticleEmitter;
    static Particle* TakeParticle();
    static void FreeParticle(Particle* particle);
    static void FreeEmitters(ParticleGroup& group);
};

// 64-bit tick count of a 16.16 number of seconds at `ticksPerSecond`,
// kept within 32 bits.
uint32_t FixedSecondsToTicks(int32_t seconds16, int32_t ticksPerSecond);
// Ticks between particles at `rate` per second: at least 1, or 0 (no
// emission) for a rate that is zero, negative or not a number.
uint32_t EmissionPeriod(int32_t ticksPerSecond, float rate);

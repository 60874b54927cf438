#include "Veapi/particles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <strings.h>

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/quad_batch.h"
#include "Veapi/screen_draw.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "app/clock.h"
#include "app/math_tables.h"
#include "platform/cpu.h"

namespace {

struct GroupPreset {
    const char* name;
    float left, top, right, bottom;
    uint32_t drawMode;
    float startAlpha, sizeX, sizeY;
    Vec3 turbulence, acceleration, emitterAcceleration, randomVelocity, childRandomVelocity;
    int32_t lifetime, spread;  // 16.16 seconds
    float streak, wind;
};

constexpr int32_t Fixed(double seconds) { return int32_t(seconds * 65536.0 + 0.5); }

const GroupPreset kPresets[ParticleGroup::kCount] = {
    {"smoke", 0.5596f, 0.6729f, 0.8096f, 0.9150f, 1, 128, 0.35f, 0.35f, {0.6f, -0.08f, 0.6f}, {0, 0, 0}, {0, 0, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(2.5), Fixed(0.5), 0, 0.6f},
    {"steam", 0.5596f, 0.6729f, 0.8096f, 0.9150f, 1, 128, 0.4f, 0.4f, {1, -0.2f, 1}, {0, -1, 0}, {0, 0, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(2), Fixed(0.5), 0, 1},
    {"snow", 0.0186f, 0.0381f, 0.0674f, 0.0850f, 1, 128, 0.2f, 0.2f, {0.5f, -1, 0.5f}, {0, 9, 0}, {0, 9.81f, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(15), 0, 0, 1},
    {"fire", 0.7705f, 0.9229f, 0.7764f, 0.9326f, 1, 255, 0.45f, 0.45f, {0.9f, -0.1f, 0.9f}, {0, -0.7f, 0},
     {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, Fixed(2), Fixed(0.5), 0, 0.1f},
    {"shot", 0.7803f, 0.9189f, 0.7803f, 0.9248f, 1, 255, 0.15f, 0.15f, {0.1f, -0.1f, 0.1f}, {0, 0, 0}, {0, 0, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(0.25), 0, 0, 0},
    {"explosion", 0.3213f, 0.3643f, 0.2822f, 0.3232f, 2, 255, 0.35f, 0.35f, {0.1f, -0.08f, 0.1f}, {0, 0.7f, 0},
     {0, 9.81f, 0}, {0, 0, 0}, {4, -4, 4}, Fixed(1.5), Fixed(0.5), 0, 0},
    {"bigexplosion", 0.3975f, 0.5400f, 0.0635f, 0.2080f, 1, 255, 2, 2, {1, -1, 1}, {0, 0, 0}, {0, 0, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(0.5), 0, 0, 0},
    {nullptr, 0.5889f, 0.6709f, 0.6338f, 0.7178f, 0, 255, 0.75f, 0.75f, {0, 0, 0}, {0, 0, 0}, {0, 0, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(1), 0, 0, 0},
    {nullptr, 0.5889f, 0.6709f, 0.6338f, 0.7178f, 1, 255, 0.75f, 0.75f, {0, 0, 0}, {0, 0, 0}, {0, 0, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(0.3), 0, 0, 0},
    {"trail", 0.2373f, 0.2822f, 0.0225f, 0.4346f, 1, 255, 0.2f, 0.2f, {0, 0, 0}, {0, 0, 0}, {0, 6, 0}, {0, 0, 0},
     {6, -8, 6}, Fixed(1.5), Fixed(0.2), 0, 0},
    {nullptr, 0.0596f, 0.0791f, 0.0010f, 0.7256f, 1, 255, 0.2f, 0.2f, {0, 0, 0}, {0, 0, 0}, {0, 6, 0},
     {0, 0, 0}, {6, -8, 6}, Fixed(1.2), Fixed(0.1), 0, 0},
    {"rain", 0.0010f, 0.0166f, 0.0674f, 0.0947f, 0, 0, 0, 1.5f, {0.1f, -0.1f, 0.1f}, {0, 30, 0}, {0, 9.81f, 0},
     {0, 0, 0}, {0, 0, 0}, Fixed(25), 0, 1.5f, 1},
    {"sparks", 0.0010f, 0.0166f, 0.0674f, 0.0947f, 0, 0, 1.5f, 1.5f, {0, 0, 0}, {0, 9.81f, 0}, {0, 9.81f, 0},
     {3, -3, 3}, {3, -3, 3}, Fixed(10), Fixed(0.2), 0.1f, 0.2f},
};

constexpr const char* kParticleTexture = "bitmaps\\particles.rim";
constexpr int32_t kDefaultTickRate = 1000;

// The pool, free list, groups and emitter lists are guarded by `lock`
// (exclusive while updating, shared while drawing).
struct System {
    Particle pool[Particles::kPoolSize];
    Particle* freeList = nullptr;
    int32_t live = 0;
    int32_t throttle = 0x10000;
    ParticleGroup groups[ParticleGroup::kCount];
    bool groupsMade = false, started = false;
    bool updating = false;
    ParticleEmitter* pending = nullptr;  // made during an update, linked after it
    int32_t tickRate = kDefaultTickRate;
    Vec3 wind{0, 0, 0};
    float floor = 0.0f;
    Vec3 boxCentre{0, 0, 0}, boxHalf{0, 0, 0};
    float sparkFall = 0.0f;
    int64_t updateTime = 0, drawTime = 0;
    TextureEntry* texture = nullptr;
    // Made and freed with the system: nothing of it may outlive the
    // allocator at exit.
    std::unique_ptr<DynamicVertexBuffer> buffer;
    ReadWriteLock lock;
};

// The shell shuts particles down from an exit handler, after function
// statics made later are gone: the system outlives them all.
System& S()
{
    static auto* s = new System;
    return *s;
}

std::mutex& RandomGuard()
{
    static std::mutex m;
    return m;
}

float SecondsPerTick() { return 1.0f / float(std::max(S().tickRate, 1)); }

float R()
{
    std::lock_guard<std::mutex> guard(RandomGuard());
    return Particles::Random().NextSigned();
}

Vec3 RandomSpread(const Vec3& v)
{
    return {R() * R() * v.x, R() * R() * v.y, R() * R() * v.z};
}

bool IsZero(const Vec3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

void MakeMaterial(ParticleGroup& g)
{
    auto* m = new RenderMaterial;
    const bool additive = g.index >= 3 && g.index <= 10;
    const bool vertexColour = g.index >= 11;
    m->stageCount_ = 1;
    m->srcBlend_ = gfx::blend::SrcAlpha;
    m->destBlend_ = additive ? gfx::blend::One : gfx::blend::InvSrcAlpha;
    m->alphaBlend_ = 1;
    m->zWrite_ = 0;
    m->clipping_ = 0;
    m->lighting_ = 0;
    RenderMaterial::Stage& st = m->stages_[0];
    st.colourOp = st.alphaOp = vertexColour ? gfx::texop::SelectArg2 : gfx::texop::Modulate;
    st.colourArg1 = st.alphaArg1 = gfx::texarg::Texture;
    st.colourArg2 = st.alphaArg2 = vertexColour ? gfx::texarg::Diffuse : gfx::texarg::Current;
    st.magFilter = gfx::filter::MagLinear;
    st.minFilter = gfx::filter::MinLinear;
    st.mipFilter = gfx::filter::MipNone;
    st.texture = vertexColour ? Display::NullTexture() : S().texture;
    g.material = m;
}

bool SameMaterial(const RenderMaterial& a, const RenderMaterial& b)
{
    if (a.stageCount_ != b.stageCount_ || a.zWrite_ != b.zWrite_ || a.zEnable_ != b.zEnable_ ||
        a.alphaBlend_ != b.alphaBlend_ || a.alphaTest_ != b.alphaTest_ || a.srcBlend_ != b.srcBlend_ ||
        a.destBlend_ != b.destBlend_ || a.clipping_ != b.clipping_ || a.lighting_ != b.lighting_)
        return false;
    for (int i = 0; i < RenderMaterial::kMaxStages; ++i) {
        const RenderMaterial::Stage &x = a.stages_[i], &y = b.stages_[i];
        if (x.texture != y.texture || x.colourOp != y.colourOp || x.colourArg1 != y.colourArg1 ||
            x.colourArg2 != y.colourArg2 || x.alphaOp != y.alphaOp || x.alphaArg1 != y.alphaArg1 ||
            x.alphaArg2 != y.alphaArg2 || x.minFilter != y.minFilter || x.magFilter != y.magFilter ||
            x.mipFilter != y.mipFilter)
            return false;
    }
    return true;
}

} // namespace

// ---- Random numbers ----------------------------------------------------------------

ParticleRandom::ParticleRandom()
{
    // The classic seeding of the additive generator (seed 1), then the
    // first 310 words thrown away so the state is well mixed.
    int32_t word = 1;
    state_[0] = 1;
    for (int i = 1; i < kDegree; ++i) {
        const int32_t hi = word / 127773, lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        state_[i] = uint32_t(word);
    }
    for (int i = 0; i < 10 * kDegree; ++i)
        Next();
}

ParticleRandom::ParticleRandom(const uint32_t (&state)[kDegree], int front, int rear)
    : front_(((front % kDegree) + kDegree) % kDegree), rear_(((rear % kDegree) + kDegree) % kDegree)
{
    std::copy(state, state + kDegree, state_);
}

uint32_t ParticleRandom::Next()
{
    const uint32_t word = state_[front_] += state_[rear_];
    front_ = front_ + 1 == kDegree ? 0 : front_ + 1;
    rear_ = rear_ + 1 == kDegree ? 0 : rear_ + 1;
    return word;
}

float ParticleRandom::NextSigned()
{
    const uint32_t mantissa = (Next() >> 1) & 0x7FFFFF;
    return std::bit_cast<float>(0x40000000u | mantissa) - 3.0f;
}

// ---- Conversions -----------------------------------------------------------------

uint32_t FixedSecondsToTicks(int32_t seconds16, int32_t ticksPerSecond)
{
    if (seconds16 <= 0 || ticksPerSecond <= 0)
        return 0;
    const uint64_t ticks = (uint64_t(seconds16) * uint64_t(ticksPerSecond) + 0x8000) >> 16;
    return uint32_t(std::min<uint64_t>(ticks, 0xFFFFFFFFu));
}

uint32_t EmissionPeriod(int32_t ticksPerSecond, float rate)
{
    if (!(rate > 0.0f) || ticksPerSecond <= 0)
        return 0;
    const double period = std::round(double(ticksPerSecond) / double(rate));
    if (period >= 4294967295.0)
        return 0xFFFFFFFFu;
    return std::max<uint32_t>(uint32_t(period), 1u);
}

// ---- Particles -------------------------------------------------------------------

bool Particle::Update(uint32_t elapsed)
{
    System& s = S();
    if (elapsed >= life || position.y > s.floor) {
        --s.live;
        return true;
    }
    const ParticleGroup& g = s.groups[group];
    life -= elapsed;
    const float root = FastSqrt(float(elapsed));
    const float t = float(elapsed);
    position.x += R() * R() * g.turbulencePerTick.x * root;
    position.y += R() * R() * g.turbulencePerTick.y * root;
    position.z += R() * R() * g.turbulencePerTick.z * root;
    position += (velocity + g.halfAccelerationPerTick * t) * t;
    velocity += g.accelerationPerTick * t;
    velocity += s.wind * (g.windResponse * t);
    angle += spin * t;
    return false;
}

void ParticleGroup::Setup(int groupIndex, float secondsPerTick)
{
    const GroupPreset& p = kPresets[groupIndex];
    *this = ParticleGroup{};
    index = groupIndex;
    texLeft = p.left, texTop = p.top, texRight = p.right, texBottom = p.bottom;
    drawMode = p.drawMode;
    startAlpha = p.startAlpha;
    sizeX = p.sizeX, sizeY = p.sizeY;
    turbulence = p.turbulence;
    acceleration = p.acceleration;
    streakLength = p.streak;
    windResponse = p.wind;
    randomVelocity = p.randomVelocity;
    lifetime = p.lifetime;
    lifetimeSpread = p.spread;
    childRandomVelocity = p.childRandomVelocity;
    emitterAcceleration = p.emitterAcceleration;
    lifetimeSeconds = float(p.lifetime) / 65536.0f;
    // Displacement by turbulence grows with the square root of time, motion
    // under acceleration with its square.
    turbulencePerTick = turbulence * std::sqrt(secondsPerTick);
    const float tick2 = secondsPerTick * secondsPerTick;
    accelerationPerTick = acceleration * tick2;
    halfAccelerationPerTick = accelerationPerTick * 0.5f;
    emitterAccelerationPerTick = emitterAcceleration * tick2;
}

// ---- Emitters --------------------------------------------------------------------

ParticleEmitter::ParticleEmitter(const ParticleEmitterDesc& desc, const Vec3& position)
    : group_(desc.group), kind_(desc.kind), previous_(position), position_(position), mode_(desc.mode),
      remaining_(desc.durationOrCount), rate_(desc.rate), spawner_(desc.spawner), flicker_(desc.flicker), userByte_(desc.userByte),
      scale1_(desc.scale1), scale2_(desc.scale2), desc_(desc)
{
    colour1_.Set(1, 1, 1, 1);
    colour2_.Set(1, 1, 1, 1);
    const ParticleGroup& g = S().groups[group_];
    const int32_t tps = S().tickRate;
    // Callers give velocities in units per second, as the group's own
    // random velocity is; particles and emitters move per tick.
    baseVelocity_ = desc.particleVelocity * SecondsPerTick();
    velocity_ = desc.emitterVelocity * SecondsPerTick();
    randomVelocityPerTick_ = g.randomVelocity * SecondsPerTick();
    period_ = EmissionPeriod(tps, rate_);
    if (desc.life != 0) {
        life_ = desc.life;
        lifeSpread_ = 0;
    } else {
        life_ = FixedSecondsToTicks(g.lifetime, tps);
        lifeSpread_ = FixedSecondsToTicks(g.lifetimeSpread, tps);
    }
    spinPerTick_ = desc.spin * SecondsPerTick();
    if (mode_ < Continuous || mode_ > Counted)
        mode_ = Continuous;
    if (desc.addLight)
        if (LightSet* set = LightSet::Global(0))
            light_ = set->AddPointLight(desc.lightColour, desc.lightSpecular, desc.lightPosition, 5.5f);
}

ParticleEmitter::~ParticleEmitter()
{
    RemoveLight();
    while (Particle* p = particles_) {
        particles_ = p->next;
        --S().live;
        Particles::FreeParticle(p);
    }
}

void ParticleEmitter::RemoveLight()
{
    if (!light_)
        return;
    if (LightSet* set = LightSet::Global(0))
        set->RemoveLight(light_);
    light_ = nullptr;
}

void ParticleEmitter::MoveTo(const Vec3& position)
{
    if (!moved_) {
        previous_ = position_;
        moved_ = true;
    }
    position_ = position;
    if (light_)
        light_->SetPosition(position);
}

void ParticleEmitter::SetPosition(const Vec3& position) { MoveTo(position); }

void ParticleEmitter::SetFogFactor(float factor)
{
    fogFactor_ = std::isnan(factor) ? 1.0f : std::clamp(factor, 0.0f, 1.0f);
}

void ParticleEmitter::SetBounds(const Vec3& minimum, const Vec3& maximum, float visibility)
{
    box_ = std::make_unique<BoundingBox>(minimum.x, minimum.y, minimum.z, maximum.x, maximum.y, maximum.z);
    visibility_ = visibility;
    hidden_ = false;
}
void ParticleEmitter::Move(const Vec3& delta) { MoveTo(position_ + delta); }

void ParticleEmitter::StartDying()
{
    mode_ = Dying;
    flags_ |= kDyingFlag;
    const ParticleGroup& g = S().groups[group_];
    const int64_t total = int64_t(g.lifetime) + g.lifetimeSpread;
    remaining_ = FixedSecondsToTicks(int32_t(std::min<int64_t>(total, INT32_MAX)), S().tickRate);
    accumulator_ = 0;
    RemoveLight();
}

void ParticleEmitter::Stop()
{
    if (mode_ != Dying)
        StartDying();
}

int32_t ParticleEmitter::ParticleCount() const
{
    int32_t n = 0;
    for (const Particle* p = particles_; p; p = p->next)
        ++n;
    return n;
}

uint32_t ParticleEmitter::NewParticleLife()
{
    // Spread evenly over [life, life + spread]; never 0, which would leave
    // the fade rate undefined.
    const float share = std::abs(R());
    const uint64_t life = uint64_t(life_) + uint64_t(float(lifeSpread_) * share);
    return uint32_t(std::clamp<uint64_t>(life, 1, 0xFFFFFFFFu));
}

void ParticleEmitter::Spawn(uint32_t count)
{
    const ParticleGroup& g = S().groups[group_];
    const uint32_t lifeTicks = FixedSecondsToTicks(g.lifetime, S().tickRate);
    for (uint32_t i = 0; i < count; ++i) {
        ParticleEmitterDesc child = desc_;
        child.mode = Timed;
        child.durationOrCount = uint32_t(float(lifeTicks) * std::abs(R()));
        child.spawner = false;
        // In units per second: the child's constructor converts it.
        child.emitterVelocity = desc_.particleVelocity + RandomSpread(g.childRandomVelocity);
        child.emitterVelocity.y = -std::abs(child.emitterVelocity.y);
        ParticleEmitter* e = Particles::CreateEmitterIfVisible(child, position_, Camera::Current());
        if (e) {
            e->colour1_ = colour1_;
            e->colour2_ = colour2_;
        }
    }
}

void ParticleEmitter::Emit(uint32_t count, uint32_t elapsed)
{
    const ParticleGroup& g = S().groups[group_];
    const bool weather = group_ == 2 || group_ == 11;
    for (uint32_t k = 1; k <= count; ++k) {
        Particle* p = Particles::TakeParticle();
        if (!p)
            break;
        ++S().live;
        p->group = group_;
        p->velocity = baseVelocity_ + RandomSpread(randomVelocityPerTick_);
        if (weather) {
            const Vec3& c = S().boxCentre;
            const Vec3& h = S().boxHalf;
            p->position = {c.x + R() * h.x, c.y + R() * h.y, c.z + R() * h.z};
        } else if (moved_) {
            const float f = float(k) / float(count);
            p->position = previous_ + (position_ - previous_) * f;
        } else {
            p->position = position_;
        }
        p->life = NewParticleLife();
        p->alphaDecrease = g.startAlpha / float(p->life);
        p->angle = R() * 4095.0f;
        p->spin = std::abs(R() * spinPerTick_);
        p->drawWord = 0;
        p->next = particles_;
        particles_ = p;
        // Particles made during this update are aged by when they appeared.
        const uint64_t age = uint64_t(k) * period_;
        if (age < elapsed && p->Update(uint32_t(elapsed - age))) {
            particles_ = p->next;
            Particles::FreeParticle(p);
        }
    }
    moved_ = false;
}

bool ParticleEmitter::Update(uint32_t elapsed)
{
    System& s = S();
    // Particles keep moving while the emitter dies, so they fade out in
    // place instead of vanishing when it stops.
    for (Particle** link = &particles_; *link;) {
        Particle* p = *link;
        if (p->Update(elapsed)) {
            *link = p->next;
            Particles::FreeParticle(p);
        } else {
            link = &p->next;
        }
    }
    const uint64_t t = accumulator_ + elapsed;
    uint64_t n = 0;
    if (period_ != 0 && mode_ != Dying && !held_) {
        const uint64_t due = t / period_;
        n = (uint64_t(s.throttle) * due + 0x8000) >> 16;
        // Throttled emission is owed, not lost, but never more than a pool's worth.
        accumulator_ = std::min<uint64_t>(t - std::min(t, uint64_t(period_) * n), uint64_t(period_) * Particles::kPoolSize);
    }
    switch (mode_) {
    case Timed:
        if (remaining_ <= t)
            StartDying();
        else
            remaining_ -= t;
        break;
    case Counted:
        if (remaining_ <= n) {
            n = remaining_;
            StartDying();
        } else {
            remaining_ -= n;
        }
        break;
    case Dying:
        if (remaining_ <= t)
            return true;
        remaining_ -= t;
        return false;
    default:
        break;
    }
    if (mode_ != Dying && light_ && flicker_) {
        flickerPhase_ = !flickerPhase_;
        light_->Description().diffuse = {flickerPhase_ ? colour2_.red : colour1_.red,
                                         flickerPhase_ ? colour2_.green : colour1_.green,
                                         flickerPhase_ ? colour2_.blue : colour1_.blue,
                                         flickerPhase_ ? colour2_.alpha : colour1_.alpha};
        LightSet::LightsChanged();
    }
    if (spawner_) {
        Spawn(uint32_t(std::min<uint64_t>(n, Particles::kPoolSize)));
        return false;
    }
    if (!IsZero(velocity_)) {
        const ParticleGroup& g = s.groups[group_];
        MoveTo(position_ + velocity_ * float(elapsed));
        velocity_ += g.emitterAccelerationPerTick * float(elapsed);
        if (position_.y > s.floor) {
            if (mode_ == Timed || mode_ == Counted)
                StartDying();
            n = 0;
        }
    }
    Emit(uint32_t(std::min<uint64_t>(n, Particles::kPoolSize)), elapsed);
    return false;
}

// ---- The system ------------------------------------------------------------------

Particle* Particles::TakeParticle()
{
    System& s = S();
    Particle* p = s.freeList;
    if (p)
        s.freeList = p->next;
    return p;
}

void Particles::FreeParticle(Particle* particle)
{
    System& s = S();
    particle->next = s.freeList;
    s.freeList = particle;
}

void Particles::FreeEmitters(ParticleGroup& group)
{
    while (ParticleEmitter* e = group.emitters) {
        group.emitters = e->next_;
        delete e;
    }
}

void Particles::SetTickRate(int32_t ticksPerSecond)
{
    S().tickRate = ticksPerSecond > 0 ? ticksPerSecond : kDefaultTickRate;
    if (S().groupsMade)
        for (ParticleGroup& g : S().groups) {
            RenderMaterial* m = g.material;
            const bool same = g.sameMaterialAsPrevious;
            ParticleEmitter* list = g.emitters;
            const float sx = g.screenSizeX, sy = g.screenSizeY;
            g.Setup(g.index, SecondsPerTick());
            g.material = m, g.sameMaterialAsPrevious = same, g.emitters = list;
            g.screenSizeX = sx, g.screenSizeY = sy;
        }
}

int32_t Particles::TickRate() { return S().tickRate; }

void Particles::Startup()
{
    System& s = S();
    if (s.started)
        return;
    if (Clock::GlobalTicksPerSecondInt() > 0)
        s.tickRate = Clock::GlobalTicksPerSecondInt();
    const bool device = Display::Device() != nullptr;
    if (device) {
        s.texture = TextureManager::Find(kParticleTexture);
        TextureManager::LoadPending();
    }
    for (int i = 0; i < ParticleGroup::kCount; ++i) {
        ParticleGroup& g = s.groups[i];
        g.Setup(i, SecondsPerTick());
        if (device) {
            MakeMaterial(g);
            g.material->Compile();
        }
        g.sameMaterialAsPrevious =
            i == 0 || !g.material || !s.groups[i - 1].material || !SameMaterial(*g.material, *s.groups[i - 1].material);
    }
    s.groupsMade = true;
    if (device) {
        s.buffer = std::make_unique<DynamicVertexBuffer>();
        s.buffer->Create();
    }
    Reset();
    s.started = true;
    s.sparkFall = 0.6f * SecondsPerTick() * SecondsPerTick();
}

void Particles::Shutdown()
{
    System& s = S();
    if (!s.started)
        return;
    LockGuard guard(s.lock, true);
    if (s.texture)
        s.texture->Unuse();
    s.texture = nullptr;
    for (ParticleGroup& g : s.groups) {
        FreeEmitters(g);
        if (g.material)
            g.material->Release();
        g.material = nullptr;
    }
    s.buffer.reset();
    s.groupsMade = false;
    s.started = false;
}

bool Particles::Started() { return S().started; }

void Particles::Reset()
{
    System& s = S();
    for (ParticleGroup& g : s.groups) {
        FreeEmitters(g);
        g.screenSizeX = float(Display::Width()) * g.sizeX / 32.0f;
        g.screenSizeY = float(Display::Height()) * g.sizeY / 24.0f;
    }
    for (int i = 0; i < kPoolSize; ++i)
        s.pool[i].next = i + 1 < kPoolSize ? &s.pool[i + 1] : nullptr;
    s.freeList = &s.pool[0];
    s.live = 0;
}

int32_t Particles::ThrottleFor(int32_t live)
{
    if (live <= kFullRateLimit)
        return 0x10000;
    return std::max(kPoolSize - live, 0) * 32;
}

void Particles::Update(uint32_t elapsed)
{
    System& s = S();
    if (!s.groupsMade)
        return;
    const uint64_t start = platform::ReadCycleCounter();
    LockGuard guard(s.lock, true);
    s.throttle = ThrottleFor(s.live);
    s.updating = true;
    for (int i = ParticleGroup::kCount - 1; i >= 0; --i) {
        for (ParticleEmitter** link = &s.groups[i].emitters; *link;) {
            ParticleEmitter* e = *link;
            if (e->Update(elapsed)) {
                *link = e->next_;
                delete e;
            } else {
                link = &e->next_;
            }
        }
    }
    s.updating = false;
    while (ParticleEmitter* e = s.pending) {
        s.pending = e->next_;
        e->next_ = s.groups[e->group_].emitters;
        s.groups[e->group_].emitters = e;
    }
    s.updateTime += int64_t((platform::ReadCycleCounter() - start) >> 10);
}

ParticleEmitter* Particles::CreateEmitter(const ParticleEmitterDesc& desc, const Vec3& position)
{
    System& s = S();
    if (!s.groupsMade || desc.group < 0 || desc.group >= ParticleGroup::kCount)
        return nullptr;
    auto* e = new ParticleEmitter(desc, position);
    // An emitter made while the lists are walked joins them afterwards.
    if (s.updating) {
        e->next_ = s.pending;
        s.pending = e;
    } else {
        e->next_ = s.groups[desc.group].emitters;
        s.groups[desc.group].emitters = e;
    }
    return e;
}

ParticleEmitter* Particles::CreateEmitterIfVisible(const ParticleEmitterDesc& desc, const Vec3& position,
                                                   Camera* camera)
{
    if (camera) {
        Vec3 screen;
        if (!camera->Project(position, screen))
            return nullptr;
        const gfx::Viewport& vp = camera->DeviceViewport();
        if (!(screen.x >= 0.0f && screen.x < float(Display::Width()) && screen.y >= 0.0f &&
              screen.y < float(Display::Height()) && screen.z >= vp.minZ && screen.z <= vp.maxZ))
            return nullptr;
    }
    return CreateEmitter(desc, position);
}

int32_t Particles::LiveCount() { return S().live; }

int32_t Particles::FreeCount()
{
    int32_t n = 0;
    for (const Particle* p = S().freeList; p; p = p->next)
        ++n;
    return n;
}

ParticleGroup& Particles::Group(int index) { return S().groups[std::clamp(index, 0, ParticleGroup::kCount - 1)]; }

int32_t Particles::EmitterCount(int group)
{
    int32_t n = 0;
    for (const ParticleEmitter* e = Group(group).emitters; e; e = e->next_)
        ++n;
    return n;
}

Vec3& Particles::Wind() { return S().wind; }
float& Particles::FloorHeight() { return S().floor; }
Vec3& Particles::EmissionBoxCentre() { return S().boxCentre; }
Vec3& Particles::EmissionBoxHalfExtent() { return S().boxHalf; }
ReadWriteLock& Particles::Lock() { return S().lock; }
int64_t& Particles::UpdateTime() { return S().updateTime; }
int64_t& Particles::DrawTime() { return S().drawTime; }

ParticleRandom& Particles::Random()
{
    static ParticleRandom random;
    return random;
}

int Particles::GroupByName(const char* name)
{
    if (!name)
        return -1;
    for (int i = 0; i < ParticleGroup::kCount; ++i)
        if (kPresets[i].name && strcasecmp(kPresets[i].name, name) == 0)
            return i;
    return -1;
}

void Particles::RecompileMaterials()
{
    for (ParticleGroup& g : S().groups)
        if (g.material)
            g.material->Compile();
}

// ---- Drawing ---------------------------------------------------------------------

namespace {

// Screen position of a world point through `camera`; false when it lies
// behind the eye or outside the depth range.
bool ToScreen(const Camera& camera, const Vec3& p, ScreenVertex& v)
{
    float c[4];
    TransformPoint4(camera.Combined(), p, c);
    if (!(c[3] > 0.0f))
        return false;
    v.rhw = 1.0f / c[3];
    v.x = camera.CentreX() + c[0] * v.rhw * camera.HalfWidth();
    v.y = camera.CentreY() - c[1] * v.rhw * camera.HalfHeight();
    const gfx::Viewport& vp = camera.DeviceViewport();
    v.z = vp.minZ + c[2] * v.rhw * (vp.maxZ - vp.minZ);
    v.specular = 0;
    return v.z >= vp.minZ && v.z <= vp.maxZ;
}

uint32_t FadedColour(const Particle& p, const ParticleEmitter& e)
{
    const Colour& colour = e.Colour1();
    const float alpha = float(p.life) * p.alphaDecrease * colour.alpha * (1.0f - e.FogFactor());
    const uint32_t a = uint32_t(std::clamp(alpha, 0.0f, 255.0f));
    return (colour.Packed() & 0x00FFFFFFu) | a << 24;
}

void DrawSprites(QuadBatch& batch, const Camera& camera, const ParticleGroup& g, const ParticleEmitter& e,
                 float pixelsPerUnit)
{
    for (const Particle* p = e.Particles(); p; p = p->next) {
        ScreenVertex centre;
        if (!ToScreen(camera, p->position, centre))
            continue;
        const float hx = g.sizeX * 0.5f * pixelsPerUnit * centre.rhw;
        const float hy = g.sizeY * 0.5f * pixelsPerUnit * centre.rhw;
        const int32_t angle = int32_t(p->angle);
        const float c = CosineOf(angle), s = SineOf(angle);
        const float dx[4] = {-hx, hx, hx, -hx}, dy[4] = {-hy, -hy, hy, hy};
        const float u[4] = {g.texLeft, g.texRight, g.texRight, g.texLeft};
        const float v[4] = {g.texTop, g.texTop, g.texBottom, g.texBottom};
        const uint32_t colour = FadedColour(*p, e);
        ScreenVertex q[4];
        for (int i = 0; i < 4; ++i) {
            q[i] = centre;
            q[i].x = centre.x + dx[i] * c - dy[i] * s;
            q[i].y = centre.y + dx[i] * s + dy[i] * c;
            q[i].diffuse = colour;
            q[i].u = u[i];
            q[i].v = v[i];
        }
        batch.AddQuad(q);
    }
}

// Consecutive particles joined by a band as wide as the group's size.
void DrawRibbon(QuadBatch& batch, const Camera& camera, const ParticleGroup& g, const ParticleEmitter& e,
                float pixelsPerUnit)
{
    const Particle* a = e.Particles();
    if (!a)
        return;
    ScreenVertex sa;
    bool haveA = ToScreen(camera, a->position, sa);
    for (const Particle* b = a->next; b; a = b, b = b->next) {
        ScreenVertex sb;
        const bool haveB = ToScreen(camera, b->position, sb);
        if (haveA && haveB) {
            const float dx = sb.x - sa.x, dy = sb.y - sa.y;
            const float length = std::sqrt(dx * dx + dy * dy);
            if (length > 0.0f) {
                const float wa = g.sizeX * 0.5f * pixelsPerUnit * sa.rhw / length;
                const float wb = g.sizeX * 0.5f * pixelsPerUnit * sb.rhw / length;
                // Corners in the same turning order as a sprite's, which the
                // device does not cull.
                ScreenVertex q[4] = {sa, sb, sb, sa};
                q[0].x += dy * wa, q[0].y -= dx * wa;
                q[1].x += dy * wb, q[1].y -= dx * wb;
                q[2].x -= dy * wb, q[2].y += dx * wb;
                q[3].x -= dy * wa, q[3].y += dx * wa;
                const uint32_t ca = FadedColour(*a, e), cb = FadedColour(*b, e);
                const float u[4] = {g.texLeft, g.texRight, g.texRight, g.texLeft};
                const float v[4] = {g.texTop, g.texTop, g.texBottom, g.texBottom};
                for (int i = 0; i < 4; ++i) {
                    q[i].diffuse = i == 0 || i == 3 ? ca : cb;
                    q[i].u = u[i];
                    q[i].v = v[i];
                }
                batch.AddQuad(q);
            }
        }
        sa = sb;
        haveA = haveB;
    }
}

void DrawStreaks(QuadBatch& batch, const Camera& camera, const ParticleGroup& g, const ParticleEmitter& e,
                 int& points)
{
    const Colour& own = e.Colour1();
    Colour faded;
    faded.Set(own.red, own.green, own.blue, own.alpha * (1.0f - e.FogFactor()));
    const uint32_t colour = e.FogFactor() > 0.0f ? faded.Packed() : own.Packed();
    for (const Particle* p = e.Particles(); p && points < Particles::kPoolSize - 1; p = p->next) {
        ScreenVertex from, to;
        const Vec3 end = p->position + p->velocity.Normalised() * g.streakLength;
        if (!ToScreen(camera, p->position, from) || !ToScreen(camera, end, to))
            continue;
        from.diffuse = to.diffuse = colour;
        from.u = from.v = to.u = to.v = 0.5f;
        batch.AddLine(from, to);
        ++points;
    }
}

} // namespace

void Particles::Draw()
{
    System& s = S();
    Camera* camera = Camera::Current();
    if (!s.started || !camera || !s.buffer || !s.buffer->Valid() || s.live == 0)
        return;
    const uint64_t start = platform::ReadCycleCounter();
    LockGuard guard(s.lock, false);
    camera->Update();
    const float pixelsPerUnit = std::abs(camera->Projection()(0, 0)) * camera->HalfWidth();
    QuadBatch batch(*s.buffer);
    int streakPoints = 0;
    for (int i = 0; i < ParticleGroup::kCount; ++i) {
        const ParticleGroup& g = s.groups[i];
        for (ParticleEmitter* e = g.emitters; e; e = e->next_) {
            if (!e->Particles())
                continue;
            if (i <= 8 && e->box_ && e->visibility_ <= 0.99609375f)
                e->hidden_ = e->box_->ClipFlags() != 0;
            if (e->hidden_ || e->fogFactor_ >= 1.0f)
                continue;
            batch.SetMaterial(g.material);
            if (i <= 8)
                DrawSprites(batch, *camera, g, *e, pixelsPerUnit);
            else if (i <= 10)
                DrawRibbon(batch, *camera, g, *e, pixelsPerUnit);
            else
                DrawStreaks(batch, *camera, g, *e, streakPoints);
        }
    }
    batch.Flush();
    s.drawTime += int64_t((platform::ReadCycleCounter() - start) >> 10);
}

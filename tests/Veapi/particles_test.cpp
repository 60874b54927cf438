#include "Veapi/particles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Veapi/light_set.h"

namespace {

TEST(ParticleRandom, MatchesTheSystemAdditiveGenerator)
{
    // glibc's random_r with a 128-byte state is the same degree-31,
    // separation-3 additive generator; start both from its seeded state.
    static char buffer[128];
    random_data data;
    std::memset(&data, 0, sizeof data);
    ASSERT_EQ(initstate_r(12345u, buffer, sizeof buffer, &data), 0);
    uint32_t state[ParticleRandom::kDegree];
    for (int i = 0; i < ParticleRandom::kDegree; ++i)
        state[i] = uint32_t(data.state[i]);
    ParticleRandom ours(state, int(data.fptr - data.state), int(data.rptr - data.state));
    for (int i = 0; i < 100000; ++i) {
        int32_t expected = 0;
        ASSERT_EQ(random_r(&data, &expected), 0);
        ASSERT_EQ(int32_t(ours.Next() >> 1), expected) << "draw " << i;
    }
}

TEST(ParticleRandom, SignedFloatsStayInMinusOneToOne)
{
    ParticleRandom r;
    float low = 1, high = -1;
    for (int i = 0; i < 20000; ++i) {
        const float f = r.NextSigned();
        ASSERT_GE(f, -1.0f);
        ASSERT_LT(f, 1.0f);
        low = std::min(low, f);
        high = std::max(high, f);
    }
    EXPECT_LT(low, -0.99f);
    EXPECT_GT(high, 0.99f);
}

class ParticleSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Particles::SetTickRate(1000);  // one tick a millisecond
        Particles::Startup();
        Particles::FloorHeight() = 1000.0f;
        Particles::Wind() = {0, 0, 0};
    }
    void TearDown() override
    {
        Particles::Shutdown();
        Particles::FloorHeight() = 0.0f;
    }
    static ParticleEmitterDesc Desc(int group, int mode, uint32_t amount, float rate)
    {
        ParticleEmitterDesc d;
        d.group = group;
        d.mode = mode;
        d.durationOrCount = amount;
        d.rate = rate;
        return d;
    }
};

TEST_F(ParticleSystemTest, GroupPresetsHoldTheirTableValues)
{
    struct Row {
        int group;
        const char* name;
        uint32_t drawMode;
        float startAlpha, sizeX, sizeY;
        int32_t lifetime, spread;
        float streak, wind;
        float accelerationY, childY;
    } rows[] = {
        {0, "smoke", 1, 128, 0.35f, 0.35f, 0x28000, 0x8000, 0, 0.6f, 0, 0},
        {1, "steam", 1, 128, 0.4f, 0.4f, 0x20000, 0x8000, 0, 1, -1, 0},
        {2, "snow", 1, 128, 0.2f, 0.2f, 15 << 16, 0, 0, 1, 9, 0},
        {3, "fire", 1, 255, 0.45f, 0.45f, 0x20000, 0x8000, 0, 0.1f, -0.7f, 0},
        {4, "shot", 1, 255, 0.15f, 0.15f, 0x4000, 0, 0, 0, 0, 0},
        {5, "explosion", 2, 255, 0.35f, 0.35f, 0x18000, 0x8000, 0, 0, 0.7f, -4},
        {6, "bigexplosion", 1, 255, 2, 2, 0x8000, 0, 0, 0, 0, 0},
        {7, nullptr, 0, 255, 0.75f, 0.75f, 0x10000, 0, 0, 0, 0, 0},
        {8, nullptr, 1, 255, 0.75f, 0.75f, 0x4CCD, 0, 0, 0, 0, 0},
        {9, "trail", 1, 255, 0.2f, 0.2f, 0x18000, 0x3333, 0, 0, 0, -8},
        {10, nullptr, 1, 255, 0.2f, 0.2f, 0x13333, 0x199A, 0, 0, 0, -8},
        {11, "rain", 0, 0, 0, 1.5f, 25 << 16, 0, 1.5f, 1, 30, 0},
        {12, "sparks", 0, 0, 1.5f, 1.5f, 10 << 16, 0x3333, 0.1f, 0.2f, 9.81f, -3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.group);
        const ParticleGroup& g = Particles::Group(r.group);
        EXPECT_EQ(g.index, r.group);
        EXPECT_EQ(g.drawMode, r.drawMode);
        EXPECT_FLOAT_EQ(g.startAlpha, r.startAlpha);
        EXPECT_FLOAT_EQ(g.sizeX, r.sizeX);
        EXPECT_FLOAT_EQ(g.sizeY, r.sizeY);
        EXPECT_EQ(g.lifetime, r.lifetime);
        EXPECT_EQ(g.lifetimeSpread, r.spread);
        EXPECT_FLOAT_EQ(g.lifetimeSeconds, float(r.lifetime) / 65536.0f);
        EXPECT_FLOAT_EQ(g.streakLength, r.streak);
        EXPECT_FLOAT_EQ(g.windResponse, r.wind);
        EXPECT_FLOAT_EQ(g.acceleration.y, r.accelerationY);
        EXPECT_FLOAT_EQ(g.childRandomVelocity.y, r.childY);
        // Per-tick motion at a millisecond tick: a x dt^2.
        EXPECT_FLOAT_EQ(g.accelerationPerTick.y, r.accelerationY * 1e-6f);
        if (r.name) {
            EXPECT_EQ(Particles::GroupByName(r.name), r.group);
        }
    }
    EXPECT_EQ(Particles::GroupByName("SMOKE"), 0);
    EXPECT_EQ(Particles::GroupByName("fog"), -1);
    EXPECT_EQ(Particles::GroupByName(nullptr), -1);
}

TEST_F(ParticleSystemTest, ThrottleFallsFromFullRateToNothing)
{
    const struct {
        int32_t live, throttle;
    } cases[] = {{0, 0x10000}, {2048, 0x10000}, {2049, 0xFFE0}, {3072, 0x8000}, {4095, 32}, {4096, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(Particles::ThrottleFor(c.live), c.throttle) << c.live;
}

// Live particles held by a long-lived continuous emitter that has stopped.
void FillPool(int count)
{
    ParticleEmitterDesc d;
    d.group = 2;  // snow: lives 15 s
    d.mode = 2;
    d.durationOrCount = uint32_t(count);
    d.rate = 1000.0f;  // one a tick
    ParticleEmitter* e = Particles::CreateEmitter(d, {0, 0, 0});
    ASSERT_NE(e, nullptr);
    Particles::Update(uint32_t(count));
    ASSERT_EQ(Particles::LiveCount(), count);
}

TEST_F(ParticleSystemTest, EmissionIsThrottledPastTheLiveLimit)
{
    const struct {
        int live;
        int emitted;  // by 100 particles' worth of time
    } cases[] = {{2048, 100}, {3072, 50}, {4096, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.live);
        Particles::Reset();
        FillPool(c.live);
        ParticleEmitter* e = Particles::CreateEmitter(Desc(0, 0, 0, 100.0f), {0, 0, 0});  // every 10 ticks
        Particles::Update(1000);
        EXPECT_EQ(e->ParticleCount(), c.emitted);
        EXPECT_EQ(Particles::LiveCount() + Particles::FreeCount(), Particles::kPoolSize);
    }
}

TEST_F(ParticleSystemTest, CountedEmitterEmitsItsCountThenDies)
{
    ParticleEmitter* e = Particles::CreateEmitter(Desc(4, 2, 10, 100.0f), {0, 0, 0});
    // 150 ticks would emit 15; the shot particles live 250 ticks.
    Particles::Update(150);
    EXPECT_EQ(e->ParticleCount(), 10);
    EXPECT_EQ(e->Mode(), ParticleEmitter::Dying);
    EXPECT_EQ(e->Flags() & ParticleEmitter::kDyingFlag, ParticleEmitter::kDyingFlag);
    EXPECT_EQ(e->Remaining(), 250u);  // lifetime + spread of the group
    Particles::Update(100);
    EXPECT_EQ(e->ParticleCount(), 10) << "a dying emitter emits nothing more";
    Particles::Update(149);
    EXPECT_EQ(Particles::EmitterCount(4), 1);
    Particles::Update(2);
    EXPECT_EQ(Particles::EmitterCount(4), 0);
    EXPECT_EQ(Particles::LiveCount(), 0);
    EXPECT_EQ(Particles::FreeCount(), Particles::kPoolSize);
}

TEST_F(ParticleSystemTest, AHeldEmitterMakesNothingButLivesToEmitAgainWithoutABurst)
{
    ParticleEmitter* e = Particles::CreateEmitter(Desc(4, 0, 0, 100.0f), {0, 0, 0});  // every 10 ticks
    Particles::Update(100);
    ASSERT_EQ(e->ParticleCount(), 10);
    e->SetHeld(true);
    Particles::Update(5000);  // the shot particles live 250 ticks
    EXPECT_EQ(e->ParticleCount(), 0);
    EXPECT_EQ(Particles::EmitterCount(4), 1);
    EXPECT_EQ(e->Mode(), ParticleEmitter::Continuous);
    e->SetHeld(false);
    Particles::Update(100);
    EXPECT_EQ(e->ParticleCount(), 10) << "the held time is not owed";
}

TEST_F(ParticleSystemTest, TimedEmitterAndStopLoseTheirLightWhenDying)
{
    LightSet::CreateGlobals(nullptr);
    ParticleEmitterDesc d = Desc(3, 1, 500, 50.0f);
    d.addLight = true;
    ParticleEmitter* timed = Particles::CreateEmitter(d, {0, 0, 0});
    d.mode = 0;
    ParticleEmitter* continuous = Particles::CreateEmitter(d, {0, 0, 0});
    ASSERT_NE(timed->PointLight(), nullptr);
    ASSERT_NE(continuous->PointLight(), nullptr);
    EXPECT_EQ(LightSet::Global(0)->LightCount(), 2);
    Particles::Update(400);
    EXPECT_EQ(timed->Mode(), ParticleEmitter::Timed);
    Particles::Update(200);
    EXPECT_EQ(timed->Mode(), ParticleEmitter::Dying);
    EXPECT_EQ(timed->PointLight(), nullptr);
    continuous->Stop();
    EXPECT_EQ(continuous->Mode(), ParticleEmitter::Dying);
    EXPECT_EQ(LightSet::Global(0)->LightCount(), 0);
    Particles::Update(2500);
    EXPECT_EQ(Particles::EmitterCount(3), 0);
    LightSet::DestroyGlobals();
}

TEST_F(ParticleSystemTest, UnusableRatesAndLivesNeverDivideByZero)
{
    struct Case {
        const char* name;
        float rate;
        uint32_t life;
        int particles;  // after 100 ticks
    } cases[] = {
        {"rate 0 emits nothing", 0.0f, 0, 0},
        {"negative rate emits nothing", -5.0f, 0, 0},
        {"huge rate emits one a tick at most", 1e30f, 0, 100},
        {"life of one tick: only the newest lives", 1000.0f, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Particles::Reset();
        ParticleEmitterDesc d = Desc(0, 0, 0, c.rate);
        d.life = c.life;
        ParticleEmitter* e = Particles::CreateEmitter(d, {0, 0, 0});
        Particles::Update(100);
        EXPECT_EQ(e->ParticleCount(), c.particles);
        for (const Particle* p = e->Particles(); p; p = p->next) {
            EXPECT_GT(p->life, 0u);
            EXPECT_TRUE(std::isfinite(p->alphaDecrease));
        }
    }
    // At one tick a second a shot's quarter-second life rounds to no ticks.
    Particles::SetTickRate(1);
    Particles::Reset();
    ParticleEmitter* coarse = Particles::CreateEmitter(Desc(4, 0, 0, 1.0f), {0, 0, 0});
    Particles::Update(2);
    ASSERT_EQ(coarse->ParticleCount(), 1);
    EXPECT_EQ(coarse->Particles()->life, 1u);
    EXPECT_FLOAT_EQ(coarse->Particles()->alphaDecrease, 255.0f);
    Particles::SetTickRate(1000);
    EXPECT_EQ(EmissionPeriod(1000, 0.0f), 0u);
    EXPECT_EQ(EmissionPeriod(1000, 1e30f), 1u);
    EXPECT_EQ(EmissionPeriod(1000, 1e-30f), 0xFFFFFFFFu);
}

TEST(ParticleTicks, ConversionsSaturateInsteadOfWrapping)
{
    const struct {
        int32_t seconds16, rate;
        uint32_t ticks;
    } cases[] = {
        {0x28000, 1000, 2500},
        {0x8000, 3, 2},                    // 1.5 rounds to 2
        {25 << 16, 3000000, 75000000},
        {0x7FFFFFFF, 0x7FFFFFFF, 0xFFFFFFFFu},  // 32767 s at a 2 GHz tick
        {-0x10000, 1000, 0},
        {0x10000, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FixedSecondsToTicks(c.seconds16, c.rate), c.ticks) << c.seconds16 << " at " << c.rate;
}

TEST_F(ParticleSystemTest, MovingEmitterSpreadsParticlesAlongItsPath)
{
    ParticleEmitter* e = Particles::CreateEmitter(Desc(6, 0, 0, 100.0f), {0, 0, 0});
    e->SetPosition({10, 0, 0});
    e->SetPosition({20, 0, 0});  // one path per update: from where the last update left it
    Particles::Update(40);
    ASSERT_EQ(e->ParticleCount(), 4);
    float low = 1e9f, high = -1e9f;
    for (const Particle* p = e->Particles(); p; p = p->next) {
        low = std::min(low, p->position.x);
        high = std::max(high, p->position.x);
    }
    EXPECT_LT(low, 10.0f);
    EXPECT_GT(high, 15.0f);
    EXPECT_LE(high, 21.0f);
}

TEST_F(ParticleSystemTest, SpawnerMakesTimedChildrenThatRiseAndStaysPut)
{
    ParticleEmitterDesc d = Desc(9, 0, 0, 100.0f);
    d.spawner = true;
    d.emitterVelocity = {1, 1, 1};
    ParticleEmitter* spawner = Particles::CreateEmitter(d, {5, 0, 0});
    Particles::Update(50);
    EXPECT_EQ(spawner->ParticleCount(), 0);
    EXPECT_EQ(spawner->Position(), Vec3(5, 0, 0));
    ASSERT_EQ(Particles::EmitterCount(9), 6);
    for (const ParticleEmitter* e = Particles::Group(9).emitters; e; e = e->Next()) {
        if (e == spawner)
            continue;
        EXPECT_EQ(e->Mode(), ParticleEmitter::Timed);
        EXPECT_FALSE(e->Spawner());
        EXPECT_LE(e->Velocity().y, 0.0f) << "children start upward";
        EXPECT_LE(e->Remaining(), 1500u);
    }
}

TEST_F(ParticleSystemTest, ParticlesBelowTheFloorDieAndLandingEmittersStop)
{
    Particles::FloorHeight() = 0.0f;
    ParticleEmitterDesc d = Desc(5, 1, 5000, 100.0f);
    d.emitterVelocity = {0, 10.0f, 0};  // falls: y grows downward
    ParticleEmitter* e = Particles::CreateEmitter(d, {0, -0.5f, 0});
    Particles::Update(10);
    EXPECT_EQ(e->Mode(), ParticleEmitter::Timed);
    Particles::Update(100);
    EXPECT_EQ(e->Mode(), ParticleEmitter::Dying) << "a timed emitter below the floor stops";
    for (const Particle* p = e->Particles(); p; p = p->next)
        EXPECT_LE(p->position.y, 0.0f);
}

// The tick rate is measured at start-up and differs from run to run: what a
// second of play shows must not.
TEST_F(ParticleSystemTest, VelocitiesAreUnitsPerSecondAtAnyTickRate)
{
    for (const int32_t rate : {1000, 1882667, 3000000}) {
        Particles::SetTickRate(rate);
        Particles::Reset();
        ParticleEmitterDesc d = Desc(7, 2, 1, 1000.0f);  // a group with no drift of its own
        d.particleVelocity = {0, -3, 0};
        d.emitterVelocity = {2, 0, 0};
        ParticleEmitter* e = Particles::CreateEmitter(d, {0, 0, 0});
        Particles::Update(uint32_t(rate) / 2);
        ASSERT_EQ(e->ParticleCount(), 1) << rate;
        EXPECT_NEAR(e->Particles()->position.y, -1.5f, 0.01f) << rate;
        EXPECT_NEAR(e->Position().x, 1.0f, 0.01f) << rate;
    }
}

TEST_F(ParticleSystemTest, ShutdownAndResetReturnEveryParticle)
{
    Particles::CreateEmitter(Desc(0, 0, 0, 1000.0f), {0, 0, 0});
    Particles::CreateEmitter(Desc(12, 0, 0, 1000.0f), {0, 0, 0});
    Particles::Update(300);
    EXPECT_GT(Particles::LiveCount(), 0);
    EXPECT_EQ(Particles::LiveCount() + Particles::FreeCount(), Particles::kPoolSize);
    Particles::Reset();
    EXPECT_EQ(Particles::LiveCount(), 0);
    EXPECT_EQ(Particles::FreeCount(), Particles::kPoolSize);
    EXPECT_EQ(Particles::EmitterCount(0) + Particles::EmitterCount(12), 0);
    EXPECT_EQ(Particles::CreateEmitter(Desc(13, 0, 0, 1.0f), {0, 0, 0}), nullptr);
}

} // namespace

// ---- On the screen -------------------------------------------------------------

#include "camera_fixture.h"

namespace {

// Every texture the scene asks for is plain white.
TextureLoader WhiteTextures()
{
    return [](const TextureLoadRequest& req, TextureLoadResult& res) {
        if (req.target)
            return req.target->ColourFill(0xFFFFFFFFu);
        res.surface = gfx::Texture::Create(8, 8, gfx::Argb8888(), 1);
        if (!res.surface || !res.surface->ColourFill(0xFFFFFFFFu))
            return false;
        res.width = res.height = 8;
        return true;
    };
}

class ParticleScene : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        std::filesystem::create_directories(dir_.Path() / "bitmaps");
        std::ofstream(dir_.Path() / "bitmaps" / "particles.rim") << "x";
        TextureManager::SetGraphicsDirectory(dir_.Path());
        TextureManager::SetLoader(WhiteTextures());
        Display::Hooks().drawParticles = [] { Particles::Draw(); };
    }
    void TearDown() override
    {
        Particles::Shutdown();
        SceneTest::TearDown();
    }
    int Brightness(int x, int y)
    {
        const scenetest::Rgb p = Pixel(x, y);
        return (p.r + p.g + p.b) / 3;
    }
    void Frame()
    {
        BeginFrame(0);
        EndFrame();
    }
    displaytest::TempDir dir_;
};

TEST_F(ParticleScene, BurstAppearsAndFadesWithItsLife)
{
    StartScene(320, 240);
    Particles::SetTickRate(1000);
    Particles::Startup();
    ASSERT_TRUE(Particles::Started());
    Particles::FloorHeight() = 1000.0f;
    ParticleEmitterDesc d;
    d.group = 6;  // big explosion: additive, lives 500 ticks
    d.mode = 2;
    d.durationOrCount = 1;
    d.rate = 1000.0f;
    ASSERT_NE(Particles::CreateEmitter(d, {0, 0, 10}), nullptr);

    Frame();
    EXPECT_EQ(Brightness(160, 120), 0) << "nothing before the first update";
    Particles::Update(1);
    ASSERT_EQ(Particles::LiveCount(), 1);
    Frame();
    const int fresh = Brightness(160, 120);
    EXPECT_GT(fresh, 200);
    EXPECT_EQ(Brightness(5, 5), 0) << "the burst stays near its point";
    Particles::Update(400);
    Frame();
    const int old = Brightness(160, 120);
    EXPECT_GT(old, 20);
    EXPECT_LT(old, 90) << "a fifth of its life left: about a fifth of its alpha";
    Particles::Update(200);
    EXPECT_EQ(Particles::LiveCount(), 0);
    Frame();
    EXPECT_EQ(Brightness(160, 120), 0);
}

TEST_F(ParticleScene, MoreParticlesThanOneBufferAreDrawnInBatches)
{
    StartScene(320, 240);
    Particles::SetTickRate(1000);
    Particles::Startup();
    Particles::FloorHeight() = 1000.0f;
    // 4096 quads are 16384 vertices: eight buffers' worth. Spread them over
    // a row so the last ones land on a known spot.
    ParticleEmitterDesc d;
    d.group = 7;  // no turbulence, no acceleration
    d.mode = 2;
    d.durationOrCount = 4096;
    d.rate = 1000.0f;
    d.life = 100000;
    ParticleEmitter* e = Particles::CreateEmitter(d, {-6, 0, 10});
    e->SetPosition({6, 0, 10});
    Particles::Update(4096);
    ASSERT_EQ(e->ParticleCount(), 4096);
    Frame();
    // Both ends of the row are drawn, whichever batch they fell into.
    EXPECT_GT(Brightness(160, 120), 0);
    EXPECT_GT(Brightness(110, 120), 0);
    EXPECT_GT(Brightness(210, 120), 0);
    EXPECT_EQ(Brightness(160, 20), 0);
}

TEST_F(ParticleScene, ParticlesStillDrawAfterTheDeviceLostItsObjects)
{
    StartScene(320, 240);
    Particles::SetTickRate(1000);
    Particles::Startup();
    Particles::FloorHeight() = 1000.0f;
    ParticleEmitterDesc d;
    d.group = 6;
    d.mode = 2;
    d.durationOrCount = 1;
    d.rate = 1000.0f;
    Particles::CreateEmitter(d, {0, 0, 10});
    Particles::Update(1);
    Display::ReleaseDeviceObjects();
    Display::RestoreDeviceObjects();
    Frame();
    EXPECT_GT(Brightness(160, 120), 200);
}

TEST_F(ParticleScene, EmittersAreMadeOnlyWhereTheCameraSees)
{
    StartScene(320, 240);
    Particles::Startup();
    const struct {
        const char* name;
        Vec3 position;
        bool made;
    } cases[] = {
        {"ahead", {0, 0, 10}, true},
        {"near the left edge", {-12, 0, 10}, true},
        {"behind the eye", {0, 0, -10}, false},
        {"off to the right", {100, 0, 10}, false},
        {"below the screen", {0, 100, 10}, false},
        {"past the far plane", {0, 0, 500}, false},
    };
    ParticleEmitterDesc d;
    d.group = 0;
    for (const auto& c : cases)
        EXPECT_EQ(Particles::CreateEmitterIfVisible(d, c.position, camera_.get()) != nullptr, c.made) << c.name;
    EXPECT_NE(Particles::CreateEmitterIfVisible(d, {0, 0, -10}, nullptr), nullptr) << "no camera: always made";
}

// One big-explosion particle (additive, lives 500 ticks) ten metres ahead.
ParticleEmitter* OneBurstAhead()
{
    ParticleEmitterDesc d;
    d.group = 6;
    d.mode = 2;
    d.durationOrCount = 1;
    d.rate = 1000.0f;
    return Particles::CreateEmitter(d, {0, 0, 10});
}

TEST_F(ParticleScene, EmittersWhoseBoxIsOutOfViewAreHidden)
{
    StartScene(320, 240);
    Particles::SetTickRate(1000);
    Particles::Startup();
    Particles::FloorHeight() = 1000.0f;
    const struct {
        const char* name;
        Vec3 low, high;
        float visibility;
        bool drawn;
    } cases[] = {
        {"box around the burst", {-1, -1, 9}, {1, 1, 11}, 0.5f, true},
        {"box behind the eye", {-1, -1, -12}, {1, 1, -8}, 0.5f, false},
        {"box off to the side", {50, -1, 9}, {52, 1, 11}, 0.99609375f, false},
        {"fully visible: no test", {-1, -1, -12}, {1, 1, -8}, 1.0f, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Particles::Reset();
        ParticleEmitter* e = OneBurstAhead();
        e->SetBounds(c.low, c.high, c.visibility);
        Particles::Update(1);
        Frame();
        EXPECT_EQ(Brightness(160, 120) > 200, c.drawn);
        EXPECT_EQ(e->Hidden(), !c.drawn);
    }
}

// Fog fades an emitter's particles by its factor: none leaves them bright,
// half about halves them, full (or a factor that is no number) hides them.
TEST_F(ParticleScene, FogFadesAnEmittersParticlesByItsFactor)
{
    StartScene(320, 240);
    Particles::SetTickRate(1000);
    Particles::Startup();
    Particles::FloorHeight() = 1000.0f;
    const struct {
        float factor;
        int low, high;
    } cases[] = {
        {-3.0f, 200, 255},
        {0.0f, 200, 255},
        {0.5f, 90, 160},
        {1.0f, 0, 0},
        {7.0f, 0, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.factor);
        Particles::Reset();
        ParticleEmitter* e = OneBurstAhead();
        e->SetFogFactor(c.factor);
        EXPECT_GE(e->FogFactor(), 0.0f);
        EXPECT_LE(e->FogFactor(), 1.0f);
        Particles::Update(1);
        Frame();
        const int seen = Brightness(160, 120);
        EXPECT_GE(seen, c.low);
        EXPECT_LE(seen, c.high);
    }
}

TEST_F(ParticleScene, RainDrawsStreaksAndTrailsDrawRibbons)
{
    StartScene(320, 240);
    Particles::SetTickRate(1000);
    Particles::Startup();
    Particles::FloorHeight() = 1000.0f;
    struct Probe {
        int x, y;
        bool lit;
    };
    const struct {
        const char* name;
        int group;
        Vec3 from, to;  // the emitter moves from one to the other in the update
        Vec3 velocity;  // of its particles, per tick
        std::vector<Probe> probes;
    } cases[] = {
        // A drop falling straight down streaks 1.5 units below itself.
        {"rain", 11, {0, 0, 10}, {0, 0, 10}, {0, 0.001f, 0}, {{160, 126, true}, {160, 112, false}}},
        // Particles left along a path from left to right are joined up.
        {"trail", 9, {-4, 0, 10}, {4, 0, 10}, {0, 0, 0}, {{140, 120, true}, {180, 120, true}, {160, 90, false}}},
        {"trail the other way", 10, {0, 4, 10}, {0, -4, 10}, {0, 0, 0}, {{160, 100, true}, {160, 140, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Particles::Reset();
        Particles::EmissionBoxCentre() = c.from;
        Particles::EmissionBoxHalfExtent() = {0, 0, 0};
        ParticleEmitterDesc d;
        d.group = c.group;
        d.mode = 2;
        d.durationOrCount = 20;
        d.rate = 1000.0f;
        d.particleVelocity = c.velocity;
        ParticleEmitter* e = Particles::CreateEmitter(d, c.from);
        e->SetPosition(c.to);
        Particles::Update(20);
        Frame();
        for (const Probe& p : c.probes)
            EXPECT_EQ(Brightness(p.x, p.y) > 60, p.lit) << "at " << p.x << "," << p.y;
    }
}

TEST_F(ParticleScene, ResetScalesGroupSizesToTheScreen)
{
    StartScene(640, 480);
    Particles::Startup();
    EXPECT_FLOAT_EQ(Particles::Group(0).screenSizeX, 640 * 0.35f / 32);
    EXPECT_FLOAT_EQ(Particles::Group(11).screenSizeY, 480 * 1.5f / 24);
}

} // namespace

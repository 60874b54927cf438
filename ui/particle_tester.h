// The developer's particle tester (PARTICLE TESTER): one emitter running at
// a point in the level with its parameters listed on a screen over the game
// view; clicking a line changes that parameter in place, and the running
// emitter is made again with the new settings at once.
#pragma once

#include "app/maths.h"
#include "ui/backdrop_target.h"
#include "ui/menu_screen.h"

#include <cstdint>
#include <string>
#include <vector>

class ParticleEmitter;
class TextureEntry;
struct ParticleEmitterDesc;

const char* ParticleTypeName(int type);
const char* LifeTimerName(int mode);
const char* LightModeName(int mode);
// FIRE, SMOKE, SHOT, EXPLOSION, BIG EXPLOSION, STEAM, TRAIL, SPARKS, FIRE...;
// a type outside the cycle starts it again at FIRE.
int NextParticleType(int type);

// What the tester's lines show and change.
struct ParticleSettings {
    enum Line {
        kType, kRate, kTimeToLive, kDirection, kVelocity, kGenerator, kLifeTimer, kLight, kColour, kStartScale,
        kEndScale, kSpin, kLineCount
    };

    int type = 3;
    int lightMode = 0;
    int lifeTimer = 0;    // 0 none, 1 time, 2 count
    int timeToLive = 10;  // 10 to 200: tenths of a second, or particles when counted
    float rate = 10;      // particles a second, 5 to 100
    Vec3 direction{0, 0, 0}, velocity{0, 0, 0}; // -3 to 3 each, units a second
    float red = 1, green = 1, blue = 1, alpha = 1;
    bool generator = false;
    float startScale = 1, endScale = 1; // 0 to 2
    float spin = 0;                     // 0 to 10000

    // A click on `line` at `column` (the pointer's distance from the
    // screen's left edge, screen fractions). Lines past the list change
    // nothing.
    void Click(int line, float column);
    // The text of each line, in order.
    std::vector<std::string> Lines() const;
    // The emitter's description at `ticksPerSecond`.
    ParticleEmitterDesc Describe(int32_t ticksPerSecond) const;
};

class ParticleTester : public MenuScreen {
public:
    static constexpr float kMargin = 0.02f;

    ParticleTester(const Vec3& position, int type);

    // PARTICLE TESTER: the one tester is replaced by a new one.
    static void Replace(const Vec3& position, int type);
    static ParticleTester* Current();
    static void ReleaseCurrent();
    // Gives the console command its tester.
    static void Install();

    void Draw(int64_t now) override;
    void Run() override;
    bool IsTransient() const override { return false; }

    // The line under a screen y, counted from the first (may be out of range).
    int LineAt(float y) const;
    float LineHeight() const;
    const ParticleSettings& Settings() const { return settings_; }
    // The running emitter, or null once the particle system let it go.
    ParticleEmitter* Emitter() const;
    // The backdrop behind the list: a render target the size of the frame,
    // filled each frame with kBackdrop; null before the first draw with a
    // device.
    static constexpr uint32_t kBackdrop = 0x80000000u;
    TextureEntry* Backdrop() const { return backdrop_.Entry(); }

protected:
    ~ParticleTester() override;

private:
    void Remake();
    void StopEmitter();

    ParticleSettings settings_;
    Vec3 position_;
    ParticleEmitter* emitter_ = nullptr; // the particle system owns it
    int emitterGroup_ = 0;
    BackdropTarget backdrop_;
};

#include "ui/particle_tester.h"

#include "Veapi/font.h"
#include "Veapi/particles.h"
#include "Veapi/screen_draw.h"
#include "Veapi/ve3d.h"
#include "app/app_time.h"
#include "console/console_draw.h"
#include "console/text_console.h"
#include "effects/effect_commands.h"
#include "ui/hud_view.h"

#include <algorithm>
#include <cmath>

namespace {

ParticleTester* g_tester = nullptr; // one reference while it stands

constexpr uint32_t kLineColour = 0xFFFFFFFFu;

// Adds `step`; past `top` the value starts again at `restart`.
template <class T> T Cycle(T value, T step, T top, T restart)
{
    value += step;
    return value > top + T(step) / T(1000) ? restart : value;
}

float& Component(Vec3& v, float column)
{
    return column < 0.1f ? v.x : column < 0.2f ? v.y : v.z;
}

void OnCommand(const Vec3& position, int type) { ParticleTester::Replace(position, type); }

} // namespace

const char* ParticleTypeName(int type)
{
    switch (type) {
    case 0: return "SMOKE";
    case 1: return "STEAM";
    case 3: return "FIRE";
    case 4: return "SHOT";
    case 5: return "EXPLOSION";
    case 6: return "BIG EXPLOSION";
    case 9: return "TRAIL";
    case 12: return "SPARKS";
    default: return "OTHER";
    }
}

const char* LifeTimerName(int mode)
{
    static const char* const kNames[] = {"NONE", "TIME", "COUNT"};
    return mode >= 0 && mode < 3 ? kNames[mode] : "UNKNOWN";
}

const char* LightModeName(int mode)
{
    static const char* const kNames[] = {"PRELIGHT", "ALPH DCY", "COL DCY", "COL + ALPH DCY", "RUN TIME"};
    return mode >= 0 && mode < 5 ? kNames[mode] : "UNKNOWN";
}

int NextParticleType(int type)
{
    static constexpr int kCycle[] = {3, 0, 4, 5, 6, 1, 9, 12};
    const int* at = std::find(std::begin(kCycle), std::end(kCycle), type);
    if (at == std::end(kCycle))
        return kCycle[0];
    ++at;
    return at == std::end(kCycle) ? kCycle[0] : *at;
}

void ParticleSettings::Click(int line, float column)
{
    switch (line) {
    case kType: type = NextParticleType(type); break;
    case kRate: rate = Cycle(rate, 5.0f, 100.0f, 5.0f); break;
    case kTimeToLive: timeToLive = Cycle(timeToLive, 10, 200, 10); break;
    case kDirection: Component(direction, column) = Cycle(Component(direction, column), 0.25f, 3.0f, -3.0f); break;
    case kVelocity: Component(velocity, column) = Cycle(Component(velocity, column), 0.25f, 3.0f, -3.0f); break;
    case kGenerator: generator = !generator; break;
    case kLifeTimer: lifeTimer = (lifeTimer + 1) % 3; break;
    case kLight: lightMode = (lightMode + 1) % 5; break;
    case kColour: {
        float& c = column < 0.1f ? red : column < 0.2f ? green : column >= 0.3f ? alpha : blue;
        c = Cycle(c, 0.1f, 1.0f, 0.0f);
        break;
    }
    case kStartScale: startScale = Cycle(startScale, 0.1f, 2.0f, 0.0f); break;
    case kEndScale: endScale = Cycle(endScale, 0.1f, 2.0f, 0.0f); break;
    case kSpin: spin = Cycle(spin, 100.0f, 10000.0f, 0.0f); break;
    default: break;
    }
}

std::vector<std::string> ParticleSettings::Lines() const
{
    auto f = [](float v) { return FormatFloat(v); };
    auto three = [&](const Vec3& v) { return f(v.x) + " " + f(v.y) + " " + f(v.z); };
    return {
        std::string("TYPE ") + ParticleTypeName(type),
        "RATE " + f(rate),
        "TTL  " + std::to_string(timeToLive) + " " + std::to_string(lifeTimer == 2 ? timeToLive : 0),
        "Dir  " + three(direction),
        "Vel " + three(velocity),
        generator ? "Generator" : "Not a generator",
        std::string("Life timer ") + LifeTimerName(lifeTimer),
        std::string("Light ") + LightModeName(lightMode),
        "Col " + f(red) + " " + f(green) + " " + f(blue) + " " + f(alpha),
        "Start Scale " + f(startScale),
        "End Scale " + f(endScale),
        "Spin " + f(spin),
    };
}

ParticleEmitterDesc ParticleSettings::Describe(int32_t ticksPerSecond) const
{
    ParticleEmitterDesc d;
    d.group = type;
    d.mode = lifeTimer;
    // Timed: the emitter runs the time to live in tenths of a second;
    // counted: it makes that many particles.
    const int64_t ticks = int64_t(timeToLive) * std::max<int32_t>(ticksPerSecond, 1) / 10;
    d.durationOrCount = uint32_t(lifeTimer == 2 ? timeToLive : ticks);
    d.rate = rate;
    d.particleVelocity = direction;
    d.emitterVelocity = velocity;
    d.colour1.Set(red, green, blue, alpha);
    d.colour2 = d.colour1;
    d.spawner = generator;
    d.scale1 = startScale;
    d.scale2 = endScale;
    d.spin = spin;
    return d;
}

ParticleTester::ParticleTester(const Vec3& position, int type) : MenuScreen(kParticleTester, 0), position_(position)
{
    settings_.type = type;
    left_ = 0.02f;
    top_ = 0.1f;
    Remake();
}

ParticleTester::~ParticleTester() { StopEmitter(); }

void ParticleTester::Replace(const Vec3& position, int type)
{
    ReleaseCurrent();
    g_tester = new ParticleTester(position, type);
    g_tester->Activate();
}

ParticleTester* ParticleTester::Current() { return g_tester; }

void ParticleTester::ReleaseCurrent()
{
    if (ParticleTester* t = g_tester) {
        g_tester = nullptr;
        t->Release();
    }
}

void ParticleTester::Install() { EffectCommands::particleTester = OnCommand; }

ParticleEmitter* ParticleTester::Emitter() const
{
    if (!emitter_ || !Particles::Started())
        return nullptr;
    // The particle system frees an emitter once it has run out: only one
    // still linked in its group is ours to touch.
    for (ParticleEmitter* e = Particles::Group(emitterGroup_).emitters; e; e = e->Next())
        if (e == emitter_)
            return emitter_;
    return nullptr;
}

void ParticleTester::StopEmitter()
{
    if (ParticleEmitter* e = Emitter())
        e->Stop();
    emitter_ = nullptr;
}

void ParticleTester::Remake()
{
    StopEmitter();
    if (Particles::Started())
        emitter_ = Particles::CreateEmitter(settings_.Describe(Particles::TickRate()), position_);
    emitterGroup_ = settings_.type;
}

float ParticleTester::LineHeight() const
{
    Font* small = ConsoleFonts::Get(ConsoleFonts::kSmall);
    const float h = small ? small->LineHeight() : 0.0f;
    return std::isfinite(h) && h > 0 ? h : 1.0f / 30.0f;
}

int ParticleTester::LineAt(float y) const
{
    const float line = std::round((y - top_ - kMargin) / LineHeight());
    return std::isfinite(line) && std::fabs(line) < 1e6f ? int(line) : -1;
}

void ParticleTester::Draw(int64_t)
{
    const std::vector<std::string> lines = settings_.Lines();
    const float h = LineHeight();
    // The frame: half the screen wide, down to the last line's foot.
    HudView& view = HudView::Current();
    const float w = view.ScreenWidth(), sh = view.ScreenHeight();
    const int x0 = int(left_ * w), y0 = int(top_ * sh);
    const int x1 = int((left_ + 0.5f) * w), y1 = int((top_ + kMargin + h * float(lines.size())) * sh);
    Colour white;
    white.Set(1, 1, 1, 1);
    // The backdrop quad under the list, from its target.
    if (backdrop_.Fill(x1 - x0, y1 - y0, kBackdrop))
        backdrop_.Draw(x0, y0, x1, y1);
    for (size_t i = 0; i < lines.size(); ++i)
        Text::DrawSmall(lines[i], left_ + kMargin, top_ + kMargin + h * float(i), kLineColour);
    ScreenDraw::Begin();
    ScreenDraw::Line(x0, y0, white, x1, y0, white);
    ScreenDraw::Line(x1, y0, white, x1, y1, white);
    ScreenDraw::Line(x1, y1, white, x0, y1, white);
    ScreenDraw::Line(x0, y1, white, x0, y0, white);
    ScreenDraw::Flush();
    // A finished emitter (a timed or counted one) starts again.
    if (emitter_ && !Emitter())
        Remake();
}

void ParticleTester::Run()
{
    const float x = MenuScreen::PointerX(), y = MenuScreen::PointerY();
    settings_.Click(LineAt(y), x - left_);
    Remake();
}

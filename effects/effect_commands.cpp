#include "effects/effect_commands.h"

#include "Veapi/light_set.h"
#include "Veapi/particles.h"
#include "app/app_state.h"
#include "app/math_tables.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/readers.h"
#include "console/script_messages.h"
#include "console/text_console.h"
#include "objects/game_object.h"
#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/particle_presets.h"
#include "effects/shadows.h"
#include "effects/static_shadows.h"
#include "session/game_state.h"
#include "session/saved_game.h"
#include "world/level.h"
#include "world/level_light.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace {

Colour FloatColour(float r, float g, float b, float a)
{
    Colour c;
    c.Set(r, g, b, a);
    c.flags = Colour::kFloatValid;
    return c;
}

} // namespace

namespace SunLight {
namespace {

// The sun a level state block holds; a game starts with the block's defaults.
State SunOf(const LevelStateBlock& block)
{
    State sun;
    sun.colour = FloatColour(block.sunColour[0], block.sunColour[1], block.sunColour[2], block.sunColour[3]);
    sun.direction = {block.sunDirection[0], block.sunDirection[1], block.sunDirection[2]};
    return sun;
}

State g_sun = SunOf(LevelStateBlock{});
LightSet* LevelLights()
{
    Level* level = Level::Current();
    return level ? &level->Lights() : nullptr;
}
LightSet* (*g_lights)() = LevelLights;

bool InGame() { return IsInGameState(CurrentAppState()); }

} // namespace

void ReplaceLight()
{
    LightSet* lights = Lights();
    if (!lights || !g_sun.light)
        return;
    lights->RemoveLight(g_sun.light);
    Colour specular;
    specular.Set(0, 0, 0, 0);
    g_sun.light = lights->AddDirectionalLight(g_sun.colour, specular, g_sun.direction);
}

State& Get() { return g_sun; }

void TakeFromLevelState()
{
    const State saved = SunOf(LevelStateBlock::Live());
    g_sun.colour = saved.colour;
    g_sun.direction = saved.direction;
}
void SetLightSource(LightSet* (*lights)()) { g_lights = lights ? lights : LevelLights; }
LightSet* Lights() { return g_lights(); }

void ResetForLevel(Light* light)
{
    g_sun.secondAngle = 4096.0f / 3.0f;
    g_sun.light = light;
}

void SetSunDirection(float degrees)
{
    const int32_t f = TextConsole::SaturatingFloor(degrees * (4096.0f / 360.0f)) & kAngleMask;
    const int32_t g = TextConsole::SaturatingFloor(g_sun.secondAngle) & kAngleMask;
    Vec3 direction{CosineOf(f) * CosineOf(g), SineOf(f), CosineOf(f) * SineOf(g)};
    const float length = FastSqrt(direction.LengthSquared());
    if (length > 0.0f)
        g_sun.direction = direction * (1.0f / length);
    LevelStateBlock::Live().sunDirection = {g_sun.direction.x, g_sun.direction.y, g_sun.direction.z};
    if (InGame())
        ReplaceLight();
    else
        TextConsole::Print(TextConsole::Text(6056));
    if (Level::Current() && ShadowMode == 4 && !CommandScript::RestoringSavedGame)
        ::SetSunDirection(g_sun.direction);
}

float RecoverFirstSunAngle()
{
    const float cosine = CosineOf(TextConsole::SaturatingFloor(g_sun.secondAngle) & kAngleMask);
    // A zero cosine or a direction the second angle cannot give would index
    // outside the table: the quotient is held to -1 .. 1.
    const float quotient = cosine != 0.0f ? std::clamp(g_sun.direction.x / cosine, -1.0f, 1.0f) : 0.0f;
    const int32_t a = std::clamp(TextConsole::SaturatingFloor(quotient * 2048.0f), -2048, 2048);
    return g_mathTables.arcCosine[a + 2048] * (360.0f / 4096.0f);
}

} // namespace SunLight

namespace Weather {
float thirdValue = 10.0f;

void MakeWeatherEmitter(bool rain)
{
    int32_t count = 4500;
    const bool playing = CurrentAppState() == AppState::Playing;
    EffectEnvironment& world = EffectWorld();
    if (!playing) {
        count = 150;
        world.weatherPosition = {0, -10, 0};
        world.weatherExtent = {20, 0, 20};
        thirdValue = 10.0f;
    }
    const float area = world.weatherExtent.x * world.weatherExtent.z * 4.0f;
    ParticleEmitterDesc desc;
    desc.group = rain ? 11 : 2;
    if (rain && playing)
        desc.colour1.Set(0.5f, 0.5f, 0.5f, 0.8f);
    else if (rain)
        desc.colour1.Set(0.01f, 0.01f, 0.02f, 1.0f);
    else
        desc.colour1.Set(0.9f, 0.9f, 0.9f, 1.0f);
    desc.colour2.Set(0, 0, 0, 0);
    desc.rate = rain ? float(TextConsole::SaturatingFloor(area / float(count)) * 25)
                     : float(TextConsole::SaturatingFloor(area / 9000.0f) * 50);
    desc.scale1 = desc.scale2 = 1.0f;
    Particles::CreateEmitter(desc, {0, 0, 0});
}
} // namespace Weather

int ParseParticleType(const std::string& word)
{
    static constexpr struct {
        const char* name;
        int type;
    } kTypes[] = {{"explosion", 5}, {"bigexplosion", 6}, {"smoke", 0}, {"steam", 1}, {"trail", 9},
                  {"snow", 2},      {"rain", 11},        {"shot", 4},  {"fire", 3},  {"sparks", 12}};
    for (const auto& t : kTypes)
        if (strcasecmp(word.c_str(), t.name) == 0)
            return t.type;
    TextConsole::Print("Invalid particle type specified.");
    return 5;
}

void AddLiquidFromArguments(const char* texture, bool clear, bool ripples)
{
    Effects::LiquidParams params;
    params.rippleHeight = TextConsole::ReadFloat(1.0f);
    Level* level = Level::Current();
    params.first = level ? level->maximum_ : Vec3{0, 0, 0};
    params.second = level ? level->minimum_ : Vec3{0, 0, 0};
    // Without positions the liquid covers the level; the cursor is not asked.
    for (Vec3* corner : {&params.first, &params.second})
        if (TextConsole::RestOfLine())
            TextConsole::ReadPosition(*corner);
    const int32_t detail = TextConsole::ReadInt(0);
    params.fogged = TextConsole::ReadOnOff() != 0;
    params.texture = texture;
    params.clear = clear;
    params.ripples = ripples;
    Effects::AddLiquid(Effects::Now(), detail, params);
}

namespace {

bool InGameOrSay()
{
    if (IsInGameState(CurrentAppState()))
        return true;
    TextConsole::Print(TextConsole::Text(6056));
    return false;
}

Colour ReadColour(float fallback, float alpha)
{
    const float r = TextConsole::ReadFloat(fallback), g = TextConsole::ReadFloat(fallback),
                b = TextConsole::ReadFloat(fallback);
    return FloatColour(r, g, b, alpha);
}

void SunAngle() { SunLight::SetSunDirection(TextConsole::ReadFloat(0.0f)); }

void SunAngle2()
{
    SunLight::Get().secondAngle = TextConsole::ReadFloat(0.0f) * (4096.0f / 360.0f);
    SunLight::SetSunDirection(SunLight::RecoverFirstSunAngle());
}

void SunBrightness()
{
    const float r = TextConsole::ReadFloat(0.0f), g = TextConsole::ReadFloat(0.0f), b = TextConsole::ReadFloat(0.0f);
    const float a = TextConsole::ReadFloat(1.0f);
    SunLight::Get().colour = FloatColour(r, g, b, a);
    LevelStateBlock::Live().sunColour = {r, g, b, a};
    if (InGameOrSay())
        SunLight::ReplaceLight();
}

void Ambient()
{
    const float r = TextConsole::ReadFloat(0.0f), g = TextConsole::ReadFloat(0.0f), b = TextConsole::ReadFloat(0.0f);
    const Colour colour = FloatColour(r, g, b, TextConsole::ReadFloat(1.0f));
    if (LightSet* lights = SunLight::Lights())
        lights->SetEmissive(colour);
}

void AddLight()
{
    if (!ScriptMessages::RunsServer())
        return;
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    const Colour colour = ReadColour(0.0f, 1.0f);
    GameState::Hold hold;
    ScriptMessages::Send(ScriptMessages::Builder(125).Point(at).Colour(colour));
}

void AddBlinkingLight()
{
    if (!ScriptMessages::RunsServer())
        return;
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    const Colour first = ReadColour(0.0f, 1.0f), second = ReadColour(0.0f, 1.0f);
    const float period = TextConsole::ReadFloat(1.0f);
    GameState::Hold hold;
    ScriptMessages::Send(ScriptMessages::Builder(126).Point(at).Colour(first).Colour(second).F32(period));
}

// LIGHTON and ASSOCIATELIGHT: a corona on a named part of an actor.
void CoronaLight(bool withLift)
{
    if (!ScriptMessages::RunsServer())
        return;
    GameState::Hold hold;
    int32_t linked = -1;
    GameObject* object = nullptr;
    if (withLift) {
        if (!TextConsole::ReadObjectById(object))
            return;
        linked = static_cast<int32_t>(object->GetId());
    }
    if (!TextConsole::ReadObjectById(object))
        return;
    const std::string dummy = TextConsole::ReadWord();
    const float r = TextConsole::ReadFloat(1.0f), g = TextConsole::ReadFloat(1.0f), b = TextConsole::ReadFloat(1.0f);
    const Colour colour = FloatColour(r, g, b, TextConsole::ReadFloat(1.0f));
    ScriptMessages::Send(
        ScriptMessages::Builder(131).U32(object->GetId()).I32(linked).Colour(colour).Text(dummy));
}

void LightOn() { CoronaLight(false); }
void AssociateLight() { CoronaLight(true); }

void Corona()
{
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    const float r = TextConsole::ReadFloat(1.0f), g = TextConsole::ReadFloat(1.0f), b = TextConsole::ReadFloat(1.0f);
    ParticleEffects::CreateCorona(at, FloatColour(r, g, b, TextConsole::ReadFloat(0.5f)));
}

void Ray()
{
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        Effects::AddLightRay(Effects::Now(), at, FloatColour(10, 10, 10, 0));
}

void RayColour() { Effects::SetRayColour(ReadColour(0.0f, 0.5f)); }

void Spotlight()
{
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        Effects::AddSpotlight(EffectWorld().snapToSurface(at), Effects::Now());
}

void Water() { AddLiquidFromArguments("bitmaps\\water.rim", true, true); }
void Lava() { AddLiquidFromArguments("bitmaps\\lava.rim", false, true); }
void Swamp() { AddLiquidFromArguments("bitmaps\\swamp.rim", false, false); }
void Oil() { AddLiquidFromArguments("bitmaps\\oil.rim", false, false); }

void ChangeLiquidLevel(float sign)
{
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    const float amount = TextConsole::ReadFloat(1.0f);
    if (EffectRecord* liquid = Effects::FindNearestLiquid(at))
        LiquidEffect::ChangeLevel(*liquid, amount * sign, Effects::Now());
}
void RaiseLiquid() { ChangeLiquidLevel(1.0f); }
void LowerLiquid() { ChangeLiquidLevel(-1.0f); }

void WaterSpeed()
{
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    const float speed = TextConsole::ReadFloat(1.0f);
    if (EffectRecord* liquid = Effects::FindNearestLiquid(at))
        LiquidEffect::SetSpeed(*liquid, speed);
}

void WaterDirection()
{
    Vec3 at, direction;
    if (!TextConsole::ReadPosition(at) || !TextConsole::ReadPosition(direction))
        return;
    if (EffectRecord* liquid = Effects::FindNearestLiquid(at))
        LiquidEffect::SetDirection(*liquid, direction);
}

void StopAllEmitters()
{
    for (int group = 0; group < ParticleGroup::kCount; ++group)
        for (ParticleEmitter* e = Particles::Group(group).emitters; e; e = e->Next())
            e->Stop();
}

void WeatherCommand(bool rain)
{
    const int word = TextConsole::ReadOnOff();
    if (word == 1)
        Weather::MakeWeatherEmitter(rain);
    else if (word == 0)
        StopAllEmitters();
}
void Rain() { WeatherCommand(true); }
void Snow() { WeatherCommand(false); }

void Lightning()
{
    if (!InGameOrSay())
        return;
    const int word = TextConsole::ReadOnOff();
    if (word == 1)
        Effects::AddLightning(Effects::Now());
    else if (word == 0)
        Effects::RemoveAllElectricity();
}

void Electricity()
{
    Vec3 start, end;
    if (!TextConsole::ReadPosition(start) || !TextConsole::ReadPosition(end))
        return;
    Effects::ElectricityRequest request;
    request.end = end;
    // The amplitude is given in decimetres; the crackle takes metres.
    request.amplitude = TextConsole::ReadFloat(1.0f) / 10.0f;
    Effects::AddElectricity(Effects::Now(), start, request);
}

void LaserFence()
{
    Vec3 start, end;
    if (TextConsole::ReadPosition(start) && TextConsole::ReadPosition(end))
        Effects::AddLaserFence(start, end);
}

void DeactivateElectricity()
{
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        Effects::DeactivateElectricity(at);
}

void Ring()
{
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    Effects::RingParams params;
    params.sides = TextConsole::ReadInt(10);
    params.minimumRadius = TextConsole::ReadFloat(1.0f);
    params.maximumRadius = TextConsole::ReadFloat(10.0f);
    Effects::AddRing(Effects::Now(), at, params);
}

void Basin()
{
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    Effects::BasinParams params;
    params.sides = TextConsole::ReadInt(10);
    params.lowerRadius = float(TextConsole::SaturatingFloor(TextConsole::ReadFloat(1.0f)));
    params.upperRadius = float(TextConsole::SaturatingFloor(TextConsole::ReadFloat(1.0f)));
    Effects::AddBasin(Effects::Now(), at, params);
}

template <void (*Spawn)(const Vec3&)> void AtPosition()
{
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        Spawn(at);
}

void Explode()
{
    Vec3 at;
    if (TextConsole::ReadPosition(at))
        ParticleEffects::SpawnBigExplosion(at, Effects::Now());
}

void Airstrike()
{
    if (!ScriptMessages::RunsServer())
        return;
    Vec3 first, second;
    if (TextConsole::ReadPosition(first) && TextConsole::ReadPosition(second))
        ScriptMessages::Send(ScriptMessages::Builder(127).Point(first).Point(second));
}

// SMOKE and STOP PARTICLES: one object id to every client.
void ObjectMessage(uint32_t type)
{
    if (!ScriptMessages::RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = nullptr;
    if (TextConsole::ReadObjectById(object))
        ScriptMessages::Send(ScriptMessages::Builder(type).U32(object->GetId()));
}
void Smoke() { ObjectMessage(123); }
void StopParticles() { ObjectMessage(124); }

void ParticleTester()
{
    Vec3 at;
    if (!TextConsole::ReadPosition(at))
        return;
    const int type = ParseParticleType(TextConsole::ReadWord());
    if (EffectCommands::particleTester)
        EffectCommands::particleTester(at, type);
}

// Frames beyond what the receivers accept (the line holds at most this many
// pairs anyway) are not sent.
constexpr int32_t kMaxTextureFrames = 64;

void TextureAnimate()
{
    if (!ScriptMessages::RunsServer())
        return;
    GameState::Hold hold;
    GameObject* object = nullptr;
    if (!TextConsole::ReadObjectById(object))
        return;
    const int32_t count = TextConsole::ReadInt(0);
    if (count < 0) {
        TextConsole::PrintFailure("TEXTURE ANIMATE: the frame count cannot be negative");
        return;
    }
    const int32_t sent = std::min(count, kMaxTextureFrames);
    ScriptMessages::Builder message(130);
    message.U32(object->GetId()).I32(sent);
    for (int32_t i = 0; i < sent; ++i) {
        const float u = TextConsole::ReadFloat(0.0f);
        message.F32(u).F32(TextConsole::ReadFloat(0.0f));
    }
    ScriptMessages::Send(message);
}

void FadeFromBlack()
{
    const int32_t seconds = TextConsole::ReadInt(3);
    Effects::AddScreenFade(float(seconds), {FloatColour(0, 0, 0, 1), FloatColour(0, 0, 0, 0), 0.0f});
}

void FadeToBlack()
{
    const float hold = TextConsole::ReadFloat(0.0f);
    const int32_t seconds = TextConsole::ReadInt(3);
    Effects::AddScreenFade(float(seconds), {FloatColour(0, 0, 0, 0), FloatColour(0, 0, 0, 1), hold});
}

} // namespace

namespace EffectCommands {

void (*particleTester)(const Vec3& position, int type) = nullptr;

void Install()
{
    static constexpr struct {
        const char* name;
        CommandHandler handler;
    } kHandlers[] = {
        {"SUNANGLE", SunAngle},
        {"SUNANGLE2", SunAngle2},
        {"SUNBRIGHTNESS", SunBrightness},
        {"AMBIENT", Ambient},
        {"ADD LIGHT", AddLight},
        {"ADD BLINKING LIGHT", AddBlinkingLight},
        {"LIGHTON", LightOn},
        {"ASSOCIATELIGHT", AssociateLight},
        {"CORONA", Corona},
        {"RAY", Ray},
        {"RAY COLOUR", RayColour},
        {"SPOTLIGHT", Spotlight},
        {"WATER", Water},
        {"LAVA", Lava},
        {"SWAMP", Swamp},
        {"OIL", Oil},
        {"RAISE WATER", RaiseLiquid},
        {"RAISE LAVA", RaiseLiquid},
        {"LOWER WATER", LowerLiquid},
        {"LOWER LAVA", LowerLiquid},
        {"SET WATER SPEED", WaterSpeed},
        {"SET WATER DIRECTION", WaterDirection},
        {"RAIN", Rain},
        {"SNOW", Snow},
        {"LIGHTNING", Lightning},
        {"ELECTRICITY", Electricity},
        {"LASER FENCE", LaserFence},
        {"DEACTIVATE ELECTRICITY", DeactivateElectricity},
        {"RING", Ring},
        {"BASIN", Basin},
        {"EXPLODE", Explode},
        {"EWS", AtPosition<ParticleEffects::SpawnExplosionWithSmoke>},
        {"SPARKS", AtPosition<ParticleEffects::SpawnSparks>},
        {"AIRSTRIKE", Airstrike},
        {"SMOKE", Smoke},
        {"STOP PARTICLES", StopParticles},
        {"PARTICLE TESTER", ParticleTester},
        {"TEXTURE ANIMATE", TextureAnimate},
        {"FADE FROM BLACK", FadeFromBlack},
        {"FADE TO BLACK", FadeToBlack},
    };
    for (const auto& h : kHandlers)
        CommandTable::Provide(h.name, h.handler);
}

} // namespace EffectCommands

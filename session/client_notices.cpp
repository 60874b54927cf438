// The session's own rows of the server messages: the clock speed, texts,
// command files, the scripted camera, the selection, fog, doors, the track
// objects' script settings and the level effects. Every block here already
// kept its size row; each handler still checks the ids, counts and floats
// it uses, and a bad one changes nothing.
#include "session/client_rows.h"

#include "app/app_time.h"
#include "app/clock.h"
#include "app/read_write_lock.h"
#include "media/sound_system.h"
#include "objects/client_effects.h"
#include "objects/typed_objects.h"
#include "session/client_hooks.h"
#include "session/doors.h"
#include "session/level_session.h"
#include "session/level_start.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "session/server_thread.h"
#include "Veapi/particles.h"
#include "Veapi/ve_object.h"
#include "world/collision_polygon.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

ClientHooks& ClientHooks::Get()
{
    static ClientHooks hooks;
    return hooks;
}

namespace Client::detail {
namespace {

constexpr float kNetworkedClockFactor = 0.99f;
constexpr float kObjectLightRange = 5.0f;
constexpr int32_t kSoundBigExplosion = 14, kSoundCombat = 36, kSoundCalm = 37;
constexpr uint32_t kDenseFog = 254;
constexpr float kStrikeAreaPerSpotlight = 2500.0f;
// A strike over a whole level must not stall the frame or flood the effects.
constexpr double kMostSpotlights = 1024.0;
constexpr float kSpeechScale = 0.4f;
constexpr float kAiCombatSeconds = 5.0f, kAiSearchSeconds = 13.0f, kAlertMarkSeconds = 2.0f;

ClientHooks& Hooks() { return ClientHooks::Get(); }



int64_t GameNow() { return AppTime::GameNow(); }

uint64_t TicksAfter(float seconds)
{
    return static_cast<uint64_t>(std::max<int64_t>(GameNow(), 0)) + WorldObject::SecondsToTicks(seconds);
}

// The NUL-terminated text from byte `from` on; the size row saw the NUL.
std::string_view Text(const Words& w, uint32_t from)
{
    const std::span<const uint8_t> bytes = w.Bytes(from);
    const auto nul = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(nul - bytes.begin())};
}

Colour ColourAt(const Words& w, uint32_t index)
{
    Colour c;
    c.packed = w.U(index);
    c.red = w.F(index + 1);
    c.green = w.F(index + 2);
    c.blue = w.F(index + 3);
    c.alpha = w.F(index + 4);
    c.flags = w.U(index + 5);
    return c;
}

// {3, id}
Applied Assign(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    object->Marks().controlledHere = true;
    if (object->Side() != ClientServices::Get().OwnSide())
        return Applied::kApplied;
    auto& squad = WorldObjectTable::SquadList();
    if (std::find(squad.begin(), squad.end(), object) == squad.end())
        squad.push_back(object);
    if (Hooks().unitPanel)
        Hooks().unitPanel(*object);
    return Applied::kApplied;
}

// {44, id, alert slot or -1}
Applied Alert(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object || w.I(2) < -1)
        return Applied::kRefused;
    if (!object->IsBusy())
        object->Marks().alertSlot = w.I(2);
    return Applied::kApplied;
}

// 64 combat, 65 calm, 66 searching: {type, id}
Applied AiState(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    ReplicaMarks& marks = object->Marks();
    switch (w.U(0)) {
    case 64:
        marks.aiState = 2;
        marks.aiStateUntil = TicksAfter(kAiCombatSeconds);
        if (object->IsAlive())
            marks.alertMarkUntil =
                AppTime::RealNow() + static_cast<int64_t>(kAlertMarkSeconds * static_cast<float>(AppTime::TicksPerSecond()));
        PlaySound(kSoundCombat);
        break;
    case 65:
        marks.aiState = 0;
        marks.aiStateUntil = 0;
        PlaySound(kSoundCalm);
        break;
    default:
        marks.aiState = 1;
        marks.aiStateUntil = TicksAfter(kAiSearchSeconds);
        break;
    }
    // The emitter carries the calm state for whoever draws it.
    if (ParticleEmitter* emitter = object->Corona())
        emitter->SetOwnerMark(w.U(0) == 65);
    return Applied::kApplied;
}

// {70, name, NUL}: the machine that runs the server queued the file itself.
Applied CommandFile(const Words& w)
{
    if (Server::IsRunning())
        return Applied::kNotHere;
    const std::string_view name = Text(w, 4);
    // Named by the host: a bare name, found only in the scripts folder.
    if (!LevelStart::IsSafeDataName(name) || name.find_first_of("/\\") != std::string_view::npos)
        return Applied::kRefused;
    const std::string copy(name);
    CommandFileQueue.Push(copy.c_str(), static_cast<uint32_t>(copy.size() + 1));
    return Applied::kApplied;
}

// 71 always, 75 unless the point lies under dense fog: {type, point}
Applied BigExplosion(const Words& w)
{
    if (!w.Finite(1, 3))
        return Applied::kRefused;
    const Vec3 point = w.Point(1);
    bool shown = true;
    if (w.U(0) == 75)
        shown = !UnderDenseFog(point);
    if (shown && Hooks().bigExplosion)
        Hooks().bigExplosion(point, GameNow());
    PlaySound(kSoundBigExplosion);
    return Applied::kApplied;
}

Applied Defeated(const Words&)
{
    if (Hooks().sideDefeated)
        Hooks().sideDefeated();
    return Applied::kApplied;
}

// 96 {96, speed, sequence} (answered), 97 {97, speed}.
Applied Speed(const Words& w)
{
    float speed = w.F(1);
    // The clock never runs backwards or on a non-number.
    if (!std::isfinite(speed) || speed < 0.0f)
        speed = 0.0f;
    const bool networked = DirectPlaySession() != nullptr;
    Server::ClientClock().SetSpeed(networked ? speed * kNetworkedClockFactor : speed);
    if (w.U(0) == 96) {
        uint8_t answer[8];
        StoreU32(answer, MessageType::kSpeedAnswer);
        StoreU32(answer + 4, w.U(2));
        SendToServer(answer, sizeof answer,
                     MessageSizes::IsGuaranteed(MessageSizes::Direction::kToServer, MessageType::kSpeedAnswer));
    }
    char text[64];
    std::snprintf(text, sizeof text, "Game speed set to %.2f", static_cast<double>(speed));
    Print(text);
    return Applied::kApplied;
}

// {101, text, NUL}
Applied TextMessage(const Words& w)
{
    const std::string text(Text(w, 4));
    Print(text.c_str());
    return Applied::kApplied;
}

// {102, id, four points, end orientation, carries riders}
Applied Track(const Words& w)
{
    auto* track = dynamic_cast<TypedObject8*>(Object(w));
    if (!track || !w.Finite(2, 16))
        return Applied::kRefused;
    const Vec3 points[4] = {w.Point(2), w.Point(5), w.Point(8), w.Point(11)};
    const std::span<const uint8_t> flag = w.Bytes(72);
    track->SetPartHierarchy(points, w.Rotation(14), !flag.empty() && flag[0] != 0);
    return Applied::kApplied;
}

// {103, 3 x 4 placement, rate}
Applied CameraMove(const Words& w)
{
    if (!w.Finite(1, 13))
        return Applied::kRefused;
    float placement[12];
    for (uint32_t i = 0; i < 12; ++i)
        placement[i] = w.F(1 + i);
    if (Hooks().cameraMove)
        Hooks().cameraMove(placement, w.F(13));
    return Applied::kApplied;
}

// {104, id, factor}
Applied TrackSpeed(const Words& w)
{
    auto* track = dynamic_cast<TypedObject8*>(Object(w));
    const float speed = w.F(2) / 10.0f;
    // A track runs forwards at a finite pace; anything else would leave the
    // lift's path for good.
    if (!track || !std::isfinite(speed) || !(speed > 0.0f))
        return Applied::kRefused;
    track->SetSpeed(speed);
    return Applied::kApplied;
}

// {105, id, seconds}
Applied TrackLoop(const Words& w)
{
    auto* track = dynamic_cast<TypedObject8*>(Object(w));
    if (!track || std::isnan(w.F(2)))
        return Applied::kRefused;
    // Clamped before the conversion: a huge or negative time saturates.
    track->SetLoopInterval(WorldObject::SecondsToTicks(w.F(2)));
    return Applied::kApplied;
}

// {112, id, text, NUL}; the message is freed after the drain, the screen
// message keeps its own copy.
Applied Speak(const Words& w)
{
    WorldObject* speaker = Object(w);
    if (!speaker)
        return Applied::kRefused;
    if (Hooks().speak)
        Hooks().speak(*speaker, std::string(Text(w, 8)), kSpeechScale);
    return Applied::kApplied;
}

void ControlsOff()
{
    if (Hooks().controlsOff)
        Hooks().controlsOff();
}

// {113, id}
Applied SelectAndTrack(const Words& w)
{
    ControlsOff();
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    if (Hooks().selectAndTrack)
        Hooks().selectAndTrack(*object);
    return Applied::kApplied;
}

// {114, id}: the rest of the squad boards the named object.
Applied Board(const Words& w)
{
    ControlsOff();
    WorldObject* target = Object(w);
    if (!target)
        return Applied::kRefused;
    std::vector<WorldObject*> group;
    for (WorldObject* member : WorldObjectTable::SquadList()) {
        if (member != target && member->IsSelectable() && member->IsAlive() && member->GetCharacter())
            group.push_back(member);
    }
    if (const CollisionPolygon* node = target->GetPolygon(); node && !group.empty())
        MovingObject::SendGroupOrder(group, node->tableIndex_, -1, false, false);
    if (Hooks().clearSelection)
        Hooks().clearSelection();
    return Applied::kApplied;
}

// {115, point, radius, kind (low 16 bits) | seconds (high 16 bits)}
Applied FogClear(const Words& w)
{
    if (!w.Finite(1, 4) || w.F(4) < 0.0f)
        return Applied::kRefused;
    ClearFog(w.Point(1), w.F(4), static_cast<uint32_t>(static_cast<int16_t>(w.U(5) & 0xFFFFu)),
             static_cast<float>(w.U(5) >> 16));
    return Applied::kApplied;
}

// 116 on, 117 off: {type, id}
Applied Defogger(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    object->SetDefogger(w.U(0) == 116);
    return Applied::kApplied;
}

// {120, id}
Applied LandscapeLists(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    if (VeObject* shape = object->Shape())
        shape->ReleaseBounds();
    return Applied::kApplied;
}

// 121 open, 122 close: {type, door number}
Applied Door(const Words& w)
{
    const int32_t number = w.I(1);
    return Ok(w.U(0) == Doors::kOpenMessage ? Doors::Open(number) : Doors::Close(number));
}

// Messages naming one replica for a hook above: 123, 128, 129.
Applied ObjectHook(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    const ClientHooks& hooks = Hooks();
    const auto& hook = w.U(0) == 123 ? hooks.smoke : w.U(0) == 128 ? hooks.addToSelection : hooks.addShadow;
    if (hook)
        hook(*object);
    return Applied::kApplied;
}

// 125 {point, colour}; 126 {point, colour, colour, period}
Applied PulsingLight(const Words& w)
{
    const bool blinking = w.U(0) == 126;
    if (!w.Finite(1, 3) || (blinking && !std::isfinite(w.F(16))))
        return Applied::kRefused;
    const Colour first = ColourAt(w, 4);
    const Colour second = blinking ? ColourAt(w, 10) : first;
    if (Hooks().pulsingLight)
        Hooks().pulsingLight(blinking, w.Point(1), first, second, blinking ? w.F(16) : 1.0f);
    return Applied::kApplied;
}

bool PolygonBelow(const Vec3& point)
{
    if (Hooks().polygonBelow)
        return Hooks().polygonBelow(point);
    Level* level = Level::Current();
    if (!level)
        return false;
    LockGuard guard(level->lock_, false);
    return level->FindPolygonAtPosition(point) != nullptr;
}

float RandomSigned()
{
    LockGuard guard(Particles::Lock(), true);
    return Particles::Random().NextSigned();
}

// {127, corner, corner}: spotlights scattered over the area, then the blasts.
Applied AreaStrike(const Words& w)
{
    if (!w.Finite(1, 6))
        return Applied::kRefused;
    const Vec3 first = w.Point(1), second = w.Point(4);
    const float dx = second.x - first.x, dz = second.z - first.z;
    // Finite corners can still lie further apart than a float reaches.
    if (!std::isfinite(dx) || !std::isfinite(dz))
        return Applied::kRefused;
    const double area = std::fabs(static_cast<double>(dx) * static_cast<double>(dz));
    const auto count =
        static_cast<int32_t>(std::clamp(std::floor(area / kStrikeAreaPerSpotlight + 0.5), 1.0, kMostSpotlights));
    const int64_t now = GameNow();
    for (int32_t i = 0; i < count; ++i) {
        const float across = std::fabs(RandomSigned() * RandomSigned());
        const float along = std::fabs(RandomSigned() * RandomSigned());
        const Vec3 point{first.x + across * dx, first.y, first.z + along * dz};
        if (PolygonBelow(point) && Hooks().spotlight)
            Hooks().spotlight(point, now);
    }
    if (Hooks().explosionArea)
        Hooks().explosionArea(first, second);
    return Applied::kApplied;
}

// {130, id, n, n (u, v) pairs}; the size row holds n pairs.
Applied TextureAnimation(const Words& w)
{
    WorldObject* object = Object(w);
    const uint32_t count = w.U(2);
    if (!object || count > std::numeric_limits<int32_t>::max() || !w.Finite(3, 2 * count))
        return Applied::kRefused;
    std::vector<float> pairs(2 * static_cast<size_t>(count));
    for (uint32_t i = 0; i < 2 * count; ++i)
        pairs[i] = w.F(3 + i);
    if (Hooks().textureAnimation)
        Hooks().textureAnimation(*object, static_cast<int32_t>(count), pairs.data());
    return Applied::kApplied;
}

// {111, id}: the replica's own light, warm white within 5 m, and a glow
// of the same colour that follows it.
Applied ObjectLight(const Words& w)
{
    constexpr float kGlowAlpha = 0.6f;
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    Colour colour, specular;
    colour.Set(1.0f, 0.9f, 0.7f, 1.0f);
    specular.Set(0.0f, 0.0f, 0.0f, 1.0f);
    object->SetLight(colour, specular, kObjectLightRange);
    if (const auto create = ClientEffects().createCorona) {
        Colour glow;
        glow.Set(colour.red, colour.green, colour.blue, kGlowAlpha);
        object->KeepLightEmitter(create(object->Position(), glow));
    }
    return Applied::kApplied;
}

// {124, id}: the light and its glow go out.
Applied ObjectLightOff(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object)
        return Applied::kRefused;
    object->RemoveLight();
    object->StopLightEmitter();
    return Applied::kApplied;
}

// {131, id, linked id or -1, colour (six words), part name, NUL}
Applied Corona(const Words& w)
{
    WorldObject* object = Object(w);
    if (!object || !w.Finite(4, 4))
        return Applied::kRefused;
    const std::string part(Text(w, 36));
    object->AddCorona(part.c_str(), ColourAt(w, 3));
    if (w.I(2) != -1)
        if (auto* track = dynamic_cast<TypedObject8*>(WorldObjectTable::FindById(w.U(2))))
            track->SetLinkedObject(object->GetId());
    return Applied::kApplied;
}

// {132, exit 0 to 3}
Applied EscortGoal(const Words& w)
{
    static constexpr const char* kExits[] = {
        "Take the president to the north-west exit.",
        "Take the president to the north-east exit.",
        "Take the president to the south-east exit.",
        "Take the president to the south-west exit.",
    };
    if (w.U(1) < std::size(kExits))
        Print(kExits[w.U(1)]);
    return Applied::kApplied;
}

} // namespace

void Print(const char* text)
{
    if (Hooks().print)
        Hooks().print(text);
    else if (Session::Hooks().print)
        Session::Hooks().print(text);
}

void ClearFog(const Vec3& position, float radius, uint32_t kind, float seconds)
{
    FogOfWar* fog = FogOfWar::Global();
    if (!fog)
        return;
    auto point = std::make_unique<FogClearPoint>();
    point->position = position;
    point->radius = radius;
    point->kind = kind;
    const uint64_t ticks = WorldObject::SecondsToTicks(seconds);
    point->remaining = static_cast<int32_t>(std::min<uint64_t>(ticks >> 10, std::numeric_limits<int32_t>::max()));
    fog->AddClearPoint(std::move(point));
}

void PlaySoundAt(int32_t sound, const Vec3& point)
{
    if (sound == 0)
        return;
    if (Hooks().playSoundAt)
        Hooks().playSoundAt(sound, point);
    else if (SoundSystem* system = SoundSystem::Global())
        system->Play(sound, "d", {&point});
}

bool UnderDenseFog(const Vec3& point)
{
    const FogOfWar* fog = FogOfWar::Global();
    return fog && fog->VisibilityAt(point) >= kDenseFog;
}

void PlaySound(int32_t sound)
{
    if (Hooks().playSound)
        Hooks().playSound(sound);
    else if (SoundSystem* system = SoundSystem::Global())
        system->Play(sound, "");
}

void AddSessionRows(Table& table)
{
    table[3] = Assign;
    table[44] = Alert;
    table[64] = table[65] = table[66] = AiState;
    table[70] = CommandFile;
    table[71] = table[75] = BigExplosion;
    table[95] = Defeated;
    table[96] = table[97] = Speed;
    table[101] = TextMessage;
    table[102] = Track;
    table[103] = CameraMove;
    table[104] = TrackSpeed;
    table[105] = TrackLoop;
    table[112] = Speak;
    table[113] = SelectAndTrack;
    table[114] = Board;
    table[115] = FogClear;
    table[116] = table[117] = Defogger;
    table[120] = LandscapeLists;
    table[121] = table[122] = Door;
    table[123] = table[128] = table[129] = ObjectHook;
    table[125] = table[126] = PulsingLight;
    table[127] = AreaStrike;
    table[130] = TextureAnimation;
    table[111] = ObjectLight;
    table[124] = ObjectLightOff;
    table[131] = Corona;
    table[132] = EscortGoal;
}

} // namespace Client::detail

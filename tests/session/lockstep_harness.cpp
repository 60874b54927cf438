#include "tests/session/lockstep_harness.h"

#include "media/sound_system.h"
#include "objects/actor.h"
#include "objects/ai.h"
#include "objects/think_routines.h"
#include "objects/inventory.h"
#include "objects/role_table.h"
#include "objects/weapon_state.h"
#include "tests/objects/navigation_fixture.h"
#include "objects/object_registry.h"
#include "objects/server_classes.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "Veapi/ve_shape.h"
#include "session/message_queue.h"
#include "session/projectile_launch.h"
#include "session/request_table.h"
#include "session/server_objects.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// A lift's floor: polygons of a class the ground lacks, standing a hand
// above the lift's own placement (y grows downward).
constexpr int32_t kLiftClass = 0x2000;
constexpr float kPlatformRise = -0.1f;

constexpr uint64_t kP1 = 11400714785074694791ULL, kP2 = 14029467366897019727ULL, kP3 = 1609587929392839161ULL,
                   kP4 = 9650029242287828579ULL, kP5 = 2870177450012600261ULL;

uint64_t Read64(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

uint32_t Read32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

uint64_t Round(uint64_t acc, uint64_t input) { return std::rotl(acc + input * kP2, 31) * kP1; }
uint64_t Merge(uint64_t acc, uint64_t value) { return (acc ^ Round(0, value)) * kP1 + kP4; }

// The wanderer of the scenarios (AI type 1): every half second a step of up
// to a metre drawn from the AI generator.
int32_t Wander(GameObject& object, uint64_t now)
{
    if (now < object.nextThink_)
        return 0;
    object.nextThink_ = now + Lockstep::kTicksPerSecond / 2;
    const auto step = [] { return static_cast<float>(AiRandom::Next() % 2001) / 1000.0f - 1.0f; };
    const float dx = step(), dz = step();
    object.SetPosition(object.Position() + Vec3{dx, 0, dz});
    return 0;
}

} // namespace

void UninstallActorClasses()
{
    RequestTable::ResetRows();
    ServerClasses::Set(0, nullptr);
    ServerClasses::SetCharacterMaker(nullptr);
    Server::SetProjectileMaker(nullptr);
}

uint64_t XxHash64(std::span<const uint8_t> bytes, uint64_t seed)
{
    const uint8_t* p = bytes.data();
    const uint8_t* const end = p + bytes.size();
    uint64_t h;
    if (bytes.size() >= 32) {
        uint64_t v[4] = {seed + kP1 + kP2, seed + kP2, seed, seed - kP1};
        for (; end - p >= 32; p += 32)
            for (int i = 0; i < 4; ++i)
                v[i] = Round(v[i], Read64(p + 8 * i));
        h = std::rotl(v[0], 1) + std::rotl(v[1], 7) + std::rotl(v[2], 12) + std::rotl(v[3], 18);
        for (uint64_t lane : v)
            h = Merge(h, lane);
    } else {
        h = seed + kP5;
    }
    h += bytes.size();
    for (; end - p >= 8; p += 8)
        h = std::rotl(h ^ Round(0, Read64(p)), 27) * kP1 + kP4;
    if (end - p >= 4) {
        h = std::rotl(h ^ (uint64_t(Read32(p)) * kP1), 23) * kP2 + kP3;
        p += 4;
    }
    for (; p < end; ++p)
        h = std::rotl(h ^ (uint64_t(*p) * kP5), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    h ^= h >> 32;
    return h;
}

std::vector<std::function<void()>>& Lockstep::GeneratorResets()
{
    static std::vector<std::function<void()>> resets = {&SoundSystem::ResetRandom};
    return resets;
}

Lockstep::Lockstep()
{
    ObjectTrackers::Clear();
    RemoteDeviceTable::Clear();
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    Server::ResetObjectTables();
    ServerRandom::Get().Reset();
    AiRandom::Get().Reset();
    for (const auto& reset : GeneratorResets())
        reset();
    ClientToServerQueue.Clear();
    ServerToClientQueue.Clear();
    TeamTable::Build(4, 1, 0);
    RoleTable::Global().Clear();
    RoleTable::Global().ResetIds();
    script::RecordTables::Global().Clear();
    Ai::SetRoutine(1, &Wander);

    ServerLink link;
    link.send = [](const void* message, uint32_t size, bool) {
        ServerToClientQueue.Push(message, size);
        return true;
    };
    link.spawn = [](int32_t side, script::Role* role, const Vec3& p, const Quaternion& q) {
        return Server::SpawnObject(side, role, p, q);
    };
    link.broadcastCommandFile = [](std::string_view) { return true; };
    link.ticksPerSecond = [] { return kTicksPerSecond; };
    link.now = [this] { return now_; };
    ServerLink::Install(std::move(link));
}

Lockstep::~Lockstep()
{
    ObjectTrackers::Clear();
    RemoteDeviceTable::Clear();
    AiPlayerSlots::Clear();
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    Ai::InstallRoutines();
    if (floor_ && Level::Current() == floor_->level.get())
        Level::Current() = nullptr;
    floor_.reset();
    ServerLink::Install({});
    TeamTable::Clear();
    RoleTable::Global().Clear();
    script::RecordTables::Global().Clear();
    ClientToServerQueue.Clear();
    ServerToClientQueue.Clear();
}

void Lockstep::Request(std::span<const uint8_t> bytes)
{
    ClientToServerQueue.Push(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void Lockstep::Pass()
{
    for (GameMessage request = ClientToServerQueue.Pop(); !request.IsEmpty(); request = ClientToServerQueue.Pop()) {
        if (onRequest)
            onRequest({request.Data(), request.Size()});
    }
    now_ += kPassTicks;
    const float seconds = static_cast<float>(static_cast<double>(now_) / kTicksPerSecond);
    Server::RunObjectPass(now_, seconds);
    std::vector<std::vector<uint8_t>> drained;
    for (GameMessage m = ServerToClientQueue.Pop(); !m.IsEmpty(); m = ServerToClientQueue.Pop())
        drained.emplace_back(m.Data(), m.Data() + m.Size());
    if (onDrained)
        onDrained(drained, now_, seconds);
    CheckInvariants();
    checksums_.push_back(Checksum(drained));
    for (auto& m : drained)
        messages_.push_back(std::move(m));
}

uint64_t Lockstep::Checksum(std::span<const std::vector<uint8_t>> drained) const
{
    std::vector<uint8_t> bytes;
    WriteState(bytes);
    trevok::ByteWriter writer(bytes);
    for (const auto& m : drained)
        writer.Bytes(m);
    return XxHash64(bytes, checksums_.size());
}

uint64_t Lockstep::StateChecksum() const
{
    std::vector<uint8_t> bytes;
    WriteState(bytes);
    return XxHash64(bytes, 0);
}

void Lockstep::WriteState(std::vector<uint8_t>& bytes)
{
    std::vector<GameObject*> objects = ObjectRegistry::Global().Snapshot();
    std::sort(objects.begin(), objects.end(), [](auto* a, auto* b) { return a->GetId() < b->GetId(); });
    trevok::ByteWriter writer(bytes);
    for (const GameObject* o : objects) {
        writer.U32(o->GetId());
        writer.I32(o->Side());
        writer.I32(o->HitPoints());
        writer.U32(o->flags_);
        writer.I32(o->aiState_);
        writer.U64(o->nextThink_);
        for (float f : {o->Position().x, o->Position().y, o->Position().z, o->Orientation().x, o->Orientation().y,
                        o->Orientation().z, o->Orientation().w})
            writer.F32(f);
    }
}

void Lockstep::CheckInvariants()
{
    const auto report = [this](std::string what) {
        broken_.push_back("pass " + std::to_string(checksums_.size()) + ": " + std::move(what));
    };
    const std::vector<GameObject*> objects = ObjectRegistry::Global().Snapshot();
    if (objects.size() != ObjectRegistry::Global().Count())
        report("the registry count differs from its buckets");
    for (const GameObject* o : objects) {
        const std::string id = "object " + std::to_string(o->GetId());
        if (ObjectRegistry::Global().Find(o->GetId()) != o)
            report(id + " is not found by its id");
        // A dead actor may stay filed (its destructibility record decides).
        if (o->IsRemoved())
            report(id + " is removed but still filed");
        const Vec3& p = o->Position();
        const Quaternion& q = o->Orientation();
        for (float f : {p.x, p.y, p.z, q.x, q.y, q.z, q.w})
            if (!std::isfinite(f))
                report(id + " has a NaN or infinite placement");
        if (o->HitPoints() < 0)
            report(id + " has negative hit points");
    }
    for (const auto& check : invariants) {
        std::string text = check();
        if (!text.empty())
            report(std::move(text));
    }
}

// Scenario lines, one step each ('#' starts a comment):
//   role NAME strength N [armour N] [ai N] [blast DAMAGE RANGE] [replace ROLE] [removes]
//        [platform WIDTH DEPTH] (a lift's floor) [rides] (carried by lifts)
//   spawn ROLE SIDE X Y Z        (a level object, typed at time 0)
//   slot SIDE                    (that side's team thinks in the AI pass)
//   damage ID AMOUNT
//   noise X Y Z VALUE
//   request WORD...              (integers, or floats with a '.')
//   passes N
//   track ID X0 Y0 Z0 X1 Y1 Z1 X2 Y2 Z2 X3 Y3 Z3   (a path mover's curve, started at once)
bool Lockstep::LoadScenario(const std::filesystem::path& file, std::string& error)
{
    std::ifstream in(file);
    if (!in) {
        error = file.string() + ": cannot be opened";
        return false;
    }
    static const std::map<std::string, std::pair<size_t, size_t>> kArity = {
        {"role", {3, 64}}, {"spawn", {5, 5}}, {"slot", {1, 1}},      {"damage", {2, 2}},
        {"noise", {4, 4}}, {"passes", {1, 1}}, {"request", {1, 64}},
        {"flag", {4, 4}},  {"item", {6, 6}},   {"takeflag", {2, 2}}, {"floor", {2, 2}},
        {"key", {1, 1}},   {"track", {13, 13}},
    };
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (const size_t hash = text.find('#'); hash != std::string::npos)
            text.resize(hash);
        std::istringstream words(text);
        Step step;
        step.line = line;
        if (!(words >> step.verb))
            continue;
        for (std::string w; words >> w;)
            step.words.push_back(w);
        const auto at = file.string() + ":" + std::to_string(line) + ": ";
        const auto arity = kArity.find(step.verb);
        if (arity == kArity.end()) {
            error = at + "unknown step \"" + step.verb + "\"";
            return false;
        }
        if (step.words.size() < arity->second.first || step.words.size() > arity->second.second) {
            error = at + "\"" + step.verb + "\" takes " + std::to_string(arity->second.first) + " to " +
                    std::to_string(arity->second.second) + " words";
            return false;
        }
        for (size_t i = step.verb == "role" ? 1 : 0; i < step.words.size(); ++i) {
            const std::string& w = step.words[i];
            const bool isName = step.verb == "role" || (step.verb == "spawn" && i == 0);
            if (isName)
                continue;
            char* endp = nullptr;
            std::strtod(w.c_str(), &endp);
            if (endp == w.c_str() || *endp != '\0') {
                error = at + "\"" + w + "\" is not a number";
                return false;
            }
        }
        if (step.verb == "spawn" && !roleNames_.count(step.words[0])) {
            error = at + "no role named \"" + step.words[0] + "\"";
            return false;
        }
        if (step.verb == "role")
            roleNames_[step.words[0]] = nullptr;  // known from here on; made when run
        steps_.push_back(std::move(step));
    }
    return true;
}

script::Role* Lockstep::RoleNamed(const std::string& name)
{
    auto it = roleNames_.find(name);
    return it == roleNames_.end() ? nullptr : it->second;
}

void Lockstep::RunStep(const Step& step)
{
    const auto num = [&](size_t i) { return std::stod(step.words[i]); };
    const auto integer = [&](size_t i) { return static_cast<int32_t>(num(i)); };
    if (step.verb == "role") {
        script::Role& role = roles_.emplace_back();
        role.id = static_cast<int32_t>(roles_.size()) - 1;
        role.identifier = step.words[0];
        role.character.emplace();
        role.character->weapon = 2147483647;
        role.character->secondaryWeapon = 2147483647;
        role.character->hearingRangeSquared = 400.0f;
        for (size_t i = 1; i < step.words.size(); ++i) {
            const std::string& key = step.words[i];
            const auto next = [&] { return i + 1 < step.words.size() ? std::stod(step.words[++i]) : 0.0; };
            if (key == "strength")
                role.character->strength = static_cast<int32_t>(next());
            else if (key == "armour")
                role.armour = static_cast<int32_t>(next());
            else if (key == "ai")
                role.aiType = static_cast<int32_t>(next());
            else if (key == "blast") {
                role.destruction.emplace();
                role.destruction->kind = script::DestructionKind::kFragData;
                role.destruction->blastDamage = static_cast<int32_t>(next());
                role.destruction->blastRange = static_cast<float>(next());
            } else if (key == "walk")  // metres a second
                role.character->walkingSpeed = static_cast<int32_t>(next() * 65536);
            else if (key == "turn")  // 4096ths a second
                role.character->turningSpeed = static_cast<int32_t>(next());
            else if (key == "customised")  // any shape stands for the customisation hierarchy
                role.character->customisationShape.shape = std::make_shared<int>(0);
            else if (key == "canturn")
                role.character->canTurn = true;
            else if (key == "sight")
                role.character->sightRange = static_cast<float>(next());
            else if (key == "size") {
                role.character->height = static_cast<float>(next());
                role.character->radius = static_cast<float>(next());
            } else if (key == "elevation")  // 4096ths
                role.character->elevationAngle = static_cast<int32_t>(next());
            else if (key == "aim")
                role.character->aim = static_cast<int32_t>(next());
            else if (key == "weapon")
                role.character->weapon = static_cast<int32_t>(next());
            else if (key == "pickup") {  // an ammunition pick-up of the weapon type, worth N rounds
                role.character->weapon = static_cast<int32_t>(next());
                role.character->aggression = 0.7f;
                role.character->walkingSpeed = static_cast<int32_t>(next() * 65536);
                RoleTable::Global().File(role);
            } else if (key == "shot") {  // damage, range in metres
                role.projectile.emplace();
                role.projectile->damage = static_cast<int32_t>(next());
                const double range = next();
                role.projectile->maxRange = static_cast<float>(range * range);
            } else if (key == "ballistic" && role.projectile)
                role.projectile->gravity = true;
            else if (key == "burst" && role.projectile) {  // blast damage, range in metres
                role.projectile->blastDamage = static_cast<int32_t>(next());
                const double range = next();
                role.projectile->blastRangeSquared = static_cast<float>(range * range);
            } else if (key == "fires" && i + 2 < step.words.size()) {  // projectile role, muzzle speed
                script::WeaponEntry entry;
                entry.projectile = RoleNamed(step.words[++i]);
                entry.firingSpeed = static_cast<float>(next());
                entry.roundTime = 0.5f;
                entry.reloadTime = 1.0f;
                entry.magazineSize = entry.salvoSize = 10;
                const int32_t weapon = role.character->weapon;
                script::RecordTables::Global().StoreWeapon(weapon, WeaponState::DefaultAmmoFor(weapon), entry);
            } else if (key == "removes" && role.destruction)
                role.destruction->replace = true;
            else if (key == "replace" && role.destruction && i + 1 < step.words.size())
                role.destruction->replaceRole = RoleNamed(step.words[++i]);
            else if (key == "sightangle")  // 4096ths either side of the facing
                role.character->sightAngle = static_cast<int32_t>(next());
            else if (key == "alert")  // the alarm circle's radius in metres
                role.character->alertRadius = static_cast<float>(next());
            else if (key == "cycle")  // seconds between target changes
                role.character->targetCycleTime = static_cast<float>(next());
            else if (key == "hearing") {
                role.character->hearingRange = static_cast<float>(next());
                role.character->hearingRangeSquared = role.character->hearingRange * role.character->hearingRange;
            } else if (key == "aggression")
                role.character->aggression = static_cast<float>(next());
            else if (key == "limit")  // a device's or a bomb's blast damage
                role.limit = static_cast<int32_t>(next());
            else if (key == "generation")
                role.character->generationLimit = static_cast<int32_t>(next());
            else if (key == "alertable")
                role.character->alertable = true;
            else if (key == "spawns" && i + 1 < step.words.size())
                role.severPoints.push_back(step.words[++i]);
            else if (key == "rides")  // carried by lifts it stands on
                role.flags |= script::kRoleMovesOnLifts;
            else if (key == "platform") {  // width, depth: a lift floor of class polygons a hand above its feet
                const float w = static_cast<float>(next()) / 2, d = static_cast<float>(next()) / 2;
                auto* shape = new VeShape;
                shape->geometry_ = std::make_unique<ShapeGeometry>();
                shape->geometry_->points = {{-w, kPlatformRise, -d}, {w, kPlatformRise, -d}, {w, kPlatformRise, d},
                                            {-w, kPlatformRise, d}};
                GeometryQuad quad;
                quad.corners[0] = 0, quad.corners[1] = 1, quad.corners[2] = 2, quad.corners[3] = 3;
                quad.normal = {0, -1, 0};
                quad.flags = kLiftClass;
                shape->geometry_->quads.push_back(quad);
                role.shape.shape = std::shared_ptr<void>(shape, [](void* v) { static_cast<VeShape*>(v)->Release(); });
            } else if (key == "named")  // found by name (spawners, creatures)
                RoleTable::Global().File(role);
        }
        roleNames_[step.words[0]] = &role;
    } else if (step.verb == "spawn") {
        const int32_t id = Server::CreateLevelObject(integer(1), RoleNamed(step.words[0]),
                                                     {float(num(2)), float(num(3)), float(num(4))},
                                                     Quaternion::Identity());
        if (GameObject* o = id < 0 ? nullptr : ObjectRegistry::Global().Find(static_cast<uint32_t>(id))) {
            o->Activate(now_, static_cast<float>(static_cast<double>(now_) / kTicksPerSecond));
            if (onLevelObject)
                onLevelObject(*o);
        }
    } else if (step.verb == "track") {
        if (GameObject* o = ObjectRegistry::Global().Find(static_cast<uint32_t>(integer(0)))) {
            Vec3 points[4];
            for (size_t i = 0; i < 4; ++i)
                points[i] = {float(num(1 + 3 * i)), float(num(2 + 3 * i)), float(num(3 + 3 * i))};
            o->SetTrack(points, o->Orientation(), true);
            o->StartTrack();
        }
    } else if (step.verb == "floor") {  // width, depth: a flat, linked floor of 1 m squares at y 0
        floor_ = std::make_unique<navtest::GridLevel>(navtest::MakeGridLevel(
            std::vector<std::string>(static_cast<size_t>(integer(1)), std::string(static_cast<size_t>(integer(0)), '.'))));
        Level::Current() = floor_->level.get();
    } else if (step.verb == "flag") {  // side, home x y z: the side's flag stands at its home
        if (TeamRecord* record = TeamTable::Find(integer(0))) {
            record->flagHome = {float(num(1)), float(num(2)), float(num(3))};
            record->flag = std::make_unique<TeamFlag>(float(num(1)), float(num(2)), float(num(3)), now_);
        }
    } else if (step.verb == "item") {  // actor, kind, subtype, item id, count, amount
        GameObject* o = ObjectRegistry::Global().Find(static_cast<uint32_t>(integer(0)));
        if (Inventory* inventory = o ? o->GetInventory() : nullptr) {
            CarriedItem item;
            item.kind = integer(1);
            item.subtype = integer(2);
            item.id = integer(3);
            item.count = static_cast<uint32_t>(integer(4));
            item.amount = integer(5);
            item.roleId = item.kind == ItemKind::kAmmoStack ? -item.subtype : -1;
            inventory->Add(item);
        }
    } else if (step.verb == "takeflag") {
        if (auto* actor = dynamic_cast<Actor*>(ObjectRegistry::Global().Find(static_cast<uint32_t>(integer(0)))))
            actor->TakeFlag(integer(1));
    } else if (step.verb == "key") {  // F1..F10 on a device slot
        RemoteDeviceTable::Trigger(integer(0), now_);
    } else if (step.verb == "slot") {
        AiPlayerSlots::Add(integer(0));
    } else if (step.verb == "damage") {
        if (GameObject* o = ObjectRegistry::Global().Find(static_cast<uint32_t>(integer(0))))
            o->TakeDamage(integer(1));
    } else if (step.verb == "noise") {
        ObjectTrackers::Add(integer(3), 3, {float(num(0)), float(num(1)), float(num(2))}, {0, 0, 0},
                            now_ + kTicksPerSecond, now_);
    } else if (step.verb == "request") {
        std::vector<uint8_t> bytes;
        trevok::ByteWriter writer(bytes);
        for (const std::string& w : step.words) {
            if (w.find('.') != std::string::npos)
                writer.F32(std::stof(w));
            else
                writer.U32(static_cast<uint32_t>(std::stoll(w)));
        }
        Request(bytes);
    } else if (step.verb == "passes") {
        for (int32_t i = 0; i < integer(0); ++i)
            Pass();
    }
}

void Lockstep::Run()
{
    for (const Step& step : steps_)
        RunStep(step);
}

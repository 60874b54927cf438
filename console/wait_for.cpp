#include "console/wait_for.h"

#include "console/named_values.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <iterator>
#include <strings.h>

namespace WaitFor {
namespace {

WaitForWorld g_nothing;
WaitForWorld* g_world = &g_nothing;

// The installed condition and what its parse steps took.
struct State {
    std::string text;
    Check check = nullptr;
    FreeStep free = nullptr;
    bool invert = false;
    float heading = 0, elevation = 0, zoom = 0;
    Vec3 focus{0, 0, 0};
    uint32_t actor = 0;
    bool friendly = false, removed = false;
    uint32_t target = 0;
    std::vector<uint32_t> roleObjects;
    std::string roleName;
    std::vector<Vec3> snapshot;
    bool all = false;
};
State g;

const WaitForWorld& World() { return *g_world; }

bool Contains(const std::vector<uint32_t>& ids, uint32_t id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

bool SamePoint(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// A named value as an object id.
bool NamedId(const std::string& name, uint32_t& id)
{
    float value = 0;
    if (!NamedValueList::Global().Get(name, value))
        return false;
    const float rounded = std::nearbyint(value);
    if (!(rounded >= 0.0f && rounded <= 4294967295.0f))
        return false;
    id = static_cast<uint32_t>(rounded);
    return true;
}

// The squad character a named value names; 0 when there is none.
uint32_t SquadMember(const char* name)
{
    uint32_t id = 0;
    return NamedId(name, id) && Contains(World().Squad(), id) ? id : 0;
}

const char* SkipBlanks(const char* text)
{
    while (text && (*text == ' ' || *text == '\t'))
        ++text;
    return text;
}

// A quoted name at the start of `rest`; `after` is what follows it, blanks
// skipped. False for no opening or closing quote or an empty name.
bool QuotedName(const char* rest, std::string& name, const char*& after)
{
    if (!rest || *rest != '"')
        return false;
    const char* close = std::strchr(rest + 1, '"');
    if (!close || close == rest + 1)
        return false;
    name.assign(rest + 1, std::min<size_t>(size_t(close - rest - 1), kTextBytes - 1));
    after = SkipBlanks(close + 1);
    return true;
}

// ---- camera and interface ----
bool CameraLocked() { return World().CameraLocked(); }
bool SaveHeading(const char*) { return g.heading = World().CameraHeading(), true; }
bool Rotated() { return HeadingDifference(World().CameraHeading(), g.heading) > kTurnThreshold; }
bool SaveElevation(const char*) { return g.elevation = World().CameraElevation(), true; }
bool Elevated() { return HeadingDifference(World().CameraElevation(), g.elevation) > kTurnThreshold; }
bool SaveZoom(const char*) { return g.zoom = World().Zoom(), true; }
bool Zoomed() { return World().Zoom() != g.zoom; }

bool WeaponIs(const char* name, int32_t type, int32_t ammo)
{
    const uint32_t id = SquadMember(name);
    int32_t t = 0, a = 0;
    return id && World().CurrentWeapon(id, t, a) && t == type && (ammo < 0 || a == ammo);
}
bool TrevokEquipsLaser() { return WeaponIs("trevok", 3, -1); }
bool TrevokUsesLaserPlus() { return WeaponIs("trevok", 3, 7); }
bool VellHasPlasmaPistol()
{
    const uint32_t id = SquadMember("vell");
    return id && !World().InventoryEmpty(id) && World().HoldsItem(id, 4, 0);
}
bool VellEquipsPlasmaPistol() { return WeaponIs("vell", 0, -1); }

bool SaveFocus(const char*) { return g.focus = World().CameraFocus(), true; }
bool Scrolled()
{
    const Vec3 focus = World().CameraFocus();
    if (SamePoint(focus, g.focus))
        return false;
    for (uint32_t id : World().Squad()) {
        if (SamePoint(World().Position(id), focus)) {
            g.focus = focus;  // centred on a character, not scrolled
            return false;
        }
    }
    return true;
}

bool NormalView() { return World().NormalView(); }
bool FindStandingOrders(const char*) { return World().StandingOrdersState() >= 0; }
bool StandingOrdersOpen() { return World().StandingOrdersState() == 1; }
bool MainGameMode() { return !World().UpgradeScreenOpen() || World().CommandWheelShown(); }
bool CommandWheel() { return World().CommandWheelExists() && World().CommandWheelShown(); }
bool Paused() { return World().Paused(); }

// ---- actor table ----
bool ParseTarget(const char* rest)
{
    std::string name;
    const char* after = nullptr;
    uint32_t id = 0;
    if (!QuotedName(rest, name, after) || !NamedId(name, id) || !World().Exists(id))
        return false;
    g.target = id;
    return true;
}
bool ActorAttacks() { return World().Attacking(g.actor) && World().Target(g.actor) == g.target; }
bool ActorDied()
{
    return g.friendly ? !Contains(World().Squad(), g.actor) : !World().Exists(g.actor);
}
bool ActorMoves() { return World().Moving(g.actor); }
bool ActorSelected() { return World().Selected(g.actor); }
bool ActorCentred()
{
    return World().Exists(g.actor) && SamePoint(World().CameraFocus(), World().Position(g.actor));
}
bool ActorCollected() { return g.removed || World().Collected(g.actor); }
bool ActorHides() { return World().Hides(g.actor); }

constexpr Condition kActorTable[] = {
    {"TO ATTACK", ActorAttacks, ParseTarget, nullptr, 0},
    {"TO DIE", ActorDied, nullptr, nullptr, 0},
    {"TO MOVE", ActorMoves, nullptr, nullptr, 0},
    {"TO STOP", ActorMoves, nullptr, nullptr, 1},
    {"TO BE SELECTED", ActorSelected, nullptr, nullptr, 0},
    {"TO BE CENTRED", ActorCentred, nullptr, nullptr, 0},
    {"TO BE COLLECTED", ActorCollected, nullptr, nullptr, 0},
    {"TO HIDE", ActorHides, nullptr, nullptr, 0},
};

bool ParseActor(const char* rest, bool friendly)
{
    std::string name;
    const char* after = nullptr;
    uint32_t id = 0;
    if (!QuotedName(rest, name, after) || !*after || !NamedId(name, id))
        return false;
    if (friendly ? !Contains(World().Squad(), id) : !World().Exists(id))
        return false;
    g.actor = id;
    g.friendly = friendly;
    g.removed = false;
    return MatchPhrase(kActorTable, std::size(kActorTable), after);
}
bool ParseAnyActor(const char* rest) { return ParseActor(rest, false); }
bool ParseFriendlyActor(const char* rest) { return ParseActor(rest, true); }

// ---- role table ----
bool PruneCollected(const char*)
{
    std::erase_if(g.roleObjects, [](uint32_t id) { return World().Collected(id); });
    return !g.roleObjects.empty();
}
bool RoleCollected()
{
    return std::any_of(g.roleObjects.begin(), g.roleObjects.end(), [](uint32_t id) { return World().Collected(id); });
}
bool RoleCreated()
{
    for (uint32_t id : World().ObjectsOfRole(g.roleName))
        if (!Contains(g.roleObjects, id))
            return true;
    return false;
}
bool RoleDestroyed()
{
    return std::any_of(g.roleObjects.begin(), g.roleObjects.end(), [](uint32_t id) { return !World().Exists(id); });
}

constexpr Condition kRoleTable[] = {
    {"TO BE COLLECTED", RoleCollected, PruneCollected, nullptr, 0},
    {"TO BE CREATED", RoleCreated, nullptr, nullptr, 0},
    {"TO BE DESTROYED", RoleDestroyed, nullptr, nullptr, 0},
};

// Always succeeds: a free that failed would keep a met condition forever.
bool FreeRoleList()
{
    g.roleObjects.clear();
    g.roleName.clear();
    return true;
}

bool ParseRole(const char* rest)
{
    std::string name;
    const char* after = nullptr;
    if (!QuotedName(rest, name, after) || !*after || World().FindRole(name) < 0)
        return false;
    g.roleName = name;
    g.roleObjects = World().ObjectsOfRole(name);
    if (!MatchPhrase(kRoleTable, std::size(kRoleTable), after)) {
        FreeRoleList();
        return false;
    }
    return true;
}

// ---- squad table ----
// ALL: every character passes (an empty squad too). SOME: at least two but
// not all, or the only member of a squad of one.
template <typename Test>
bool CountSquad(Test test)
{
    const std::vector<uint32_t> squad = World().Squad();
    size_t passed = 0;
    for (size_t i = 0; i < squad.size(); ++i) {
        if (test(i, squad[i]))
            ++passed;
        else if (g.all)
            return false;
    }
    if (g.all)
        return true;
    return passed == squad.size() ? passed == 1 : passed > 1;
}

bool SquadMoves() { return CountSquad([](size_t, uint32_t id) { return World().Moving(id); }); }
bool SquadSelected() { return CountSquad([](size_t, uint32_t id) { return World().Selected(id); }); }
bool TakeSnapshot(const char*)
{
    g.snapshot.clear();
    for (uint32_t id : World().Squad())
        g.snapshot.push_back(World().Position(id));
    return true;
}
// Characters that joined after the snapshot count as moved.
bool SquadHasMoved()
{
    return CountSquad([](size_t i, uint32_t id) {
        return i >= g.snapshot.size() || !SamePoint(World().Position(id), g.snapshot[i]);
    });
}
bool FreeSnapshot()
{
    g.snapshot.clear();
    return true;
}
bool AbreastFormation() { return g.all && World().PlayerFormation() == 1; }

constexpr Condition kSquadTable[] = {
    {"TO MOVE", SquadMoves, nullptr, nullptr, 0},
    {"TO HAVE MOVED", SquadHasMoved, TakeSnapshot, FreeSnapshot, 0},
    {"TO BE SELECTED", SquadSelected, nullptr, nullptr, 0},
    {"TO USE ABREAST FORMATION", AbreastFormation, nullptr, nullptr, 0},
};

bool ParseSquad(const char* rest, bool all)
{
    g.all = all;
    return rest && MatchPhrase(kSquadTable, std::size(kSquadTable), rest);
}
bool ParseSome(const char* rest) { return ParseSquad(rest, false); }
bool ParseAll(const char* rest) { return ParseSquad(rest, true); }

constexpr Condition kMainTable[] = {
    {"CAMERA TO BE LOCKED", CameraLocked, nullptr, nullptr, 0},
    {"CAMERA TO BE UNLOCKED", CameraLocked, nullptr, nullptr, 1},
    {"CAMERA TO BE ROTATED", Rotated, SaveHeading, nullptr, 0},
    {"CAMERA TO BE ELEVATED", Elevated, SaveElevation, nullptr, 0},
    {"CAMERA TO BE ZOOMED", Zoomed, SaveZoom, nullptr, 0},
    {"TREVOK TO EQUIP LASER", TrevokEquipsLaser, nullptr, nullptr, 0},
    {"TREVOK TO USE LASER PLUS", TrevokUsesLaserPlus, nullptr, nullptr, 0},
    {"VELL TO HAVE PLASMA PISTOL", VellHasPlasmaPistol, nullptr, nullptr, 0},
    {"VELL TO EQUIP PLASMA PISTOL", VellEquipsPlasmaPistol, nullptr, nullptr, 0},
    {"SCREEN TO BE SCROLLED", Scrolled, SaveFocus, nullptr, 0},
    {"NORMAL VIEW MODE", NormalView, nullptr, nullptr, 0},
    {"RECON VIEW MODE", NormalView, nullptr, nullptr, 1},
    {"STANDING ORDERS MENU", StandingOrdersOpen, FindStandingOrders, nullptr, 0},
    {"UPGRADE SCREEN", MainGameMode, nullptr, nullptr, 1},
    {"COMMAND WHEEL", CommandWheel, nullptr, nullptr, 0},
    {"MAIN GAME MODE", MainGameMode, nullptr, nullptr, 0},
    {"ACTIVE PAUSE", Paused, nullptr, nullptr, 0},
    {"GAME TO BE UNPAUSED", Paused, nullptr, nullptr, 1},
    {"ACTOR", nullptr, ParseAnyActor, nullptr, 0},
    {"ACTOR WITH ROLE", nullptr, ParseRole, FreeRoleList, 0},
    {"FRIENDLY ACTOR", nullptr, ParseFriendlyActor, nullptr, 0},
    {"SOME FRIENDLIES", nullptr, ParseSome, nullptr, 0},
    {"ALL FRIENDLIES", nullptr, ParseAll, nullptr, 0},
};
static_assert(std::size(kMainTable) == 23 && std::size(kActorTable) == 8 && std::size(kRoleTable) == 3 &&
              std::size(kSquadTable) == 4);

} // namespace

void SetWorld(WaitForWorld* world) { g_world = world ? world : &g_nothing; }

float HeadingDifference(float a, float b)
{
    float d = std::fmod(a - b, 4096.0f);
    if (d < 0)
        d += 4096.0f;
    return d > 2048.0f ? 4096.0f - d : d;
}

bool MatchPhrase(const Condition* table, size_t rows, const char* text)
{
    if (!text)
        return false;
    const Condition* best = nullptr;
    size_t bestLength = 0;
    for (size_t i = 0; i < rows; ++i) {
        const size_t length = std::strlen(table[i].phrase);
        if (length > bestLength && strncasecmp(text, table[i].phrase, length) == 0) {
            best = &table[i];
            bestLength = length;
        }
    }
    if (!best)
        return false;
    if (best->parse) {
        const char* rest = SkipBlanks(text + bestLength);
        if (!best->parse(*rest ? rest : nullptr))
            return false;
    }
    if (!g.free)
        g.free = best->free;
    if (!g.check) {
        g.check = best->check;
        if (!g.check)
            return false;
        g.invert = best->flag != 0;
    }
    return true;
}

bool Parse(const std::string& text)
{
    if (IsSet())
        return false;
    const std::string copy = text.substr(0, kTextBytes - 1);
    if (MatchPhrase(kMainTable, std::size(kMainTable), copy.c_str())) {
        g.text = copy;
        return true;
    }
    // Nothing half-installed stays behind.
    Reset();
    return false;
}

bool IsSet() { return g.check != nullptr; }

bool IsSatisfied()
{
    if (!g.check || g.check() == g.invert)
        return false;
    if (g.free && !g.free())
        return false;
    g.check = nullptr;
    g.free = nullptr;
    return true;
}

bool Cancel()
{
    if (!g.check)
        return false;
    if (g.free && !g.free())
        return false;
    g.check = nullptr;
    g.free = nullptr;
    return true;
}

std::string AppendText() { return IsSet() ? g.text : std::string(); }

void Reset() { g = State{}; }

void NotifyObjectRemoved(uint32_t id)
{
    if (g.check && id == g.actor)
        g.removed = true;
}

} // namespace WaitFor

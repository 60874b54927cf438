// Any bytes as a small fight on a 10 x 10 m floor with a wall: each 12-byte
// record makes one object (its AI type, side, place, facing and character
// numbers), then two seconds of server passes think and update them all.
// Whatever the numbers, every object's position stays finite and no
// search parent is left on the floor after a pass.
#include "objects/ai.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/server_classes.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/think_routines.h"
#include "objects/unit_actor.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "tests/objects/navigation_fixture.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>
#include <vector>

namespace {

constexpr uint64_t kTicksPerSecond = 1000000;
constexpr uint64_t kPassTicks = 50000;
constexpr size_t kRecordSize = 12;
constexpr size_t kMostObjects = 24;
// The think routines' types, and 0 for a plain combat unit.
constexpr int32_t kTypes[] = {0, 1, 2, 3, 7, 14, 15};

uint64_t g_now = 0;

navtest::GridLevel& Floor()
{
    static navtest::GridLevel floor = navtest::MakeGridLevel({
        "..........", "..........", "..........", "....#.....", "....#.....",
        "....#.....", "....#.....", "..........", "..........", "..........",
    });
    return floor;
}

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        Ai::InstallRoutines();
        RegisterActorClasses();
        ServerLink link;
        link.ticksPerSecond = [] { return kTicksPerSecond; };
        link.now = [] { return g_now; };
        ServerLink::Install(std::move(link));
        return true;
    }();
    (void)ready;
    navtest::GridLevel& floor = Floor();
    Level::Current() = floor.level.get();
    trevok::ByteReader in(std::span<const uint8_t>(data, size));
    TeamTable::Build(4, 1, in.U8() & 4);
    g_now = 0;
    std::deque<script::Role> roles;
    while (in.Remaining() >= kRecordSize && roles.size() < kMostObjects) {
        script::Role& role = roles.emplace_back();
        role.aiType = kTypes[in.U8() % std::size(kTypes)];
        const int32_t side = in.U8() % 4;
        const Vec3 at{static_cast<float>(in.U8()) / 25.6f, 0, static_cast<float>(in.U8()) / 25.6f};
        const float yaw = static_cast<float>(in.U8()) * 0.0245436926f;  // 256ths of a turn
        script::CharacterRecord& c = role.character.emplace();
        c.sightAngle = in.U8() * 16;
        c.sightRange = static_cast<float>(in.U8()) / 8.0f;
        c.sightRangeSquared = c.sightRange * c.sightRange;
        c.hearingRange = static_cast<float>(in.U8()) / 8.0f;
        c.hearingRangeSquared = c.hearingRange * c.hearingRange;
        const uint8_t weapon = in.U8();
        c.weapon = weapon < 16 ? weapon % 4 : INT_MAX;
        c.secondaryWeapon = INT_MAX;
        c.walkingSpeed = static_cast<int32_t>(in.U8()) * 2048;
        c.turningSpeed = static_cast<int32_t>(in.U8()) * 16;
        c.canTurn = (c.turningSpeed & 16) != 0;
        c.strength = 1 + in.U8();
        c.height = 1.8f;
        c.radius = 0.4f;
        c.targetCycleTime = 1;
        GameObject* object = ServerClasses::Make(side, &role, at, Quaternion{0, std::sin(yaw / 2), 0, std::cos(yaw / 2)},
                                                 ObjectRegistry::Global().TakeNextId());
        if (!object)
            continue;
        Ai::SetType(*object, role.aiType, 0);
        SideLists::Global().Add(*object);
        object->Activate(0, 0);
    }
    for (int pass = 0; pass < 40; ++pass) {
        g_now += kPassTicks;
        const float seconds = static_cast<float>(g_now) / kTicksPerSecond;
        ServerCounters::PlanBudget() = ServerCounters::LevelPlanBudget();
        ObjectRegistry::PassScope scope;
        AiPass::Run(g_now);
        for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
            object->Update(g_now, seconds);
            if (!object->IsRemoved() && !Finite(object->Position()))
                std::abort();
        }
        for (CollisionPolygon* cell : floor.cells)
            if (cell && cell->searchParent_)
                std::abort();
    }
    AiPlayerSlots::Clear();
    ObjectTrackers::Clear();
    RemoteDeviceTable::Clear();
    AiPass::Reset();
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    ObjectRegistry::Global().ResetIds();
    TeamTable::Clear();
    Level::Current() = nullptr;
    return 0;
}

// The AI pass's hot paths: a whole server pass with 200 combat units on a
// 100 m floor (their thinks and updates), and the beam's candidate
// gathering against a k-d tree radius query (the tree is the comparison
// only, bench only).
#include "objects/ai.h"
#include "objects/object_registry.h"
#include "objects/perception.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/unit_actor.h"
#include "script/records.h"
#include "tests/objects/navigation_fixture.h"
#include "world/level.h"
#include "bench/objects/side_cloud.h"

#include <benchmark/benchmark.h>
#include <nanoflann.hpp>

#include <deque>
#include <vector>

namespace {

constexpr uint64_t kTicksPerSecond = 1000000;
constexpr uint64_t kPassTicks = 50000;

// Armed units of the computer's side 2 thinking in the AI pass, among a
// fifth as many of the player's squad (side 1), scattered over a linked
// 100 x 100 m floor.
struct Battlefield {
    navtest::GridLevel floor;
    std::deque<script::Role> roles;
    std::vector<UnitActor*> units;
    uint64_t now = 0;

    // Game type 4 makes side 2 a squad side as well: both sides walk to
    // their targets.
    explicit Battlefield(int count, uint32_t gameType = 0)
        : floor(navtest::MakeGridLevel(std::vector<std::string>(100, std::string(100, '.'))))
    {
        Level::Current() = floor.level.get();
        TeamTable::Build(4, 1, gameType);
        ServerLink link;
        link.ticksPerSecond = [] { return kTicksPerSecond; };
        link.now = [this] { return now; };
        ServerLink::Install(std::move(link));
        script::Role& role = roles.emplace_back();
        role.character.emplace();
        role.character->strength = 100000;
        role.character->sightRange = 30;
        role.character->sightAngle = 512;
        role.character->hearingRange = 20;
        role.character->hearingRangeSquared = 400;
        role.character->walkingSpeed = 2 * 65536;
        role.character->turningSpeed = 2048;
        role.character->canTurn = true;
        role.character->height = 1.8f;
        role.character->radius = 0.5f;
        role.character->weapon = 0;
        role.character->targetCycleTime = 2;
        uint32_t seed = 12345;
        const int squad = count / 5;
        for (int i = 0; i < count + squad; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const float x = 0.5f + static_cast<float>(seed >> 8 & 0xFFFF) / 662.0f;
            seed = seed * 1664525u + 1013904223u;
            const float z = 0.5f + static_cast<float>(seed >> 8 & 0xFFFF) / 662.0f;
            auto* unit = new UnitActor(i < count ? 2 : 1, &role, {x, 0, z}, Quaternion::Identity(),
                                       ObjectRegistry::Global().TakeNextId());
            Ai::SetType(*unit, 0, 0);
            SideLists::Global().Add(*unit);
            unit->Activate(0, 0);
            units.push_back(unit);
        }
        AiPlayerSlots::Add(2);
    }
    ~Battlefield()
    {
        AiPlayerSlots::Clear();
        ObjectTrackers::Clear();
        ObjectRegistry::Global().ReleaseAll();
        SideLists::Global().Clear();
        ObjectRegistry::Global().ResetIds();
        ServerLink::Install({});
        TeamTable::Clear();
        Level::Current() = nullptr;
    }

    // The AI pass, then every object's update, as the server pass runs them.
    void Pass()
    {
        now += kPassTicks;
        const float seconds = static_cast<float>(now) / kTicksPerSecond;
        ServerCounters::PlanBudget() = ServerCounters::LevelPlanBudget();
        ObjectRegistry::PassScope pass;
        AiPass::Run(now);
        for (GameObject* object : ObjectRegistry::Global().Snapshot())
            object->Update(now, seconds);
    }
};

void BM_ServerPass200AiUnits(benchmark::State& state)
{
    Battlefield field(static_cast<int>(state.range(0)));
    for (int i = 0; i < 40; ++i)
        field.Pass();  // past the first plans and alarms
    for (auto _ : state)
        field.Pass();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ServerPass200AiUnits)->Arg(200)->Unit(benchmark::kMicrosecond);

// The same with two squad sides, whose attackers out of range approach
// their targets by path searches.
void BM_ServerPassTwoSquadSides(benchmark::State& state)
{
    Battlefield field(static_cast<int>(state.range(0)), 4);
    for (int i = 0; i < 40; ++i)
        field.Pass();
    for (auto _ : state)
        field.Pass();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ServerPassTwoSquadSides)->Arg(200)->Unit(benchmark::kMicrosecond);

// Candidates within sight of every unit: the scanner's walk of the side lists.
void BM_CandidatesBySideLists(benchmark::State& state)
{
    Battlefield field(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        size_t found = 0;
        for (UnitActor* unit : field.units) {
            Perception::ForEachOtherSide(unit->Side(), [&](GameObject& other) {
                found += Perception::IsNoticeable(other) &&
                         (other.Position() - unit->Position()).LengthSquared() < 900.0f;
                return false;
            });
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CandidatesBySideLists)->Arg(200);

// The same with a tree per side, built every pass as the units move.
void BM_CandidatesByKdTree(benchmark::State& state)
{
    Battlefield field(static_cast<int>(state.range(0)));
    std::vector<std::pair<uint32_t, float>> matches;
    for (auto _ : state) {
        SideCloud clouds[2];
        for (UnitActor* unit : field.units)
            clouds[unit->Side() - 1].objects.push_back(unit);
        Tree first(3, clouds[0]), second(3, clouds[1]);
        first.buildIndex();
        second.buildIndex();
        size_t found = 0;
        for (UnitActor* unit : field.units) {
            const Tree& enemies = unit->Side() == 1 ? second : first;
            const Vec3& p = unit->Position();
            const float query[3] = {p.x, p.y, p.z};
            found += enemies.radiusSearch(query, 900.0f, matches, nanoflann::SearchParams(32, 0, false));
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CandidatesByKdTree)->Arg(200);

} // namespace

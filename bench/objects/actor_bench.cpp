// The server pass's hot paths of the actors: the fire-at-will search for
// the nearest visible enemy (the pass's brute-force scan against a k-d tree
// query, test only) and projectiles flying among objects.
#include "objects/actor.h"
#include "objects/object_registry.h"
#include "objects/projectile.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/unit_actor.h"
#include "script/records.h"
#include "bench/objects/side_cloud.h"

#include <benchmark/benchmark.h>
#include <nanoflann.hpp>

#include <deque>
#include <vector>

namespace {

// 200 actors on two sides scattered over a 100 m square.
struct Crowd {
    std::deque<script::Role> roles;
    std::vector<UnitActor*> units;

    explicit Crowd(int count)
    {
        TeamTable::Build(3, 1, 0);
        ServerLink link;
        link.ticksPerSecond = [] { return uint64_t{1000000}; };
        ServerLink::Install(std::move(link));
        script::Role& role = roles.emplace_back();
        role.character.emplace();
        role.character->strength = 100;
        role.character->sightRange = 30;
        role.character->weapon = 0x7FFFFFFF;
        uint32_t seed = 12345;
        for (int i = 0; i < count; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const float x = static_cast<float>(seed >> 8 & 0xFFFF) / 655.36f;
            seed = seed * 1664525u + 1013904223u;
            const float z = static_cast<float>(seed >> 8 & 0xFFFF) / 655.36f;
            auto* unit = new UnitActor(1 + i % 2, &role, {x, 0, z}, Quaternion::Identity(),
                                       ObjectRegistry::Global().TakeNextId());
            SideLists::Global().Add(*unit);
            units.push_back(unit);
        }
    }
    ~Crowd()
    {
        ObjectRegistry::Global().ReleaseAll();
        SideLists::Global().Clear();
        ObjectRegistry::Global().ResetIds();
        ServerLink::Install({});
        TeamTable::Clear();
    }
};

// The pass's own scan: every enemy of every other side, nearest within sight.
GameObject* NearestEnemy(const Actor& actor, float sight)
{
    GameObject* best = nullptr;
    float bestDistance = 0;
    for (int32_t side = 0; side < SideLists::kSides; ++side) {
        if (side == actor.Side() || TeamTable::IsNeutral(side))
            continue;
        for (GameObject* object : SideLists::Global().Side(side)) {
            const float d = (object->GetAimPoint() - actor.Position()).LengthSquared();
            if ((best && d >= bestDistance) || d >= sight * sight)
                continue;
            best = object;
            bestDistance = d;
        }
    }
    return best;
}

void BM_FireAtWillBruteForce(benchmark::State& state)
{
    Crowd crowd(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        int found = 0;
        for (UnitActor* unit : crowd.units)
            found += NearestEnemy(*unit, 30) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FireAtWillBruteForce)->Arg(200);

void BM_FireAtWillKdTree(benchmark::State& state)
{
    Crowd crowd(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        // Built every pass, as the objects move between passes.
        SideCloud clouds[2];
        for (UnitActor* unit : crowd.units)
            clouds[unit->Side() - 1].objects.push_back(unit);
        Tree first(3, clouds[0]), second(3, clouds[1]);
        first.buildIndex();
        second.buildIndex();
        int found = 0;
        for (UnitActor* unit : crowd.units) {
            const Tree& enemies = unit->Side() == 1 ? second : first;
            uint32_t index = 0;
            float distance = 0;
            const Vec3& p = unit->Position();
            const float query[3] = {p.x, p.y, p.z};
            enemies.knnSearch(query, 1, &index, &distance);
            found += distance < 30.0f * 30.0f;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FireAtWillKdTree)->Arg(200);

void BM_ProjectilesAmongObjects(benchmark::State& state)
{
    Crowd crowd(200);
    script::Role shot;
    shot.projectile.emplace();
    shot.projectile->damage = 0;
    shot.projectile->maxRange = 1e6f;
    uint64_t now = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<GameObjectRef> shots;
        for (int i = 0; i < 100; ++i) {
            const Vec3 from = crowd.units[static_cast<size_t>(i)]->Position() + Vec3{0, -50, 0};
            auto* p = new Projectile(0, &shot, from, Quaternion::Identity(), 30, 0, 0xFFFFFFFFu,
                                     ObjectRegistry::Global().TakeNextId());
            p->Activate(now, 0);
            shots.emplace_back(p);  // the creation reference goes with Remove
        }
        state.ResumeTiming();
        now += 50000;
        {
            ObjectRegistry::PassScope pass;
            for (const GameObjectRef& p : shots)
                p->MoveAndHit(now, static_cast<float>(now) / 1e6f);
        }
        state.PauseTiming();
        for (const GameObjectRef& p : shots)
            p->Remove(false);
        shots.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_ProjectilesAmongObjects);

} // namespace

// Level triggers and doors at the sizes a big level reaches: one trigger
// check of 200 LOCATION triggers that never fire over 200 units, and the
// door flood over 50 000 linked polygons with its seen set beside the
// work-list and entry scans it replaces.
#include "objects/game_object.h"
#include "objects/level_triggers.h"
#include "objects/object_registry.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "script/directory_list.h"
#include "script/records.h"
#include "session/doors.h"
#include "session/level_session.h"
#include "world/collision_polygon.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

class Unit : public GameObject {
public:
    using GameObject::GameObject;
    bool CountsForTriggers() const override { return true; }
};

void TriggerCheck(benchmark::State& state)
{
    script::Role role;
    role.character.emplace();
    role.character->strength = 100;
    ServerLink::Install({});
    TeamTable::Build(3, 1, 0);
    for (int i = 0; i < 200; ++i) {
        auto* u = new Unit(1 + i % 2, &role, {float(i), 0, 0}, Quaternion::Identity(), 0,
                           ObjectRegistry::Global().TakeNextId());
        SideLists::Global().Add(*u);
    }
    for (int i = 0; i < 200; ++i) {
        const Vec3 positions[4] = {{float(i), 1000, 0}, {}, {}, {}};
        LevelTriggers::Add(uint32_t(TriggerKind::Location), positions, 2, {}, "never.tcs");
    }
    for (auto _ : state)
        LevelTriggers::Check();
    LevelTriggers::Clear();
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    ObjectRegistry::Global().ResetIds();
    TeamTable::Clear();
}
BENCHMARK(TriggerCheck);

// A strip of polygons, each linked to the next and to the one 100 ahead,
// all of one door class.
struct Strip {
    explicit Strip(int count)
    {
        for (int i = 0; i < count; ++i) {
            polygons.push_back(std::make_unique<CollisionTriangle>());
            polygons.back()->flags_ = 0x4000;
        }
        for (int i = 0; i + 1 < count; ++i) {
            polygons[size_t(i)]->AddLink(polygons[size_t(i) + 1].get());
            polygons[size_t(i) + 1]->AddLink(polygons[size_t(i)].get());
            if (i + 100 < count) {
                polygons[size_t(i)]->AddLink(polygons[size_t(i) + 100].get());
                polygons[size_t(i) + 100]->AddLink(polygons[size_t(i)].get());
            }
        }
    }
    std::vector<std::unique_ptr<CollisionTriangle>> polygons;
};

void DoorFloodSeenSet(benchmark::State& state)
{
    Strip strip(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Doors::Flood(*strip.polygons[0]));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(DoorFloodSeenSet)->Arg(5000)->Arg(50000)->Complexity();

// The same flood testing membership by scanning the work list and the entry.
std::vector<CollisionPolygon*> FloodByScans(CollisionPolygon& start)
{
    std::vector<CollisionPolygon*> entry, work{&start};
    while (!work.empty()) {
        CollisionPolygon* p = work.front();
        entry.push_back(p);
        const uint32_t classes = p->flags_ & polygon_flags::kClassMask;
        for (uint32_t i = 0; i < p->LinkCount(); ++i) {
            CollisionPolygon* n = p->LinkAt(i);
            if ((n->flags_ & classes) && std::find(work.begin(), work.end(), n) == work.end() &&
                std::find(entry.begin(), entry.end(), n) == entry.end())
                work.push_back(n);
        }
        work.erase(work.begin());
    }
    return entry;
}

void DoorFloodListScans(benchmark::State& state)
{
    Strip strip(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(FloodByScans(*strip.polygons[0]));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(DoorFloodListScans)->Arg(5000)->Arg(50000)->Iterations(1)->Complexity();

} // namespace

namespace {

// The sample level loaded and stopped in a running session; the peak
// resident size of the process is reported beside it.
void SampleLevelLoad(benchmark::State& state)
{
    const std::filesystem::path root = TREVOK_SAMPLE_DATA_DIR;
    if (!std::filesystem::exists(root / "scripts" / "training_level.tvs") || !script::LoadDataDirectories(root)) {
        state.SkipWithError("sample data not generated");
        return;
    }
    Session::DataRoot() = root;
    Session::Names() = {"training_level.tvs", ""};
    StartSession(false);
    for (auto _ : state) {
        if (!LoadLevel(false)) {
            state.SkipWithError(Session::LastError().c_str());
            break;
        }
        StopLevel();
    }
    EndSession();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_kib"] = double(usage.ru_maxrss);
}
BENCHMARK(SampleLevelLoad)->Unit(benchmark::kMillisecond);

} // namespace

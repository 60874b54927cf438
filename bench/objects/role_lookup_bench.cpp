// The per-pass flare lookup: a name search over a level's roles against the
// role kept from the first search.
#include <benchmark/benchmark.h>

#include "objects/role_table.h"

#include <deque>
#include <string>

namespace {

struct Level {
    std::deque<script::Role> roles;
    Level()
    {
        RoleTable::Global().Clear();
        RoleTable::Global().ResetIds();
        for (int i = 0; i < 300; ++i) {
            script::Role& r = roles.emplace_back();
            r.identifier = i == 150 ? "Flare" : "role" + std::to_string(i);
            RoleTable::Global().File(r);
        }
    }
};

void FlareByName(benchmark::State& state)
{
    Level level;
    for (auto _ : state)
        benchmark::DoNotOptimize(RoleTable::Global().FindByName("flare"));
}
BENCHMARK(FlareByName);

void FlareCached(benchmark::State& state)
{
    Level level;
    script::Role* flare = nullptr;
    for (auto _ : state) {
        if (!flare)
            flare = RoleTable::Global().FindByName("flare");
        benchmark::DoNotOptimize(flare);
    }
}
BENCHMARK(FlareCached);

} // namespace

// The sine table against std::sin over the same angles.
#include "app/math_tables.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

std::vector<int32_t> Angles()
{
    std::vector<int32_t> angles(4096);
    uint32_t x = 12345;
    for (auto& a : angles) {
        x = x * 1664525u + 1013904223u;
        a = static_cast<int32_t>(x >> 16);
    }
    return angles;
}

void SineTable(benchmark::State& state)
{
    const auto angles = Angles();
    for (auto _ : state) {
        float sum = 0;
        for (int32_t a : angles)
            sum += SineOf(a);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(angles.size()));
}

void StdSin(benchmark::State& state)
{
    const auto angles = Angles();
    constexpr float kStep = 2.0f * std::numbers::pi_v<float> / 4096.0f;
    for (auto _ : state) {
        float sum = 0;
        for (int32_t a : angles)
            sum += std::sin(static_cast<float>(a & 0xFFF) * kStep);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(angles.size()));
}

} // namespace

BENCHMARK(SineTable);
BENCHMARK(StdSin);

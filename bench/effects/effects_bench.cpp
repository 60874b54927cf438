// The effect pass over a frame of mixed records beside queuing the same
// instances directly; the liquid ripple through the sine table beside the
// same loop on std::sin; a thousand debris parts per update.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_time.h"
#include "effects/ballistic_objects.h"
#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/effect_maths.h"
#include "effects/effect_object.h"
#include "effects/effect_shapes.h"
#include "effects/particle_presets.h"

namespace {

ParticleEmitter* Discard(const ParticleEmitterDesc&, const Vec3&) { return nullptr; }

VeShape* Box()
{
    PrimitiveDesc desc;
    desc.kind = 4;
    desc.p1 = desc.p2 = desc.p3 = 1;
    return VeShape::FromPrimitive(desc);
}

class Piece : public EffectObject {
public:
    explicit Piece(int parts)
    {
        VeShape* shape = Box();
        ShapeInstance* root = ShapeInstance::FromShape(shape, true);
        for (int i = 0; i < parts; ++i)
            root->AppendChild(ShapeInstance::FromShape(shape, true));
        shape->Release();
        instance_ = VeObject::FromObject(root, true);
    }
    bool Exists() const override { return true; }
    VeObject* Instance() const override { return instance_; }
    float FloorHeight() const override { return 1e6f; }

protected:
    ~Piece() override { instance_->Release(); }

private:
    VeObject* instance_;
};

// 1000 records: rings, flashes, basins and fences in turn.
void MixedFrame(benchmark::State& state)
{
    ParticleEffects::SetSink(&Discard);
    EffectShapes::Build();
    for (int i = 0; i < 1000; ++i) {
        const Vec3 p{float(i % 40), 0, float(i / 40)};
        switch (i % 4) {
        case 0: Effects::AddRing(0, p, {12, 1, 3}); break;
        case 1: Effects::AddFlash(p, 0); break;
        case 2: Effects::AddBasin(0, p, {12, 1, 2}); break;
        default: Effects::AddLaserFence(p, p + Vec3{1, 0, 0}); break;
        }
    }
    int64_t now = 0;
    for (auto _ : state) {
        now += 1000;
        Effects::UpdateAndDrawAll(now, Effects::WorldList());
        Effects::UpdateAndDrawAll(now, Effects::LateList());
        RenderQueue::Clear();
    }
    Effects::ClearAll();
    EffectShapes::Release();
    ParticleEffects::SetSink(nullptr);
}
BENCHMARK(MixedFrame);

void SameInstancesQueuedDirectly(benchmark::State& state)
{
    VeShape* shape = Box();
    std::vector<VeObject*> objects;
    for (int i = 0; i < 1000; ++i)
        objects.push_back(VeObject::FromShape(shape, true));
    shape->Release();
    for (auto _ : state) {
        for (VeObject* o : objects)
            o->QueueDraw(0, nullptr, nullptr, DefaultMaterial::Get(DefaultMaterial::Additive), 0, 0x4000000, nullptr,
                         nullptr, nullptr);
        RenderQueue::Clear();
    }
    for (VeObject* o : objects)
        o->Release();
}
BENCHMARK(SameInstancesQueuedDirectly);

// A 64 x 64 grid rippled once.
void RippleTable(benchmark::State& state)
{
    const Vec3 direction{1, 0, 0};
    double phase = 0;
    for (auto _ : state) {
        phase += 13.7;
        EffectMaths::RipplePattern pattern(64);
        float sum = 0;
        for (int i = 0; i < 64 * 64; ++i) {
            const auto r = EffectMaths::Ripple(float(i % 64) / 64, float(i / 64) / 64, phase, pattern.Next(), 1.0f,
                                               direction, true);
            sum += r.u + r.v + r.height;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(RippleTable);

void RippleStdSin(benchmark::State& state)
{
    const Vec3 direction{1, 0, 0};
    double phase = 0;
    constexpr double k = 2.0 * M_PI / 4096.0;
    for (auto _ : state) {
        phase += 13.7;
        EffectMaths::RipplePattern pattern(64);
        float sum = 0;
        for (int i = 0; i < 64 * 64; ++i) {
            const float x = float(i % 64) / 64, y = float(i / 64) / 64;
            const EffectMaths::RippleTerm t = pattern.Next();
            const double a = direction.x * 4096.0 * x + direction.y * 4096.0 * y + phase;
            sum += float(x + 0.006 * std::sin(k * (t.m * phase + t.offU)) + 0.02 * std::sin(k * 0.15 * a)) +
                   float(y + 0.006 * std::sin(k * (t.m2 * phase + t.offV)) + 0.02 * std::sin(k * 0.125 * a)) +
                   float(std::sin(k * a) * 0.15);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(RippleStdSin);

void ThousandDebrisParts(benchmark::State& state)
{
    ParticleEffects::SetSink(&Discard);
    auto* piece = new Piece(999);
    int64_t now = 0;
    for (auto _ : state) {
        state.PauseTiming();
        BallisticObjects::Clear();
        BallisticObjects::BreakUp(piece, 2.0f, true);
        BallisticObjects::UpdateAll(now);
        state.ResumeTiming();
        now += 100;
        BallisticObjects::UpdateAll(now);
    }
    BallisticObjects::Clear();
    piece->Release();
    ParticleEffects::SetSink(nullptr);
}
BENCHMARK(ThousandDebrisParts);

} // namespace

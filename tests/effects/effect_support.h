// Test objects and a game clock for the effect tests: objects with a real
// shape instance (a box, or a body with parts), a fake clock placed just
// before a 32-bit tick count wraps, and clean lists around every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "effects/ballistic_objects.h"
#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/effect_object.h"
#include "effects/particle_presets.h"

namespace effecttest {

// Ticks of a number of seconds at the effects' clock rate.
inline int64_t Ticks(double seconds) { return Effects::SecondsToTicks(seconds); }

// Just before 2^32 ticks, so every span of a test crosses the wrap.
inline int64_t WrapStart() { return (int64_t(1) << 32) - Ticks(0.5); }

inline int64_t& FakeNow()
{
    static int64_t now = 0;
    return now;
}

inline VeShape* BoxShape()
{
    PrimitiveDesc desc;
    desc.kind = 4;
    desc.p1 = desc.p2 = desc.p3 = 1;
    return VeShape::FromPrimitive(desc);
}

class FakeObject : public EffectObject {
public:
    // A box; `parts` children named "part0".. below the root, each with
    // `subParts` children of its own; `exhaust` adds a "dum exhaust" dummy
    // to the body and to the first part.
    static FakeObject* Make(int parts = 0, int subParts = 0, bool exhaust = false)
    {
        auto* o = new FakeObject;
        VeShape* shape = BoxShape();
        ShapeInstance* root = ShapeInstance::FromShape(shape, true);
        for (int i = 0; i < parts; ++i) {
            ShapeInstance* part = ShapeInstance::FromShape(shape, true);
            part->name_ = "part" + std::to_string(i);
            part->local_.SetPosition({float(i), 0, 0});
            for (int j = 0; j < subParts; ++j) {
                ShapeInstance* sub = ShapeInstance::FromShape(shape, true);
                sub->name_ = "sub" + std::to_string(j);
                part->AppendChild(sub);
            }
            if (exhaust && i == 0)
                part->AppendChild(Dummy());
            root->AppendChild(part);
        }
        if (exhaust)
            root->AppendChild(Dummy());
        shape->Release();
        o->instance_ = VeObject::FromObject(root, true);
        return o;
    }

    bool Exists() const override { return exists_; }
    VeObject* Instance() const override { return instance_; }
    float ShieldValue() const override { return shield_; }
    uint32_t FogVisibility() const override { return fog_; }
    float FloorHeight() const override { return floor_; }

    bool exists_ = true;
    float shield_ = 100;
    uint32_t fog_ = 0;  // in plain view
    float floor_ = 1000;
    VeObject* instance_ = nullptr;

protected:
    ~FakeObject() override
    {
        if (instance_)
            instance_->Release();
    }

private:
    static ShapeInstance* Dummy()
    {
        auto* d = new ShapeInstance;
        d->name_ = BallisticObjects::kExhaustDummy;
        return d;
    }
};

// Clean lists, no light set, the fake clock, and emitter requests counted.
class EffectTest : public ::testing::Test {
protected:
    static std::vector<ParticleEmitterDesc>& Requests()
    {
        static std::vector<ParticleEmitterDesc> requests;
        return requests;
    }
    static ParticleEmitter* Count(const ParticleEmitterDesc& desc, const Vec3&)
    {
        Requests().push_back(desc);
        return nullptr;
    }

    void SetUp() override
    {
        Requests().clear();
        ParticleEffects::SetSink(&Count);
        FakeNow() = WrapStart();
        Effects::SetClock([] { return FakeNow(); });
        EffectWorld() = EffectEnvironment{};
    }
    void TearDown() override
    {
        Effects::ClearAll();
        BallisticObjects::Clear();
        RenderQueue::Clear();
        ParticleEffects::SetSink(nullptr);
        Effects::SetFogReader(nullptr);
        Effects::SetClock(nullptr);
        EffectWorld() = EffectEnvironment{};
    }

    // Runs both lists at `seconds` after the start of the test.
    static void Frame(double seconds)
    {
        FakeNow() = WrapStart() + Ticks(seconds);
        Effects::UpdateAndDrawAll(FakeNow(), Effects::WorldList());
        Effects::UpdateAndDrawAll(FakeNow(), Effects::LateList());
    }
    static int64_t At(double seconds) { return WrapStart() + Ticks(seconds); }
};

} // namespace effecttest

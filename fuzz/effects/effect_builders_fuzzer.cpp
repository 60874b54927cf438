// Effect builders driven the way server messages and commands drive them:
// each input is a run of records {builder byte, six floats}, with frames in
// between on a clock that crosses a 32-bit wrap. Whatever the numbers (NaN,
// infinities, huge, negative), nothing may crash or leak, and clearing
// leaves both lists empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/ballistic_objects.h"
#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/particle_presets.h"
#include "platform/byte_cursor.h"

namespace {
ParticleEmitter* Discard(const ParticleEmitterDesc&, const Vec3&) { return nullptr; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ParticleEffects::SetSink(&Discard);
    trevok::ByteReader in({data, size});
    int64_t now = (int64_t(1) << 32) - 1000;
    for (int step = 0; step < 64 && in.Remaining() >= 25; ++step) {
        const uint8_t op = in.U8();
        float f[6];
        for (float& v : f)
            v = in.F32();
        const Vec3 a{f[0], f[1], f[2]}, b{f[3], f[4], f[5]};
        // Counts and times from the bytes, saturated: the harness's own
        // conversions must not be what the sanitizer stops on.
        auto whole = [](float v) { return std::isfinite(v) ? std::clamp(v, -1e9f, 1e9f) : 0.0f; };
        Colour c;
        c.Set(f[3], f[4], f[5], f[0]);
        switch (op % 14) {
        case 0: Effects::AddFlash(a, now); break;
        case 1: Effects::AddRing(now, a, {int32_t(whole(f[3])), f[4], f[5]}); break;
        case 2: Effects::AddBasin(now, a, {int32_t(whole(f[3])), f[4], f[5]}); break;
        case 3: Effects::AddScreenFade(f[0], {c, c, f[1]}); break;
        case 4: Effects::AddLaserFence(a, b); break;
        case 5: Effects::AddBeamTrace(now, a, b, c, f[2]); break;
        case 6: Effects::AddCursorTrace(int64_t(whole(f[0])), now, a, b, a, c); break;
        case 7: Effects::AddElectricity(now, a, {b, (op & 0x80) != 0, f[0], nullptr}); break;
        case 8: Effects::DeactivateElectricity(a); break;
        case 9: Effects::AddPulsingLight((op & 0x80) != 0, a, {c, c, f[5]}); break;
        case 10: Effects::AddExplosionArea(a, b); break;
        case 11: {
            Effects::LiquidParams p;
            p.first = a;
            p.second = {std::fmod(f[3], 300.0f), f[4], std::fmod(f[5], 300.0f)};
            p.rippleHeight = f[0];
            p.ripples = (op & 0x80) != 0;
            Effects::AddLiquid(now, int32_t(whole(f[1])), p);
            break;
        }
        case 12:
            if (EffectRecord* r = Effects::FindNearestLiquid(a)) {
                LiquidEffect::ChangeLevel(*r, f[3], now);
                LiquidEffect::SetSpeed(*r, f[4]);
                LiquidEffect::SetDirection(*r, b);
            }
            break;
        default: {
            now += int64_t(std::fabs(std::isfinite(f[0]) ? std::fmod(f[0], 10.0f) : 0.0f) * 1e6f);
            Effects::UpdateAndDrawAll(now, Effects::WorldList());
            Effects::UpdateAndDrawAll(now, Effects::LateList());
            break;
        }
        }
    }
    Effects::ClearAll();
    if (Effects::WorldList().Count() != 0 || Effects::LateList().Count() != 0)
        std::abort();
    ParticleEffects::SetSink(nullptr);
    return 0;
}

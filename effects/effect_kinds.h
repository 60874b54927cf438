// The per-kind rules of the effect pass, one family per file. Each rule
// advances one record to `now`, queues what it shows and returns true when
// the record is finished and must be freed.
#pragma once

#include <cstdint>

struct EffectRecord;

namespace EffectRules {
using Update = bool (*)(EffectRecord& record, uint64_t now);

bool Flash(EffectRecord& record, uint64_t now);
bool LightRay(EffectRecord& record, uint64_t now);
bool Spotlight(EffectRecord& record, uint64_t now);
bool ShieldShell(EffectRecord& record, uint64_t now);
bool PulsingLight(EffectRecord& record, uint64_t now);

bool Electricity(EffectRecord& record, uint64_t now);
bool LaserFence(EffectRecord& record, uint64_t now);
bool LineTrace(EffectRecord& record, uint64_t now);

bool SphereMap(EffectRecord& record, uint64_t now);

bool Dissolve(EffectRecord& record, uint64_t now);
bool Liquid(EffectRecord& record, uint64_t now);
bool Ring(EffectRecord& record, uint64_t now);
bool GroundCrackle(EffectRecord& record, uint64_t now);
bool ExplosionArea(EffectRecord& record, uint64_t now);
bool TextureAnimation(EffectRecord& record, uint64_t now);
bool Basin(EffectRecord& record, uint64_t now);
bool ScreenFade(EffectRecord& record, uint64_t now);

// The rule of a kind (every kind 0 to 18 has one).
Update ForKind(int32_t kind);
} // namespace EffectRules

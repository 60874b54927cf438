// The client replicas as shadow casters. The replicas sit below the effects,
// so each one that casts a shadow gets a caster here that answers for it;
// the effects' start-up points the replicas' effect hooks at this.
#pragma once

#include "effects/shadows.h"

class WorldObject;

namespace ReplicaShadows {
// Fills the replicas' effect hooks: shadow casters, coronas and the
// particles of destroyed objects.
void Install();
// The caster that stands for the object; null when it casts none.
ShadowCaster* CasterOf(const WorldObject& object);
// Every replica's caster freed (effects shut-down).
void Clear();
} // namespace ReplicaShadows

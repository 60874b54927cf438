#include <array>

#include "effects/effect_kinds.h"
#include "effects/effect_list.h"

namespace EffectRules {

Update ForKind(int32_t kind)
{
    static constexpr std::array<Update, EffectKind::Count> kRules{
        Flash,        Flash,         LightRay, Electricity, LaserFence,   Spotlight,   SphereMap,
        ShieldShell,  Dissolve,      Liquid,   Ring,        GroundCrackle, ExplosionArea, LineTrace,
        LineTrace,    PulsingLight,  TextureAnimation, Basin, ScreenFade};
    return kind >= 0 && kind < EffectKind::Count ? kRules[size_t(kind)] : nullptr;
}

} // namespace EffectRules

#include "ui/scene_lighting.h"

#include "Veapi/light_set.h"

namespace SceneLighting {
namespace {

enum SharedSet { kScene = 0, kSecondaryScene = 1, kDark = 3 };

void SetGlow(int set, float level)
{
    if (LightSet* lights = LightSet::Global(set)) {
        Colour c;
        c.Set(level, level, level, 1.0f);
        lights->SetEmissive(c);
    }
}

} // namespace

void SetGame()
{
    if (LightSet* scene = LightSet::Global(kScene)) {
        // A session started again must not stack a second light.
        scene->Clear();
        Colour colour, specular;
        colour.Set(0.75f, 0.75f, 0.75f, 0.0f);
        specular.Set(0, 0, 0, 0);
        scene->AddDirectionalLight(colour, specular, {-0.35355f, -0.35355f, -0.86603f});
    }
    SetGlow(kScene, 0.25f);
    SetGlow(kSecondaryScene, 0.06f);
    SetGlow(kDark, 0.0f);
}

void Clear()
{
    if (LightSet* scene = LightSet::Global(kScene))
        scene->Clear();
}

} // namespace SceneLighting

#include "effects/saved_lighting.h"

#include "Veapi/light_set.h"
#include "effects/effect_commands.h"
#include "session/saved_game.h"

#include <cstdio>

namespace SavedLighting {
namespace {

void Save(SavedGame::World& world)
{
    const LightSet* lights = SunLight::Lights();
    if (!lights)
        return;
    // AMBIENT keeps its alpha as the material's diffuse alpha.
    const gfx::Material& m = lights->Material();
    char line[SavedGame::kMaxLineLength + 1];
    std::snprintf(line, sizeof line, "AMBIENT %.6g %.6g %.6g %.6g", m.emissive.r, m.emissive.g, m.emissive.b,
                  m.diffuse.a);
    world.lines.insert(world.lines.begin(), line);
}

} // namespace

void Install() { SavedGame::AddSection({Save, nullptr, nullptr}); }

} // namespace SavedLighting

#include "effects/ballistic_objects.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "effects/shadows.h"
#include "effects/static_shadows.h"

#include "Veapi/light_set.h"
#include "console/command_script.h"
#include "session/level_session.h"
#include "session/saved_game.h"
#include "world/level.h"

namespace Effects {

void InstallLevelHooks()
{
    SessionHooks& hooks = Session::Hooks();
    hooks.levelScript = [](const std::filesystem::path& script) {
        const Level* level = Level::Current();
        StaticShadows::SetLevelScript(script, level && level->staticShadows_);
        // The level's sun: the sun colour from the held direction, until the
        // companion's sun commands replace it.
        LightSet* lights = SunLight::Lights();
        // A saved game brings back the sun it was saved with.
        if (LevelStateBlock::Live().levelPhase == LevelStateBlock::kPhaseLoading)
            SunLight::TakeFromLevelState();
        Colour specular;
        specular.Set(0, 0, 0, 0);
        SunLight::ResetForLevel(
            lights ? lights->AddDirectionalLight(SunLight::Get().colour, specular, SunLight::Get().direction) : nullptr);
        // The companion's SUNANGLE runs after the build and turns the cells
        // to its sun.
        return ShadowMode == 4 && StaticShadows::MapAsks() && !CommandScript::RestoringSavedGame;
    };
    hooks.buildStaticShadows = [] {
        if (Level* level = Level::Current())
            StaticShadows::LoadOrBuild(*level);
    };
    hooks.effectsStarted = [] { BallisticObjects::ResetForLevel(); };
    hooks.effectsStopped = [] {
        BallisticObjects::Clear();
        ClearAll();
        SunLight::Get().light = nullptr;  // it lived in the level's light set
    };
}

} // namespace Effects

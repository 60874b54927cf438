#include "effects/ballistic_objects.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "effects/shadows.h"
#include "effects/static_shadows.h"

#include "console/command_script.h"
#include "session/level_session.h"
#include "world/level.h"

namespace Effects {

void InstallLevelHooks()
{
    SessionHooks& hooks = Session::Hooks();
    hooks.levelScript = [](const std::filesystem::path& script) {
        StaticShadows::SetLevelScript(script);
        SunLight::ResetForLevel(nullptr);
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

#include "effects/saved_shadows.h"

#include "effects/shadows.h"
#include "effects/static_shadows.h"
#include "session/saved_game.h"
#include "world/level.h"

namespace SavedShadows {
namespace {

// The edges are no part of the save: the cache or the model gives them.
bool Load(const SavedGame::World&)
{
    if (ShadowMode == 4 && StaticShadows::MapAsks())
        if (Level* level = Level::Current())
            StaticShadows::LoadOrBuild(*level);
    return true;
}

} // namespace

void Install() { SavedGame::AddSection({nullptr, Load, nullptr}); }

} // namespace SavedShadows

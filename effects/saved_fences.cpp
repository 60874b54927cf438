#include "effects/saved_fences.h"

#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "session/saved_game.h"

namespace SavedFences {
namespace {

void Save(SavedGame::World& world)
{
    EffectList& list = Effects::ListFor(EffectKind::LaserFence);
    for (EffectList::Iterator it(list); !it.AtEnd(); it.Next()) {
        const EffectRecord& record = **it.Get();
        if (record.kind == EffectKind::LaserFence && record.points.size() >= 2)
            world.fences.push_back({record.points[0], record.points[1]});
    }
}

// A new fence goes before the others of its kind, so the last saved is
// built first and the list comes back in its saved order. A fence with
// points that are not finite is not built.
bool Load(const SavedGame::World& world)
{
    for (auto fence = world.fences.rbegin(); fence != world.fences.rend(); ++fence)
        Effects::AddLaserFence(fence->start, fence->end);
    return true;
}

} // namespace

void Install() { SavedGame::AddSection({Save, Load, nullptr}); }

} // namespace SavedFences

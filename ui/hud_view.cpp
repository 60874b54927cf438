#include "ui/hud_view.h"

#include "app/app_time.h"
#include "objects/world_object.h"
#include "ui/game_view.h"
#include "ui/mouse.h"
#include "ui/selection.h"

namespace {
HudView g_defaultView;
HudView* g_view = &g_defaultView;
} // namespace

std::span<WorldObject* const> HudView::Objects()
{
    objects_ = WorldObjectTable::Snapshot();
    return objects_;
}

std::span<WorldObject* const> HudView::Selected()
{
    selected_ = Selection::Members();
    return selected_;
}

int HudView::LocalTeam() { return GameView::LocalTeam(); }
int64_t HudView::RealNow() { return AppTime::RealNow(); }
int64_t HudView::TicksPerSecond() { return AppTime::TicksPerSecond(); }
// The game clock the orders stamp their requests with, so countdowns and
// sweeps agree with them to the tick.
double HudView::GameSeconds() { return AppTime::GameSeconds(); }

// One cursor mode for the whole interface: the mouse action map's.
int HudView::CursorMode() { return MouseMode::Get(); }
void HudView::SetCursorMode(int mode) { MouseMode::Set(mode); }

HudView& HudView::Current() { return *g_view; }
void HudView::Install(HudView* view) { g_view = view ? view : &g_defaultView; }

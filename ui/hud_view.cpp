#include "ui/hud_view.h"

#include "app/app_time.h"

namespace {
HudView g_defaultView;
HudView* g_view = &g_defaultView;
int g_cursorMode = 0;
} // namespace

int64_t HudView::RealNow() { return AppTime::RealNow(); }
int64_t HudView::TicksPerSecond() { return AppTime::TicksPerSecond(); }
double HudView::GameSeconds()
{
    const int64_t tps = AppTime::TicksPerSecond();
    return tps > 0 ? double(AppTime::GameNow()) / double(tps) : 0.0;
}

int HudView::CursorMode() { return g_cursorMode; }
void HudView::SetCursorMode(int mode) { g_cursorMode = mode; }

HudView& HudView::Current() { return *g_view; }
void HudView::Install(HudView* view) { g_view = view ? view : &g_defaultView; }

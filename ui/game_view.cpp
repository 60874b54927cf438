#include "ui/game_view.h"

#include "app/app_time.h"

namespace {
GameView g_defaultView;
GameView* g_view = &g_defaultView;
int g_cursorMode = 0;
} // namespace

int64_t GameView::RealNow() { return AppTime::RealNow(); }
int64_t GameView::TicksPerSecond() { return AppTime::TicksPerSecond(); }
double GameView::GameSeconds()
{
    const int64_t tps = AppTime::TicksPerSecond();
    return tps > 0 ? double(AppTime::GameNow()) / double(tps) : 0.0;
}

int GameView::CursorMode() { return g_cursorMode; }
void GameView::SetCursorMode(int mode) { g_cursorMode = mode; }

GameView& GameView::Current() { return *g_view; }
void GameView::Install(GameView* view) { g_view = view ? view : &g_defaultView; }

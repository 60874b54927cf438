#include "app/app_state.h"

#include "app/fatal.h"

namespace {
AppState g_state = AppState::None;
AppStateObserver g_observers[4] = {};
} // namespace

AppState CurrentAppState() { return g_state; }

void SetAppState(AppState state)
{
    const AppState from = g_state;
    g_state = state;
    if (from == state)
        return;
    for (AppStateObserver o : g_observers) {
        if (o)
            o(from, state);
    }
}

void AddAppStateObserver(AppStateObserver observer)
{
    for (AppStateObserver& o : g_observers) {
        if (o == observer)
            return;
    }
    for (AppStateObserver& o : g_observers) {
        if (!o) {
            o = observer;
            return;
        }
    }
}

void RemoveAppStateObserver(AppStateObserver observer)
{
    for (AppStateObserver& o : g_observers) {
        if (o == observer)
            o = nullptr;
    }
}

void ExitProgram(int code)
{
    FatalExit(code);
}

#include "app/app_state.h"

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

#include <cstdlib>

namespace {
ExitProgramHandler g_exitHandler = nullptr;
} // namespace

void ExitProgram(int code)
{
    if (g_exitHandler)
        g_exitHandler(code);
    std::exit(code);
}

ExitProgramHandler SetExitProgramHandler(ExitProgramHandler handler)
{
    ExitProgramHandler previous = g_exitHandler;
    g_exitHandler = handler;
    return previous;
}

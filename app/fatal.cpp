#include "app/fatal.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<FatalExitHandler> g_handler{nullptr};
std::atomic<bool> g_exiting{false};
}

void FatalExit(int code)
{
    if (FatalExitHandler handler = g_handler.load())
        handler(code);
    // An exit handler that fails again (out of memory while shutting down)
    // must not start a second run of the exit handlers.
    if (g_exiting.exchange(true))
        std::_Exit(code);
    std::exit(code);
}

FatalExitHandler SetFatalExitHandler(FatalExitHandler handler)
{
    return g_handler.exchange(handler);
}

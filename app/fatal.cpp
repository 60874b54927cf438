#include "app/fatal.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<FatalExitHandler> g_handler{nullptr};
}

void FatalExit(int code)
{
    if (FatalExitHandler handler = g_handler.load())
        handler(code);
    std::exit(code);
}

FatalExitHandler SetFatalExitHandler(FatalExitHandler handler)
{
    return g_handler.exchange(handler);
}

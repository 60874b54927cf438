#include "objects/server_link.h"

#include <utility>

namespace {
ServerLink g_link;
constexpr uint64_t kDefaultTicksPerSecond = 1000000;
} // namespace

ServerLink& ServerLink::Get() { return g_link; }

void ServerLink::Install(ServerLink link) { g_link = std::move(link); }

uint64_t ServerLink::TicksPerSecond() const
{
    const uint64_t rate = ticksPerSecond ? ticksPerSecond() : 0;
    return rate ? rate : kDefaultTicksPerSecond;
}

float ServerLink::Seconds() const
{
    return static_cast<float>(static_cast<double>(Now()) / static_cast<double>(TicksPerSecond()));
}

ServerLinkHold::ServerLinkHold()
{
    if (g_link.enter)
        g_link.enter();
}

ServerLinkHold::~ServerLinkHold()
{
    if (g_link.leave)
        g_link.leave();
}

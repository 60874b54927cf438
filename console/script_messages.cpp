#include "console/script_messages.h"

#include "session/message_sizes.h"
#include "session/server_thread.h"

#include <atomic>

namespace ScriptMessages {
namespace {
bool SendToServerClients(std::span<const uint8_t> block, bool guaranteed)
{
    return Server::SendToClients(block.data(), static_cast<uint32_t>(block.size()), guaranteed);
}
bool ServerProbe() { return Server::IsRunning(); }

Sink g_sink = SendToServerClients;
// Atomic: any thread that sends may count, and tests read it.
std::atomic<uint64_t> g_refused{0};
bool (*g_runsServer)() = ServerProbe;
} // namespace

Builder& Builder::Colour(const ::Colour& c)
{
    return U32(c.Packed()).F32(c.red).F32(c.green).F32(c.blue).F32(c.alpha).U32(c.flags);
}

Builder& Builder::Text(const std::string& text)
{
    writer_.Bytes(text.c_str(), text.size() + 1);
    return *this;
}

void SetSink(Sink sink) { g_sink = sink ? sink : SendToServerClients; }
bool RunsServer() { return g_runsServer(); }
void SetRunsServer(bool (*probe)()) { g_runsServer = probe ? probe : ServerProbe; }

bool Send(const Builder& message)
{
    const auto& bytes = message.Bytes();
    const uint32_t type = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
    return Send(message, MessageSizes::IsGuaranteed(MessageSizes::Direction::kToClient, type));
}

bool Send(const Builder& message, bool guaranteed)
{
    const auto& bytes = message.Bytes();
    if (!MessageSizes::Fits(MessageSizes::Direction::kToClient, bytes)) {
        g_refused.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    return g_sink(bytes, guaranteed);
}

uint64_t Refused() { return g_refused.load(std::memory_order_relaxed); }

} // namespace ScriptMessages

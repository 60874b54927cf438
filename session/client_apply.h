// The client side of the server messages: each block is checked against the
// one message-size table first, then every id, index and count it carries;
// a block that fails changes nothing. The drain of server messages calls
// it for every message, then updates the client objects once.
#pragma once

#include "session/game_message.h"

#include <cstdint>
#include <span>

namespace Client {

enum class Applied : uint8_t {
    kApplied,
    kRefused,   // the size row, an id, an index or a count was bad
    kNotHere,   // a type the client objects do not apply (effects, interface)
};

Applied ApplyServerMessage(std::span<const uint8_t> block);
inline Applied ApplyServerMessage(const GameMessage& message)
{
    return ApplyServerMessage(std::span<const uint8_t>(message.Data(), message.Size()));
}

// The client objects' road to the server and, where the server runs in this
// program, its send to the clients.
void InstallObjectServices(bool serverRunsHere, int32_t ownSide);

} // namespace Client

// Server messages that level-script commands send to every client: built
// field by field, checked against the message-size table before they go, and
// sent with the table's delivery flag.
#pragma once

#include "app/maths.h"
#include "platform/byte_cursor.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ScriptMessages {

// The block of one message, its type word already written.
class Builder {
public:
    explicit Builder(uint32_t type) : writer_(bytes_) { writer_.U32(type); }
    Builder& U32(uint32_t v) { writer_.U32(v); return *this; }
    Builder& I32(int32_t v) { writer_.I32(v); return *this; }
    Builder& F32(float v) { writer_.F32(v); return *this; }
    Builder& U8(uint8_t v) { writer_.U8(v); return *this; }
    Builder& Point(const Vec3& p) { return F32(p.x).F32(p.y).F32(p.z); }
    // Packed word, red, green, blue, alpha, flags.
    Builder& Colour(const ::Colour& c);
    Builder& Text(const std::string& text);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    trevok::ByteWriter writer_;
};

// Where sent blocks go: the server's senders unless a test records them.
using Sink = bool (*)(std::span<const uint8_t> block, bool guaranteed);
void SetSink(Sink sink);

// True when this machine runs the server (the commands that send are silent
// elsewhere); tests may override it.
bool RunsServer();
void SetRunsServer(bool (*probe)());

// False, and nothing sent, for a block the size table refuses (a command
// that built it wrong); such blocks are counted.
bool Send(const Builder& message);
// The same with the delivery the command asks for (a row that allows either).
bool Send(const Builder& message, bool guaranteed);
// How many blocks the size table has refused since the program started.
uint64_t Refused();

} // namespace ScriptMessages

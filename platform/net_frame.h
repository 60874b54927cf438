// The framing of what the network layer puts on the wire: one frame per ENet
// packet (a kind byte, then fields little-endian), and the datagrams of the
// session search. Parsing is strict: anything short, long or out of range is
// refused whole, since every byte here comes from another machine.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

using NetGuid = std::array<uint8_t, 16>;

inline constexpr uint32_t kNetMaxMessage = 64 * 1024;   // one game message
inline constexpr uint32_t kNetMaxName = 63;             // session and player names, bytes
inline constexpr uint32_t kNetMaxFrame = kNetMaxMessage + 64;

enum class FrameKind : uint8_t {
    kData = 1,            // from, to, payload
    kHello = 2,           // application GUID, session instance GUID
    kWelcome = 3,         // session flags, session name
    kRefuse = 4,          // result code
    kCreatePlayer = 5,    // token, player flags, name
    kPlayerAdded = 6,     // id, player flags, token (0: not the asker's), name
    kPlayerRemoved = 7,   // id
    kDestroyPlayer = 8,   // id
};

struct Frame {
    FrameKind kind = FrameKind::kData;
    uint32_t from = 0;
    uint32_t to = 0;
    uint32_t id = 0;        // player id, or the refusal code
    uint32_t flags = 0;
    uint32_t token = 0;
    NetGuid application{};
    NetGuid instance{};
    std::string name;
    std::span<const uint8_t> payload; // kData: points into the parsed bytes
};

std::optional<Frame> ParseFrame(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteFrame(const Frame& frame);

// Session search: a query names the application; an answer describes one
// session. Both start with their own four-byte mark.
struct SessionAnswer {
    NetGuid instance{};
    uint32_t flags = 0;
    uint32_t maxPlayers = 0;
    uint32_t currentPlayers = 0;
    std::string name;
};

std::vector<uint8_t> WriteSessionQuery(const NetGuid& application);
std::optional<NetGuid> ParseSessionQuery(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteSessionAnswer(const SessionAnswer& answer);
std::optional<SessionAnswer> ParseSessionAnswer(std::span<const uint8_t> bytes);

} // namespace platform

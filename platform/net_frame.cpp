#include "platform/net_frame.h"

#include "platform/byte_cursor.h"

#include <algorithm>

namespace platform {
namespace {

constexpr uint8_t kQueryMark[4] = {'T', 'V', 'N', 'Q'};
constexpr uint8_t kAnswerMark[4] = {'T', 'V', 'N', 'R'};

void PutName(trevok::ByteWriter& out, const std::string& name)
{
    const size_t length = name.size() < kNetMaxName ? name.size() : kNetMaxName;
    out.U8(static_cast<uint8_t>(length));
    out.Bytes(name.data(), length);
}

// A name longer than the bound or holding a NUL is refused, not cut.
bool TakeName(trevok::ByteReader& in, std::string& name)
{
    const uint8_t length = in.U8();
    if (!in.Ok() || length > kNetMaxName || !in.Has(length))
        return false;
    name.resize(length);
    in.Bytes(name.data(), length);
    return name.find('\0') == std::string::npos;
}

void TakeGuid(trevok::ByteReader& in, NetGuid& guid) { in.Bytes(guid.data(), guid.size()); }

bool HasMark(trevok::ByteReader& in, const uint8_t (&mark)[4])
{
    uint8_t seen[4] = {};
    in.Bytes(seen, 4);
    return in.Ok() && std::equal(seen, seen + 4, mark);
}

} // namespace

std::optional<Frame> ParseFrame(std::span<const uint8_t> bytes)
{
    if (bytes.empty() || bytes.size() > kNetMaxFrame)
        return std::nullopt;
    trevok::ByteReader in(bytes);
    Frame frame;
    frame.kind = static_cast<FrameKind>(in.U8());
    switch (frame.kind) {
    case FrameKind::kData:
        frame.from = in.U32();
        frame.to = in.U32();
        if (!in.Ok() || in.Remaining() > kNetMaxMessage)
            return std::nullopt;
        frame.payload = bytes.subspan(in.Position());
        return frame;
    case FrameKind::kHello:
        TakeGuid(in, frame.application);
        TakeGuid(in, frame.instance);
        break;
    case FrameKind::kWelcome:
        frame.flags = in.U32();
        if (!TakeName(in, frame.name))
            return std::nullopt;
        break;
    case FrameKind::kRefuse:
    case FrameKind::kPlayerRemoved:
    case FrameKind::kDestroyPlayer:
        frame.id = in.U32();
        break;
    case FrameKind::kCreatePlayer:
        frame.token = in.U32();
        frame.flags = in.U32();
        if (!TakeName(in, frame.name))
            return std::nullopt;
        break;
    case FrameKind::kPlayerAdded:
        frame.id = in.U32();
        frame.flags = in.U32();
        frame.token = in.U32();
        if (!TakeName(in, frame.name))
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    if (!in.Ok() || !in.AtEnd())
        return std::nullopt;
    return frame;
}

std::vector<uint8_t> WriteFrame(const Frame& frame)
{
    std::vector<uint8_t> bytes;
    trevok::ByteWriter out(bytes);
    out.U8(static_cast<uint8_t>(frame.kind));
    switch (frame.kind) {
    case FrameKind::kData:
        out.U32(frame.from);
        out.U32(frame.to);
        out.Bytes(frame.payload);
        break;
    case FrameKind::kHello:
        out.Bytes(frame.application.data(), frame.application.size());
        out.Bytes(frame.instance.data(), frame.instance.size());
        break;
    case FrameKind::kWelcome:
        out.U32(frame.flags);
        PutName(out, frame.name);
        break;
    case FrameKind::kRefuse:
    case FrameKind::kPlayerRemoved:
    case FrameKind::kDestroyPlayer:
        out.U32(frame.id);
        break;
    case FrameKind::kCreatePlayer:
        out.U32(frame.token);
        out.U32(frame.flags);
        PutName(out, frame.name);
        break;
    case FrameKind::kPlayerAdded:
        out.U32(frame.id);
        out.U32(frame.flags);
        out.U32(frame.token);
        PutName(out, frame.name);
        break;
    }
    return bytes;
}

std::vector<uint8_t> WriteSessionQuery(const NetGuid& application)
{
    std::vector<uint8_t> bytes;
    trevok::ByteWriter out(bytes);
    out.Bytes(kQueryMark, 4);
    out.Bytes(application.data(), application.size());
    return bytes;
}

std::optional<NetGuid> ParseSessionQuery(std::span<const uint8_t> bytes)
{
    trevok::ByteReader in(bytes);
    NetGuid application{};
    if (!HasMark(in, kQueryMark))
        return std::nullopt;
    TakeGuid(in, application);
    if (!in.Ok() || !in.AtEnd())
        return std::nullopt;
    return application;
}

std::vector<uint8_t> WriteSessionAnswer(const SessionAnswer& answer)
{
    std::vector<uint8_t> bytes;
    trevok::ByteWriter out(bytes);
    out.Bytes(kAnswerMark, 4);
    out.Bytes(answer.instance.data(), answer.instance.size());
    out.U32(answer.flags);
    out.U32(answer.maxPlayers);
    out.U32(answer.currentPlayers);
    PutName(out, answer.name);
    return bytes;
}

std::optional<SessionAnswer> ParseSessionAnswer(std::span<const uint8_t> bytes)
{
    trevok::ByteReader in(bytes);
    SessionAnswer answer;
    if (!HasMark(in, kAnswerMark))
        return std::nullopt;
    TakeGuid(in, answer.instance);
    answer.flags = in.U32();
    answer.maxPlayers = in.U32();
    answer.currentPlayers = in.U32();
    if (!TakeName(in, answer.name) || !in.AtEnd())
        return std::nullopt;
    return answer;
}

} // namespace platform

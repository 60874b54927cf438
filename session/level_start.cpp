#include "session/level_start.h"

#include "app/clock.h"
#include "objects/teams.h"
#include "objects/world_object.h"
#include "platform/byte_cursor.h"
#include "platform/net.h"
#include "platform/thread.h"
#include "session/direct_play.h"
#include "session/game_speed.h"
#include "session/game_state.h"
#include "session/level_session.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "session/network.h"
#include "session/server_thread.h"

#include <chrono>

namespace LevelStart {

constexpr float kClientSpeed = 0.99f; // a client never runs ahead of the server

static Values g_values;     // game thread
static WaitLimits g_limits; // game thread

bool IsSafeDataName(std::string_view name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'))
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

static bool TakeName(trevok::ByteReader& in, std::string& name)
{
    name.clear();
    while (in.Ok() && name.size() < kMaxNameBytes) {
        const char c = static_cast<char>(in.U8());
        if (!in.Ok())
            return false;
        if (c == '\0')
            return IsSafeDataName(name);
        name.push_back(c);
    }
    return false;
}

// Polls `done` with a short sleep until it holds, the time-out passes or the
// player cancels.
template <typename Step>
static bool PollUntil(Step done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_limits.timeoutMs);
    for (;;) {
        const std::optional<bool> result = done();
        if (result)
            return *result;
        if (g_limits.cancelled && g_limits.cancelled())
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        platform::SleepMilliseconds(g_limits.pollMs);
    }
}

static void StartClocks(Timer& clock, float speed)
{
    clock.SetSpeed(speed);
    clock.SetSeconds(Session::LevelStartTime());
}

bool CancelPressed()
{
    const auto& cancel = Session::Hooks().cancelPressed;
    return cancel && cancel();
}

void ShowWaiting() { LoadingScreen::Show(Session::kTextWaiting); }
void ActivateWorld() { WorldObjectTable::ActivateAll(); }

Values& Current() { return g_values; }
void SetWaitLimits(WaitLimits limits) { g_limits = std::move(limits); }
const WaitLimits& CurrentWaitLimits() { return g_limits; }

uint32_t SideOf(uint32_t gameType, uint32_t index)
{
    switch (gameType) {
    case 4: return (index & 1) + 1;
    case 2:
    case 3:
    case 5: return index == 0 ? 1 : index + 2;
    default: return 1;
    }
}

uint32_t SidesFor(uint32_t gameType, uint32_t playerCount)
{
    switch (gameType) {
    case 2:
    case 3:
    case 5: return playerCount + 2;
    default: return 3;
    }
}

std::vector<uint8_t> WriteLevelStart(const Values& values)
{
    std::vector<uint8_t> bytes;
    trevok::ByteWriter out(bytes);
    out.U32(kLevelStart);
    out.U32(values.gameType);
    out.U32(values.sides);
    out.U32(values.ownSide);
    out.CString(values.level);
    out.CString(values.companion);
    return bytes;
}

std::optional<Values> ParseLevelStart(std::span<const uint8_t> bytes)
{
    if (!MessageSizes::Fits(MessageSizes::Direction::kToClient, bytes))
        return std::nullopt;
    trevok::ByteReader in(bytes);
    Values values;
    if (in.U32() != kLevelStart)
        return std::nullopt;
    values.gameType = in.U32();
    values.sides = in.U32();
    values.ownSide = in.U32();
    if (!in.Ok() || values.gameType > kMaxGameType || values.sides > kMaxSides || values.ownSide >= values.sides)
        return std::nullopt;
    if (!TakeName(in, values.level) || !TakeName(in, values.companion) || !in.AtEnd())
        return std::nullopt;
    return values;
}

} // namespace LevelStart

using LevelStart::g_limits;

namespace Server {

bool LockSession()
{
    auto session = Network::Transport();
    if (!session)
        return true;
    int32_t code = session->SetSessionFlags(session->SessionFlags() | Network::kLockFlags);
    if (code != DirectPlayCode::kOk) {
        DebugReport(code);
        return false;
    }
    std::vector<std::pair<uint32_t, std::string>> players;
    code = session->EnumPlayers([&](uint32_t id, uint32_t flags, const std::string& name) {
        if (!(flags & kPlayerIsServer))
            players.emplace_back(id, name);
    });
    if (code != DirectPlayCode::kOk) {
        DebugReport(code);
        return false;
    }
    GameState::Hold hold;
    ClearPlayers();
    for (auto& [id, name] : players) {
        AddPlayer(name, id);
        FindPlayer(id)->acknowledged = true;
    }
    SetWaitingForPlayers(true);
    return true;
}

bool SendLevelStart(uint32_t gameType, const std::string& level, const std::string& companion)
{
    LevelStart::Values& values = LevelStart::Current();
    values.gameType = gameType;
    values.level = level;
    values.companion = companion;
    if (!HasDirectPlay())
        return true;
    GameState::Hold hold;
    const uint32_t count = PlayerCount();
    values.sides = LevelStart::SidesFor(gameType, count);
    if (values.sides > LevelStart::kMaxSides)
        return false; // more players than sides a level can hold
    for (uint32_t i = 0; i < count; ++i) {
        LevelStart::Values message = values;
        message.ownSide = LevelStart::SideOf(gameType, i);
        const std::vector<uint8_t> bytes = LevelStart::WriteLevelStart(message);
        if (!SendToPlayer(i, bytes.data(), static_cast<uint32_t>(bytes.size()), true))
            return false;
    }
    SetGameType(gameType);
    return true;
}

bool WaitForPlayers()
{
    if (HasDirectPlay()) {
        if (g_limits.showLoading)
            g_limits.showLoading();
        const bool all = LevelStart::PollUntil([]() -> std::optional<bool> {
            GameState::Hold hold;
            if (!RefreshPlayers())
                return false;
            for (uint32_t i = 0; i < PlayerCount(); ++i) {
                const NetworkPlayer* player = PlayerAt(i);
                if (!player->gone && !player->ready)
                    return std::nullopt;
            }
            return true;
        });
        if (!all)
            return false;
        SetWaitingForPlayers(false);
        // No defeat check in a networked game; set before the level runs so
        // no pass can notice a loss first.
        SetDefeatNoticed(true);
    }
    GameSpeed::Reset();
    LevelStart::StartClocks(ServerClock(), 1.0f);
    if (HasDirectPlay()) {
        uint8_t go[4];
        StoreU32(go, LevelStart::kAllReady);
        if (!SendToClients(go, sizeof go, true))
            return false;
    }
    return true;
}

} // namespace Server

namespace Client {

bool ReceiveLevelStart()
{
    std::shared_ptr<DirectPlay> dp = DirectPlaySession();
    if (!dp)
        return true;
    Network::Received received = Network::Receive(*dp, Network::LocalPlayerId());
    if (!received.ok || received.message.IsEmpty() || received.sender == kSystemPlayerId)
        return false;
    std::optional<LevelStart::Values> values =
        LevelStart::ParseLevelStart({received.message.Data(), received.message.Size()});
    if (!values)
        return false;
    LevelStart::Current() = std::move(*values);
    // The sides and their relations for this level; no level runs on the
    // server yet, so nothing reads the table meanwhile.
    const LevelStart::Values& v = LevelStart::Current();
    TeamTable::Build(v.sides, static_cast<int32_t>(v.ownSide), v.gameType);
    return true;
}

bool SendReady()
{
    uint8_t ready[4];
    StoreU32(ready, MessageType::kPlayerReady);
    if (!DirectPlaySession())
        return true;
    return SendToServer(ready, sizeof ready, true);
}

bool WaitForStart()
{
    std::shared_ptr<DirectPlay> dp = DirectPlaySession();
    if (dp) {
        if (g_limits.showLoading)
            g_limits.showLoading();
        const bool started = LevelStart::PollUntil([&]() -> std::optional<bool> {
            for (;;) {
                Network::Received received = Network::Receive(*dp, Network::LocalPlayerId());
                if (!received.ok)
                    return false;
                if (received.message.IsEmpty())
                    return std::nullopt;
                if (received.sender != kSystemPlayerId && received.message.Type() == LevelStart::kAllReady)
                    return true;
            }
        });
        if (!started)
            return false;
    }
    LevelStart::StartClocks(Server::ClientClock(), dp ? LevelStart::kClientSpeed : 1.0f);
    if (g_limits.activateAll)
        g_limits.activateAll();
    return true;
}

} // namespace Client

#include "session/server_thread.h"

#include "app/clock.h"
#include <cstddef> // app/list.h uses size_t unqualified

#include "app/list.h"
#include "app/read_write_lock.h"
#include "platform/thread.h"
#include "session/direct_play.h"
#include "session/game_speed.h"
#include "session/game_state.h"
#include "session/level_start.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Server {
namespace {

constexpr uint32_t kPassTimeoutMs = 50;
constexpr float kDefeatDelaySeconds = 3.0f;

// The events live as long as the program, so a late Leave or Wake after the
// thread ended signals nothing that is gone; Start clears them.
platform::Event g_arrival;
platform::Event g_stop;
platform::Event g_pauseRequest;
platform::Event g_resume;
platform::Event g_paused;

platform::Thread g_thread;
thread_local bool t_onServerThread = false;

std::atomic<bool> g_running{false};
std::atomic<bool> g_started{false};       // game thread: a thread to stop
std::atomic<bool> g_waitingForPlayers{false};
std::atomic<bool> g_levelRunning{false};
std::atomic<bool> g_defeatNoticed{false};
std::atomic<uint64_t> g_passCount{0};
std::atomic<uint64_t> g_passesBegun{0};
bool g_parked = false;                     // game thread only

// Server thread only while it runs; the game thread before Start.
bool g_defeatPending = false;
float g_defeatDeadline = 0.0f;             // real-clock seconds

// Set while stopped or under the hand-over; read by the server thread.
ServerHooks g_hooks;
Timer* g_serverClock = &ServerTime;
Timer* g_clientClock = &GameTime;
Timer* g_realClock = &RealTime;

// The DirectPlay session: set by Start before the thread runs, dropped by the
// thread as it ends; the game thread reads it only under the hand-over.
std::shared_ptr<DirectPlay> g_dp;
uint32_t g_serverPlayerId = 0;
uint32_t g_groupId = 0;

// Touched by the server thread, or by the game thread under the hand-over
// or while no thread runs.
List<NetworkPlayer> g_players;
uint32_t g_gameType = 0;
uint32_t g_roundRobin = 0;
uint32_t g_sideOneNext = 0;
uint32_t g_otherSidesNext = 1;

// Current DirectPlay ids other than the server player's; guarded by
// g_playerIdsLock.
ReadWriteLock g_playerIdsLock;
std::unordered_set<uint32_t> g_playerIds;

void Print(const char* text)
{
    if (g_hooks.print)
        g_hooks.print(text);
}

void HandleRequest(const GameMessage& message, uint32_t sender)
{
    // A block that breaks its size row is dropped before any word is read.
    if (!MessageSizes::Fits(MessageSizes::Direction::kToServer, {message.Data(), message.Size()}))
        return;
    const uint32_t type = message.Type();
    if (type == MessageType::kPlayerReady) {
        if (g_waitingForPlayers) {
            if (NetworkPlayer* player = FindPlayer(sender))
                player->ready = true;
        }
        return;
    }
    if (!g_levelRunning || type < MessageType::kFirstLevelRequest || type > MessageType::kLastLevelRequest)
        return;
    if (type == MessageType::kSpeedAnswer) {
        uint32_t sequence = 0;
        if (message.ReadWord(1, sequence))
            GameSpeed::OnAnswer(sender, sequence);
        return;
    }
    if (g_hooks.request)
        g_hooks.request(message, sender);
}

void DrainRequests()
{
    for (;;) {
        uint32_t sender = kServerPlayerId;
        GameMessage message;
        if (g_dp) {
            Network::Received received = Network::Receive(*g_dp, g_serverPlayerId);
            if (!received.ok || received.message.IsEmpty())
                return;
            message = std::move(received.message);
            sender = received.sender;
        } else {
            message = ClientToServerQueue.Pop();
            if (message.IsEmpty())
                return;
        }
        if (sender == kSystemPlayerId)
            continue; // DirectPlay's own notices are never requests
        HandleRequest(message, sender);
    }
}

void SendDefeat()
{
    uint8_t block[4];
    StoreU32(block, MessageType::kDefeat);
    SendToClients(block, sizeof block, true);
}

void RunPass()
{
    g_passesBegun.fetch_add(1);
    GameSpeed::ApplyWhenAnswered();
    const uint64_t now = g_serverClock->Now64();
    if (g_hooks.think)
        g_hooks.think(now);
    if (g_hooks.tick)
        g_hooks.tick(now, g_serverClock->Seconds());
    const uint64_t pass = g_passCount.load();
    if ((pass & 3) == 3) {
        if (g_hooks.everyFourthPass)
            g_hooks.everyFourthPass();
        if (!g_defeatNoticed && g_hooks.ownSideAlive && !g_hooks.ownSideAlive()) {
            g_defeatNoticed = true;
            g_defeatPending = true;
            g_defeatDeadline = g_realClock->Seconds() + kDefeatDelaySeconds;
        }
    }
    g_passCount.store(pass + 1);
    if (g_defeatPending && g_realClock->Seconds() > g_defeatDeadline) {
        SendDefeat();
        g_defeatPending = false;
    }
}

void ThreadMain()
{
    t_onServerThread = true;
    g_defeatNoticed = false;
    g_defeatPending = false;
    g_passCount = 0;
    g_passesBegun = 0;
    platform::Event* const waits[] = {&g_stop, &g_pauseRequest, &g_arrival};
    platform::Event* const pauseWaits[] = {&g_stop, &g_resume};
    for (;;) {
        const int woken = platform::WaitForAnyEvent(waits, 3, kPassTimeoutMs);
        if (woken == 0)
            break;
        if (woken == 1) {
            g_paused.Set();
            // A stop while parked ends the thread: the game thread may stop
            // the session from inside a held hand-over (the in-game menu).
            if (platform::WaitForAnyEvent(pauseWaits, 2, platform::kWaitForever) == 0)
                break;
        }
        if (woken != platform::kWaitTimeout)
            DrainRequests();
        if (!g_levelRunning)
            continue;
        RunPass();
    }

    SendDefeat();
    g_levelRunning = false;
    if (g_hooks.releaseAll)
        g_hooks.releaseAll();
    g_players.Clear();
    {
        LockGuard guard(g_playerIdsLock, true);
        g_playerIds.clear();
    }
    g_dp.reset();
    ServerToClientQueue.Clear();
    CommandFileQueue.Clear();
    g_running = false;
    t_onServerThread = false;
}

// A thread still running when the program's statics go would wait forever
// in its holder's destructor; normally the session's exit handler stopped it.
struct StopAtExit {
    ~StopAtExit() { Stop(); }
} g_stopAtExit;

} // namespace

void SetHooks(ServerHooks hooks) { g_hooks = std::move(hooks); }

void SetClocks(Timer* serverClock, Timer* clientClock, Timer* realClock)
{
    g_serverClock = serverClock ? serverClock : &ServerTime;
    g_clientClock = clientClock ? clientClock : &GameTime;
    g_realClock = realClock ? realClock : &RealTime;
}

Timer& ServerClock() { return *g_serverClock; }
Timer& ClientClock() { return *g_clientClock; }

bool Start(std::shared_ptr<DirectPlay> dp)
{
    if (g_running || g_started)
        return false;
    // Registered after this file's objects were made, so it runs before they
    // go: the thread never outlives its events, players and hooks, whether
    // the game ends through its shut-down or a test simply returns.
    static const bool stopAtExit = (std::atexit([] { Stop(); }), true);
    (void)stopAtExit;
    for (platform::Event* event : {&g_arrival, &g_stop, &g_pauseRequest, &g_resume, &g_paused})
        event->Reset();
    if (dp) {
        int32_t code = dp->CreatePlayer(&g_serverPlayerId, &g_arrival, kPlayerIsServer);
        if (code == DirectPlayCode::kOk)
            code = dp->CreateGroup(&g_groupId);
        if (code != DirectPlayCode::kOk) {
            DebugReport(code);
            return false;
        }
    }
    g_dp = std::move(dp);
    g_waitingForPlayers = false;
    g_levelRunning = false;
    GameSpeed::Reset();
    // A game thread that already holds the game state keeps it: the new
    // thread parks before its first pass.
    g_parked = GameState::Depth() > 0;
    if (g_parked)
        g_pauseRequest.Set();
    g_running = true;
    if (!g_thread.Start(ThreadMain, platform::ThreadPriority::kHighest)) {
        g_running = false;
        g_dp.reset();
        g_parked = false;
        return false;
    }
    g_started = true;
    return true;
}

void Stop()
{
    // The thread cannot wait for its own end.
    if (!g_started || t_onServerThread)
        return;
    g_stop.Set();
    g_thread.Join();
    g_started = false;
    g_parked = false;
    CommandFileQueue.Clear();
}

bool IsRunning() { return g_running; }
bool IsLevelRunning() { return g_levelRunning; }
void Wake() { g_arrival.Set(); }

void BeginLevel()
{
    GameState::Hold hold;
    if (g_hooks.activateAll)
        g_hooks.activateAll();
    g_levelRunning = true;
}

void EndLevel()
{
    GameState::Hold hold;
    g_levelRunning = false;
    if (g_hooks.releaseAll)
        g_hooks.releaseAll();
    g_defeatNoticed = false;
}

void SetWaitingForPlayers(bool waiting) { g_waitingForPlayers = waiting; }
void SetDefeatNoticed(bool noticed) { g_defeatNoticed = noticed; }
uint64_t PassCount() { return g_passCount; }
uint64_t PassesBegun() { return g_passesBegun; }
bool OnServerThread() { return t_onServerThread; }

void Park()
{
    if (!g_running || g_parked)
        return;
    g_paused.Reset();
    g_pauseRequest.Set();
    g_paused.Wait(platform::kWaitForever);
    g_parked = true;
}

void Unpark()
{
    if (!g_parked)
        return;
    g_parked = false;
    if (g_running)
        g_resume.Set();
}

bool SendToClients(const void* buffer, uint32_t size, bool guaranteed)
{
    if (!g_dp) {
        ServerToClientQueue.Push(buffer, size);
        return true;
    }
    const int32_t code =
        g_dp->Send(kServerPlayerId, g_groupId, guaranteed ? kSendGuaranteed : 0, buffer, size);
    if (code != DirectPlayCode::kOk) {
        DebugReport(code);
        return false;
    }
    return true;
}

bool SendToPlayer(uint32_t index, const void* buffer, uint32_t size, bool guaranteed)
{
    NetworkPlayer* player = PlayerAt(index);
    if (!g_dp || !player)
        return false; // no such player: nothing to address
    const int32_t code =
        g_dp->Send(kServerPlayerId, player->id, guaranteed ? kSendGuaranteed : 0, buffer, size);
    if (code != DirectPlayCode::kOk) {
        DebugReport(code);
        return false;
    }
    return true;
}

void SetGameType(uint32_t gameType)
{
    g_gameType = gameType;
    g_roundRobin = 0;
    g_sideOneNext = 0;
    g_otherSidesNext = 1;
}

bool SenderControlsSide(uint32_t sender, uint32_t side)
{
    if (!g_dp || sender == kServerPlayerId)
        return true;
    for (uint32_t i = 0, count = PlayerCount(); i < count; ++i) {
        const NetworkPlayer* player = PlayerAt(i);
        if (player->id == sender)
            return !player->gone && LevelStart::SideOf(g_gameType, i) == side;
    }
    return false; // not a player of this session
}

void AssignUnit(uint32_t objectId, uint32_t side)
{
    uint8_t block[8];
    StoreU32(block, MessageType::kAssignObject);
    StoreU32(block + 4, objectId);
    if (!g_dp) {
        ServerToClientQueue.Push(block, sizeof block);
        return;
    }
    const uint32_t count = PlayerCount();
    if (count == 0)
        return;
    uint32_t index = 1;
    switch (g_gameType) {
    case 1: index = g_roundRobin++ % count; break;
    case 4: {
        // Side 1's players sit at the even list positions, the others at the odd.
        uint32_t& next = side == 1 ? g_sideOneNext : g_otherSidesNext;
        index = next;
        next += 2;
        if (next >= count)
            next = side == 1 ? 0 : 1;
        break;
    }
    case 2:
    case 3:
    case 5: index = side == 1 ? 0 : side - 2; break;
    default: break;
    }
    SendToPlayer(index, block, sizeof block, true);
}

void BroadcastText(std::string_view text)
{
    constexpr uint32_t kTextField = 255;
    uint8_t block[4 + kTextField];
    MessageWriter writer(block, sizeof block);
    writer.PutU32(MessageType::kText);
    writer.PutText(text, kTextField);
    SendToClients(block, writer.Size(), true);
    Print(reinterpret_cast<const char*>(block + 4));
}

bool BroadcastCommandFile(std::string_view name)
{
    // A command file is a bare name in the scripts folder: a separator could
    // point every client at another folder's file.
    constexpr std::string_view kRefused("/\\\0", 3);
    if (!LevelStart::IsSafeDataName(name) || name.find_first_of(kRefused) != std::string_view::npos)
        return false;
    std::vector<uint8_t> block(4 + name.size() + 1, 0);
    StoreU32(block.data(), MessageType::kRunCommandFile);
    std::copy(name.begin(), name.end(), block.begin() + 4);
    // The own game thread runs it from its queue (the own client ignores 70).
    CommandFileQueue.Push(block.data() + 4, static_cast<uint32_t>(name.size() + 1));
    return SendToClients(block.data(), static_cast<uint32_t>(block.size()),
                         MessageSizes::IsGuaranteed(MessageSizes::Direction::kToClient, MessageType::kRunCommandFile));
}

void AddPlayer(std::string name, uint32_t id)
{
    NetworkPlayer player;
    player.name = std::move(name);
    player.id = id;
    g_players.PushBack(std::move(player));
}

void ClearPlayers() { g_players.Clear(); }

NetworkPlayer* FindPlayer(uint32_t id)
{
    for (NetworkPlayer& player : g_players) {
        if (player.id == id)
            return &player;
    }
    return nullptr;
}

uint32_t PlayerCount() { return static_cast<uint32_t>(g_players.Count()); }

NetworkPlayer* PlayerAt(uint32_t index)
{
    return index > static_cast<uint32_t>(INT32_MAX) ? nullptr : g_players.At(static_cast<int32_t>(index));
}

bool RefreshPlayers()
{
    if (!g_dp)
        return true;
    LockGuard guard(g_playerIdsLock, true);
    g_playerIds.clear();
    const int32_t code = g_dp->EnumPlayers([](uint32_t id, uint32_t flags) {
        if (!(flags & kPlayerIsServer))
            g_playerIds.insert(id);
    });
    if (code != DirectPlayCode::kOk) {
        DebugReport(code);
        return false;
    }
    for (NetworkPlayer& player : g_players) {
        if (!g_playerIds.count(player.id))
            player.gone = true;
    }
    return true;
}

void RemovePlayer(uint32_t id)
{
    if (g_dp) {
        const int32_t code = g_dp->DestroyPlayer(id);
        if (code != DirectPlayCode::kOk)
            DebugReport(code);
    }
}

bool HasDirectPlay() { return g_dp != nullptr; }

} // namespace Server

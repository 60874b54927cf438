// The server thread and the game-state hand-over: what runs on a pass, when
// the thread is parked, the defeat delay, and the game speed alone and in a
// networked game. Waits are on events and counters, never on time.
#include "fake_direct_play.h"
#include "app/clock.h"
#include "platform/thread.h"
#include "session/game_speed.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/server_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes(words.size() * 4);
    size_t i = 0;
    for (uint32_t w : words)
        StoreU32(bytes.data() + 4 * i++, w);
    return bytes;
}

void SendRequest(std::initializer_list<uint32_t> words)
{
    const auto bytes = Words(words);
    ClientToServerQueue.Push(bytes.data(), static_cast<uint32_t>(bytes.size()));
    Server::Wake();
}

// Keeps waking the server until `done` holds; the server passes on every
// wake, so this ends as soon as the awaited pass has run.
template <typename Predicate>
void WakeUntil(Predicate done)
{
    while (!done()) {
        Server::Wake();
        platform::YieldThread();
    }
}

// Requests as the server's request hook saw them.
struct RequestLog {
    std::mutex mutex;
    std::vector<std::pair<uint32_t, uint32_t>> seen; // type, sender
    std::vector<std::pair<uint32_t, uint32_t>> Copy()
    {
        std::lock_guard hold(mutex);
        return seen;
    }
};

// Stops the server before the test's own locals that its hooks and clocks
// refer to go out of scope: declare it after them.
struct StopServerHere {
    ~StopServerHere()
    {
        Server::Stop();
        Server::SetHooks({});
        Server::SetClocks(nullptr, nullptr, nullptr);
    }
};

class ServerThread : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }

    static void Reset()
    {
        Server::Stop();
        Server::SetHooks({});
        Server::SetClocks(nullptr, nullptr, nullptr);
        Server::SetGameType(0);
        ClientToServerQueue.Clear();
        ServerToClientQueue.Clear();
        CommandFileQueue.Clear();
        ServerTime.SetSpeed(1.0f);
        GameTime.SetSpeed(1.0f);
    }

    void LogRequests()
    {
        ServerHooks hooks;
        hooks.request = [this](const GameMessage& m, uint32_t sender) {
            std::lock_guard hold(log_.mutex);
            log_.seen.emplace_back(m.Type(), sender);
        };
        Server::SetHooks(std::move(hooks));
    }

    RequestLog log_;
};

TEST_F(ServerThread, StartsOnceAndStopsCleanly)
{
    ASSERT_TRUE(Server::Start(nullptr));
    EXPECT_TRUE(Server::IsRunning());
    EXPECT_FALSE(Server::Start(nullptr));
    CommandFileQueue.Push("level.tcs", 10);
    Server::Stop();
    EXPECT_FALSE(Server::IsRunning());
    EXPECT_EQ(CommandFileQueue.Count(), 0u);
    EXPECT_EQ(ServerToClientQueue.Count(), 0u);
    Server::Stop(); // a second stop does nothing
    EXPECT_TRUE(Server::Start(nullptr)) << "a stopped server starts again";
}

// A process that ends with the server still running (attract mode, a test
// that returns) stops the thread before the objects it waits on are gone.
TEST(ServerThreadAtExit, ExitWithTheServerRunningEndsCleanly)
{
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Server::Start(nullptr);
        std::exit(0);
    }
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 600 && ended == 0; ++i) { // up to a minute
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0)
            platform::SleepMilliseconds(100);
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the exit waited for the server thread for a minute";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ServerThread, RequestsBeforeTheLevelRunsAreDroppedAndLaterOnesHandledInOrder)
{
    LogRequests();
    ASSERT_TRUE(Server::Start(nullptr));
    SendRequest({5, 1, 0, 0, 0}); // a group order listing nobody
    SendRequest({30, 2, 0, 0, 0});
    WakeUntil([] { return ClientToServerQueue.Count() == 0; });
    Server::BeginLevel(); // parks the server: the drain above has ended
    EXPECT_TRUE(Server::IsLevelRunning());

    // Types outside 4..43, blocks without a type and blocks that break their
    // size are never handed on.
    SendRequest({2});
    SendRequest({44});
    ClientToServerQueue.Push("ab", 2);
    SendRequest({6, 7});       // a word short
    SendRequest({5, 8, 0, 0, 1}); // lists one id it does not carry
    SendRequest({43, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    SendRequest({5, 8, 0, 0, 0});
    WakeUntil([this] { return log_.Copy().size() >= 2; });
    Server::EndLevel();
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{43, kServerPlayerId}, {5, kServerPlayerId}};
    EXPECT_EQ(log_.Copy(), expected);
}

TEST_F(ServerThread, NestedHandOverParksOnceAndReleasesAtTheOutermostLeave)
{
    LogRequests();
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    GameState::Enter();
    GameState::Enter();
    EXPECT_EQ(GameState::Depth(), 2);
    const uint64_t passes = Server::PassCount();
    GameState::Leave();
    SendRequest({5, 1, 0, 0, 0}); // a group order listing nobody
    Server::Wake();
    // Still parked: nothing drained, no pass run.
    EXPECT_EQ(Server::PassCount(), passes);
    EXPECT_EQ(ClientToServerQueue.Count(), 1u);
    GameState::Leave();
    EXPECT_EQ(GameState::Depth(), 0);
    WakeUntil([this] { return log_.Copy().size() == 1; });
}

TEST_F(ServerThread, HandOverOnTheServerThreadItselfDoesNothing)
{
    std::atomic<int> ticks{0};
    StopServerHere stopFirst;
    ServerHooks hooks;
    hooks.tick = [&](uint64_t, float) {
        // Would wait for itself if the hand-over applied here.
        GameState::Enter();
        GameState::Enter();
        GameState::Leave();
        GameState::Leave();
        ++ticks;
    };
    Server::SetHooks(std::move(hooks));
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    WakeUntil([&] { return ticks >= 2; });
    EXPECT_EQ(GameState::Depth(), 0);
}

TEST_F(ServerThread, HandOverWithoutAServerAndStopWhileHeldDoNotHang)
{
    GameState::Enter(); // no server thread: nothing to park
    GameState::Leave();

    ASSERT_TRUE(Server::Start(nullptr));
    GameState::Enter();
    Server::Stop(); // e.g. leaving the game from the in-game menu
    EXPECT_FALSE(Server::IsRunning());
    GameState::Leave();

    // A server started while the game thread holds the state runs no pass
    // until it is let go.
    std::atomic<int> ticks{0};
    StopServerHere stopFirst;
    ServerHooks hooks;
    hooks.tick = [&](uint64_t, float) { ++ticks; };
    Server::SetHooks(std::move(hooks));
    GameState::Enter();
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    Server::Wake();
    EXPECT_EQ(ticks.load(), 0);
    GameState::Leave();
    WakeUntil([&] { return ticks >= 1; });
}

TEST_F(ServerThread, TriggersRunOnEveryFourthPassOnlyAndPassesCountWithoutObjects)
{
    std::mutex mutex;
    std::vector<uint64_t> fourthPasses;
    StopServerHere stopFirst;
    ServerHooks hooks;
    hooks.everyFourthPass = [&] {
        std::lock_guard hold(mutex);
        fourthPasses.push_back(Server::PassCount());
    };
    Server::SetHooks(std::move(hooks));
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    WakeUntil([&] {
        std::lock_guard hold(mutex);
        return fourthPasses.size() >= 3;
    });
    GameState::Hold hold;
    std::lock_guard lock(mutex);
    EXPECT_EQ(fourthPasses[0], 3u);
    EXPECT_EQ(fourthPasses[1], 7u);
    EXPECT_EQ(fourthPasses[2], 11u);
    EXPECT_GE(Server::PassCount(), 12u);
}

// A clock whose time the test moves; readings are atomic because the server
// thread reads while the test writes.
struct ScriptedClock {
    std::atomic<uint64_t> raw{0};
    std::atomic<uint32_t> ms{0};
    static constexpr uint64_t kRawPerMs = 1024 * 1000; // 1000 ticks a millisecond

    ClockSource Source()
    {
        return {[](void* c) { return static_cast<ScriptedClock*>(c)->raw.load(); },
                [](void* c) { return static_cast<ScriptedClock*>(c)->ms.load(); },
                [](void* c) { static_cast<ScriptedClock*>(c)->Advance(1); }, this};
    }
    void Advance(uint32_t milliseconds)
    {
        raw += kRawPerMs * milliseconds;
        ms += milliseconds;
    }
};

TEST_F(ServerThread, DefeatIsAnnouncedOnceAndNoSoonerThanThreeSecondsAfterTheLastLoss)
{
    ScriptedClock time;
    Clock clock(time.Source());
    clock.Calibrate(1);
    Timer real(&clock);
    real.SetTicks(0);
    Server::SetClocks(nullptr, nullptr, &real);

    std::atomic<bool> alive{true};
    std::atomic<int> checks{0};
    StopServerHere stopFirst;
    ServerHooks hooks;
    hooks.ownSideAlive = [&] {
        ++checks;
        return alive.load();
    };
    Server::SetHooks(std::move(hooks));
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    WakeUntil([&] { return checks >= 1; });
    alive = false;
    const uint64_t lossNoticedBy = Server::PassCount() + 8;
    WakeUntil([&] { return Server::PassCount() >= lossNoticedBy; });

    auto defeats = [] {
        GameState::Hold hold;
        int n = 0;
        for (GameMessage m = ServerToClientQueue.Pop(); !m.IsEmpty(); m = ServerToClientQueue.Pop())
            n += m.Type() == MessageType::kDefeat;
        return n;
    };
    time.Advance(2900);
    uint64_t until = Server::PassCount() + 4;
    WakeUntil([&] { return Server::PassCount() >= until; });
    EXPECT_EQ(defeats(), 0) << "announced before three seconds";

    time.Advance(200);
    int seen = 0;
    WakeUntil([&] { return (seen += defeats()) >= 1; });
    time.Advance(10000);
    until = Server::PassCount() + 8;
    WakeUntil([&] { return Server::PassCount() >= until; });
    EXPECT_EQ(seen + defeats(), 1);
}

TEST_F(ServerThread, SpeedAloneChangesBothClocksAtOnce)
{
    ASSERT_TRUE(Server::Start(nullptr));
    for (float speed : {0.5f, 2.0f, 0.0f, 1.0f}) {
        SCOPED_TRACE(speed);
        GameSpeed::Set(speed);
        EXPECT_EQ(GameSpeed::Get(), speed);
        GameState::Hold hold;
        EXPECT_EQ(ServerTime.Speed(), speed);
        EXPECT_EQ(GameTime.Speed(), speed);
    }
    GameSpeed::Set(-3.0f);
    EXPECT_EQ(GameSpeed::Get(), 0.0f) << "a clock never runs backwards";
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t index) { return LoadU32(bytes.data() + 4 * index); }

TEST_F(ServerThread, NetworkedSlowDownWaitsForEveryRemainingPlayer)
{
    LogRequests();
    auto dp = std::make_shared<FakeDirectPlay>();
    dp->present = {10, 11};
    Server::AddPlayer("ana", 10);
    Server::AddPlayer("bo", 11);
    ASSERT_TRUE(Server::Start(dp));
    Server::BeginLevel();

    GameSpeed::Set(0.5f);
    EXPECT_EQ(GameSpeed::Get(), 0.5f) << "the asked speed shows at once";
    auto sent = dp->SentCopy();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].bytes.size(), 12u);
    EXPECT_EQ(Word(sent[0].bytes, 0), MessageType::kSlowDown);
    EXPECT_EQ(sent[0].to, 77u) << "to the all-players group";
    const uint32_t sequence = Word(sent[0].bytes, 2);

    dp->Deliver(10, {4, sequence});
    dp->Deliver(11, {4, sequence - 1}); // an answer to an older change
    dp->Deliver(kSystemPlayerId, {5, 1, 0, 0, 0}); // DirectPlay's own notice
    dp->Deliver(11, {6, 2, 0});
    WakeUntil([&] { return dp->Taken() == 4; });
    {
        GameState::Hold hold;
        EXPECT_EQ(ServerTime.Speed(), 1.0f) << "a player has not slowed down yet";
        EXPECT_TRUE(Server::FindPlayer(10)->acknowledged);
        EXPECT_FALSE(Server::FindPlayer(11)->acknowledged);
    }
    const std::vector<std::pair<uint32_t, uint32_t>> requests = {{6, 11}};
    EXPECT_EQ(log_.Copy(), requests) << "the speed answers and system notices are not requests";

    {
        std::lock_guard hold(dp->mutex);
        dp->present = {10}; // the late player leaves: counts as answered
    }
    WakeUntil([] {
        GameState::Hold hold;
        return ServerTime.Speed() == 0.5f;
    });
    EXPECT_EQ(GameSpeed::Get(), 0.5f);

    GameSpeed::Set(2.0f);
    {
        GameState::Hold hold;
        EXPECT_EQ(ServerTime.Speed(), 2.0f) << "a faster speed applies at once";
    }
    sent = dp->SentCopy();
    ASSERT_EQ(sent.back().bytes.size(), 8u);
    EXPECT_EQ(Word(sent.back().bytes, 0), MessageType::kSpeedUp);
}

TEST_F(ServerThread, ObjectsGoToThePlayerOfTheirSideByGameType)
{
    auto dp = std::make_shared<FakeDirectPlay>();
    for (uint32_t id : {20u, 21u, 22u, 23u})
        Server::AddPlayer("p", id);
    ASSERT_TRUE(Server::Start(dp));
    struct Case {
        uint32_t gameType;
        std::vector<uint32_t> sides;
        std::vector<uint32_t> players; // ids that receive message 3, in order
    };
    const Case cases[] = {
        {1, {1, 2, 1, 2, 3}, {20, 21, 22, 23, 20}},
        {4, {1, 2, 1, 2, 1, 2}, {20, 21, 22, 23, 20, 21}},
        {2, {1, 3, 4, 5}, {20, 21, 22, 23}},
        {3, {0, 6, 1}, {20}}, // sides without a player are sent nothing
        {9, {1, 2}, {21, 21}},
    };
    size_t before = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gameType);
        GameState::Hold hold;
        Server::SetGameType(c.gameType);
        for (uint32_t side : c.sides)
            Server::AssignUnit(500 + side, side);
        const auto sent = dp->SentCopy();
        std::vector<uint32_t> to;
        for (size_t i = before; i < sent.size(); ++i) {
            EXPECT_EQ(Word(sent[i].bytes, 0), MessageType::kAssignObject);
            to.push_back(sent[i].to);
        }
        before = sent.size();
        EXPECT_EQ(to, c.players);
    }
}

TEST_F(ServerThread, BroadcastTextIsCutToItsFieldAndPrintedHere)
{
    std::string printed;
    StopServerHere stopFirst;
    ServerHooks hooks;
    hooks.print = [&](const char* text) { printed = text; };
    Server::SetHooks(std::move(hooks));
    Server::BroadcastText(std::string(300, 'y'));
    GameMessage m = ServerToClientQueue.Pop();
    ASSERT_EQ(m.Size(), 259u);
    EXPECT_EQ(m.Type(), MessageType::kText);
    EXPECT_EQ(m.Data()[258], 0);
    EXPECT_EQ(printed, std::string(254, 'y'));
}

} // namespace

// A request acts only on the sides its sender was given; alone, and for the
// host itself, every side answers to it.
TEST_F(ServerThread, RequestsActOnlyOnTheSenderOwnSide)
{
    EXPECT_TRUE(Server::SenderControlsSide(10, 2)) << "single play is unchanged";
    auto dp = std::make_shared<FakeDirectPlay>();
    Server::AddPlayer("ana", 20);
    Server::AddPlayer("bo", 21);
    ASSERT_TRUE(Server::Start(dp));
    GameState::Hold hold;
    Server::SetGameType(4); // side 1 at even list positions, side 2 at odd
    struct Case {
        uint32_t sender;
        uint32_t side;
        bool allowed;
    };
    const Case cases[] = {
        {20, 1, true}, {20, 2, false}, {21, 2, true}, {21, 1, false},
        {kServerPlayerId, 2, true}, {99, 1, false}, // not in the session
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sender " << c.sender << " side " << c.side);
        EXPECT_EQ(Server::SenderControlsSide(c.sender, c.side), c.allowed);
    }
}

TEST_F(ServerThread, CommandFileNamesStayInsideTheDataFolders)
{
    struct Case {
        std::string name;
        bool sent;
    };
    const Case cases[] = {
        {"intro.tvc", true},
        {"scripts\\intro.tvc", false},
        {"scripts/intro.tvc", false},
        {"..", false},
        {"..\\..\\etc\\passwd", false},
        {"scripts/../../x", false},
        {"/etc/passwd", false},
        {"C:\\boot.ini", false},
        {"", false},
        {std::string("a\0b", 3), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServerToClientQueue.Clear();
        EXPECT_EQ(Server::BroadcastCommandFile(c.name), c.sent);
        GameMessage m = ServerToClientQueue.Pop();
        ASSERT_EQ(m.IsEmpty(), !c.sent);
        if (!c.sent)
            continue;
        std::vector<uint8_t> expected = Words({70});
        expected.insert(expected.end(), c.name.begin(), c.name.end());
        expected.push_back(0);
        EXPECT_EQ(std::vector<uint8_t>(m.Data(), m.Data() + m.Size()), expected);
    }
}

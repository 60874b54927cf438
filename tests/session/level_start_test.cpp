// Starting a level together against an in-memory session: the sides each
// game type gives, what message 0 may carry, ready and all-ready, the waits'
// time-out and cancel, and players that left.
#include "fake_direct_play.h"
#include "app/clock.h"
#include "app/log_file.h"
#include "objects/teams.h"
#include "platform/data_path.h"
#include "session/game_state.h"
#include "session/level_session.h"
#include "session/level_start.h"
#include "session/message_queue.h"
#include "session/server_thread.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

class LevelStartTest : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }

    static void Reset()
    {
        Server::Stop();
        Client::SetDirectPlay(nullptr, 0);
        Server::SetWaitingForPlayers(false);
        LevelStart::WaitLimits limits;
        limits.timeoutMs = 5000;
        LevelStart::SetWaitLimits(limits);
        ServerTime.SetSpeed(1.0f);
        GameTime.SetSpeed(1.0f);
    }

    // A running server with `count` players in its list, all present.
    std::shared_ptr<FakeDirectPlay> StartServer(uint32_t count)
    {
        auto dp = std::make_shared<FakeDirectPlay>();
        EXPECT_TRUE(Server::Start(dp));
        GameState::Hold hold;
        for (uint32_t i = 0; i < count; ++i) {
            Server::AddPlayer("p" + std::to_string(i), 10 + i);
            std::lock_guard lock(dp->mutex);
            dp->present.push_back(10 + i);
        }
        return dp;
    }
};

TEST_F(LevelStartTest, EachGameTypeGivesItsSides)
{
    struct Case {
        uint32_t gameType;
        uint32_t players;
        std::vector<uint32_t> sides;
        uint32_t sideCount;
    };
    const Case cases[] = {
        {4, 4, {1, 2, 1, 2}, 3},
        {2, 3, {1, 3, 4}, 5},
        {3, 2, {1, 3}, 4},
        {5, 1, {1}, 3},
        {1, 3, {1, 1, 1}, 3},
        {0, 2, {1, 1}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "game type " << c.gameType);
        auto dp = StartServer(c.players);
        ASSERT_TRUE(Server::SendLevelStart(c.gameType, "levels\\mp01.def", "mp01.cmd"));
        const auto sent = dp->SentCopy();
        ASSERT_EQ(sent.size(), c.players);
        for (uint32_t i = 0; i < c.players; ++i) {
            EXPECT_EQ(sent[i].to, 10 + i);
            EXPECT_EQ(sent[i].flags & kSendGuaranteed, kSendGuaranteed);
            std::optional<LevelStart::Values> values = LevelStart::ParseLevelStart(sent[i].bytes);
            ASSERT_TRUE(values);
            EXPECT_EQ(values->ownSide, c.sides[i]);
            EXPECT_EQ(values->sides, c.sideCount);
            EXPECT_EQ(values->gameType, c.gameType);
            EXPECT_EQ(values->level, "levels\\mp01.def");
            EXPECT_EQ(values->companion, "mp01.cmd");
        }
        EXPECT_EQ(LevelStart::Current().sides, c.sideCount);
        Server::Stop();
    }
}

TEST_F(LevelStartTest, MoreSidesThanALevelHoldsAreNotSent)
{
    auto dp = StartServer(LevelStart::kMaxSides);
    EXPECT_FALSE(Server::SendLevelStart(2, "a.def", "a.cmd"));
    EXPECT_TRUE(dp->SentCopy().empty());
}

std::vector<uint8_t> LevelStartBytes(uint32_t type, uint32_t gameType, uint32_t sides, uint32_t side,
                                     std::string_view names)
{
    std::vector<uint8_t> bytes(16);
    StoreU32(bytes.data(), type);
    StoreU32(bytes.data() + 4, gameType);
    StoreU32(bytes.data() + 8, sides);
    StoreU32(bytes.data() + 12, side);
    bytes.insert(bytes.end(), names.begin(), names.end());
    return bytes;
}

TEST_F(LevelStartTest, MessageZeroIsTakenOnlyWhenSound)
{
    using namespace std::literals;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"sound", LevelStartBytes(0, 4, 3, 2, "levels\\mp01.def\0mp01.cmd\0"sv), true},
        {"sub-folder with slashes", LevelStartBytes(0, 2, 5, 4, "levels/mp/a.def\0b.cmd\0"sv), true},
        {"not message 0", LevelStartBytes(2, 4, 3, 2, "a.def\0b.cmd\0"sv), false},
        {"header only", LevelStartBytes(0, 4, 3, 2, ""sv), false},
        {"companion unterminated", LevelStartBytes(0, 4, 3, 2, "a.def\0b.cmd"sv), false},
        {"bytes after the names", LevelStartBytes(0, 4, 3, 2, "a.def\0b.cmd\0x"sv), false},
        {"absolute level", LevelStartBytes(0, 4, 3, 2, "/etc/passwd\0b.cmd\0"sv), false},
        {"back-slash absolute", LevelStartBytes(0, 4, 3, 2, "\\a.def\0b.cmd\0"sv), false},
        {"drive letter", LevelStartBytes(0, 4, 3, 2, "C:a.def\0b.cmd\0"sv), false},
        {"escaping companion", LevelStartBytes(0, 4, 3, 2, "a.def\0..\\..\\b.cmd\0"sv), false},
        {"empty level name", LevelStartBytes(0, 4, 3, 2, "\0b.cmd\0"sv), false},
        {"unknown game type", LevelStartBytes(0, 6, 3, 2, "a.def\0b.cmd\0"sv), false},
        {"side not below the sides", LevelStartBytes(0, 4, 3, 3, "a.def\0b.cmd\0"sv), false},
        {"sides past the cap", LevelStartBytes(0, 2, LevelStart::kMaxSides + 1, 1, "a.def\0b.cmd\0"sv), false},
        {"name past its bound", LevelStartBytes(0, 4, 3, 2, std::string(300, 'a') + '\0' + "b\0"s), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LevelStart::ParseLevelStart(c.bytes).has_value(), c.accepted);
    }
}

TEST_F(LevelStartTest, AClientTakesMessageZeroOnlyFromARealSender)
{
    auto dp = std::make_shared<FakeDirectPlay>();
    Client::SetDirectPlay(dp, 5);
    LevelStart::Current() = {};
    dp->Deliver(kSystemPlayerId, {0, 4, 3, 2, 0});
    EXPECT_FALSE(Client::ReceiveLevelStart());
    const std::vector<uint8_t> sound = LevelStartBytes(0, 4, 3, 2, std::string_view("a.def\0b.cmd\0", 12));
    {
        std::lock_guard lock(dp->mutex);
        dp->inbox.push_back({kServerPlayerId, LevelStartBytes(0, 9, 3, 2, std::string_view("a.def\0b.cmd\0", 12))});
        dp->inbox.push_back({kServerPlayerId, sound});
    }
    EXPECT_FALSE(Client::ReceiveLevelStart()) << "unknown game type";
    EXPECT_EQ(LevelStart::Current().gameType, 0u);
    EXPECT_TRUE(Client::ReceiveLevelStart());
    EXPECT_EQ(LevelStart::Current().ownSide, 2u);
    EXPECT_EQ(LevelStart::Current().companion, "b.cmd");
    ASSERT_EQ(TeamTable::Count(), 3u) << "the team table is built for the level's sides";
    EXPECT_EQ(TeamTable::OwnSide(), 2);
    EXPECT_TRUE(TeamTable::Find(1)->hostileSquad);
    EXPECT_TRUE(TeamTable::Find(2)->squadSide) << "game type 4: side 2 is a squad";
    EXPECT_FALSE(TeamTable::Find(2)->hostileSquad);
    TeamTable::Clear();
}

TEST_F(LevelStartTest, TheServerWaitsForReadyOrGonePlayersThenSaysGo)
{
    auto dp = StartServer(3);
    Server::SetWaitingForPlayers(true);
    dp->Deliver(10, {MessageType::kPlayerReady});
    dp->Deliver(12, {MessageType::kPlayerReady});
    {
        // The second player left while loading: not waited for.
        std::lock_guard lock(dp->mutex);
        dp->present = {10, 12};
    }
    ASSERT_TRUE(Server::WaitForPlayers());
    const auto sent = dp->SentCopy();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().to, 77u);
    EXPECT_EQ(sent.back().bytes, (std::vector<uint8_t>{2, 0, 0, 0}));
    EXPECT_FLOAT_EQ(Server::ServerClock().Speed(), 1.0f);
}

TEST_F(LevelStartTest, ANetworkedLevelNeverChecksForDefeat)
{
    std::atomic<int> checks{0};
    {
        ServerHooks hooks;
        hooks.ownSideAlive = [&] {
            ++checks;
            return false;
        };
        Server::SetHooks(std::move(hooks));
    }
    auto dp = StartServer(1);
    Server::SetWaitingForPlayers(true);
    dp->Deliver(10, {MessageType::kPlayerReady});
    ASSERT_TRUE(Server::WaitForPlayers());
    Server::BeginLevel();
    const uint64_t until = Server::PassCount() + 12;
    while (Server::PassCount() < until)
        Server::Wake();
    Server::Stop();
    Server::SetHooks({});
    EXPECT_EQ(checks, 0);
}

TEST_F(LevelStartTest, BothWaitsEndOnTimeOutAndOnCancel)
{
    struct Case {
        const char* what;
        uint32_t timeoutMs;
        bool cancel;
    };
    for (const Case& c : {Case{"time-out", 20, false}, Case{"cancel", 60000, true}}) {
        SCOPED_TRACE(c.what);
        LevelStart::WaitLimits limits;
        limits.timeoutMs = c.timeoutMs;
        int asked = 0;
        if (c.cancel)
            limits.cancelled = [&] { return ++asked >= 3; };
        LevelStart::SetWaitLimits(limits);

        auto server = StartServer(1);
        EXPECT_FALSE(Server::WaitForPlayers()) << "a player that never says ready";
        for (const auto& sent : server->SentCopy())
            EXPECT_NE(sent.bytes, (std::vector<uint8_t>{2, 0, 0, 0})) << "no go after a failed wait";
        Server::Stop();

        auto client = std::make_shared<FakeDirectPlay>();
        Client::SetDirectPlay(client, 5);
        client->Deliver(kServerPlayerId, {7});
        EXPECT_FALSE(Client::WaitForStart()) << "no message 2 ever comes";
    }
}

// The game's waits as the level load runs them: the session's cancel key
// ends both, and each shows the waiting text on the loading screen first.
TEST_F(LevelStartTest, TheCancelKeyEndsBothWaitsBehindTheLoadingScreen)
{
    int asked = 0;
    std::vector<std::string> shown;
    SessionHooks hooks;
    hooks.cancelPressed = [&] { return ++asked % 3 == 0; };
    hooks.drawLoading = [&](const std::string& text, float) { shown.push_back(text); };
    Session::SetHooks(std::move(hooks));
    LevelStart::WaitLimits limits;  // the game's: the session's key and screen
    limits.timeoutMs = 60000;
    LevelStart::SetWaitLimits(limits);

    auto server = StartServer(1);
    EXPECT_FALSE(Server::WaitForPlayers()) << "cancelled while a player loads";
    Server::Stop();
    auto client = std::make_shared<FakeDirectPlay>();
    Client::SetDirectPlay(client, 5);
    EXPECT_FALSE(Client::WaitForStart()) << "cancelled before the go";
    EXPECT_EQ(asked, 6);
    EXPECT_EQ(shown, (std::vector<std::string>{"6101", "6101"}));
    Session::SetHooks({});
}

TEST_F(LevelStartTest, AnEarlyGoIsKeptUntilTheClientWaits)
{
    auto dp = std::make_shared<FakeDirectPlay>();
    Client::SetDirectPlay(dp, 5);
    dp->Deliver(kServerPlayerId, {3, 99});
    dp->Deliver(kSystemPlayerId, {2});  // not from a real sender
    dp->Deliver(kServerPlayerId, {2});
    dp->Deliver(kServerPlayerId, {101}); // after the go: left for the frame drain
    int activated = 0;
    LevelStart::WaitLimits limits;
    limits.activateAll = [&] { ++activated; };
    LevelStart::SetWaitLimits(limits);
    ASSERT_TRUE(Client::WaitForStart());
    EXPECT_EQ(activated, 1);
    EXPECT_FLOAT_EQ(Server::ClientClock().Speed(), 0.99f);
    EXPECT_EQ(dp->Taken(), 3u);

    Client::SetDirectPlay(nullptr, 0);
    ASSERT_TRUE(Client::WaitForStart()) << "alone";
    EXPECT_FLOAT_EQ(Server::ClientClock().Speed(), 1.0f);
}

// A restored game starts both clocks where it was saved, not at 0.
TEST_F(LevelStartTest, BothClocksStartAtTheLevelStartTime)
{
    Clock::CalibrateGlobal(0);
    for (const float start : {0.0f, 600.0f}) {
        SCOPED_TRACE(start);
        Session::LevelStartTime() = start;
        ASSERT_TRUE(Server::WaitForPlayers());
        ASSERT_TRUE(Client::WaitForStart());
        for (Timer* clock : {&Server::ServerClock(), &Server::ClientClock()}) {
            // Seconds go through float ticks and rates: within a millisecond.
            EXPECT_GE(clock->Seconds(), start - 0.001f);
            EXPECT_LT(clock->Seconds(), start + 300.0f) << "from the start time, not before the old one";
        }
    }
    Session::LevelStartTime() = 0;
}

TEST(DebugReport, EveryFailingCodeIsLogged)
{
    LogFile::Reset();
    for (int32_t code : {DirectPlayCode::kInvalidPlayer, DirectPlayCode::kSessionLost})
        DebugReport(code);
    DebugReport(DirectPlayCode::kOk);
    std::ifstream file(LogFile::Path());
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("0x88770096"), std::string::npos);
    EXPECT_NE(text.str().find("0x887701F4"), std::string::npos);
    EXPECT_EQ(text.str().find("0x00000000"), std::string::npos);
}

} // namespace

namespace {

// The sample arena starts every networked game type: each side the host
// gives a player has a start on the map, and the names a client receives
// resolve inside the data.
TEST_F(LevelStartTest, TheSampleArenaStartsEveryGameType)
{
    const std::filesystem::path scripts = std::filesystem::path(std::getenv("TREVOK_SAMPLE_DATA")) / "scripts";
    std::ifstream file(scripts / "mp_arena.tvs");
    ASSERT_TRUE(file) << "sample data not written";
    std::stringstream text;
    text << file.rdbuf();
    for (uint32_t gameType = 1; gameType <= 5; ++gameType) {
        auto dp = StartServer(3);
        ASSERT_TRUE(Server::SendLevelStart(gameType, "MP_Arena.tvs", "mp_arena.TCS"));
        for (const auto& sent : dp->SentCopy()) {
            SCOPED_TRACE(testing::Message() << "game type " << gameType << " player " << sent.to);
            std::optional<LevelStart::Values> values = LevelStart::ParseLevelStart(sent.bytes);
            ASSERT_TRUE(values);
            EXPECT_TRUE(platform::ResolveDataPath(scripts, values->level));
            EXPECT_TRUE(platform::ResolveDataPath(scripts, values->companion));
            const std::string start = "in team " + std::to_string(values->ownSide) + " for";
            EXPECT_NE(text.str().find(start), std::string::npos);
        }
        Server::Stop();
    }
}

} // namespace

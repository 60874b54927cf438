// Two processes on loopback play the whole set-up: one hosts, the other
// finds the session by address and joins; the host locks the session (a late
// joiner is refused), sends the level and sides, and both start together,
// the joiner's go arriving before it waits for it. Then the game slows down
// with both answering, and again while the joiner leaves. Every wait is
// bounded.
#include "app/clock.h"
#include "platform/net.h"
#include "platform/thread.h"
#include "session/direct_play.h"
#include "session/game_speed.h"
#include "session/game_state.h"
#include "session/level_start.h"
#include "session/message_queue.h"
#include "session/network.h"
#include "session/server_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kBoundMs = 10000;

bool ReadBounded(int fd, std::string& out)
{
    out.clear();
    char buffer[512];
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, kBoundMs) <= 0)
            return false;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return !out.empty();
        out.append(buffer, static_cast<size_t>(got));
        if (out.back() == '\n')
            return true;
    }
}

void Say(int fd, const std::string& line)
{
    const std::string text = line + "\n";
    (void)!write(fd, text.data(), text.size());
}

template <typename Predicate>
bool Eventually(Predicate done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        platform::SleepMilliseconds(5);
    }
    return true;
}

// The sequence of the next slow-down (message 96) for this machine's client;
// 0 when none came within the bound.
uint32_t AwaitSlowDown()
{
    uint32_t sequence = 0;
    Eventually([&] {
        Network::Received received = Network::Receive(*Client::DirectPlaySession(), Network::LocalPlayerId());
        return received.sender != kSystemPlayerId && received.message.Type() == MessageType::kSlowDown &&
               received.message.ReadWord(2, sequence);
    });
    return sequence;
}

bool AnswerSlowDown(uint32_t sequence)
{
    uint8_t answer[8];
    StoreU32(answer, MessageType::kSpeedAnswer);
    StoreU32(answer + 4, sequence);
    return sequence != 0 && Client::SendToServer(answer, sizeof answer, true);
}

// The joining machine; reports each step as one line.
[[noreturn]] void RunJoiner(int portPipe, int reportPipe)
{
    std::string port;
    if (!ReadBounded(portPipe, port))
        _exit(2);
    Network::Create();
    Network::SetPort(static_cast<uint16_t>(std::stoi(port)));
    Network::SetSearchWait(kBoundMs);
    TcpIpAddress address;
    address.SetHost("127.0.0.1");
    const bool joined = Network::EnumConnections() && Network::InitializeConnection(Network::Connection(0), &address) &&
                        Network::EnumSessions() && Network::SessionCount() == 1 && Network::Session(0)->Join() &&
                        Network::CreateLocalPlayer("joiner");
    Say(reportPipe, joined ? "joined " + Network::Session(0)->name : "no join");
    if (!joined)
        _exit(3);
    LevelStart::WaitLimits limits;
    limits.timeoutMs = kBoundMs;
    LevelStart::SetWaitLimits(limits);
    const bool received = Eventually([] { return Client::ReceiveLevelStart(); });
    const LevelStart::Values& values = LevelStart::Current();
    std::ostringstream line;
    line << "start " << received << ' ' << values.gameType << ' ' << values.sides << ' ' << values.ownSide << ' '
         << values.level << ' ' << values.companion;
    Say(reportPipe, line.str());
    Client::SendReady();
    // The host says go as soon as both are ready: the go waits in the inbox.
    platform::SleepMilliseconds(100);
    Say(reportPipe, Client::WaitForStart() ? "started" : "not started");
    // The first slow-down is answered; during the second this machine leaves.
    Say(reportPipe, AnswerSlowDown(AwaitSlowDown()) ? "answered" : "no answer");
    Say(reportPipe, AwaitSlowDown() ? "leaving" : "no second change");
    Network::CloseSession();
    Network::Shutdown();
    _exit(0);
}

TEST(NetworkPlay, HostJoinLockAndStartALevelTogether)
{
    int portPipe[2];
    int reportPipe[2];
    ASSERT_EQ(pipe(portPipe), 0);
    ASSERT_EQ(pipe(reportPipe), 0);
    // Forked before any thread of this process exists.
    const pid_t joiner = fork();
    ASSERT_GE(joiner, 0);
    if (joiner == 0) {
        close(portPipe[1]);
        close(reportPipe[0]);
        RunJoiner(portPipe[0], reportPipe[1]);
    }
    close(portPipe[0]);
    close(reportPipe[1]);

    ASSERT_TRUE(Network::Create());
    Network::SetPort(0);
    ASSERT_TRUE(Network::HostSession("Arena"));
    ASSERT_TRUE(Network::CreateLocalPlayer("host"));
    Say(portPipe[1], std::to_string(Network::Transport()->Port()));
    std::string line;
    ASSERT_TRUE(ReadBounded(reportPipe[0], line));
    EXPECT_EQ(line, "joined Arena\n");
    ASSERT_TRUE(Eventually([] { return Network::EnumPlayers() && Network::PlayerCount() == 2; }));
    EXPECT_EQ(Network::Player(0)->name, "host");
    EXPECT_EQ(Network::Player(1)->name, "joiner");
    EXPECT_EQ(Network::Player(2), nullptr);

    const uint16_t port = Network::Transport()->Port();
    std::vector<platform::NetSessionFound> found;
    platform::NetSession::FindSessions(Network::kApplicationGuid, "127.0.0.1", port, kBoundMs, found);
    ASSERT_EQ(found.size(), 1u);
    const platform::NetSessionFound open = found[0];
    ASSERT_TRUE(Server::LockSession());
    platform::NetSession::FindSessions(Network::kApplicationGuid, "127.0.0.1", port, 200, found);
    EXPECT_TRUE(found.empty());
    {
        platform::NetSession late;
        int32_t code = platform::NetCode::kConnecting;
        Eventually([&] { return (code = late.Join(Network::kApplicationGuid, open)) != platform::NetCode::kConnecting; });
        EXPECT_EQ(code, platform::NetCode::kJoinRefused);
    }

    LevelStart::WaitLimits limits;
    limits.timeoutMs = kBoundMs;
    LevelStart::SetWaitLimits(limits);
    ASSERT_TRUE(Server::SendLevelStart(2, "levels\\mp01.def", "mp01.cmd"));
    ASSERT_TRUE(ReadBounded(reportPipe[0], line));
    EXPECT_EQ(line, "start 1 2 4 3 levels\\mp01.def mp01.cmd\n");
    ASSERT_TRUE(Client::SendReady());
    EXPECT_TRUE(Server::WaitForPlayers());
    EXPECT_TRUE(Client::WaitForStart());
    ASSERT_TRUE(ReadBounded(reportPipe[0], line));
    EXPECT_EQ(line, "started\n");

    // Slowing down waits for every player's answer, or for the player to go.
    auto serverSpeedIs = [](float speed) {
        return Eventually([&] {
            GameState::Hold hold;
            return Server::ServerClock().Speed() == speed;
        });
    };
    Server::BeginLevel();
    GameSpeed::Set(0.5f);
    ASSERT_TRUE(AnswerSlowDown(AwaitSlowDown()));
    ASSERT_TRUE(ReadBounded(reportPipe[0], line));
    EXPECT_EQ(line, "answered\n");
    EXPECT_TRUE(serverSpeedIs(0.5f));
    GameSpeed::Set(0.25f);
    ASSERT_TRUE(AnswerSlowDown(AwaitSlowDown()));
    ASSERT_TRUE(ReadBounded(reportPipe[0], line));
    EXPECT_EQ(line, "leaving\n");
    EXPECT_TRUE(serverSpeedIs(0.25f));

    int status = 0;
    if (!Eventually([&] { return waitpid(joiner, &status, WNOHANG) == joiner; })) {
        kill(joiner, SIGKILL);
        waitpid(joiner, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(Network::CloseSession());
    Network::Shutdown();
    EXPECT_FALSE(Network::IsActive());
}

} // namespace

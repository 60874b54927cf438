// The client's frame drain: alone it wakes the real server thread and sees
// a pass begun after the previous frame; over DirectPlay it skips the
// system player's notices and reports a receive error; and the two threads
// meet only through the queue while the server sends and the game drains.
#include "tests/session/fake_direct_play.h"
#include "tests/session/message_world.h"

#include "app/app_time.h"
#include "app/clock.h"
#include "session/client.h"
#include "session/client_apply.h"
#include "session/client_hooks.h"
#include "session/game_message.h"
#include "session/message_queue.h"
#include "session/server_thread.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace MessageWorld;

class ClientDrain : public ::testing::Test {
protected:
    void SetUp() override
    {
        MessageWorld::Build(roles);
        ClientHooks::Get() = ClientHooks{};
        ClientHooks::Get().print = [this](const char* text) { printed.emplace_back(text); };
        ServerToClientQueue.Clear();
    }

    void TearDown() override
    {
        Client::Stop();
        Server::Stop();
        Server::SetHooks({});
        Client::SetDirectPlay(nullptr, 0);
        ClientHooks::Get() = ClientHooks{};
        ClientServices::Get() = ClientServices{};
        RoleTable::Global().ForgetAll();
        TeamTable::Clear();
        ServerToClientQueue.Clear();
        AppTime::SetGameSpeed(1.0f);
        AppTime::SetGameTime(0);
        CommandFileQueue.Clear();
        ClientToServerQueue.Clear();
    }

    // {101, text}: what the pass hook sends, so each pass's number arrives.
    static void SendNumber(uint64_t number)
    {
        uint8_t block[4 + 24];
        MessageWriter writer(block, sizeof block);
        writer.PutU32(MessageType::kText);
        writer.PutText(std::to_string(number), 24);
        Server::SendToClients(block, writer.Size(), true);
    }

    uint64_t HighestNumberSeen() const
    {
        uint64_t highest = 0;
        for (const std::string& text : printed)
            highest = std::max<uint64_t>(highest, std::stoull(text));
        return highest;
    }

    std::deque<script::Role> roles;
    std::vector<std::string> printed;  // game thread only
};

TEST_F(ClientDrain, AloneEachFrameSeesAPassBegunAfterThePreviousFrame)
{
    std::atomic<uint64_t> begun{0};
    ServerHooks hooks;
    // A pass that takes a while: a drain that does not wait for it misses it.
    hooks.tick = [&](uint64_t, float) {
        const uint64_t number = ++begun;
        platform::SleepMilliseconds(2);
        SendNumber(number);
    };
    Server::SetHooks(hooks);
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    ASSERT_TRUE(Client::Start());
    EXPECT_FALSE(Client::Start());  // running already
    uint64_t begunBeforePreviousFrame = 0;
    for (int frame = 0; frame < 40; ++frame) {
        const uint64_t begunBefore = begun.load();
        ASSERT_TRUE(Client::ReceiveServerMessages());
        if (frame > 0) {
            EXPECT_GT(HighestNumberSeen(), begunBeforePreviousFrame) << "frame " << frame;
        }
        begunBeforePreviousFrame = begunBefore;
    }
    Server::Stop();  // before `begun` goes
}

TEST_F(ClientDrain, OverDirectPlayTheSystemPlayerIsSkippedAndAnErrorEndsTheFrame)
{
    auto dp = std::make_shared<FakeDirectPlay>();
    Client::SetDirectPlay(dp, 7);
    ASSERT_TRUE(Client::Start());
    dp->Deliver(kSystemPlayerId, {MessageType::kText, 0x00003231u});  // "12"
    dp->Deliver(kServerPlayerId, {MessageType::kText, 0x00003433u});  // "34"
    dp->Deliver(kServerPlayerId, {52, kEnemy});
    EXPECT_TRUE(Client::ReceiveServerMessages());
    EXPECT_EQ(printed, std::vector<std::string>{"34"});
    EXPECT_EQ(WorldObjectTable::FindById(kEnemy), nullptr);
    EXPECT_EQ(dp->Taken(), 3u);

    dp->Deliver(kServerPlayerId, {52, kWalker});
    dp->receiveResult = DirectPlayCode::kGeneric;
    EXPECT_FALSE(Client::ReceiveServerMessages());
    EXPECT_NE(WorldObjectTable::FindById(kWalker), nullptr);

    Client::Stop();
    EXPECT_FALSE(Client::IsRunning());
    EXPECT_EQ(WorldObjectTable::Count(), 0u);  // the replicas went with the client
}

// A networked client runs its clock a little slower than the host, so it
// never runs ahead, and answers every slow-down with its sequence.
TEST_F(ClientDrain, ANetworkedClientSlowsItsClockAndAnswersTheSlowDown)
{
    auto dp = std::make_shared<FakeDirectPlay>();
    Client::SetDirectPlay(dp, 7);
    ASSERT_TRUE(Client::Start());
    dp->Deliver(kServerPlayerId, {MessageType::kSlowDown, std::bit_cast<uint32_t>(0.5f), 41});
    dp->Deliver(kServerPlayerId, {MessageType::kSpeedUp, std::bit_cast<uint32_t>(1.0f)});
    EXPECT_TRUE(Client::ReceiveServerMessages());
    EXPECT_FLOAT_EQ(Server::ClientClock().Speed(), 0.99f);
    const auto sent = dp->SentCopy();
    ASSERT_EQ(sent.size(), 1u);  // the speed-up is not answered
    EXPECT_EQ(sent[0].from, 7u);
    EXPECT_EQ(sent[0].to, kServerPlayerId);
    ASSERT_EQ(sent[0].bytes.size(), 8u);
    EXPECT_EQ(LoadU32(sent[0].bytes.data()), MessageType::kSpeedAnswer);
    EXPECT_EQ(LoadU32(sent[0].bytes.data() + 4), 41u);
    EXPECT_EQ(printed, (std::vector<std::string>{"Game speed set to 0.50", "Game speed set to 1.00"}));
}

// Where the server runs, its game thread queued the command file already.
TEST_F(ClientDrain, ACommandFileIsIgnoredWhereTheServerRuns)
{
    ASSERT_TRUE(Server::Start(nullptr));
    CommandFileQueue.Clear();
    const char name[] = "level.cmd";
    std::vector<uint8_t> block(4 + sizeof name);
    StoreU32(block.data(), MessageType::kRunCommandFile);
    std::memcpy(block.data() + 4, name, sizeof name);
    EXPECT_EQ(Client::ApplyServerMessage(block), Client::Applied::kNotHere);
    EXPECT_EQ(CommandFileQueue.Count(), 0u);
    Server::Stop();
    EXPECT_EQ(Client::ApplyServerMessage(block), Client::Applied::kApplied);
    EXPECT_EQ(CommandFileQueue.Count(), 1u);
    CommandFileQueue.Clear();
}

// Run under the thread sanitizer: the server thread sends every pass while
// the game thread drains, applies and updates.
TEST_F(ClientDrain, TheServerSendsWhileTheGameThreadDrains)
{
    std::atomic<uint64_t> begun{0};
    ServerHooks hooks;
    hooks.tick = [&](uint64_t, float seconds) {
        const uint64_t n = ++begun;
        SendNumber(n);
        uint8_t motion[56] = {};
        MessageWriter writer(motion, sizeof motion);
        writer.PutU32(n % 2 ? 42 : 43);
        writer.PutU32(kEnemy);
        writer.PutFloat(seconds);
        for (float f : {static_cast<float>(n % 7), 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f})
            writer.PutFloat(f);
        writer.PutU32(0xFFFFFF);
        Server::SendToClients(motion, writer.Size(), false);
    };
    Server::SetHooks(hooks);
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    ASSERT_TRUE(Client::Start());
    for (int frame = 0; frame < 150; ++frame)
        ASSERT_TRUE(Client::ReceiveServerMessages());
    Server::Stop();
    Client::ReceiveServerMessages();  // what the stopped server left is gone with it
    EXPECT_GE(printed.size(), 100u);
    EXPECT_EQ(ServerToClientQueue.Count(), 0u);
    EXPECT_NE(WorldObjectTable::FindById(kEnemy), nullptr);
}

} // namespace

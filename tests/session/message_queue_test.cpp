// Message blocks, the locked queues and the two roads a message takes:
// in-memory queues alone, DirectPlay in a networked game.
#include "fake_direct_play.h"
#include "session/game_message.h"
#include "session/message_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes(words.size() * 4);
    size_t i = 0;
    for (uint32_t w : words)
        StoreU32(bytes.data() + 4 * i++, w);
    return bytes;
}

TEST(GameMessage, WordsAreReadOnlyInsideTheBlock)
{
    const std::vector<uint8_t> bytes = {5, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB};
    struct Case {
        uint32_t size;
        uint32_t index;
        bool ok;
        uint32_t value;
    };
    const Case cases[] = {
        {10, 0, true, 5},          {10, 1, true, 0x12345678}, {10, 2, false, 0}, // a partial word is no word
        {4, 1, false, 0},          {3, 0, false, 0},          {10, 0xFFFFFFFFu, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " index " << c.index);
        GameMessage message(bytes.data(), c.size);
        uint32_t value = 0;
        EXPECT_EQ(message.ReadWord(c.index, value), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
    EXPECT_EQ(GameMessage(bytes.data(), 3).Type(), GameMessage::kNoType);
}

TEST(MessageWriter, TextIsCutToItsFieldAndAlwaysTerminated)
{
    struct Case {
        size_t length;
        size_t kept;
    };
    const Case cases[] = {{0, 0}, {10, 10}, {254, 254}, {255, 254}, {600, 254}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        uint8_t block[4 + 255 + 4];
        std::memset(block, 0xEE, sizeof block);
        MessageWriter writer(block, 4 + 255);
        writer.PutU32(101);
        writer.PutText(std::string(c.length, 'x'), 255);
        EXPECT_TRUE(writer.Ok());
        EXPECT_EQ(writer.Size(), 259u);
        EXPECT_EQ(std::strlen(reinterpret_cast<char*>(block + 4)), c.kept);
        EXPECT_EQ(block[259], 0xEE) << "wrote past the message";
    }
}

TEST(MessageWriter, RefusesToWritePastItsBuffer)
{
    uint8_t block[8 + 1];
    block[8] = 0xEE;
    MessageWriter writer(block, 8);
    writer.PutU32(1);
    writer.PutFloat(2.0f);
    writer.PutU32(3);
    EXPECT_FALSE(writer.Ok());
    EXPECT_EQ(writer.Size(), 8u);
    EXPECT_EQ(block[8], 0xEE);
}

TEST(MessageQueue, PopsCopiesOldestFirstAndNothingWhenEmpty)
{
    MessageQueue queue;
    EXPECT_TRUE(queue.Pop().IsEmpty());
    EXPECT_EQ(queue.Count(), 0u);

    const std::vector<std::vector<uint8_t>> sent = {Words({5, 1, 2}), Words({30}), {}, Words({101, 0x41424344})};
    std::vector<uint8_t> scratch;
    for (const auto& message : sent) {
        scratch = message;
        queue.Push(scratch.data(), static_cast<uint32_t>(scratch.size()));
        std::fill(scratch.begin(), scratch.end(), 0xFF); // the queue keeps its own copy
    }
    EXPECT_EQ(queue.Count(), sent.size());
    for (const auto& expected : sent) {
        GameMessage got = queue.Pop();
        ASSERT_FALSE(got.IsEmpty());
        EXPECT_EQ(std::vector<uint8_t>(got.Data(), got.Data() + got.Size()), expected);
    }
    EXPECT_TRUE(queue.Pop().IsEmpty());
    EXPECT_EQ(queue.Count(), 0u);
}

TEST(MessageQueue, ClearDropsEverything)
{
    MessageQueue queue;
    for (uint32_t i = 0; i < 5; ++i)
        queue.Push(Words({i}).data(), 4);
    queue.Clear();
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_TRUE(queue.Pop().IsEmpty());
}

TEST(MessageQueue, TwoPushingThreadsKeepTheirOwnOrderAndLoseNothing)
{
    MessageQueue queue;
    constexpr uint32_t kEach = 2000;
    auto producer = [&](uint32_t thread) {
        for (uint32_t i = 0; i < kEach; ++i) {
            const auto bytes = Words({thread, i});
            queue.Push(bytes.data(), 8);
        }
    };
    std::thread a(producer, 1);
    std::thread b(producer, 2);
    // Pop while they push: a third thread's view must stay consistent too.
    uint32_t next[3] = {0, 0, 0};
    uint32_t popped = 0;
    auto take = [&] {
        for (GameMessage m = queue.Pop(); !m.IsEmpty(); m = queue.Pop()) {
            uint32_t thread = 0, i = 0;
            ASSERT_TRUE(m.ReadWord(0, thread) && m.ReadWord(1, i));
            ASSERT_TRUE(thread == 1 || thread == 2);
            EXPECT_EQ(i, next[thread]) << "thread " << thread;
            next[thread] = i + 1;
            ++popped;
        }
    };
    while (popped < 2 * kEach / 2)
        take();
    a.join();
    b.join();
    take();
    EXPECT_EQ(popped, 2 * kEach);
}

class ClientRoad : public testing::Test {
protected:
    void SetUp() override { ClientToServerQueue.Clear(); }
    void TearDown() override
    {
        Client::SetDirectPlay(nullptr, 0);
        ClientToServerQueue.Clear();
    }
};

TEST_F(ClientRoad, AloneRequestsAreQueuedForTheServer)
{
    const auto request = Words({5, 10, 20});
    EXPECT_TRUE(Client::SendToServer(request.data(), 12, false));
    GameMessage queued = ClientToServerQueue.Pop();
    ASSERT_EQ(queued.Size(), 12u);
    EXPECT_EQ(queued.Type(), 5u);
}

TEST_F(ClientRoad, NetworkedRequestsGoToTheServerPlayerAndFailuresAreReported)
{
    auto dp = std::make_shared<FakeDirectPlay>();
    Client::SetDirectPlay(dp, 42);
    const auto request = Words({30, 1});
    EXPECT_TRUE(Client::SendToServer(request.data(), 8, true));
    dp->sendResult = static_cast<int32_t>(0x88770064u);
    EXPECT_FALSE(Client::SendToServer(request.data(), 8, false));
    const auto sent = dp->SentCopy();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].from, 42u);
    EXPECT_EQ(sent[0].to, kServerPlayerId);
    EXPECT_EQ(sent[0].flags, kSendGuaranteed);
    EXPECT_EQ(sent[1].flags, 0u);
    EXPECT_EQ(ClientToServerQueue.Count(), 0u);
}

TEST(NetworkReceive, TellsAnEmptySessionFromAFailedOne)
{
    FakeDirectPlay dp;
    Network::Received none = Network::Receive(dp, 7);
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.message.IsEmpty());
    dp.receiveResult = static_cast<int32_t>(0x887700AAu);
    Network::Received failed = Network::Receive(dp, 7);
    EXPECT_FALSE(failed.ok);
    EXPECT_TRUE(failed.message.IsEmpty());
}

TEST(NetworkReceive, AMessageLargerThanFirstReportedArrivesWhole)
{
    for (uint32_t shortBy : {0u, 4u, 36u}) {
        SCOPED_TRACE(shortBy);
        FakeDirectPlay dp;
        std::vector<uint32_t> words(10);
        for (uint32_t i = 0; i < 10; ++i)
            words[i] = 100 + i;
        dp.Deliver(9, words);
        dp.peekShortBy = shortBy;
        Network::Received got = Network::Receive(dp, 7);
        ASSERT_TRUE(got.ok);
        ASSERT_EQ(got.message.Size(), 40u);
        EXPECT_EQ(got.sender, 9u);
        uint32_t last = 0;
        EXPECT_TRUE(got.message.ReadWord(9, last));
        EXPECT_EQ(last, 109u);
    }
}

} // namespace

namespace {

// A layer that writes 8 bytes but claims a larger message.
struct OverclaimingSession : FakeDirectPlay {
    int32_t Receive(uint32_t* from, uint32_t* to, uint32_t flags, void* buffer, uint32_t* size) override
    {
        const int32_t code = FakeDirectPlay::Receive(from, to, flags, buffer, size);
        if (code == DirectPlayCode::kOk)
            *size = 4096;
        return code;
    }
};

TEST(NetworkReceive, AMessageNeverClaimsMoreThanItsBuffer)
{
    OverclaimingSession dp;
    dp.Deliver(3, {5, 6});
    Network::Received got = Network::Receive(dp, 7);
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.message.Size(), 8u);
    uint32_t word = 0;
    EXPECT_FALSE(got.message.ReadWord(2, word));
}

} // namespace
